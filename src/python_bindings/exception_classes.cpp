// Exception classes behind once-cells. The cells are the module's only
// process-wide objects: written once (the first writer wins) and read-only
// afterwards, so every module object of the process raises and exposes the
// same class. Creation can run Python code (garbage collection may call
// finalisers), so two first uses can overlap; the loser drops its class.
#include "python_bindings/exception_classes.hpp"

#include <atomic>

#include "python_bindings/py_ref.hpp"
#include "python_bindings/python_errors.hpp"

namespace veln {
namespace {

struct ExceptionClassCell {
  const char* qualified_name;
  std::atomic<PyObject*> cls{nullptr};
};

constinit ExceptionClassCell ir_validation_error_cell{"veln_vm_core.VmIrValidationError"};
constinit ExceptionClassCell runtime_execution_error_cell{"veln_vm_core.VmRuntimeExecutionError"};

PyObject* class_of(ExceptionClassCell& cell) noexcept {
  if (PyObject* existing = cell.cls.load(std::memory_order_acquire)) return existing;
  PyObject* created = PyErr_NewException(cell.qualified_name, PyExc_ValueError, nullptr);
  if (created == nullptr) {
    raise_binding_failure("Failed to initialize new exception type.");
    return nullptr;
  }
  PyObject* expected = nullptr;
  if (!cell.cls.compare_exchange_strong(expected, created, std::memory_order_acq_rel)) {
    Py_DECREF(created);
    return expected;
  }
  return created;  // the cell keeps this reference for the life of the process
}

void raise_with(PyObject* cls, std::string_view message) noexcept {
  if (cls == nullptr) return;  // the binding failure is already set
  PyRef text(PyUnicode_DecodeUTF8(message.data(), static_cast<Py_ssize_t>(message.size()), "replace"));
  if (!text) return;
  PyErr_SetObject(cls, text.get());
}

}  // namespace

PyObject* ir_validation_error_class() noexcept { return class_of(ir_validation_error_cell); }

PyObject* runtime_execution_error_class() noexcept { return class_of(runtime_execution_error_cell); }

void raise_ir_validation_error(std::string_view message) noexcept {
  raise_with(ir_validation_error_class(), message);
}

void raise_runtime_execution_error(std::string_view message) noexcept {
  raise_with(runtime_execution_error_class(), message);
}

}  // namespace veln
