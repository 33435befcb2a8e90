// Reading followed by validation; a module that fails either is dropped whole.
#include "lib/parse_module_ir.hpp"

#include "lib/module_validation.hpp"

namespace veln {

Result<ModuleIr, std::string> parse_module_ir(std::string_view text) {
  VELN_TRY(ModuleIr module, read_module_ir(text));
  VELN_CHECK(validate_module_ir(module));
  return module;
}

}  // namespace veln
