// Validation of a contract's deployment artifacts: the document's form, the
// SHA-256 digests of the source, the module IR text and the optional input
// source, the embedded module IR (read and validated), and its agreement with
// the target contract, the execution profile and the source. Keeps nothing
// between calls; must not accept a document that any check refuses.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "lib/json_value.hpp"
#include "values/vm_execution_error.hpp"

namespace veln {

struct ArtifactValidationError {
  std::string message;
  explicit ArtifactValidationError(std::string_view text) : message(text) {}
};

// What a successful validation hands back: copies of the document's texts.
struct ContractArtifacts {
  std::string source;
  std::string vm_ir_json;
};

using ArtifactStatus = Result<Ok, ArtifactValidationError>;

// The whole check, in its fixed order; the first failing check's message.
// `input_source` is checked against hashes.input_source_sha256 only when
// given (an empty text counts as given).
Result<ContractArtifacts, ArtifactValidationError> validate_contract_artifacts_json(
    std::string_view module_name, std::string_view artifacts_json, std::optional<std::string_view> input_source,
    std::string_view vm_profile);

// SHA-256 of the UTF-8 bytes as 64 lower-case hex digits. Fails only when the
// digest cannot be computed at all (OpenSSL out of memory).
VmResult<std::string> sha256_hex(std::string_view text);

// hashes[field] must be a string equal to `expected`, else
// "deployment_artifacts hash mismatch for '{field}'.".
ArtifactStatus validate_hash_field(const JsonValue& hashes, std::string_view field, std::string_view expected);

// object[key] must be a string, else "deployment_artifacts must include a
// string field '{key}'.". The view borrows from `object`.
Result<std::string_view, ArtifactValidationError> required_string_field(const JsonValue& object, std::string_view key);

// Like required_string_field, and an empty string fails with
// "deployment_artifacts must include a non-empty '{key}' string.".
Result<std::string_view, ArtifactValidationError> required_non_empty_string_field(const JsonValue& object,
                                                                                  std::string_view key);

}  // namespace veln
