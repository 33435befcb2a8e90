// Conversion of values across the boundary with the Python host, both ways:
// Python objects into VmValues (request arguments and context, host results)
// and VmValues into Python objects (values handed to the host, the result
// dictionary), including the host's own value classes, recognised by module
// path and class name, and the rows of host hash scans.
// Requires the interpreter lock. Conversions may run Python code (str(),
// attribute reads, iteration, the host classes' constructors); they never let
// a C++ exception out but std::bad_alloc, and keep no state between calls.
#pragma once

#include <Python.h>

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "interpreter/vm_host.hpp"
#include "python_bindings/py_ref.hpp"
#include "values/vm_execution_error.hpp"
#include "values/vm_value.hpp"

namespace veln {

// A Python object as a VmValue (the caller keeps its reference). Python
// errors raised on the way become the failure's message as host-error text
// and are cleared, with one exception: when Python code run by the conversion
// changes a dict while it is being walked, the conversion stops with a
// RuntimeError ("dictionary changed size during iteration", "dictionary keys
// changed during iteration") that is left set, its text also being the
// failure's message. The request raises that error as it is; host call-outs
// report it as host-error text (see settle_host_conversion).
VmResult<VmValue> py_to_vm(PyObject* obj);

// The failure of a conversion made for a host call-out: a RuntimeError left
// set by py_to_vm becomes host-error text like every other host error.
VmExecutionError settle_host_conversion(VmExecutionError error);

// A new reference to the Python form of `value`, or nullptr with the error set
// (TypeError "unsupported VM value at Python boundary: ..." for the kinds that
// have no Python form).
PyObject* vm_to_py(const VmValue& value);
// A new list of the converted values, as vm_to_py converts each.
PyObject* vm_values_to_py_list(std::span<const VmValue> values);

// A str (or subclass) as its UTF-8 text. Otherwise fails with the display
// text of the failed conversion: "TypeError: '<type>' object is not an
// instance of 'str'", or the UnicodeEncodeError's host-error text for a str
// holding lone surrogates.
VmResult<std::string> extract_str(PyObject* obj);

// (__class__.__module__, __class__.__name__) as texts; nullopt when either is
// missing or not a str (the error is cleared).
std::optional<std::pair<std::string, std::string>> python_class_path(PyObject* obj);

// The attribute `name` of `obj` as a signed 64-bit integer (index protocol
// accepted); failures as host-error text.
VmResult<int64_t> extract_i64_attr(PyObject* obj, const char* name);

// One row of a host hash scan, a (str key, value) tuple.
VmResult<VmHashEntry> py_hash_entry_to_vm(PyObject* row);
// Every row of an iterable, in iteration order.
VmResult<std::vector<VmHashEntry>> py_hash_entries_to_vm(PyObject* rows);

// Walks a dict (or subclass) in its order, handing each key and value (strong
// references held for the visit) to `visit`, which returns a VmStatus; its
// first failure ends the walk. Fails with the RuntimeError above, left set,
// when the dict changes size or yields more entries than it held at the start.
template <class Visit>
VmStatus walk_dict(PyObject* dict, Visit&& visit);

// The failure of a dict walk upset by Python code: sets the RuntimeError and
// returns an error with its message.
VmExecutionError dict_changed_error(bool size_changed);

// ---------------------------------------------------------------------------
template <class Visit>
VmStatus walk_dict(PyObject* dict, Visit&& visit) {
  const Py_ssize_t used = PyDict_Size(dict);
  Py_ssize_t remaining = used;
  Py_ssize_t position = 0;
  for (;;) {
    if (PyDict_Size(dict) != used) return dict_changed_error(true);
    if (remaining == -1) return dict_changed_error(false);
    PyObject* key = nullptr;
    PyObject* value = nullptr;
    if (!PyDict_Next(dict, &position, &key, &value)) return Ok{};
    --remaining;
    PyRef strong_key = PyRef::borrowed(key);
    PyRef strong_value = PyRef::borrowed(value);
    VELN_CHECK(visit(strong_key.get(), strong_value.get()));
  }
}

}  // namespace veln
