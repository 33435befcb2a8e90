// Counts heap allocations of a test executable: the global operator new is
// replaced, and GMP is pointed at counting memory functions, so big-integer
// temporaries count too. Include it from exactly one source file of an
// executable: the replacement applies to the whole program.
#pragma once

#include <gmp.h>

#include <cstddef>
#include <cstdlib>
#include <new>

namespace veln::allocation_counter {
inline size_t g_allocations = 0;

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
// Installed during static initialisation, before any test runs.
inline const bool g_gmp_counted = (mp_set_memory_functions(gmp_allocate, gmp_reallocate, gmp_free), true);
}  // namespace veln::allocation_counter

// Every replaceable form but the aligned ones (left to the library, which
// pairs them itself) allocates through counted_malloc and frees with free:
// a suite must never mix the library's operators with these. GCC cannot see
// that the replaced operators belong together once they are inlined.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(std::size_t n) {
  if (void* p = veln::allocation_counter::counted_malloc(n)) return p;
  throw std::bad_alloc();
}
void* operator new[](std::size_t n) { return operator new(n); }
void* operator new(std::size_t n, const std::nothrow_t&) noexcept { return veln::allocation_counter::counted_malloc(n); }
void* operator new[](std::size_t n, const std::nothrow_t&) noexcept { return veln::allocation_counter::counted_malloc(n); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }
#pragma GCC diagnostic pop
