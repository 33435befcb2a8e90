// Methods of list, dict, set and frozenset values, reached through
// call_native_method once keyword arguments were refused. Each function gets
// a receiver of its kind(s), resolves the method name in its own table
// ("unsupported list method '{}()'" ... for an unknown one), checks arity,
// then runs the method. Mutating methods return NativeMethodOutcome::mutated.
#pragma once

#include <optional>
#include <string_view>
#include <vector>

#include "interpreter_support/native_method_outcome.hpp"
#include "values/vm_execution_error.hpp"
#include "values/vm_value.hpp"

namespace veln {

// The dict entry operations: the first pair whose key is structurally equal
// to `key` (1, 1.0 and True are three keys). dict_pop removes that pair.
std::optional<VmValue> dict_get(const VmValue& dict, const VmValue& key);
std::optional<VmValue> dict_pop(VmValue& dict, const VmValue& key);

// `receiver` is a List.
VmResult<NativeMethodOutcome> call_list_method(VmValue receiver, std::string_view method, std::vector<VmValue> args);
// `receiver` is a Dict.
VmResult<NativeMethodOutcome> call_dict_method(VmValue receiver, std::string_view method, std::vector<VmValue> args);
// `receiver` is a Set or a FrozenSet (results keep the receiver's kind).
VmResult<NativeMethodOutcome> call_set_method(VmValue receiver, std::string_view method, std::vector<VmValue> args);

}  // namespace veln
