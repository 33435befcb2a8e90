// VmMeter's value-sized charges and its contract frames. The frame rules
// attribute a closed frame's own cost (elapsed minus its direct children's
// own costs) to its contract and to its parent's child cost, which is why
// costs two levels down count for both contracts: reports depend on it.
#include "python_bindings/metering/vm_meter.hpp"

#include <algorithm>

#include "interpreter_support/canonical_encoding.hpp"

namespace veln {

VmStatus VmMeter::charge_read(std::string_view key, const VmValue& value) {
  if (!enabled_) return Ok{};
  VELN_TRY(uint64_t n, encoded_vm_value_length(value));
  // Both terms are sizes of values held in memory: far from overflowing.
  return charge(kReadCostPerByte * (key.size() + n));
}

VmStatus VmMeter::charge_write(std::string_view key, const VmValue& value) {
  if (!enabled_) return Ok{};
  VELN_TRY(uint64_t encoded, encoded_vm_value_length(value));
  const uint64_t n = key.size() + encoded;
  uint64_t total;
  if (__builtin_add_overflow(write_bytes_, n, &total)) return vm_error(std::string(kWriteCapMessage));
  write_bytes_ = total;
  if (write_bytes_ >= kMaxWriteBytesPerTransaction) return vm_error(std::string(kWriteCapMessage));
  return charge(kWriteCostPerByte * n);  // n < 131072 here
}

VmStatus VmMeter::charge_return_value(const VmValue& value) {
  if (!enabled_) return Ok{};
  VELN_TRY(uint64_t n, encoded_vm_value_length(value));
  return charge(n);
}

void VmMeter::begin_contract_metering(std::string_view contract) {
  if (!enabled_) return;
  frames_.clear();
  frames_.push_back({std::string(contract), raw_cost_, 0});
  entered_.clear();
  contract_costs_.clear();
}

void VmMeter::enter_contract_metering(std::string_view contract) {
  if (!enabled_) return;
  if (!frames_.empty() && frames_.back().contract == contract) {
    entered_.push_back(false);  // a contract calling itself stays in its frame
    return;
  }
  frames_.push_back({std::string(contract), raw_cost_, 0});
  entered_.push_back(true);
}

void VmMeter::exit_contract_metering() {
  if (!enabled_ || entered_.empty()) return;
  const bool opened = entered_.back();
  entered_.pop_back();
  if (opened) close_innermost_frame();
}

void VmMeter::close_innermost_frame() {
  if (frames_.empty()) return;
  ContractMeterFrame frame = std::move(frames_.back());
  frames_.pop_back();
  const uint64_t elapsed = raw_cost_ >= frame.start_raw ? raw_cost_ - frame.start_raw : 0;
  const uint64_t own = elapsed >= frame.child_cost ? elapsed - frame.child_cost : 0;
  // Sums wrap past 2^64 - 1, reachable only when the raw count itself is
  // that close to the limit.
  contract_costs_[frame.contract] += own;
  if (!frames_.empty()) {
    uint64_t& child = frames_.back().child_cost;
    if (__builtin_add_overflow(child, own, &child)) child = UINT64_MAX;
  }
}

VmContractCosts VmMeter::finalize_contracts(std::string_view entry) {
  while (!frames_.empty()) close_innermost_frame();
  auto it = contract_costs_.find(entry);
  if (it == contract_costs_.end()) it = contract_costs_.emplace(std::string(entry), 0).first;
  it->second += kEntryBaseCost;
  VmContractCosts out = std::move(contract_costs_);
  contract_costs_.clear();
  entered_.clear();
  return out;
}

uint64_t chi_used_for(uint64_t raw_cost, uint64_t chi_budget) {
  constexpr uint64_t kLargeRawCost = 50'000'000'000;
  const uint64_t metered = raw_cost / 1000 + 5;
  if (chi_budget == 0) return metered;
  if (raw_cost > kLargeRawCost) return chi_budget / 1000;
  return std::min(metered, chi_budget / 1000);
}

}  // namespace veln
