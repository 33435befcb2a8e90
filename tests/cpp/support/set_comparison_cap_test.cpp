// The cap on the comparisons one set operation makes outside keyed searches:
// what a scan counts, the failure past the cap (the set edited is left as it
// was), and the sets of everyday kinds, whose operations are keyed and
// count nothing however large the sets. No test measures time.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "interpreter_support/comparison_budget.hpp"
#include "interpreter_support/container_methods.hpp"
#include "interpreter_support/membership.hpp"
#include "interpreter_support/native_methods.hpp"
#include "interpreter_support/value_equality.hpp"
#include "interpreter_support/sets/set_algebra.hpp"
#include "interpreter_support/sets/set_normalization.hpp"
#include "interpreter_support/sets/set_operators.hpp"
#include "interpreter_support/value_iteration.hpp"
#include "values/sanitized_build.hpp"
#include "values/vm_datetime.hpp"
#include "values/vm_decimal.hpp"
#include "values/vm_timedelta.hpp"

namespace veln {
namespace {

VmValue tuple(std::vector<VmValue> items) { return *VmValue::make_tuple(std::move(items)); }

// (0,) then n one-item tuples of distinct floats below 1e-30. Each float
// stands for the decimal 0 and so meets the int 0's bucket without being
// equal to anything there: no key serves, and the scan compares each new
// tuple with every kept one, the tuples and their leaves (two a pair).
std::vector<VmValue> tiny_float_tuples(size_t n) {
  std::vector<VmValue> items{tuple({VmValue::integer(0)})};
  for (size_t i = 1; i <= n; ++i) items.push_back(tuple({VmValue::float64(static_cast<double>(i) * 1e-35)}));
  return items;
}

TEST(SetComparisonCap, CountsEachPairAScanCompares) {
  // 2 * (1 + 2 + ... + n): the last size within the cap.
  constexpr size_t n = 2047;
  VmWorkMeter meter;
  auto built = normalize_set_items(tiny_float_tuples(n), meter);
  ASSERT_TRUE(built.ok()) << built.error().message;
  EXPECT_EQ(built->size(), n + 1);
  EXPECT_EQ(meter.compared, n * (n + 1));
  EXPECT_LE(meter.compared, kVmMaxSetComparisons);
}

TEST(SetComparisonCap, FailsPastTheCap) {
  auto built = normalize_set_items(tiny_float_tuples(2048));
  ASSERT_FALSE(built.ok());
  EXPECT_EQ(built.error().message, "set operation exceeds the maximum allowed comparison count");
}

TEST(SetComparisonCap, AnAdditionPastTheCapLeavesTheSet) {
  // The set was built within the cap. A decimal leaf leaves no key order to
  // place x by: the addition learns first that the items are distinct (the
  // scan again), then scans them for x, and passes the cap there.
  const VmValue s = *VmValue::make_set(*normalize_set_items(tiny_float_tuples(2047)));
  const VmValue before = s;
  auto grown = set_with_item(s, tuple({VmValue::decimal(VmDecimal::from_i64(5))}));
  ASSERT_FALSE(grown.ok());
  EXPECT_EQ(grown.error().message, kVmSetComparisonMessage);
  EXPECT_TRUE(s.eq(before));
  EXPECT_EQ(s.item_count(), 2048u);
}

TEST(SetComparisonCap, ContainersOfSetsAreCappedAsOneOperation) {
  // One comparison of two such sets stays within the cap (about n^2 pairs);
  // an operation that meets three pairs (lists holding them, list.count)
  // counts them together and passes it.
  const VmValue s = *VmValue::make_set(*normalize_set_items(tiny_float_tuples(1400)));
  const VmValue t = *VmValue::make_set(*normalize_set_items(tiny_float_tuples(1400)));
  const auto list = [](std::vector<VmValue> items) { return *VmValue::make_list(std::move(items)); };
  const auto equal = vm_values_equal(list({s}), list({t}));
  ASSERT_TRUE(equal.ok()) << equal.error().message;
  EXPECT_TRUE(*equal);
  const auto three = vm_values_equal(list({s, s, s}), list({t, t, t}));
  ASSERT_FALSE(three.ok());
  EXPECT_EQ(three.error().message, kVmSetComparisonMessage);
  const auto counted = call_native_method(list({s, s, s}), "count", std::span<const VmValue>(&t, 1), {});
  ASSERT_FALSE(counted.ok());
  EXPECT_EQ(counted.error().message, kVmSetComparisonMessage);
}

// Ints 0 .. k and the float 1e300 (which no decimal holds), then m
// decimals k - 0.5: sorted() sorts the numbers, then inserts each decimal
// literally, passing the k ints below it and the decimals before it.
std::vector<VmValue> numbers_then_decimals(size_t k, size_t m) {
  std::vector<VmValue> values;
  for (size_t i = 0; i <= k; ++i) values.push_back(VmValue::integer(static_cast<int64_t>(i)));
  values.push_back(VmValue::float64(1e300));
  const VmDecimal d = *VmDecimal::from_scaled(mpz_class(static_cast<long>(k)) * VmDecimal::scale_factor() - VmDecimal::half_scale_factor());
  for (size_t j = 0; j < m; ++j) values.push_back(VmValue::decimal(d));
  return values;
}

TEST(SetComparisonCap, SortedCountsItsLiteralInsertion) {
  VmWorkMeter meter;
  auto sorted = sorted_values(numbers_then_decimals(100, 50), meter);
  ASSERT_TRUE(sorted.ok()) << sorted.error().message;
  EXPECT_EQ(meter.compared, 50u * 101u + 50u * 49u / 2u);
  auto past = sorted_values(numbers_then_decimals(2048, 2048));
  ASSERT_FALSE(past.ok());
  EXPECT_EQ(past.error().message, kVmSetComparisonMessage);
}

// ---- everyday sets never meet the cap ------------------------------------------

using MakeItem = std::function<VmValue(size_t)>;

VmValue datetime_at(size_t i) {
  const VmDateTime epoch;
  return VmValue::datetime(*VmDateTime::add_timedelta(epoch, VmTimeDelta{static_cast<int64_t>(i) * 61}));
}

std::vector<MakeItem> everyday_kinds() {
  const std::vector<MakeItem> leaves = {
      [](size_t i) { return VmValue::integer(static_cast<int64_t>(i)); },
      [](size_t i) { return VmValue::float64(static_cast<double>(i) * 0.37); },
      [](size_t i) { return VmValue::str(std::to_string(i) + "-key"); },
      [](size_t i) { return *VmValue::make_bytes(std::to_string(i) + "b"); },
      [](size_t i) { return VmValue::decimal(VmDecimal::from_i64(static_cast<int64_t>(i) * 7)); },
      datetime_at,
      [](size_t i) { return VmValue::timedelta_seconds(static_cast<int64_t>(i) * 3); },
      // Ints beside floats, all below 2^53.
      [](size_t i) {
        const auto v = static_cast<int64_t>(i);
        return i % 2 == 0 ? VmValue::integer(v) : VmValue::float64(static_cast<double>(v) + 0.5);
      },
  };
  std::vector<MakeItem> kinds = leaves;
  for (const MakeItem& leaf : leaves) {
    kinds.push_back([leaf](size_t i) { return tuple({leaf(i / 3), leaf(i)}); });
    kinds.push_back([leaf](size_t i) { return *VmValue::make_frozenset(*normalize_set_items({leaf(2 * i), leaf(2 * i + 1)})); });
  }
  return kinds;
}

// Sets of a kind at the size a contract may build, through their
// operations: the most any one of them counted.
#ifdef VELN_ADDRESS_SANITIZED
constexpr size_t kEverydayItems = 20000;  // the same paths, in a sanitizer's time
#else
constexpr size_t kEverydayItems = 100000;
#endif

class EverydaySets : public ::testing::TestWithParam<size_t> {
 protected:
  template <class T>
  void after(const VmResult<T>& result, const VmWorkMeter& meter) {
    EXPECT_TRUE(result.ok()) << result.error().message;
    largest_ = std::max(largest_, meter.compared);
  }
  uint64_t largest_ = 0;
};

TEST_P(EverydaySets, NeverMeetTheCap) {
  constexpr size_t n = kEverydayItems;
  constexpr size_t edits = 16;
  const MakeItem make = everyday_kinds().at(GetParam());
  VmWorkMeter meter;
  std::vector<VmValue> evens, shifted;
  for (size_t i = 0; i < n; ++i) {
    evens.push_back(make(2 * i));
    shifted.push_back(make(2 * i + n));
  }
  auto a_items = normalize_set_items(std::move(evens), meter);
  after(a_items, meter);
  auto b_items = normalize_set_items(std::move(shifted), meter);
  after(b_items, meter);
  VmValue a = *VmValue::make_set(*std::move(a_items));
  const VmValue b = *VmValue::make_set(*std::move(b_items));
  for (const SetOperator op : {SetOperator::Union, SetOperator::Intersection, SetOperator::Difference,
                               SetOperator::SymmetricDifference}) {
    after(set_operator_items(op, a.items(), b.items(), &meter), meter);
  }
  after(set_is_subset(a.items(), b.items(), meter), meter);
  after(set_items_equal(a.items(), b.items(), meter), meter);
  bool removed = false;
  for (size_t i = 0; i < edits; ++i) {
    const VmValue x = make(i * 7919 % (2 * n));
    after(contains_value(a, x, meter), meter);
    auto grown = set_with_item(std::move(a), x, &meter);
    after(grown, meter);
    auto rest = set_without_item(*std::move(grown), make(i * 104729 % (2 * n)), &removed, &meter);
    after(rest, meter);
    a = *std::move(rest);
  }
  // Keyed searches count nothing; the kinds that no key order serves for a
  // single edit (containers of date-times) scan the set once per edit, a
  // few comparisons per item.
  EXPECT_LE(largest_, 8 * n) << make(3).diagnostic_text();
  EXPECT_LT(largest_, kVmMaxSetComparisons);
}

INSTANTIATE_TEST_SUITE_P(SetComparisonCap, EverydaySets, ::testing::Range<size_t>(0, everyday_kinds().size()));

}  // namespace
}  // namespace veln
