// Deployment-artifact validation: every check's message, the order in which
// the checks run, and the exact texts handed back on success.
#include "artifacts/contract_artifacts.hpp"

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "lib/json_value.hpp"

namespace veln {
namespace {

const std::string kSource = "def f():\n    return 1\n";
const std::string kInput = "# original source\n";

std::string digest(std::string_view text) { return *sha256_hex(text); }

std::string module_ir_text(const std::string& module_name, const std::string& source_hash,
                           const std::string& vm_profile = "veln_vm_v1") {
  return R"({"ir_version":"veln_ir_v1","vm_profile":")" + vm_profile +
         R"(","host_catalog_version":"veln_vm_v1_host_v1","module_name":")" + module_name +
         R"(","source_hash":")" + source_hash +
         R"(","imports":[],"global_declarations":[],"functions":[{"node":"function","span":[1,0,2,12],)"
         R"("name":"f","visibility":"export","parameters":[],"body":[{"node":"return","span":[2,4,2,12],)"
         R"("value":{"node":"constant","span":[2,11,2,12],"value_type":"int","value":1}}]}],)"
         R"("module_body":[],"host_dependencies":[]})";
}

void set(JsonValue::Object& obj, const std::string& key, JsonValue value) {
  for (auto& m : obj) {
    if (m.first == key) {
      m.second = std::move(value);
      return;
    }
  }
  obj.emplace_back(key, std::move(value));
}

void remove_member(JsonValue::Object& obj, const std::string& key) {
  std::erase_if(obj, [&](const JsonValue::Member& m) { return m.first == key; });
}

JsonValue str(const std::string& s) { return JsonValue::make_string(s); }

struct Call {
  std::string module_name = "con_token";
  std::optional<std::string> input_source;
  std::string vm_profile = "veln_vm_v1";
};

struct ArtifactCase {
  const char* name;
  // Edits the document members, its hashes, and the call's arguments.
  std::function<void(JsonValue::Object& doc, JsonValue::Object& hashes, Call& call)> edit;
  std::string expected;  // "OK" or the message
};

std::string artifacts_text(const ArtifactCase& c, Call& call) {
  const std::string ir = module_ir_text("con_token", digest(kSource));
  JsonValue::Object doc;
  set(doc, "format", str("veln_contract_artifact_v1"));
  set(doc, "module_name", str("con_token"));
  set(doc, "vm_profile", str("veln_vm_v1"));
  set(doc, "source", str(kSource));
  set(doc, "vm_ir_json", str(ir));
  JsonValue::Object hashes;
  set(hashes, "source_sha256", str(digest(kSource)));
  set(hashes, "vm_ir_sha256", str(digest(ir)));
  set(hashes, "input_source_sha256", str(digest(kInput)));
  c.edit(doc, hashes, call);
  bool has_hashes = false;
  for (const auto& m : doc) has_hashes = has_hashes || m.first == "hashes";
  if (!has_hashes) set(doc, "hashes", JsonValue::make_object(hashes));
  return JsonValue::make_object(doc).to_compact_json();
}

// Replaces the document's module IR and its matching digest.
void use_ir(JsonValue::Object& doc, JsonValue::Object& hashes, const std::string& ir) {
  set(doc, "vm_ir_json", str(ir));
  set(hashes, "vm_ir_sha256", str(digest(ir)));
}

const ArtifactCase kCases[] = {
    {"Valid", [](auto&, auto&, auto&) {}, "OK"},
    {"ValidWithInputSource", [](auto&, auto&, Call& call) { call.input_source = kInput; }, "OK"},
    {"ExtraMembersIgnored",
     [](auto& doc, auto& hashes, auto&) {
       set(doc, "compiler", str("x"));
       set(hashes, "other_sha256", JsonValue());
     },
     "OK"},
    {"FormatMissing", [](auto& doc, auto&, auto&) { remove_member(doc, "format"); },
     "deployment_artifacts must include a string field 'format'."},
    {"FormatNumber", [](auto& doc, auto&, auto&) { set(doc, "format", JsonValue::make_u64(1)); },
     "deployment_artifacts must include a string field 'format'."},
    {"FormatOtherVersion", [](auto& doc, auto&, auto&) { set(doc, "format", str("veln_contract_artifact_v2")); },
     "deployment_artifacts has an unsupported format."},
    {"FormatUpperCase", [](auto& doc, auto&, auto&) { set(doc, "format", str("VELN_CONTRACT_ARTIFACT_V1")); },
     "deployment_artifacts has an unsupported format."},
    {"FormatPadded", [](auto& doc, auto&, auto&) { set(doc, "format", str(" veln_contract_artifact_v1")); },
     "deployment_artifacts has an unsupported format."},
    {"ModuleNameMissing", [](auto& doc, auto&, auto&) { remove_member(doc, "module_name"); },
     "deployment_artifacts must include a string field 'module_name'."},
    {"ModuleNameDiffersBeforeMissingSource",
     [](auto& doc, auto&, Call& call) {
       remove_member(doc, "source");
       call.module_name = "con_other";
     },
     "deployment_artifacts module_name does not match the target contract."},
    {"VmProfileNotString", [](auto& doc, auto&, auto&) { set(doc, "vm_profile", JsonValue()); },
     "deployment_artifacts must include a string field 'vm_profile'."},
    {"VmProfileDiffers", [](auto& doc, auto&, auto&) { set(doc, "vm_profile", str("veln_vm_v2")); },
     "deployment_artifacts vm_profile does not match the execution profile."},
    {"RuntimeCodeNull", [](auto& doc, auto&, auto&) { set(doc, "runtime_code", JsonValue()); },
     "deployment_artifacts must not include runtime_code."},
    {"RuntimeCodeBeforeSource",
     [](auto& doc, auto&, auto&) {
       set(doc, "runtime_code", str(""));
       remove_member(doc, "source");
     },
     "deployment_artifacts must not include runtime_code."},
    {"SourceMissing", [](auto& doc, auto&, auto&) { remove_member(doc, "source"); },
     "deployment_artifacts must include a string field 'source'."},
    {"SourceEmpty", [](auto& doc, auto&, auto&) { set(doc, "source", str("")); },
     "deployment_artifacts must include a non-empty 'source' string."},
    {"VmIrJsonArray", [](auto& doc, auto&, auto&) { set(doc, "vm_ir_json", JsonValue::make_array({})); },
     "deployment_artifacts must include a string field 'vm_ir_json'."},
    {"VmIrJsonEmpty", [](auto& doc, auto&, auto&) { set(doc, "vm_ir_json", str("")); },
     "deployment_artifacts must include a non-empty 'vm_ir_json' string."},
    {"HashesMissing", [](auto& doc, auto&, auto&) { set(doc, "hashes", JsonValue()); },
     "deployment_artifacts must include a 'hashes' dictionary."},
    {"HashesArray", [](auto& doc, auto&, auto&) { set(doc, "hashes", JsonValue::make_array({})); },
     "deployment_artifacts must include a 'hashes' dictionary."},
    {"HashesEmpty", [](auto& doc, auto&, auto&) { set(doc, "hashes", JsonValue::make_object({})); },
     "deployment_artifacts hash mismatch for 'source_sha256'."},
    {"SourceDigestUpperCase",
     [](auto&, auto& hashes, auto&) {
       std::string upper = digest(kSource);
       for (char& ch : upper) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
       set(hashes, "source_sha256", str(upper));
     },
     "deployment_artifacts hash mismatch for 'source_sha256'."},
    {"SourceDigestNotString", [](auto&, auto& hashes, auto&) { set(hashes, "source_sha256", JsonValue::make_u64(0)); },
     "deployment_artifacts hash mismatch for 'source_sha256'."},
    {"VmIrDigestWrong", [](auto&, auto& hashes, auto&) { set(hashes, "vm_ir_sha256", str(digest(kSource))); },
     "deployment_artifacts hash mismatch for 'vm_ir_sha256'."},
    {"InputDigestIgnoredWithoutInput",
     [](auto&, auto& hashes, auto&) { set(hashes, "input_source_sha256", str("nonsense")); }, "OK"},
    {"InputDigestMissingWithInput",
     [](auto&, auto& hashes, Call& call) {
       remove_member(hashes, "input_source_sha256");
       call.input_source = kInput;
     },
     "deployment_artifacts hash mismatch for 'input_source_sha256'."},
    {"EmptyInputCountsAsGiven", [](auto&, auto&, Call& call) { call.input_source = ""; },
     "deployment_artifacts hash mismatch for 'input_source_sha256'."},
    {"EmptyInputWithItsDigest",
     [](auto&, auto& hashes, Call& call) {
       call.input_source = "";
       set(hashes, "input_source_sha256", str(digest("")));
     },
     "OK"},
    {"RuntimeCodeDigestNull", [](auto&, auto& hashes, auto&) { set(hashes, "runtime_code_sha256", JsonValue()); },
     "deployment_artifacts hashes must not include runtime_code_sha256."},
    {"VmIrNotModuleIr", [](auto& doc, auto& hashes, auto&) { use_ir(doc, hashes, "{}"); },
     "missing field `ir_version` at line 1 column 2"},
    {"VmIrSyntax", [](auto& doc, auto& hashes, auto&) { use_ir(doc, hashes, "{\n  \"ir_version\": 1,"); },
     "invalid type: integer `1`, expected a string at line 2 column 17"},
    {"VmIrFailsValidation",
     [](auto& doc, auto& hashes, auto&) { use_ir(doc, hashes, module_ir_text("", digest(kSource))); },
     "module_name must not be empty"},
    {"VmIrOtherModule",
     [](auto& doc, auto& hashes, auto&) { use_ir(doc, hashes, module_ir_text("con_other", digest(kSource))); },
     "deployment_artifacts vm_ir_json module_name does not match the target contract."},
    {"VmIrSourceHashUpperCase",
     [](auto& doc, auto& hashes, auto&) {
       std::string upper = digest(kSource);
       for (char& ch : upper) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
       use_ir(doc, hashes, module_ir_text("con_token", upper));
     },
     "deployment_artifacts vm_ir_json source_hash does not match source."},
    {"OtherProfileInBoth",
     [](auto& doc, auto&, Call& call) {
       set(doc, "vm_profile", str("veln_vm_v2"));
       call.vm_profile = "veln_vm_v2";
     },
     "deployment_artifacts vm_ir_json vm_profile does not match the execution profile."},
    {"OtherProfileEverywhere",
     [](auto& doc, auto& hashes, Call& call) {
       set(doc, "vm_profile", str("veln_vm_v2"));
       call.vm_profile = "veln_vm_v2";
       use_ir(doc, hashes, module_ir_text("con_token", digest(kSource), "veln_vm_v2"));
     },
     "unsupported vm_profile 'veln_vm_v2'"},
};

class ValidateArtifacts : public ::testing::TestWithParam<ArtifactCase> {};

TEST_P(ValidateArtifacts, GivesTheExpectedOutcome) {
  const ArtifactCase& c = GetParam();
  Call call;
  const std::string text = artifacts_text(c, call);
  std::optional<std::string_view> input;
  if (call.input_source) input = *call.input_source;
  auto r = validate_contract_artifacts_json(call.module_name, text, input, call.vm_profile);
  EXPECT_EQ(r.ok() ? std::string("OK") : r.error().message, c.expected) << text;
}

INSTANTIATE_TEST_SUITE_P(Table, ValidateArtifacts, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

std::string validate_text(std::string_view text) {
  auto r = validate_contract_artifacts_json("con_token", text, std::nullopt, "veln_vm_v1");
  return r.ok() ? std::string("OK") : r.error().message;
}

TEST(ValidateArtifacts, DocumentMustBeAnObject) {
  EXPECT_EQ(validate_text("[]"), "deployment_artifacts must be a dictionary.");
  EXPECT_EQ(validate_text("\"x\""), "deployment_artifacts must be a dictionary.");
  EXPECT_EQ(validate_text(""), "EOF while parsing a value at line 1 column 0");
  EXPECT_EQ(validate_text("{\"format\":}"), "expected value at line 1 column 11");
  EXPECT_EQ(validate_text("{} x"), "trailing characters at line 1 column 4");
}

TEST(ValidateArtifacts, ReturnsTheTextsExactlyAndLastRepeatedKeyCounts) {
  const std::string ir = "  " + module_ir_text("con_token", digest(kSource)) + "\n";
  std::string text = R"({"format":"bad","format":"veln_contract_artifact_v1","module_name":"con_token",)"
                     R"("vm_profile":"veln_vm_v1","source":)";
  append_json_string_literal(text, kSource);
  text += R"(,"vm_ir_json":)";
  append_json_string_literal(text, ir);
  text += R"(,"hashes":{"source_sha256":")" + digest(kSource) + R"(","vm_ir_sha256":")" + digest(ir) + "\"}}";
  auto r = validate_contract_artifacts_json("con_token", text, std::nullopt, "veln_vm_v1");
  ASSERT_TRUE(r.ok()) << r.error().message;
  EXPECT_EQ(r->source, kSource);
  EXPECT_EQ(r->vm_ir_json, ir);
}

TEST(Sha256Hex, KnownDigests) {
  EXPECT_EQ(digest(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_EQ(digest("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  EXPECT_EQ(digest(std::string_view("a\0b", 3)), "59b271ae1bbcb1d31d41929817f4b16fb439eb4f31520b5ad1d5ce98920a7138");
}

}  // namespace
}  // namespace veln
