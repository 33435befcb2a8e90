// Counts heap allocations of a test executable by replacing the global
// operator new. Include it from exactly one source file of an executable of
// its own: the replacement applies to the whole program.
#pragma once

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
}  // namespace veln::allocation_counter

// The replacement pairs malloc with free on purpose; GCC cannot see that the
// two replaced operators belong together once they are inlined.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(std::size_t n) {
  ++veln::allocation_counter::g_allocations;
  if (void* p = std::malloc(n ? n : 1)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
#pragma GCC diagnostic pop
