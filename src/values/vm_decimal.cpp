// Fixed-point decimal kernels on GMP integers. The arithmetic works on raw
// mpz_t with the result as the only allocation (GMP handles aliased operands
// itself); texts are laid out from the digit string of the scaled integer.
// Nothing here rounds: every quotient truncates toward zero.
#include "values/vm_decimal.hpp"

#include <unicode/uchar.h>
#include <unicode/utf8.h>

#include <fast_float/fast_float.h>

#include <algorithm>
#include <cmath>

#include "values/float_text.hpp"
#include "values/integer_text.hpp"
#include "values/vm_limits.hpp"

namespace veln {

namespace {

struct DecimalConstants {
  mpz_class scale;
  mpz_class max;
  mpz_class half;
};

const DecimalConstants& constants() {
  static const DecimalConstants c = [] {
    DecimalConstants k;
    mpz_ui_pow_ui(k.scale.get_mpz_t(), 10, VmDecimal::kFractionDigits);
    mpz_ui_pow_ui(k.max.get_mpz_t(), 10, 91);
    mpz_sub_ui(k.max.get_mpz_t(), k.max.get_mpz_t(), 1);
    mpz_tdiv_q_ui(k.half.get_mpz_t(), k.scale.get_mpz_t(), 2);
    return k;
  }();
  return c;
}

constexpr size_t kMaxScaledDigits = 91;
constexpr int64_t kFrac = VmDecimal::kFractionDigits;

bool in_range(const mpz_t v) {
  // 10^91 > 2^302: four limbs (256 bits) are always in range.
  if (mpz_size(v) <= 4) return true;
  return mpz_cmpabs(v, constants().max.get_mpz_t()) <= 0;
}

// Decimal digits of |v| without sign. Small values stay on the stack.
class Digits {
 public:
  explicit Digits(const mpz_t v) {
    const size_t bound = mpz_sizeinbase(v, 10) + 2;
    char* buf = small_;
    if (bound > sizeof small_) {
      big_.resize(bound);
      buf = big_.data();
    }
    mpz_get_str(buf, 10, v);
    const char* p = buf;
    if (*p == '-') ++p;
    size_t n = 0;
    while (p[n] != '\0') ++n;
    view_ = std::string_view(p, n);
  }
  std::string_view view() const { return view_; }

 private:
  char small_[128];
  std::string big_;
  std::string_view view_;
};

// Plain text of digits / 10^30 (digits without leading zeros, not empty
// unless the value is zero).
void append_plain_digits(std::string& out, bool negative, std::string_view digits) {
  if (digits.empty() || digits == "0") {
    out += '0';
    return;
  }
  if (negative) out += '-';
  std::string_view int_part;
  std::string_view frac_part = digits;
  size_t pad = 0;
  if (digits.size() > static_cast<size_t>(kFrac)) {
    int_part = digits.substr(0, digits.size() - kFrac);
    frac_part = digits.substr(digits.size() - kFrac);
  } else {
    pad = kFrac - digits.size();
  }
  while (!frac_part.empty() && frac_part.back() == '0') frac_part.remove_suffix(1);
  if (int_part.empty()) {
    out += '0';
  } else {
    out += int_part;
  }
  if (frac_part.empty()) return;
  out += '.';
  out.append(pad, '0');
  out += frac_part;
}

void append_plain(std::string& out, const mpz_t v) {
  Digits d(v);
  append_plain_digits(out, mpz_sgn(v) < 0, d.view());
}

VmExecutionError range_error_text(std::string_view shown) {
  std::string msg = "decimal value ";
  msg += shown;
  msg += " exceeds the supported decimal range";
  return vm_error(std::move(msg));
}

VmExecutionError range_error(const mpz_t v) {
  std::string shown;
  append_plain(shown, v);
  return range_error_text(shown);
}

VmExecutionError quoted_error(const char* prefix, std::string_view text) {
  return vm_error_quoting_text(std::string(prefix) + "'", text, "'");
}

bool all_ascii_digits(std::string_view s) {
  for (char c : s) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

// Strips Unicode white space (the White_Space property) from both ends of
// UTF-8 text. Ill-formed bytes are not white space and stop the trimming.
std::string_view trim_unicode_space(std::string_view text) {
  const auto* s = reinterpret_cast<const uint8_t*>(text.data());
  const int64_t length = static_cast<int64_t>(text.size());
  int64_t begin = 0;
  while (begin < length) {
    int64_t next = begin;
    UChar32 c;
    U8_NEXT(s, next, length, c);
    if (c < 0 || !u_isUWhiteSpace(c)) break;
    begin = next;
  }
  int64_t end = length;
  while (end > begin) {
    // Back up over at most three continuation bytes to the last lead byte,
    // then decode forward: the character must end exactly at `end`.
    int64_t start = end - 1;
    while (start > begin && end - start < 4 && (s[start] & 0xC0) == 0x80) --start;
    int64_t next = start;
    UChar32 c;
    U8_NEXT(s, next, end, c);
    if (c < 0 || next != end || !u_isUWhiteSpace(c)) break;
    end = start;
  }
  return text.substr(static_cast<size_t>(begin), static_cast<size_t>(end - begin));
}

// An optional sign and ASCII digits whose value fits i64.
bool parse_exponent(std::string_view s, int64_t& out) {
  bool negative = false;
  if (!s.empty() && (s[0] == '+' || s[0] == '-')) {
    negative = s[0] == '-';
    s.remove_prefix(1);
  }
  if (s.empty() || !all_ascii_digits(s)) return false;
  // Accumulate the magnitude as unsigned; the negative side holds 2^63.
  const uint64_t limit = negative ? uint64_t{1} << 63 : (uint64_t{1} << 63) - 1;
  uint64_t mag = 0;
  for (char c : s) {
    const uint64_t digit = static_cast<uint64_t>(c - '0');
    if (mag > (limit - digit) / 10) return false;
    mag = mag * 10 + digit;
  }
  out = negative ? static_cast<int64_t>(uint64_t{0} - mag) : static_cast<int64_t>(mag);
  return true;
}

}  // namespace

const mpz_class& VmDecimal::scale_factor() { return constants().scale; }
const mpz_class& VmDecimal::max_scaled() { return constants().max; }
const mpz_class& VmDecimal::half_scale_factor() { return constants().half; }

VmResult<VmDecimal> VmDecimal::from_scaled(mpz_class scaled) {
  if (!in_range(scaled.get_mpz_t())) return range_error(scaled.get_mpz_t());
  return VmDecimal(std::move(scaled));
}

VmDecimal VmDecimal::from_bool(bool b) { return b ? VmDecimal(constants().scale) : VmDecimal(); }

VmDecimal VmDecimal::from_i64(int64_t v) {
  // One product straight from the scale: the limbs are allocated once.
  static_assert(sizeof(long) == sizeof(int64_t), "mpz_mul_si takes the whole i64");
  mpz_class r;
  mpz_mul_si(r.get_mpz_t(), constants().scale.get_mpz_t(), static_cast<long>(v));
  return VmDecimal(std::move(r));
}

VmResult<VmDecimal> VmDecimal::from_bigint(const mpz_class& v) {
  // Up to 61 integer digits fit; sizeinbase may overstate by one, so the
  // digit string decides near the edge (and is the message text anyway).
  if (mpz_sizeinbase(v.get_mpz_t(), 10) > kMaxScaledDigits - kFrac) {
    Digits d(v.get_mpz_t());
    if (d.view().size() > kMaxScaledDigits - kFrac) {
      std::string shown;
      if (mpz_sgn(v.get_mpz_t()) < 0) shown += '-';
      shown += d.view();
      return range_error_text(shown);
    }
  }
  mpz_class r;
  mpz_mul(r.get_mpz_t(), v.get_mpz_t(), constants().scale.get_mpz_t());
  return VmDecimal(std::move(r));
}

VmResult<VmDecimal> VmDecimal::from_f64(double x) {
  // A whole float below 2^53 has ulps of at most 1, so its shortest text is
  // its integer value: read without the text.
  if (std::fabs(x) < 9007199254740992.0 && x == std::trunc(x)) return from_i64(static_cast<int64_t>(x));
  // NaN and the infinities have plain texts that are not decimal literals.
  if (!std::isfinite(x)) return from_str_literal(float_plain_text(x));
  // Otherwise the text is the shortest digits D placed at their decimal
  // point, so the scaled integer is D * 10^k, or D / 10^-k truncated when
  // digits fall past the 30th fraction place. A value of more than 61
  // integer digits is out of range, and its message quotes the text.
  const ShortestDigits d = shortest_digits(x);
  if (d.decimal_point > static_cast<int>(kMaxScaledDigits - kFrac)) return from_str_literal(float_plain_text(x));
  uint64_t digits = 0;
  for (int i = 0; i < d.count; ++i) digits = digits * 10 + static_cast<uint64_t>(d.digits[i] - '0');
  const int64_t k = d.decimal_point - d.count + kFrac;
  mpz_class r;
  if (k >= 0) {
    mpz_ui_pow_ui(r.get_mpz_t(), 10, static_cast<unsigned long>(k));
    mpz_mul_ui(r.get_mpz_t(), r.get_mpz_t(), digits);
  } else {
    // At most 17 digits: a shift of 20 places or more leaves nothing.
    uint64_t kept = 0;
    if (k > -20) {
      uint64_t divisor = 1;
      for (int64_t i = k; i < 0; ++i) divisor *= 10;
      kept = digits / divisor;
    }
    mpz_set_ui(r.get_mpz_t(), kept);
  }
  if (d.negative) mpz_neg(r.get_mpz_t(), r.get_mpz_t());
  return VmDecimal(std::move(r));
}

VmResult<VmDecimal> VmDecimal::from_str_literal(std::string_view text) {
  const std::string_view trimmed = trim_unicode_space(text);
  if (trimmed.empty()) return vm_error("decimal() requires a value");

  std::string_view body = trimmed;
  bool negative = false;
  if (body[0] == '+' || body[0] == '-') {
    negative = body[0] == '-';
    body.remove_prefix(1);
  }

  int64_t exponent = 0;
  std::string_view mantissa = body;
  // One pass over the bytes (find_first_of looks each one up in the set).
  const auto e = std::find_if(body.begin(), body.end(), [](char c) { return c == 'e' || c == 'E'; });
  if (e != body.end()) {
    const size_t at = static_cast<size_t>(e - body.begin());
    mantissa = body.substr(0, at);
    if (!parse_exponent(body.substr(at + 1), exponent)) {
      return quoted_error("invalid decimal exponent ", trimmed);
    }
  }

  std::string_view int_digits = mantissa;
  std::string_view frac_digits;
  if (const size_t dot = mantissa.find('.'); dot != std::string_view::npos) {
    int_digits = mantissa.substr(0, dot);
    frac_digits = mantissa.substr(dot + 1);
  }
  if ((int_digits.empty() && frac_digits.empty()) || !all_ascii_digits(int_digits) ||
      !all_ascii_digits(frac_digits)) {
    return quoted_error("invalid decimal literal ", trimmed);
  }

  // The exponent spans all of i64, so the shift needs more than 64 bits.
  const __int128 shift = static_cast<__int128>(frac_digits.size()) - exponent;
  std::string digits;
  digits.reserve(int_digits.size() + frac_digits.size() + kMaxScaledDigits);
  digits += int_digits;
  digits += frac_digits;

  if (shift > kFrac) {
    // Excess fraction digits are dropped, never rounded.
    const __int128 drop = shift - kFrac;
    if (drop >= static_cast<__int128>(digits.size())) return VmDecimal();
    digits.resize(digits.size() - static_cast<size_t>(drop));
  } else if (shift < kFrac) {
    const __int128 zeros = kFrac - shift;
    const size_t first = digits.find_first_not_of('0');
    const size_t significant = first == std::string::npos ? 0 : digits.size() - first;
    // The appended zeros count even when every digit is zero ("0e62").
    if (static_cast<__int128>(significant) + zeros > static_cast<__int128>(kMaxScaledDigits)) {
      return range_error_text(trimmed);
    }
    digits.append(static_cast<size_t>(zeros), '0');
  }

  const size_t first = digits.find_first_not_of('0');
  if (first == std::string::npos) return VmDecimal();
  const std::string_view significant = std::string_view(digits).substr(first);
  if (significant.size() > kMaxScaledDigits) {
    std::string shown;
    append_plain_digits(shown, negative, significant);
    return range_error_text(shown);
  }
  mpz_class r;
  // Validated ASCII digits only: mpz_set_str would also skip white space.
  mpz_set_str(r.get_mpz_t(), digits.c_str() + first, 10);
  if (negative) mpz_neg(r.get_mpz_t(), r.get_mpz_t());
  return from_scaled(std::move(r));
}

VmExecutionError VmDecimal::not_decimal_compatible(std::string_view type_name) {
  std::string msg = "expected decimal-compatible value, got ";
  msg += type_name;
  return vm_error(std::move(msg));
}

namespace {

VmResult<VmDecimal> checked(mpz_class&& r) { return VmDecimal::from_scaled(std::move(r)); }

}  // namespace

namespace {

// The range check of a result computed in place.
VmStatus checked_in_place(mpz_class& out) {
  if (in_range(out.get_mpz_t())) return Ok{};
  VmExecutionError error = range_error(out.get_mpz_t());
  out = 0;
  return error;
}

// A kernel written into its output, run for a new decimal.
VmResult<VmDecimal> into_new(VmStatus (*kernel)(VmDecimal&, const VmDecimal&, const VmDecimal&), const VmDecimal& a,
                             const VmDecimal& b) {
  VmDecimal r;
  VELN_CHECK(kernel(r, a, b));
  return r;
}

}  // namespace

VmStatus VmDecimal::add_into(VmDecimal& out, const VmDecimal& a, const VmDecimal& b) {
  mpz_add(out.scaled_.get_mpz_t(), a.scaled_.get_mpz_t(), b.scaled_.get_mpz_t());
  return checked_in_place(out.scaled_);
}

VmStatus VmDecimal::sub_into(VmDecimal& out, const VmDecimal& a, const VmDecimal& b) {
  mpz_sub(out.scaled_.get_mpz_t(), a.scaled_.get_mpz_t(), b.scaled_.get_mpz_t());
  return checked_in_place(out.scaled_);
}

VmResult<VmDecimal> VmDecimal::add(const VmDecimal& a, const VmDecimal& b) { return into_new(&add_into, a, b); }

VmResult<VmDecimal> VmDecimal::sub(const VmDecimal& a, const VmDecimal& b) { return into_new(&sub_into, a, b); }

namespace {

// Every in-range scaled integer fits five limbs (10^91 < 2^320), so products
// and scaled numerators fit ten limbs on the stack; the result's limbs are
// the only allocation.
constexpr size_t kMaxLimbs = 5;
static_assert(GMP_NUMB_BITS == 64, "limb arithmetic assumes 64-bit limbs");

// p = x * y as limbs; returns the limb count (p holds at least xn + yn limbs).
size_t mul_limbs(mp_limb_t* p, const mp_limb_t* x, size_t xn, const mp_limb_t* y, size_t yn) {
  if (xn >= yn) {
    mpn_mul(p, x, static_cast<mp_size_t>(xn), y, static_cast<mp_size_t>(yn));
  } else {
    mpn_mul(p, y, static_cast<mp_size_t>(yn), x, static_cast<mp_size_t>(xn));
  }
  return xn + yn;
}

// out = trunc(x * y / d) for in-range x and y (at most kMaxLimbs each) and a
// divisor d of at most kMaxLimbs; out may alias x or y, since both are read
// into the stack product before out is written.
void mul_div_into(mpz_ptr out, mpz_srcptr x, mpz_srcptr y, mpz_srcptr d) {
  const size_t xn = mpz_size(x), yn = mpz_size(y), dn = mpz_size(d);
  if (xn > kMaxLimbs || yn > kMaxLimbs || dn > kMaxLimbs) {
    // Not reached for in-range decimals; kept so the stack buffers can never
    // be overrun.
    mpz_mul(out, x, y);
    mpz_tdiv_q(out, out, d);
    return;
  }
  const bool negative = ((mpz_sgn(x) < 0) != (mpz_sgn(y) < 0)) != (mpz_sgn(d) < 0);
  mp_limb_t prod[2 * kMaxLimbs];
  size_t pn = (xn == 0 || yn == 0) ? 0 : mul_limbs(prod, mpz_limbs_read(x), xn, mpz_limbs_read(y), yn);
  while (pn > 0 && prod[pn - 1] == 0) --pn;
  if (pn < dn) {
    mpz_set_ui(out, 0);
    return;
  }
  const size_t qn = pn - dn + 1;
  mp_limb_t rem[kMaxLimbs];
  mp_limb_t* q = mpz_limbs_write(out, static_cast<mp_size_t>(qn));
  mpn_tdiv_qr(q, rem, 0, prod, static_cast<mp_size_t>(pn), mpz_limbs_read(d), static_cast<mp_size_t>(dn));
  const mp_size_t size = static_cast<mp_size_t>(qn);
  mpz_limbs_finish(out, negative ? -size : size);
}

// A truncated product of two decimals' scaled integers.
void mul_scaled_into(mpz_ptr out, mpz_srcptr x, mpz_srcptr y) {
  mul_div_into(out, x, y, constants().scale.get_mpz_t());
}

}  // namespace

VmStatus VmDecimal::mul_into(VmDecimal& out, const VmDecimal& a, const VmDecimal& b) {
  mul_scaled_into(out.scaled_.get_mpz_t(), a.scaled_.get_mpz_t(), b.scaled_.get_mpz_t());
  return checked_in_place(out.scaled_);
}

VmResult<VmDecimal> VmDecimal::mul(const VmDecimal& a, const VmDecimal& b) { return into_new(&mul_into, a, b); }

VmResult<VmDecimal> VmDecimal::div(const VmDecimal& a, const VmDecimal& b) {
  if (b.is_zero()) return vm_error("division by zero");
  mpz_class r;
  mul_div_into(r.get_mpz_t(), a.scaled_.get_mpz_t(), constants().scale.get_mpz_t(), b.scaled_.get_mpz_t());
  return checked(std::move(r));
}

VmResult<VmDecimal> VmDecimal::floor_div(const VmDecimal& a, const VmDecimal& b) {
  if (b.is_zero()) return vm_error("division by zero");
  mpz_class r;
  mpz_tdiv_q(r.get_mpz_t(), a.scaled_.get_mpz_t(), b.scaled_.get_mpz_t());
  mpz_mul(r.get_mpz_t(), r.get_mpz_t(), constants().scale.get_mpz_t());
  return checked(std::move(r));
}

VmResult<VmDecimal> VmDecimal::modulo(const VmDecimal& a, const VmDecimal& b) {
  if (b.is_zero()) return vm_error("modulo by zero");
  mpz_class r;
  mpz_tdiv_r(r.get_mpz_t(), a.scaled_.get_mpz_t(), b.scaled_.get_mpz_t());
  return checked(std::move(r));
}

VmResult<VmDecimal> VmDecimal::sqrt(const VmDecimal& a) {
  if (a.sign() < 0) return vm_error("cannot take square root of a negative decimal");
  // floor(sqrt(A * 10^30)): the exact integer square root, which is what the
  // truncating Newton iteration converges to.
  mpz_srcptr x = a.scaled_.get_mpz_t();
  mpz_srcptr scale = constants().scale.get_mpz_t();
  const size_t xn = mpz_size(x);
  mpz_class r;
  if (xn == 0) return VmDecimal();
  if (xn > kMaxLimbs) return range_error(x);  // cannot happen for a decimal
  mp_limb_t num[2 * kMaxLimbs];
  size_t nn = mul_limbs(num, mpz_limbs_read(x), xn, mpz_limbs_read(scale), mpz_size(scale));
  while (num[nn - 1] == 0) --nn;
  const size_t rn = (nn + 1) / 2;
  mp_limb_t* root = mpz_limbs_write(r.get_mpz_t(), static_cast<mp_size_t>(rn));
  mpn_sqrtrem(root, nullptr, num, static_cast<mp_size_t>(nn));
  mpz_limbs_finish(r.get_mpz_t(), static_cast<mp_size_t>(rn));
  // The root of an in-range value is below 10^61: always in range.
  return VmDecimal(std::move(r));
}

VmResult<VmDecimal> VmDecimal::pow(const VmDecimal& a, const VmDecimal& b) {
  if (b.is_zero()) return VmDecimal(constants().scale);
  if (b.scaled_ == constants().half) return sqrt(a);
  if (!mpz_divisible_p(b.scaled_.get_mpz_t(), constants().scale.get_mpz_t())) {
    std::string msg = "unsupported decimal exponent ";
    b.append_plain_text(msg);
    return vm_error(std::move(msg));
  }
  mpz_class e;
  mpz_divexact(e.get_mpz_t(), b.scaled_.get_mpz_t(), constants().scale.get_mpz_t());
  return pow_integer(a, e);
}

VmResult<VmDecimal> VmDecimal::pow_integer(const VmDecimal& a, const mpz_class& e) {
  const int esign = mpz_sgn(e.get_mpz_t());
  if (esign == 0) return VmDecimal(constants().scale);
  if (esign < 0) {
    if (a.is_zero()) return vm_error("0 cannot be raised to a negative power");
    mpz_class pos;
    mpz_neg(pos.get_mpz_t(), e.get_mpz_t());
    VELN_TRY(VmDecimal p, pow_integer(a, pos));
    return div(VmDecimal(constants().scale), p);
  }
  mpz_srcptr scale = constants().scale.get_mpz_t();
  mpz_class result = constants().scale;
  mpz_class base = a.scaled_;
  const size_t bits = mpz_sizeinbase(e.get_mpz_t(), 2);
  for (size_t i = 0; i < bits; ++i) {
    // A base of 0 zeroes the result at the next set bit (the top bit is
    // set), and a base of 1 changes nothing; both would otherwise run one
    // round per bit of a huge exponent.
    if (mpz_sgn(base.get_mpz_t()) == 0) return VmDecimal();
    if (mpz_cmp(base.get_mpz_t(), scale) == 0) break;
    // Both factors are in range before every product (checked below), as
    // the stack-limb multiplication requires.
    if (mpz_tstbit(e.get_mpz_t(), i)) {
      mul_scaled_into(result.get_mpz_t(), result.get_mpz_t(), base.get_mpz_t());
      if (!in_range(result.get_mpz_t())) return range_error(result.get_mpz_t());
    }
    if (i + 1 < bits) {
      mul_scaled_into(base.get_mpz_t(), base.get_mpz_t(), base.get_mpz_t());
      if (!in_range(base.get_mpz_t())) return range_error(base.get_mpz_t());
    }
  }
  return VmDecimal(std::move(result));
}

VmDecimal VmDecimal::negated() const {
  VmDecimal r;
  mpz_neg(r.scaled_.get_mpz_t(), scaled_.get_mpz_t());
  return r;
}

mpz_class VmDecimal::to_bigint() const {
  mpz_class r;
  mpz_tdiv_q(r.get_mpz_t(), scaled_.get_mpz_t(), constants().scale.get_mpz_t());
  return r;
}

VmResult<int64_t> VmDecimal::to_i64() const {
  const mpz_class q = to_bigint();
  static_assert(sizeof(long) == sizeof(int64_t), "mpz_get_si must cover i64");
  if (mpz_fits_slong_p(q.get_mpz_t())) return static_cast<int64_t>(mpz_get_si(q.get_mpz_t()));
  std::string msg = "decimal value ";
  append_plain_text(msg);
  msg += " exceeds the supported i64 range";
  return vm_error(std::move(msg));
}

double VmDecimal::to_f64() const {
  // The plain text read as a double rounds to nearest, ties to even; a
  // decimal's range (10^-30 to 10^61) is well inside the double's.
  const std::string text = to_string();
  double out = 0.0;
  fast_float::from_chars(text.data(), text.data() + text.size(), out);
  return out;
}

void VmDecimal::append_plain_text(std::string& out) const { append_plain(out, scaled_.get_mpz_t()); }

std::string VmDecimal::to_string() const {
  std::string out;
  append_plain_text(out);
  return out;
}

void VmDecimal::append_python_repr(std::string& out) const {
  if (is_zero()) {
    out += '0';
    return;
  }
  const Digits all(scaled_.get_mpz_t());
  std::string_view d = all.view();
  const int64_t total = static_cast<int64_t>(d.size());
  while (d.back() == '0') d.remove_suffix(1);
  const int64_t n = static_cast<int64_t>(d.size());
  const int64_t e = (total - n) - kFrac;
  const int64_t adj = n - 1 + e;
  if (sign() < 0) out += '-';
  if (e <= 0 && adj >= -6) {
    if (e == 0) {
      out += d;
    } else if (n + e > 0) {
      out += d.substr(0, static_cast<size_t>(n + e));
      out += '.';
      out += d.substr(static_cast<size_t>(n + e));
    } else {
      out += "0.";
      out.append(static_cast<size_t>(-e - n), '0');
      out += d;
    }
    return;
  }
  const int64_t r = ((adj % 3) + 3) % 3;
  const int64_t x = adj - r;
  if (n <= r) {
    out += d;
    out.append(static_cast<size_t>(r + 1 - n), '0');
  } else if (n == r + 1) {
    out += d;
  } else {
    out += d.substr(0, static_cast<size_t>(r + 1));
    out += '.';
    out += d.substr(static_cast<size_t>(r + 1));
  }
  if (x == 0) return;
  out += x > 0 ? "E+" : "E";
  append_integer_text(out, x);
}

std::string VmDecimal::python_repr() const {
  std::string out;
  append_python_repr(out);
  return out;
}

void VmDecimal::append_diagnostic(std::string& out) const {
  out += "VmDecimal { scaled: ";
  const Digits d(scaled_.get_mpz_t());
  if (sign() < 0) out += '-';
  out += d.view();
  out += " }";
}

}  // namespace veln
