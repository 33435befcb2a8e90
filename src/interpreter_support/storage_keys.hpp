// Storage keys shared with the host's key-value storage: variable keys
// ("token.supply"), hash entry keys ("token.balances:alice:bob") and foreign
// reference texts ("token:balances"). Every character of these texts is part
// of the stored data, so the forms here are fixed; this file must not grow
// any notion of where or how the keys are stored.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <span>

#include "values/vm_execution_error.hpp"
#include "values/vm_value.hpp"

namespace veln {

inline constexpr size_t kMaxHashKeyParts = 16;
inline constexpr size_t kMaxHashKeyBytes = 1024;

// A declared variable or hash name must hold neither separator: "x.y" in
// contract "a" would write the key of variable "y" of a contract "a.x".
// Fails with "invalid storage name '{}'".
VmStatus check_declared_storage_name(std::string_view name);

std::string variable_storage_key(std::string_view contract, std::string_view variable);
std::string foreign_storage_key(std::string_view contract, std::string_view name);
// (contract, name) split at the first ":".
VmResult<std::pair<std::string, std::string>> split_foreign_storage_key(std::string_view text);

// The text one key value contributes to a hash entry key.
VmResult<std::string> storage_key_part(const VmValue& value);
// The key text of a key value: a tuple gives one part per item joined by ":".
VmResult<std::string> normalize_hash_key(const VmValue& key);
// The same text appended to `out`, which may already hold the start of a
// storage key (the limits count the key text alone).
VmStatus append_hash_key(std::string& out, const VmValue& key);
// The key text of a scan prefix given as its leading key values.
VmResult<std::string> normalize_hash_prefix(std::span<const VmValue> values);
VmResult<std::string> hash_storage_key(std::string_view contract, std::string_view name, const VmValue& key);
std::string hash_storage_key_from_normalized(std::string_view contract, std::string_view name,
                                             std::string_view key_text);

}  // namespace veln
