// The four digest system calls of contract code over lib/digests. Keeps no
// state; never throws.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "interpreter_support/ir_argument_readers.hpp"
#include "lib/digests.hpp"
#include "values/vm_execution_error.hpp"
#include "values/vm_value.hpp"

namespace veln {

// Decodes the hex input of the "_hex" digest calls: an odd length fails with
// "hash hex input must contain whole bytes", any non-hex character with
// "hash hex input must be unprefixed hexadecimal".
VmResult<std::vector<std::uint8_t>> strict_hash_hex_bytes(std::string_view text);

// The digest system calls: one positional str argument and no keywords; the
// result is the digest as 64 lower-case hex digits (a str value).
// "hash.sha256_hex" / "hash.sha3_256_hex": the argument is hex text of the bytes.
VmResult<VmValue> hash_sha256_hex(VmPositionalArgs args, VmKeywordArgs kwargs);
VmResult<VmValue> hash_sha3_256_hex(VmPositionalArgs args, VmKeywordArgs kwargs);
// "hash.sha256_text" / "hash.sha3_256_text": the argument's UTF-8 bytes.
VmResult<VmValue> hash_sha256_text(VmPositionalArgs args, VmKeywordArgs kwargs);
VmResult<VmValue> hash_sha3_256_text(VmPositionalArgs args, VmKeywordArgs kwargs);

}  // namespace veln
