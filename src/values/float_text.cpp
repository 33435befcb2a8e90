// Float text layout from std::to_chars shortest scientific digits. The layout
// is ours so that it does not depend on the C library; nothing here rounds.
#include "values/float_text.hpp"

#include <charconv>
#include <cmath>
#include <cstring>

#include "values/integer_text.hpp"

namespace veln {

ShortestDigits shortest_digits(double x) {
  ShortestDigits out;
  char buf[64];
  // Scientific form without precision is the shortest round-trip form, e.g.
  // "-1.2345e-07" or "1e+16".
  auto res = std::to_chars(buf, buf + sizeof buf, x, std::chars_format::scientific);
  const char* p = buf;
  const char* end = res.ptr;
  if (p < end && *p == '-') {
    out.negative = true;
    ++p;
  }
  while (p < end && *p != 'e') {
    if (*p != '.') out.digits[out.count++] = *p;
    ++p;
  }
  int exponent = 0;
  if (p < end) {
    ++p;  // 'e'
    bool neg = false;
    if (*p == '+' || *p == '-') {
      neg = *p == '-';
      ++p;
    }
    std::from_chars(p, end, exponent);
    if (neg) exponent = -exponent;
  }
  out.decimal_point = exponent + 1;
  return out;
}

namespace {

bool append_non_finite(std::string& out, double x) {
  if (std::isnan(x)) {
    out += "NaN";
    return true;
  }
  if (std::isinf(x)) {
    out += x < 0 ? "-inf" : "inf";
    return true;
  }
  return false;
}

// Positional layout of the digits; with force_fraction a lone integer gets
// ".0" appended.
void append_positional(std::string& out, const ShortestDigits& d, bool force_fraction) {
  if (d.negative) out += '-';
  const int n = d.count;
  const int dp = d.decimal_point;
  if (dp <= 0) {
    out += "0.";
    out.append(static_cast<size_t>(-dp), '0');
    out.append(d.digits, static_cast<size_t>(n));
    return;
  }
  if (n <= dp) {
    out.append(d.digits, static_cast<size_t>(n));
    out.append(static_cast<size_t>(dp - n), '0');
    if (force_fraction) out += ".0";
    return;
  }
  out.append(d.digits, static_cast<size_t>(dp));
  out += '.';
  out.append(d.digits + dp, static_cast<size_t>(n - dp));
}

}  // namespace

void append_float_display_text(std::string& out, double x) {
  if (append_non_finite(out, x)) return;
  ShortestDigits d = shortest_digits(x);
  const int exponent = d.decimal_point - 1;
  if (x == 0.0 || (exponent >= -4 && exponent < 16)) {
    append_positional(out, d, true);
    return;
  }
  if (d.negative) out += '-';
  out += d.digits[0];
  if (d.count > 1) {
    out += '.';
    out.append(d.digits + 1, static_cast<size_t>(d.count - 1));
  }
  out += 'e';
  append_integer_text(out, exponent);
}

std::string float_display_text(double x) {
  std::string out;
  append_float_display_text(out, x);
  return out;
}

void append_float_plain_text(std::string& out, double x) {
  if (append_non_finite(out, x)) return;
  append_positional(out, shortest_digits(x), false);
}

std::string float_plain_text(double x) {
  std::string out;
  append_float_plain_text(out, x);
  return out;
}

}  // namespace veln
