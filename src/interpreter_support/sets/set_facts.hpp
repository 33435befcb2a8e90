// Facts a set keeps about its items (held in VmValue::set_facts), which
// tell the single edits and membership which search by key order applies.
// Worked out once per set built and kept through removals; an addition
// keeps them up to date. A fact is only ever claimed when it holds: one not
// known is as good as false (the slower, exact path is taken).
#pragma once

#include <cstdint>
#include <optional>

#include "values/vm_execution_error.hpp"
#include "values/vm_items_view.hpp"
#include "values/vm_value.hpp"
#include "values/vm_work_meter.hpp"

namespace veln {

struct SetInsertion;

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
// Read after set_items_settled: whether no two items of set `s` are known
// to be value-equal. A set built where number equality is not transitive
// may hold two ({0, 0}); normalising such items again drops one, which no
// search by key order sees, so the single edits search only sets apart.
bool set_items_apart(const VmValue& s);
// Whether no two items of set `s` are value-equal, nor fail to compare,
// whichever stands first (normalising them again keeps each as it stands).
// Worked out by normalising the items once, then kept with the set; a set
// whose items are distinct takes an item by one scan (distinct_set_edits).
bool set_items_distinct(const VmValue& s, VmWorkMeter* meter = nullptr);
// Notes that fact (or its absence) for items just placed by that scan, and
// none of the facts above: the class searches, which those facts enable,
// stay off for the set (sound, as none of them is needed).
void note_set_items_scanned(const VmValue& s, bool distinct);
// Keeps these facts with `s` after x joined it in place, x having been
// placed by set_insertion as `at` says, with the facts given.
void keep_set_settled_after_insertion(const VmValue& s, const VmValue& x, bool settled, bool plain, bool tame,
                                      const SetInsertion& at, bool plain_sets = false);

}  // namespace veln
