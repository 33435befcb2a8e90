// The work of the set algorithms, counted where their loops run: a key
// comparison counts every position it compares at every level of nesting,
// and every set operation stops within a check interval of the request's
// allowance, wherever it meets it (a key comparison, a walk, a sort of a
// probe, an index), with the request's failure. Values are made before the
// request starts, so only the operation counts.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "interpreter_support/sets/set_algebra.hpp"
#include "interpreter_support/sets/set_keys.hpp"
#include "interpreter_support/sets/set_normalization.hpp"
#include "interpreter_support/sets/set_operators.hpp"
#include "value_builders.hpp"
#include "values/vm_request_budget.hpp"
#include "values/vm_work_tally.hpp"

namespace veln {
namespace {

using namespace value_builders;

// Tuples nesting `levels` levels of `width` items over zero leaves, the
// last leaf of all being `last`: width^levels leaves.
VmValue nested(int width, int levels, int64_t last = 0) {
  VmValue v = I(last);
  VmValue alike = I(0);
  for (int level = 0; level < levels; ++level) {
    std::vector<VmValue> items;
    for (int i = 1; i < width; ++i) items.push_back(alike);
    items.push_back(v);
    alike = Tuple(std::vector<VmValue>(items.size(), alike));
    v = Tuple(std::move(items));
  }
  return v;
}

// The steps `operation` counts on a metered request that has `left` steps
// of its allowance left; how far the count passed the allowance comes back
// in `past`, and whether the budget failed in `failed`.
struct Outcome {
  uint64_t steps = 0;
  uint64_t past = 0;
  bool failed = false;
};
template <class Operation>
Outcome run_with_steps_left(uint64_t left, Operation&& operation) {
  VmRequestBudgetScope request(true);
  const uint64_t before = kVmBaseWorkSteps - left;
  EXPECT_TRUE(request.budget().take_steps(before));
  operation();
  const uint64_t steps = request.budget().steps();
  return Outcome{steps - before, steps > kVmBaseWorkSteps ? steps - kVmBaseWorkSteps : 0,
                 request.budget().failed()};
}

TEST(SetWork, KeyComparisonsCountEveryPositionAtEveryLevel) {
  // 10 + 100 + 1000 positions before the last leaves differ.
  const VmValue a = nested(10, 3);
  const VmValue b = nested(10, 3, 1);
  const Outcome compared = run_with_steps_left(kVmBaseWorkSteps, [&] { EXPECT_EQ(vm_set_key_compare(a, b), VmOrdering::Less); });
  EXPECT_EQ(compared.steps, 1110u);
  const Outcome written = run_with_steps_left(kVmBaseWorkSteps, [&] {
    std::string bytes;
    EXPECT_TRUE(vm_append_set_key_bytes(bytes, a));
  });
  EXPECT_GE(written.steps, 1110u);
}

TEST(SetWork, AKeyComparisonOfHugeNestedValuesStopsNearTheAllowance) {
  // A million leaves each, alike but for the last.
  const VmValue a = nested(100, 3);
  const VmValue b = nested(100, 3, 1);
  for (const uint64_t left : {uint64_t{1000}, uint64_t{500000}}) {
    const Outcome o = run_with_steps_left(left, [&] {
      (void)vm_set_key_compare(a, b);
      // Once the budget failed, a comparison gives up before reading.
      (void)vm_set_key_compare(a, b);
    });
    EXPECT_TRUE(o.failed) << left;
    EXPECT_LE(o.past, kVmWorkCheckInterval) << left;
  }
}

// Sets of shapes whose operations read much more than their items: tuples
// sharing a long nested prefix, and floats, which the algebra sorts by
// number. Each operation, given a part of the steps it takes, fails with
// the request's message and stops within a check interval of the
// allowance, wherever in its work it meets it.
TEST(SetWork, SetOperationsStopWithinACheckIntervalOfTheAllowance) {
  const VmValue prefix = nested(10, 3);
  std::vector<VmValue> tuples, tuples_reversed, floats, floats_shifted;
  for (int64_t i = 0; i < 100; ++i) {
    tuples.push_back(Tuple({prefix, S(std::to_string(1000 + i))}));
    tuples_reversed.push_back(Tuple({prefix, S(std::to_string(1099 - i))}));
  }
  // One set shifted by an item, with a decimal (the one the other lacks).
  for (int64_t i = 0; i < 40000; ++i) {
    floats.push_back(F(static_cast<double>(i)));
    floats_shifted.push_back(i == 0 ? D("-1.0") : F(static_cast<double>(i)));
  }
  const VmValue z = Set(tuples), z2 = Set(tuples_reversed), f = Set(floats), f2 = Set(floats_shifted);
  using Operation = std::function<bool()>;  // whether it answered
  const auto equal = [](const VmValue& a, const VmValue& b) -> Operation {
    return [&a, &b] { return set_items_equal(a.items(), b.items()).ok(); };
  };
  const auto op = [](SetOperator o, const VmValue& a, const VmValue& b) -> Operation {
    return [o, &a, &b] { return set_operator_items(o, a.items(), b.items()).ok(); };
  };
  const auto build = [](const std::vector<VmValue>& items) -> Operation {
    return [&items] { return normalize_set_items(items).ok(); };
  };
  const std::pair<const char*, Operation> rows[] = {
      {"nested ==", equal(z, z2)},
      {"nested <=", [&] { return set_is_subset(z.items(), z2.items()).ok(); }},
      {"nested -", op(SetOperator::Difference, z, z2)},
      {"nested |", op(SetOperator::Union, z, z2)},
      {"nested set()", build(tuples_reversed)},
      {"float ==", equal(f, f2)},
      {"float -", op(SetOperator::Difference, f, f2)},
      {"float &", op(SetOperator::Intersection, f, f2)},
      {"float ^", op(SetOperator::SymmetricDifference, f, f2)},
      {"float |", op(SetOperator::Union, f2, f)},
      {"float set()", build(floats_shifted)},
  };
  for (const auto& row : rows) {
    // Named copies: clang 14 lets no lambda capture a structured binding.
    const char* name = row.first;
    const Operation& operation = row.second;
    const Outcome whole = run_with_steps_left(kVmBaseWorkSteps, [&] { EXPECT_TRUE(operation()) << name; });
    ASSERT_FALSE(whole.failed) << name;
    ASSERT_GT(whole.steps, kVmWorkCheckInterval) << name;
    for (const uint64_t part : {whole.steps / 4, whole.steps / 2, whole.steps - 1}) {
      const Outcome o = run_with_steps_left(part, [&] { EXPECT_FALSE(operation()) << name; });
      EXPECT_TRUE(o.failed) << name << " " << part;
      EXPECT_LE(o.past, kVmWorkCheckInterval) << name << " " << part;
    }
  }
}

}  // namespace
}  // namespace veln
