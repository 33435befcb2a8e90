// Search-window clamping on arbitrary-precision integers (see header).
#include "interpreter_support/search_bounds.hpp"

#include <gmpxx.h>

namespace veln {
namespace {

// One bound clamped into [0, n]; inline ints never touch GMP.
VmResult<size_t> clamp_bound(size_t n, const VmValue& bound) {
  if (bound.is(VmKind::Int) && bound.int_is_small()) {
    const int64_t i = bound.small_int();
    if (i >= 0) return static_cast<uint64_t>(i) > n ? n : static_cast<size_t>(i);
    // -i as unsigned is well defined for INT64_MIN too.
    const uint64_t back = 0 - static_cast<uint64_t>(i);
    return back >= n ? size_t{0} : n - static_cast<size_t>(back);
  }
  VELN_TRY(mpz_class value, bound.as_bigint());
  const mpz_class length(static_cast<unsigned long>(n));
  if (value < 0) value += length;
  if (value < 0) return size_t{0};
  if (value > length) return n;
  return static_cast<size_t>(value.get_ui());
}

}  // namespace

VmResult<VmSearchBounds> normalize_search_bounds(size_t n, const VmValue* start, const VmValue* end) {
  VmSearchBounds bounds{0, n};
  if (start) {
    VELN_TRY(bounds.start, clamp_bound(n, *start));
  }
  if (end) {
    VELN_TRY(bounds.end, clamp_bound(n, *end));
  }
  if (bounds.end < bounds.start) bounds.end = bounds.start;
  return bounds;
}

}  // namespace veln
