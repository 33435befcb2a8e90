// The numeric builtins of contract code: abs, bool, divmod, float, int, pow,
// round, bin, oct, hex, min, max and sum. Each runs after the dispatch table
// has checked its call shape; the arithmetic itself belongs to the support
// library's operators, guards and rounding, which these only call.
#pragma once

#include "interpreter/builtin_call.hpp"

namespace veln {

VmResult<VmValue> builtin_abs(BuiltinCall& call);
VmResult<VmValue> builtin_bool(BuiltinCall& call);
VmResult<VmValue> builtin_divmod(BuiltinCall& call);
VmResult<VmValue> builtin_float(BuiltinCall& call);
VmResult<VmValue> builtin_int(BuiltinCall& call);
VmResult<VmValue> builtin_pow(BuiltinCall& call);
VmResult<VmValue> builtin_round(BuiltinCall& call);
VmResult<VmValue> builtin_bin(BuiltinCall& call);
VmResult<VmValue> builtin_oct(BuiltinCall& call);
VmResult<VmValue> builtin_hex(BuiltinCall& call);
VmResult<VmValue> builtin_min(BuiltinCall& call);
VmResult<VmValue> builtin_max(BuiltinCall& call);
VmResult<VmValue> builtin_sum(BuiltinCall& call);

}  // namespace veln
