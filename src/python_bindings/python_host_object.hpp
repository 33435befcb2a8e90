// PythonHostObject: BundleHostObject over the Python object passed as `host`
// to execute_bundle. Each operation calls the host method of the same name
// with positional arguments and converts values both ways; every Python
// exception (from the method, a conversion, the hasattr test or the iteration
// of a result) is cleared and reported as its host-error text.
// Holds a strong reference to the host for the request. Requires the
// interpreter lock for its whole life (it is never released during a request).
#pragma once

#include <Python.h>

#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "python_bindings/host_object.hpp"
#include "python_bindings/py_ref.hpp"

namespace veln {

class PythonHostObject final : public BundleHostObject {
 public:
  explicit PythonHostObject(PyObject* host) : host_(PyRef::borrowed(host)) {}

  VmResult<std::optional<std::string>> load_module_ir_json(std::string_view module) override;
  VmResult<std::optional<std::string>> get_owner(std::string_view contract) override;
  VmResult<std::optional<VmValue>> read_variable(std::string_view contract, std::string_view name) override;
  VmResult<std::optional<VmValue>> read_hash(std::string_view contract, std::string_view name,
                                             const VmValue& key) override;
  VmResult<std::vector<VmHashEntry>> scan_hash_entries(std::string_view contract, std::string_view name,
                                                       std::string_view prefix) override;
  VmResult<bool> has_iter_hash_entries() override;
  VmResult<std::unique_ptr<HostHashEntryStream>> iter_hash_entries(std::string_view contract,
                                                                   std::string_view name,
                                                                   std::string_view prefix) override;
  VmResult<VmValue> handle_syscall(std::string_view name, VmArgList args, VmKwargList kwargs) override;

 private:
  // host.<method>(*args): the result, or the host-error text.
  VmResult<PyRef> call(const char* method, std::span<PyObject* const> args);
  // The same with up to three texts passed as str arguments.
  VmResult<PyRef> call_with_texts(const char* method, std::initializer_list<std::string_view> texts);

  PyRef host_;
};

}  // namespace veln
