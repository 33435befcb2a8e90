// VmWorkMeter: counts the elementary steps (value comparisons, index probes,
// compared bytes) of operations whose cost contract code controls, so tests
// can check how that cost grows without timing anything. It is handed to an
// operation explicitly and never kept: there is no global counter. It must
// not change any result.
#pragma once

#include <cstdint>

namespace veln {

struct VmWorkMeter {
  uint64_t steps = 0;
  // The comparisons made outside keyed searches by the capped operation
  // under way (comparison_budget.hpp), while `comparing` says one is.
  uint64_t compared = 0;
  bool comparing = false;
};

// Adds `n` steps when a meter was handed over.
inline void vm_tick(VmWorkMeter* meter, uint64_t n = 1) {
  if (meter != nullptr) meter->steps += n;
}

// A comparison that counts one step per call.
template <class Less>
auto vm_counted(Less less, VmWorkMeter* meter) {
  return [less, meter](const auto& a, const auto& b) {
    vm_tick(meter);
    return less(a, b);
  };
}

}  // namespace veln
