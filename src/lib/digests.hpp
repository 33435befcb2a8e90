// SHA-256 (FIPS 180-4) and SHA3-256 (FIPS 202, domain padding 0x06, not
// Keccak-256) digests of raw bytes through OpenSSL. Below the deployment
// artifacts and the digest system calls alike; keeps no state, never throws.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "values/vm_execution_error.hpp"

namespace veln {

using Digest256 = std::array<std::uint8_t, 32>;

// Fails only when OpenSSL cannot allocate its digest context.
VmResult<Digest256> sha256_digest(std::span<const std::uint8_t> data);
VmResult<Digest256> sha3_256_digest(std::span<const std::uint8_t> data);

}  // namespace veln
