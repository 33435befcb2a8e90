// The boundary between C++ and CPython for errors: notes on the exception
// being raised, the binding layer's own failure, and the guard that keeps
// every C++ exception from unwinding into the interpreter.
// Everything here runs with the interpreter lock held; nothing throws but
// std::bad_alloc from the helpers that build texts.
#pragma once

#include <Python.h>

#include <string>
#include <string_view>

namespace veln {

// The text of a Python exception raised by host code, as the engine reports
// it: the exception type's qualified name, ": ", and str() of the exception
// ("<exception str() failed>" when str() itself raises). Takes the exception
// currently set and clears it; call only with an exception set.
std::string take_host_error_text();

// The UTF-8 text of a str object; lone surrogates, which have no UTF-8 form,
// become U+FFFD. Never leaves an error set.
std::string lossy_utf8(PyObject* text);

// "'<type>' object is not an instance of '<expected>'", or "'None' is not an
// instance of '<expected>'" for None: the refusal of a value of another type.
std::string not_an_instance_text(PyObject* value, std::string_view expected);

// __name__ of the object's type, or "<unknown-python-type>" when it cannot be
// read as a str (the error is cleared).
std::string python_type_name(PyObject* value);

// Appends `note` to the notes of the exception currently set (it then shows
// under the traceback). The exception stays set; should adding the note fail,
// the original exception is kept as it was.
void add_note_to_current_error(const char* note) noexcept;

// Raises RuntimeError(message): a failure of the binding layer itself rather
// than of the request. An exception already set becomes its __cause__.
void raise_binding_failure(const char* message) noexcept;

// Called inside a catch block: turns the C++ exception being handled into a
// Python error (std::bad_alloc into MemoryError, anything else into a binding
// failure carrying what() when there is one).
void set_error_from_current_cpp_exception() noexcept;

// Runs `body` and returns its result; should a C++ exception escape it, the
// exception becomes a Python error and `on_failure` is returned instead
// (nullptr for functions returning objects, -1 for status codes).
template <class R, class F>
R guard_boundary(R on_failure, F&& body) noexcept {
  try {
    return body();
  } catch (...) {
    set_error_from_current_cpp_exception();
    return on_failure;
  }
}

}  // namespace veln
