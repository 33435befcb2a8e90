// The canonical form of set items: no two items value-equal (the least set
// key of each group survives, as the literal scan keeps it), ascending key
// order. Computed in O(n log n) wherever no comparison between the items can
// fail: items of one kind by sorting, numbers of mixed kinds and containers
// of them by replaying the scan over indexes.
#pragma once

#include <vector>

#include "values/vm_execution_error.hpp"
#include "values/vm_value.hpp"
#include "values/vm_work_meter.hpp"

namespace veln {

// Fails with "unhashable type: '{}'" or an error of value equality.
VmResult<std::vector<VmValue>> normalize_set_items(std::vector<VmValue> items);
VmResult<std::vector<VmValue>> normalize_set_items(std::vector<VmValue> items, VmWorkMeter& meter);

}  // namespace veln
