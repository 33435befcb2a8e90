// VmDecimal: the exact fixed-point decimal of contract code, a signed GMP
// integer scaled by 10^30 whose magnitude never exceeds 10^91 - 1. Parsing,
// conversions, the arithmetic kernels (truncating toward zero), powers, the
// square root and the two texts (plain and display) live here.
// This file must not depend on VmValue: VmValue holds decimals, not the
// reverse. Every operation that makes a decimal checks the range, so an
// out-of-range decimal never exists.
#pragma once

#include <gmpxx.h>

#include <compare>
#include <cstdint>
#include <string>
#include <string_view>

#include "values/vm_execution_error.hpp"

namespace veln {

class VmDecimal {
 public:
  static constexpr int kFractionDigits = 30;

  // Zero.
  VmDecimal() = default;

  // The constants, built once on first use and read-only afterwards.
  static const mpz_class& scale_factor();       // 10^30, also the decimal 1
  static const mpz_class& max_scaled();         // 10^91 - 1
  static const mpz_class& half_scale_factor();  // 5 * 10^29, the decimal 0.5

  // Range-checked construction from a scaled integer: fails with "decimal
  // value {} exceeds the supported decimal range" quoting the plain text of
  // the value the integer would denote.
  static VmResult<VmDecimal> from_scaled(mpz_class scaled);

  // Conversions that build a decimal from other values.
  static VmDecimal from_bool(bool b);
  static VmDecimal from_i64(int64_t v);  // always in range
  // An integer of 62 or more digits fails with the range message quoting it.
  static VmResult<VmDecimal> from_bigint(const mpz_class& v);
  // Through the plain shortest float text; NaN and the infinities fail with
  // "invalid decimal literal 'NaN'" etc.
  static VmResult<VmDecimal> from_f64(double x);
  // Decimal literal text: surrounding Unicode white space trimmed, optional
  // sign, digits with an optional "." and an optional exponent; fraction
  // digits beyond the 30th are truncated.
  static VmResult<VmDecimal> from_str_literal(std::string_view text);

  // The message for a value kind that cannot become a decimal.
  static VmExecutionError not_decimal_compatible(std::string_view type_name);

  const mpz_class& scaled() const { return scaled_; }
  bool is_zero() const { return mpz_sgn(scaled_.get_mpz_t()) == 0; }
  int sign() const { return mpz_sgn(scaled_.get_mpz_t()); }

  // Arithmetic. Quotients and products truncate toward zero; floor_div
  // truncates too (-7 // 2 is -3) and modulo takes the dividend's sign.
  static VmResult<VmDecimal> add(const VmDecimal& a, const VmDecimal& b);
  static VmResult<VmDecimal> sub(const VmDecimal& a, const VmDecimal& b);
  static VmResult<VmDecimal> mul(const VmDecimal& a, const VmDecimal& b);
  // add, sub and mul into `out`, which may be either operand: its limbs are
  // reused. A result out of range fails with the same message and leaves
  // `out` zero.
  static VmStatus add_into(VmDecimal& out, const VmDecimal& a, const VmDecimal& b);
  static VmStatus sub_into(VmDecimal& out, const VmDecimal& a, const VmDecimal& b);
  static VmStatus mul_into(VmDecimal& out, const VmDecimal& a, const VmDecimal& b);
  static VmResult<VmDecimal> div(const VmDecimal& a, const VmDecimal& b);
  static VmResult<VmDecimal> floor_div(const VmDecimal& a, const VmDecimal& b);
  static VmResult<VmDecimal> modulo(const VmDecimal& a, const VmDecimal& b);
  // b = 0 gives 1, b = 0.5 the square root, an integral b an integer power;
  // any other fraction fails with "unsupported decimal exponent {}".
  static VmResult<VmDecimal> pow(const VmDecimal& a, const VmDecimal& b);
  // Binary exponentiation with every product truncated and range-checked;
  // a negative exponent divides 1 by the positive power.
  static VmResult<VmDecimal> pow_integer(const VmDecimal& a, const mpz_class& e);
  // The square root truncated at the 30th fraction digit.
  static VmResult<VmDecimal> sqrt(const VmDecimal& a);
  // Negation never leaves the range.
  VmDecimal negated() const;

  // The integer part, truncated toward zero.
  mpz_class to_bigint() const;
  // The integer part as i64, or "decimal value {} exceeds the supported i64
  // range" quoting the plain text.
  VmResult<int64_t> to_i64() const;
  // The nearest double (ties to even) to the value.
  double to_f64() const;

  // Plain text: no exponent, trailing fraction zeros removed ("1000", "1.5",
  // "-0.001"). Used in messages and conversions.
  std::string to_string() const;
  void append_plain_text(std::string& out) const;
  // Display text contract code sees: normalised engineering notation ("1E+3",
  // "100E-9", "1.5").
  std::string python_repr() const;
  void append_python_repr(std::string& out) const;
  // Field form of the record: "VmDecimal { scaled: 1500000000000000000000000000000 }".
  void append_diagnostic(std::string& out) const;

  // Numeric order of the values.
  static int compare(const VmDecimal& a, const VmDecimal& b) {
    const int c = mpz_cmp(a.scaled_.get_mpz_t(), b.scaled_.get_mpz_t());
    return (c > 0) - (c < 0);
  }
  friend bool operator==(const VmDecimal& a, const VmDecimal& b) { return compare(a, b) == 0; }
  friend std::strong_ordering operator<=>(const VmDecimal& a, const VmDecimal& b) {
    return compare(a, b) <=> 0;
  }

 private:
  explicit VmDecimal(mpz_class scaled) : scaled_(std::move(scaled)) {}
  mpz_class scaled_;
};

}  // namespace veln
