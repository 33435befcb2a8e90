// Deployment artifacts, the hex codec and the digests: the cases of
// ir/artifacts.cases and codecs.cases, the texts handed back exactly, and the
// digests against hashlib (tests/gen/gen_hash_vectors.py).
#include <gtest/gtest.h>

#include "artifacts/contract_artifacts.hpp"
#include "case_file.hpp"
#include "lib/digests.hpp"
#include "lib/hex_codec.hpp"
#include "lib/json_reader.hpp"

namespace veln {
namespace {

using namespace cases;

const std::string kSource = "def f():\n    return 1\n";
const std::string kInput = "# original source\n";

std::string digest(std::string_view text) { return *sha256_hex(text); }

std::string module_ir_text(std::string_view module_name, std::string_view source_hash, std::string_view vm_profile) {
  std::string out = R"({"ir_version":"veln_ir_v1","vm_profile":")";
  out.append(vm_profile).append(R"(","host_catalog_version":"veln_vm_v1_host_v1","module_name":")");
  out.append(module_name).append(R"(","source_hash":")").append(source_hash);
  out += R"(","imports":[],"global_declarations":[],"functions":[{"node":"function","span":[1,0,2,12],)"
         R"("name":"f","visibility":"export","parameters":[],"body":[{"node":"return","span":[2,4,2,12],)"
         R"("value":{"node":"constant","span":[2,11,2,12],"value_type":"int","value":1}}]}],)"
         R"("module_body":[],"host_dependencies":[]})";
  return out;
}

// Members of `edits` (a JSON object) replace those of `members`.
void apply(JsonValue::Members& members, const JsonValue* edits) {
  if (edits == nullptr) return;
  for (const JsonValue::Entry& edit : edits->as_object()) {
    std::erase_if(members, [&](const JsonValue::Member& m) { return m.first == edit.first; });
    members.emplace_back(edit.first, edit.second);
  }
}

void remove(JsonValue::Members& members, const JsonValue* keys) {
  if (keys == nullptr) return;
  for (const JsonValue& key : keys->as_array()) {
    std::erase_if(members, [&](const JsonValue::Member& m) { return m.first == key.as_string(); });
  }
}

std::string text_or(const JsonValue* object, std::string_view key, std::string_view fallback) {
  const JsonText* s = object ? object->find_string(key) : nullptr;
  return s ? *s : std::string(fallback);
}

// The valid document after the edits of artifacts.cases, then validated.
Outcome validate_edited(const JsonValue& edits) {
  const JsonValue* ir = edits.find("ir");
  std::string ir_text = module_ir_text(text_or(ir, "module_name", "con_token"),
                                       text_or(ir, "source_hash", digest(kSource)), text_or(ir, "vm_profile", "veln_vm_v1"));
  if (const JsonText* raw = edits.find_string("ir_text")) ir_text = *raw;
  JsonValue::Members hashes = {{"source_sha256", JsonValue::make_string(digest(kSource))},
                              {"vm_ir_sha256", JsonValue::make_string(digest(ir_text))},
                              {"input_source_sha256", JsonValue::make_string(digest(kInput))}};
  apply(hashes, edits.find("hashes"));
  remove(hashes, edits.find("delete_hashes"));
  JsonValue::Members doc = {{"format", JsonValue::make_string("veln_contract_artifact_v1")},
                           {"module_name", JsonValue::make_string("con_token")},
                           {"vm_profile", JsonValue::make_string("veln_vm_v1")},
                           {"source", JsonValue::make_string(kSource)},
                           {"vm_ir_json", JsonValue::make_string(ir_text)},
                           {"hashes", JsonValue::make_object(std::move(hashes))}};
  apply(doc, edits.find("doc"));
  remove(doc, edits.find("delete"));
  const JsonValue* call = edits.find("call");
  std::optional<std::string> input;
  if (const JsonText* s = call ? call->find_string("input_source") : nullptr) input = *s;
  const auto r = validate_contract_artifacts_json(text_or(call, "module_name", "con_token"),
                                                  JsonValue::make_object(std::move(doc)).to_compact_json(), input,
                                                  text_or(call, "vm_profile", "veln_vm_v1"));
  return r.ok() ? outcome("OK") : Outcome(vm_error(r.error().message));
}

TEST(ValidateArtifacts, Cases) {
  run_case_file("ir/artifacts.cases",
                {
                    {"artifact", [](const Case& c) { return validate_edited(*read_json_value(c[0].text())); }},
                    {"validate",
                     [](const Case& c) {
                       const auto r = validate_contract_artifacts_json("con_token", c[0].text(), std::nullopt, "veln_vm_v1");
                       return r.ok() ? outcome("OK") : Outcome(vm_error(r.error().message));
                     }},
                });
}

TEST(ValidateArtifacts, ReturnsTheTextsExactlyAndTheLastRepeatedKeyCounts) {
  const std::string ir = "  " + module_ir_text("con_token", digest(kSource), "veln_vm_v1") + "\n";
  std::string text = R"({"format":"bad","format":"veln_contract_artifact_v1","module_name":"con_token",)"
                     R"("vm_profile":"veln_vm_v1","source":)";
  append_json_string_literal(text, kSource);
  text += R"(,"vm_ir_json":)";
  append_json_string_literal(text, ir);
  text += R"(,"hashes":{"source_sha256":")" + digest(kSource) + R"(","vm_ir_sha256":")" + digest(ir) + "\"}}";
  const auto r = validate_contract_artifacts_json("con_token", text, std::nullopt, "veln_vm_v1");
  ASSERT_TRUE(r.ok()) << r.error().message;
  EXPECT_EQ(r->source, kSource);
  EXPECT_EQ(r->vm_ir_json, ir);
}

VmValue bytes_value(std::span<const std::uint8_t> bytes) {
  return *VmValue::make_bytes(std::string(bytes.begin(), bytes.end()));
}

std::span<const std::uint8_t> bytes_of(std::string_view text) {
  return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

TEST(Codecs, Cases) {
  run_case_file("ir/codecs.cases",
                {
                    {"hex_encode", [](const Case& c) { return outcome(hex_encode_lower(bytes_of(c[0].text()))); }},
                    {"hex_decode",
                     [](const Case& c) {
                       const auto bytes = hex_decode_pairs(c[0].text());
                       return bytes ? outcome(bytes_value(*bytes)) : outcome(VmValue::none());
                     }},
                    {"all_hex", [](const Case& c) { return outcome(is_all_hex_digits(c[0].text())); }},
                    {"sha256", [](const Case& c) { return outcome(hex_encode_lower(*sha256_digest(bytes_of(c[0].text())))); }},
                    {"sha3", [](const Case& c) { return outcome(hex_encode_lower(*sha3_256_digest(bytes_of(c[0].text())))); }},
                    {"sha256_hex", [](const Case& c) { return outcome(sha256_hex(c[0].text())); }},
                });
}

// "<hex|text>\t<input>\t<sha256>\t<sha3-256>": the input column spells the
// digested bytes in hex (of either case) for both kinds.
TEST(Digests, MatchHashlib) {
  size_t checked = 0;
  for (const auto& row : data_rows("hash_vectors.txt", '\t')) {
    const auto decoded = hex_decode_pairs(row[1]);
    ASSERT_TRUE(decoded.has_value()) << row[1];
    EXPECT_EQ(hex_encode_lower(*sha256_digest(*decoded)), row[2]) << row[1];
    EXPECT_EQ(hex_encode_lower(*sha3_256_digest(*decoded)), row[3]) << row[1];
    ++checked;
  }
  EXPECT_GT(checked, 550u);
}

}  // namespace
}  // namespace veln
