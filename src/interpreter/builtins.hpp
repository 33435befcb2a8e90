// The 37 builtin functions of contract code (abs ... zip, Exception): one
// table from name to implementation, resolved to a BuiltinId once. Builtins
// take evaluated argument lists and never see IR nodes; only map and filter
// call back into the interpreter, through VmValueCaller. No builtin charges
// anything itself.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "interpreter/vm_host.hpp"
#include "values/vm_execution_error.hpp"
#include "values/vm_value.hpp"

namespace veln {

// How map and filter call the function value they were given (a function
// reference is charged as any call; a builtin is called without a charge).
class VmValueCaller {
 public:
  virtual VmResult<VmValue> call_callable_value(VmValue callee, VmArgList args, VmKwargList kwargs) = 0;

 protected:
  ~VmValueCaller() = default;
};

enum class BuiltinId : uint8_t {
  abs, all, any, ascii, bin, bool_, bytearray, bytes, chr, dict, divmod, filter, float_, format, frozenset,
  hex, int_, isinstance, issubclass, len, list, map, max, min, oct, ord, pow, range, reversed, round, set,
  sorted, str, sum, tuple, zip, Exception,
  count_
};

// The id of one of the 37 names (exact bytes), or nothing.
std::optional<BuiltinId> builtin_id(std::string_view name);

// Calls the builtin named `name` ("unsupported builtin '{}'" for any other
// name, such as a pseudo-module's builtin value).
// The arguments are the caller's cells: a builtin may move out of them.
VmResult<VmValue> call_builtin(std::string_view name, std::span<VmValue> args, std::span<VmKeywordArg> kwargs,
                               VmValueCaller& caller);
VmResult<VmValue> call_builtin(BuiltinId id, std::span<VmValue> args, std::span<VmKeywordArg> kwargs,
                               VmValueCaller& caller);

}  // namespace veln
