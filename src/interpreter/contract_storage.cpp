// Contract storage access: reads and writes of the instance's own declared
// variables and hashes, through the instance's storage states and the host.
// Placeholder: the operations are not served yet; each refuses plainly.
#include <string>

#include "interpreter/vm_instance_state.hpp"

namespace veln {
namespace {

VmExecutionError unsupported(std::string_view operation) {
  return vm_error("unsupported storage operation '" + std::string(operation) + "'");
}

}  // namespace

VmResult<VmValue> VmInstanceState::variable_get(std::string_view, VmHost&) { return unsupported("variable_get"); }

VmStatus VmInstanceState::variable_set(std::string_view, VmValue) { return unsupported("variable_set"); }

VmResult<VmValue> VmInstanceState::hash_get(std::string_view, const VmValue&, VmHost&) {
  return unsupported("hash_get");
}

VmStatus VmInstanceState::hash_set(std::string_view, const VmValue&, VmValue) { return unsupported("hash_set"); }

VmResult<VmValue> VmInstanceState::hash_all(std::string_view, std::span<const VmValue>, VmHost&) {
  return unsupported("hash_all");
}

}  // namespace veln
