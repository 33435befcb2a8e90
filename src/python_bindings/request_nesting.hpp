// RequestNesting: where an execute_bundle request stands among the requests
// active on its thread. A host method (a system call, a storage read, a
// module load) may call execute_bundle again; the new request runs inside
// the one that called the host, so its calls count on top of the calls
// active there and the call limit ends such a chain at the same depth on
// every build, whatever the native stack. This file keeps that count across
// requests and nothing else; it must not include the Python/C API.
#pragma once

#include <cstdint>

namespace veln {

class RequestNesting {
 public:
  // Enters a request on the calling thread: the calls active in the
  // innermost request running there are its calls before (0 on a thread
  // running none).
  RequestNesting();
  // Leaves it: the request it nested in is the thread's innermost again.
  ~RequestNesting();
  RequestNesting(const RequestNesting&) = delete;
  RequestNesting& operator=(const RequestNesting&) = delete;

  // Calls active on the thread, outside this request, when it started.
  uint32_t calls_before() const { return calls_before_; }
  // Where the request's interpreter runs publish their count of active
  // calls (VmHost::active_call_count_slot).
  const uint32_t** active_call_count_slot() { return &running_; }

  // Calls a request started now, from code this request runs, would nest
  // in: those of the innermost call running in it, or, while none runs
  // (its arguments being converted, its entry module being loaded), its
  // entry call, which counts from the request's start to its end so that no
  // chain of requests can nest without adding to the count.
  uint32_t active_calls() const { return running_ != nullptr ? *running_ : calls_before_ + 1; }

 private:
  RequestNesting* outer_;
  uint32_t calls_before_;
  const uint32_t* running_ = nullptr;
};

}  // namespace veln
