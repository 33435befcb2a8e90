// Methods of str values, reached through call_native_method once keyword
// arguments were refused: the method name is resolved once in the str table
// ("unsupported str method '{}()'" for an unknown one), arity is checked
// before any argument is converted, then the method runs. Positions are code
// points. Results that grow text (replace, join) are checked against the
// value size limit before they are built.
#pragma once

#include <string_view>
#include <vector>

#include "interpreter_support/native_method_table.hpp"
#include "values/vm_execution_error.hpp"
#include "values/vm_value.hpp"

namespace veln {

// The table of String receivers.
const NativeMethodKind& str_methods();

}  // namespace veln
