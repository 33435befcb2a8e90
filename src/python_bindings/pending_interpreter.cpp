// Stands in for VmInstance while the interpreter is not part of the tree, so
// that the executor links and everything around instances can be run: every
// build of an instance fails. Compiled only when src/interpreter has no
// vm_instance.cpp; it must never grow behaviour of its own.
#include "interpreter/vm_instance.hpp"

#include <cstdlib>

namespace veln {

class VmInstanceState {};

VmResult<VmInstance> VmInstance::new_with_host(ModuleIr, VmExecutionContext, VmHost&) {
  return vm_error("the interpreter is not built");
}
VmInstance::VmInstance(std::unique_ptr<VmInstanceState> state) : state_(std::move(state)) {}
VmInstance::VmInstance(VmInstance&&) noexcept = default;
VmInstance& VmInstance::operator=(VmInstance&&) noexcept = default;
VmInstance::~VmInstance() = default;

// No instance is ever built, so none of these can be reached.
VmResult<VmValue> VmInstance::call_function(VmHost&, std::string_view, VmArgList, VmKwargList) { std::abort(); }
const std::string& VmInstance::module_name() const { std::abort(); }
const ModuleIr& VmInstance::module() const { std::abort(); }
const VmExecutionContext& VmInstance::context() const { std::abort(); }
void VmInstance::set_context(VmExecutionContext) { std::abort(); }
VmModuleStorageSnapshot VmInstance::storage_snapshot() const { std::abort(); }
std::optional<VmValue> VmInstance::peek_variable_value(std::string_view) const { std::abort(); }
VmResult<std::optional<VmValue>> VmInstance::peek_hash_entry(std::string_view, const VmValue&) const { std::abort(); }

}  // namespace veln
