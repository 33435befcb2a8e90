// Lowering of a module's functions.
#pragma once

#include <cstdint>
#include <span>

#include "interpreter/vm_instance_state.hpp"
#include "lib/json_value.hpp"
#include "lib/module_ir.hpp"

namespace veln {

// Indexes the functions and static imports of `module` into `out`, which
// must be empty; `module` must outlive `out`. Nothing is lowered yet.
void index_module_functions(const ModuleIr& module, LoweredModule& out);

// Lowers the indexed function at `index` (once; it must not be lowered yet).
// Lowering interns the names its code mentions into `module.names`.
void lower_module_function(LoweredModule& module, uint32_t index);

}  // namespace veln
