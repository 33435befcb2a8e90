// Methods of bytes and bytearray values, reached through call_native_method
// once keyword arguments were refused: the name is resolved once in the
// kind's table ("unsupported bytes method '{}()'", "unsupported bytearray
// method '{}()'"), arity is checked before any argument is converted, then
// the method runs. Positions are byte positions. The bytearray methods that
// change their receiver (clear, append, extend, pop) return it changed; on
// failure nothing is changed.
#pragma once

#include <string_view>
#include <vector>

#include "interpreter_support/native_method_table.hpp"
#include "values/vm_execution_error.hpp"
#include "values/vm_value.hpp"

namespace veln {

// The tables of Bytes and ByteArray receivers.
const NativeMethodKind& bytes_methods();
const NativeMethodKind& bytearray_methods();

}  // namespace veln
