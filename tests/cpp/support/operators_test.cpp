// Operators: the cases of support/binary_operators, compare_operators,
// unary_operators, value_equality, subscripts and integer_guards, CPython's
// results for integer arithmetic, int/float mixes, slices and orders
// (tests/gen/gen_operator_cases.py, gen_integer_guards.py,
// gen_value_ordering.py), and copy-on-write of the operands.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <map>

#include "case_file.hpp"
#include "interpreter_support/binary_operators.hpp"
#include "interpreter_support/compare_operators.hpp"
#include "interpreter_support/integer_guards.hpp"
#include "interpreter_support/membership.hpp"
#include "interpreter_support/subscripts.hpp"
#include "interpreter_support/unary_operators.hpp"
#include "interpreter_support/value_equality.hpp"
#include "values/bigint.hpp"

namespace veln {
namespace {

using namespace cases;

// An int result must be held inline exactly when it fits 64 bits.
Outcome checked(const VmResult<VmValue>& r) {
  if (r.ok() && r->is(VmKind::Int) && r->int_is_small() != bigint_fits_i64(r->int_to_mpz())) {
    return vm_error("int result not normalised");
  }
  return outcome(r);
}

TEST(BinaryOperators, Cases) {
  run_case_file("support/binary_operators.cases",
                {
                    {"named", [](const Case& c) { return checked(apply_binary_operator(c[0].text(), c[1], c[2])); }},
                    {"*", [](const Case& c) { return checked(apply_binary_operator(c.op, c[0], c[1])); }},
                });
}

TEST(CompareOperators, Cases) {
  run_case_file("support/compare_operators.cases",
                {
                    {"named", [](const Case& c) { return outcome(apply_compare_operator(c[0].text(), c[1], c[2])); }},
                    {"in_large_dict",
                     [](const Case& c) {
                       std::vector<VmDictPair> pairs;
                       for (int i = 0; i < 200; ++i) {
                         pairs.push_back({VmValue::str(std::string("k").append(std::to_string(i))), VmValue::integer(i)});
                       }
                       pairs.push_back({VmValue::integer(7), VmValue::integer(0)});
                       return outcome(contains_value(*VmValue::make_dict(std::move(pairs)), c[0]));
                     }},
                    {"*", [](const Case& c) { return outcome(apply_compare_operator(c.op, c[0], c[1])); }},
                });
}

TEST(UnaryOperators, Cases) {
  run_case_file("support/unary_operators.cases",
                {
                    {"named", [](const Case& c) { return checked(apply_unary_operator(c[0].text(), c[1])); }},
                    {"*", [](const Case& c) { return checked(apply_unary_operator(c.op, c[0])); }},
                });
}

TEST(ValueEquality, Cases) {
  run_case_file("support/value_equality.cases",
                {
                    {"equal", [](const Case& c) { return outcome(vm_values_equal(c[0], c[1])); }},
                    {"order",
                     [](const Case& c) -> Outcome {
                       VELN_TRY(const VmOrdering o, compare_vm_values(c[0], c[1]));
                       return outcome(static_cast<int>(o));
                     }},
                    {"int_compare", [](const Case& c) { return outcome(vm_int_compare(c[0], c[1])); }},
                    {"int_to_f64", [](const Case& c) { return outcome(vm_int_to_f64(c[0])); }},
                    {"bytes_compare", [](const Case& c) { return outcome(vm_bytes_compare(c[0].text(), c[1].text())); }},
                });
}

std::optional<VmValue> bound(const VmValue& v) {
  if (v.is(VmKind::None)) return std::nullopt;
  return v;
}
std::optional<mpz_class> int_bound(const VmValue& v) {
  if (v.is(VmKind::None)) return std::nullopt;
  return v.int_to_mpz();
}
VmSliceArgs slice_args(const Case& c, size_t at) { return {bound(c[at]), bound(c[at + 1]), bound(c[at + 2])}; }

TEST(Subscripts, Cases) {
  run_case_file(
      "support/subscripts.cases",
      {
          {"get", [](const Case& c) { return outcome(subscript_value(c[0], c[1])); }},
          {"set", [](const Case& c) { return outcome(assign_subscript(c[0], c[1], c[2])); }},
          {"set_deep",
           [](const Case& c) {
             VmValue deep = *VmValue::make_list({VmValue::integer(0)});
             while (deep.depth() < kVmMaxDepth) deep = *VmValue::make_list({deep});
             return outcome(assign_subscript(c[0], c[1], deep));
           }},
          {"slice", [](const Case& c) { return outcome(subscript_slice_value(c[0], slice_args(c, 1))); }},
          {"slice_ints",
           [](const Case& c) {
             return outcome(subscript_slice_value(c[0], int_bound(c[1]), int_bound(c[2]), int_bound(c[3])));
           }},
          {"bytes_like",
           [](const Case& c) -> Outcome {
             VELN_TRY(std::string bytes, clone_as_bytes_like(c[0]));
             return outcome(*VmValue::make_bytes(std::move(bytes)));
           }},
          {"slice_bytes",
           [](const Case& c) { return outcome(slice_bytes_like(c[0].text(), slice_args(c, 1), c[4].bool_value())); }},
      });
}

TEST(IntegerGuards, Cases) {
  const auto label = [](const Case& c) { return std::string_view(c[2].text()); };
  run_case_file(
      "support/integer_guards.cases",
      {
          {"pow", [=](const Case& c) { return checked(checked_bigint_pow(c.mpz(0), c.mpz(1), label(c))); }},
          {"int_pow", [=](const Case& c) { return checked(checked_int_pow(c[0], c[1], label(c))); }},
          {"mul", [](const Case& c) { return checked(checked_bigint_mul(c.mpz(0), c.mpz(1))); }},
          {"int_mul", [](const Case& c) { return checked(checked_int_mul(c[0], c[1])); }},
          {"lshift", [](const Case& c) { return checked(checked_left_shift(c.mpz(0), c.mpz(1))); }},
          {"int_lshift", [](const Case& c) { return checked(checked_int_left_shift(c[0], c[1])); }},
          {"rshift", [](const Case& c) { return checked(checked_right_shift(c.mpz(0), c.mpz(1))); }},
          {"int_rshift", [](const Case& c) { return checked(checked_int_right_shift(c[0], c[1])); }},
          {"int_value", [](const Case& c) { return checked(checked_int_value(c.mpz(0), c[1].text())); }},
          {"ensure_bits", [](const Case& c) { return outcome(ensure_bigint_bits(c.mpz(0), c[1].text())); }},
          {"ensure_int_bits", [](const Case& c) { return outcome(ensure_int_value_bits(c[0], c[1].text())); }},
          {"repeat_str", [](const Case& c) { return outcome(repeat_string(c[0].text(), c[1])); }},
          {"repeat_bytes",
           [](const Case& c) -> Outcome {
             VELN_TRY(std::string bytes, repeat_bytes_like(c[0].text(), c[1]));
             return outcome(*VmValue::make_bytes(std::move(bytes)));
           }},
          {"repeat_values", [](const Case& c) { return outcome(repeat_values(c[0].items(), c[1])); }},
      });
}

VmValue oracle_operand(const std::string& text) {
  if (text.starts_with("f:")) return VmValue::float64(std::strtod(text.c_str() + 2, nullptr));
  return VmValue::integer(mpz_class(text));
}

// "int <op> <a> <b> <result or !message>" and "flt <op> <a> <b> <hex float>".
TEST(Operators, IntegerAndFloatResultsMatchCPython) {
  size_t binary = 0, compare = 0, mixed = 0;
  for (const auto& row : data_rows("operator_cases.txt")) {
    if (row[0] != "int" && row[0] != "flt") continue;
    std::string expected = row[4];
    for (size_t i = 5; i < row.size(); ++i) expected += " " + row[i];
    const VmValue a = oracle_operand(row[2]), b = oracle_operand(row[3]);
    const std::string context = row[1] + " " + row[2] + " " + row[3];
    if (row[0] == "flt") {
      const auto r = apply_binary_operator(row[1], a, b);
      ASSERT_TRUE(r.ok() && r->is(VmKind::Float)) << context;
      const double want = std::strtod(expected.c_str(), nullptr);
      if (std::isnan(want)) EXPECT_TRUE(std::isnan(r->float_value())) << context;
      else EXPECT_EQ(std::bit_cast<uint64_t>(r->float_value()), std::bit_cast<uint64_t>(want)) << context;
      ++mixed;
    } else if (binary_operator_from_name(row[1])) {
      const auto r = apply_binary_operator(row[1], a, b);
      if (expected[0] == '!') {
        EXPECT_EQ(r.ok() ? "ok" : r.error().message, expected.substr(1)) << context;
      } else {
        ASSERT_TRUE(r.ok() && r->is(VmKind::Int)) << context;
        EXPECT_EQ(bigint_to_string(r->int_to_mpz()), expected) << context;
        EXPECT_EQ(r->int_is_small(), bigint_fits_i64(r->int_to_mpz())) << context;
      }
      ++binary;
    } else {
      const auto r = apply_compare_operator(row[1], a, b);
      ASSERT_TRUE(r.ok()) << context;
      EXPECT_EQ(*r ? "True" : "False", expected) << context;
      ++compare;
    }
  }
  EXPECT_GT(binary, 30000u);
  EXPECT_GT(compare, 15000u);
  EXPECT_GT(mixed, 1000u);
}

// "slc <n> <lo> <hi> <step> : <positions>" and "str <hex> <lo> <hi> <step> <hex>"
// ("_" for an absent part).
TEST(Operators, SlicesMatchCPython) {
  const auto part = [](const std::string& t) { return t == "_" ? std::nullopt : std::optional<mpz_class>(t); };
  size_t positions = 0, texts = 0;
  for (const auto& row : data_rows("operator_cases.txt")) {
    if (row[0] == "slc") {
      const size_t n = std::stoul(row[1]);
      std::string expected;
      for (size_t i = 6; i < row.size(); ++i) expected += row[i] + " ";
      const auto got = slice_positions(n, part(row[2]), part(row[3]), part(row[4]));
      ASSERT_TRUE(got.ok()) << row[1];
      std::string shown;
      for (size_t p : *got) shown += std::to_string(p) + " ";
      EXPECT_EQ(shown, expected) << row[1] << " " << row[2] << " " << row[3] << " " << row[4];
      // The list slice visits the same positions.
      std::vector<VmValue> items;
      for (size_t i = 0; i < n; ++i) items.push_back(VmValue::integer(static_cast<int64_t>(i)));
      const auto sliced = subscript_slice_value(*VmValue::make_list(std::move(items)), part(row[2]), part(row[3]),
                                                part(row[4]));
      ASSERT_TRUE(sliced.ok());
      shown.clear();
      for (const VmValue& v : sliced->items()) shown += std::to_string(v.small_int()) + " ";
      EXPECT_EQ(shown, expected);
      ++positions;
    } else if (row[0] == "str") {
      const auto sliced =
          subscript_slice_value(VmValue::str(unhex(row[1])), part(row[2]), part(row[3]), part(row[4]));
      ASSERT_TRUE(sliced.ok()) << row[1];
      EXPECT_EQ(std::string(sliced->text()), unhex(row.size() > 5 ? row[5] : "-")) << row[1];
      ++texts;
    }
  }
  EXPECT_GT(positions, 20000u);
  EXPECT_GT(texts, 1000u);
}

// "<op> <a> <b> <result>" for shifts, powers and products inside the limit
// and the refusals at and beyond it, through both entry points.
TEST(IntegerGuards, MatchCPython) {
  using Guard = VmResult<VmValue> (*)(const mpz_class&, const mpz_class&);
  const std::map<std::string, std::pair<Guard, Guard>, std::less<>> guards = {
      {"lshift", {[](const mpz_class& a, const mpz_class& b) { return checked_left_shift(a, b); },
                  [](const mpz_class& a, const mpz_class& b) {
                    return checked_int_left_shift(VmValue::integer(a), VmValue::integer(b));
                  }}},
      {"rshift", {[](const mpz_class& a, const mpz_class& b) { return checked_right_shift(a, b); },
                  [](const mpz_class& a, const mpz_class& b) {
                    return checked_int_right_shift(VmValue::integer(a), VmValue::integer(b));
                  }}},
      {"pow", {[](const mpz_class& a, const mpz_class& b) { return checked_bigint_pow(a, b, kLabelIntegerExponentiation); },
               [](const mpz_class& a, const mpz_class& b) {
                 return checked_int_pow(VmValue::integer(a), VmValue::integer(b), kLabelIntegerExponentiation);
               }}},
      {"mul", {[](const mpz_class& a, const mpz_class& b) { return checked_bigint_mul(a, b); },
               [](const mpz_class& a, const mpz_class& b) {
                 return checked_int_mul(VmValue::integer(a), VmValue::integer(b));
               }}},
  };
  size_t checked_rows = 0;
  for (const auto& row : data_rows("integer_guards.txt")) {
    const mpz_class a(row[1]), b(row[2]);
    std::string expected = row[3];
    for (size_t i = 4; i < row.size(); ++i) expected += " " + row[i];
    const auto& [via_mpz, via_value] = guards.at(row[0]);
    for (const auto& r : {via_mpz(a, b), via_value(a, b)}) {
      const Outcome shown = checked(r);
      ASSERT_EQ(shown.ok() ? bigint_to_string(r->int_to_mpz()) : "error: " + shown.error().message, expected)
          << row[0] << " " << row[1] << " " << row[2];
    }
    ++checked_rows;
  }
  EXPECT_GT(checked_rows, 10000u);
}

// CPython's orders of str (code points), bytes and floats: "<kind> <a> <b> <-1|0|1|nan>".
TEST(ValueOrdering, MatchesCPython) {
  size_t checked_rows = 0;
  for (const auto& row : data_rows("value_ordering.txt")) {
    VmValue x, y;
    if (row[0] == "str") {
      x = VmValue::str(unhex(row[1]));
      y = VmValue::str(unhex(row[2]));
    } else if (row[0] == "bytes") {
      x = *VmValue::make_bytes(unhex(row[1]));
      y = *VmValue::make_bytearray(unhex(row[2]));
    } else if (row[0] == "float") {
      x = VmValue::float64(std::bit_cast<double>(std::stoull(row[1], nullptr, 16)));
      y = VmValue::float64(std::bit_cast<double>(std::stoull(row[2], nullptr, 16)));
    } else {
      continue;  // float sets: see the set tests
    }
    const auto order = compare_vm_values(x, y);
    const auto equal = vm_values_equal(x, y);
    if (row[3] == "nan") {
      ASSERT_EQ(order.ok() ? "ok" : order.error().message, "cannot compare NaN values") << row[1];
      ASSERT_FALSE(equal.ok()) << row[1];
    } else {
      ASSERT_EQ(static_cast<int>(*order), std::stoi(row[3])) << row[0] << " " << row[1] << " " << row[2];
      ASSERT_EQ(*equal, row[3] == "0") << row[1];
    }
    ++checked_rows;
  }
  EXPECT_GT(checked_rows, 5000u);
}

// Operands are values: an operator or an assignment on a copy never shows in
// the original, even when the operator grows an unshared buffer in place.
TEST(Operators, OperandsAreValuesNotShared) {
  const VmValue list = V("[1, [2]]");
  VmValue copy = list;
  EXPECT_EQ(apply_binary_operator(BinaryOperator::Add, std::move(copy), V("[3]"))->python_repr(), "[1, [2], 3]");
  EXPECT_EQ(assign_subscript(list, VmValue::integer(0), VmValue::str("x"))->python_repr(), "[x, [2]]");
  EXPECT_EQ(list.python_repr(), "[1, [2]]");
  const VmValue text = VmValue::str("ab");
  EXPECT_EQ(apply_binary_operator(BinaryOperator::Add, text, VmValue::str("c"))->python_repr(), "abc");
  EXPECT_EQ(text.python_repr(), "ab");
  const VmValue bytes = V("bytearray(b'ab')");
  EXPECT_EQ(assign_subscript(bytes, VmValue::integer(0), VmValue::integer(0x7a))->python_repr(), "bytearray(b'zb')");
  EXPECT_EQ(bytes.python_repr(), "bytearray(b'ab')");
}

}  // namespace
}  // namespace veln
