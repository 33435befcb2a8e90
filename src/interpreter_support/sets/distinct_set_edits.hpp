// Adding an item to a set whose items are distinct (no two value-equal and
// no comparison between two of them failing, whichever stands first), where
// no search by key order can tell what the item meets. Normalising such
// items followed by x keeps every item as it stands and then compares each
// with x in stored order, so one scan gives the whole normalisation's
// result: linear in the set, never a sort of it. These are the sets the
// class searches of set_algebra leave over (containers of several shapes
// whose numbers do not compare as their keys, NaN among other kinds,
// date-times beside numbers). It must not be used on a set not known to be
// distinct: normalising such a set again may drop an item.
#pragma once

#include <optional>

#include "interpreter_support/sets/set_edits.hpp"
#include "values/vm_execution_error.hpp"
#include "values/vm_items_view.hpp"
#include "values/vm_value.hpp"
#include "values/vm_work_meter.hpp"

namespace veln {

// Where x goes in distinct canonical items (as set_insertion says), from
// the scan of normalisation: the first item value-equal to x, in stored
// order, or the first comparison that fails. `still_distinct` tells whether
// the items with x placed are distinct too (found by comparing x with the
// others both ways; a failure there only clears it).
VmResult<SetInsertion> distinct_set_insertion(VmItemsView items, const VmValue& x, bool* still_distinct,
                                              VmWorkMeter* meter = nullptr);

// The positions of the items value-equal to x, ascending: what the set
// difference with [x] removes (x compared with each item, in stored order;
// the first failure is the result).
VmResult<std::vector<size_t>> set_positions_equal_to(VmItemsView items, const VmValue& x,
                                                     VmWorkMeter* meter = nullptr);

}  // namespace veln
