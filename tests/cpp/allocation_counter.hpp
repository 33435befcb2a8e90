// Counts heap allocations of a test executable: the global operator new is
// replaced (allocation_counter.cpp, linked into the suites that count), and
// GMP is pointed at counting memory functions, so big-integer temporaries
// count too. The largest single operator new is kept as well.
#pragma once

#include <gmp.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <new>

namespace veln::allocation_counter {
inline size_t g_allocations = 0;
inline size_t g_largest_new = 0;
// The nothrow forms of operator new refuse (return null) above this size,
// as when the process is short of memory: code whose outcome must not
// change with that is checked with a small limit.
inline size_t g_refuse_nothrow_above = SIZE_MAX;

// Number of allocations made while `f` runs.
template <class F>
size_t allocations_during(F&& f) {
  const size_t before = g_allocations;
  f();
  return g_allocations - before;
}

inline void* counted_malloc(std::size_t n) {
  ++g_allocations;
  return std::malloc(n ? n : 1);
}
inline void* gmp_allocate(std::size_t n) {
  void* p = counted_malloc(n);
  if (p == nullptr) std::abort();
  return p;
}
inline void* gmp_reallocate(void* p, std::size_t, std::size_t n) {
  ++g_allocations;
  p = std::realloc(p, n);
  if (p == nullptr) std::abort();
  return p;
}
inline void gmp_free(void* p, std::size_t) { std::free(p); }
}  // namespace veln::allocation_counter
