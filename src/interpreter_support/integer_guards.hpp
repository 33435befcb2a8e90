// Size guards of contract integer arithmetic and of repetition: checked
// multiplication, power and shifts under the 1048576-bit integer limit, and
// repetition of texts, byte strings and item sequences under the
// 131072-byte/element limit. Every guard decides from bit lengths or sizes
// before the result is built, so an oversized result is never allocated.
// Pure functions: no state, no operator dispatch (that is the operator layer's).
#pragma once

#include <gmpxx.h>

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "values/vm_execution_error.hpp"
#include "values/vm_value.hpp"

namespace veln {

inline constexpr uint64_t kMaxIntegerBits = 1048576;
inline constexpr uint64_t kMaxRepetitionSize = 131072;

// Labels fixed by the guards; callers pass their own where the operation
// names the quantity ("int()", "modular exponentiation", ...).
inline constexpr std::string_view kLabelIntegerMultiplication = "integer multiplication";
inline constexpr std::string_view kLabelIntegerExponentiation = "integer exponentiation";
inline constexpr std::string_view kLabelPowExponent = "pow exponent";
inline constexpr std::string_view kLabelLeftShift = "left shift";
inline constexpr std::string_view kLabelShiftCount = "shift count";
inline constexpr std::string_view kLabelRightShiftCount = "right shift count";
inline constexpr std::string_view kLabelStringRepeatCount = "string repeat count";
inline constexpr std::string_view kLabelSequenceRepeatCount = "sequence repeat count";
inline constexpr std::string_view kLabelRepeatCount = "repeat count";

// "{label} exceeds the maximum allowed integer size of 1048576 bits".
VmExecutionError integer_size_error(std::string_view label);

// An Int value holding `value` when its bit length is at most 1048576.
VmResult<VmValue> checked_int_value(mpz_class value, std::string_view label);
// The same test without wrapping.
VmStatus ensure_bigint_bits(const mpz_class& value, std::string_view label);
// The same test on an Int value (inline ints always pass).
VmStatus ensure_int_value_bits(const VmValue& int_value, std::string_view label);

// a * b, refused from the operands' bit lengths before multiplying when the
// product is surely too large.
VmResult<VmValue> checked_bigint_mul(mpz_class a, mpz_class b);
// The same on two Int values; inline operands multiply without allocating.
VmResult<VmValue> checked_int_mul(const VmValue& a, const VmValue& b);

// base ** exponent with the bit-length estimate; a negative exponent fails
// with "pow exponent must be non-negative".
VmResult<VmValue> checked_bigint_pow(const mpz_class& base, const mpz_class& exponent,
                                     std::string_view label);
// The same on two Int values; small results are computed inline.
VmResult<VmValue> checked_int_pow(const VmValue& base, const VmValue& exponent, std::string_view label);

// value << count and value >> count (floor, as Python). The mpz forms take
// their operands over; the VmValue forms take Int values.
VmResult<VmValue> checked_left_shift(mpz_class value, mpz_class count);
VmResult<VmValue> checked_right_shift(mpz_class value, mpz_class count);
VmResult<VmValue> checked_int_left_shift(const VmValue& value, const VmValue& count);
VmResult<VmValue> checked_int_right_shift(const VmValue& value, const VmValue& count);

// Repetition by an Int count. A negative count gives an empty result; a count
// of 2^64 or more fails with "{label} exceeds the supported usize range"; a
// result over 131072 bytes (UTF-8 bytes for text) or elements fails with the
// repetition message of its family. repeat_values also refuses results over
// the value size limit (the items are shared, not deep-copied, so this costs
// nothing but the check).
VmResult<std::string> repeat_string(std::string_view text, const VmValue& count);
VmResult<std::vector<VmValue>> repeat_values(std::span<const VmValue> items, const VmValue& count);
VmResult<std::string> repeat_bytes_like(std::string_view bytes, const VmValue& count);

}  // namespace veln
