// Digests through OpenSSL's EVP interface with the built-in (unfetched)
// algorithm tables, so nothing here is looked up or cached between calls.
#include "lib/digests.hpp"

#include <openssl/evp.h>

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

}  // namespace veln
