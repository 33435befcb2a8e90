// Placeholder until the list, dict and set method tables land: every name is
// reported as unknown for its kind. Replace wholesale.
#include "interpreter_support/container_methods.hpp"

#include <string>

namespace veln {
namespace {

VmExecutionError unknown(std::string_view kind, std::string_view method) {
  return vm_error("unsupported " + std::string(kind) + " method '" + std::string(method) + "()'");
}

}  // namespace

VmResult<NativeMethodOutcome> call_list_method(VmValue, std::string_view method, std::vector<VmValue>) {
  return unknown("list", method);
}
VmResult<NativeMethodOutcome> call_dict_method(VmValue, std::string_view method, std::vector<VmValue>) {
  return unknown("dict", method);
}
VmResult<NativeMethodOutcome> call_set_method(VmValue receiver, std::string_view method, std::vector<VmValue>) {
  return unknown(receiver.type_name(), method);
}

}  // namespace veln
