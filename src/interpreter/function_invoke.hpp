// The body of a call of a module function: the active-call count, the
// frame, the call price, argument binding, the code and the return check.
// Inline, so the instruction that calls and the entry points of calls add no
// native frame of their own between two instruction loops. The call limit is
// checked by the callers, before anything here runs.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "interpreter/call_depth.hpp"
#include "interpreter/frame_arena.hpp"
#include "interpreter/lowered_code.hpp"
#include "interpreter/type_annotations.hpp"
#include "interpreter/vm_run.hpp"
#include "values/vm_execution_error.hpp"
#include "values/vm_value.hpp"

namespace veln {

// The value of a parameter default that is one constant, after the charges
// its load makes; nullptr with the error in the run.
[[gnu::always_inline]] inline const VmValue* constant_default(VmRun& run, const LoweredFunction& f,
                                                             const LoweredParameter& p) {
  const Instr& load = f.code.instrs[*p.default_entry];
  if ((load.spare != 0 && !run.charge(load.spare)) || !run.charge(load.b)) return nullptr;
  return &f.code.constants[load.a];
}

// A parameter's default, evaluated against the locals bound so far.
VmResult<VmValue> default_value(VmRun& run, const LoweredFunction& f, const LoweredParameter& p, Slot* slots);
// The annotations of the bound parameters of a function whose checks are on.
[[gnu::noinline]] VmStatus check_arguments(const LoweredFunction& f, const Slot* slots);
// Lowers the module function at `index` on its first call and widens the
// module globals to the names its code brought in.
[[gnu::noinline]] void lower_on_first_call(VmInstanceState& instance, uint32_t index);

// The module function at `index`, lowered.
[[gnu::always_inline]] inline const LoweredFunction& module_function(VmRun& run, uint32_t index) {
  const LoweredFunction& f = run.instance.lowered.functions[index];
  if (!f.lowered) [[unlikely]] lower_on_first_call(run.instance, index);
  return f;
}

struct ActiveCall {
  explicit ActiveCall(VmRun& r) : run(r) { ++run.active_calls; }
  ~ActiveCall() { --run.active_calls; }
  ActiveCall(const ActiveCall&) = delete;
  ActiveCall& operator=(const ActiveCall&) = delete;
  VmRun& run;
};

// Argument binding by a plan made at lowering, which rules out every binding
// error: only defaults and type checks remain to run. False with the error
// in the run.
[[gnu::always_inline]] inline bool bind_planned(VmRun& run, const LoweredFunction& f, std::span<VmValue> cells,
                                                const std::vector<uint32_t>& plan, Slot* slots) {
  const uint32_t* from = plan.data();
  const LoweredParameter* parameters = f.parameters.data();
  const size_t n = plan.size();
  for (size_t i = 0; i < n; ++i) {
    Slot& slot = slots[parameters[i].slot];
    // The plan names each parameter once, so its slot in the new frame
    // still holds nothing: no release to make first.
    if (from[i] != kFromDefault) [[likely]] {
      std::construct_at(&slot.value, std::move(cells[from[i]]));
    } else if (parameters[i].default_is_constant) {
      const VmValue* constant = constant_default(run, f, parameters[i]);
      if (constant == nullptr) return false;
      std::construct_at(&slot.value, *constant);
    } else if (!run.take(default_value(run, f, parameters[i], slots), slot.value)) {
      return false;
    }
    slot.bound = true;
  }
  return !f.typecheck || run.check(check_arguments(f, slots));
}

// A frame, the call price, the arguments bound by `bind` (false with the
// error in the run), the body and its result check.
template <class Bind>
[[gnu::always_inline]] inline VmResult<VmValue> invoke(VmRun& run, const LoweredFunction& f, Bind bind) {
  ActiveCall active(run);
  ActivationCells frame(run.arena, f.code.slot_count(), f.code.max_stack);
  if (!run.charge(f.call_price) || !bind(frame.slots())) return std::move(run.error);
  VmResult<VmValue> result = run_code_on(run, f.code, f.body_entry, frame.slots(), frame.cells());
  if (f.typecheck && result.ok() && f.ir->returns) {
    VmStatus checked = check_parsed_return(*f.ir->returns, f.returns, *result);
    if (!checked.ok()) return std::move(checked).error();
  }
  return result;
}

// The module function at `index`, its parameters bound by `plan` (see
// CallSite) from the argument cells, which are taken over.
[[gnu::always_inline]] inline VmResult<VmValue> call_function_planned(VmRun& run, uint32_t index,
                                                                      std::span<VmValue> cells,
                                                                      const std::vector<uint32_t>& plan) {
  if (run.calls_exhausted()) return recursion_limit();
  const LoweredFunction& f = module_function(run, index);
  return invoke(run, f, [&](Slot* slots) { return bind_planned(run, f, cells, plan, slots); });
}

}  // namespace veln
