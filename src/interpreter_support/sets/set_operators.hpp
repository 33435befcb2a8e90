// The binary set operators |, &, - and ^ on the items of two sets: the
// canonical form of the set algebra's raw result, exactly as
// normalize_set_items(set_union_values(a, b)) and the others give it (items,
// survivors, order, first error). Sets of tuples and frozensets are
// combined in one pass over hashes of value equality instead of building the
// raw sequence and normalising it again; everything else takes that road.
// The inputs must be canonical set items (no check is made).
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "values/vm_execution_error.hpp"
#include "values/vm_value.hpp"
#include "values/vm_work_meter.hpp"

namespace veln {

enum class SetOperator : uint8_t { Union, Intersection, Difference, SymmetricDifference };

VmResult<std::vector<VmValue>> set_operator_items(SetOperator op, std::span<const VmValue> a,
                                                  std::span<const VmValue> b, VmWorkMeter* meter = nullptr);

}  // namespace veln
