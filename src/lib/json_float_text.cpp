// Layout of the shortest round-trip digits in the JSON writer's float form.
// The digits come from values/float_text; only the layout is decided here.
#include "lib/json_float_text.hpp"

#include "values/float_text.hpp"

namespace veln {

void append_json_float_text(std::string& out, double x) {
  const ShortestDigits d = shortest_digits(x);
  if (d.negative) out += '-';
  const int n = d.count;
  const int kk = d.decimal_point;  // 10^(kk-1) <= |x| < 10^kk
  if (n <= kk && kk <= 16) {
    out.append(d.digits, static_cast<size_t>(n));
    out.append(static_cast<size_t>(kk - n), '0');
    out += ".0";
  } else if (0 < kk && kk <= 16) {
    out.append(d.digits, static_cast<size_t>(kk));
    out += '.';
    out.append(d.digits + kk, static_cast<size_t>(n - kk));
  } else if (-5 < kk && kk <= 0) {
    out += "0.";
    out.append(static_cast<size_t>(-kk), '0');
    out.append(d.digits, static_cast<size_t>(n));
  } else {
    out += d.digits[0];
    if (n > 1) {
      out += '.';
      out.append(d.digits + 1, static_cast<size_t>(n - 1));
    }
    out += 'e';
    out += std::to_string(kk - 1);
  }
}

std::string json_float_text(double x) {
  std::string out;
  append_json_float_text(out, x);
  return out;
}

}  // namespace veln
