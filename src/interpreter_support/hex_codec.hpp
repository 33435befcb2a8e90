// Hexadecimal text <-> bytes: lower-case encoding and the plain pairwise
// decoding (digits of either case, no prefix, no separators, no whitespace).
// Pure functions over bytes; they know nothing about runtime values.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace veln {

// The bytes as lower-case hex digits, two per byte, high nibble first.
std::string hex_encode_lower(std::span<const std::uint8_t> bytes);

// Value of one ASCII hex digit of either case, or -1.
inline int hex_digit_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// True when every character of the text is an ASCII hex digit.
bool is_all_hex_digits(std::string_view text);

// Pairwise decoding; nothing on an odd length or a non-hex character.
std::optional<std::vector<std::uint8_t>> hex_decode_pairs(std::string_view text);

}  // namespace veln
