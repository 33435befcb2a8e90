// References to another contract's variable or hash, made at run time by
// "storage.foreign_variable.new" / "storage.foreign_hash.new": making them,
// their read methods (get, all) and subscript reads. Every read asks the
// host again (so it sees the request's own writes) and is charged like a
// local storage read. A reference can never write: every write path fails.
#pragma once

#include <string_view>

#include "interpreter/vm_host.hpp"
#include "values/vm_execution_error.hpp"
#include "values/vm_value.hpp"

namespace veln::foreign_storage {

inline constexpr std::string_view kForeignVariable = "ForeignVariable";
inline constexpr std::string_view kForeignHash = "ForeignHash";

// The constructor of either kind (`kind_name` is kForeignVariable or
// kForeignHash): (contract, name, foreign_contract, foreign_name) by
// position or keyword; only the last two are used and both must be
// identifiers. Charges nothing and looks nothing up.
VmResult<VmValue> new_reference(std::string_view kind_name, VmArgList args, VmKwargList kwargs);
// A method called on a reference (from the native attribute call path):
// get() of a variable, all(*prefix) of a hash; writes are refused.
VmResult<VmValue> call_method(const VmValue& reference, std::string_view method, VmArgList args, VmKwargList kwargs,
                              VmHost& host);
// reference[key] (from the subscript read path): 1280, the host's entry
// (None when absent), then its read charge.
VmResult<VmValue> read_hash(const VmValue& reference, const VmValue& key, VmHost& host);

}  // namespace veln::foreign_storage
