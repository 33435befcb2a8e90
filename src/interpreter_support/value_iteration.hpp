// What iterating a value yields, the ascending order of `sorted`, and the
// candidates of `min`/`max`. Each returns a new sequence of values (copies are
// O(1) with shared buffers); none of them changes its input.
#pragma once

#include <vector>

#include "values/vm_execution_error.hpp"
#include "values/vm_value.hpp"
#include "values/vm_work_meter.hpp"

namespace veln {

// str: one-character strs; bytes/bytearray: ints 0-255; list, tuple, set,
// frozenset: the items in stored order; dict: the keys in entry order.
VmResult<std::vector<VmValue>> iterate_value(const VmValue& value);
// Stable ascending order by compare_vm_values; the first comparison error
// aborts the sort. O(n log n) wherever no comparison can fail; the meter
// counts the comparisons made.
VmResult<std::vector<VmValue>> sorted_values(std::vector<VmValue> values);
VmResult<std::vector<VmValue>> sorted_values(std::vector<VmValue> values, VmWorkMeter& meter);

}  // namespace veln
