// The dictionary execute_bundle returns: status, result, storage snapshots,
// recorded writes, events and costs, built from the executor's
// BundleExecutionResult with every value converted by vm_to_py. Key order is
// part of the interface. Requires the interpreter lock; never throws but
// std::bad_alloc.
#pragma once

#include <Python.h>

#include "python_bindings/python_bundle_executor.hpp"

namespace veln {

// A new dict, or nullptr with the error of the first value vm_to_py refuses
// (everything built so far is released).
PyObject* execution_result_to_py(const BundleExecutionResult& result);

}  // namespace veln
