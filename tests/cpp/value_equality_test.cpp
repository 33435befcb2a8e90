// Value equality and ordering: numbers across kinds, NaN, decimal coercion
// errors, containers, and CPython's order of texts, byte strings and floats.
#include "interpreter_support/value_equality.hpp"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <fstream>
#include <limits>
#include <sstream>
#include <string>

#include "values/vm_datetime.hpp"
#include "value_builders.hpp"
#include "values/vm_decimal.hpp"

namespace veln {
namespace {

using namespace value_builders;

const double kNan = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();

VmValue Pow2(unsigned long n) {
  mpz_class r;
  mpz_ui_pow_ui(r.get_mpz_t(), 2, n);
  return VmValue::integer(r);
}

std::string show(const VmResult<bool>& r) { return r.ok() ? (*r ? "true" : "false") : "error: " + r.error().message; }
std::string show(const VmResult<VmOrdering>& r) {
  if (!r.ok()) return "error: " + r.error().message;
  switch (*r) {
    case VmOrdering::Less:
      return "less";
    case VmOrdering::Equal:
      return "equal";
    case VmOrdering::Greater:
      return "greater";
  }
  return "?";
}

struct Case {
  const char* name;
  VmValue a;
  VmValue b;
  std::string expected;
};

TEST(ValueEquality, Table) {
  const VmValue two53_plus_1 = Ibig("9007199254740993");
  const Case cases[] = {
      {"True == 1", B(true), I(1), "true"},
      {"1 == True", I(1), B(true), "true"},
      {"False == 0.0", B(false), F(0.0), "true"},
      {"True == False", B(true), B(false), "false"},
      {"1 == 1.0", I(1), F(1.0), "true"},
      {"1 == decimal 1", I(1), D("1"), "true"},
      {"decimal 1 == True", D("1"), B(true), "true"},
      {"decimal 0.1 == float 0.1", D("0.1"), F(0.1), "true"},
      {"float 0.1 == decimal 0.1", F(0.1), D("0.1"), "true"},
      {"2^53+1 == 2.0^53", two53_plus_1, F(9007199254740992.0), "true"},
      {"2.0^53 == 2^53+1", F(9007199254740992.0), two53_plus_1, "true"},
      {"2^53+1 == decimal 2^53+1", two53_plus_1, D("9007199254740993"), "true"},
      {"2.0^53 != decimal 2^53+1", F(9007199254740992.0), D("9007199254740993"), "false"},
      {"2^1024 == inf", Pow2(1024), F(kInf), "true"},
      {"-2^1024 == -inf", VmValue::integer(-Pow2(1024).int_to_mpz()), F(-kInf), "true"},
      {"1 == str 1", I(1), S("1"), "false"},
      {"decimal 1.5 == str 1.5", D("1.5"), S("1.5"), "false"},
      {"str 1.5 == decimal 1.5", S("1.5"), D("1.5"), "false"},
      {"0.0 == -0.0", F(0.0), F(-0.0), "true"},
      {"NaN == 1.0", F(kNan), F(1.0), "error: cannot compare NaN values"},
      {"NaN == NaN", F(kNan), F(kNan), "error: cannot compare NaN values"},
      {"1 == NaN", I(1), F(kNan), "error: cannot compare NaN values"},
      {"True == NaN", B(true), F(kNan), "error: cannot compare NaN values"},
      {"NaN == str a", F(kNan), S("a"), "false"},
      {"NaN == None", F(kNan), VmValue::none(), "false"},
      {"NaN == decimal 1", F(kNan), D("1"), "error: invalid decimal literal 'NaN'"},
      {"decimal 1 == inf", D("1"), F(kInf), "error: invalid decimal literal 'inf'"},
      {"decimal 1 == -inf", D("1"), F(-kInf), "error: invalid decimal literal '-inf'"},
      {"decimal 1 == 10^61 int", D("1"), VmValue::integer(mpz_class("10000000000000000000000000000000000000000000000000000000000000")),
       "error: decimal value 10000000000000000000000000000000000000000000000000000000000000 exceeds the supported decimal range"},
      {"decimal 1 == None", D("1"), VmValue::none(), "false"},
      {"[1,2] == (1,2)", List({I(1), I(2)}), Tuple({I(1), I(2)}), "false"},
      {"[1] == [1.0]", List({I(1)}), List({F(1.0)}), "true"},
      {"[1] == [1, 2]", List({I(1)}), List({I(1), I(2)}), "false"},
      {"[NaN] == [1]", List({F(kNan)}), List({I(1)}), "error: cannot compare NaN values"},
      {"[0, NaN] == [1, NaN] stops early", List({I(0), F(kNan)}), List({I(1), F(kNan)}), "false"},
      {"(1,) == (True,)", Tuple({I(1)}), Tuple({B(true)}), "true"},
      {"set == frozenset", Set({I(1), I(2)}), FrozenSet({I(1), I(2)}), "true"},
      {"frozenset == set", FrozenSet({I(1)}), Set({I(1)}), "true"},
      {"set {1} == set {1.0}", Set({I(1)}), Set({F(1.0)}), "true"},
      {"set {1} == set {2}", Set({I(1)}), Set({I(2)}), "false"},
      {"set {1} == set {1, 2}", Set({I(1)}), Set({I(1), I(2)}), "false"},
      {"set == list", Set({I(1)}), List({I(1)}), "false"},
      {"set {NaN} == set {1.0}", Set({F(kNan)}), Set({F(1.0)}), "error: cannot compare NaN values"},
      {"bytes == bytearray", Bytes("ab"), ByteArray("ab"), "true"},
      {"bytearray == bytes", ByteArray("ab"), Bytes("ab"), "true"},
      {"bytes != str", Bytes("ab"), S("ab"), "false"},
      {"bytes ab == bytes abc", Bytes("ab"), Bytes("abc"), "false"},
      {"dict order", Dict({{I(1), S("a")}, {I(2), S("b")}}), Dict({{I(2), S("b")}, {F(1.0), S("a")}}), "true"},
      {"dict value differs", Dict({{I(1), S("a")}}), Dict({{I(1), S("b")}}), "false"},
      {"dict key missing", Dict({{S("k"), I(1)}}), Dict({{S("j"), I(1)}}), "false"},
      {"dict str key via index", Dict({{S("k"), I(1)}, {S("j"), I(2)}}), Dict({{S("j"), F(2.0)}, {S("k"), B(true)}}),
       "true"},
      {"dict NaN key is a mismatch", Dict({{I(1), I(0)}}), Dict({{F(kNan), I(0)}}), "false"},
      {"dict NaN key skipped", Dict({{I(1), I(0)}, {I(2), I(0)}}), Dict({{F(kNan), I(0)}, {I(1), I(0)}}), "false"},
      {"dict NaN key passed over", Dict({{I(1), I(7)}, {I(2), I(0)}}), Dict({{F(kNan), I(0)}, {F(1.0), I(7)}}), "false"},
      {"dict NaN value key then match", Dict({{I(1), I(7)}, {S("k"), I(0)}}), Dict({{F(kNan), I(0)}, {F(1.0), I(7)}}), "false"},
      {"dict value NaN error", Dict({{I(1), F(kNan)}}), Dict({{I(1), I(1)}}), "error: cannot compare NaN values"},
      {"dict sizes", Dict({{I(1), I(1)}}), Dict({}), "false"},
      {"dict vs list", Dict({}), List({}), "false"},
      {"None == None", VmValue::none(), VmValue::none(), "true"},
      {"datetime ==", Dt(2024, 1, 2, 3, 4, 5, 6), Dt(2024, 1, 2, 3, 4, 5, 6), "true"},
      {"datetime !=", Dt(2024, 1, 2, 3, 4, 5, 6), Dt(2024, 1, 2, 3, 4, 5, 7), "false"},
      {"timedelta ==", Td(5), Td(5), "true"},
      {"timedelta != int", Td(5), I(5), "false"},
      {"str ==", S("abc"), S("abc"), "true"},
      {"builtin vs function_ref", VmValue::builtin("len"), VmValue::function_ref("len"), "false"},
  };
  for (const Case& c : cases) EXPECT_EQ(show(vm_values_equal(c.a, c.b)), c.expected) << c.name;
}

// The dict rule with a NaN key in a: no key of b can match it without an
// error, and a failed key comparison counts as a mismatch.
TEST(ValueEquality, DictWithNanKeyInFirst) {
  EXPECT_EQ(show(vm_values_equal(Dict({{F(kNan), I(0)}}), Dict({{F(kNan), I(0)}}))), "false");
}

TEST(ValueOrdering, Table) {
  const Case cases[] = {
      {"True vs 2", B(true), I(2), "less"},
      {"False vs True", B(false), B(true), "less"},
      {"2 vs True", I(2), B(true), "greater"},
      {"True vs 1.0", B(true), F(1.0), "equal"},
      {"0.5 vs False", F(0.5), B(false), "greater"},
      {"decimal 2 vs str 1.5", D("2"), S("1.5"), "greater"},
      {"decimal 2 vs str junk", D("2"), S("x"), "error: invalid decimal literal 'x'"},
      {"str 1.5 vs decimal 2", S("1.5"), D("2"), "less"},
      {"decimal 1 vs None", D("1"), VmValue::none(), "error: expected decimal-compatible value, got none"},
      {"list vs decimal", List({}), D("1"), "error: expected decimal-compatible value, got list"},
      {"decimal vs NaN", D("1"), F(kNan), "error: invalid decimal literal 'NaN'"},
      {"decimal 0.1 vs float 0.1", D("0.1"), F(0.1), "equal"},
      {"decimal vs True", D("0.5"), B(true), "less"},
      {"int vs decimal", I(3), D("2.5"), "greater"},
      {"big int vs int", Pow2(100), I(INT64_MAX), "greater"},
      {"int vs big int", I(INT64_MIN), VmValue::integer(-Pow2(100).int_to_mpz()), "greater"},
      {"2^53+1 vs 2.0^53", Ibig("9007199254740993"), F(9007199254740992.0), "equal"},
      {"2^53+3 vs 2.0^53+2", Ibig("9007199254740995"), F(9007199254740994.0), "greater"},
      {"float vs 2^1024", F(1e308), Pow2(1024), "less"},
      {"NaN vs 1", F(kNan), I(1), "error: cannot compare NaN values"},
      {"1 vs NaN", I(1), F(kNan), "error: cannot compare NaN values"},
      {"NaN vs False", F(kNan), B(false), "error: cannot compare NaN values"},
      {"datetime order", Dt(2024, 1, 2), Dt(2023, 12, 31, 23, 59, 59, 999999), "greater"},
      {"datetime microsecond", Dt(2024, 1, 2, 0, 0, 0, 1), Dt(2024, 1, 2), "greater"},
      {"timedelta order", Td(-5), Td(3), "less"},
      {"datetime vs timedelta", Dt(2024, 1, 1), Td(3), "error: values datetime and timedelta are not order-comparable"},
      {"str Z vs a", S("Z"), S("a"), "less"},
      {"str z vs e-acute", S("z"), S("\xc3\xa9"), "less"},
      {"str ab vs abc", S("ab"), S("abc"), "less"},
      {"str vs bytes", S("a"), Bytes("a"), "error: values str and bytes are not order-comparable"},
      {"bytes vs bytearray", Bytes("a"), ByteArray("b"), "less"},
      {"bytes high byte", Bytes("\xff"), ByteArray("a"), "greater"},
      {"list vs list", List({}), List({}), "error: values list and list are not order-comparable"},
      {"None vs None", VmValue::none(), VmValue::none(), "error: values none and none are not order-comparable"},
      {"set vs set", Set({}), Set({}), "error: values set and set are not order-comparable"},
      {"int vs str", I(1), S("1"), "error: values int and str are not order-comparable"},
      {"bool vs str", B(true), S("1"), "error: values bool and str are not order-comparable"},
      {"timedelta vs int", Td(1), I(1), "error: values timedelta and int are not order-comparable"},
  };
  for (const Case& c : cases) EXPECT_EQ(show(compare_vm_values(c.a, c.b)), c.expected) << c.name;
}

int parse_cmp(const std::string& s) { return std::stoi(s); }

std::string unhex(const std::string& hex) {
  if (hex == "-") return "";
  std::string out;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) out.push_back(static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
  return out;
}

double from_bits(const std::string& hex) { return std::bit_cast<double>(std::stoull(hex, nullptr, 16)); }

// CPython's orders of str (code points), bytes and floats.
TEST(ValueOrdering, MatchesCPython) {
  std::ifstream in(std::string(VELN_TEST_DATA_DIR) + "/value_ordering.txt");
  ASSERT_TRUE(in) << "missing data file";
  std::string line;
  size_t count = 0;
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    std::string kind, a, b, expected;
    fields >> kind >> a >> b >> expected;
    if (kind == "str" || kind == "bytes") {
      const VmValue x = kind == "str" ? S(unhex(a)) : Bytes(unhex(a));
      const VmValue y = kind == "str" ? S(unhex(b)) : ByteArray(unhex(b));
      const int want = parse_cmp(expected);
      ASSERT_EQ(static_cast<int>(*compare_vm_values(x, y)), want) << line;
      ASSERT_EQ(*vm_values_equal(x, y), want == 0) << line;
      ++count;
    } else if (kind == "float") {
      const VmValue x = F(from_bits(a));
      const VmValue y = F(from_bits(b));
      const auto order = compare_vm_values(x, y);
      const auto equal = vm_values_equal(x, y);
      if (expected == "nan") {
        ASSERT_FALSE(order.ok()) << line;
        ASSERT_EQ(order.error().message, "cannot compare NaN values");
        ASSERT_FALSE(equal.ok()) << line;
      } else {
        ASSERT_EQ(static_cast<int>(*order), parse_cmp(expected)) << line;
        ASSERT_EQ(*equal, parse_cmp(expected) == 0) << line;
      }
      ++count;
    }
  }
  EXPECT_GT(count, 5000u);
}

TEST(OrderingPrimitives, IntAndBytes) {
  EXPECT_EQ(vm_int_compare(I(-1), Pow2(64)), -1);
  EXPECT_EQ(vm_int_compare(Pow2(64), I(INT64_MAX)), 1);
  EXPECT_EQ(vm_int_compare(Pow2(64), Pow2(64)), 0);
  EXPECT_EQ(vm_int_to_f64(Ibig("9007199254740993")), 9007199254740992.0);
  EXPECT_EQ(vm_int_to_f64(I(INT64_MAX)), 9223372036854775808.0);
  EXPECT_EQ(vm_bytes_compare("", ""), 0);
  EXPECT_EQ(vm_bytes_compare("a", ""), 1);
  EXPECT_EQ(vm_bytes_compare("\x7f", "\x80"), -1);
}

}  // namespace
}  // namespace veln
