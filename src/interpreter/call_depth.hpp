// The limit on active calls: module function calls, calls through function
// values and cross-contract calls count together, the entry call first. The
// count travels with a cross-contract request (VmContractCall::call_depth)
// so the callee instance continues it. The check is made at the start of
// each named function call, before the function is looked up or charged.
// Building an instance counts as one active call while it runs, checked
// when the build starts (module_instance.cpp). A run publishes its count
// to the host (VmHost::active_call_count_slot), so that a request a host
// method starts continues it.
#pragma once

#include <cstdint>
#include <string_view>

#include "values/vm_execution_error.hpp"

namespace veln {

inline constexpr uint32_t kMaxActiveCalls = 256;
inline constexpr std::string_view kRecursionLimitMessage = "RecursionError('maximum recursion depth exceeded')";

// The error of a call or build refused at the limit.
[[gnu::noinline, gnu::cold]] VmExecutionError recursion_limit();

}  // namespace veln
