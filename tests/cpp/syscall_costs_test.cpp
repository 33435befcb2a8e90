#include "interpreter_support/syscall_costs.hpp"

#include <gtest/gtest.h>

#include "value_builders.hpp"

namespace veln {
namespace {

using namespace value_builders;

using Args = std::vector<VmValue>;
using Kwargs = std::vector<VmKeywordArg>;


// The cost as text, "none", or the error message.
std::string cost(std::string_view id, Args args, Kwargs kwargs = {}) {
  auto r = explicit_syscall_metering_cost(id, args, kwargs);
  if (!r.ok()) return r.error().message;
  return r->has_value() ? std::to_string(**r) : "none";
}

TEST(HexPayloadBytes, OnlyEvenLengthLowerCase0xTexts) {
  struct Case {
    const char* text;
    std::uint64_t bytes;
  };
  const Case cases[] = {{"0x", 0},       {"0xabcd", 2}, {"abcd", 0}, {"0xabc", 0},  {"0Xab", 0},
                        {"", 0},         {"0", 0},      {"x0", 0},   {"0xzz", 1},   {"0x\xc3\xa9", 1},
                        {"0x0x0x", 2},   {"00ab", 0}};
  for (const auto& c : cases) EXPECT_EQ(hex_payload_bytes(c.text), c.bytes) << c.text;
}

TEST(ExplicitSyscallCosts, Formulas) {
  const std::string proof256 = "0x" + std::string(256, 'a');
  const std::string input64 = "0x" + std::string(64, 'b');
  struct Case {
    const char* id;
    Args args;
    const char* expected;
  };
  const Case cases[] = {
      // (2 + 128 + 32 + 0) x 50 + 2 x 50000 + 750000
      {"zk.verify_groth16_bn254", {S("0xabcd"), S(proof256), List({S(input64), S("12")})}, "858100"},
      // (4 + 2) x 25 + 750000: the key counts by its raw byte length
      {"zk.verify_groth16", {S("vk-1"), S("0xabcd"), List({})}, "750150"},
      {"zk.verify_groth16", {S("0xabcd"), S("0xabcd"), List({})}, "750200"},
      {"zk.verify_groth16_bn254", {S("vk-1"), S("0xabcd"), List({})}, "750100"},
      {"zk.verify_groth16", {S("vk"), S(""), Tuple({S("0x01")})}, "800075"},  // a tuple is accepted like a list
      {"zk.verify_groth16", {S("\xc3\xa9"), S("0x"), List({S("0x01"), S("0x0203")})}, "850125"},
      {"zk.shielded_note_append_commitments", {VmValue::none(), VmValue::integer(3), List({})}, "250000"},
      {"zk.shielded_note_append_commitments", {S("a"), S("b"), List({S("c1"), S("c2")})}, "1250000"},
      {"zk.shielded_command_nullifier_digest", {List({S("a"), S("b")})}, "200000"},
      {"zk.shielded_command_nullifier_digest", {Tuple({})}, "100000"},
      {"zk.shielded_output_payload_hash", {S("0x0102")}, "2"},
      {"zk.shielded_output_payload_hash", {S("0102")}, "0"},
      {"zk.shielded_command_binding", {}, "100000"},
      {"zk.shielded_command_binding", {VmValue::integer(1), VmValue::none()}, "100000"},
      {"zk.shielded_command_execution_tag", {S("x")}, "50000"},
      // Ids outside the seven are not priced here, whatever their arguments.
      {"random.shuffle", {}, "none"},
      {"zk.verify_groth16 ", {}, "none"},
      {"zk.VERIFY_GROTH16", {}, "none"},
      {"zk.", {}, "none"},
      {"hash.sha256_hex", {VmValue::integer(1)}, "none"},
      {"", {}, "none"},
  };
  for (const auto& c : cases) EXPECT_EQ(cost(c.id, c.args), c.expected) << c.id;
  EXPECT_EQ(cost("zk.shielded_command_binding", {}, {{"x", VmValue::none()}}), "100000");
}

TEST(ExplicitSyscallCosts, ArgumentChecksInOrder) {
  const VmValue l = List({S("0x01")});
  struct Case {
    const char* id;
    Args args;
    Kwargs kwargs;
    const char* expected;
  };
  const Case cases[] = {
      {"zk.verify_groth16", {S("k"), S("p")}, {}, "zk.verify_groth16() expects three positional arguments"},
      {"zk.verify_groth16", {S("k"), S("p"), l, l}, {}, "zk.verify_groth16() expects three positional arguments"},
      {"zk.verify_groth16", {S("k"), S("p"), l}, {{"x", S("")}}, "zk.verify_groth16() expects three positional arguments"},
      {"zk.verify_groth16_bn254", {}, {}, "zk.verify_groth16_bn254() expects three positional arguments"},
      {"zk.verify_groth16", {VmValue::integer(1), VmValue::none(), VmValue::none()}, {}, "expected string value, got int"},
      {"zk.verify_groth16", {S("k"), VmValue::none(), VmValue::none()}, {}, "expected string value, got none"},
      {"zk.verify_groth16_bn254", {S("k"), *VmValue::make_bytes("p"), l}, {}, "expected string value, got bytes"},
      {"zk.verify_groth16", {S("k"), S("p"), S("0x01")}, {}, "public_inputs must be a list of strings"},
      {"zk.verify_groth16_bn254", {S("k"), S("p"), List({S("a"), VmValue::integer(1)})}, {},
       "public_inputs must be a list of strings"},
      {"zk.shielded_note_append_commitments", {S("a"), S("b"), List({}), List({})}, {},
       "zk.shielded_note_append_commitments() expects three positional arguments"},
      {"zk.shielded_note_append_commitments", {S("a"), S("b"), S("c")}, {}, "commitments must be a list of strings"},
      {"zk.shielded_command_nullifier_digest", {List({})}, {{"x", S("")}},
       "zk.shielded_command_nullifier_digest() expects one positional argument"},
      {"zk.shielded_command_nullifier_digest", {}, {}, "zk.shielded_command_nullifier_digest() expects one positional argument"},
      {"zk.shielded_command_nullifier_digest", {*VmValue::make_set({S("a")})}, {}, "input_nullifiers must be a list of strings"},
      {"zk.shielded_output_payload_hash", {S("0x"), S("0x")}, {}, "zk.shielded_output_payload_hash() expects one positional argument"},
      {"zk.shielded_output_payload_hash", {VmValue::integer(5)}, {}, "expected string value, got int"},
  };
  for (const auto& c : cases) EXPECT_EQ(cost(c.id, c.args, c.kwargs), c.expected) << c.id;
}

TEST(ExplicitSyscallCosts, DirectFormulas) {
  const std::vector<std::string_view> inputs = {"0x0102", "0x", "abc"};
  EXPECT_EQ(zk_payload_metering_cost("0xabcd", "0x01", inputs), (2 + 1 + 2) * 50 + 3 * 50000 + 750000u);
  EXPECT_EQ(zk_registry_metering_cost(6, "0x01", inputs), (6 + 1 + 2) * 25 + 3 * 50000 + 750000u);
  EXPECT_EQ(zk_call_from_id("zk.verify_groth16"), ZkCall::kVerifyGroth16);
  EXPECT_EQ(zk_call_from_id("zk.shielded_command_execution_tag"), ZkCall::kShieldedCommandExecutionTag);
  EXPECT_FALSE(zk_call_from_id("zk.verify").has_value());
}

}  // namespace
}  // namespace veln
