// Key-wise insertion into a dict value: the first pair whose key is
// structurally equal (same kind and payload: 1, 1.0, True and decimal 1 are
// four keys) gets the new value and keeps its stored key; otherwise the pair
// is appended. Lookups go through the dict's own index (VmValue); this must
// not use value equality.
#pragma once

#include "values/vm_execution_error.hpp"
#include "values/vm_value.hpp"

namespace veln {

// `dict` must be a Dict value; it is taken over and returned changed.
// Fails only on the value depth and size limits, leaving nothing changed.
VmResult<VmValue> dict_set(VmValue dict, VmValue key, VmValue value);

}  // namespace veln
