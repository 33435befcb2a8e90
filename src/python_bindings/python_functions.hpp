// The module's Python functions, as CPython calls them: runtime_info_json
// takes no arguments, the others use the fast-call convention with keywords.
// Each converts its arguments, calls into the engine and builds its result;
// nothing survives a call. They never throw and release every reference they
// take on every path.
#pragma once

#include <Python.h>

namespace veln {

PyObject* py_runtime_info_json(PyObject* module, PyObject* unused) noexcept;
PyObject* py_supports_execution_policy(PyObject* module, PyObject* const* args, Py_ssize_t nargs,
                                       PyObject* kwnames) noexcept;
PyObject* py_validate_module_ir_json(PyObject* module, PyObject* const* args, Py_ssize_t nargs,
                                     PyObject* kwnames) noexcept;
PyObject* py_validate_deployment_artifacts_json(PyObject* module, PyObject* const* args, Py_ssize_t nargs,
                                                PyObject* kwnames) noexcept;
PyObject* py_execute_bundle(PyObject* module, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept;

}  // namespace veln
