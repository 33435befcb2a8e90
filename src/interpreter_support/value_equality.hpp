// Value equality and ordering of contract code: `vm_values_equal` (behind
// "==", "!=", membership, list.index/count and the set operations) and
// `compare_vm_values` (behind sorting, min/max and numeric equality). Numbers
// meet across bool, int, float and decimal; a set equals a frozenset, bytes
// equals bytearray, dicts compare regardless of entry order. Also the
// ordering primitives the compare operators share with them.
// Not the structural equality of VmValue::eq (dict keys, "is").
#pragma once

#include <cstdint>
#include <string_view>

#include "values/vm_execution_error.hpp"
#include "values/vm_value.hpp"
#include "values/vm_work_meter.hpp"

namespace veln {

enum class VmOrdering : int8_t { Less = -1, Equal = 0, Greater = 1 };

constexpr VmOrdering vm_ordering_from_int(int c) {
  return c < 0 ? VmOrdering::Less : (c > 0 ? VmOrdering::Greater : VmOrdering::Equal);
}

inline constexpr std::string_view kNanCompareMessage = "cannot compare NaN values";

// "values {} and {} are not order-comparable" with the two type names.
VmExecutionError not_order_comparable_error(const VmValue& a, const VmValue& b);

// Value equality; errors: NaN against a number, a failed decimal conversion.
VmResult<bool> vm_values_equal(const VmValue& a, const VmValue& b);
// The same, as one of the many comparisons of an operation (membership in a
// list, list.count, list.index): the set comparisons met inside count
// together on the meter of that capped operation (capped_set_operation), so
// the operation as a whole is capped.
VmResult<bool> vm_values_equal_within(const VmValue& a, const VmValue& b, VmWorkMeter& operation);
// The same, made by a scan of a capped operation (comparison_budget.hpp):
// each pair of values compared counts on `meter`, leaves and the items of
// sets inside included. Plain value equality where no operation is counting.
VmResult<bool> scanned_values_equal(const VmValue& a, const VmValue& b, VmWorkMeter* meter);

// Ordering of a relative to b; errors: kinds without an order, NaN, a failed
// decimal conversion (returned unchanged).
VmResult<VmOrdering> compare_vm_values(const VmValue& a, const VmValue& b);

// --- ordering primitives -------------------------------------------------
// Exact order of two Int values (no allocation for inline ints).
int vm_int_compare(const VmValue& a, const VmValue& b);
// An Int value as the nearest double (ties to even, infinite beyond range).
double vm_int_to_f64(const VmValue& int_value);
// Bytewise order of two byte texts; a prefix is less. Returns -1, 0 or 1.
int vm_bytes_compare(std::string_view a, std::string_view b);
// Chronological order of two DateTime values (the full fraction counts).
int vm_datetime_compare(const VmValue& a, const VmValue& b);

}  // namespace veln
