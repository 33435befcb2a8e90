// The reference rules for comparing two runtime values: value equality
// (1 == 1.0 == True, sets against frozensets, bytes against bytearray) and
// the ordering used by sorting, min and max, with the number conversions they
// rest on (int to double, float to decimal through its shortest text, the
// float texts). Written as plain steps, one rule after the other, so that a
// reader can check them line by line.
// Test code only, and it must stay independent of the engine's support
// library: it reads values through the value model's accessors and computes
// with GMP, VmDecimal's literal parser and the C++ library, never through the
// engine's equality, ordering or set code it is compared against.
#pragma once

#include <gmpxx.h>

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <string>
#include <string_view>

#include "values/vm_datetime.hpp"
#include "values/vm_decimal.hpp"
#include "values/vm_value.hpp"

namespace veln::set_oracle {

enum class Ord { Less, Equal, Greater };

template <class T>
Ord ord_of(const T& a, const T& b) {
  return a < b ? Ord::Less : (b < a ? Ord::Greater : Ord::Equal);
}

inline Ord ord_of_mpz(const mpz_class& a, const mpz_class& b) {
  const int c = mpz_cmp(a.get_mpz_t(), b.get_mpz_t());
  return c < 0 ? Ord::Less : (c > 0 ? Ord::Greater : Ord::Equal);
}

inline Ord ord_of_bytes(std::string_view a, std::string_view b) {
  const int c = a.compare(b);  // unsigned bytes: std::char_traits<char>::compare uses memcmp order
  return c < 0 ? Ord::Less : (c > 0 ? Ord::Greater : Ord::Equal);
}

inline bool is_number(const VmValue& v) {
  return v.is(VmKind::Bool) || v.is(VmKind::Int) || v.is(VmKind::Float) || v.is(VmKind::Decimal);
}
inline bool is_set_like(const VmValue& v) { return v.is(VmKind::Set) || v.is(VmKind::FrozenSet); }
inline bool is_bytes_like(const VmValue& v) { return v.is(VmKind::Bytes) || v.is(VmKind::ByteArray); }

// --- numbers ----------------------------------------------------------------

// The nearest double to an int, ties to even, infinite beyond the range:
// exact up to 2^53, else strtod reads the digits with exactly that rounding.
inline double int_to_double(const VmValue& v) {
  if (v.int_is_small() && v.small_int() >= -(int64_t{1} << 53) && v.small_int() <= (int64_t{1} << 53))
    return static_cast<double>(v.small_int());
  return std::strtod(v.int_to_mpz().get_str(10).c_str(), nullptr);
}

// Two ints, exactly (small ones without GMP).
inline Ord ord_of_ints(const VmValue& a, const VmValue& b) {
  if (a.int_is_small() && b.int_is_small()) return ord_of(a.small_int(), b.small_int());
  const VmIntView x(a), y(b);
  const int c = mpz_cmp(x.get(), y.get());
  return c < 0 ? Ord::Less : (c > 0 ? Ord::Greater : Ord::Equal);
}

// The shortest digits that read back to x (finite), as digit text and the
// exponent of the first digit: x = ±d.ddd × 10^exponent.
struct Digits {
  bool negative = false;
  std::string digits;
  int exponent = 0;
};
inline Digits shortest(double x) {
  char buf[64];
  const auto end = std::to_chars(buf, buf + sizeof buf, x, std::chars_format::scientific).ptr;
  std::string_view text(buf, static_cast<size_t>(end - buf));  // "-1.25e+16"
  Digits d;
  if (text.front() == '-') {
    d.negative = true;
    text.remove_prefix(1);
  }
  const size_t e = text.find('e');
  for (char c : text.substr(0, e))
    if (c != '.') d.digits += c;
  d.exponent = std::atoi(std::string(text.substr(e + 1)).c_str());
  return d;
}

// The display text of a float, which is also its set key text: "NaN",
// "inf", "-inf"; exponent form for nonzero magnitudes below 1e-4 or from
// 1e16 on ("1e16", "1.5e-31"); otherwise positional with at least one
// fraction digit ("0.0", "-0.0", "100.0").
inline std::string float_key_text(double x) {
  if (std::isnan(x)) return "NaN";
  if (std::isinf(x)) return x < 0 ? "-inf" : "inf";
  const Digits d = shortest(x);
  std::string out = d.negative ? "-" : "";
  if (x != 0 && (std::fabs(x) < 1e-4 || std::fabs(x) >= 1e16)) {
    out += d.digits[0];
    if (d.digits.size() > 1) out += "." + d.digits.substr(1);
    return out + "e" + std::to_string(d.exponent);
  }
  if (d.exponent < 0) return out + "0." + std::string(static_cast<size_t>(-d.exponent - 1), '0') + d.digits;
  const size_t int_digits = static_cast<size_t>(d.exponent) + 1;
  std::string digits = d.digits;
  if (digits.size() < int_digits) digits.append(int_digits - digits.size(), '0');
  const std::string fraction = digits.substr(int_digits);
  return out + digits.substr(0, int_digits) + "." + (fraction.empty() ? "0" : fraction);
}

// The plain text a float becomes a decimal through: positional, no exponent,
// no ".0" ("1", "0.0000001", "-0", "100000000000000000000").
inline std::string float_plain_text(double x) {
  const Digits d = shortest(x);
  std::string out = d.negative ? "-" : "";
  const int count = static_cast<int>(d.digits.size());
  if (d.exponent < 0) return out + "0." + std::string(static_cast<size_t>(-d.exponent - 1), '0') + d.digits;
  if (d.exponent >= count - 1) return out + d.digits + std::string(static_cast<size_t>(d.exponent - (count - 1)), '0');
  return out + d.digits.substr(0, static_cast<size_t>(d.exponent) + 1) + "." +
         d.digits.substr(static_cast<size_t>(d.exponent) + 1);
}

// A value as a decimal: bool 0 or 1, an int's digits, a float's plain text
// (NaN and the infinities by their display names), a decimal as it is, a
// str's text; any other kind is refused.
inline VmResult<VmDecimal> to_decimal(const VmValue& v) {
  switch (v.kind()) {
    case VmKind::Bool:
      return VmDecimal::from_str_literal(v.bool_value() ? "1" : "0");
    case VmKind::Int:
      return VmDecimal::from_str_literal(v.int_to_mpz().get_str(10));
    case VmKind::Float: {
      const double x = v.float_value();
      if (std::isnan(x) || std::isinf(x)) return vm_error("invalid decimal literal '" + float_key_text(x) + "'");
      return VmDecimal::from_str_literal(float_plain_text(x));
    }
    case VmKind::Decimal:
      return v.decimal_value();
    case VmKind::String:
      return VmDecimal::from_str_literal(v.text());
    default:
      return vm_error("expected decimal-compatible value, got " + std::string(v.type_name()));
  }
}

// --- ordering (sorted, min, max, and equality of numbers) --------------------

inline VmResult<Ord> ord_of_doubles(double a, double b) {
  if (std::isnan(a) || std::isnan(b)) return vm_error("cannot compare NaN values");
  return ord_of(a, b);
}

inline VmResult<Ord> order(const VmValue& a, const VmValue& b) {
  // 1. Two bools: false before true.
  if (a.is(VmKind::Bool) && b.is(VmKind::Bool)) return ord_of(a.bool_value(), b.bool_value());
  // 2. a decimal: b as a decimal (its refusal is the result).
  if (a.is(VmKind::Decimal)) {
    VELN_TRY(const VmDecimal other, to_decimal(b));
    return ord_of_mpz(a.decimal_value().scaled(), other.scaled());
  }
  // 3, 4. Date-times chronologically, time deltas by seconds.
  if (a.is(VmKind::DateTime) && b.is(VmKind::DateTime)) {
    const VmDateTime &x = a.datetime_value(), &y = b.datetime_value();
    if (x.day_number() != y.day_number()) return ord_of(x.day_number(), y.day_number());
    if (x.seconds_of_day() != y.seconds_of_day()) return ord_of(x.seconds_of_day(), y.seconds_of_day());
    return ord_of(x.nanos(), y.nanos());
  }
  if (a.is(VmKind::TimeDelta) && b.is(VmKind::TimeDelta))
    return ord_of(a.timedelta_raw_seconds(), b.timedelta_raw_seconds());
  // 5. b's kind decides.
  const auto bit = [](const VmValue& v) { return v.bool_value() ? 1 : 0; };
  switch (b.kind()) {
    case VmKind::Bool:
      if (a.is(VmKind::Int)) return ord_of_ints(a, VmValue::integer(bit(b)));
      if (a.is(VmKind::Float)) return ord_of_doubles(a.float_value(), bit(b));
      break;
    case VmKind::Int:
      if (a.is(VmKind::Bool)) return ord_of_ints(VmValue::integer(bit(a)), b);
      if (a.is(VmKind::Int)) return ord_of_ints(a, b);
      if (a.is(VmKind::Float)) return ord_of_doubles(a.float_value(), int_to_double(b));
      break;
    case VmKind::Float:
      if (a.is(VmKind::Bool)) return ord_of_doubles(bit(a), b.float_value());
      if (a.is(VmKind::Int)) return ord_of_doubles(int_to_double(a), b.float_value());
      if (a.is(VmKind::Float)) return ord_of_doubles(a.float_value(), b.float_value());
      break;
    case VmKind::Decimal: {
      VELN_TRY(const VmDecimal mine, to_decimal(a));
      return ord_of_mpz(mine.scaled(), b.decimal_value().scaled());
    }
    case VmKind::String:
      if (a.is(VmKind::String)) return ord_of_bytes(a.text(), b.text());
      break;
    case VmKind::Bytes:
    case VmKind::ByteArray:
      if (is_bytes_like(a)) return ord_of_bytes(a.text(), b.text());
      break;
    default:
      break;
  }
  // 7. No order between these kinds.
  return vm_error("values " + std::string(a.type_name()) + " and " + std::string(b.type_name()) +
                  " are not order-comparable");
}

// --- value equality ----------------------------------------------------------

inline VmResult<bool> equal(const VmValue& a, const VmValue& b) {
  // 1. Numbers: two bools by their booleans, every other pair by the ordering.
  if (is_number(a) && is_number(b)) {
    if (a.is(VmKind::Bool) && b.is(VmKind::Bool)) return a.bool_value() == b.bool_value();
    VELN_TRY(const Ord o, order(a, b));
    return o == Ord::Equal;
  }
  // 2. Sets: same count, and each item of a (in order) met by an item of b,
  // tested as equal(item of b, item of a), b's items in order.
  if (is_set_like(a)) {
    if (!is_set_like(b) || a.item_count() != b.item_count()) return false;
    for (const VmValue& x : a.items()) {
      bool found = false;
      for (const VmValue& y : b.items()) {
        VELN_TRY(found, equal(y, x));
        if (found) break;
      }
      if (!found) return false;
    }
    return true;
  }
  // 3. Lists with lists, tuples with tuples: pairwise, first to last.
  if (a.is(VmKind::List) || a.is(VmKind::Tuple)) {
    if (b.kind() != a.kind() || b.item_count() != a.item_count()) return false;
    for (size_t i = 0; i < a.item_count(); ++i) {
      VELN_TRY(const bool same, equal(a.item(i), b.item(i)));
      if (!same) return false;
    }
    return true;
  }
  // 4. Dicts: for each entry of a, the first entry of b whose key is equal
  // (a failed key comparison is a mismatch); then the values must be equal.
  if (a.is(VmKind::Dict)) {
    if (!b.is(VmKind::Dict) || b.dict_size() != a.dict_size()) return false;
    for (const VmDictPair& entry : a.dict_pairs()) {
      const VmValue* match = nullptr;
      for (const VmDictPair& other : b.dict_pairs()) {
        const auto keys_equal = equal(entry.key, other.key);
        if (keys_equal.ok() && *keys_equal) {
          match = &other.value;
          break;
        }
      }
      if (match == nullptr) return false;
      VELN_TRY(const bool same, equal(entry.value, *match));
      if (!same) return false;
    }
    return true;
  }
  // 5. Bytes and bytearray by their bytes.
  if (is_bytes_like(a) && is_bytes_like(b)) return a.text() == b.text();
  // 6. Everything else structurally.
  return a.eq(b);
}

}  // namespace veln::set_oracle
