// Event payload normalisation. Lookups go through the dict's structural key
// match (indexed for large dicts), so a payload with many fields costs one
// lookup per schema field, not a scan.
#include "interpreter_support/event_payloads.hpp"

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

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

// True when each payload key is a str naming the schema field at its own
// position and no two payload keys are equal: then every field's first
// match is at its own position, as the scan would find it.
bool keys_follow_schema(std::span<const VmDictPair> fields, std::span<const VmDictPair> pairs) {
  if (pairs.size() != fields.size() || pairs.size() > kScannedPayloadSize) return false;
  for (std::size_t i = 0; i < pairs.size(); ++i) {
    if (!fields[i].key.is(VmKind::String) || !pairs[i].key.is(VmKind::String)) return false;
    const std::string_view text = pairs[i].key.text();
    if (fields[i].key.text() != text) return false;
    for (std::size_t j = 0; j < i; ++j) {
      if (pairs[j].key.text() == text) return false;
    }
  }
  return true;
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

namespace {

// Which schema fields are indexed, each field's description read once: the
// count first, so that each field is written straight into its place in the
// one block, and the first fields' flags kept (a schema rarely has more).
struct IndexedFields {
  static constexpr std::size_t kKeptFlags = 64;
  std::size_t count = 0;
  uint64_t kept_flags = 0;

  explicit IndexedFields(std::span<const VmDictPair> fields) {
    for (std::size_t i = 0; i < fields.size(); ++i) {
      if (!event_field_is_indexed(fields[i].value)) continue;
      ++count;
      if (i < kKeptFlags) kept_flags |= uint64_t{1} << i;
    }
  }
  bool indexed(std::size_t i, const VmDictPair& field) const {
    return i < kKeptFlags ? (kept_flags >> i & 1) != 0 : event_field_is_indexed(field.value);
  }
  // True when the indexed fields are the first ones.
  bool first() const { return kept_flags == (uint64_t{1} << count) - 1; }
};

// Each schema field's value put in its slot, indexed fields first: `find`
// gives a str key's position among the payload's `size` keys (`size` when
// absent), `fill(at, slot)` puts the value at a position in a slot.
template <class Find, class Fill>
VmResult<VmEventFields> fields_by_schema(std::span<const VmDictPair> fields, const IndexedFields& flags,
                                         std::size_t size, Find find, Fill fill) {
  VmEventFields out;
  out.indexed_count = flags.count;
  out.all.resize(fields.size());
  std::size_t next_indexed = 0;
  std::size_t next_data = flags.count;
  for (std::size_t i = 0; i < fields.size(); ++i) {
    const VmDictPair& field = fields[i];
    if (!field.key.is(VmKind::String)) return kind_error("event schema keys must be strings, got ", field.key);
    const std::size_t at = find(i, field.key);
    if (at == size) {
      std::string message = "event payload is missing key '";
      message.append(field.key.text());
      message += '\'';
      return vm_error(std::move(message));
    }
    VmDictPair& slot = out.all[flags.indexed(i, field) ? next_indexed++ : next_data++];
    slot.key = field.key;
    fill(at, slot.value);
  }
  if (size > fields.size()) return vm_error("event payload has unexpected keys");
  return out;
}

// The values of a payload's keys handed to the fields they fill. A schema
// naming one field twice fills both from the same key, so a value is moved
// out only the first time and later fields share what its slot received
// (slots stay put: the block is sized once). Positions past the tracked ones
// are copied, which is always right.
class GivenValues {
 public:
  explicit GivenValues(std::span<VmValue> values) : values_(values) {}

  void fill(std::size_t at, VmValue& slot) {
    if (at >= kTracked) {
      slot = values_[at];
      return;
    }
    const uint64_t bit = uint64_t{1} << at;
    if ((given_ & bit) != 0) {
      slot = *holder_[at];
      return;
    }
    slot = std::move(values_[at]);
    given_ |= bit;
    holder_[at] = &slot;
  }

 private:
  static constexpr std::size_t kTracked = 64;
  std::span<VmValue> values_;
  uint64_t given_ = 0;
  std::array<const VmValue*, kTracked> holder_;
};

}  // namespace

VmResult<VmEventFields> normalize_event_payload(const VmValue& schema, VmValue payload) {
  if (!schema.is(VmKind::Dict)) return kind_error("event schema must be a dict, got ", schema);
  if (!payload.is(VmKind::Dict)) return kind_error("event payload must be a dict, got ", payload);
  const auto payload_pairs = payload.dict_pairs();
  const auto fields = schema.dict_pairs();
  const IndexedFields flags(fields);
  // A payload no other value holds, written in schema order with the indexed
  // fields first (the usual emission), hands its own block over.
  if (fields.size() <= kScannedPayloadSize && flags.first() && keys_follow_schema(fields, payload_pairs)) {
    if (std::optional<std::vector<VmDictPair>> taken = payload.take_unshared_dict_pairs()) {
      VmEventFields out;
      out.all = std::move(*taken);
      out.indexed_count = flags.count;
      return out;
    }
  }
  return fields_by_schema(
      fields, flags, payload_pairs.size(),
      [&](std::size_t, const VmValue& key) { return find_str_key(payload, payload_pairs, key); },
      [&](std::size_t at, VmValue& slot) { slot = payload_pairs[at].value; });
}

VmResult<VmEventFields> normalize_event_fields(const VmValue& schema, std::span<const VmValue> keys,
                                               std::span<VmValue> values) {
  if (!schema.is(VmKind::Dict)) return kind_error("event schema must be a dict, got ", schema);
  const auto fields = schema.dict_pairs();
  GivenValues given(values);
  // The keys are few and distinct: each is looked for from the field's own
  // position on, where it usually is.
  return fields_by_schema(
      fields, IndexedFields(fields), keys.size(),
      [&](std::size_t i, const VmValue& key) {
        const std::string_view text = key.text();
        for (std::size_t n = 0, at = i; n < keys.size(); ++n, ++at) {
          if (at >= keys.size()) at = 0;
          if (keys[at].text() == text) return at;
        }
        return keys.size();
      },
      [&](std::size_t at, VmValue& slot) { given.fill(at, slot); });
}

VmResult<VmEventFields> EventFieldOrder::normalize(const VmValue& schema, std::span<const VmValue> keys,
                                                   std::span<VmValue> values) {
  if (!holds(schema, keys)) {
    VmResult<VmEventFields> fields = normalize_event_fields(schema, keys, values);
    if (fields.ok()) remember(schema, keys, *fields);
    return fields;
  }
  const auto pairs = schema.dict_pairs();
  VmEventFields out;
  out.indexed_count = indexed_count_;
  out.all.reserve(count_);
  for (std::size_t at = 0; at < count_; ++at) {
    out.all.push_back(VmDictPair{pairs[field_at_[at]].key, std::move(values[key_at_[at]])});
  }
  return out;
}

bool EventFieldOrder::holds(const VmValue& schema, std::span<const VmValue> keys) const {
  if (count_ == 0 || keys.size() != count_ || !schema.is(VmKind::Dict)) return false;
  const auto pairs = schema.dict_pairs();
  if (pairs.data() != schema_pairs_ || pairs.size() != count_) return false;
  for (std::size_t k = 0; k < count_; ++k) {
    if (keys[k].text().data() != key_texts_[k]) return false;
  }
  return true;
}

void EventFieldOrder::remember(const VmValue& schema, std::span<const VmValue> keys, const VmEventFields& fields) {
  count_ = 0;
  const auto pairs = schema.dict_pairs();
  // Kept only when every key filled exactly one field: the fields' keys are
  // the schema's own and each key's text names one of them. A schema naming
  // a field twice fills two fields from one key, which the replay (moving
  // each key's value once) cannot do.
  if (keys.size() > kMaxKeys || pairs.size() != keys.size()) return;
  uint32_t used = 0;
  for (std::size_t at = 0; at < fields.all.size(); ++at) {
    const VmValue& key = fields.all[at].key;
    std::size_t field = 0;
    while (field < pairs.size() && pairs[field].key.text().data() != key.text().data()) ++field;
    std::size_t k = 0;
    while (k < keys.size() && keys[k].text() != key.text()) ++k;
    if (field == pairs.size() || k == keys.size() || (used >> k & 1) != 0) return;
    used |= uint32_t{1} << k;
    field_at_[at] = static_cast<uint8_t>(field);
    key_at_[at] = static_cast<uint8_t>(k);
  }
  schema_ = schema;
  schema_pairs_ = pairs.data();
  for (std::size_t k = 0; k < keys.size(); ++k) {
    keys_[k] = keys[k];
    key_texts_[k] = keys[k].text().data();
  }
  indexed_count_ = fields.indexed_count;
  count_ = keys.size();
}

}  // namespace veln
