#include "interpreter/number_text.hpp"

#include <cstdint>
#include <limits>
#include <string>

#include <fast_float/fast_float.h>

#include "values/vm_work_tally.hpp"

namespace veln {
namespace {

// 0-35 for a digit or letter, 36 for anything else.
unsigned digit_value(char c) {
  if (c >= '0' && c <= '9') return static_cast<unsigned>(c - '0');
  if (c >= 'a' && c <= 'z') return static_cast<unsigned>(c - 'a') + 10;
  if (c >= 'A' && c <= 'Z') return static_cast<unsigned>(c - 'A') + 10;
  return 36;
}

bool equals_ignoring_case(std::string_view text, std::string_view lower_word) {
  if (text.size() != lower_word.size()) return false;
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != lower_word[i]) return false;
  }
  return true;
}

bool is_digit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

std::optional<VmValue> parse_integer_text(std::string_view text, unsigned base) {
  bool negative = false;
  if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  if (text.empty() || digit_value(text.front()) >= base) return std::nullopt;
  // Most texts fit 64 bits: accumulate there and move to GMP only on overflow.
  uint64_t small = 0;
  bool fits = true;
  for (char c : text) {
    if (c == '_') continue;
    const unsigned d = digit_value(c);
    if (d >= base) return std::nullopt;
    fits = fits && !__builtin_mul_overflow(small, uint64_t{base}, &small) &&
           !__builtin_add_overflow(small, uint64_t{d}, &small);
  }
  if (fits && small <= uint64_t{std::numeric_limits<int64_t>::max()}) {
    const int64_t v = static_cast<int64_t>(small);
    return VmValue::integer(negative ? -v : v);
  }
  std::string digits;
  digits.reserve(text.size() + 1);
  if (negative) digits += '-';
  for (char c : text) {
    if (c != '_') digits += c;
  }
  // Every character was checked above: mpz_set_str cannot meet white space.
  // Its work grows with the words the digits make (a digit is at most 6 bits).
  vm_count_bigint_digits(1 + digits.size() * 6 / 64);
  mpz_class value;
  mpz_set_str(value.get_mpz_t(), digits.c_str(), static_cast<int>(base));
  return VmValue::integer(std::move(value));
}

std::optional<double> parse_float_text(std::string_view text) {
  bool negative = false;
  if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  const auto signed_result = [negative](double x) { return negative ? -x : x; };
  if (equals_ignoring_case(text, "inf") || equals_ignoring_case(text, "infinity"))
    return signed_result(std::numeric_limits<double>::infinity());
  if (equals_ignoring_case(text, "nan")) return signed_result(std::numeric_limits<double>::quiet_NaN());

  // Digits, an optional point with digits, at least one digit in all; then
  // an optional exponent with at least one digit.
  size_t i = 0;
  const size_t n = text.size();
  size_t mantissa_digits = 0;
  while (i < n && is_digit(text[i])) ++mantissa_digits, ++i;
  if (i < n && text[i] == '.') {
    ++i;
    while (i < n && is_digit(text[i])) ++mantissa_digits, ++i;
  }
  if (mantissa_digits == 0) return std::nullopt;
  if (i < n && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    if (i < n && (text[i] == '+' || text[i] == '-')) ++i;
    if (i == n) return std::nullopt;
    while (i < n && is_digit(text[i])) ++i;
  }
  if (i != n) return std::nullopt;

  // Beyond the double range the reading gives an infinity or a zero.
  double value = 0.0;
  const auto res = fast_float::from_chars(text.data(), text.data() + n, value, fast_float::chars_format::general);
  if (res.ec != std::errc() || res.ptr != text.data() + n) {
    return std::nullopt;  // not reached: the grammar was checked above
  }
  return signed_result(value);
}

}  // namespace veln
