// Size guards of integer arithmetic and repetition. Each guard refuses from
// bit lengths or sizes first and only then computes, so a contract cannot
// make the engine build (or spend time on) an oversized integer or text.
// Inline (64-bit) operands take allocation-free paths with the same results.
#include "interpreter_support/integer_guards.hpp"

#include <algorithm>
#include <cstring>
#include <limits>
#include <utility>

#include "values/bigint.hpp"
#include "values/vm_work_tally.hpp"

namespace veln {
namespace {

constexpr std::string_view kStringRepetitionMessage =
    "string repetition exceeds the maximum allowed allocation size";
constexpr std::string_view kSequenceRepetitionMessage =
    "sequence repetition exceeds the maximum allowed allocation size";
constexpr std::string_view kBinaryRepetitionMessage =
    "binary repetition exceeds the maximum allowed allocation size";

uint64_t bit_length_u64(uint64_t magnitude) { return magnitude == 0 ? 0 : 64 - __builtin_clzll(magnitude); }

uint64_t magnitude_u64(int64_t v) {
  // Well defined for INT64_MIN: the conversion to unsigned wraps modulo 2^64.
  return v < 0 ? 0 - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
}

uint64_t saturating_add(uint64_t a, uint64_t b) {
  uint64_t r;
  return __builtin_add_overflow(a, b, &r) ? std::numeric_limits<uint64_t>::max() : r;
}

uint64_t int_value_bit_length(const VmValue& v) {
  return v.int_is_small() ? bit_length_u64(magnitude_u64(v.small_int())) : bigint_bit_length(v.big_int());
}

VmExecutionError usize_range_error(std::string_view label) {
  std::string m(label);
  m += " exceeds the supported usize range";
  return vm_error(std::move(m));
}

// The count of a repetition: nullopt for a negative count (empty result),
// else the count as u64, or the usize error of `label`.
VmResult<std::optional<uint64_t>> repeat_count(const VmValue& count, std::string_view label) {
  if (count.int_sign() < 0) return std::optional<uint64_t>();
  if (count.int_is_small()) return std::optional<uint64_t>(static_cast<uint64_t>(count.small_int()));
  if (bigint_bit_length(count.big_int()) > 64) return usize_range_error(label);
  return std::optional<uint64_t>(mpz_get_ui(count.big_int().get_mpz_t()));
}

// Checks size * count against the repetition limit.
VmStatus check_repetition_size(uint64_t size, uint64_t count, std::string_view message) {
  uint64_t total;
  if (__builtin_mul_overflow(size, count, &total) || total > kMaxRepetitionSize)
    return vm_error(std::string(message));
  return Ok{};
}

// Copies the text once, then doubles what is built: O(log count) copies of
// growing blocks instead of one small append per repetition.
std::string repeat_text(std::string_view text, uint64_t count) {
  const size_t total = text.size() * count;  // checked against the repetition limit by the callers
  std::string out;
  if (total == 0) return out;
  out.reserve(total);
  out.append(text);
  // Within the reserved room an append of the string's own prefix copies
  // without reallocating.
  while (out.size() < total) out.append(out.data(), std::min(out.size(), total - out.size()));
  return out;
}

}  // namespace

VmExecutionError integer_size_error(std::string_view label) {
  std::string m(label);
  m += " exceeds the maximum allowed integer size of 1048576 bits";
  return vm_error(std::move(m));
}

VmStatus ensure_bigint_bits(const mpz_class& value, std::string_view label) {
  if (bigint_bit_length(value) > kMaxIntegerBits) return integer_size_error(label);
  return Ok{};
}

VmStatus ensure_int_value_bits(const VmValue& int_value, std::string_view label) {
  if (int_value.int_is_small()) return Ok{};
  return ensure_bigint_bits(int_value.big_int(), label);
}

VmResult<VmValue> checked_int_value(mpz_class value, std::string_view label) {
  VELN_CHECK(ensure_bigint_bits(value, label));
  return VmValue::integer(std::move(value));
}

VmResult<VmValue> checked_bigint_mul(mpz_class a, mpz_class b) {
  if (sgn(a) != 0 && sgn(b) != 0) {
    const uint64_t s = saturating_add(bigint_bit_length(a), bigint_bit_length(b));
    if (s > kMaxIntegerBits + 1) return integer_size_error(kLabelIntegerMultiplication);
  }
  VELN_CHECK(vm_take_bigint_work(vm_mpz_words(a) + vm_mpz_words(b)));
  mpz_mul(a.get_mpz_t(), a.get_mpz_t(), b.get_mpz_t());
  return checked_int_value(std::move(a), kLabelIntegerMultiplication);
}

VmResult<VmValue> checked_int_mul(const VmValue& a, const VmValue& b) {
  int64_t r;
  if (a.int_is_small() && b.int_is_small() && !__builtin_mul_overflow(a.small_int(), b.small_int(), &r))
    return VmValue::integer(r);
  if (a.int_sign() != 0 && b.int_sign() != 0) {
    const uint64_t s = saturating_add(int_value_bit_length(a), int_value_bit_length(b));
    if (s > kMaxIntegerBits + 1) return integer_size_error(kLabelIntegerMultiplication);
  }
  VELN_CHECK(vm_take_bigint_work(vm_int_words(a) + vm_int_words(b)));
  VmValue product = vm_int_mul(a, b);
  VELN_CHECK(ensure_int_value_bits(product, kLabelIntegerMultiplication));
  return product;
}

VmResult<VmValue> checked_bigint_pow(const mpz_class& base, const mpz_class& exponent,
                                     std::string_view label) {
  const int base_sign = sgn(base);
  const uint64_t k = bigint_bit_length(base);
  uint64_t result_bits = 0;  // of a power that takes work: |base| >= 2
  if (sgn(exponent) >= 0 && base_sign != 0 && k > 1) {  // |base| >= 2
    if (bigint_bit_length(exponent) > 64) return integer_size_error(kLabelIntegerExponentiation);
    const uint64_t e = mpz_get_ui(exponent.get_mpz_t());
    const bool power_of_two = mpz_scan1(base.get_mpz_t(), 0) == k - 1;
    uint64_t estimate;
    if (__builtin_mul_overflow(power_of_two ? k - 1 : k, e, &estimate) ||
        __builtin_add_overflow(estimate, uint64_t{1}, &estimate))
      return integer_size_error(kLabelIntegerExponentiation);
    if (estimate > kMaxIntegerBits) return integer_size_error(label);
    result_bits = estimate;
  }
  VELN_TRY(const uint32_t e, bigint_to_u32(exponent, kLabelPowExponent));
  // Squarings up to the result's size: the last ones dominate.
  VELN_CHECK(vm_take_bigint_work((result_bits + 63) / 64));
  mpz_class result;
  mpz_pow_ui(result.get_mpz_t(), base.get_mpz_t(), e);
  return checked_int_value(std::move(result), label);
}

VmResult<VmValue> checked_int_pow(const VmValue& base, const VmValue& exponent, std::string_view label) {
  if (base.int_is_small() && exponent.int_is_small() && exponent.small_int() >= 0) {
    const int64_t b = base.small_int();
    const int64_t e = exponent.small_int();
    if (b == 0 || b == 1 || b == -1) {
      if (e > int64_t{std::numeric_limits<uint32_t>::max()})
        return vm_error(std::string(kLabelPowExponent) + " exceeds the supported u32 range");
      if (e == 0) return VmValue::integer(1);
      return VmValue::integer(b == -1 && (e & 1) == 0 ? 1 : b);
    }
    if (e < 64) {  // |b| >= 2, so only such exponents can fit 64 bits
      int64_t result = 1;
      int64_t square = b;
      int64_t rest = e;
      bool overflow = false;
      while (rest > 0 && !overflow) {
        if (rest & 1) overflow = __builtin_mul_overflow(result, square, &result);
        rest >>= 1;
        if (rest > 0 && !overflow) overflow = __builtin_mul_overflow(square, square, &square);
      }
      if (!overflow) return VmValue::integer(result);
    }
  }
  return checked_bigint_pow(base.int_to_mpz(), exponent.int_to_mpz(), label);
}

VmResult<VmValue> checked_left_shift(mpz_class value, mpz_class count) {
  if (sgn(count) < 0) return vm_error("negative shift count");
  if (bigint_bit_length(count) > 64) return usize_range_error(kLabelShiftCount);
  if (sgn(value) == 0) return VmValue::integer(0);
  const uint64_t c = mpz_get_ui(count.get_mpz_t());
  if (saturating_add(bigint_bit_length(value), c) > kMaxIntegerBits) return integer_size_error(kLabelLeftShift);
  mpz_mul_2exp(value.get_mpz_t(), value.get_mpz_t(), c);
  return checked_int_value(std::move(value), kLabelLeftShift);
}

VmResult<VmValue> checked_right_shift(mpz_class value, mpz_class count) {
  const int count_sign = sgn(count);
  if (count_sign > 0 && (bigint_bit_length(count) > 64 || count > static_cast<unsigned long>(kMaxIntegerBits)))
    return vm_error("right shift count exceeds the maximum allowed integer size of 1048576 bits");
  if (count_sign < 0) return vm_error("negative shift count");
  if (count_sign == 0) return VmValue::integer(std::move(value));
  mpz_fdiv_q_2exp(value.get_mpz_t(), value.get_mpz_t(), mpz_get_ui(count.get_mpz_t()));
  return VmValue::integer(std::move(value));
}

VmResult<VmValue> checked_int_left_shift(const VmValue& value, const VmValue& count) {
  if (value.int_is_small() && count.int_is_small() && count.small_int() >= 0) {
    const int64_t v = value.small_int();
    const int64_t c = count.small_int();
    if (v == 0) return VmValue::integer(0);
    // Fits when the shifted magnitude stays below 2^62 (sign bit and slack).
    if (c < 62 && bit_length_u64(magnitude_u64(v)) + static_cast<uint64_t>(c) <= 62)
      return VmValue::integer(v < 0 ? -static_cast<int64_t>(magnitude_u64(v) << c)
                                    : static_cast<int64_t>(static_cast<uint64_t>(v) << c));
  }
  return checked_left_shift(value.int_to_mpz(), count.int_to_mpz());
}

VmResult<VmValue> checked_int_right_shift(const VmValue& value, const VmValue& count) {
  if (value.int_is_small() && count.int_is_small() && count.small_int() >= 0 &&
      static_cast<uint64_t>(count.small_int()) <= kMaxIntegerBits) {
    const int64_t v = value.small_int();
    const int64_t c = count.small_int();
    // Arithmetic right shift of a signed value floors, as Python's >> does; beyond 63
    // bits the result is the sign fill.
    if (c >= 63) return VmValue::integer(v < 0 ? -1 : 0);
    return VmValue::integer(v >> c);
  }
  return checked_right_shift(value.int_to_mpz(), count.int_to_mpz());
}

VmResult<std::string> repeat_string(std::string_view text, const VmValue& count) {
  VELN_TRY(const std::optional<uint64_t> n, repeat_count(count, kLabelStringRepeatCount));
  if (!n) return std::string();
  VELN_CHECK(check_repetition_size(text.size(), *n, kStringRepetitionMessage));
  return repeat_text(text, text.empty() ? 0 : *n);
}

VmResult<std::string> repeat_bytes_like(std::string_view bytes, const VmValue& count) {
  VELN_TRY(const std::optional<uint64_t> n, repeat_count(count, kLabelRepeatCount));
  if (!n) return std::string();
  VELN_CHECK(check_repetition_size(bytes.size(), *n, kBinaryRepetitionMessage));
  return repeat_text(bytes, bytes.empty() ? 0 : *n);
}

VmResult<std::vector<VmValue>> repeat_values(std::span<const VmValue> items, const VmValue& count) {
  VELN_TRY(const std::optional<uint64_t> n, repeat_count(count, kLabelSequenceRepeatCount));
  if (!n) return std::vector<VmValue>();
  VELN_CHECK(check_repetition_size(items.size(), *n, kSequenceRepetitionMessage));
  // The finished container counts one unit plus its items, each repeated.
  uint64_t item_units = 0;
  for (const VmValue& item : items) item_units = saturating_add(item_units, item.units());
  uint64_t units;
  if (__builtin_mul_overflow(item_units, *n, &units)) units = std::numeric_limits<uint64_t>::max();
  VELN_CHECK(vm_check_units(saturating_add(units, 1)));
  std::vector<VmValue> out;
  if (items.empty()) return out;  // an empty input repeats to nothing, however large the count
  out.reserve(items.size() * *n);
  for (uint64_t i = 0; i < *n; ++i) out.insert(out.end(), items.begin(), items.end());
  return out;
}

}  // namespace veln
