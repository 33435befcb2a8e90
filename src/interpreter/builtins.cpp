// Placeholder until the builtin table lands: every name is unsupported.
#include "interpreter/builtins.hpp"

namespace veln {

std::optional<BuiltinId> builtin_id(std::string_view) { return std::nullopt; }

VmResult<VmValue> call_builtin(std::string_view name, VmArgList, VmKwargList, VmValueCaller&) {
  return vm_error("unsupported builtin '" + std::string(name) + "'");
}

VmResult<VmValue> call_builtin(BuiltinId, VmArgList, VmKwargList, VmValueCaller&) {
  return vm_error("unsupported builtin");
}

}  // namespace veln
