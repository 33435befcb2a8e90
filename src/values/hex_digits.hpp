// Hexadecimal digits one at a time: reading a digit of either case and writing
// lower-case digits into escapes (reprs, JSON, diagnostics, hex payloads).
// Pure text helpers; they know nothing about runtime values and never allocate
// beyond the text they append to.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace veln {

inline constexpr char kLowerHexDigits[] = "0123456789abcdef";

// Value of one ASCII hex digit of either case, or -1.
inline int hex_digit_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// True when every character of the text is an ASCII hex digit.
inline bool is_all_hex_digits(std::string_view text) {
  for (char c : text) {
    if (hex_digit_value(c) < 0) return false;
  }
  return true;
}

// The low `width` nibbles of `value`, most significant first, zero-padded.
inline void append_hex_digits(std::string& out, std::uint32_t value, int width) {
  for (int shift = (width - 1) * 4; shift >= 0; shift -= 4) out += kLowerHexDigits[(value >> shift) & 0xF];
}

// `value` in as few digits as it needs (one for zero).
inline void append_hex_minimal(std::string& out, std::uint32_t value) {
  int width = 1;
  while (width < 8 && (value >> (width * 4)) != 0) ++width;
  append_hex_digits(out, value, width);
}

}  // namespace veln
