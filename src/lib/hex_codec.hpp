// Hexadecimal text <-> bytes: lower-case encoding and the plain pairwise
// decoding (digits of either case, no prefix, no separators, no whitespace).
// Pure functions over bytes; they know nothing about runtime values.
// Single digits (reading either case, writing lower case) live in
// values/hex_digits.hpp, which this header brings along.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "values/hex_digits.hpp"

namespace veln {

// The bytes as lower-case hex digits, two per byte, high nibble first.
std::string hex_encode_lower(std::span<const std::uint8_t> bytes);

// Pairwise decoding; nothing on an odd length or a non-hex character.
std::optional<std::vector<std::uint8_t>> hex_decode_pairs(std::string_view text);

}  // namespace veln
