// Event payload normalisation. Lookups go through the dict's structural key
// match (indexed for large dicts), so a payload with many fields costs one
// lookup per schema field, not a scan.
#include "interpreter_support/event_payloads.hpp"

#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace veln {
namespace {

VmExecutionError kind_error(std::string_view prefix, const VmValue& v) {
  std::string message(prefix);
  message.append(v.type_name());
  return vm_error(std::move(message));
}

// A str key's position: only a str with the same text matches a str
// structurally, so a small payload (the usual one) is scanned by text, and
// a large one uses its index.
constexpr std::size_t kScannedPayloadSize = 8;

// The position, or the size of the payload when the key is absent (a plain
// number: the caller tests it at once).
std::size_t find_str_key(const VmValue& payload, std::span<const VmDictPair> pairs, const VmValue& key) {
  if (pairs.size() > kScannedPayloadSize) return payload.dict_find_structural(key).value_or(pairs.size());
  const std::string_view text = key.text();
  for (std::size_t i = 0; i < pairs.size(); ++i) {
    if (pairs[i].key.is(VmKind::String) && pairs[i].key.text() == text) return i;
  }
  return pairs.size();
}

}  // namespace

bool event_field_is_indexed(const VmValue& description) {
  if (!description.is(VmKind::Dict)) return false;
  for (const VmDictPair& pair : description.dict_pairs()) {
    // The first structurally equal key decides, as in every dict lookup.
    if (pair.key.is(VmKind::String) && pair.key.text() == "idx") {
      return pair.value.is(VmKind::Bool) && pair.value.bool_value();
    }
  }
  return false;
}

VmResult<VmEventFields> normalize_event_payload(const VmValue& schema, VmValue payload) {
  if (!schema.is(VmKind::Dict)) return kind_error("event schema must be a dict, got ", schema);
  if (!payload.is(VmKind::Dict)) return kind_error("event payload must be a dict, got ", payload);
  const auto payload_pairs = payload.dict_pairs();
  const auto fields = schema.dict_pairs();
  // The indexed fields are counted first so that each field is written once,
  // straight into its place in the one block; the first fields' flags are
  // kept from the count (a schema rarely has more).
  constexpr std::size_t kKeptFlags = 64;
  uint64_t kept_flags = 0;
  VmEventFields out;
  for (std::size_t i = 0; i < fields.size(); ++i) {
    if (!event_field_is_indexed(fields[i].value)) continue;
    ++out.indexed_count;
    if (i < kKeptFlags) kept_flags |= uint64_t{1} << i;
  }
  out.all.resize(fields.size());
  std::size_t next_indexed = 0;
  std::size_t next_data = out.indexed_count;
  for (std::size_t i = 0; i < fields.size(); ++i) {
    const VmDictPair& field = fields[i];
    if (!field.key.is(VmKind::String)) return kind_error("event schema keys must be strings, got ", field.key);
    const std::size_t at = find_str_key(payload, payload_pairs, field.key);
    if (at == payload_pairs.size()) {
      std::string message = "event payload is missing key '";
      message.append(field.key.text());
      message += '\'';
      return vm_error(std::move(message));
    }
    const bool indexed = i < kKeptFlags ? (kept_flags >> i & 1) != 0 : event_field_is_indexed(field.value);
    VmEventField& slot = out.all[indexed ? next_indexed++ : next_data++];
    slot.name = field.key;
    slot.value = payload_pairs[at].value;
  }
  if (payload_pairs.size() > fields.size()) return vm_error("event payload has unexpected keys");
  return out;
}

}  // namespace veln
