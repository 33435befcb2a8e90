#include "interpreter_support/storage_keys.hpp"

#include "values/bounded_text.hpp"

namespace veln {
namespace {

// Appends one checked part; the ":" test covers the whole part before the "."
// test so a part holding both always reports the delimiter.
VmStatus append_checked_part(std::string& out, const VmValue& value) {
  // Every kind's key part is its Python-style text: None, True, 5, 1e16, the
  // bare text of a str or type marker, the repr of everything else.
  // A part is checked whole, so its text is built whole, up to the size
  // limit of a text.
  const size_t start = out.size();
  BoundedText text(out);
  value.append_python_repr(text);
  VELN_CHECK(text.status());
  std::string_view part(out.data() + start, out.size() - start);
  if (part.find(':') != std::string_view::npos) return vm_error("Illegal delimiter in key.");
  if (part.find('.') != std::string_view::npos) return vm_error("Illegal separator in key.");
  return Ok{};
}

VmResult<std::string> normalize_parts(std::span<const VmValue> parts) {
  if (parts.size() > kMaxHashKeyParts) {
    return vm_error("Too many dimensions (" + std::to_string(parts.size()) + ") for hash. Max is " +
                    std::to_string(kMaxHashKeyParts));
  }
  std::string text;
  for (size_t i = 0; i < parts.size(); ++i) {
    if (i != 0) text += ':';
    VELN_CHECK(append_checked_part(text, parts[i]));
  }
  if (text.size() > kMaxHashKeyBytes) {
    return vm_error("Key is too long (" + std::to_string(text.size()) + "). Max is " +
                    std::to_string(kMaxHashKeyBytes) + ".");
  }
  return text;
}

}  // namespace

VmStatus check_declared_storage_name(std::string_view name) {
  if (name.find_first_of(".:") == std::string_view::npos) return Ok{};
  std::string msg = "invalid storage name '";
  msg += name;
  msg += "'";
  return vm_error(std::move(msg));
}

std::string variable_storage_key(std::string_view contract, std::string_view variable) {
  std::string key;
  key.reserve(contract.size() + 1 + variable.size());
  key += contract;
  key += '.';
  key += variable;
  return key;
}

std::string foreign_storage_key(std::string_view contract, std::string_view name) {
  std::string key;
  key.reserve(contract.size() + 1 + name.size());
  key += contract;
  key += ':';
  key += name;
  return key;
}

VmResult<std::pair<std::string, std::string>> split_foreign_storage_key(std::string_view text) {
  const size_t colon = text.find(':');
  if (colon == std::string_view::npos) {
    return vm_error_quoting_text("invalid foreign storage key '", text, "'");
  }
  return std::pair<std::string, std::string>(std::string(text.substr(0, colon)),
                                             std::string(text.substr(colon + 1)));
}

VmResult<std::string> storage_key_part(const VmValue& value) {
  std::string part;
  VELN_CHECK(append_checked_part(part, value));
  return part;
}

VmResult<std::string> normalize_hash_key(const VmValue& key) {
  if (key.is(VmKind::Tuple)) return normalize_parts(key.items());
  return normalize_parts(std::span<const VmValue>(&key, 1));
}

VmResult<std::string> normalize_hash_prefix(std::span<const VmValue> values) {
  // Same as normalising a tuple of the values; the items are read in place.
  return normalize_parts(values);
}

VmResult<std::string> hash_storage_key(std::string_view contract, std::string_view name, const VmValue& key) {
  VELN_TRY(std::string key_text, normalize_hash_key(key));
  return hash_storage_key_from_normalized(contract, name, key_text);
}

std::string hash_storage_key_from_normalized(std::string_view contract, std::string_view name,
                                             std::string_view key_text) {
  std::string key;
  key.reserve(contract.size() + name.size() + key_text.size() + 2);
  key += contract;
  key += '.';
  key += name;
  key += ':';
  key += key_text;
  return key;
}

}  // namespace veln
