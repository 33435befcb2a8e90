// Calls into the Python host object. Texts go to the host as str objects and
// values through vm_to_py; results come back through py_to_vm, with the
// host's None meaning "nothing". Python errors never stay set after an
// operation returns: each becomes the failure's host-error text.
#include "python_bindings/python_host_object.hpp"

#include <array>

#include "python_bindings/python_errors.hpp"
#include "python_bindings/value_conversion.hpp"

namespace veln {
namespace {

VmExecutionError host_failure() { return vm_error(take_host_error_text()); }

PyObject* new_str(std::string_view text) {
  return PyUnicode_DecodeUTF8(text.data(), static_cast<Py_ssize_t>(text.size()), "surrogatepass");
}

// A host result that is a text or None.
VmResult<std::optional<std::string>> optional_text(const PyRef& result) {
  if (result.get() == Py_None) return std::optional<std::string>();
  VELN_TRY(std::string text, extract_str(result.get()));
  return std::optional<std::string>(std::move(text));
}

// A host result that is a value or None (absent).
VmResult<std::optional<VmValue>> optional_value(const PyRef& result) {
  if (result.get() == Py_None) return std::optional<VmValue>();
  VmResult<VmValue> value = py_to_vm(result.get());
  if (!value.ok()) return settle_host_conversion(std::move(value).error());
  return std::optional<VmValue>(std::move(value).value());
}

class PythonHashEntryStream final : public HostHashEntryStream {
 public:
  explicit PythonHashEntryStream(PyRef iterator) : iterator_(std::move(iterator)) {}

  VmResult<std::optional<VmHashEntry>> next() override {
    PyRef row(PyIter_Next(iterator_.get()));
    if (!row) {
      if (PyErr_Occurred() != nullptr) return host_failure();
      return std::optional<VmHashEntry>();
    }
    VmResult<VmHashEntry> entry = py_hash_entry_to_vm(row.get());
    if (!entry.ok()) return settle_host_conversion(std::move(entry).error());
    return std::optional<VmHashEntry>(std::move(entry).value());
  }

 private:
  PyRef iterator_;
};

}  // namespace

VmResult<PyRef> PythonHostObject::call(const char* method, std::span<PyObject* const> args) {
  PyRef bound(PyObject_GetAttrString(host_.get(), method));
  if (!bound) return host_failure();
  PyRef tuple(PyTuple_New(static_cast<Py_ssize_t>(args.size())));
  if (!tuple) return host_failure();
  for (size_t i = 0; i < args.size(); ++i) {
    Py_INCREF(args[i]);
    PyTuple_SetItem(tuple.get(), static_cast<Py_ssize_t>(i), args[i]);  // steals the reference just added
  }
  PyRef result(PyObject_CallObject(bound.get(), tuple.get()));
  if (!result) return host_failure();
  return result;
}

VmResult<PyRef> PythonHostObject::call_with_texts(const char* method, std::initializer_list<std::string_view> texts) {
  std::array<PyRef, 3> strs;
  std::array<PyObject*, 3> args{};
  size_t count = 0;
  for (std::string_view text : texts) {
    strs[count] = PyRef(new_str(text));
    if (!strs[count]) return host_failure();
    args[count] = strs[count].get();
    ++count;
  }
  return call(method, std::span<PyObject* const>(args.data(), count));
}

VmResult<std::optional<std::string>> PythonHostObject::load_module_ir_json(std::string_view module) {
  VELN_TRY(PyRef result, call_with_texts("load_module_ir_json", {module}));
  return optional_text(result);
}

VmResult<std::optional<std::string>> PythonHostObject::get_owner(std::string_view contract) {
  VELN_TRY(PyRef result, call_with_texts("get_owner", {contract}));
  return optional_text(result);
}

VmResult<std::optional<VmValue>> PythonHostObject::read_variable(std::string_view contract, std::string_view name) {
  VELN_TRY(PyRef result, call_with_texts("read_variable", {contract, name}));
  return optional_value(result);
}

VmResult<std::optional<VmValue>> PythonHostObject::read_hash(std::string_view contract, std::string_view name,
                                                             const VmValue& key) {
  PyRef py_key(vm_to_py(key));
  if (!py_key) return host_failure();
  PyRef py_contract(new_str(contract));
  if (!py_contract) return host_failure();
  PyRef py_name(new_str(name));
  if (!py_name) return host_failure();
  VELN_TRY(PyRef result, call("read_hash", std::array{py_contract.get(), py_name.get(), py_key.get()}));
  return optional_value(result);
}

VmResult<std::vector<VmHashEntry>> PythonHostObject::scan_hash_entries(std::string_view contract,
                                                                       std::string_view name,
                                                                       std::string_view prefix) {
  VELN_TRY(PyRef result, call_with_texts("scan_hash_entries", {contract, name, prefix}));
  VmResult<std::vector<VmHashEntry>> entries = py_hash_entries_to_vm(result.get());
  if (!entries.ok()) return settle_host_conversion(std::move(entries).error());
  return entries;
}

VmResult<bool> PythonHostObject::has_iter_hash_entries() {
  // Python's hasattr: only an AttributeError means "no"; any other error of
  // the lookup is the host's failure.
  PyRef attribute(PyObject_GetAttrString(host_.get(), "iter_hash_entries"));
  if (attribute) return true;
  if (!PyErr_ExceptionMatches(PyExc_AttributeError)) return host_failure();
  PyErr_Clear();
  return false;
}

VmResult<std::unique_ptr<HostHashEntryStream>> PythonHostObject::iter_hash_entries(std::string_view contract,
                                                                                   std::string_view name,
                                                                                   std::string_view prefix) {
  VELN_TRY(PyRef result, call_with_texts("iter_hash_entries", {contract, name, prefix}));
  PyRef iterator(PyObject_GetIter(result.get()));
  if (!iterator) return host_failure();
  return std::unique_ptr<HostHashEntryStream>(new PythonHashEntryStream(std::move(iterator)));
}

VmResult<VmValue> PythonHostObject::handle_syscall(std::string_view name, VmArgList args, VmKwargList kwargs) {
  PyRef py_args(vm_values_to_py_list(args));
  if (!py_args) return host_failure();
  PyRef py_kwargs(PyDict_New());
  if (!py_kwargs) return host_failure();
  for (const VmKeywordArg& kwarg : kwargs) {
    PyRef key(new_str(kwarg.name));
    if (!key) return host_failure();
    PyRef value(vm_to_py(kwarg.value));
    if (!value || PyDict_SetItem(py_kwargs.get(), key.get(), value.get()) < 0) return host_failure();
  }
  PyRef py_name(new_str(name));
  if (!py_name) return host_failure();
  VELN_TRY(PyRef result, call("handle_syscall", std::array{py_name.get(), py_args.get(), py_kwargs.get()}));
  VmResult<VmValue> value = py_to_vm(result.get());
  if (!value.ok()) return settle_host_conversion(std::move(value).error());
  return value;
}

}  // namespace veln
