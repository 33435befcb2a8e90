// Method calls on values (xs.append(x), s.upper(), ref.get()): the receiver
// is read once, the support library's method runs on it, and a changed
// receiver is written back once to where it came from — a local, a module
// global (when the root name is only a global) or a container level.
#pragma once

#include "interpreter/vm_run.hpp"
#include "values/vm_execution_error.hpp"
#include "values/vm_value.hpp"

namespace veln {

// `cells` holds the resolved receiver target's cells (name or subscript
// receivers) or the receiver value alone; taken over.
// `args` and `kwargs` are the caller's (a method reads them; a foreign
// storage reference takes them over).
VmResult<VmValue> eval_native_attribute_call(VmRun& run, const LoweredCode& code, const CallSite& site,
                                             VmValue* cells, std::span<VmValue> args,
                                             std::span<VmKeywordArg> kwargs, Slot* slots);

}  // namespace veln
