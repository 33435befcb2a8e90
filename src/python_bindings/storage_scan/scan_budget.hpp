// ScanBudget: the running count of what one metered hash scan has delivered,
// in entries and in bytes (key plus canonical encoding), refused past 131072
// of either. One budget per scan; it only counts and never charges.
#pragma once

#include <cstdint>
#include <string_view>

#include "values/vm_execution_error.hpp"
#include "values/vm_value.hpp"

namespace veln {

inline constexpr uint64_t kMaxScanBytes = 131072;
inline constexpr uint64_t kMaxScanEntries = 131072;
inline constexpr std::string_view kScanLimitMessage = "hash scan result exceeds allocation limit";

struct ScanBudget {
  uint64_t bytes = 0;
  uint64_t entries = 0;

  // Counts one delivered entry; an encoding error changes nothing.
  VmStatus observe(std::string_view key, const VmValue& value);
};

}  // namespace veln
