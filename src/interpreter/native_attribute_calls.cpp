// Native method calls with receiver write-back (see header).
#include "interpreter/native_attribute_calls.hpp"

#include <iterator>

#include "interpreter/foreign_storage.hpp"
#include "interpreter/target_ops.hpp"
#include "interpreter_support/native_methods.hpp"


namespace veln {

VmResult<VmValue> eval_native_attribute_call(VmRun& run, const LoweredCode& code, const CallSite& site,
                                             VmValue* cells, std::span<VmValue> args,
                                             std::span<VmKeywordArg> kwargs, Slot* slots) {
  const std::string& method = code.texts[site.method];
  const TargetSite* target = site.receiver_resolved ? &code.targets[site.target] : nullptr;
  VmValue& receiver_cell = target != nullptr ? cells[target->cells() - 1] : cells[0];
  if (receiver_cell.is(VmKind::ForeignStorageRef)) {
    VmResult<VmValue> result =
        foreign_storage::call_method(receiver_cell, method,
                                     VmArgList(std::make_move_iterator(args.begin()), std::make_move_iterator(args.end())),
                                     VmKwargList(std::make_move_iterator(kwargs.begin()), std::make_move_iterator(kwargs.end())),
                                     run.host);
    run.refresh_trace();
    return result;
  }
  // A bare local name is the common receiver: its write-back is the slot
  // itself (what detach_resolved and store_resolved do for that shape).
  Slot* const local = target != nullptr && target->levels == 0 && target->root_is_name && slots[target->slot].bound
                          ? &slots[target->slot]
                          : nullptr;
  // A method that changes its receiver gets the only reference to it, so it
  // edits in place; the receiver's places get it back below (or the call
  // fails, which ends the whole call).
  if (target != nullptr && kwargs.empty() && (site.changing_kinds >> static_cast<unsigned>(receiver_cell.kind())) & 1u) {
    if (local != nullptr) {
      local->value = VmValue();
    } else {
      detach_resolved(run, *target, cells, slots, writes_module_scope(run, *target, slots), site.receiver_resolved);
    }
  }
  VmResult<NativeMethodOutcome> called =
      call_native_method(std::move(receiver_cell), method, site.method_ids, args, kwargs);
  if (!called.ok()) return std::move(called).error();
  NativeMethodOutcome& outcome = *called;
  if (!outcome.is_mutated()) return std::move(outcome.value);
  if (target == nullptr) return vm_error(code.texts[site.writeback_error]);
  if (local != nullptr) {
    local->value = std::move(outcome.receiver);
    return std::move(outcome.value);
  }
  const bool module_scope = writes_module_scope(run, *target, slots);
  VELN_CHECK(store_resolved(run, code, *target, cells, std::move(outcome.receiver), slots, module_scope));
  return std::move(outcome.value);
}

}  // namespace veln
