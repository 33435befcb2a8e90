// Ed25519 verification through OpenSSL's EVP interface. OpenSSL's decision
// was checked case by case against an independent reference of our rules
// (tests/data/ed25519_vectors.txt); the reduced-S test is repeated here so
// that rule does not rest on the library version. Never throws.
#include "interpreter_support/ed25519.hpp"

#include <openssl/evp.h>

#include <memory>

#include "lib/hex_codec.hpp"
#include "values/vm_work_tally.hpp"

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

namespace veln {

VmResult<VmValue> crypto_key_is_valid(VmPositionalArgs args, VmKeywordArgs kwargs) {
  VELN_CHECK(expect_positional_count(args, kwargs, 1, "crypto.key_is_valid() expects one argument"));
  VELN_TRY(std::string_view key, string_arg(args[0]));
  return VmValue::boolean(key.size() == 2 * kEd25519KeyBytes && is_all_hex_digits(key));
}

VmResult<VmValue> crypto_ed25519_verify(VmPositionalArgs args, VmKeywordArgs kwargs) {
  VELN_CHECK(expect_positional_count(args, kwargs, 3, "crypto.verify() expects three positional arguments"));
  VELN_TRY(std::string_view key_hex, string_arg(args[0]));
  VELN_TRY(std::string_view message, string_arg(args[1]));
  VELN_TRY(std::string_view signature_hex, string_arg(args[2]));
  // The key and the signature are decoded whatever their length.
  VELN_CHECK(vm_take_work(vm_text_read_steps(key_hex.size() + signature_hex.size())));
  const auto key = hex_decode_pairs(key_hex);
  if (!key) return VmValue::boolean(false);
  const auto signature = hex_decode_pairs(signature_hex);
  if (!signature) return VmValue::boolean(false);
  // A key of the wrong length is the caller's error, not a failed check.
  if (key->size() != kEd25519KeyBytes) return vm_error("invalid verify key length");
  // The check hashes the whole message: refused before it starts.
  VELN_CHECK(vm_take_work(vm_text_read_steps(message.size())));
  const std::span<const std::uint8_t> message_bytes(reinterpret_cast<const std::uint8_t*>(message.data()),
                                                    message.size());
  VELN_TRY(bool verified, ed25519_verify_bytes(std::span<const std::uint8_t, kEd25519KeyBytes>(key->data(),
                                                                                              kEd25519KeyBytes),
                                               message_bytes, *signature));
  return VmValue::boolean(verified);
}

}  // namespace veln
