#include "interpreter_support/formatting.hpp"

#include <unicode/utf8.h>

#include <algorithm>
#include <cmath>
#include <limits>

#include "values/bigint.hpp"
#include "values/bounded_text.hpp"
#include "values/hex_digits.hpp"
#include "values/vm_decimal.hpp"
#include "values/vm_work_tally.hpp"

namespace veln {
namespace {

constexpr std::string_view kRoundInputLabel = "round() input";

VmExecutionError unsupported_format(const VmValue& value, std::string_view spec) {
  return vm_error_quoting_text("format() does not support " + std::string(value.type_name()) + " with spec '", spec,
                               "'");
}

VmExecutionError unsupported_integer_spec(std::string_view spec) {
  return vm_error_quoting_text("unsupported integer format spec '", spec, "'");
}

// Reads an optional "+" and one or more decimal digits fitting u64.
std::optional<uint64_t> parse_plus_digits(std::string_view text) {
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  if (text.empty()) return std::nullopt;
  uint64_t n = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    if (__builtin_mul_overflow(n, uint64_t{10}, &n) || __builtin_add_overflow(n, uint64_t(c - '0'), &n))
      return std::nullopt;
  }
  return n;
}

std::string magnitude_digits(const mpz_class& value, int radix) {
  // Digits of a power-of-two radix are read off the words one by one.
  if (radix == 10) {
    vm_count_bigint_digits(vm_mpz_words(value));
  } else if (vm_mpz_words(value) > 1) {
    vm_count_work(vm_mpz_words(value));
  }
  mpz_class magnitude = abs(value);
  return magnitude.get_str(radix);
}

VmResult<std::string> format_int_with_spec(const VmValue& value, std::string_view spec) {
  const mpz_class n = value.int_to_mpz();
  if (spec.empty() || spec == "d") return bigint_to_string(n);
  const char type = spec.back();
  const std::string_view width_part = spec.substr(0, spec.size() - 1);
  int radix;
  switch (type) {
    case 'd': radix = 10; break;
    case 'b': radix = 2; break;
    case 'o': radix = 8; break;
    case 'x':
    case 'X': radix = 16; break;
    default: return unsupported_integer_spec(spec);
  }
  std::optional<uint64_t> width;
  if (!width_part.empty()) {
    width = parse_plus_digits(width_part);
    if (!width) return unsupported_integer_spec(spec);
  }
  const bool negative = sgn(n) < 0;
  std::string digits = magnitude_digits(n, radix);
  if (type == 'X') {
    for (char& c : digits) {
      if (c >= 'a' && c <= 'f') c = static_cast<char>(c - 'a' + 'A');
    }
  }
  const uint64_t length = digits.size() + (negative ? 1 : 0);
  if (!width || *width <= length) return negative ? "-" + digits : digits;
  // The padded text must fit a str value before it is built.
  VELN_CHECK(vm_check_units(vm_text_units(*width)));
  const bool zero_fill = width_part.front() == '0';
  std::string out;
  out.reserve(*width);
  if (zero_fill) {
    if (negative) out += '-';
    out.append(*width - length, '0');
  } else {
    out.append(*width - length, ' ');
    if (negative) out += '-';
  }
  out += digits;
  return out;
}

// Rounds half away from zero to an integer, as a double.
double round_half_away(double x) { return std::round(x); }

// 10.0 ** n by binary exponentiation, each step one IEEE operation; the
// reciprocal for a negative n.
double float_power_of_ten(int32_t n) {
  uint64_t e = n < 0 ? static_cast<uint64_t>(-static_cast<int64_t>(n)) : static_cast<uint64_t>(n);
  double result = 1.0;
  double base = 10.0;
  while (e != 0) {
    if (e & 1) result *= base;
    e >>= 1;
    if (e != 0) base *= base;
  }
  return n < 0 ? 1.0 / result : result;
}

// A finite x never rounds to NaN or an infinity: where a step of the IEEE
// arithmetic overflows, x itself is the answer. Non-finite x stays as it is.
VmValue round_float_digits(double x, int32_t ndigits) {
  if (!std::isfinite(x)) return VmValue::float64(x);
  const double p = float_power_of_ten(ndigits);
  if (std::isinf(p)) return VmValue::float64(x);                   // x has no digits that far right
  if (p == 0.0) return VmValue::float64(std::copysign(0.0, x));    // everything rounds away
  const double scaled = x * p;
  if (std::isinf(scaled)) return VmValue::float64(x);
  const double rounded = round_half_away(scaled) / p;
  if (std::isinf(rounded)) return VmValue::float64(x);  // rounding up past the largest double
  return VmValue::float64(rounded);
}

// An upper bound on the decimal digit count of |value| (mpz_sizeinbase is
// exact or one too many).
uint64_t decimal_digits_upper_bound(const mpz_class& value) { return mpz_sizeinbase(value.get_mpz_t(), 10); }

// round_bigint_to_factor with factor = 10^k, without building 10^k when it
// is so large that every value rounds to zero.
VmResult<mpz_class> round_to_power_of_ten(const mpz_class& value, uint64_t k) {
  if (k == 0) return value;
  // 10^k / 2 = 5 * 10^(k-1) > |value| once k - 1 >= digits(|value|).
  if (k - 1 >= decimal_digits_upper_bound(value)) return mpz_class(0);
  // A power of ten up to the value's size, a division and a product.
  VELN_CHECK(vm_take_bigint_work(2 * vm_mpz_words(value)));
  mpz_class factor;
  mpz_ui_pow_ui(factor.get_mpz_t(), 10, k);
  return round_bigint_to_factor(value, factor);
}

VmResult<VmValue> float_to_rounded_int(double x) {
  VELN_TRY(mpz_class n, f64_to_bigint_trunc(kRoundInputLabel, round_half_away(x)));
  return VmValue::integer(std::move(n));
}

}  // namespace

VmResult<std::string> format_builtin_value(const VmValue& value, std::string_view spec) {
  switch (value.kind()) {
    case VmKind::Int:
      return format_int_with_spec(value, spec);
    case VmKind::String:
      if (!spec.empty()) return unsupported_format(value, spec);
      return std::string(value.text());
    case VmKind::Bool:
    case VmKind::Float:
    case VmKind::Decimal:
    case VmKind::Bytes:
    case VmKind::ByteArray:
      if (!spec.empty()) return unsupported_format(value, spec);
      return value.bounded_python_repr();
    default:
      return unsupported_format(value, spec);
  }
}

std::string format_integer_builtin(const mpz_class& value, int radix, std::string_view prefix) {
  std::string out;
  if (sgn(value) < 0) out += '-';
  out += prefix;
  out += magnitude_digits(value, radix);
  return out;
}

VmResult<std::string> render_simple_format(std::string_view templ, std::span<const VmValue> arguments) {
  std::string text;
  BoundedText out(text);
  // The template is read once, and each field costs a step however short
  // its text.
  VELN_CHECK(vm_take_work(vm_text_read_steps(templ.size())));
  size_t next_auto = 0;
  size_t i = 0;
  while (i < templ.size()) {
    const char c = templ[i];
    if (c == '{') {
      if (i + 1 < templ.size() && templ[i + 1] == '{') {
        out += '{';
        i += 2;
        continue;
      }
      const size_t close = templ.find('}', i + 1);
      if (close == std::string_view::npos) return vm_error("str.format() missing closing '}'");
      const std::string_view field = templ.substr(i + 1, close - i - 1);
      size_t index;
      if (field.empty()) {
        index = next_auto++;
      } else {
        std::optional<uint64_t> explicit_index = parse_plus_digits(field);
        if (!explicit_index) return vm_error_quoting_text("unsupported str.format() field '", field, "'");
        index = *explicit_index;
      }
      if (index >= arguments.size()) return vm_error("str.format() placeholder index out of range");
      if (!out.count(1)) return out.error();
      arguments[index].append_python_repr(out);  // a str is its own text
      VELN_CHECK(out.status());
      i = close + 1;
    } else if (c == '}') {
      if (i + 1 < templ.size() && templ[i + 1] == '}') {
        out += '}';
        i += 2;
        continue;
      }
      return vm_error("str.format() unmatched '}'");
    } else {
      // The literal run up to the next brace, in one pass over the bytes
      // (find_first_of looks each one up in the set).
      const auto brace = std::find_if(templ.begin() + static_cast<ptrdiff_t>(i), templ.end(),
                                      [](char ch) { return ch == '{' || ch == '}'; });
      const auto end = static_cast<size_t>(brace - templ.begin());
      out.append(templ.substr(i, end - i));
      i = end;
    }
  }
  VELN_CHECK(out.status());
  return text;
}

VmResult<mpz_class> round_bigint_to_factor(const mpz_class& value, const mpz_class& factor) {
  if (sgn(factor) == 0) return vm_error("round() factor cannot be zero");
  if (factor == 1) return value;
  mpz_class q, r;
  mpz_tdiv_qr(q.get_mpz_t(), r.get_mpz_t(), value.get_mpz_t(), factor.get_mpz_t());
  mpz_class half;
  mpz_tdiv_q_2exp(half.get_mpz_t(), factor.get_mpz_t(), 1);
  if (mpz_cmpabs(r.get_mpz_t(), half.get_mpz_t()) >= 0) {
    if (sgn(value) > 0) {
      q += 1;
    } else {
      q -= 1;
    }
  }
  return mpz_class(q * factor);
}

VmResult<VmValue> round_builtin_value(const VmValue& value, std::optional<int32_t> ndigits) {
  switch (value.kind()) {
    case VmKind::Int: {
      if (!ndigits || *ndigits >= 0) return value;
      const uint64_t k = static_cast<uint64_t>(-static_cast<int64_t>(*ndigits));
      VELN_TRY(mpz_class rounded, round_to_power_of_ten(value.int_to_mpz(), k));
      return VmValue::integer(std::move(rounded));
    }
    case VmKind::Float:
      if (!ndigits) return float_to_rounded_int(value.float_value());
      return round_float_digits(value.float_value(), *ndigits);
    case VmKind::Decimal: {
      const VmDecimal& d = value.decimal_value();
      if (!ndigits) return float_to_rounded_int(d.to_f64());
      if (*ndigits >= VmDecimal::kFractionDigits) return value;
      const uint64_t k = static_cast<uint64_t>(int64_t{VmDecimal::kFractionDigits} - *ndigits);
      VELN_TRY(mpz_class rounded, round_to_power_of_ten(d.scaled(), k));
      VELN_TRY(VmDecimal result, VmDecimal::from_scaled(std::move(rounded)));
      return VmValue::decimal(std::move(result));
    }
    default:
      return vm_error("round() does not support " + std::string(value.type_name()));
  }
}

void append_ascii_string_repr(BoundedText& out, std::string_view text) {
  out += '\'';
  size_t i = 0;
  const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
  const size_t n = text.size();
  std::string escape;
  while (i < n && !out.overflowed()) {
    UChar32 cp;
    U8_NEXT_UNSAFE(bytes, i, cp);
    switch (cp) {
      case '\t': out += "\\t"; continue;
      case '\n': out += "\\n"; continue;
      case '\r': out += "\\r"; continue;
      case '\'': out += "\\'"; continue;
      case '\\': out += "\\\\"; continue;
      default: break;
    }
    const auto u = static_cast<uint32_t>(cp);
    if (u >= 0x20 && u < 0x7F) {
      out += static_cast<char>(u);
      continue;
    }
    escape.clear();
    if (u < 0x20 || (u >= 0x7F && u <= 0xFF)) {
      escape += "\\x";
      append_hex_digits(escape, u, 2);
    } else if (u <= 0xFFFF) {
      escape += "\\u";
      append_hex_digits(escape, u, 4);
    } else {
      escape += "\\U";
      append_hex_digits(escape, u, 8);
    }
    out.append(escape);
  }
  out += '\'';
}

void append_ascii_render(BoundedText& out, std::string_view text) {
  size_t i = 0;
  const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
  const size_t n = text.size();
  std::string escape;
  while (i < n && !out.overflowed()) {
    // ASCII runs are copied whole.
    const size_t run = i;
    while (i < n && bytes[i] < 0x80) ++i;
    out.append(text.substr(run, i - run));
    if (i == n) break;
    UChar32 cp;
    U8_NEXT_UNSAFE(bytes, i, cp);
    escape = "\\u{";
    append_hex_minimal(escape, static_cast<uint32_t>(cp));
    escape += '}';
    out.append(escape);
  }
}

std::string ascii_string_repr(std::string_view text) {
  std::string out;
  BoundedText bounded(out, BoundedText::kUnbounded);
  append_ascii_string_repr(bounded, text);
  return out;
}

std::string ascii_render(std::string_view text) {
  std::string out;
  BoundedText bounded(out, BoundedText::kUnbounded);
  append_ascii_render(bounded, text);
  return out;
}

VmResult<std::string> ascii_builtin_text(const VmValue& value) {
  if (value.is(VmKind::String)) {
    return vm_bounded_text([&value](BoundedText& out) { append_ascii_string_repr(out, value.text()); });
  }
  VELN_TRY(const std::string display, value.bounded_python_repr());
  return vm_bounded_text([&display](BoundedText& out) { append_ascii_render(out, display); });
}

}  // namespace veln
