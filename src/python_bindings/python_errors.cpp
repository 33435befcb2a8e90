// Error plumbing at the Python boundary. PyErr_Fetch/PyErr_Restore are the
// limited-API way (as of 3.11) to hold the raised exception; they are only
// deprecated, not removed, in later versions, hence the local pragma.
#include "python_bindings/python_errors.hpp"

#include <exception>
#include <new>
#include <string>

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

std::string take_host_error_text() {
  PyRef exception = take_current_exception();
  if (!exception) return "<exception str() failed>";
  std::string text;
  PyRef qualified_name(PyType_GetQualName(Py_TYPE(exception.get())));
  if (qualified_name) {
    text = lossy_utf8(qualified_name.get());
  } else {
    PyErr_Clear();
    text = "<unknown-python-type>";
  }
  text += ": ";
  PyRef str(PyObject_Str(exception.get()));
  if (str) {
    text += lossy_utf8(str.get());
  } else {
    PyErr_Clear();
    text += "<exception str() failed>";
  }
  return text;
}

std::string lossy_utf8(PyObject* text) {
  Py_ssize_t size = 0;
  if (const char* data = PyUnicode_AsUTF8AndSize(text, &size)) return std::string(data, static_cast<size_t>(size));
  PyErr_Clear();
  // Lone surrogates: encoded as such (three bytes each, ED A0..BF xx), then
  // each replaced by U+FFFD.
  PyRef encoded(PyUnicode_AsEncodedString(text, "utf-8", "surrogatepass"));
  char* data = nullptr;
  if (!encoded || PyBytes_AsStringAndSize(encoded.get(), &data, &size) < 0) {
    PyErr_Clear();
    return "\xEF\xBF\xBD";
  }
  std::string out;
  out.reserve(static_cast<size_t>(size));
  for (Py_ssize_t i = 0; i < size; ++i) {
    const auto byte = static_cast<unsigned char>(data[i]);
    if (byte == 0xED && i + 2 < size && (static_cast<unsigned char>(data[i + 1]) & 0xE0) == 0xA0) {
      out += "\xEF\xBF\xBD";
      i += 2;
    } else {
      out += static_cast<char>(byte);
    }
  }
  return out;
}

std::string python_type_name(PyObject* value) {
  PyRef name(PyType_GetName(Py_TYPE(value)));
  if (name && PyUnicode_Check(name.get())) {
    Py_ssize_t size = 0;
    if (const char* data = PyUnicode_AsUTF8AndSize(name.get(), &size)) return std::string(data, static_cast<size_t>(size));
  }
  PyErr_Clear();
  return "<unknown-python-type>";
}

std::string not_an_instance_text(PyObject* value, std::string_view expected) {
  std::string text = "'";
  if (value == Py_None) {
    text += "None' is not an instance of '";
  } else {
    text += python_type_name(value);
    text += "' object is not an instance of '";
  }
  text += expected;
  text += '\'';
  return text;
}

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
