// Where an item that replaces a value-equal item of canonical set items (its
// set key being the lesser) ends up: normalising puts it in the replaced
// item's place, then the stable sort by key moves it, so items of its key
// before that place stay before it and those after stay after. Shared by the
// searches that find the replaced item by key order and by scan; it reads
// keys only, so it never fails.
#pragma once

#include <cstddef>

#include "interpreter_support/sets/set_keys.hpp"
#include "values/vm_value.hpp"
#include "interpreter_support/stoppable_work.hpp"
#include "values/vm_work_meter.hpp"

namespace veln {

// x's position among the items without the one at p, by binary search.
template <class Items>
size_t replacement_position(const Items& items, const VmValue& x, size_t p, VmWorkMeter* meter) {
  const auto below = [&](size_t i) {
    work_step(meter);
    return vm_set_key_compare(items[i], x) == VmOrdering::Less ||
           (vm_set_key_compare(x, items[i]) != VmOrdering::Less && i < p);
  };
  size_t lo = 0;
  size_t hi = items.size() - 1;
  while (lo < hi) {
    const size_t mid = lo + (hi - lo) / 2;
    if (below(mid < p ? mid : mid + 1)) {
      lo = mid + 1;
    } else {
      hi = mid;
    }
  }
  return lo;
}

}  // namespace veln
