// The replaced global allocation functions of the suites that count heap
// allocations (allocation_counter.hpp): linked once per executable, as the
// replacement applies to the whole program.
#include "allocation_counter.hpp"

namespace veln::allocation_counter {
// Installed during static initialisation, before any test runs.
const bool g_gmp_counted = (mp_set_memory_functions(gmp_allocate, gmp_reallocate, gmp_free), true);
}  // namespace veln::allocation_counter

// Every replaceable form but the aligned ones (left to the library, which
// pairs them itself) allocates through counted_malloc and frees with free:
// a suite must never mix the library's operators with these. GCC cannot see
// that the replaced operators belong together once they are inlined.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(std::size_t n) {
  if (n > veln::allocation_counter::g_largest_new) veln::allocation_counter::g_largest_new = n;
  if (void* p = veln::allocation_counter::counted_malloc(n)) return p;
  throw std::bad_alloc();
}
void* operator new[](std::size_t n) { return operator new(n); }
void* operator new(std::size_t n, const std::nothrow_t&) noexcept {
  if (n > veln::allocation_counter::g_refuse_nothrow_above) return nullptr;
  return veln::allocation_counter::counted_malloc(n);
}
void* operator new[](std::size_t n, const std::nothrow_t& t) noexcept { return operator new(n, t); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }
#pragma GCC diagnostic pop
