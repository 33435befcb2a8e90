// Membership ("in") of contract code: substrings of str, bytes and byte runs
// of bytes-likes, value-equal items of sets, lists and tuples, value-equal
// keys of dicts. The answer (and any comparison error) is the one of scanning
// the items in stored order up to the first match; sets and large dicts give
// it from indexes, texts from a linear-time search.
// Dict membership is by value equality, unlike dict lookup (structural).
#pragma once

#include "values/vm_execution_error.hpp"
#include "values/vm_value.hpp"
#include "values/vm_work_meter.hpp"

namespace veln {

// Whether `needle` is in `container`. The meter counts the comparisons,
// probes and compared bytes.
VmResult<bool> contains_value(const VmValue& container, const VmValue& needle);
VmResult<bool> contains_value(const VmValue& container, const VmValue& needle, VmWorkMeter& meter);

}  // namespace veln
