#include "interpreter_support/value_iteration.hpp"

#include <gtest/gtest.h>

#include <random>

#include "value_builders.hpp"

namespace veln {
namespace {

using namespace value_builders;

std::string repr_all(const std::vector<VmValue>& values) {
  return List(values).python_repr();
}

TEST(ValueIteration, ItemsByKind) {
  auto dict = *VmValue::make_dict({VmDictPair{I(2), S("a")}, VmDictPair{I(1), S("b")}});
  EXPECT_EQ(repr_all(*iterate_value(dict)), "[2, 1]");
  EXPECT_EQ(repr_all(*iterate_value(*VmValue::make_bytes("ab"))), "[97, 98]");
  auto chars = *iterate_value(S("a\xc3\xa9\xf0\x9f\x98\x80"));
  ASSERT_EQ(chars.size(), 3u);
  EXPECT_EQ(chars[1].text(), "\xc3\xa9");
  EXPECT_EQ(chars[2].text(), "\xf0\x9f\x98\x80");
  EXPECT_EQ(repr_all(*iterate_value(*VmValue::make_tuple({I(1), S("x")}))), "[1, x]");
  EXPECT_EQ(iterate_value(I(5)).error().message, "value of type int is not iterable");
  EXPECT_EQ(iterate_value(VmValue::none()).error().message, "value of type none is not iterable");
}

TEST(ValueIteration, SortedMixedNumbersAndErrors) {
  EXPECT_EQ(repr_all(*sorted_values({I(3), VmValue::float64(1.5), VmValue::boolean(true), I(2)})),
            "[True, 1.5, 2, 3]");
  auto stable = *sorted_values({I(1), VmValue::float64(1.0)});
  EXPECT_TRUE(stable[0].is(VmKind::Int));
  EXPECT_TRUE(stable[1].is(VmKind::Float));
  auto bad = sorted_values({I(1), S("a")});
  ASSERT_FALSE(bad.ok());
  EXPECT_EQ(bad.error().message, "values str and int are not order-comparable");
}

// The one-kind fast path must give exactly the insertion sort's order.
TEST(ValueIteration, SortedOneKindMatchesStableOrder) {
  std::mt19937_64 rng(7);
  std::vector<VmValue> ints;
  std::vector<int64_t> expected;
  for (int k = 0; k < 2000; ++k) {
    int64_t v = static_cast<int64_t>(rng() % 200) - 100;
    ints.push_back(I(v));
    expected.push_back(v);
  }
  std::stable_sort(expected.begin(), expected.end());
  auto sorted = *sorted_values(ints);
  ASSERT_EQ(sorted.size(), expected.size());
  for (size_t k = 0; k < expected.size(); ++k) EXPECT_EQ(sorted[k].small_int(), expected[k]);
  EXPECT_EQ(repr_all(*sorted_values({S("b"), S("B"), S("a"), S("\xc3\xa9")})), "[B, a, b, \xc3\xa9]");
  auto nan = sorted_values({VmValue::float64(1.0), VmValue::float64(std::nan(""))});
  EXPECT_FALSE(nan.ok());
}

TEST(ValueIteration, OrderedCandidates) {
  EXPECT_EQ(builtin_ordered_values({I(5)}).error().message, "value of type int is not iterable");
  EXPECT_EQ(repr_all(*builtin_ordered_values({I(3), I(1)})), "[3, 1]");
  EXPECT_EQ(repr_all(*builtin_ordered_values({List({I(3), I(1)})})), "[3, 1]");
  EXPECT_TRUE(builtin_ordered_values({})->empty());
}

}  // namespace
}  // namespace veln
