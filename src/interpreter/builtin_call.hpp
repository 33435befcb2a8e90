// What one builtin implementation receives: the argument cells of the call
// (the builtin may move out of them), whose shape the dispatch table has
// already checked, and the caller that map and
// filter call their function argument back through. Shared by the builtin
// families only; contract code reaches builtins through call_builtin.
#pragma once

#include "interpreter/builtins.hpp"

namespace veln {

struct BuiltinCall {
  std::span<VmValue> args;
  std::span<VmKeywordArg> kwargs;
  VmValueCaller& caller;
};

using BuiltinFn = VmResult<VmValue> (*)(BuiltinCall& call);

}  // namespace veln
