// The native stack backstop: where native frames nest (named calls,
// instance builds, a host re-entering the engine), the frame about to nest
// is refused once less than a safety margin of the thread's stack is left,
// with the same error as the call limit. The call limit, counted by the
// interpreter, is the rule and must always trigger first on every path a
// contract controls; this check only turns an overflow the count does not
// foresee (a thread with a small stack, a host whose own frames between
// two nested requests run deep) into a clean failure. It must not be used
// as a limit of its own.
#pragma once

#include <cstdint>

#include "values/sanitized_build.hpp"

namespace veln {

// Stack left free below the deepest checked frame: enough for the deepest
// unchecked path between two checks (one call or build level, reading a
// module of 127 JSON levels, converting a value of 256 levels, a host
// method's Python frames). Measured per level (call_depth_test with the
// in-memory host, bridge_requests_test through the bridge): release about
// 0.7-3.7 KB per call and 4-5.5 KB per build, the ASan/UBSan build about
// 2.7-10 KB per call and 11.5-16 KB per build. 256 levels of the heaviest
// kind then take at most about 4.5 MB under the sanitizers, which leaves
// this margin and the host's own frames room in an 8 MB thread stack: the
// call limit is reached first.
#if defined(VELN_ADDRESS_SANITIZED)
inline constexpr uintptr_t kNativeStackMargin = 1024 * 1024;
#else
inline constexpr uintptr_t kNativeStackMargin = 256 * 1024;
#endif

// The lowest address the calling thread's frames may reach before nesting
// is refused: the low end of its stack plus the margin (half the stack when
// the stack is smaller than twice the margin), 0 when the thread's stack
// cannot be found (then nothing is refused).
uintptr_t native_stack_floor();

// True when the frame of the caller lies below `floor`.
[[gnu::always_inline]] inline bool native_stack_below(uintptr_t floor) {
  return reinterpret_cast<uintptr_t>(__builtin_frame_address(0)) < floor;
}

}  // namespace veln
