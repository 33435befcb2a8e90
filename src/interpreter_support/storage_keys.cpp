#include "interpreter_support/storage_keys.hpp"

#include <charconv>

#include "values/bounded_text.hpp"
#include "values/vm_limits.hpp"

namespace veln {
namespace {

// The ":" test covers the whole part before the "." test so a part holding
// both always reports the delimiter.
VmStatus check_part(std::string_view part) {
  if (part.find(':') != std::string_view::npos) return vm_error("Illegal delimiter in key.");
  if (part.find('.') != std::string_view::npos) return vm_error("Illegal separator in key.");
  return Ok{};
}

// Every kind's key part is its Python-style text: None, True, 5, 1e16, the
// bare text of a str or type marker, the repr of everything else. A part is
// checked whole, so its text is built whole, up to the size limit of a text.
VmStatus append_repr_part(std::string& out, size_t base, const VmValue& value) {
  const size_t start = out.size();
  BoundedText text(out, base + kVmMaxTextBytes);
  value.append_python_repr(text);
  VELN_CHECK(text.status());
  std::string_view part(out.data() + start, out.size() - start);
  return check_part(part);
}

// Appends one checked part to the key text that starts at `base` in `out`.
VmStatus append_checked_part(std::string& out, size_t base, const VmValue& value) {
  // The kinds nearly every key is made of, written directly: a small int's
  // digits hold no separator, and a str's part is its own text.
  // Far from the size limit only, where the general path cannot fail on size.
  const size_t used = out.size() - base;
  if (used > kVmMaxTextBytes - 24) return append_repr_part(out, base, value);
  if (value.is(VmKind::Int) && value.int_is_small()) {
    char digits[24];
    out.append(digits, std::to_chars(digits, digits + sizeof digits, value.small_int()).ptr);
    return Ok{};
  }
  if (value.is(VmKind::String) && value.text().size() <= kVmMaxTextBytes - used) {
    VELN_CHECK(check_part(value.text()));
    out += value.text();
    return Ok{};
  }
  return append_repr_part(out, base, value);
}

VmStatus append_parts(std::string& out, std::span<const VmValue> parts) {
  if (parts.size() > kMaxHashKeyParts) {
    return vm_error("Too many dimensions (" + std::to_string(parts.size()) + ") for hash. Max is " +
                    std::to_string(kMaxHashKeyParts));
  }
  const size_t base = out.size();
  for (size_t i = 0; i < parts.size(); ++i) {
    if (i != 0) out += ':';
    VELN_CHECK(append_checked_part(out, base, parts[i]));
  }
  const size_t size = out.size() - base;
  if (size > kMaxHashKeyBytes) {
    return vm_error("Key is too long (" + std::to_string(size) + "). Max is " + std::to_string(kMaxHashKeyBytes) +
                    ".");
  }
  return Ok{};
}

VmResult<std::string> normalize_parts(std::span<const VmValue> parts) {
  std::string text;
  VELN_CHECK(append_parts(text, parts));
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
  VELN_CHECK(append_checked_part(part, 0, value));
  return part;
}

VmStatus append_hash_key(std::string& out, const VmValue& key) {
  if (key.is(VmKind::Tuple)) return append_parts(out, key.items());
  return append_parts(out, std::span<const VmValue>(&key, 1));
}

VmResult<std::string> normalize_hash_key(const VmValue& key) {
  std::string text;
  VELN_CHECK(append_hash_key(text, key));
  return text;
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
