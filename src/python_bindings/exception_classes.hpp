// The module's two exception classes, VmIrValidationError and
// VmRuntimeExecutionError (both ValueError subclasses reporting their module as
// "veln_vm_core"), and the raising of their errors. A class is created on its
// first use, once per process, and shared by every module object; it is never
// released. Requires the interpreter lock; never throws.
#pragma once

#include <Python.h>

#include <string_view>

namespace veln {

// Borrowed reference to the class, created on first need; nullptr with a
// binding failure set when the class cannot be created.
PyObject* ir_validation_error_class() noexcept;
PyObject* runtime_execution_error_class() noexcept;

// Set the error of that class whose only argument is `message` (decoded as
// UTF-8; an undecodable byte becomes U+FFFD rather than hiding the message).
void raise_ir_validation_error(std::string_view message) noexcept;
void raise_runtime_execution_error(std::string_view message) noexcept;

}  // namespace veln
