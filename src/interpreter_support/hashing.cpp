// The digest system calls over the raw digests of lib/digests.
#include "interpreter_support/hashing.hpp"

#include "lib/hex_codec.hpp"
#include "values/vm_work_tally.hpp"

namespace veln {
namespace {

using DigestFn = VmResult<Digest256> (*)(std::span<const std::uint8_t>);

std::span<const std::uint8_t> text_bytes(std::string_view text) {
  return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

VmResult<VmValue> digest_call(VmPositionalArgs args, VmKeywordArgs kwargs, std::string_view arity_message,
                              DigestFn digest, bool hex_input) {
  VELN_CHECK(expect_positional_count(args, kwargs, 1, arity_message));
  VELN_TRY(std::string_view text, string_arg(args[0]));
  // A digest reads its whole input: refused before it starts.
  VELN_CHECK(vm_take_work(vm_text_read_steps(text.size())));
  Digest256 d{};
  if (hex_input) {
    VELN_TRY(std::vector<std::uint8_t> bytes, strict_hash_hex_bytes(text));
    VELN_TRY(d, digest(bytes));
  } else {
    VELN_TRY(d, digest(text_bytes(text)));
  }
  return VmValue::str(hex_encode_lower(d));
}

}  // namespace

VmResult<std::vector<std::uint8_t>> strict_hash_hex_bytes(std::string_view text) {
  if (text.size() % 2 != 0) return vm_error("hash hex input must contain whole bytes");
  auto bytes = hex_decode_pairs(text);
  if (!bytes) return vm_error("hash hex input must be unprefixed hexadecimal");
  return std::move(*bytes);
}

}  // namespace veln

namespace veln {

VmResult<VmValue> hash_sha256_hex(VmPositionalArgs args, VmKeywordArgs kwargs) {
  return digest_call(args, kwargs, "hashlib.sha256_hex() expects one argument", sha256_digest, true);
}

VmResult<VmValue> hash_sha256_text(VmPositionalArgs args, VmKeywordArgs kwargs) {
  return digest_call(args, kwargs, "hashlib.sha256_text() expects one argument", sha256_digest, false);
}

VmResult<VmValue> hash_sha3_256_hex(VmPositionalArgs args, VmKeywordArgs kwargs) {
  return digest_call(args, kwargs, "hashlib.sha3_hex() expects one argument", sha3_256_digest, true);
}

VmResult<VmValue> hash_sha3_256_text(VmPositionalArgs args, VmKeywordArgs kwargs) {
  return digest_call(args, kwargs, "hashlib.sha3_text() expects one argument", sha3_256_digest, false);
}

}  // namespace veln
