// Conversions of operator operands shared by the binary, compare and unary
// operators and the subscripts:
// - the integer view of an operand, as VmValue::as_bigint accepts it (a bool
//   is 0 or 1, an int itself, a decimal its integer part truncated toward
//   zero), held as an Int value so small integers never allocate;
// - the decimal coercion of an operand facing a decimal, with the failure
//   wrapped in the operator's own words.
// Must not accept more kinds than the value model's conversions or word their
// refusals differently.
#pragma once

#include <cstdint>
#include <string_view>

#include "values/vm_decimal.hpp"
#include "values/vm_execution_error.hpp"
#include "values/vm_value.hpp"

namespace veln {

// An Int value, or as_bigint's "expected int-compatible value, got {}".
VmResult<VmValue> vm_int_operand(const VmValue& value);

// An Int value as a signed 64-bit integer, or "{label} exceeds the supported
// i64 range".
VmResult<int64_t> vm_int_to_i64(const VmValue& int_value, std::string_view label);

// The operand as a decimal; a refused conversion fails with "{context} could
// not coerce {side} operand {python text} ({type name}) to decimal: {reason}".
VmResult<VmDecimal> coerce_operand_to_decimal(const VmValue& operand, std::string_view context,
                                              std::string_view side);

}  // namespace veln
