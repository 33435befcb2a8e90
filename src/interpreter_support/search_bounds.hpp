// The search window of find/startswith/endswith and list.index: optional
// start and end arguments (any int-compatible value) clamped into [0, n] on
// arbitrary-precision integers, so no argument can overflow.
#pragma once

#include <cstddef>

#include "values/vm_execution_error.hpp"
#include "values/vm_value.hpp"

namespace veln {

struct VmSearchBounds {
  size_t start = 0;
  size_t end = 0;  // never below start
};

// `start`/`end` may be null (absent). Negative bounds count from the end and
// floor at 0, bounds above n become n, an end below start becomes start.
// Errors: "expected int-compatible value, got {}" (start read first).
VmResult<VmSearchBounds> normalize_search_bounds(size_t n, const VmValue* start, const VmValue* end);

}  // namespace veln
