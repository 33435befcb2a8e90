// Feeds arbitrary texts to the digest and Ed25519 system calls: they must
// never crash, and their outcome must be a value of the right kind or one
// of their messages. Input: key, NUL, message, NUL, signature.
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "interpreter_support/ed25519.hpp"
#include "interpreter_support/hashing.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace veln;
  std::string_view rest(reinterpret_cast<const char*>(data), size);
  std::vector<VmValue> parts;
  for (int i = 0; i < 3; ++i) {
    const size_t cut = rest.find('\0');
    parts.push_back(VmValue::str(rest.substr(0, cut)));
    rest = cut == std::string_view::npos ? std::string_view() : rest.substr(cut + 1);
  }
  auto verdict = crypto_ed25519_verify(parts, {});
  if (verdict.ok() ? !verdict->is(VmKind::Bool) : verdict.error().message != "invalid verify key length") {
    __builtin_trap();
  }
  const std::vector<VmValue> one = {parts[0]};
  auto valid = crypto_key_is_valid(one, {});
  if (!valid.ok() || !valid->is(VmKind::Bool)) __builtin_trap();
  for (auto call : {hash_sha256_hex, hash_sha3_256_hex, hash_sha256_text, hash_sha3_256_text}) {
    auto digest = call(one, {});
    if (digest.ok() && (!digest->is(VmKind::String) || digest->text().size() != 64)) __builtin_trap();
  }
  return 0;
}
