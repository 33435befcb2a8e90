// VmWorkMeter: counts the elementary steps (value comparisons, index probes,
// compared bytes) of operations whose cost contract code controls, so tests
// can check how that cost grows without timing anything. It is handed to an
// operation explicitly and never kept. It must not change any result; the
// running request's work allowance counts the same steps.
#pragma once

#include <cstdint>

#include "values/vm_request_budget.hpp"

namespace veln {

struct VmWorkMeter {
  uint64_t steps = 0;
  // The comparisons made outside keyed searches by the capped operation
  // under way (comparison_budget.hpp), while `comparing` says one is.
  uint64_t compared = 0;
  bool comparing = false;
};

// Adds `n` steps when a meter was handed over; they also count as work of
// the running request (the same steps, so the growth tests measure what the
// work allowance counts).
inline void vm_tick(VmWorkMeter* meter, uint64_t n = 1) {
  if (meter != nullptr) meter->steps += n;
  vm_count_work(n);
}

}  // namespace veln
