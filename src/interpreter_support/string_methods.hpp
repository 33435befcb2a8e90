// Methods of str, bytes and bytearray values, reached through
// call_native_method once keyword arguments were refused. Each function gets
// a receiver of its kind, resolves the method name once in its table
// ("unsupported str method '{}()'" ... for an unknown one), checks arity
// before converting any argument, then runs the method. str positions are
// code points, bytearray positions bytes. Results that grow text are checked
// against the value size limit before they are built.
#pragma once

#include <string_view>
#include <vector>

#include "interpreter_support/native_method_outcome.hpp"
#include "values/vm_execution_error.hpp"
#include "values/vm_value.hpp"

namespace veln {

// `receiver` is a String.
VmResult<NativeMethodOutcome> call_str_method(VmValue receiver, std::string_view method, std::vector<VmValue> args);
// `receiver` is a Bytes.
VmResult<NativeMethodOutcome> call_bytes_method(VmValue receiver, std::string_view method, std::vector<VmValue> args);
// `receiver` is a ByteArray; clear, append, extend and pop return it changed.
VmResult<NativeMethodOutcome> call_bytearray_method(VmValue receiver, std::string_view method,
                                                    std::vector<VmValue> args);

}  // namespace veln
