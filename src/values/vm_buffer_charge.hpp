// Charges of value buffers on the running request's budget
// (vm_request_budget.hpp): the storage a buffer holds from when it is made
// until it dies, and the steps that made or grew it. For the value model's
// own source files, beside the buffer layouts; a buffer's header keeps what
// it holds on the budget so that its death gives back exactly that.
#pragma once

#include <cstdint>

#include "values/vm_request_budget.hpp"
#include "values/vm_value.hpp"

namespace veln::detail {

// Steps of making a text of `bytes` bytes, or a container of `items` items:
// making and freeing the buffer itself costs as much as copying a few items.
inline uint64_t text_steps(uint64_t bytes) { return kVmBufferSteps + bytes / kVmTextBytesPerStep; }
inline uint64_t item_steps(uint64_t items) { return kVmBufferSteps + items; }
// The steps beyond those of `slots` container slots whose values hold
// `item_units` units in all: about one per value held in a buffer of its
// own, whose count a copy and a release touch, far from the slot. Those
// values are told by their units (an inline value is one unit; a text, a
// big integer or a container that is not empty is more), so no pass over
// the slots is made: the count is the units beyond one per slot, at most
// one per slot.
inline uint64_t held_buffer_steps(uint64_t slots, uint64_t item_units) {
  const uint64_t beyond = item_units > slots ? item_units - slots : 0;
  return beyond < slots ? beyond : slots;
}

// Takes `weight` and `steps` on `b`, or nothing when it refuses either.
[[gnu::always_inline]] inline bool take_weight_and_steps(VmRequestBudget& b, uint64_t weight, uint64_t steps) {
  if (!b.take_memory(weight)) return false;
  if (b.take_steps(steps)) return true;
  b.give_memory(weight);
  return false;
}

// Takes the weight and steps of a buffer about to be made; false, nothing
// taken, when the budget refuses. `charged` is what its header keeps.
[[gnu::always_inline]] inline bool charge_new_buffer(uint64_t weight, uint64_t steps, uint32_t& charged) {
  charged = 0;
  VmRequestBudget* b = vm_request_budget();
  if (b == nullptr) return true;
  if (!take_weight_and_steps(*b, weight, steps)) return false;
  charged = static_cast<uint32_t>(weight);
  return true;
}

// The same for a buffer made where no failure can be reported (a copy made
// by an edit, an integer result): it is made whatever the budget says, and
// a refusal fails the budget, which the request reports at its next charge.
[[gnu::always_inline]] inline uint32_t charge_made_buffer(uint64_t weight, uint64_t steps) {
  VmRequestBudget* b = vm_request_budget();
  if (b == nullptr) return 0;
  b->take_steps(steps);
  return b->take_memory(weight) ? static_cast<uint32_t>(weight) : 0;
}

// A buffer about to grow by `weight`: false, nothing taken, when refused.
[[gnu::always_inline]] inline bool charge_growth(VmHeap& h, uint64_t weight, uint64_t steps) {
  VmRequestBudget* b = vm_request_budget();
  if (b == nullptr) return true;
  if (!take_weight_and_steps(*b, weight, steps)) return false;
  h.charged += static_cast<uint32_t>(weight);
  return true;
}

// A buffer that now weighs `weight`: takes or gives back the difference
// (a refusal fails the budget, as for charge_made_buffer).
inline void charge_reweighed(VmHeap& h, uint64_t weight) {
  VmRequestBudget* b = vm_request_budget();
  if (b == nullptr) return;
  if (weight >= h.charged) {
    if (b->take_memory(weight - h.charged)) h.charged = static_cast<uint32_t>(weight);
  } else {
    b->give_memory(h.charged - weight);
    h.charged = static_cast<uint32_t>(weight);
  }
}

// A dying buffer gives back what it holds.
[[gnu::always_inline]] inline void release_charge(VmRequestBudget* b, const VmHeap& h) {
  if (b != nullptr) b->give_memory(h.charged);
}

}  // namespace veln::detail
