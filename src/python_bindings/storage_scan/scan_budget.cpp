// ScanBudget::observe. Counts saturate rather than wrap, so a refused scan
// stays refused.
#include "python_bindings/storage_scan/scan_budget.hpp"

#include "interpreter_support/canonical_encoding.hpp"

namespace veln {

namespace {
uint64_t saturating_add(uint64_t a, uint64_t b) {
  uint64_t sum;
  return __builtin_add_overflow(a, b, &sum) ? UINT64_MAX : sum;
}
}  // namespace

VmStatus ScanBudget::observe(std::string_view key, const VmValue& value) {
  VELN_TRY(uint64_t n, encoded_vm_value_length(value));
  bytes = saturating_add(saturating_add(bytes, key.size()), n);
  entries = saturating_add(entries, 1);
  if (bytes > kMaxScanBytes || entries > kMaxScanEntries) return vm_error(std::string(kScanLimitMessage));
  return Ok{};
}

}  // namespace veln
