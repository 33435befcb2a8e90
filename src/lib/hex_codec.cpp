// Hexadecimal text <-> bytes. Must stay allocation-minimal and never read past
// the text: inputs come straight from contract code.
#include "lib/hex_codec.hpp"

namespace veln {

std::string hex_encode_lower(std::span<const std::uint8_t> bytes) {
  std::string out(bytes.size() * 2, '\0');
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    out[2 * i] = kLowerHexDigits[bytes[i] >> 4];
    out[2 * i + 1] = kLowerHexDigits[bytes[i] & 0x0f];
  }
  return out;
}

std::optional<std::vector<std::uint8_t>> hex_decode_pairs(std::string_view text) {
  if (text.size() % 2 != 0) return std::nullopt;
  std::vector<std::uint8_t> out(text.size() / 2);
  for (std::size_t i = 0; i < out.size(); ++i) {
    const int hi = hex_digit_value(text[2 * i]);
    const int lo = hex_digit_value(text[2 * i + 1]);
    if (hi < 0 || lo < 0) return std::nullopt;
    out[i] = static_cast<std::uint8_t>((hi << 4) | lo);
  }
  return out;
}

}  // namespace veln
