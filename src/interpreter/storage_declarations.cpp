// Storage declaration states (see header).
#include "interpreter/storage_declarations.hpp"

#include <string>

#include "interpreter/lowering.hpp"
#include "interpreter_support/storage_keys.hpp"

namespace veln {
namespace {

// A foreign declaration's contract or name: the keyword when present (its
// evaluation error is the result), else the positional argument at
// `index` (an evaluation error there counts as absent).
VmResult<std::optional<VmValue>> foreign_part(const StorageDeclarationArgs& d, std::string_view keyword,
                                              size_t index) {
  VELN_TRY(std::optional<VmValue> value, keyword_value(d.run, d.keywords, keyword));
  if (value) return value;
  if (d.args.size() <= index) return std::optional<VmValue>();
  VmResult<std::optional<VmValue>> positional = positional_value(d.run, d.args, index);
  if (!positional.ok()) return std::optional<VmValue>();
  return std::move(positional).value();
}

[[gnu::noinline]] VmResult<std::string> foreign_key_of(std::string_view name, std::string_view storage_type,
                                     const StorageDeclarationArgs& d) {
  const std::string prefix = std::string(storage_type) + " '" + std::string(name) + "' requires ";
  VELN_TRY(std::optional<VmValue> contract, foreign_part(d, "foreign_contract", 2));
  if (!contract) return vm_error(prefix + "foreign_contract");
  if (!contract->is(VmKind::String)) {
    return vm_error("expected string value, got " + std::string(contract->type_name()));
  }
  VELN_TRY(std::optional<VmValue> foreign_name, foreign_part(d, "foreign_name", 3));
  if (!foreign_name) return vm_error(prefix + "foreign_name");
  VELN_TRY(std::string name_text, foreign_name->as_string());
  return foreign_storage_key(contract->text(), name_text);
}

}  // namespace

VmResult<std::optional<VmValue>> positional_value(VmRun& run, std::span<const JsonValue> args, size_t index) {
  if (index >= args.size()) return std::optional<VmValue>();
  VELN_TRY(VmValue value, eval_module_expression(run, args[index]));
  return std::optional<VmValue>(std::move(value));
}

VmResult<std::optional<VmValue>> keyword_value(VmRun& run, std::span<const JsonValue> keywords,
                                               std::string_view name) {
  for (const JsonValue& keyword : keywords) {
    if (!keyword.is_object()) continue;
    const JsonText* arg = keyword.find_string("arg");
    if (arg == nullptr || *arg != name) continue;
    const JsonValue* value = keyword.find("value");
    if (value == nullptr) return vm_error(missing_field_message("value"));
    VELN_TRY(VmValue evaluated, eval_module_expression(run, *value));
    return std::optional<VmValue>(std::move(evaluated));
  }
  return std::optional<VmValue>();
}

namespace {

// Out of line: a build whose default value calls back keeps only the
// frames of the local kind on its path.
[[gnu::noinline]] VmResult<VariableState> foreign_variable_state(std::string_view name, std::string_view storage_type,
                                                                 const StorageDeclarationArgs& declaration) {
  VariableState state;
  VELN_TRY(std::string key, foreign_key_of(name, storage_type, declaration));
  state.foreign_key = std::move(key);
  return state;
}

}  // namespace

VmResult<VariableState> build_variable_state(std::string_view name, std::string_view storage_type,
                                             const StorageDeclarationArgs& declaration) {
  if (storage_type != "Variable") return foreign_variable_state(name, storage_type, declaration);
  VariableState state;
  state.is_local = true;
  state.storage_key = variable_storage_key(declaration.run.instance.module_name(), name);
  VELN_TRY(std::optional<VmValue> default_value, keyword_value(declaration.run, declaration.keywords, "default_value"));
  if (default_value) state.default_value = std::move(*default_value);
  return state;
}

VmResult<HashState> build_hash_state(std::string_view name, std::string_view storage_type,
                                     const StorageDeclarationArgs& declaration) {
  HashState state;
  VELN_TRY(std::optional<VmValue> default_value, keyword_value(declaration.run, declaration.keywords, "default_value"));
  if (default_value) state.default_value = std::move(*default_value);
  if (storage_type == "ForeignHash") {
    VELN_TRY(std::string key, foreign_key_of(name, storage_type, declaration));
    state.foreign_key = std::move(key);
  }
  state.is_local = storage_type == "Hash";
  if (state.is_local) state.key_prefix = hash_storage_key_from_normalized(declaration.run.instance.module_name(), name, "");
  return state;
}

}  // namespace veln
