// Decimal text of machine integers appended to a string (reprs, dates,
// diagnostics, JSON). Pure text helpers: no locale, no allocation beyond the
// text appended to.
#pragma once

#include <charconv>
#include <concepts>
#include <cstdint>
#include <string>

namespace veln {

// The integer in decimal digits, with a leading '-' when negative.
template <std::integral T>
void append_integer_text(std::string& out, T v) {
  char buf[24];
  auto res = std::to_chars(buf, buf + sizeof buf, v);
  out.append(buf, res.ptr);
}

// The integer in decimal digits, zero-padded on the left to `width`.
inline void append_zero_padded(std::string& out, std::uint64_t v, int width) {
  char buf[24];
  auto res = std::to_chars(buf, buf + sizeof buf, v);
  const int len = static_cast<int>(res.ptr - buf);
  if (len < width) out.append(static_cast<std::size_t>(width - len), '0');
  out.append(buf, res.ptr);
}

}  // namespace veln
