// VmRun: the state of one entry call into an instance (a call_function, or
// the building of the instance): the instance, the host lent for the call,
// the frame arena, the keyword arguments of calls being assembled and the
// count of active calls. run_code executes lowered code against a set of
// local slots; it recurses natively only through named calls.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "interpreter/frame_arena.hpp"
#include "interpreter/lowered_code.hpp"
#include "interpreter/vm_host.hpp"
#include "interpreter/vm_instance_state.hpp"
#include "values/vm_execution_error.hpp"
#include "values/vm_value.hpp"

namespace veln {

struct VmRun {
  VmRun(VmInstanceState& inst, VmHost& h, uint32_t active) : instance(inst), host(h), active_calls(active) {}
  VmRun(const VmRun&) = delete;
  VmRun& operator=(const VmRun&) = delete;

  VmInstanceState& instance;
  VmHost& host;
  FrameArena arena;
  std::vector<VmKeywordArg> keywords;  // pending keyword arguments, innermost call last
  uint32_t active_calls;
  // The failure of the instruction that stopped the loop; helpers on the
  // loop's path report through it so the loop's own frame stays small.
  VmExecutionError error;

  bool fail(VmExecutionError e) {
    error = std::move(e);
    return false;
  }
  template <class T>
  bool take(VmResult<T>&& result, T& out) {
    if (!result.ok()) return fail(std::move(result).error());
    out = std::move(result).value();
    return true;
  }
  bool check(VmStatus&& status) {
    if (!status.ok()) return fail(std::move(status).error());
    return true;
  }

  // After a host operation that may have run Python code.
  void refresh_trace() { instance.trace = VmTraceFlags::from_environment(); }
};

// Runs `code` from `pc` with `slots` as the locals until a Return or
// ReturnNone; the value returned.
VmResult<VmValue> run_code(VmRun& run, const LoweredCode& code, uint32_t pc, Slot* slots);

// Runs an expression entry of the module-level code against a fresh copy of
// the module globals as its locals.
VmResult<VmValue> run_module_expression(VmRun& run, uint32_t pc);
// Lowers `node` as module-level code and runs it so (module_instance.cpp):
// declarations evaluate their expressions this way.
VmResult<VmValue> eval_module_expression(VmRun& run, const JsonValue& node);

}  // namespace veln
