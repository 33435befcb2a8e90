// The insertion sort by compare_vm_values over decimals mixed with bools,
// ints and floats, where no comparison can fail, replayed in O(n log n).
// Such values compare through two different views (a decimal meets anything
// through the decimal conversion, a float meets ints and floats through
// doubles) that disagree on tiny floats and on ints that are not exactly a
// double, so no sort key gives the insertion order; the replay must not
// assume one. It must not be used on values outside `is_mixed_number`.
#pragma once

#include <vector>

#include "values/vm_value.hpp"

namespace veln {

class VmWorkTally;

// A bool, a decimal, an int the decimal conversion accepts, or a finite float
// it accepts: no comparison between two such values can fail.
bool is_mixed_number(const VmValue& v);

// Puts `values` (all `is_mixed_number`) in the order the stable insertion
// sort leaves them: each value, in input order, goes before the first placed
// value it is strictly less than. `tally` counts the tree steps; false,
// `values` left in an unspecified order, once they pass the running
// request's allowance.
bool sort_mixed_numbers(std::vector<VmValue>& values, VmWorkTally& tally);

}  // namespace veln
