// The name-level vocabulary of contract code: which bare names are builtin
// functions or type markers, how `isinstance`/`issubclass` match values and
// classes against type names, and the coercion of builtins into type markers.
// Names are resolved here once; nothing in this file dispatches a builtin.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "values/vm_execution_error.hpp"
#include "values/vm_value.hpp"

namespace veln {

// A builtin or type_marker value for a builtin name; none for other names.
std::optional<VmValue> builtin_name_value(std::string_view name);
// isinstance(value, class): a builtin or type marker names a type; a tuple
// matches when any member (recursively) does; anything else is false.
bool type_matches(const VmValue& value, const VmValue& cls);
bool type_matches_name(const VmValue& value, std::string_view type_name);
// The type names a class value stands for, flattened in order.
VmResult<std::vector<std::string>> type_marker_names(const VmValue& cls);
// issubclass(cls, classes), with "Any" matching everything and bool an int.
VmResult<bool> issubclass_matches(const VmValue& cls, const VmValue& classes);
// Builtins that name a type (str, int, ...) become type markers; every other
// value is returned unchanged.
VmValue coerce_type_marker(VmValue value);

}  // namespace veln
