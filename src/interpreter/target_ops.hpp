// Writes to assignment targets: the write-back of a resolved target from its
// innermost subscript level out to the root name, destructuring, and the
// module-scope rule of write-backs. Writes never reach the host.
#pragma once

#include <cstdint>

#include "interpreter/vm_run.hpp"
#include "values/vm_execution_error.hpp"
#include "values/vm_value.hpp"

namespace veln {

// Writes `value` through the resolved target whose cells start at `cells`
// (taken over). With `module_scope` a root name is written to the module
// globals only, else to the locals.
VmStatus store_resolved(VmRun& run, const LoweredCode& code, const TargetSite& site, VmValue* cells, VmValue value,
                        Slot* slots, bool module_scope);
// Drops the references that the root variable and each container level hold
// on the target's current values, so the write-back (and a method changing
// the innermost value) edits buffers in place. The root's place is about to
// be overwritten; a failure before that ends the call.
void detach_resolved(VmRun& run, const TargetSite& site, VmValue* cells, Slot* slots, bool module_scope);
// The module-scope flag of a write-back: the root name is not a local and is
// a module global.
bool writes_module_scope(VmRun& run, const TargetSite& site, const Slot* slots);
// The items of a list or tuple for `n` targets, written to out[0..n) in
// reverse so the first item ends on top of the stack.
VmStatus unpack_value(const VmValue& value, uint32_t n, VmValue* out);
VmStatus check_destructurable(const VmValue& value);

}  // namespace veln
