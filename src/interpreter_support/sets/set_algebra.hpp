// The set algebra: the subset test, union, difference, intersection,
// symmetric difference, equality and membership. Results are exactly those
// of the literal scans (which comparisons run, which item survives, which
// error is met first), computed in O(n log n) wherever no comparison can
// fail. The algebra returns raw item sequences: callers normalise
// (set_normalization.hpp) where the operation requires.
// The subset test, union, difference, intersection and symmetric difference
// take any item sequences: a set's canonical items, or items in any order,
// repeated or unhashable ones among them.
// Membership takes a set's canonical items (see set_contains).
// The overloads with a meter count the comparisons and probes. Each is one
// operation under the comparison cap (comparison_budget.hpp), or a part of
// the one under way on the meter.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "interpreter_support/sets/set_normalization.hpp"
#include "values/vm_execution_error.hpp"
#include "values/vm_items_view.hpp"
#include "values/vm_value.hpp"
#include "values/vm_work_meter.hpp"

namespace veln {

// Every item of a has a value-equal item in b.
VmResult<bool> set_is_subset(std::span<const VmValue> a, std::span<const VmValue> b);
VmResult<bool> set_is_subset(std::span<const VmValue> a, std::span<const VmValue> b, VmWorkMeter& meter);

// Copies of a's items then b's; no item is compared and it never fails. The
// value size limit applies to the normalised set where it is built
// (VmValue::make_set checks it): a union of a set with itself is no larger
// than the set, although the raw sequence counts its items twice.
VmResult<std::vector<VmValue>> set_union_values(std::span<const VmValue> a, std::span<const VmValue> b);
// a's items without a value-equal item in b, in a's order.
VmResult<std::vector<VmValue>> set_difference_values(std::span<const VmValue> a,
                                                     std::span<const VmValue> b);
VmResult<std::vector<VmValue>> set_difference_values(std::span<const VmValue> a, std::span<const VmValue> b,
                                                     VmWorkMeter& meter);
// a's items with a value-equal item in b, in a's order (a's item is kept).
VmResult<std::vector<VmValue>> set_intersection_values(std::span<const VmValue> a,
                                                       std::span<const VmValue> b);
VmResult<std::vector<VmValue>> set_intersection_values(std::span<const VmValue> a, std::span<const VmValue> b,
                                                       VmWorkMeter& meter);
// difference(a, b) followed by b's items without a value-equal item in a.
VmResult<std::vector<VmValue>> set_symmetric_difference_values(std::span<const VmValue> a,
                                                               std::span<const VmValue> b);
VmResult<std::vector<VmValue>> set_symmetric_difference_values(std::span<const VmValue> a, std::span<const VmValue> b,
                                                               VmWorkMeter& meter);

// Whether some item of a set or frozenset is value-equal to `needle`: the
// answer (or error) of scanning the items in stored order up to the first
// match. `items` must be a set's items in canonical form; one-kind sets are
// searched in O(log n) reads of an item.
VmResult<bool> set_contains(VmItemsView items, const VmValue& needle, VmWorkMeter* meter = nullptr);
// set_contains where the key order decides it (items of one plain kind and a
// needle that meets them without converting), reading O(log n) items;
// nothing where only the scan (or an index of the items) can tell. It reads
// the items of no value, so a view of a set's pending edits stays valid
// whatever the needle holds.
// `settled` is set_items_settled of the items when the caller knows it
// (here and below); unknown, it is worked out from the items.
// `plain` and `tame`: set_items_plain and set_items_tame of the set, which
// let a plain tuple be found among tuples of several shapes, and a tame
// number among tame numbers with decimals; `plain_sets`, set_items_plain_sets,
// a plain frozenset among frozensets of several shapes.
std::optional<VmResult<bool>> set_contains_by_order(VmItemsView items, const VmValue& needle,
                                                    VmWorkMeter* meter = nullptr,
                                                    std::optional<bool> settled = std::nullopt, bool plain = false,
                                                    bool tame = false, bool plain_sets = false);

// Set equality of value equality: same item count and every item of a finds
// a value-equal item in b.
VmResult<bool> set_items_equal(std::span<const VmValue> a, std::span<const VmValue> b);
// Within the capped operation under way on `meter` (a set compared inside
// the items of another).
VmResult<bool> set_items_equal(std::span<const VmValue> a, std::span<const VmValue> b, VmWorkMeter& meter);

}  // namespace veln
