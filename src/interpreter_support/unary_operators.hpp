// The four unary operators of contract code: "not" (truth), "neg" and "pos"
// on numbers (no bools), "invert" on anything int-compatible. The operator is
// resolved once from its IR name (ir_node_kinds.hpp). Pure functions; the
// operand is taken over.
#pragma once

#include <string_view>

#include "lib/ir_node_kinds.hpp"
#include "values/vm_execution_error.hpp"
#include "values/vm_value.hpp"

namespace veln {

VmResult<VmValue> apply_unary_operator(UnaryOperator op, VmValue operand);

// The same for an operator named as in the module IR; an unknown name fails
// with "unsupported unary operator '{}'".
VmResult<VmValue> apply_unary_operator(std::string_view op_name, VmValue operand);

}  // namespace veln
