// Reading followed by validation; a module that fails either is dropped whole.
#include "lib/parse_module_ir.hpp"

#include "lib/module_validation.hpp"

namespace veln {

// Each function is validated as soon as it has been read, while its tree is
// still in the cache; the results are used in validation's own order, so the
// first fault reported is the same.
namespace {

FunctionListener validating_listener(std::vector<ValidationStatus>& function_checks) {
  return FunctionListener{[](void* context, const FunctionIr& function, size_t index) {
                            auto& checks = *static_cast<std::vector<ValidationStatus>*>(context);
                            if (checks.size() == index) checks.push_back(validate_function(function));
                          },
                          &function_checks};
}

}  // namespace

Result<ModuleIr, std::string> parse_module_ir(std::string_view text) {
  std::vector<ValidationStatus> function_checks;
  VELN_TRY(ModuleIr module, read_module_ir_listening(text, validating_listener(function_checks)));
  VELN_CHECK(validate_module_ir(module, function_checks));
  module.validated = true;
  return module;
}

std::optional<ModuleIr> parse_module_ir_at(JsonReader& reader) {
  std::vector<ValidationStatus> function_checks;
  ModuleIr module;
  if (!read_module_ir_record(reader, module, validating_listener(function_checks)).ok()) return std::nullopt;
  if (!validate_module_ir(module, function_checks).ok()) return std::nullopt;
  module.validated = true;
  return module;
}

}  // namespace veln
