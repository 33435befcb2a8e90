// Constant nodes: the value a "constant" expression denotes, built once when
// the code is lowered (each evaluation then shares it). A constant that
// cannot be built gives the error its evaluation raises.
#pragma once

#include "lib/json_value.hpp"
#include "values/vm_execution_error.hpp"
#include "values/vm_value.hpp"

namespace veln {

VmResult<VmValue> eval_constant(const JsonValue& node);

}  // namespace veln
