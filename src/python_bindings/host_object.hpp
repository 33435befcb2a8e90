// BundleHostObject: the host object of one execute_bundle request as the
// executor sees it. The extension implements it by calling the Python host's
// methods and converting values both ways; C++ tests implement it in memory.
// Every method returns already converted values, and every failure as the
// message the request reports: a Python exception raised by the host (or by a
// conversion, or by a hasattr test, or while iterating a host result) becomes
// the host-error text "{qualified type name}: {str()}" (": <exception str()
// failed>" when str() itself raises) and is cleared; a host None becomes
// std::nullopt; a result of the wrong type becomes the host-error text of the
// TypeError its conversion raises. This file declares the interface only; it
// must not include the Python/C API.
//
// Trace switches: the interpreter reads the trace environment variables again
// at the start of every call and after every host operation that may run
// Python code; an implementation needs to do nothing for it.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "interpreter/vm_host.hpp"
#include "values/vm_execution_error.hpp"
#include "values/vm_value.hpp"

namespace veln {

// The rows of the host's iter_hash_entries, taken one at a time: the host is
// not asked for a row before the previous one has been merged. Each row is
// converted when it is taken ("hash entry must be a tuple", "hash entry tuples
// must contain key and value", the conversion's messages).
class HostHashEntryStream {
 public:
  virtual ~HostHashEntryStream() = default;
  // The next row, or std::nullopt when the iteration is exhausted.
  virtual VmResult<std::optional<VmHashEntry>> next() = 0;
};

class BundleHostObject {
 public:
  virtual ~BundleHostObject() = default;

  // load_module_ir_json(module): the module IR JSON text, or std::nullopt for
  // None. A result that is not a str fails with the TypeError's host-error
  // text. ("native VM could not load module '{}'" is the executor's.)
  virtual VmResult<std::optional<std::string>> load_module_ir_json(std::string_view module) = 0;

  // get_owner(contract): the owner, or std::nullopt for None; not a str: the
  // TypeError's host-error text.
  virtual VmResult<std::optional<std::string>> get_owner(std::string_view contract) = 0;

  // read_variable(contract, name): the stored value converted to a VmValue,
  // or std::nullopt for None ("unsupported Python value at VM boundary: {}").
  virtual VmResult<std::optional<VmValue>> read_variable(std::string_view contract, std::string_view name) = 0;

  // read_hash(contract, name, key): `key` is converted to Python first (its
  // refusal is the host-error text of the TypeError "unsupported VM value at
  // Python boundary: {}"); then as read_variable.
  virtual VmResult<std::optional<VmValue>> read_hash(std::string_view contract, std::string_view name,
                                                     const VmValue& key) = 0;

  // scan_hash_entries(contract, name, prefix): every row of the host's result
  // converted, in the host's order (no sorting, no check of the keys).
  virtual VmResult<std::vector<VmHashEntry>> scan_hash_entries(std::string_view contract, std::string_view name,
                                                               std::string_view prefix) = 0;

  // hasattr(host, "iter_hash_entries"), asked again at every metered scan.
  virtual VmResult<bool> has_iter_hash_entries() = 0;

  // iter_hash_entries(contract, name, prefix) and iter() of its result; the
  // rows are then taken from the stream. Called only after
  // has_iter_hash_entries() answered true.
  virtual VmResult<std::unique_ptr<HostHashEntryStream>> iter_hash_entries(std::string_view contract,
                                                                           std::string_view name,
                                                                           std::string_view prefix) = 0;

  // handle_syscall(name, list of the converted args, dict of the converted
  // kwargs where a later equal key replaces an earlier one): the result
  // converted, None as the None value. An argument that cannot be converted
  // fails with its host-error text before the host is called.
  virtual VmResult<VmValue> handle_syscall(std::string_view name, VmArgList args, VmKwargList kwargs) = 0;
};

}  // namespace veln
