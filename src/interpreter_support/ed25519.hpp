// Ed25519 (RFC 8032, SHA-512) signature verification over bytes, with the
// engine's acceptance rules: the key's y is read modulo p (non-canonical and
// small-order keys accepted), S must be below the group order L, k is hashed
// over the key bytes as given, and [S]B - [k]A must encode exactly to R (no
// cofactor). Verification only: no signing, no key generation.
#pragma once

#include <cstdint>
#include <span>

#include "values/vm_execution_error.hpp"

namespace veln {

inline constexpr std::size_t kEd25519KeyBytes = 32;
inline constexpr std::size_t kEd25519SignatureBytes = 64;

// True when S (bytes 32..63 of a 64-byte signature, little-endian) is below L.
bool ed25519_scalar_is_reduced(std::span<const std::uint8_t, 32> s);

// The verdict for a 32-byte key; a signature of any other length than 64
// bytes is simply false. Fails only when OpenSSL cannot allocate.
VmResult<bool> ed25519_verify_bytes(std::span<const std::uint8_t, kEd25519KeyBytes> key,
                                    std::span<const std::uint8_t> message,
                                    std::span<const std::uint8_t> signature);

}  // namespace veln
