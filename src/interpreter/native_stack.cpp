// The native stack backstop (see header): finding the calling thread's
// stack once per thread.
#include "interpreter/native_stack.hpp"

#include <pthread.h>

#include <algorithm>
#include <cstddef>

namespace veln {
namespace {

uintptr_t find_floor() {
  pthread_attr_t attr;
  if (pthread_getattr_np(pthread_self(), &attr) != 0) return 0;
  void* low = nullptr;
  size_t size = 0;
  const int found = pthread_attr_getstack(&attr, &low, &size);
  pthread_attr_destroy(&attr);
  if (found != 0 || low == nullptr) return 0;
  return reinterpret_cast<uintptr_t>(low) + std::min<uintptr_t>(kNativeStackMargin, size / 2);
}

}  // namespace

uintptr_t native_stack_floor() {
  // A thread's stack never moves, and finding it can be slow (for the main
  // thread the C library reads the process's memory map), so each thread
  // finds it once. This per-thread cache is the only state kept: every
  // entry on the thread, re-entrant ones included, sees the same floor.
  thread_local const uintptr_t floor = find_floor();
  return floor;
}

}  // namespace veln
