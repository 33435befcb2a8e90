// Error plumbing at the Python boundary. PyErr_Fetch/PyErr_Restore are the
// limited-API way (as of 3.11) to hold the raised exception; they are only
// deprecated, not removed, in later versions, hence the local pragma.
#include "python_bindings/python_errors.hpp"

#include <exception>
#include <new>

#include "python_bindings/py_ref.hpp"

namespace veln {
namespace {

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"

// Takes the exception currently set out of the thread state, normalised, with
// its traceback attached; nullptr when none is set.
PyRef take_current_exception() {
  PyObject* type = nullptr;
  PyObject* value = nullptr;
  PyObject* traceback = nullptr;
  PyErr_Fetch(&type, &value, &traceback);
  if (type == nullptr) return PyRef();
  PyErr_NormalizeException(&type, &value, &traceback);
  PyRef owned_type(type);
  PyRef owned_value(value);
  PyRef owned_traceback(traceback);
  if (owned_value && owned_traceback) PyException_SetTraceback(owned_value.get(), owned_traceback.get());
  return owned_value;
}

#pragma GCC diagnostic pop

// Sets `exception` (an exception instance) as the current error.
void restore_exception(PyRef exception) {
  PyErr_SetObject(reinterpret_cast<PyObject*>(Py_TYPE(exception.get())), exception.get());
}

}  // namespace

void add_note_to_current_error(const char* note) noexcept {
  PyRef exception = take_current_exception();
  if (!exception) return;
  PyRef added(PyObject_CallMethod(exception.get(), "add_note", "s", note));
  if (!added) PyErr_Clear();
  restore_exception(std::move(exception));
}

void raise_binding_failure(const char* message) noexcept {
  PyRef cause = take_current_exception();
  PyErr_SetString(PyExc_RuntimeError, message);
  if (!cause) return;
  PyRef failure = take_current_exception();
  if (!failure) return;
  PyException_SetCause(failure.get(), cause.release());  // steals the reference
  restore_exception(std::move(failure));
}

void set_error_from_current_cpp_exception() noexcept {
  try {
    throw;
  } catch (const std::bad_alloc&) {
    PyErr_NoMemory();
  } catch (const std::exception& e) {
    raise_binding_failure(e.what());
  } catch (...) {
    raise_binding_failure("unexpected native failure");
  }
}

}  // namespace veln
