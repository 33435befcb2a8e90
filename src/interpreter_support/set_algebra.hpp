// Canonical form of set items and the set algebra over item sequences:
// `normalize_set_items`, the subset test, union, difference, intersection,
// symmetric difference and membership. Results are exactly those of the
// literal scans (which comparisons run, which item survives, which error is
// met first), computed in O(n log n) wherever no comparison can fail: items
// of one kind by sorting, numbers of mixed kinds by replaying the scan over
// indexes. Tuples of mixed shapes keep the scans. The algebra returns raw
// item sequences: callers normalise where the operation requires. The
// overloads with a meter count the comparisons and probes.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "values/vm_execution_error.hpp"
#include "values/vm_items_view.hpp"
#include "values/vm_value.hpp"
#include "values/vm_work_meter.hpp"

namespace veln {

// No two items value-equal (the least set key survives), ascending key order.
// Fails with "unhashable type: '{}'" or an error of value equality.
VmResult<std::vector<VmValue>> normalize_set_items(std::vector<VmValue> items);
VmResult<std::vector<VmValue>> normalize_set_items(std::vector<VmValue> items, VmWorkMeter& meter);

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

// Whether normalising the items of set `s` (read through `items`, a view of
// them) again would give each of their classes back as it is: its tuples
// are of one shape whose leaves order as their keys, and so are its
// frozensets; its numbers of several kinds hold no decimal and no two equal
// ones. Then an item joining the set changes its own class only, and is
// searched by key order within it. Kept with the set (VmValue::set_facts),
// so it is worked out once per set built, not once per edit.
bool set_items_settled(const VmValue& s, VmItemsView items, VmWorkMeter* meter = nullptr);
// Worked out with it, and read after it: whether the numbers are settled,
// the frozensets of one shape, and every tuple plain (its items None,
// texts, bytes, time deltas, bools, and ints and floats below 2^53 in
// magnitude) whatever their shapes. Then a plain tuple joining or leaving
// the set is searched by key order through the equal forms of its numbers.
bool set_items_plain(const VmValue& s);
// Likewise: whether its numbers are tame (bools, decimals, ints below 2^53
// in magnitude, floats below it that are zero or at least 1e-13), no two
// equal, and its tuples and frozensets settled or plain. Value equality
// among tame numbers is an equivalence (equal decimal values), so a tame
// number joining or leaving is searched through its equal forms, decimals
// among the numbers or not.
bool set_items_tame(const VmValue& s);
// Likewise: whether its numbers are settled and every tuple and frozenset
// holds plain leaves only, whatever their shapes. Then a plain frozenset
// joining or leaving the set is searched by key order through the equal
// forms of its leaves.
bool set_items_plain_sets(const VmValue& s);
// Whether no two items of set `s` are value-equal, nor fail to compare,
// whichever stands first (normalising them again keeps each as it stands).
// Worked out by normalising the items once, then kept with the set; a set
// whose items are distinct takes an item by one scan (distinct_set_edits).
bool set_items_distinct(const VmValue& s, VmWorkMeter* meter = nullptr);
// Notes that fact (or its absence) for items just placed by that scan, and
// none of the facts above: the class searches, which those facts enable,
// stay off for the set (sound, as none of them is needed).
void note_set_items_scanned(const VmValue& s, bool distinct);
struct SetInsertion;
// Keeps these facts with `s` after x joined it in place, x having been
// placed by set_insertion as `at` says, with the facts given.
void keep_set_settled_after_insertion(const VmValue& s, const VmValue& x, bool settled, bool plain, bool tame,
                                      const SetInsertion& at, bool plain_sets = false);

// Where `x` goes when it joins canonical set items, as normalising the items
// followed by x would place it: already present (the set is unchanged), an
// insertion, or a replacement (the item at `from` leaves and x is inserted
// at `to` of what remains). x is searched within its family, or within its
// class (numbers, texts, tuples...) when the set holds several and they are
// settled. Nothing when only normalising the whole can tell (decimals among
// other numbers, tuples of several shapes, unsettled classes). Fails as the
// normalisation would: x unhashable, a comparison with NaN.
struct SetInsertion {
  enum class Kind : uint8_t { Present, Insert, Replace };
  Kind kind = Kind::Present;
  size_t from = 0;
  size_t to = 0;
  bool plain_search = false;  // placed among plain tuples or plain frozensets, of any shapes
  bool tame_search = false;   // placed among tame numbers
};
std::optional<VmResult<SetInsertion>> set_insertion(VmItemsView items, const VmValue& x,
                                                   VmWorkMeter* meter = nullptr,
                                                   std::optional<bool> settled = std::nullopt, bool plain = false,
                                                   bool tame = false, bool plain_sets = false);

// The position of the item of canonical set items value-equal to `x` (the
// one item the set difference with [x] removes), or none. Nothing when only
// the difference itself can tell (several items may be equal, or a
// comparison may fail).
std::optional<std::optional<size_t>> set_removal_position(VmItemsView items, const VmValue& x,
                                                          VmWorkMeter* meter = nullptr,
                                                          std::optional<bool> settled = std::nullopt,
                                                          bool plain = false, bool tame = false,
                                                          bool plain_sets = false);

// Set equality of value equality: same item count and every item of a finds
// a value-equal item in b.
VmResult<bool> set_items_equal(std::span<const VmValue> a, std::span<const VmValue> b);

}  // namespace veln
