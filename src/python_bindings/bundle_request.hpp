// One execute_bundle request after its parameters are bound: the positional
// and keyword arguments and the context converted into engine values (in that
// order; the first bad input is the one raised), the executor built from the
// bundle over the Python host, the entry call run and its result dictionary
// built. Nothing runs on the host before every conversion and the bundle read
// have succeeded, and nothing of the request outlives the call.
// Requires the interpreter lock, which is held throughout; never throws but
// std::bad_alloc.
#pragma once

#include <Python.h>

#include <string_view>

#include "python_bindings/metering/vm_meter.hpp"

namespace veln {

struct BundleRequest {
  PyObject* bundle_text;  // borrowed; the str whose UTF-8 bytes bundle_ir_json views
  std::string_view bundle_ir_json;
  std::string_view entry_module;
  std::string_view function_name;
  PyObject* args;     // borrowed, for the call
  PyObject* kwargs;   // borrowed
  PyObject* context;  // borrowed
  PyObject* host;     // borrowed; the executor takes its own reference
  VmMeterSettings meter;
};

// The result dictionary, or nullptr with the error set: TypeError for
// arguments of the wrong Python type, VmRuntimeExecutionError for values,
// context fields or a bundle that cannot be converted or read, RuntimeError
// when Python code run by a conversion changed a dict being walked.
PyObject* run_bundle_request(const BundleRequest& request);

}  // namespace veln
