// Lowering of the operands two system calls read from their call node after
// the arguments: "random.shuffle" (its first argument node resolved as an
// assignment target, after the module-scope flag is taken) and
// "contract.export_call" (its "function_name" and "contract_target" read,
// and the target's "source" expression evaluated). Reading faults become
// Fail instructions at the point of the read; the values are left above the
// arguments for the system call.
#include <string>

#include "interpreter/lowering.hpp"
#include "interpreter_support/ir_argument_readers.hpp"
#include "interpreter_support/module_scope_target.hpp"

namespace veln {
namespace {

bool shuffle_operands(Lowerer& l, const JsonValue& node, CallSite& site) {
  const JsonValue::Array* args = node.find_array("args");
  if (args == nullptr || args->empty()) {
    // An empty "args" is refused by the system call after its arguments.
    return true;
  }
  const JsonValue& target = args->front();
  VmResult<std::optional<std::string_view>> root = target_root_name(target);
  if (!root.ok()) {
    l.fail(root.error().message);
    return false;
  }
  RootSite root_site;
  if (*root) {
    root_site.is_name = true;
    root_site.slot = l.read_slot(**root);
    root_site.global = l.module().names.intern(**root);
  }
  l.code().roots.push_back(root_site);
  l.emit(Op::ScopeFlag, static_cast<uint32_t>(l.code().roots.size() - 1));
  l.push();
  site.target = l.resolve_target(target, false);
  site.shuffle_target = true;
  site.operand_cells = 1 + l.code().targets[site.target].cells();
  return true;
}

bool export_call_operands(Lowerer& l, const JsonValue& node, CallSite& site) {
  if (node.find_string("function_name") == nullptr) {
    l.fail(string_field_message("function_name"));
    return false;
  }
  const JsonValue* target = node.find("contract_target");
  if (target == nullptr) {
    l.fail(missing_field_message("contract_target"));
    return false;
  }
  if (!target->is_object()) {
    l.fail(object_message(*target, "contract_target"));
    return false;
  }
  const std::string* kind_text = target->find_string("kind");
  if (kind_text == nullptr) {
    l.fail(string_field_message("kind"));
    return false;
  }
  const std::optional<ContractTargetKind> kind = contract_target_kind_from_name(*kind_text);
  if (!kind) {
    l.fail("unsupported contract target kind '" + *kind_text + "'");
    return false;
  }
  ContractTargetSite target_site;
  target_site.kind = *kind;
  if (*kind != ContractTargetKind::DynamicImport) {
    const char* key = *kind == ContractTargetKind::FactoryCall ? "factory" : "binding";
    const std::string* text = target->find_string(key);
    if (text == nullptr) {
      l.fail(string_field_message(key));
      return false;
    }
    target_site.binding = *text;
  }
  if (*kind == ContractTargetKind::StaticImport) {
    auto module = l.module().static_imports.find(target_site.binding);
    if (module == l.module().static_imports.end()) {
      l.fail("unknown static import binding '" + target_site.binding + "'");
      return false;
    }
    target_site.module = module->second;
  } else {
    const JsonValue* source = target->find("source");
    if (source == nullptr) {
      l.fail(missing_field_message("source"));
      return false;
    }
    l.expression(*source);
    site.operand_cells = 1;
  }
  l.code().contract_targets.push_back(std::move(target_site));
  site.contract_target = static_cast<uint32_t>(l.code().contract_targets.size() - 1);
  site.export_target = true;
  return true;
}

}  // namespace

bool Lowerer::syscall_operands(const JsonValue& node, std::string_view id, CallSite& site) {
  if (id == "random.shuffle") return shuffle_operands(*this, node, site);
  if (id == "contract.export_call") return export_call_operands(*this, node, site);
  return true;
}

}  // namespace veln
