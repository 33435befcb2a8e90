// Lowering of system-call nodes: the id is resolved once, and the node
// fields an id reads are read here, so a call reads no JSON. A field that
// cannot be read becomes the message the call fails with after its fixed
// charge. "contract.export_call" gets its "source" expression as a separate
// entry, run when the call resolves its target; "random.shuffle" resolves
// its first argument as an assignment target right after the arguments.
#include <string>

#include "interpreter/lowering.hpp"
#include "interpreter_support/ir_argument_readers.hpp"
#include "interpreter_support/module_scope_target.hpp"

namespace veln {
namespace {

// The node field naming the binding a storage or event id works on.
std::string_view binding_field(VmSyscallId id) {
  switch (id) {
    case VmSyscallId::kStorageVariableGet:
    case VmSyscallId::kStorageForeignVariableGet:
    case VmSyscallId::kStorageVariableSet:
    case VmSyscallId::kStorageHashAll:
    case VmSyscallId::kStorageForeignHashAll:
      return "receiver_binding";
    case VmSyscallId::kEventLogEmit:
      return "event_binding";
    default:
      return {};
  }
}

// The text field a contract_target kind reads before its source.
std::string_view target_name_field(ContractTargetKind kind) {
  switch (kind) {
    case ContractTargetKind::StaticImport:
    case ContractTargetKind::LocalHandle:
      return "binding";
    case ContractTargetKind::FactoryCall:
      return "factory";
    case ContractTargetKind::DynamicImport:
      break;
  }
  return {};
}

}  // namespace

void Lowerer::system_call(const JsonValue& node, const std::string& id, CallSite site, EventFieldKeys fields) {
  const uint32_t base = depth_ - site.argc - (site.has_keywords ? 1 : 0);
  SyscallSite s;
  s.event_fields = fields;
  s.route = resolve_syscall_id(id);
  s.fixed_charge = syscall_fixed_charge(s.route.id);
  s.id_text = text(id);
  auto unreadable = [&](VmExecutionError error) {
    s.field_ok = false;
    s.field = text(std::move(error.message));
  };

  if (const std::string_view field = binding_field(s.route.id); !field.empty()) {
    VmResult<std::string_view> binding = required_string(node, field);
    if (!binding.ok()) {
      unreadable(std::move(binding).error());
    } else {
      s.field = text(std::string(*binding));
      if (s.route.id == VmSyscallId::kEventLogEmit) {
        s.event_global = module_.names.intern(*binding);
      } else {
        s.storage_binding = module_.storage_bindings.intern(*binding);
      }
    }
  } else if (s.route.id == VmSyscallId::kContractExportCall) {
    [&] {
      VmResult<std::string_view> function = required_string(node, "function_name");
      if (!function.ok()) return unreadable(std::move(function).error());
      VmResult<const JsonValue*> target_field = required_value(node, "contract_target");
      if (!target_field.ok()) return unreadable(std::move(target_field).error());
      VmResult<const JsonValue*> target = as_object(**target_field, "contract_target");
      if (!target.ok()) return unreadable(std::move(target).error());
      VmResult<std::string_view> kind = required_string(**target, "kind");
      if (!kind.ok()) return unreadable(std::move(kind).error());
      const std::optional<ContractTargetKind> target_kind = contract_target_kind_from_name(*kind);
      if (!target_kind) return unreadable(vm_error("unsupported contract target kind '" + std::string(*kind) + "'"));
      s.target_kind = *target_kind;
      if (const std::string_view name_field = target_name_field(s.target_kind); !name_field.empty()) {
        VmResult<std::string_view> name = required_string(**target, name_field);
        if (!name.ok()) return unreadable(std::move(name).error());
        s.target_name = text(std::string(*name));
      }
      if (s.target_kind != ContractTargetKind::StaticImport) {
        VmResult<const JsonValue*> source = required_value(**target, "source");
        if (!source.ok()) return unreadable(std::move(source).error());
        const uint32_t resume = depth_;
        const uint32_t skip = emit(Op::Jump);
        s.source_entry = expression_entry(**source);
        patch(skip, here());
        set_depth(resume);
      }
      s.field = text(std::string(*function));
    }();
  } else if (s.route.id == VmSyscallId::kRandomShuffle) {
    // "args" is an array: the arguments were lowered from it.
    const JsonValue::Array& args = *node.find_array("args");
    if (args.empty()) {
      fail("random.shuffle() expects one argument");
      return set_depth(base + 1);
    }
    // The write-back's scope is judged on the target before it is resolved;
    // a target that cannot be judged fails before anything is evaluated.
    VmResult<std::optional<std::string_view>> root = target_root_name(args.front());
    if (!root.ok()) {
      fail(std::move(root).error().message);
      return set_depth(base + 1);
    }
    s.has_target = true;
    s.target = resolve_target(args.front(), false);
  }

  code_.syscalls.push_back(s);
  site.syscall = static_cast<uint32_t>(code_.syscalls.size() - 1);
  code_.calls.push_back(site);
  emit(Op::Syscall, static_cast<uint32_t>(code_.calls.size() - 1));
  set_depth(base + 1);
}

}  // namespace veln
