// Reading followed by validation; a module that fails either is dropped whole.
#include "lib/parse_module_ir.hpp"

#include "lib/module_validation.hpp"

namespace veln {

// Each function is validated as soon as it has been read, while its tree is
// still in the cache; the results are used in validation's own order, so the
// first fault reported is the same.
Result<ModuleIr, std::string> parse_module_ir(std::string_view text) {
  std::vector<ValidationStatus> function_checks;
  const FunctionListener listener{[](void* context, const FunctionIr& function, size_t index) {
                                    auto& checks = *static_cast<std::vector<ValidationStatus>*>(context);
                                    if (checks.size() == index) checks.push_back(validate_function(function));
                                  },
                                  &function_checks};
  VELN_TRY(ModuleIr module, read_module_ir_listening(text, listener));
  VELN_CHECK(validate_module_ir(module, function_checks));
  return module;
}

}  // namespace veln
