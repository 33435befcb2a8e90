// What one builtin implementation receives: the owned argument lists, whose
// shape the dispatch table has already checked, and the caller that map and
// filter call their function argument back through. Shared by the builtin
// families only; contract code reaches builtins through call_builtin.
#pragma once

#include "interpreter/builtins.hpp"

namespace veln {

struct BuiltinCall {
  VmArgList& args;
  VmKwargList& kwargs;
  VmValueCaller& caller;
};

using BuiltinFn = VmResult<VmValue> (*)(BuiltinCall& call);

}  // namespace veln
