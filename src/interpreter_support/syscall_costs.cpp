// zk system-call prices. Each call's argument shape and formula live in one
// table row; the checks run in the order arity, then each argument by
// position, so the first wrong argument names itself.
#include "interpreter_support/syscall_costs.hpp"

#include <array>
#include <vector>

namespace veln {
namespace {

// How a call's arguments are checked and priced.
enum class Shape : std::uint8_t {
  kVerify,          // 3: key text, proof text, list of input texts
  kThirdList,       // 3: the third a list of texts, the others not examined
  kOnlyList,        // 1: a list of texts
  kOnlyText,        // 1: a text
  kUnexamined,      // anything
};

struct ZkCallRule {
  std::string_view id;
  Shape shape;
  std::string_view arity_message;
  std::string_view list_label;
  std::uint64_t fixed_cost;  // the whole cost of an unexamined call
};

constexpr std::array<ZkCallRule, 7> kZkCalls = {{
    {"zk.verify_groth16", Shape::kVerify, "zk.verify_groth16() expects three positional arguments", "public_inputs", 0},
    {"zk.verify_groth16_bn254", Shape::kVerify, "zk.verify_groth16_bn254() expects three positional arguments",
     "public_inputs", 0},
    {"zk.shielded_note_append_commitments", Shape::kThirdList,
     "zk.shielded_note_append_commitments() expects three positional arguments", "commitments", 0},
    {"zk.shielded_command_nullifier_digest", Shape::kOnlyList,
     "zk.shielded_command_nullifier_digest() expects one positional argument", "input_nullifiers", 0},
    {"zk.shielded_output_payload_hash", Shape::kOnlyText,
     "zk.shielded_output_payload_hash() expects one positional argument", "", 0},
    {"zk.shielded_command_binding", Shape::kUnexamined, "", "", 100000},
    {"zk.shielded_command_execution_tag", Shape::kUnexamined, "", "", 50000},
}};

constexpr std::uint64_t kVerifyBase = 750000;
constexpr std::uint64_t kVerifyPerInput = 50000;

std::uint64_t sum_hex_payloads(std::span<const std::string_view> texts) {
  std::uint64_t sum = 0;
  for (std::string_view t : texts) sum += hex_payload_bytes(t);
  return sum;
}

}  // namespace

std::optional<ZkCall> zk_call_from_id(std::string_view id) {
  if (!id.starts_with("zk.")) return std::nullopt;
  for (std::size_t i = 0; i < kZkCalls.size(); ++i) {
    if (kZkCalls[i].id == id) return static_cast<ZkCall>(i);
  }
  return std::nullopt;
}

std::uint64_t hex_payload_bytes(std::string_view text) {
  if (text.size() >= 2 && text.size() % 2 == 0 && text.starts_with("0x")) return (text.size() - 2) / 2;
  return 0;
}

std::uint64_t zk_payload_metering_cost(std::string_view key, std::string_view proof,
                                       std::span<const std::string_view> public_inputs) {
  const std::uint64_t bytes = hex_payload_bytes(key) + hex_payload_bytes(proof) + sum_hex_payloads(public_inputs);
  return bytes * 50 + public_inputs.size() * kVerifyPerInput + kVerifyBase;
}

std::uint64_t zk_registry_metering_cost(std::uint64_t key_length, std::string_view proof,
                                        std::span<const std::string_view> public_inputs) {
  const std::uint64_t bytes = key_length + hex_payload_bytes(proof) + sum_hex_payloads(public_inputs);
  return bytes * 25 + public_inputs.size() * kVerifyPerInput + kVerifyBase;
}

VmResult<std::uint64_t> zk_call_metering_cost(ZkCall call, VmPositionalArgs args, VmKeywordArgs kwargs) {
  const ZkCallRule& rule = kZkCalls[static_cast<std::size_t>(call)];
  switch (rule.shape) {
    case Shape::kVerify: {
      VELN_CHECK(expect_positional_count(args, kwargs, 3, rule.arity_message));
      VELN_TRY(std::string_view key, string_arg(args[0]));
      VELN_TRY(std::string_view proof, string_arg(args[1]));
      VELN_TRY(std::vector<std::string_view> inputs, as_string_list(args[2], rule.list_label));
      return call == ZkCall::kVerifyGroth16 ? zk_registry_metering_cost(key.size(), proof, inputs)
                                            : zk_payload_metering_cost(key, proof, inputs);
    }
    case Shape::kThirdList: {
      VELN_CHECK(expect_positional_count(args, kwargs, 3, rule.arity_message));
      VELN_TRY(std::vector<std::string_view> items, as_string_list(args[2], rule.list_label));
      return 250000 + items.size() * std::uint64_t{500000};
    }
    case Shape::kOnlyList: {
      VELN_CHECK(expect_positional_count(args, kwargs, 1, rule.arity_message));
      VELN_TRY(std::vector<std::string_view> items, as_string_list(args[0], rule.list_label));
      return 100000 + items.size() * std::uint64_t{50000};
    }
    case Shape::kOnlyText: {
      VELN_CHECK(expect_positional_count(args, kwargs, 1, rule.arity_message));
      VELN_TRY(std::string_view payload, string_arg(args[0]));
      return hex_payload_bytes(payload);
    }
    case Shape::kUnexamined:
      break;
  }
  return rule.fixed_cost;
}

VmResult<std::optional<std::uint64_t>> explicit_syscall_metering_cost(std::string_view id, VmPositionalArgs args,
                                                                      VmKeywordArgs kwargs) {
  const std::optional<ZkCall> call = zk_call_from_id(id);
  if (!call) return std::optional<std::uint64_t>();
  VELN_TRY(std::uint64_t cost, zk_call_metering_cost(*call, args, kwargs));
  return std::optional<std::uint64_t>(cost);
}

}  // namespace veln
