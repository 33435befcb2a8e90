// Start-up of the extension module veln_vm_core._native: the module
// definition (multi-phase initialisation, no per-module state), the execution
// step that adds the exception classes and functions in their fixed order, and
// the initialiser. It keeps no state of its own; nothing here may run engine
// work or leave a C++ exception to the interpreter.
#include <Python.h>

#include "python_bindings/exception_classes.hpp"
#include "python_bindings/py_ref.hpp"
#include "python_bindings/python_errors.hpp"
#include "python_bindings/python_functions.hpp"

// The interpreter-lock slot exists from CPython 3.13 on; its numbers are
// fixed by the stable ABI, so an older header may lack the names.
#ifndef Py_mod_gil
#define Py_mod_gil 4
#endif
#ifndef Py_MOD_GIL_NOT_USED
#define Py_MOD_GIL_NOT_USED ((void*)1)
#endif

namespace veln {
namespace {

template <class F>
PyCFunction as_method(F* function) {
  // CPython calls through the pointer with the signature that ml_flags names.
  return reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(function));
}

// Registration order is part of the interface: the exception classes, then
// these functions in this order.
PyMethodDef kFunctions[] = {
    {"runtime_info_json", as_method(&py_runtime_info_json), METH_NOARGS, "runtime_info_json()\n--\n\n"},
    {"supports_execution_policy", as_method(&py_supports_execution_policy), METH_FASTCALL | METH_KEYWORDS,
     "supports_execution_policy(bytecode_version, gas_schedule)\n--\n\n"},
    {"validate_module_ir_json", as_method(&py_validate_module_ir_json), METH_FASTCALL | METH_KEYWORDS,
     "validate_module_ir_json(module_ir_json)\n--\n\n"},
    {"validate_deployment_artifacts_json", as_method(&py_validate_deployment_artifacts_json),
     METH_FASTCALL | METH_KEYWORDS,
     "validate_deployment_artifacts_json(module_name, artifacts_json, *, input_source=None, "
     "vm_profile=\"veln_vm_v1\")\n--\n\n"},
    {"execute_bundle", as_method(&py_execute_bundle), METH_FASTCALL | METH_KEYWORDS,
     "execute_bundle(bundle_ir_json, entry_module, function_name, args, kwargs, context, host, *, meter=False, "
     "chi_budget_raw=0, transaction_size_bytes=0)\n--\n\n"},
    {nullptr, nullptr, 0, nullptr},
};

int add_exception_class(PyObject* module, const char* name, PyObject* cls) {
  if (cls == nullptr) return -1;  // the binding failure is already set
  return PyModule_AddObjectRef(module, name, cls);
}

int exec_native_module(PyObject* module) noexcept {
  return guard_boundary(-1, [module] {
    if (!PyModule_Check(module)) {
      PyRef type_name(PyType_GetName(Py_TYPE(module)));
      if (type_name) {
        PyErr_Format(PyExc_TypeError, "'%U' object is not an instance of '%s'", type_name.get(), "module");
      }
      return -1;
    }
    if (add_exception_class(module, "VmIrValidationError", ir_validation_error_class()) < 0) return -1;
    if (add_exception_class(module, "VmRuntimeExecutionError", runtime_execution_error_class()) < 0) return -1;
    return PyModule_AddFunctions(module, kFunctions);
  });
}

// Two definitions that differ only in the interpreter-lock declaration:
// CPython before 3.13 refuses an unknown slot, so the slot is offered only to
// an interpreter that knows it.
PyModuleDef_Slot kSlots[] = {
    {Py_mod_exec, reinterpret_cast<void*>(&exec_native_module)},
    {0, nullptr},
};
PyModuleDef_Slot kSlotsWithoutGil[] = {
    {Py_mod_exec, reinterpret_cast<void*>(&exec_native_module)},
    {Py_mod_gil, Py_MOD_GIL_NOT_USED},
    {0, nullptr},
};

PyModuleDef kModule = {PyModuleDef_HEAD_INIT, "_native", "", 0, nullptr, kSlots, nullptr, nullptr, nullptr};
PyModuleDef kModuleWithoutGil = {
    PyModuleDef_HEAD_INIT, "_native", "", 0, nullptr, kSlotsWithoutGil, nullptr, nullptr, nullptr};

}  // namespace
}  // namespace veln

PyMODINIT_FUNC PyInit__native(void) {
  constexpr unsigned long kFirstVersionWithGilSlot = 0x030D0000;
  return PyModuleDef_Init(Py_Version >= kFirstVersionWithGilSlot ? &veln::kModuleWithoutGil : &veln::kModule);
}
