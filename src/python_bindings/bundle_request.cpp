// The request's conversions and its run. A conversion failure that left a
// Python error set (a dict changed while walked, a kwargs key of another
// type) is raised as it is; any other is raised as VmRuntimeExecutionError
// with its message.
#include "python_bindings/bundle_request.hpp"

#include <array>
#include <optional>
#include <string>
#include <utility>

#include "interpreter/call_depth.hpp"
#include "interpreter/native_stack.hpp"
#include "python_bindings/exception_classes.hpp"
#include "python_bindings/py_ref.hpp"
#include "python_bindings/python_bundle_executor.hpp"
#include "python_bindings/python_errors.hpp"
#include "python_bindings/python_host_object.hpp"
#include "python_bindings/request_nesting.hpp"
#include "python_bindings/result_dictionary.hpp"
#include "python_bindings/value_conversion.hpp"

namespace veln {
namespace {

void raise_type_error(const std::string& message) {
  PyRef text(PyUnicode_DecodeUTF8(message.data(), static_cast<Py_ssize_t>(message.size()), "replace"));
  if (text) PyErr_SetObject(PyExc_TypeError, text.get());
}

// Raises a request failure: the Python error already set, else the message
// as VmRuntimeExecutionError.
std::nullptr_t raise_request_failure(const VmExecutionError& error) {
  if (PyErr_Occurred() == nullptr) raise_runtime_execution_error(error.message);
  return nullptr;
}

std::optional<VmArgList> convert_args(PyObject* args) {
  if (!PyList_Check(args)) {
    raise_type_error(not_an_instance_text(args, "list"));
    return std::nullopt;
  }
  PyRef snapshot(PyList_AsTuple(args));
  if (!snapshot) return std::nullopt;
  const Py_ssize_t count = PyTuple_Size(snapshot.get());
  VmArgList converted;
  converted.reserve(static_cast<size_t>(count));
  for (Py_ssize_t i = 0; i < count; ++i) {
    PyRef item = PyRef::borrowed(PyTuple_GetItem(snapshot.get(), i));
    VmResult<VmValue> value = py_to_vm(item.get());
    if (!value.ok()) return raise_request_failure(value.error()), std::nullopt;
    converted.push_back(std::move(value).value());
  }
  return converted;
}

std::optional<VmKwargList> convert_kwargs(PyObject* kwargs) {
  if (!PyDict_Check(kwargs)) {
    raise_type_error(not_an_instance_text(kwargs, "dict"));
    return std::nullopt;
  }
  VmKwargList converted;
  VmStatus walked = walk_dict(kwargs, [&](PyObject* key, PyObject* value) -> VmStatus {
    VmResult<std::string> name = extract_str(key);
    if (!name.ok()) {
      raise_type_error(name.error().message);
      return std::move(name).error();
    }
    VELN_TRY(VmValue converted_value, py_to_vm(value));
    converted.push_back(VmKeywordArg{std::move(name).value(), std::move(converted_value)});
    return Ok{};
  });
  if (!walked.ok()) return raise_request_failure(walked.error()), std::nullopt;
  return converted;
}

// context[key] as a strong reference; nullptr when the key is missing.
VmResult<PyRef> context_item(PyObject* context, const char* key) {
  PyRef py_key(PyUnicode_FromString(key));
  if (!py_key) return vm_error(take_host_error_text());
  PyObject* item = PyDict_GetItemWithError(context, py_key.get());  // borrowed
  if (item == nullptr && PyErr_Occurred() != nullptr) return vm_error(take_host_error_text());
  return PyRef::borrowed(item);
}

VmResult<std::optional<std::string>> context_text(PyObject* context, const char* key) {
  VELN_TRY(PyRef item, context_item(context, key));
  if (!item || item.get() == Py_None) return std::optional<std::string>();
  VELN_TRY(std::string text, extract_str(item.get()));
  return std::optional<std::string>(std::move(text));
}

VmResult<std::optional<std::pair<std::string, std::string>>> context_entry(PyObject* context) {
  using Entry = std::optional<std::pair<std::string, std::string>>;
  VELN_TRY(PyRef item, context_item(context, "entry"));
  if (!item || item.get() == Py_None) return Entry();
  if (!PyTuple_Check(item.get())) return vm_error(not_an_instance_text(item.get(), "tuple"));
  if (PyTuple_Size(item.get()) != 2) return vm_error("context.entry must be a 2-tuple");
  PyRef module = PyRef::borrowed(PyTuple_GetItem(item.get(), 0));
  PyRef function = PyRef::borrowed(PyTuple_GetItem(item.get(), 1));
  VELN_TRY(std::string module_name, extract_str(module.get()));
  VELN_TRY(std::string function_name, extract_str(function.get()));
  return Entry(std::pair(std::move(module_name), std::move(function_name)));
}

VmResult<VmValue> context_value(PyObject* context, const char* key) {
  VELN_TRY(PyRef item, context_item(context, key));
  if (!item) return VmValue::none();
  return py_to_vm(item.get());
}

VmResult<VmExecutionContext> read_context(PyObject* context) {
  VmExecutionContext out;
  VELN_TRY(out.this_contract, context_text(context, "this"));
  VELN_TRY(out.caller, context_text(context, "caller"));
  VELN_TRY(out.signer, context_text(context, "signer"));
  VELN_TRY(out.owner, context_text(context, "owner"));
  VELN_TRY(out.submission_name, context_text(context, "submission_name"));
  VELN_TRY(out.entry, context_entry(context));
  VELN_TRY(out.now, context_value(context, "now"));
  VELN_TRY(out.block_num, context_value(context, "block_num"));
  VELN_TRY(out.block_hash, context_value(context, "block_hash"));
  VELN_TRY(out.chain_id, context_value(context, "chain_id"));
  return out;
}

std::optional<VmExecutionContext> convert_context(PyObject* context) {
  if (!PyDict_Check(context)) {
    raise_type_error(not_an_instance_text(context, "dict"));
    return std::nullopt;
  }
  VmResult<VmExecutionContext> converted = read_context(context);
  if (!converted.ok()) return raise_request_failure(converted.error()), std::nullopt;
  return std::move(converted).value();
}

}  // namespace

PyObject* run_bundle_request(const BundleRequest& request) {
  // A request started by host code of another on this thread runs inside
  // it; its entry call is refused at the limit as a contract failure. Only
  // host code run by a request already refused so (an argument's conversion
  // starting yet another) comes here past the limit: it is refused before
  // any host code runs again, as is a request the native stack could not
  // hold (a backstop only: the count comes first on every build).
  // The budget outlives every value the request makes (the executor's, the
  // converted arguments, the result), so each gives back what it took.
  VmRequestBudgetScope budget(request.meter.enabled);
  RequestNesting nesting;
  if (nesting.calls_before() > kMaxActiveCalls || native_stack_below(native_stack_floor())) {
    raise_runtime_execution_error(kRecursionLimitMessage);
    return nullptr;
  }
  std::optional<VmArgList> args = convert_args(request.args);
  if (!args) return nullptr;
  std::optional<VmKwargList> kwargs = convert_kwargs(request.kwargs);
  if (!kwargs) return nullptr;
  std::optional<VmExecutionContext> context = convert_context(request.context);
  if (!context) return nullptr;

  // The host object and the bundle's str outlive the executor, which is
  // released (with every instance, write and event) before the dictionary is
  // returned. The modules see the str's own UTF-8 bytes, which a str never
  // changes; the reference taken here keeps them whatever host code runs.
  const PyRef bundle_text = PyRef::borrowed(request.bundle_text);
  PythonHostObject host(request.host);
  VmResult<PythonBundleExecutor> executor =
      PythonBundleExecutor::create(request.bundle_ir_json, host, request.meter, BundleText::held_by_caller);
  if (!executor.ok()) return raise_request_failure(executor.error());
  executor.value().nest_in(nesting);
  executor.value().join_budget(budget);
  const BundleExecutionResult result =
      executor.value().execute_entry(request.entry_module, request.function_name, std::move(*args),
                                     std::move(*kwargs), std::move(*context));
  budget.leave();
  return execution_result_to_py(result);
}

}  // namespace veln
