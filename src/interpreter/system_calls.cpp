// System calls: call nodes carrying a "syscall_id". The 23 ids the
// interpreter serves are dispatched on the id lowering resolved, each after
// its fixed charge, which is made before anything else (so a failing call
// has paid it); every other id goes to the host after its explicit metering
// amount, if it has one, is charged.
#include <array>
#include <iterator>
#include <span>
#include <string>
#include <utility>

#include "interpreter/contract_calls.hpp"
#include "interpreter/event_emission.hpp"
#include "interpreter/foreign_storage.hpp"
#include "interpreter/target_ops.hpp"
#include "interpreter/vm_instance_state.hpp"
#include "interpreter/vm_run.hpp"
#include "interpreter_support/ed25519.hpp"
#include "interpreter_support/hashing.hpp"
#include "interpreter_support/storage_keys.hpp"
#include "interpreter_support/syscall_costs.hpp"
#include "interpreter_support/time_construction.hpp"
#include "values/decimal_from_value.hpp"
#include "values/vm_decimal.hpp"

namespace veln {
namespace {

VmResult<VmValue> host_syscall(VmRun& run, const SyscallSite& site, const std::string& id, VmArgList args,
                               VmKwargList kwargs) {
  if (site.route.zk) {
    VELN_TRY(uint64_t amount, zk_call_metering_cost(*site.route.zk, args, kwargs));
    if (!run.charge(amount)) return std::move(run.error);
  }
  return run.host.handle_syscall(id, std::move(args), std::move(kwargs));
}

VmResult<VmValue> decimal_new(VmPositionalArgs args, VmKeywordArgs kwargs) {
  if (!kwargs.empty() || args.size() != 1) return vm_error("decimal() expects one argument");
  VELN_TRY(VmDecimal decimal, decimal_from_vm_value(args.front()));
  return VmValue::decimal(std::move(decimal));
}

// The ids served by a pure function of their arguments, which checks its own
// argument count and kinds; they are contiguous in VmSyscallId.
using PureSyscall = VmResult<VmValue> (*)(VmPositionalArgs, VmKeywordArgs);
constexpr VmSyscallId kFirstPure = VmSyscallId::kHashSha256Hex;
constexpr std::array<PureSyscall, 10> kPureSyscalls = {
    hash_sha256_hex,   hash_sha256_text,       hash_sha3_256_hex,   hash_sha3_256_text,    time_datetime_new,
    time_timedelta_new, time_datetime_strptime, crypto_key_is_valid, crypto_ed25519_verify, decimal_new,
};
static_assert(static_cast<std::size_t>(kFirstPure) + kPureSyscalls.size() - 1 ==
              static_cast<std::size_t>(VmSyscallId::kNumericDecimalNew));

PureSyscall pure_syscall(VmSyscallId id) {
  const std::size_t index = static_cast<std::size_t>(id) - static_cast<std::size_t>(kFirstPure);
  return index < kPureSyscalls.size() ? kPureSyscalls[index] : nullptr;
}

// The cases below run out of line, so only the running one's frame is on
// the native stack while the host works (a cross-contract call nests every
// frame on its path).

[[gnu::noinline]] VmResult<VmValue> set_variable(VmInstanceState& instance, const SyscallSite& site,
                                                 const std::string& binding, std::span<const VmValue> args,
                                                 VmHost& host) {
  if (args.empty()) return vm_error("Variable.set expects one argument");
  VELN_CHECK(instance.variable_set(site.storage_binding, binding, args.front(), host));
  return VmValue();
}

// A site given a dict display's values has its keys among `constants`.
[[gnu::noinline]] VmResult<VmValue> emit_event(VmInstanceState& instance, const SyscallSite& site,
                                               const std::string& binding, std::span<VmValue> args,
                                               VmKwargList kwargs, const std::vector<VmValue>& constants,
                                               VmHost& host) {
  const Slot& global = instance.global(site.event_global);
  if (!global.bound) return vm_error("unknown event binding '" + binding + "'");
  const VmValue definition = global.value;
  if (!definition.is(VmKind::EventRef)) {
    return vm_error("binding '" + binding + "' is not an event reference but " + std::string(definition.type_name()));
  }
  if (const EventFieldKeys keys = site.event_fields; keys.count != 0) {
    VELN_CHECK(emit_event_fields(definition.event_ref_value(), std::span(&constants[keys.first], keys.count), args,
                                 instance.context, instance.module_name(), instance.event_parties,
                                 instance.event_field_order, host));
    return VmValue();
  }
  VELN_TRY(VmValue payload, event_payload_from_args(args, std::move(kwargs)));
  VELN_CHECK(emit_declared_event(definition.event_ref_value(), std::move(payload), instance.context,
                                 instance.module_name(), instance.event_parties, host));
  return VmValue();
}

// The target of "contract.export_call": a static import binding, or the
// handle its "source" evaluates to (with the current locals).
[[gnu::noinline]] VmResult<VmContractTarget> export_call_target(VmRun& run, const LoweredCode& code,
                                                                const SyscallSite& site, Slot* locals) {
  const std::string& name = code.texts[site.target_name];
  if (site.target_kind == ContractTargetKind::StaticImport) {
    auto import = run.instance.lowered.static_imports.find(name);
    if (import == run.instance.lowered.static_imports.end()) return vm_error("unknown static import binding '" + name + "'");
    return VmContractTarget{VmStaticImportTarget{name, import->second}};
  }
  VELN_TRY(VmValue source, run_code(run, code, site.source_entry, locals));
  VELN_TRY(VmContractHandle handle, source.as_contract_handle());
  switch (site.target_kind) {
    case ContractTargetKind::LocalHandle:
      return VmContractTarget{VmLocalHandleTarget{name, std::move(handle.module)}};
    case ContractTargetKind::FactoryCall:
      return VmContractTarget{VmFactoryCallTarget{name, std::move(handle.module)}};
    default:
      return VmContractTarget{VmDynamicImportTarget{std::move(handle.module)}};
  }
}

// "contract.call": the target and function named by value, keyword
// arguments only.
[[gnu::noinline]] VmResult<VmValue> call_by_name(VmRun& run, const VmArgList& args, const VmKwargList& kwargs) {
  VmResult<ContractCallByName> call = contract_call_by_name(args, kwargs);
  if (!call.ok()) return std::move(call).error();
  return run.host.call_contract(contract_call_request(std::move(call->target), std::move(call->function),
                                                      VmArgList{}, std::move(call->kwargs), run.instance.context,
                                                      run.active_calls));
}

[[gnu::noinline]] VmResult<VmValue> export_call(VmRun& run, const LoweredCode& code, const SyscallSite& site,
                                                const std::string& function, VmArgList args, VmKwargList kwargs,
                                                Slot* locals) {
  VELN_TRY(VmContractTarget callee, export_call_target(run, code, site, locals));
  return run.host.call_contract(contract_call_request(std::move(callee), function, std::move(args),
                                                      std::move(kwargs), run.instance.context, run.active_calls));
}

// The host shuffles; its answer goes back where the argument came from.
// "random.shuffle" has no explicit metering amount.
[[gnu::noinline]] VmResult<VmValue> shuffle(VmRun& run, const LoweredCode& code, const SyscallSite& site,
                                            VmArgList args, VmKwargList kwargs, VmValue* target, Slot* locals) {
  const TargetSite& place = code.targets[site.target];
  const bool module_scope = writes_module_scope(run, place, locals);
  VELN_TRY(VmValue shuffled, run.host.handle_syscall(code.texts[site.id_text], std::move(args), std::move(kwargs)));
  VELN_CHECK(store_resolved(run, code, place, target, std::move(shuffled), locals, module_scope));
  return VmValue();
}

// The system calls that hand their argument lists on (to the host, another
// contract or a reference) get them as owned lists.
[[gnu::noinline]] VmResult<VmValue> eval_handing_on(VmRun& run, const LoweredCode& code, const SyscallSite& site,
                                                    VmArgList args, VmKwargList kwargs, VmValue* target,
                                                    Slot* locals) {
  const std::string& field = code.texts[site.field];
  switch (site.route.id) {
    case VmSyscallId::kHost:
      return host_syscall(run, site, code.texts[site.id_text], std::move(args), std::move(kwargs));
    case VmSyscallId::kStorageForeignVariableNew:
      return foreign_storage::new_reference(foreign_storage::kForeignVariable, std::move(args), std::move(kwargs));
    case VmSyscallId::kStorageForeignHashNew:
      return foreign_storage::new_reference(foreign_storage::kForeignHash, std::move(args), std::move(kwargs));
    case VmSyscallId::kEventIndexed:
      return event_index_descriptor(std::move(args));
    case VmSyscallId::kContractCall:
      return call_by_name(run, args, kwargs);
    case VmSyscallId::kContractExportCall:
      return export_call(run, code, site, field, std::move(args), std::move(kwargs), locals);
    case VmSyscallId::kContractImport:
      return contract_import_handle(args, kwargs);
    case VmSyscallId::kRandomShuffle:
      return shuffle(run, code, site, std::move(args), std::move(kwargs), target, locals);
    default:  // served by a pure function or by the instance
      break;
  }
  return vm_error("unsupported system call '" + code.texts[site.id_text] + "'");
}

}  // namespace

VmResult<VmValue> VmInstanceState::eval_syscall(VmRun& run, const LoweredCode& code, const CallSite& call_site,
                                                std::span<VmValue> args, VmKwargList kwargs, VmValue* target,
                                                Slot* locals) {
  const SyscallSite& site = code.syscalls[call_site.syscall];
  VmHost& host = run.host;
  // A dict display's values arrive unbuilt: the limits the dict would have
  // been checked against on its last entry come first.
  if (const EventFieldKeys keys = site.event_fields; keys.count != 0) {
    VELN_CHECK(event_display_limits(std::span(&code.constants[keys.first], keys.count), args));
  }
  if (site.fixed_charge && !run.charge(*site.fixed_charge)) {
    return std::move(run.error);
  }
  if (!site.field_ok) return vm_error(code.texts[site.field]);
  if (const PureSyscall pure = pure_syscall(site.route.id)) return pure(args, kwargs);
  const std::string& field = code.texts[site.field];

  switch (site.route.id) {
    case VmSyscallId::kStorageVariableGet:
    case VmSyscallId::kStorageForeignVariableGet:
      return variable_get(site.storage_binding, field, host);
    case VmSyscallId::kStorageVariableSet:
      return set_variable(*this, site, field, args, host);
    case VmSyscallId::kStorageHashAll:
    case VmSyscallId::kStorageForeignHashAll:
      return hash_all(field, args, host);
    // Takes its payload straight from the argument cells.
    case VmSyscallId::kEventLogEmit:
      return emit_event(*this, site, field, args, std::move(kwargs), code.constants, host);
    default:
      break;
  }
  return eval_handing_on(run, code, site,
                         VmArgList(std::make_move_iterator(args.begin()), std::make_move_iterator(args.end())),
                         std::move(kwargs), target, locals);
}

}  // namespace veln
