// Bodies of the module's Python functions. Argument texts are borrowed views
// of the callers' str objects (valid for the call); engine results are copied
// into new Python objects only once complete.
#include "python_bindings/python_functions.hpp"

#include <array>
#include <string>

#include "lib/parse_module_ir.hpp"
#include "python_bindings/argument_binding.hpp"
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

}  // namespace veln
