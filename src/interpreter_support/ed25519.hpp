// Ed25519 (RFC 8032, SHA-512) signature verification over bytes, with the
// engine's acceptance rules: the key's y is read modulo p (non-canonical and
// small-order keys accepted), S must be below the group order L, k is hashed
// over the key bytes as given, and [S]B - [k]A must encode exactly to R (no
// cofactor). Verification only: no signing, no key generation. Also the two
// system calls "crypto.key_is_valid" and "crypto.ed25519_verify".
#pragma once

#include <cstdint>
#include <span>

#include "interpreter_support/ir_argument_readers.hpp"
#include "values/vm_execution_error.hpp"
#include "values/vm_value.hpp"

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

// "crypto.key_is_valid": True exactly when the one str argument is 64 ASCII
// hex digits (no curve check).
VmResult<VmValue> crypto_key_is_valid(VmPositionalArgs args, VmKeywordArgs kwargs);
// "crypto.ed25519_verify" (key hex, message text, signature hex): False when
// the key or signature is not hex, the key is not a point, the signature is
// not 64 bytes or does not verify; the error "invalid verify key length" when
// both decode but the key is not 32 bytes.
VmResult<VmValue> crypto_ed25519_verify(VmPositionalArgs args, VmKeywordArgs kwargs);

}  // namespace veln
