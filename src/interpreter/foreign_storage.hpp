// References to another contract's variable or hash, made at run time by
// "storage.foreign_variable.new" / "storage.foreign_hash.new": making them,
// their read methods (get, all) and subscript reads. Every read asks the
// host again (so it sees the request's own writes) and is charged like a
// local storage read. A reference can never write: every write path fails.
#pragma once

#include <cstdint>
#include <string_view>

#include "interpreter/vm_host.hpp"
#include "values/vm_execution_error.hpp"
#include "values/vm_value.hpp"

namespace veln {

// The method names a reference answers to, resolved once per call site.
enum class ForeignStorageMethod : std::uint8_t {
  kAll,
  kGet,
  kWrite,  // set, pop, clear, append, extend, update, clone_from, setdefault
  kOther,
};
ForeignStorageMethod foreign_storage_method(std::string_view name);

// The constructor of either kind: (contract, name, foreign_contract,
// foreign_name) by position or keyword; only the last two are used and
// both must be identifiers. Charges nothing and looks nothing up.
VmResult<VmValue> foreign_storage_new_reference(bool is_hash, VmArgList args, VmKwargList kwargs);

// A method call on a reference (`method` is its name as written, for the
// messages; `kind` its resolution).
VmResult<VmValue> foreign_storage_call_method(const VmForeignStorageRef& ref, ForeignStorageMethod kind,
                                              std::string_view method, VmArgList args, VmKwargList kwargs,
                                              VmHost& host);

// ref[key] on a hash reference: 1280, the host's entry (None when absent),
// then its read charge.
VmResult<VmValue> foreign_storage_read_hash(const VmForeignStorageRef& ref, const VmValue& key, VmHost& host);

}  // namespace veln
