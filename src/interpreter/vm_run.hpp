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

#include "interpreter/call_depth.hpp"
#include "interpreter/frame_arena.hpp"
#include "interpreter/lowered_code.hpp"
#include "interpreter/native_stack.hpp"
#include "interpreter/vm_host.hpp"
#include "interpreter/vm_instance_state.hpp"
#include "values/vm_execution_error.hpp"
#include "values/vm_value.hpp"

namespace veln {

struct VmRun {
  VmRun(VmInstanceState& inst, VmHost& h, uint32_t active)
      : instance(inst),
        host(h),
        counter(h.execution_charge_counter()),
        active_calls(active),
        seen_outside_code_runs(h.outside_code_runs()),
        count_slot(h.active_call_count_slot()) {
    if (counter == nullptr) counter = &no_counter;
    if (count_slot != nullptr) {
      outer_count = *count_slot;
      *count_slot = &active_calls;
    }
  }
  ~VmRun() {
    if (count_slot != nullptr) *count_slot = outer_count;
  }
  VmRun(const VmRun&) = delete;
  VmRun& operator=(const VmRun&) = delete;

  VmInstanceState& instance;
  VmHost& host;
  VmChargeCounter* counter;  // the host's fast charge path, or no_counter
  // No charge fits it (every sum overflows or passes the limit), so every
  // charge goes to the host.
  VmChargeCounter no_counter{UINT64_MAX, 0};
  FrameArena arena;
  std::vector<VmKeywordArg> keywords;  // pending keyword arguments, innermost call last
  uint32_t active_calls;
  // The native stack backstop of calls made in this run (native_stack.hpp).
  uintptr_t stack_floor = native_stack_floor();
  // The host's outside_code_runs() when the trace switches were last read
  // (every run starts right after they were).
  uint64_t seen_outside_code_runs;
  // Where the host watches the count of active calls (runs nest strictly,
  // so each puts back the one it found), and what it held before this run.
  const uint32_t** count_slot;
  const uint32_t* outer_count = nullptr;
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

  // Charges `cost` to the host, through its counter when the charge fits.
  [[gnu::always_inline]] bool charge(uint64_t cost) {
    const uint64_t next = counter->used + cost;
    if (next >= cost && next <= counter->limit) [[likely]] {
      counter->used = next;
      return true;
    }
    return charge_through_host(cost);
  }
  [[gnu::noinline]] bool charge_through_host(uint64_t cost) {
    VmStatus status = host.charge_execution_cost(cost);
    if (status.ok()) return true;
    return fail(std::move(status).error());
  }

  // No further call may start: the call limit is reached, or (backstop
  // only) the native stack is nearly used up.
  [[gnu::always_inline]] bool calls_exhausted() const {
    return active_calls >= kMaxActiveCalls || native_stack_below(stack_floor);
  }

  // After a host operation: only code run outside the interpreter can have
  // changed the environment.
  void refresh_trace() {
    const uint64_t runs = host.outside_code_runs();
    if (runs == seen_outside_code_runs) [[likely]] return;
    seen_outside_code_runs = runs;
    instance.trace = VmTraceFlags::from_environment();
  }
};

// Runs `code` from `pc` with `slots` as the locals until a Return or
// ReturnNone; the value returned.
VmResult<VmValue> run_code(VmRun& run, const LoweredCode& code, uint32_t pc, Slot* slots);
// The same on a value stack of code.max_stack cells the caller provides;
// whatever the outcome, it leaves no cell holding a heap value.
VmResult<VmValue> run_code_on(VmRun& run, const LoweredCode& code, uint32_t pc, Slot* slots, VmValue* stack);

// Runs an expression entry of the module-level code against a fresh copy of
// the module globals as its locals.
VmResult<VmValue> run_module_expression(VmRun& run, uint32_t pc);
// Lowers `node` as module-level code and runs it so (module_instance.cpp):
// declarations evaluate their expressions this way.
VmResult<VmValue> eval_module_expression(VmRun& run, const JsonValue& node);

}  // namespace veln
