// The safety limits on values that contract code builds (nesting depth and
// size in units) and their checks, for every layer that builds values or
// texts. Fixed constants; nothing here may depend on VmValue.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "values/vm_execution_error.hpp"

namespace veln {

// Safety limits on values built by contract code.
inline constexpr uint32_t kVmMaxDepth = 256;
inline constexpr uint64_t kVmMaxUnits = 4194304;
inline constexpr std::string_view kVmDepthMessage = "value exceeds the maximum allowed nesting depth";
inline constexpr std::string_view kVmSizeMessage = "value exceeds the maximum allowed allocation size";

// Fails with the size message when `units` exceeds the limit.
inline VmStatus vm_check_units(uint64_t units) {
  if (units > kVmMaxUnits) return vm_error(std::string(kVmSizeMessage));
  return Ok{};
}
// Fails with the depth message when `depth` exceeds the limit.
inline VmStatus vm_check_depth(uint64_t depth) {
  if (depth > kVmMaxDepth) return vm_error(std::string(kVmDepthMessage));
  return Ok{};
}
// Depth first, then size: the order every builder uses.
inline VmStatus vm_check_limits(uint64_t units, uint64_t depth) {
  VELN_CHECK(vm_check_depth(depth));
  return vm_check_units(units);
}
// a + b, or UINT64_MAX when that does not fit.
inline uint64_t vm_saturating_add(uint64_t a, uint64_t b) {
  uint64_t r;
  return __builtin_add_overflow(a, b, &r) ? UINT64_MAX : r;
}
// Units of a text of `byte_length` bytes (1 + length), saturating.
inline uint64_t vm_text_units(uint64_t byte_length) {
  return byte_length >= kVmMaxUnits ? kVmMaxUnits + 1 : byte_length + 1;
}

// The longest text a str value can hold (one unit for the value itself).
inline constexpr size_t kVmMaxTextBytes = kVmMaxUnits - 1;

// A message quoting a text that contract code made (a literal, a spec, a
// key) between `before` and `after`; the size message instead when the
// message would pass the limit of a text.
inline VmExecutionError vm_error_quoting_text(std::string_view before, std::string_view text,
                                              std::string_view after = {}) {
  if (text.size() > kVmMaxTextBytes - before.size() - after.size()) return vm_error(std::string(kVmSizeMessage));
  std::string message(before);
  message += text;
  message += after;
  return vm_error(std::move(message));
}

}  // namespace veln
