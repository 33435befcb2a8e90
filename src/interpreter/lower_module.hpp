// Lowering of a module's functions, and the IR node count the call price is
// built on.
#pragma once

#include <cstdint>
#include <span>

#include "interpreter/vm_instance_state.hpp"
#include "lib/json_value.hpp"
#include "lib/module_ir.hpp"

namespace veln {

// 1 for each JSON object with a "node" key, plus its members' counts; an
// array counts its items. Saturation is not needed: a document is finite.
uint64_t ir_node_complexity(const JsonValue& value);
uint64_t ir_node_complexity(std::span<const JsonValue> values);

// Indexes the functions and static imports of `module` into `out`, which
// must be empty; `module` must outlive `out`. Nothing is lowered yet.
void index_module_functions(const ModuleIr& module, LoweredModule& out);

// Lowers the indexed function at `index` (once; it must not be lowered yet).
// Lowering interns the names its code mentions into `module.names`.
void lower_module_function(LoweredModule& module, uint32_t index);

}  // namespace veln
