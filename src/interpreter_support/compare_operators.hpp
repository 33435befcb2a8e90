// The ten compare operators of contract code: "==" and "!=" by value
// equality, "is" and "is not" by structural equality, "in" and "not in" by
// membership, and the four orderings (subset tests between sets, decimal
// coercion, IEEE doubles where NaN makes every ordering false). The operator
// is resolved once from its IR name (ir_node_kinds.hpp).
// Must not be confused with compare_vm_values (sorting, min, max): the
// orderings here differ from it for bools, NaN and failed decimal coercions.
#pragma once

#include <string_view>

#include "lib/ir_node_kinds.hpp"
#include "values/vm_execution_error.hpp"
#include "values/vm_value.hpp"

namespace veln {

// `left op right`; for "in", left is the needle and right the container.
VmResult<bool> apply_compare_operator(CompareOperator op, const VmValue& left, const VmValue& right);

// The same for an operator named as in the module IR ("eq", "lt_e", ...); an
// unknown name fails with "unsupported compare operator '{}'".
VmResult<bool> apply_compare_operator(std::string_view op_name, const VmValue& left, const VmValue& right);

}  // namespace veln
