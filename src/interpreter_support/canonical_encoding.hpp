// The canonical encoding of a value: compact JSON with sorted, unique keys
// and tagged objects ("__big_int__", "__fixed__", "__time__", "__delta__",
// "__bytes__", "__bytearray__", "__set__", "__frozenset__") for the kinds
// JSON lacks. Its byte length sizes storage, return-value and scan charges
// and the listing limits, so every byte here is part of the cost schedule.
// Lengths are counted without building the text. Knows nothing of meters.
#pragma once

#include <cstdint>
#include <string>

#include "values/vm_execution_error.hpp"
#include "values/vm_value.hpp"

namespace veln {

// The encoded bytes; "cannot encode non-finite float" for NaN or an infinity
// at any depth, "unsupported metering encode value '{}'" for a handle,
// reference, builtin, function, type marker or exception value.
VmResult<std::string> encode_vm_value(const VmValue& value);
// The byte length of encode_vm_value, with the same errors.
VmResult<std::uint64_t> encoded_vm_value_length(const VmValue& value);

}  // namespace veln
