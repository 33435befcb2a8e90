// Event payload normalisation: checks the payload dict of an "event.log.emit"
// call against the event's declared schema and splits it into indexed and
// data fields, both in schema order. Knows nothing of the host or of how
// events are recorded.
#pragma once

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

}  // namespace veln
