// Digests through OpenSSL's EVP interface with the built-in (unfetched)
// algorithm tables, so nothing here is looked up or cached between calls.
#include "interpreter_support/hashing.hpp"

#include <openssl/evp.h>

#include "interpreter_support/hex_codec.hpp"

namespace veln {
namespace {

VmResult<Digest256> evp_digest(const EVP_MD* md, std::span<const std::uint8_t> data) {
  Digest256 out{};
  unsigned int len = 0;
  if (EVP_Digest(data.data(), data.size(), out.data(), &len, md, nullptr) != 1 || len != out.size()) {
    return vm_error("digest computation failed");
  }
  return out;
}

}  // namespace

VmResult<Digest256> sha256_digest(std::span<const std::uint8_t> data) { return evp_digest(EVP_sha256(), data); }

VmResult<Digest256> sha3_256_digest(std::span<const std::uint8_t> data) { return evp_digest(EVP_sha3_256(), data); }

VmResult<std::vector<std::uint8_t>> strict_hash_hex_bytes(std::string_view text) {
  if (text.size() % 2 != 0) return vm_error("hash hex input must contain whole bytes");
  auto bytes = hex_decode_pairs(text);
  if (!bytes) return vm_error("hash hex input must be unprefixed hexadecimal");
  return std::move(*bytes);
}

}  // namespace veln
