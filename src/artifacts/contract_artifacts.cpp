// Deployment-artifact checks, each a step of one fixed sequence. Every
// comparison is exact bytewise equality: no case folding, no trimming.
#include "artifacts/contract_artifacts.hpp"

#include <cstdint>
#include <span>

#include "lib/digests.hpp"
#include "lib/hex_codec.hpp"
#include "lib/json_reader.hpp"
#include "lib/parse_module_ir.hpp"

namespace veln {
namespace {

constexpr std::string_view kArtifactFormat = "veln_contract_artifact_v1";

ArtifactValidationError fail(std::string_view message) { return ArtifactValidationError(message); }

}  // namespace

VmResult<std::string> sha256_hex(std::string_view text) {
  const std::span<const std::uint8_t> bytes(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
  VELN_TRY(const Digest256 digest, sha256_digest(bytes));
  return hex_encode_lower(digest);
}

ArtifactStatus validate_hash_field(const JsonValue& hashes, std::string_view field, std::string_view expected) {
  const JsonText* given = hashes.find_string(field);
  if (given == nullptr || *given != expected) {
    return fail("deployment_artifacts hash mismatch for '" + std::string(field) + "'.");
  }
  return Ok{};
}

Result<std::string_view, ArtifactValidationError> required_string_field(const JsonValue& object, std::string_view key) {
  const JsonText* s = object.find_string(key);
  if (s == nullptr) return fail("deployment_artifacts must include a string field '" + std::string(key) + "'.");
  return std::string_view(*s);
}

Result<std::string_view, ArtifactValidationError> required_non_empty_string_field(const JsonValue& object,
                                                                                  std::string_view key) {
  VELN_TRY(const std::string_view s, required_string_field(object, key));
  if (s.empty()) return fail("deployment_artifacts must include a non-empty '" + std::string(key) + "' string.");
  return s;
}

Result<ContractArtifacts, ArtifactValidationError> validate_contract_artifacts_json(
    std::string_view module_name, std::string_view artifacts_json, std::optional<std::string_view> input_source,
    std::string_view vm_profile) {
  auto parsed = read_json_value(artifacts_json);
  if (!parsed.ok()) return fail(parsed.error());
  const JsonValue& doc = *parsed;
  if (!doc.is_object()) return fail("deployment_artifacts must be a dictionary.");

  VELN_TRY(const std::string_view format, required_string_field(doc, "format"));
  if (format != kArtifactFormat) return fail("deployment_artifacts has an unsupported format.");
  VELN_TRY(const std::string_view doc_module_name, required_string_field(doc, "module_name"));
  if (doc_module_name != module_name) {
    return fail("deployment_artifacts module_name does not match the target contract.");
  }
  VELN_TRY(const std::string_view doc_vm_profile, required_string_field(doc, "vm_profile"));
  if (doc_vm_profile != vm_profile) return fail("deployment_artifacts vm_profile does not match the execution profile.");
  if (doc.contains("runtime_code")) return fail("deployment_artifacts must not include runtime_code.");
  VELN_TRY(const std::string_view source, required_non_empty_string_field(doc, "source"));
  VELN_TRY(const std::string_view vm_ir_json, required_non_empty_string_field(doc, "vm_ir_json"));
  const JsonValue* hashes = doc.find("hashes");
  if (hashes == nullptr || !hashes->is_object()) return fail("deployment_artifacts must include a 'hashes' dictionary.");

  const auto digest_of = [](std::string_view text) -> Result<std::string, ArtifactValidationError> {
    auto hex = sha256_hex(text);
    if (!hex.ok()) return fail(hex.error().message);
    return std::move(hex).value();
  };
  VELN_TRY(const std::string source_digest, digest_of(source));
  VELN_CHECK(validate_hash_field(*hashes, "source_sha256", source_digest));
  VELN_TRY(const std::string vm_ir_digest, digest_of(vm_ir_json));
  VELN_CHECK(validate_hash_field(*hashes, "vm_ir_sha256", vm_ir_digest));
  if (input_source.has_value()) {
    VELN_TRY(const std::string input_digest, digest_of(*input_source));
    VELN_CHECK(validate_hash_field(*hashes, "input_source_sha256", input_digest));
  }
  if (hashes->contains("runtime_code_sha256")) {
    return fail("deployment_artifacts hashes must not include runtime_code_sha256.");
  }

  auto module = parse_module_ir(vm_ir_json);
  if (!module.ok()) return fail(module.error());
  if (module->module_name != module_name) {
    return fail("deployment_artifacts vm_ir_json module_name does not match the target contract.");
  }
  if (module->vm_profile != vm_profile) {
    return fail("deployment_artifacts vm_ir_json vm_profile does not match the execution profile.");
  }
  if (module->source_hash != source_digest) return fail("deployment_artifacts vm_ir_json source_hash does not match source.");
  return ContractArtifacts{std::string(source), std::string(vm_ir_json)};
}

}  // namespace veln
