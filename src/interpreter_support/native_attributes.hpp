// Read-only attributes of date-times (year ... microsecond) and time deltas
// (seconds ... weeks), resolved by name once per read. Values of other kinds
// have no native attributes; methods are not attributes here.
#pragma once

#include <string_view>

#include "values/vm_execution_error.hpp"
#include "values/vm_value.hpp"

namespace veln {

VmResult<VmValue> native_attribute_value(const VmValue& value, std::string_view name);

}  // namespace veln
