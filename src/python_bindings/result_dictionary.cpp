// Builds the result dictionary in its key order: "status_code", "result",
// "snapshots", "storage_writes", "events", "raw_cost", "chi_used",
// "contract_costs". Each nested dict is filled field by field in its own
// fixed order as well; the first failure abandons the whole dictionary.
#include "python_bindings/result_dictionary.hpp"

#include <string_view>

#include "python_bindings/py_ref.hpp"
#include "python_bindings/value_conversion.hpp"

namespace veln {
namespace {

PyObject* new_str(std::string_view text) {
  return PyUnicode_DecodeUTF8(text.data(), static_cast<Py_ssize_t>(text.size()), "surrogatepass");
}

// dict[key] = item, taking over `item` (a new reference or nullptr).
bool set_item(PyObject* dict, const char* key, PyObject* item) {
  PyRef owned(item);
  return owned && PyDict_SetItemString(dict, key, owned.get()) == 0;
}

// dict[text] = item for a text key, taking over `item`.
bool set_text_item(PyObject* dict, std::string_view key, PyObject* item) {
  PyRef owned(item);
  if (!owned) return false;
  PyRef py_key(new_str(key));
  return py_key && PyDict_SetItem(dict, py_key.get(), owned.get()) == 0;
}

bool append(PyObject* list, PyObject* item) {
  PyRef owned(item);
  return owned && PyList_Append(list, owned.get()) == 0;
}

// A dict from text to converted value, in the given order (a later equal key
// replaces the earlier value at the first key's position).
template <class Pairs>
PyObject* text_value_dict(const Pairs& pairs) {
  PyRef dict(PyDict_New());
  if (!dict) return nullptr;
  for (const auto& [key, value] : pairs) {
    if (!set_text_item(dict.get(), key, vm_to_py(value))) return nullptr;
  }
  return dict.release();
}

PyObject* variable_dict(const VmVariableSnapshot& variable) {
  PyRef dict(PyDict_New());
  if (!dict) return nullptr;
  if (!set_item(dict.get(), "binding", new_str(variable.binding)) ||
      !set_item(dict.get(), "default_value", vm_to_py(variable.default_value)) ||
      !set_item(dict.get(), "value", variable.value ? vm_to_py(*variable.value) : Py_NewRef(Py_None))) {
    return nullptr;
  }
  return dict.release();
}

PyObject* hash_dict(const VmHashSnapshot& hash) {
  PyRef dict(PyDict_New());
  if (!dict) return nullptr;
  if (!set_item(dict.get(), "binding", new_str(hash.binding)) ||
      !set_item(dict.get(), "default_value", vm_to_py(hash.default_value)) ||
      !set_item(dict.get(), "entries", text_value_dict(hash.entries))) {
    return nullptr;
  }
  return dict.release();
}

template <class Items, class Convert>
PyObject* list_of(const Items& items, Convert convert) {
  PyRef list(PyList_New(0));
  if (!list) return nullptr;
  for (const auto& item : items) {
    if (!append(list.get(), convert(item))) return nullptr;
  }
  return list.release();
}

PyObject* snapshot_dict(const VmModuleStorageSnapshot& snapshot) {
  PyRef dict(PyDict_New());
  if (!dict) return nullptr;
  if (!set_item(dict.get(), "contract_name", new_str(snapshot.module_name)) ||
      !set_item(dict.get(), "variables", list_of(snapshot.variables, variable_dict)) ||
      !set_item(dict.get(), "hashes", list_of(snapshot.hashes, hash_dict))) {
    return nullptr;
  }
  return dict.release();
}

PyObject* event_dict(const VmEvent& event) {
  PyRef dict(PyDict_New());
  if (!dict) return nullptr;
  if (!set_item(dict.get(), "contract", new_str(event.contract)) ||
      !set_item(dict.get(), "event", new_str(event.event)) ||
      !set_item(dict.get(), "signer", vm_to_py(event.signer)) ||
      !set_item(dict.get(), "caller", vm_to_py(event.caller)) ||
      !set_item(dict.get(), "data_indexed", text_value_dict(event.data_indexed)) ||
      !set_item(dict.get(), "data", text_value_dict(event.data))) {
    return nullptr;
  }
  return dict.release();
}

PyObject* costs_dict(const VmContractCosts& costs) {
  PyRef dict(PyDict_New());
  if (!dict) return nullptr;
  for (const auto& [contract, cost] : costs) {
    if (!set_text_item(dict.get(), contract, PyLong_FromUnsignedLongLong(cost))) return nullptr;
  }
  return dict.release();
}

}  // namespace

PyObject* execution_result_to_py(const BundleExecutionResult& result) {
  PyRef dict(PyDict_New());
  if (!dict) return nullptr;
  if (!set_item(dict.get(), "status_code", PyLong_FromUnsignedLong(result.status_code)) ||
      !set_item(dict.get(), "result", vm_to_py(result.result)) ||
      !set_item(dict.get(), "snapshots", list_of(result.snapshots, snapshot_dict)) ||
      !set_item(dict.get(), "storage_writes", text_value_dict(result.storage_writes)) ||
      !set_item(dict.get(), "events", list_of(result.events, event_dict)) ||
      !set_item(dict.get(), "raw_cost", PyLong_FromUnsignedLongLong(result.raw_cost)) ||
      !set_item(dict.get(), "chi_used", PyLong_FromUnsignedLongLong(result.chi_used)) ||
      !set_item(dict.get(), "contract_costs", costs_dict(result.contract_costs))) {
    return nullptr;
  }
  return dict.release();
}

}  // namespace veln
