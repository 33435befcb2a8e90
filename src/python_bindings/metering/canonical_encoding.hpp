// The canonical encoding of runtime values: compact JSON with sorted keys in
// which the kinds JSON lacks are tagged objects ("__big_int__", "__fixed__",
// "__time__", "__delta__", "__bytes__", "__bytearray__", "__set__",
// "__frozenset__"). Its byte length sizes storage, return-value and scan
// charges, so every byte is part of the cost schedule. Charges need only the
// length: encoded_length counts it without building the text; the tree and
// the text exist for the rare callers that want them. Nothing here charges.
#pragma once

#include <cstdint>
#include <string>

#include "lib/json_value.hpp"
#include "values/vm_execution_error.hpp"
#include "values/vm_value.hpp"

namespace veln {

// The JSON tree of a value. Fails with "cannot encode non-finite float" or
// "unsupported metering encode value '{}'" at the first offending item, in
// the order the items are converted (dict pairs in order, values whose key a
// later pair replaces included).
VmResult<JsonValue> vm_value_to_json(const VmValue& value);

// The compact text of vm_value_to_json.
VmResult<std::string> encode_vm_value(const VmValue& value);

// The byte length of encode_vm_value, with the same errors, without building
// the tree or the text.
VmResult<uint64_t> encoded_length(const VmValue& value);

// The member name a dict key takes in the encoding (never fails).
std::string encoding_key_text(const VmValue& key);

}  // namespace veln
