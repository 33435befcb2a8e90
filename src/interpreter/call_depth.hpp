// The limit on active calls: module function calls, calls through function
// values and cross-contract calls count together, the entry call first. The
// count travels with a cross-contract request (VmContractCall::call_depth)
// so the callee instance continues it.
#pragma once

#include <cstdint>
#include <string_view>

#include "values/vm_execution_error.hpp"

namespace veln {

inline constexpr uint32_t kMaxActiveCalls = 256;
inline constexpr std::string_view kRecursionLimitMessage = "RecursionError('maximum recursion depth exceeded')";

// Checked at the start of each named function call, before the function is
// looked up or charged: fails when `active` calls are already running.
inline VmStatus check_call_depth(uint32_t active) {
  if (active >= kMaxActiveCalls) return vm_error(std::string(kRecursionLimitMessage));
  return Ok{};
}

}  // namespace veln
