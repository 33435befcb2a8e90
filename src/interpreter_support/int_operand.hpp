// The integer view of an operand, as VmValue::as_bigint accepts it (a bool is
// 0 or 1, an int itself, a decimal its integer part truncated toward zero),
// but held as an Int value so small integers never allocate. Shared by the
// bitwise operators, shifts, "invert", indexes and slice bounds. Must not
// accept more kinds than as_bigint or word its refusal differently.
#pragma once

#include <cstdint>
#include <string_view>

#include "values/vm_execution_error.hpp"
#include "values/vm_value.hpp"

namespace veln {

// An Int value, or as_bigint's "expected int-compatible value, got {}".
VmResult<VmValue> vm_int_operand(const VmValue& value);

// An Int value as a signed 64-bit integer, or "{label} exceeds the supported
// i64 range".
VmResult<int64_t> vm_int_to_i64(const VmValue& int_value, std::string_view label);

}  // namespace veln
