// Ed25519 verification through OpenSSL's EVP interface. OpenSSL's decision
// was checked case by case against an independent reference of our rules
// (tests/data/ed25519_vectors.txt); the reduced-S test is repeated here so
// that rule does not rest on the library version. Never throws.
#include "interpreter_support/ed25519.hpp"

#include <openssl/evp.h>

#include <memory>

namespace veln {
namespace {

// L = 2^252 + 27742317777372353535851937790883648493, little-endian.
constexpr std::uint8_t kGroupOrder[32] = {
    0xed, 0xd3, 0xf5, 0x5c, 0x1a, 0x63, 0x12, 0x58, 0xd6, 0x9c, 0xf7, 0xa2, 0xde, 0xf9, 0xde, 0x14,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10};

struct PkeyFree {
  void operator()(EVP_PKEY* p) const { EVP_PKEY_free(p); }
};
struct MdCtxFree {
  void operator()(EVP_MD_CTX* c) const { EVP_MD_CTX_free(c); }
};

}  // namespace

bool ed25519_scalar_is_reduced(std::span<const std::uint8_t, 32> s) {
  for (int i = 31; i >= 0; --i) {
    if (s[i] != kGroupOrder[i]) return s[i] < kGroupOrder[i];
  }
  return false;  // equal to L
}

VmResult<bool> ed25519_verify_bytes(std::span<const std::uint8_t, kEd25519KeyBytes> key,
                                    std::span<const std::uint8_t> message,
                                    std::span<const std::uint8_t> signature) {
  if (signature.size() != kEd25519SignatureBytes) return false;
  if (!ed25519_scalar_is_reduced(signature.subspan<32, 32>())) return false;
  // Importing a raw key only copies it; the point is decoded during
  // verification, where a y without an x makes the verdict false.
  std::unique_ptr<EVP_PKEY, PkeyFree> pkey(
      EVP_PKEY_new_raw_public_key(EVP_PKEY_ED25519, nullptr, key.data(), key.size()));
  std::unique_ptr<EVP_MD_CTX, MdCtxFree> ctx(EVP_MD_CTX_new());
  if (!pkey || !ctx) return vm_error("ed25519 verification failed to allocate");
  if (EVP_DigestVerifyInit(ctx.get(), nullptr, nullptr, nullptr, pkey.get()) != 1) {
    return vm_error("ed25519 verification failed to allocate");
  }
  return EVP_DigestVerify(ctx.get(), signature.data(), signature.size(), message.data(), message.size()) == 1;
}

}  // namespace veln
