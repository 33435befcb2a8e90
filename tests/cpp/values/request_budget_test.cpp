// VmRequestBudget: the work allowance worked out from the raw charge count,
// the memory cap and what a refusal leaves, links whose charge limits a
// failure trips, scopes that join the outermost request's budget, and the
// weights values take and give back as they are made and die. The refusals
// run under the ASan build's leak check: a refused value must leave nothing
// behind.
#include "values/vm_request_budget.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "values/vm_value.hpp"

namespace veln {
namespace {

constexpr uint64_t kUntripped = 12345;

std::vector<VmValue> ints(size_t n) {
  std::vector<VmValue> out;
  for (size_t i = 0; i < n; ++i) out.push_back(VmValue::integer(static_cast<int64_t>(i)));
  return out;
}

// A metered budget with one request linked, charged `raw` so far.
struct MeteredRequest {
  uint64_t raw = 0;
  uint64_t limit = kUntripped;
  VmRequestBudget::Link link{&raw, &limit};
  VmRequestBudget budget{true};
  MeteredRequest() { budget.attach(link); }
  ~MeteredRequest() { budget.detach(link); }
};

TEST(RequestBudgetAllowance, IsTheBaseStepsPlusStepsPerWholeChi) {
  MeteredRequest r;
  EXPECT_TRUE(r.budget.steps_fit(kVmBaseWorkSteps));
  EXPECT_FALSE(r.budget.steps_fit(kVmBaseWorkSteps + 1));
  // A chi counts once its thousandth raw unit is charged, not before.
  r.raw = kVmRawCostPerChi - 1;
  EXPECT_FALSE(r.budget.steps_fit(kVmBaseWorkSteps + 1));
  r.raw = 3 * kVmRawCostPerChi + 999;
  EXPECT_TRUE(r.budget.steps_fit(kVmBaseWorkSteps + 3 * kVmWorkStepsPerChi));
  EXPECT_FALSE(r.budget.steps_fit(kVmBaseWorkSteps + 3 * kVmWorkStepsPerChi + 1));
  // Asking counts nothing.
  EXPECT_EQ(r.budget.steps(), 0u);
  EXPECT_FALSE(r.budget.failed());
}

TEST(RequestBudgetAllowance, FollowsChargesMadeAfterItWasLastWorkedOut) {
  MeteredRequest r;
  ASSERT_TRUE(r.budget.take_steps(kVmBaseWorkSteps));
  r.raw = 2 * kVmRawCostPerChi;  // charged while the steps were counted
  EXPECT_TRUE(r.budget.take_steps(2 * kVmWorkStepsPerChi));
  EXPECT_FALSE(r.budget.take_steps(1));
  EXPECT_EQ(r.budget.failure(), VmBudgetFailure::Work);
  EXPECT_EQ(r.budget.error().message, kVmWorkMessage);
  EXPECT_EQ(r.limit, 0u);
  // More chi cannot revive a failed budget.
  r.raw = 1000 * kVmRawCostPerChi;
  EXPECT_FALSE(r.budget.take_steps(1));
  EXPECT_FALSE(r.budget.steps_fit(0));
}

TEST(RequestBudgetAllowance, SaturatesForARawCostBeyondAnyAllowance) {
  MeteredRequest r;
  r.raw = UINT64_MAX;
  EXPECT_TRUE(r.budget.steps_fit(UINT64_MAX));
  EXPECT_TRUE(r.budget.take_steps(UINT64_MAX - 1));
  EXPECT_TRUE(r.budget.take_steps(1));
}

TEST(RequestBudgetAllowance, DoesNotBoundAnUnmeteredRequest) {
  VmRequestBudget b(false);
  EXPECT_TRUE(b.steps_fit(UINT64_MAX));
  EXPECT_TRUE(b.take_steps(uint64_t{1} << 62));
  EXPECT_TRUE(b.take_steps(uint64_t{1} << 62));
  EXPECT_FALSE(b.failed());
  // Memory is capped all the same.
  EXPECT_TRUE(b.take_memory(kVmMaxRequestMemory));
  EXPECT_FALSE(b.take_memory(1));
  EXPECT_EQ(b.failure(), VmBudgetFailure::Memory);
}

TEST(RequestBudgetMemory, TheCapItselfFitsAndARefusalTakesNothing) {
  VmRequestBudget b(false);
  EXPECT_TRUE(b.take_memory(kVmMaxRequestMemory - 10));
  EXPECT_TRUE(b.memory_fits(10));
  EXPECT_FALSE(b.memory_fits(11));
  EXPECT_TRUE(b.take_memory(10));
  b.give_memory(5);
  EXPECT_FALSE(b.take_memory(6));
  EXPECT_EQ(b.memory(), kVmMaxRequestMemory - 5);
  EXPECT_EQ(b.error().message, kVmMemoryMessage);
  // A failed budget refuses even what would fit.
  EXPECT_FALSE(b.take_memory(0));
  EXPECT_FALSE(b.memory_fits(0));
}

TEST(RequestBudgetMemory, GivingBackNeverGoesBelowNothing) {
  VmRequestBudget b(false);
  b.give_memory(100);
  EXPECT_EQ(b.memory(), 0u);
  ASSERT_TRUE(b.take_memory(50));
  b.give_memory(UINT64_MAX);
  EXPECT_EQ(b.memory(), 0u);
  // The full cap is there again.
  EXPECT_TRUE(b.take_memory(kVmMaxRequestMemory));
}

TEST(RequestBudgetFailure, TheFirstCapPassedNamesTheFailure) {
  VmRequestBudget memory_first(true);
  ASSERT_FALSE(memory_first.take_memory(kVmMaxRequestMemory + 1));
  EXPECT_FALSE(memory_first.take_steps(kVmBaseWorkSteps + 1));
  EXPECT_EQ(memory_first.error().message, kVmMemoryMessage);

  VmRequestBudget work_first(true);
  ASSERT_FALSE(work_first.take_steps(kVmBaseWorkSteps + 1));
  EXPECT_FALSE(work_first.take_memory(kVmMaxRequestMemory + 1));
  EXPECT_EQ(work_first.error().message, kVmWorkMessage);
}

TEST(RequestBudgetLinks, AFailureTripsEveryLinkedChargeLimit) {
  MeteredRequest outer;
  uint64_t inner_limit = kUntripped;
  VmRequestBudget::Link inner{nullptr, &inner_limit};
  outer.budget.attach(inner);
  EXPECT_FALSE(outer.budget.take_memory(kVmMaxRequestMemory + 1));
  EXPECT_EQ(outer.limit, 0u);
  EXPECT_EQ(inner_limit, 0u);
  outer.budget.detach(inner);
  // A request that joins a failed budget is stopped at its first charge.
  uint64_t late_limit = kUntripped;
  VmRequestBudget::Link late{nullptr, &late_limit};
  outer.budget.attach(late);
  EXPECT_EQ(late_limit, 0u);
  outer.budget.detach(late);
}

TEST(RequestBudgetLinks, ANestedRequestsChiCountsWhileItRunsAndAfterItLeft) {
  MeteredRequest outer;
  uint64_t inner_raw = 2 * kVmRawCostPerChi, inner_limit = kUntripped;
  VmRequestBudget::Link inner{&inner_raw, &inner_limit};
  outer.budget.attach(inner);
  outer.raw = kVmRawCostPerChi;
  EXPECT_TRUE(outer.budget.steps_fit(kVmBaseWorkSteps + 3 * kVmWorkStepsPerChi));
  EXPECT_FALSE(outer.budget.steps_fit(kVmBaseWorkSteps + 3 * kVmWorkStepsPerChi + 1));
  outer.budget.detach(inner);
  inner_raw = 0;  // the link is gone: what it had charged when it left stays
  EXPECT_TRUE(outer.budget.steps_fit(kVmBaseWorkSteps + 3 * kVmWorkStepsPerChi));
  EXPECT_FALSE(outer.budget.steps_fit(kVmBaseWorkSteps + 3 * kVmWorkStepsPerChi + 1));
  EXPECT_EQ(inner_limit, kUntripped);
}

TEST(RequestBudgetScope, NestedScopesShareTheOutermostBudget) {
  ASSERT_EQ(vm_request_budget(), nullptr);
  {
    // The charge counts outlive the scopes that link them.
    uint64_t outer_raw = 0, outer_limit = kUntripped;
    uint64_t inner_raw = 5 * kVmRawCostPerChi, inner_limit = kUntripped;
    VmRequestBudgetScope outer(true);
    EXPECT_EQ(vm_request_budget(), &outer.budget());
    outer.join(&outer_raw, &outer_limit);
    {
      // Unmetered on its own, it still runs on the outer, metered, budget.
      VmRequestBudgetScope inner(false);
      EXPECT_EQ(&inner.budget(), &outer.budget());
      EXPECT_EQ(vm_request_budget(), &outer.budget());
      EXPECT_TRUE(inner.budget().metered());
      inner.join(&inner_raw, &inner_limit);
      EXPECT_TRUE(outer.budget().steps_fit(kVmBaseWorkSteps + 5 * kVmWorkStepsPerChi));
      EXPECT_FALSE(vm_take_work(kVmBaseWorkSteps + 5 * kVmWorkStepsPerChi + 1).ok());
      EXPECT_EQ(inner_limit, 0u);
      EXPECT_EQ(outer_limit, 0u);
    }
    EXPECT_EQ(vm_request_budget(), &outer.budget());
    // The inner request's failure stays with the outer one.
    EXPECT_EQ(vm_budget_status().error().message, kVmWorkMessage);
  }
  EXPECT_EQ(vm_request_budget(), nullptr);
  // The next request on the thread starts from nothing.
  VmRequestBudgetScope next(true);
  EXPECT_TRUE(vm_budget_status().ok());
  EXPECT_EQ(next.budget().steps(), 0u);
}

TEST(RequestBudgetValues, TakeTheirWeightUntilTheyDie) {
  VmRequestBudgetScope scope(false);
  const VmRequestBudget& b = scope.budget();
  {
    VmResult<VmValue> list = VmValue::make_list(ints(1000));
    ASSERT_TRUE(list.ok());
    EXPECT_EQ(b.memory(), kVmBufferWeight + 1000 * kVmItemWeight);
    const VmValue shared = *list;  // one buffer, counted once
    EXPECT_EQ(b.memory(), kVmBufferWeight + 1000 * kVmItemWeight);
    VmResult<VmValue> text = VmValue::make_str(std::string(300, 'x'));
    ASSERT_TRUE(text.ok());
    EXPECT_EQ(b.memory(), 2 * kVmBufferWeight + 1000 * kVmItemWeight + 300);
    ASSERT_TRUE(text->text_append("yz").ok());
    EXPECT_EQ(b.memory(), 2 * kVmBufferWeight + 1000 * kVmItemWeight + 302);
  }
  EXPECT_EQ(b.memory(), 0u);
  {
    // Four 64-bit words.
    const VmValue big = VmValue::integer(mpz_class("ffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffff", 16));
    EXPECT_EQ(b.memory(), kVmBufferWeight + 4 * kVmWordWeight);
  }
  EXPECT_EQ(b.memory(), 0u);
  // Each buffer made counts kVmBufferSteps; an append counts its bytes only.
  EXPECT_EQ(b.steps(), kVmBufferSteps + 1000 + kVmBufferSteps + 300 / kVmTextBytesPerStep +
                           2 / kVmTextBytesPerStep + kVmBufferSteps + 4);
}

// The steps `operation` counts on a request of its own.
template <class Operation>
uint64_t steps_of(Operation&& operation) {
  VmRequestBudgetScope scope(false);
  operation();
  return scope.budget().steps();
}

// A container made, copied or grown counts a step more for each value it
// holds in a buffer of its own (a text, a big integer, a container that is
// not empty), whose count the copy and the release touch: told by the
// units its values hold beyond one each, at most a step per value.
TEST(RequestBudgetValues, ValuesHeldInBuffersOfTheirOwnCountAStepMore) {
  const VmValue text = VmValue::str("abc");  // four units
  const VmValue letter = VmValue::str("a");  // two
  const VmValue big = VmValue::integer(mpz_class(1) << 100);
  const VmValue pair = *VmValue::make_tuple({text, text});
  const VmValue empty = *VmValue::make_tuple({});
  struct Row {
    const char* what;
    std::vector<VmValue> items;
    uint64_t held;       // in a list of the items
    uint64_t dict_held;  // in a dict of the items under int keys
  };
  const Row rows[] = {
      {"ints", ints(100), 0, 0},
      {"texts", std::vector<VmValue>(100, text), 100, 200},
      {"big ints", std::vector<VmValue>(100, big), 100, 200},
      {"tuples", std::vector<VmValue>(100, pair), 100, 200},
      {"empty tuples, one unit each", std::vector<VmValue>(100, empty), 0, 0},
      {"half one-letter texts", [&] {
         std::vector<VmValue> v = ints(50);
         v.insert(v.end(), 50, letter);
         return v;
       }(), 50, 50},
  };
  for (const Row& row : rows) {
    const uint64_t n = row.items.size();
    const VmValue list = *VmValue::make_list(row.items);
    EXPECT_EQ(steps_of([&] { EXPECT_TRUE(VmValue::make_list(row.items).ok()); }), kVmBufferSteps + n + row.held)
        << row.what;
    EXPECT_EQ(steps_of([&] {
                VmValue copy = list;
                EXPECT_TRUE(copy.seq_push(VmValue::none()).ok());
              }),
              kVmBufferSteps + n + row.held + 1)
        << row.what;
    VmValue grown = *VmValue::make_list({});
    EXPECT_EQ(steps_of([&] { EXPECT_TRUE(grown.seq_extend(row.items).ok()); }), n + row.held) << row.what;
    std::vector<VmDictPair> pairs;
    for (uint64_t i = 0; i < n; ++i) pairs.push_back({VmValue::integer(static_cast<int64_t>(i)), row.items[i]});
    EXPECT_EQ(steps_of([&] { EXPECT_TRUE(VmValue::make_dict(pairs).ok()); }), kVmBufferSteps + n + row.dict_held)
        << row.what;
  }
}

TEST(RequestBudgetValues, AValueRefusedForMemoryLeavesNothingTaken) {
  VmRequestBudgetScope scope(false);
  VmRequestBudget& b = scope.budget();
  VmResult<VmValue> list = VmValue::make_list(ints(10));
  ASSERT_TRUE(list.ok());
  const uint64_t held = b.memory();
  // Room for the list's growth by one item, not by two.
  ASSERT_TRUE(b.take_memory(kVmMaxRequestMemory - held - kVmItemWeight));
  ASSERT_TRUE(list->seq_push(VmValue::integer(10)).ok());
  VmStatus pushed = list->seq_push(VmValue::str(std::string(100, 'z')));
  ASSERT_FALSE(pushed.ok());
  EXPECT_EQ(pushed.error().message, kVmMemoryMessage);
  EXPECT_EQ(list->item_count(), 11u);
  VmResult<VmValue> refused = VmValue::make_list(ints(3));
  ASSERT_FALSE(refused.ok());
  EXPECT_EQ(refused.error().message, kVmMemoryMessage);
  EXPECT_EQ(b.memory(), kVmMaxRequestMemory);
  *list = VmValue::none();
  b.give_memory(kVmMaxRequestMemory - held - kVmItemWeight);
  EXPECT_EQ(b.memory(), 0u);
}

TEST(RequestBudgetValues, AValueRefusedForWorkGivesItsWeightBack) {
  VmRequestBudgetScope scope(true);
  VmRequestBudget& b = scope.budget();
  ASSERT_TRUE(b.take_steps(kVmBaseWorkSteps - 5));
  VmResult<VmValue> refused = VmValue::make_list(ints(10));  // 11 steps
  ASSERT_FALSE(refused.ok());
  EXPECT_EQ(refused.error().message, kVmWorkMessage);
  EXPECT_EQ(b.memory(), 0u);
}

TEST(RequestBudgetValues, ACopyMadePastTheCapIsMadeAndTheFailureReportedLater) {
  VmRequestBudgetScope scope(false);
  VmRequestBudget& b = scope.budget();
  {
    const VmValue original = *VmValue::make_list(ints(100));
    VmValue copy = original;
    ASSERT_TRUE(b.take_memory(kVmMaxRequestMemory - b.memory() - 10));
    // The edit unshares the buffer where no refusal can be returned; the
    // copy holds nothing on the budget, which has failed.
    (void)copy.seq_push(VmValue::integer(1));
    EXPECT_EQ(vm_budget_status().error().message, kVmMemoryMessage);
    EXPECT_EQ(original.item_count(), 100u);
  }
  EXPECT_EQ(b.memory(), kVmMaxRequestMemory - 10 - (kVmBufferWeight + 100 * kVmItemWeight));
}

}  // namespace
}  // namespace veln
