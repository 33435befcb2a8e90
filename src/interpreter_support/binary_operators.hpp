// The twelve binary operators of contract code (+ - * / // % ** | & ^ << >>)
// over runtime values: which operand kinds each accepts, the kind of the
// result, how ints, floats and decimals mix, and the exact refusal messages.
// Operands are taken over so concatenation and aug-assignment extend the left
// operand's own buffer when it is not shared. The operator is resolved once
// from its IR name (ir_node_kinds.hpp) and dispatched through a table.
// Must not hold state, and must not re-implement the guards, equality or set
// algebra it calls.
#pragma once

#include <string_view>

#include "lib/ir_node_kinds.hpp"
#include "values/vm_execution_error.hpp"
#include "values/vm_value.hpp"

namespace veln {

// The result of `left op right`, or the operator's error.
VmResult<VmValue> apply_binary_operator(BinaryOperator op, VmValue left, VmValue right);

// The same for an operator named as in the module IR ("add", "floordiv", ...);
// an unknown name fails with "unsupported binary operator '{}'".
VmResult<VmValue> apply_binary_operator(std::string_view op_name, VmValue left, VmValue right);

}  // namespace veln
