// Bodies of the module's Python functions. Argument texts are borrowed views
// of the callers' str objects (valid for the call); engine results are copied
// into new Python objects only once complete.
#include "python_bindings/python_functions.hpp"

#include <array>
#include <string>

#include "artifacts/contract_artifacts.hpp"
#include "lib/parse_module_ir.hpp"
#include "python_bindings/argument_binding.hpp"
#include "python_bindings/bundle_request.hpp"
#include "python_bindings/exception_classes.hpp"
#include "python_bindings/py_ref.hpp"
#include "python_bindings/python_errors.hpp"
#include "python_bindings/runtime_info/runtime_info.hpp"

namespace veln {
namespace {

PyObject* new_str(std::string_view text) {
  return PyUnicode_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size()));
}

constexpr ParameterSpec kPolicyParameters[] = {
    {"bytecode_version", false, true},
    {"gas_schedule", false, true},
};
constexpr FunctionSignature kPolicySignature{"supports_execution_policy", kPolicyParameters};

constexpr ParameterSpec kModuleIrParameters[] = {
    {"module_ir_json", false, true},
};
constexpr FunctionSignature kModuleIrSignature{"validate_module_ir_json", kModuleIrParameters};

constexpr ParameterSpec kArtifactParameters[] = {
    {"module_name", false, true},
    {"artifacts_json", false, true},
    {"input_source", true, false},
    {"vm_profile", true, false},
};
constexpr FunctionSignature kArtifactSignature{"validate_deployment_artifacts_json", kArtifactParameters};

constexpr ParameterSpec kBundleParameters[] = {
    {"bundle_ir_json", false, true}, {"entry_module", false, true}, {"function_name", false, true},
    {"args", false, true},           {"kwargs", false, true},       {"context", false, true},
    {"host", false, true},           {"meter", true, false},        {"chi_budget_raw", true, false},
    {"transaction_size_bytes", true, false},
};
constexpr FunctionSignature kBundleSignature{"execute_bundle", kBundleParameters};

// {"source": ..., "vm_ir_json": ...}, keys in that order.
PyObject* artifacts_dict(const ContractArtifacts& artifacts) {
  PyRef source(new_str(artifacts.source));
  if (!source) return nullptr;
  PyRef vm_ir_json(new_str(artifacts.vm_ir_json));
  if (!vm_ir_json) return nullptr;
  PyRef dict(PyDict_New());
  if (!dict) return nullptr;
  if (PyDict_SetItemString(dict.get(), "source", source.get()) < 0) return nullptr;
  if (PyDict_SetItemString(dict.get(), "vm_ir_json", vm_ir_json.get()) < 0) return nullptr;
  return dict.release();
}

}  // namespace

PyObject* py_runtime_info_json(PyObject*, PyObject*) noexcept {
  return guard_boundary<PyObject*>(nullptr, [] { return new_str(runtime_info_json_text()); });
}

PyObject* py_supports_execution_policy(PyObject*, PyObject* const* args, Py_ssize_t nargs,
                                       PyObject* kwnames) noexcept {
  std::array<PyObject*, std::size(kPolicyParameters)> slots{};
  if (!bind_arguments(kPolicySignature, args, nargs, kwnames, slots)) return nullptr;
  const auto bytecode_version = convert_str_argument(kPolicySignature, "bytecode_version", slots[0]);
  if (!bytecode_version) return nullptr;
  const auto gas_schedule = convert_str_argument(kPolicySignature, "gas_schedule", slots[1]);
  if (!gas_schedule) return nullptr;
  return PyBool_FromLong(supports_execution_policy(*bytecode_version, *gas_schedule) ? 1 : 0);
}

PyObject* py_validate_module_ir_json(PyObject*, PyObject* const* args, Py_ssize_t nargs,
                                     PyObject* kwnames) noexcept {
  std::array<PyObject*, std::size(kModuleIrParameters)> slots{};
  if (!bind_arguments(kModuleIrSignature, args, nargs, kwnames, slots)) return nullptr;
  const auto text = convert_str_argument(kModuleIrSignature, "module_ir_json", slots[0]);
  if (!text) return nullptr;
  return guard_boundary<PyObject*>(nullptr, [&]() -> PyObject* {
    auto parsed = parse_module_ir(*text);
    if (!parsed.ok()) {
      raise_ir_validation_error(parsed.error());
      return nullptr;
    }
    Py_RETURN_NONE;
  });
}

PyObject* py_validate_deployment_artifacts_json(PyObject*, PyObject* const* args, Py_ssize_t nargs,
                                                PyObject* kwnames) noexcept {
  std::array<PyObject*, std::size(kArtifactParameters)> slots{};
  if (!bind_arguments(kArtifactSignature, args, nargs, kwnames, slots)) return nullptr;
  const auto module_name = convert_str_argument(kArtifactSignature, "module_name", slots[0]);
  if (!module_name) return nullptr;
  const auto artifacts_json = convert_str_argument(kArtifactSignature, "artifacts_json", slots[1]);
  if (!artifacts_json) return nullptr;
  std::optional<std::string_view> input_source;
  if (!convert_optional_str_argument(kArtifactSignature, "input_source", slots[2], input_source)) return nullptr;
  std::optional<std::string_view> vm_profile = kVmProfile;
  if (slots[3] != nullptr) {  // an explicit None is a wrong type here, not "absent"
    vm_profile = convert_str_argument(kArtifactSignature, "vm_profile", slots[3]);
    if (!vm_profile) return nullptr;
  }
  return guard_boundary<PyObject*>(nullptr, [&]() -> PyObject* {
    auto validated = validate_contract_artifacts_json(*module_name, *artifacts_json, input_source, *vm_profile);
    if (!validated.ok()) {
      raise_runtime_execution_error(validated.error().message);
      return nullptr;
    }
    return artifacts_dict(validated.value());
  });
}

PyObject* py_execute_bundle(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
  std::array<PyObject*, std::size(kBundleParameters)> slots{};
  if (!bind_arguments(kBundleSignature, args, nargs, kwnames, slots)) return nullptr;
  BundleRequest request{};
  const auto bundle_ir_json = convert_str_argument(kBundleSignature, "bundle_ir_json", slots[0]);
  if (!bundle_ir_json) return nullptr;
  const auto entry_module = convert_str_argument(kBundleSignature, "entry_module", slots[1]);
  if (!entry_module) return nullptr;
  const auto function_name = convert_str_argument(kBundleSignature, "function_name", slots[2]);
  if (!function_name) return nullptr;
  request.bundle_text = slots[0];
  request.bundle_ir_json = *bundle_ir_json;
  request.entry_module = *entry_module;
  request.function_name = *function_name;
  request.args = slots[3];
  request.kwargs = slots[4];
  request.context = slots[5];
  request.host = slots[6];
  if (slots[7] != nullptr) {
    const auto meter = convert_bool_argument(kBundleSignature, "meter", slots[7]);
    if (!meter) return nullptr;
    request.meter.enabled = *meter;
  }
  if (slots[8] != nullptr) {
    const auto budget = convert_u64_argument("chi_budget_raw", slots[8]);
    if (!budget) return nullptr;
    request.meter.chi_budget = *budget;
  }
  if (slots[9] != nullptr) {
    const auto size = convert_u64_argument("transaction_size_bytes", slots[9]);
    if (!size) return nullptr;
    request.meter.transaction_size_bytes = *size;
  }
  return guard_boundary<PyObject*>(nullptr, [&] { return run_bundle_request(request); });
}

}  // namespace veln
