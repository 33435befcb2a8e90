// Event payload normalisation: checks the payload dict of an "event.log.emit"
// call against the event's declared schema and splits it into indexed and
// data fields, both in schema order. Knows nothing of the host or of how
// events are recorded.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "values/vm_event.hpp"
#include "values/vm_execution_error.hpp"
#include "values/vm_value.hpp"

namespace veln {

// True when a schema field description is a dict whose "idx" entry is the
// boolean True itself (structurally: 1 does not count).
bool event_field_is_indexed(const VmValue& description);

// Every schema key must be a str present in the payload (matched
// structurally), and the payload may hold nothing else.
VmResult<VmEventFields> normalize_event_payload(const VmValue& schema, VmValue payload);

// The same for a payload given as distinct str keys and their values (taken
// over), as a dict of them would be checked.
VmResult<VmEventFields> normalize_event_fields(const VmValue& schema, std::span<const VmValue> keys,
                                               std::span<VmValue> values);

// normalize_event_fields for the events of one instance, remembering how the
// last keys that fitted a schema filled it: the same schema value with the
// same key values again fills it in the same order without reading the
// schema. It holds both (so neither can change or be replaced while held);
// nothing lives longer than the instance.
class EventFieldOrder {
 public:
  static constexpr std::size_t kMaxKeys = 8;

  VmResult<VmEventFields> normalize(const VmValue& schema, std::span<const VmValue> keys, std::span<VmValue> values);

 private:
  bool holds(const VmValue& schema, std::span<const VmValue> keys) const;
  void remember(const VmValue& schema, std::span<const VmValue> keys, const VmEventFields& fields);

  VmValue schema_;
  const VmDictPair* schema_pairs_ = nullptr;
  std::array<VmValue, kMaxKeys> keys_;
  std::array<const char*, kMaxKeys> key_texts_{};
  std::size_t count_ = 0;
  std::size_t indexed_count_ = 0;
  // Per place in the event's block: the schema field and the key filling it.
  std::array<uint8_t, kMaxKeys> field_at_{};
  std::array<uint8_t, kMaxKeys> key_at_{};
};

}  // namespace veln
