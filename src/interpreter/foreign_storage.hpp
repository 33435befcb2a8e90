// Foreign storage references: reads of another contract's variable or hash
// through a reference value made at run time. Every read goes through the
// host and is charged; writes are refused.
#pragma once

#include <string_view>

#include "interpreter/vm_host.hpp"
#include "values/vm_execution_error.hpp"
#include "values/vm_value.hpp"

namespace veln::foreign_storage {

// "storage.foreign_variable.new" / "storage.foreign_hash.new".
VmResult<VmValue> new_reference(std::string_view kind_name, VmArgList args, VmKwargList kwargs);
// A method called on a reference (from the native attribute call path).
VmResult<VmValue> call_method(const VmValue& reference, std::string_view method, VmArgList args, VmKwargList kwargs,
                              VmHost& host);
// reference[key] (from the subscript read path).
VmResult<VmValue> read_hash(const VmValue& reference, const VmValue& key, VmHost& host);

}  // namespace veln::foreign_storage
