// Checks of programming errors (never of contract input) that cost nothing in
// the normal build. The sanitizer build defines VELN_DEBUG_CHECKS for every
// target; then reading a VmValue payload of another kind, or the value of a
// failed result, stops the program with a message instead of reading the
// wrong union member or buffer layout. Must not be used for anything contract
// code can cause: those are errors with messages, in every build.
#pragma once

#if defined(VELN_DEBUG_CHECKS)
#include <cstdio>
#include <cstdlib>
#include <string_view>

namespace veln::detail {
[[noreturn]] inline void debug_check_failed(const char* condition, std::string_view detail, const char* function,
                                            const char* file, int line) {
  std::fprintf(stderr, "%s:%d: %s: check '%s' failed (%.*s)\n", file, line, function, condition,
               static_cast<int>(detail.size()), detail.data());
  std::abort();
}
}  // namespace veln::detail

// `what` is evaluated only when the check fails.
#define VELN_DEBUG_CHECK(condition, what) \
  ((condition) ? void(0) : ::veln::detail::debug_check_failed(#condition, (what), __func__, __FILE__, __LINE__))
#else
#define VELN_DEBUG_CHECK(condition, what) ((void)0)
#endif
