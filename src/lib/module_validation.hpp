// Structural validation of a read module IR: version tags, names, the source
// hash, spans, allowed values, duplicate names, and every node below the typed
// top level. Answers with success or the first fault's message (no position);
// it never changes the module and keeps nothing between calls.
#pragma once

#include "lib/module_ir.hpp"
#include "lib/validation_primitives.hpp"

namespace veln {

ValidationStatus validate_module_ir(const ModuleIr& module);
// The same with the result of validate_function for each function already
// known (`function_checks[i]` for module.functions[i]); each function's own
// check depends on that function alone.
ValidationStatus validate_module_ir(const ModuleIr& module, const std::vector<ValidationStatus>& function_checks);
ValidationStatus validate_import(const ImportIr& import);
ValidationStatus validate_function(const FunctionIr& function);
ValidationStatus validate_host_dependency(const HostDependency& dependency);

}  // namespace veln
