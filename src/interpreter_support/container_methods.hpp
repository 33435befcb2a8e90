// Methods of list, dict, set and frozenset values, reached through
// call_native_method once keyword arguments were refused. Each kind's table
// resolves a method name to an id ("unsupported list method '{}()'" ... for
// an unknown one when called), checks arity, then runs the method. Mutating
// methods return NativeMethodOutcome::mutated.
#pragma once

#include <optional>
#include <string_view>
#include <vector>

#include "interpreter_support/native_method_table.hpp"
#include "values/vm_execution_error.hpp"
#include "values/vm_value.hpp"

namespace veln {

// The dict entry operations: the first pair whose key is structurally equal
// to `key` (1, 1.0 and True are three keys). dict_pop removes that pair.
std::optional<VmValue> dict_get(const VmValue& dict, const VmValue& key);
std::optional<VmValue> dict_pop(VmValue& dict, const VmValue& key);

// set.add(x) and set.discard(x) on a set value (edited in place when its
// buffer is not shared); `removed` tells whether an item left. A meter
// counts the searches and the items moved.
VmResult<VmValue> set_with_item(VmValue s, const VmValue& x, VmWorkMeter* meter = nullptr);
VmResult<VmValue> set_without_item(VmValue s, const VmValue& x, bool* removed, VmWorkMeter* meter = nullptr);

// The tables of List, Dict, Set and FrozenSet receivers (set results keep
// the receiver's kind).
const NativeMethodKind& list_methods();
const NativeMethodKind& dict_methods();
const NativeMethodKind& set_methods();
const NativeMethodKind& frozenset_methods();

}  // namespace veln
