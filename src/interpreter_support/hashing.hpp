// SHA-256 (FIPS 180-4) and SHA3-256 (FIPS 202, domain padding 0x06, not
// Keccak-256) digests through OpenSSL, and the four digest system calls of
// contract code. Keeps no state; never throws.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "values/vm_execution_error.hpp"

namespace veln {

using Digest256 = std::array<std::uint8_t, 32>;

// Fails only when OpenSSL cannot allocate its digest context.
VmResult<Digest256> sha256_digest(std::span<const std::uint8_t> data);
VmResult<Digest256> sha3_256_digest(std::span<const std::uint8_t> data);

// Decodes the hex input of the "_hex" digest calls: an odd length fails with
// "hash hex input must contain whole bytes", any non-hex character with
// "hash hex input must be unprefixed hexadecimal".
VmResult<std::vector<std::uint8_t>> strict_hash_hex_bytes(std::string_view text);

}  // namespace veln
