// Binary operators: every accepted operand pair and the refusal wording of the
// others, the places where results differ from Python (no bool arithmetic,
// int / int through doubles, IEEE division by zero, truncating decimals),
// size guards at construction, and CPython's own results for integer
// arithmetic, shifts and bitwise operations (tests/gen/gen_operator_cases.py).
#include "interpreter_support/binary_operators.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <limits>
#include <sstream>
#include <string>

#include "operator_test_values.hpp"
#include "values/bigint.hpp"

namespace veln {
namespace {

using namespace test_values;

const double kNan = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();

using Case = OperatorCase;

void run(const std::vector<Case>& cases) {
  expect_operator_cases(cases, [](std::string_view op, const VmValue& l, const VmValue& r) {
    return apply_binary_operator(op, l, r);
  });
}

TEST(BinaryOperators, OperatorNames) {
  run({
      {"pow", I(2), I(10), "int:1024"},
      {"matmul", I(1), I(2), "error: unsupported binary operator 'matmul'"},
      {"Add", I(1), I(2), "error: unsupported binary operator 'Add'"},
      {"", I(1), I(2), "error: unsupported binary operator ''"},
      {"add ", I(1), I(2), "error: unsupported binary operator 'add '"},
  });
}

TEST(BinaryOperators, NumbersAndBools) {
  run({
      {"add", B(true), I(1), "error: unsupported add operands bool and int"},
      {"add", I(1), B(true), "error: unsupported add operands int and bool"},
      {"sub", B(true), B(true), "error: unsupported sub operands bool and bool"},
      {"mul", F(1.5), B(true), "error: unsupported mul operands float and bool"},
      {"div", B(true), F(2.0), "error: unsupported div operands bool and float"},
      {"pow", B(true), I(2), "error: unsupported pow operands bool and int"},
      {"add", B(true), D("1"), "decimal:2"},
      {"add", F(0.5), B(false), "error: unsupported add operands float and bool"},
      {"add", None(), None(), "error: unsupported add operands none and none"},
      {"add", I(1), F(0.5), "float:1.5"},
      {"add", F(0.1), F(0.2), "float:0.30000000000000004"},
      {"add", Pow2(2000), F(1.0), "float:inf"},
      {"sub", F(1.0), Pow2(2000), "float:-inf"},
      {"mul", I(3), F(0.5), "float:1.5"},
      {"add", Ibig("9223372036854775807"), I(1), "int:9223372036854775808"},
      {"sub", Ibig("-9223372036854775808"), I(1), "int:-9223372036854775809"},
      {"mul", Ibig("-9223372036854775808"), I(-1), "int:9223372036854775808"},
      {"floordiv", Ibig("-9223372036854775808"), I(-1), "int:9223372036854775808"},
      {"mod", Ibig("-9223372036854775808"), I(-1), "int:0"},
  });
}

TEST(BinaryOperators, DecimalCoercion) {
  run({
      {"add", S("1.5"), D("1.5"), "decimal:3"},
      {"add", D("1.5"), S("1.5"), "decimal:3"},
      {"add", S("abc"), D("1"),
       "error: binary operator 'add' could not coerce left operand abc (str) to decimal: invalid decimal "
       "literal 'abc'"},
      {"add", D("1"), None(),
       "error: binary operator 'add' could not coerce right operand None (none) to decimal: expected "
       "decimal-compatible value, got none"},
      {"add", D("1"), List({I(1)}),
       "error: binary operator 'add' could not coerce right operand [1] (list) to decimal: expected "
       "decimal-compatible value, got list"},
      {"mul", List({I(1)}), D("2"),
       "error: binary operator 'mul' could not coerce left operand [1] (list) to decimal: expected "
       "decimal-compatible value, got list"},
      {"mul", S("1.5"), D("2"), "decimal:3"},
      {"sub", Td(5), D("1"),
       "error: binary operator 'sub' could not coerce left operand 0:00:05 (timedelta) to decimal: expected "
       "decimal-compatible value, got timedelta"},
      {"add", D("1"), F(0.1), "decimal:1.1"},
      {"add", D("1"), F(kNan),
       "error: binary operator 'add' could not coerce right operand NaN (float) to decimal: invalid decimal "
       "literal 'NaN'"},
      {"div", D("1"), I(3), "decimal:0.333333333333333333333333333333"},
      {"div", D("1"), I(0), "error: division by zero"},
      {"floordiv", D("1"), I(0), "error: division by zero"},
      {"mod", D("5"), I(0), "error: modulo by zero"},
      {"pow", I(2), D("0.5"), "decimal:1.414213562373095048801688724209"},
      {"pow", D("2"), D("1.5"), "error: unsupported decimal exponent 1.5"},
      {"bitand", D("-2.7"), I(3), "int:2"},
      {"mul", D("1E+60"), I(10),
       "error: decimal value 1" + std::string(61, '0') + " exceeds the supported decimal range"},
  });
}

TEST(BinaryOperators, DivisionFloorAndModulo) {
  run({
      {"div", I(7), I(2), "float:3.5"},
      {"div", I(1), I(0), "error: division by zero"},
      {"div", I(0), I(0), "error: division by zero"},
      {"div", F(1.0), I(0), "float:inf"},
      {"div", I(-1), F(0.0), "float:-inf"},
      {"div", I(1), F(-0.0), "float:-inf"},
      {"div", F(0.0), F(0.0), "float:NaN"},
      {"div", Pow2(1400), Pow2(1399), "float:NaN"},
      {"div", I(9007199254740993), I(1), "float:9007199254740992.0"},
      {"floordiv", I(-7), I(2), "int:-4"},
      {"mod", I(-7), I(2), "int:1"},
      {"mod", I(-7), I(3), "int:2"},
      {"mod", I(7), I(-3), "int:-2"},
      {"mod", I(5), I(0), "error: division by zero"},
      {"floordiv", I(5), I(0), "error: division by zero"},
      {"floordiv", D("-7"), I(2), "decimal:-3"},
      {"mod", D("-7"), I(2), "decimal:-1"},
      {"mod", D("-7"), I(3), "decimal:-1"},
      {"mod", D("7"), I(-3), "decimal:1"},
      {"floordiv", F(7.0), I(2), "error: unsupported floordiv operands float and int"},
      {"floordiv", I(7), F(2.0), "error: unsupported floordiv operands int and float"},
      {"mod", F(5.5), I(2), "error: unsupported mod operands float and int"},
      {"mod", F(5.5), D("2"), "decimal:1.5"},
      {"floordiv", B(true), I(1), "error: unsupported floordiv operands bool and int"},
  });
}

TEST(BinaryOperators, Powers) {
  run({
      {"pow", I(2), I(-1), "error: pow exponent must be non-negative"},
      {"pow", F(2.0), I(-1), "float:0.5"},
      {"pow", I(2), F(0.5), "float:1.4142135623730951"},
      {"pow", F(-8.0), F(1.0 / 3.0), "float:NaN"},
      {"pow", F(0.0), I(-1), "float:inf"},
      {"pow", F(10.0), I(400), "float:inf"},
      {"pow", I(0), I(0), "int:1"},
      {"pow", I(-2), I(3), "int:-8"},
      {"pow", I(2), I(1048576),
       "error: integer exponentiation exceeds the maximum allowed integer size of 1048576 bits"},
      {"pow", I(1), Pow2(40), "error: pow exponent exceeds the supported u32 range"},
  });
}

TEST(BinaryOperators, TimeValues) {
  run({
      {"sub", Dt(2024, 1, 1, 0, 1, 30), Dt(2024, 1, 1), "timedelta:0:01:30"},
      {"sub", Dt(2024, 1, 1), Dt(2024, 1, 1, 0, 0, 1, 500000), "timedelta:-0:00:01"},
      {"sub", Dt(2024, 1, 1), Dt(2024, 1, 1, 0, 0, 0, 500000), "timedelta:0:00:00"},
      {"sub", Dt(2024, 1, 1), Td(5), "error: unsupported sub operands datetime and timedelta"},
      {"add", Dt(2024, 12, 31, 23), Td(3600), "datetime:2025-01-01 00:00:00"},
      {"add", Td(3600), Dt(2024, 12, 31, 23), "datetime:2025-01-01 00:00:00"},
      {"add", Dt(2024, 1, 1), Td(10000000000000000), "error: datetime overflow"},
      {"add", Td(INT64_MAX), Td(1), "error: timedelta overflow"},
      {"sub", Td(INT64_MIN), Td(1), "error: timedelta overflow"},
      {"mul", Td(3), Td(4), "timedelta:0:00:12"},
      {"mul", Td(INT64_MAX / 2 + 1), Td(2), "error: timedelta overflow"},
      {"mul", Td(5), I(2), "timedelta:0:00:10"},
      {"mul", I(2), Td(5), "timedelta:0:00:10"},
      {"mul", Td(5), Pow2(63), "error: timedelta multiplier exceeds the supported i64 range"},
      {"mul", Td(5), F(2.0), "error: unsupported mul operands timedelta and float"},
      {"mul", Td(5), B(true), "error: unsupported mul operands timedelta and bool"},
      {"add", Td(1), I(1), "error: unsupported add operands timedelta and int"},
      {"add", Dt(2024, 1, 1), Dt(2024, 1, 1), "error: unsupported add operands datetime and datetime"},
  });
}

TEST(BinaryOperators, SequencesAndText) {
  run({
      {"add", S("x"), I(1), "error: unsupported add operands str and int"},
      {"add", S("ab"), S("cé"), "str:abcé"},
      {"add", List({I(1)}), Tuple({I(1)}), "error: unsupported add operands list and tuple"},
      {"add", List({I(1)}), List({S("a")}), "list:[1, a]"},
      {"add", Tuple({}), Tuple({I(1)}), "tuple:(1,)"},
      {"add", Bytes("a"), ByteArray("b"), "bytes:b'ab'"},
      {"add", ByteArray("b"), Bytes("a"), "bytearray:bytearray(b'ba')"},
      {"add", S("a"), Bytes("b"), "error: unsupported add operands str and bytes"},
      {"mul", I(3), S("ab"), "str:ababab"},
      {"mul", S("ab"), I(3), "str:ababab"},
      {"mul", S("ab"), I(-1), "str:"},
      {"mul", I(2), List({I(1)}), "list:[1, 1]"},
      {"mul", Tuple({I(1), I(2)}), I(2), "tuple:(1, 2, 1, 2)"},
      {"mul", ByteArray("ab"), I(2), "bytearray:bytearray(b'abab')"},
      {"mul", I(0), Bytes("ab"), "bytes:b''"},
      {"mul", S("ab"), B(true), "error: unsupported mul operands str and bool"},
      {"mul", B(true), S("ab"), "error: unsupported mul operands bool and str"},
      {"mul", S("ab"), I(65537), "error: string repetition exceeds the maximum allowed allocation size"},
      {"mul", List({I(1), I(2)}), I(65537),
       "error: sequence repetition exceeds the maximum allowed allocation size"},
      {"mul", S(""), Pow2(64), "error: string repeat count exceeds the supported usize range"},
      {"mul", S(""), Pow2(63), "str:"},
      {"mul", Pow2(63), List({}), "list:[]"},
      {"mul", ByteArray(""), I(INT64_MAX), "bytearray:bytearray(b'')"},
      {"mul", Dict({}), I(2), "error: unsupported mul operands dict and int"},
  });
}

TEST(BinaryOperators, SetsAndBitwise) {
  run({
      {"sub", SetOf({I(1), I(2), I(3)}), FrozenSetOf({F(2.0)}), "set:{1, 3}"},
      {"sub", FrozenSetOf({I(1)}), SetOf({I(1)}), "frozenset:frozenset()"},
      {"bitor", FrozenSetOf({I(1)}), SetOf({I(2)}), "frozenset:frozenset({1, 2})"},
      {"bitor", SetOf({I(1), I(2)}), SetOf({F(2.0)}), "set:{1, 2}"},
      {"bitor", SetOf({F(1.0)}), SetOf({I(1)}), "set:{1}"},
      {"bitand", SetOf({F(1.0)}), SetOf({I(1)}), "set:{1.0}"},
      {"bitxor", SetOf({I(1), I(2)}), SetOf({F(2.0), I(3)}), "set:{1, 3}"},
      {"bitor", SetOf({I(1)}), SetOf({B(true)}), "set:{True}"},
      {"bitor", SetOf({S("b"), I(2)}), FrozenSetOf({S("a"), None()}), "set:{None, 2, a, b}"},
      {"bitand", SetOf({S("a")}), SetOf({}), "set:set()"},
      {"add", SetOf({I(1)}), SetOf({I(2)}), "error: unsupported add operands set and set"},
      {"bitor", SetOf({I(1)}), List({I(2)}), "error: expected int-compatible value, got set"},
      {"bitor", List({I(2)}), SetOf({I(1)}), "error: expected int-compatible value, got list"},
      {"bitand", Dict({}), Dict({}), "error: expected int-compatible value, got dict"},
      {"bitor", I(1), F(1.0), "error: expected int-compatible value, got float"},
      {"bitor", B(true), I(2), "int:3"},
      {"bitand", B(true), B(false), "bool:False"},
      {"bitor", B(true), B(false), "bool:True"},
      {"bitxor", B(true), B(true), "bool:False"},
      {"bitand", I(-1), Pow2(100), "int:1267650600228229401496703205376"},
      {"bitxor", I(-1), Pow2(64), "int:-18446744073709551617"},
      {"lshift", B(true), I(3), "int:8"},
      {"lshift", D("5.9"), I(1), "int:10"},
      {"lshift", I(1), I(-1), "error: negative shift count"},
      {"lshift", I(1), I(1048576), "error: left shift exceeds the maximum allowed integer size of 1048576 bits"},
      {"lshift", I(0), Pow2(63), "int:0"},
      {"lshift", I(1), Pow2(64), "error: shift count exceeds the supported usize range"},
      {"rshift", I(-5), I(1), "int:-3"},
      {"rshift", I(-1), I(3), "int:-1"},
      {"rshift", I(5), I(1048577),
       "error: right shift count exceeds the maximum allowed integer size of 1048576 bits"},
      {"rshift", S("a"), I(1), "error: expected int-compatible value, got str"},
      {"rshift", I(1), S("a"), "error: expected int-compatible value, got str"},
  });
}

TEST(BinaryOperators, IntegerSizeLimits) {
  // (2^1048576 - 1) has 1048576 bits: sums go unguarded, products are refused.
  mpz_class max_bits = 1;
  max_bits <<= 1048576;
  max_bits -= 1;
  auto sum = apply_binary_operator(BinaryOperator::Add, VmValue::integer(max_bits), VmValue::integer(max_bits));
  ASSERT_TRUE(sum.ok());
  EXPECT_EQ(bigint_bit_length(sum->int_to_mpz()), 1048577u);
  EXPECT_EQ(show(apply_binary_operator(BinaryOperator::Mul, VmValue::integer(max_bits), VmValue::integer(max_bits))),
            "error: integer multiplication exceeds the maximum allowed integer size of 1048576 bits");
}

TEST(BinaryOperators, ConcatenationAndRepetitionCheckValueSize) {
  // Two strings of 2.5 M bytes each make one over the 4194304-unit limit.
  const VmValue half = VmValue::str(std::string(2500000, 'a'));
  EXPECT_EQ(show(apply_binary_operator(BinaryOperator::Add, half, half)),
            "error: value exceeds the maximum allowed allocation size");
  // Repetition stays within 131072 elements but its items are large.
  const VmValue big_item = List({VmValue::str(std::string(1000000, 'b'))});
  EXPECT_EQ(show(apply_binary_operator(BinaryOperator::Mul, big_item, I(5))),
            "error: value exceeds the maximum allowed allocation size");
  EXPECT_TRUE(apply_binary_operator(BinaryOperator::Mul, big_item, I(4)).ok());
  std::vector<VmValue> items(2200000, I(1));
  const VmValue list = *VmValue::make_list(std::move(items));
  EXPECT_EQ(show(apply_binary_operator(BinaryOperator::Add, list, list)),
            "error: value exceeds the maximum allowed allocation size");
}

TEST(BinaryOperators, OperandsAreValuesNotShared) {
  const VmValue original = List({I(1)});
  VmValue copy = original;
  auto r = apply_binary_operator(BinaryOperator::Add, std::move(copy), List({I(2)}));
  ASSERT_TRUE(r.ok());
  EXPECT_EQ(show(*r), "list:[1, 2]");
  EXPECT_EQ(show(original), "list:[1]");

  const VmValue text = S("ab");
  auto t = apply_binary_operator(BinaryOperator::Add, text, S("c"));
  EXPECT_EQ(show(t), "str:abc");
  EXPECT_EQ(show(text), "str:ab");
}

// --- CPython oracle --------------------------------------------------------

std::vector<std::string> split(const std::string& line) {
  std::istringstream in(line);
  std::vector<std::string> parts;
  std::string p;
  while (in >> p) parts.push_back(p);
  return parts;
}

VmValue oracle_operand(const std::string& text) {
  if (text.rfind("f:", 0) == 0) return F(std::strtod(text.c_str() + 2, nullptr));
  return VmValue::integer(mpz_class(text));
}

TEST(BinaryOperators, IntegerResultsMatchCPython) {
  const auto lines = data_lines("operator_cases.txt", "int");
  ASSERT_GT(lines.size(), 50000u);
  size_t checked = 0;
  for (const std::string& line : lines) {
    const auto parts = split(line);
    const std::string& op = parts[1];
    if (!binary_operator_from_name(op)) continue;  // comparisons are checked elsewhere
    const VmValue a = oracle_operand(parts[2]);
    const VmValue b = oracle_operand(parts[3]);
    const auto result = apply_binary_operator(std::string_view(op), a, b);
    const size_t pos = line.find(' ', line.find(' ', line.find(' ', line.find(' ') + 1) + 1) + 1);
    const std::string expected = line.substr(pos + 1);
    if (expected[0] == '!') {
      ASSERT_FALSE(result.ok()) << line;
      EXPECT_EQ(result.error().message, expected.substr(1)) << line;
    } else {
      ASSERT_TRUE(result.ok()) << line << ": " << result.error().message;
      ASSERT_TRUE(result->is(VmKind::Int)) << line;
      EXPECT_EQ(bigint_to_string(result->int_to_mpz()), expected) << line;
      // Results that fit 64 bits are inline.
      EXPECT_EQ(result->int_is_small(), bigint_fits_i64(result->int_to_mpz())) << line;
    }
    ++checked;
  }
  EXPECT_GT(checked, 30000u);
}

TEST(BinaryOperators, IntFloatMixesMatchCPython) {
  const auto lines = data_lines("operator_cases.txt", "flt");
  ASSERT_GT(lines.size(), 1000u);
  for (const std::string& line : lines) {
    const auto parts = split(line);
    const auto result = apply_binary_operator(std::string_view(parts[1]), oracle_operand(parts[2]),
                                              oracle_operand(parts[3]));
    ASSERT_TRUE(result.ok()) << line;
    ASSERT_TRUE(result->is(VmKind::Float)) << line;
    const double expected = std::strtod(parts[4].c_str(), nullptr);
    if (std::isnan(expected)) {
      EXPECT_TRUE(std::isnan(result->float_value())) << line;
    } else {
      EXPECT_EQ(std::signbit(result->float_value()), std::signbit(expected)) << line;
      EXPECT_EQ(result->float_value(), expected) << line;
    }
  }
  (void)kInf;
}

}  // namespace
}  // namespace veln
