// Membership ("in") of contract code: substrings of str, bytes and byte runs
// of bytes-likes, value-equal items of sets, lists and tuples, value-equal
// keys of dicts. The answer (and any comparison error) is the one of scanning
// the items in stored order up to the first match.
// Dict membership is by value equality, unlike dict lookup (structural).
#pragma once

#include "values/vm_execution_error.hpp"
#include "values/vm_value.hpp"

namespace veln {

// Whether `needle` is in `container`.
VmResult<bool> contains_value(const VmValue& container, const VmValue& needle);

}  // namespace veln
