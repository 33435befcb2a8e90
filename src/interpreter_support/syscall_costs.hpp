// The extra chi of the system calls that carry a cost of their own beyond
// the fixed cost of every call: the seven zero-knowledge ("zk.") calls. The
// formulas depend only on argument sizes; the same checks reject a zk call
// whose arguments have the wrong shape before the host sees it. Prices only;
// the calls themselves are served by the host.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "interpreter_support/ir_argument_readers.hpp"
#include "values/vm_execution_error.hpp"
#include "values/vm_value.hpp"

namespace veln {

enum class ZkCall : std::uint8_t {
  kVerifyGroth16,
  kVerifyGroth16Bn254,
  kShieldedNoteAppendCommitments,
  kShieldedCommandNullifierDigest,
  kShieldedOutputPayloadHash,
  kShieldedCommandBinding,
  kShieldedCommandExecutionTag,
};

// The zk call a system-call id names exactly, if any (resolve once per call
// site; other ids cost nothing extra).
std::optional<ZkCall> zk_call_from_id(std::string_view id);

// (length - 2) / 2 for an even-length text starting with "0x" (the digits
// are not checked), else 0.
std::uint64_t hex_payload_bytes(std::string_view text);

// "zk.verify_groth16_bn254": (hex(key) + hex(proof) + sum hex(input)) x 50 + n x 50000 + 750000.
std::uint64_t zk_payload_metering_cost(std::string_view key, std::string_view proof,
                                       std::span<const std::string_view> public_inputs);
// "zk.verify_groth16": (len(key id) + hex(proof) + sum hex(input)) x 25 + n x 50000 + 750000.
std::uint64_t zk_registry_metering_cost(std::uint64_t key_length, std::string_view proof,
                                        std::span<const std::string_view> public_inputs);

// The extra cost of a call to `call` after its argument checks (arity, then
// kinds in position order), or the first check's error.
VmResult<std::uint64_t> zk_call_metering_cost(ZkCall call, VmPositionalArgs args, VmKeywordArgs kwargs);
// By id: nothing for an id outside the seven.
VmResult<std::optional<std::uint64_t>> explicit_syscall_metering_cost(std::string_view id, VmPositionalArgs args,
                                                                      VmKeywordArgs kwargs);

}  // namespace veln
