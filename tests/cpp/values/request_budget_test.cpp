// VmRequestBudget: the work allowance worked out from the raw charge count,
// the memory cap and what a refusal leaves, links whose charge limits a
// failure trips, scopes that join the outermost request's budget, and the
// weights values take and give back as they are made and die. The refusals
// run under the ASan build's leak check: a refused value must leave nothing
// behind.
#include "values/vm_request_budget.hpp"

#include <gtest/gtest.h>

#include <functional>
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

std::vector<VmDictPair> int_pairs(size_t n) {
  std::vector<VmDictPair> out;
  for (VmValue& i : ints(n)) out.push_back(VmDictPair{i, i});
  return out;
}

// A list of `n` items: the buffer, the block of its items, the items.
constexpr uint64_t list_weight(uint64_t n) { return kVmBufferWeight + kVmBlockWeight + n * kVmItemWeight; }
// A dict with room for `n` entries, and its index of `slots` slots.
constexpr uint64_t dict_weight(uint64_t n, uint64_t slots = 0) {
  return kVmBufferWeight + kVmBlockWeight + n * kVmEntryWeight +
         (slots != 0 ? slots * kVmIndexSlotWeight + n * kVmWordWeight : 0);
}

VmValue popped_list(size_t n, size_t keep) {
  VmValue list = *VmValue::make_list(ints(n));
  while (list.item_count() > keep) list.seq_remove(list.item_count() - 1);
  return list;
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

TEST(RequestBudgetAllowance, SaturatesTheChainsRawCosts) {
  // Two requests charged transaction sizes of 2^63 each: their sum passes
  // 2^64, while one runs inside the other and after it left.
  MeteredRequest outer;
  outer.raw = uint64_t{1} << 63;
  uint64_t inner_raw = uint64_t{1} << 63, inner_limit = kUntripped;
  VmRequestBudget::Link inner{&inner_raw, &inner_limit};
  outer.budget.attach(inner);
  EXPECT_TRUE(outer.budget.steps_fit(UINT64_MAX));
  outer.budget.detach(inner);
  EXPECT_TRUE(outer.budget.steps_fit(UINT64_MAX));
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
    EXPECT_EQ(b.memory(), list_weight(1000));
    const VmValue shared = *list;  // one buffer, counted once
    EXPECT_EQ(b.memory(), list_weight(1000));
    // A text of up to 15 bytes keeps them in its buffer; a longer one in a
    // block of its own, which, grown in place, has room for a power of two.
    VmResult<VmValue> text = VmValue::make_str(std::string(15, 'x'));
    ASSERT_TRUE(text.ok());
    EXPECT_EQ(b.memory(), list_weight(1000) + kVmBufferWeight + 15);
    ASSERT_TRUE(text->text_append("yz").ok());
    EXPECT_EQ(b.memory(), list_weight(1000) + kVmBufferWeight + kVmBlockWeight + 32);
  }
  EXPECT_EQ(b.memory(), 0u);
  {
    // Four 64-bit words.
    const VmValue big = VmValue::integer(mpz_class("ffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffff", 16));
    EXPECT_EQ(b.memory(), kVmBufferWeight + 4 * kVmWordWeight);
  }
  EXPECT_EQ(b.memory(), 0u);
  // Each buffer made counts kVmBufferSteps; an append counts its bytes only.
  EXPECT_EQ(b.steps(), kVmBufferSteps + 1000 + kVmBufferSteps + 15 / kVmTextBytesPerStep +
                           2 / kVmTextBytesPerStep + kVmBufferSteps + 4);
  {
    // A dict entry weighs its key and its value; its index, built by the
    // first lookup past a few entries, 4 per slot and 8 per entry, its
    // slots (at most half full) doubling as it grows.
    VmValue dict = *VmValue::make_dict(int_pairs(20));
    const uint64_t header = kVmBufferWeight + kVmBlockWeight;
    EXPECT_EQ(b.memory(), header + 20 * kVmEntryWeight);
    ASSERT_TRUE(dict.dict_set_key(VmValue::integer(3), VmValue::integer(0)).ok());
    EXPECT_EQ(b.memory(), header + 20 * kVmEntryWeight + 64 * kVmIndexSlotWeight + 20 * kVmWordWeight);
    for (int64_t k = 20; k < 32; ++k) ASSERT_TRUE(dict.dict_set_key(VmValue::integer(k), VmValue::integer(k)).ok());
    EXPECT_EQ(b.memory(), header + 32 * kVmEntryWeight + 128 * kVmIndexSlotWeight + 32 * kVmWordWeight);
  }
  EXPECT_EQ(b.memory(), 0u);
}

// The steps `operation` counts on a request of its own.
template <class Operation>
uint64_t steps_of(Operation&& operation) {
  VmRequestBudgetScope scope(false);
  operation();
  return scope.budget().steps();
}

// A block weighs the room the value model reserved for it, by its own
// rules: a block made from other values has room for what it keeps,
// whatever room the vector or string it was handed had; one grown in place
// takes the least power of two that holds its items or bytes; one used
// below a quarter of its room halves it (but keeps up to 16 items); a text
// longer than 15 bytes has room for 32 at least. So these weights are the
// same on every standard library.
TEST(RequestBudgetValues, BlocksWeighTheRoomReservedForThem) {
  struct Row {
    const char* what;
    std::function<VmValue()> make;
    uint64_t weight;
  };
  const Row rows[] = {
      {"a set of two items handed over in a vector with room for 2^20", [] {
         std::vector<VmValue> items = ints(2);
         items.reserve(size_t{1} << 20);
         VmResult<VmValue> set = VmValue::make_set(std::move(items));
         EXPECT_TRUE(set.ok());
         return std::move(*set);
       }, list_weight(2)},
      {"a tuple of a vector grown item by item to 1000", [] { return *VmValue::make_tuple(ints(1000)); },
       list_weight(1000)},
      {"a list appended to 2^10 + 1 items", [] {
         VmValue list = *VmValue::make_list({});
         for (int64_t i = 0; i <= 1024; ++i) EXPECT_TRUE(list.seq_push(VmValue::integer(i)).ok());
         return list;
       }, list_weight(2048)},
      {"a list of 100 extended by 30", [] {
         VmValue list = *VmValue::make_list(ints(100));
         EXPECT_TRUE(list.seq_extend(ints(30)).ok());
         return list;
       }, list_weight(256)},
      {"a list of 1024 popped down to half", [] { return popped_list(1024, 512); }, list_weight(1024)},
      // Halved at 255 items, then at 127, 63, 31, 15 and 7: room for 14.
      {"a list of 1024 popped down to one item", [] { return popped_list(1024, 1); }, list_weight(14)},
      // Pending removals until 255 items are left, which are brought
      // together in room for 510; then as the list above.
      {"a set of 1024 emptied from the front", [] {
         VmValue set = *VmValue::make_set(ints(1024));
         while (set.item_count() > 0) set.seq_remove(0);
         return set;
       }, list_weight(14)},
      // Added items pending in room for 128, two pieces in room for four.
      {"a set of 256 with 100 items added after its last", [] {
         VmValue set = *VmValue::make_set(ints(256));
         for (int64_t i = 256; i < 356; ++i) EXPECT_TRUE(set.seq_insert(set.item_count(), VmValue::integer(i)).ok());
         return set;
       }, list_weight(256 + 128 + 4)},
      {"the same set read whole", [] {
         VmValue set = *VmValue::make_set(ints(256));
         for (int64_t i = 256; i < 356; ++i) EXPECT_TRUE(set.seq_insert(set.item_count(), VmValue::integer(i)).ok());
         EXPECT_EQ(set.items().size(), 356u);
         return set;
       }, list_weight(512)},
      {"a dict appended to 2^10 + 1 entries", [] {
         VmValue dict = *VmValue::make_dict({});
         for (int64_t i = 0; i <= 1024; ++i) EXPECT_TRUE(dict.dict_push_pair(VmValue::integer(i), VmValue::none()).ok());
         return dict;
       }, dict_weight(2048)},
      // The index's hashes follow the entries' room, its slots what is left.
      {"an indexed dict of 1024 popped down to one entry", [] {
         VmValue dict = *VmValue::make_dict(int_pairs(1024));
         EXPECT_TRUE(dict.dict_find_structural(VmValue::integer(0)).has_value());
         while (dict.dict_size() > 1) dict.dict_remove_at(dict.dict_size() - 1);
         return dict;
       }, dict_weight(14, 16)},
      {"a text of 20 bytes, in the least block of room for 32",
       [] { return *VmValue::make_str(std::string(20, 'x')); }, kVmBufferWeight + kVmBlockWeight + 32},
      {"a text handed over in a string with room for 4096 bytes", [] {
         std::string bytes;
         bytes.reserve(4096);
         bytes.assign(100, 'x');
         return *VmValue::make_str(std::move(bytes));
       }, kVmBufferWeight + kVmBlockWeight + 100},
      {"a bytearray appended to 2^10 + 1 bytes", [] {
         VmValue b = *VmValue::make_bytearray("");
         for (int i = 0; i <= 1024; ++i) EXPECT_TRUE(b.text_append("x").ok());
         return b;
       }, kVmBufferWeight + kVmBlockWeight + 2048},
      {"the same bytearray given ten bytes", [] {
         VmValue b = *VmValue::make_bytearray(std::string(1025, 'x'));
         EXPECT_TRUE(b.text_append("x").ok());
         EXPECT_TRUE(b.text_assign(std::string(10, 'y')).ok());
         return b;
       }, kVmBufferWeight + 10},
  };
  for (const Row& row : rows) {
    VmRequestBudgetScope scope(false);
    {
      const VmValue value = row.make();
      EXPECT_EQ(scope.budget().memory(), row.weight) << row.what;
    }
    EXPECT_EQ(scope.budget().memory(), 0u) << row.what;
  }
}

// Growing a block moves its items as the library's own growth did, at no
// count; giving room back is a copy of the items kept, counted as one.
TEST(RequestBudgetValues, GivingRoomBackCountsACopy) {
  const uint64_t appended = steps_of([] {
    VmValue list = *VmValue::make_list({});
    for (int64_t i = 0; i <= 1024; ++i) EXPECT_TRUE(list.seq_push(VmValue::integer(i)).ok());
  });
  EXPECT_EQ(appended, kVmBufferSteps + 1025);
  // A removal from the end moves one item.
  uint64_t copies = 0;
  for (uint64_t kept : {255, 127, 63, 31, 15, 7}) copies += kVmBufferSteps + kept;
  EXPECT_EQ(steps_of([] { popped_list(1024, 1); }), kVmBufferSteps + 1024 + 1023 + copies);
  EXPECT_EQ(steps_of([] { popped_list(1024, 512); }), kVmBufferSteps + 1024 + 512);
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
  // Room for the list's block to grow from 10 items to 16, not to 32.
  const uint64_t filler = kVmMaxRequestMemory - held - 6 * kVmItemWeight;
  ASSERT_TRUE(b.take_memory(filler));
  for (int64_t i = 10; i < 16; ++i) ASSERT_TRUE(list->seq_push(VmValue::integer(i)).ok());
  VmStatus pushed = list->seq_push(VmValue::str(std::string(100, 'z')));
  ASSERT_FALSE(pushed.ok());
  EXPECT_EQ(pushed.error().message, kVmMemoryMessage);
  EXPECT_EQ(list->item_count(), 16u);
  VmResult<VmValue> refused = VmValue::make_list(ints(3));
  ASSERT_FALSE(refused.ok());
  EXPECT_EQ(refused.error().message, kVmMemoryMessage);
  EXPECT_EQ(b.memory(), kVmMaxRequestMemory);
  *list = VmValue::none();
  b.give_memory(filler);
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
  const uint64_t weight = kVmBufferWeight + kVmBlockWeight + 100;
  {
    const VmValue original = *VmValue::make_bytearray(std::string(100, 'a'));
    VmValue copy = original;
    ASSERT_TRUE(b.take_memory(kVmMaxRequestMemory - b.memory() - 10));
    const uint64_t steps = b.steps();
    // Writing a byte unshares the buffer where no refusal can be returned
    // (and nothing weighs the copy again): the copy is made, counts its
    // steps and holds nothing on the budget, which has failed.
    copy.bytes_set(0, 'b');
    ASSERT_FALSE(vm_budget_status().ok());
    EXPECT_EQ(vm_budget_status().error().message, kVmMemoryMessage);
    EXPECT_EQ(b.steps(), steps + kVmBufferSteps + 100 / kVmTextBytesPerStep);
    EXPECT_EQ(copy.text(), "b" + std::string(99, 'a'));
    EXPECT_EQ(original.text(), std::string(100, 'a'));
  }
  EXPECT_EQ(b.memory(), kVmMaxRequestMemory - 10 - weight);
}

TEST(RequestBudgetValues, ClearingASharedContainerCopiesNothing) {
  VmRequestBudgetScope scope(false);
  VmRequestBudget& b = scope.budget();
  const VmValue list = *VmValue::make_list(ints(100));
  const VmValue dict = *VmValue::make_dict(int_pairs(100));
  VmValue cleared_list = list, cleared_dict = dict;
  // Room for two empty buffers, not for a copy of either.
  const uint64_t filler = kVmMaxRequestMemory - b.memory() - 2 * kVmBufferWeight;
  ASSERT_TRUE(b.take_memory(filler));
  cleared_list.seq_clear();
  cleared_dict.dict_clear();
  EXPECT_TRUE(vm_budget_status().ok());
  EXPECT_EQ(cleared_list.item_count(), 0u);
  EXPECT_EQ(cleared_dict.dict_size(), 0u);
  EXPECT_EQ(list.item_count(), 100u);
  EXPECT_EQ(dict.dict_size(), 100u);
  b.give_memory(filler);
  // An unshared list gives its items' block back.
  VmValue own = *VmValue::make_list(ints(10));
  const uint64_t before = b.memory();
  own.seq_clear();
  EXPECT_EQ(b.memory(), before - list_weight(10) + kVmBufferWeight);
}

}  // namespace
}  // namespace veln
