// System calls: call nodes carrying a "syscall_id". The 23 ids the
// interpreter serves are dispatched on the id lowering resolved, each after
// its fixed charge, which is made before anything else (so a failing call
// has paid it); every other id goes to the host after its explicit metering
// amount, if it has one, is charged.
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

VmResult<VmValue> host_syscall(VmHost& host, const SyscallSite& site, const std::string& id, VmArgList args,
                               VmKwargList kwargs) {
  if (site.route.zk) {
    VELN_TRY(uint64_t amount, zk_call_metering_cost(*site.route.zk, args, kwargs));
    VELN_CHECK(host.charge_execution_cost(amount));
  }
  return host.handle_syscall(id, std::move(args), std::move(kwargs));
}

VmResult<VmValue> decimal_new(const VmArgList& args, const VmKwargList& kwargs) {
  if (!kwargs.empty() || args.size() != 1) return vm_error("decimal() expects one argument");
  VELN_TRY(VmDecimal decimal, decimal_from_vm_value(args.front()));
  return VmValue::decimal(std::move(decimal));
}

}  // namespace

VmResult<VmValue> VmInstanceState::eval_syscall(VmRun& run, const LoweredCode& code, const CallSite& call_site,
                                                VmArgList args, VmKwargList kwargs, VmValue* target,
                                                Slot* locals) {
  const SyscallSite& site = code.syscalls[call_site.syscall];
  VmHost& host = run.host;
  if (const std::optional<uint64_t> charge = syscall_fixed_charge(site.route.id)) {
    VELN_CHECK(host.charge_execution_cost(*charge));
  }
  if (!site.field_ok) return vm_error(code.texts[site.field]);
  const std::string& field = code.texts[site.field];

  switch (site.route.id) {
    case VmSyscallId::kHost:
      return host_syscall(host, site, code.texts[site.id_text], std::move(args), std::move(kwargs));

    case VmSyscallId::kStorageVariableGet:
    case VmSyscallId::kStorageForeignVariableGet:
      return variable_get(field, host);
    case VmSyscallId::kStorageVariableSet: {
      if (args.empty()) return vm_error("Variable.set expects one argument");
      VmValue value = args.front();
      VELN_CHECK(variable_set(field, value));
      const std::string key = variable_storage_key(module_name(), field);
      VELN_CHECK(host.record_storage_write(key, value));
      VELN_CHECK(host.charge_storage_write(key, value));
      return VmValue();
    }
    case VmSyscallId::kStorageHashAll:
    case VmSyscallId::kStorageForeignHashAll:
      return hash_all(field, args, host);
    case VmSyscallId::kStorageForeignVariableNew:
      return foreign_storage::new_reference(foreign_storage::kForeignVariable, std::move(args), std::move(kwargs));
    case VmSyscallId::kStorageForeignHashNew:
      return foreign_storage::new_reference(foreign_storage::kForeignHash, std::move(args), std::move(kwargs));

    case VmSyscallId::kEventLogEmit: {
      const Slot& binding = global(site.event_global);
      if (!binding.bound) return vm_error("unknown event binding '" + field + "'");
      const VmValue definition = binding.value;
      if (!definition.is(VmKind::EventRef)) {
        return vm_error("binding '" + field + "' is not an event reference but " +
                        std::string(definition.type_name()));
      }
      VELN_TRY(VmValue payload, event_payload_from_args(std::move(args), std::move(kwargs)));
      VELN_CHECK(emit_declared_event(definition.event_ref_value(), std::move(payload), context, module_name(), host));
      return VmValue();
    }
    case VmSyscallId::kEventIndexed:
      return event_index_descriptor(std::move(args));

    case VmSyscallId::kContractCall: {
      VELN_TRY(VmContractCall call, contract_call_from_args(args, kwargs, context));
      call.call_depth = run.active_calls;
      return host.call_contract(std::move(call));
    }
    case VmSyscallId::kContractExportCall: {
      VmContractTarget callee;
      const std::string& name = code.texts[site.target_name];
      if (site.target_kind == ContractTargetKind::StaticImport) {
        auto import = static_imports.find(name);
        if (import == static_imports.end()) return vm_error("unknown static import binding '" + name + "'");
        callee.variant = VmStaticImportTarget{name, import->second};
      } else {
        VELN_TRY(VmValue source, run_code(run, code, site.source_entry, locals));
        VELN_TRY(VmContractHandle handle, source.as_contract_handle());
        if (site.target_kind == ContractTargetKind::DynamicImport) {
          callee.variant = VmDynamicImportTarget{std::move(handle.module)};
        } else if (site.target_kind == ContractTargetKind::LocalHandle) {
          callee.variant = VmLocalHandleTarget{name, std::move(handle.module)};
        } else {
          callee.variant = VmFactoryCallTarget{name, std::move(handle.module)};
        }
      }
      VmContractCall call = contract_call_request(std::move(callee), field, std::move(args), std::move(kwargs), context);
      call.call_depth = run.active_calls;
      return host.call_contract(std::move(call));
    }
    case VmSyscallId::kContractImport:
      return contract_import_handle(args, kwargs);

    case VmSyscallId::kHashSha256Hex:
      return hash_sha256_hex(args, kwargs);
    case VmSyscallId::kHashSha256Text:
      return hash_sha256_text(args, kwargs);
    case VmSyscallId::kHashSha3256Hex:
      return hash_sha3_256_hex(args, kwargs);
    case VmSyscallId::kHashSha3256Text:
      return hash_sha3_256_text(args, kwargs);
    case VmSyscallId::kTimeDatetimeNew:
      return time_datetime_new(args, kwargs);
    case VmSyscallId::kTimeTimedeltaNew:
      return time_timedelta_new(args, kwargs);
    case VmSyscallId::kTimeDatetimeStrptime:
      return time_datetime_strptime(args, kwargs);
    case VmSyscallId::kCryptoKeyIsValid:
      return crypto_key_is_valid(args, kwargs);
    case VmSyscallId::kCryptoEd25519Verify:
      return crypto_ed25519_verify(args, kwargs);
    case VmSyscallId::kNumericDecimalNew:
      return decimal_new(args, kwargs);

    case VmSyscallId::kRandomShuffle: {
      // The host shuffles; the answer goes back to where the argument came
      // from. "random.shuffle" has no explicit metering amount.
      const TargetSite& place = code.targets[site.target];
      const bool module_scope = writes_module_scope(run, place, locals);
      VELN_TRY(VmValue shuffled, host.handle_syscall(code.texts[site.id_text], std::move(args), std::move(kwargs)));
      VELN_CHECK(store_resolved(run, code, place, target, std::move(shuffled), locals, module_scope));
      return VmValue();
    }
  }
  return vm_error("unsupported system call '" + code.texts[site.id_text] + "'");
}

}  // namespace veln
