// The conversion of a runtime value into a fixed-point decimal (the decimal()
// constructor and the numeric system calls use it). Kept apart from
// vm_decimal.hpp so that VmDecimal does not depend on VmValue.
#pragma once

#include "values/vm_decimal.hpp"
#include "values/vm_execution_error.hpp"

namespace veln {

class VmValue;

// Bool: 0 or 1. Int: its digits as a literal (62 digits or more fail with the
// range message quoting the integer). Float: its plain shortest text as a
// literal. Decimal: a copy. String: the text as a literal. Any other kind:
// "expected decimal-compatible value, got {}".
VmResult<VmDecimal> decimal_from_vm_value(const VmValue& value);

}  // namespace veln
