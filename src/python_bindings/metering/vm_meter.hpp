// VmMeter: the raw cost of one request under the gas schedule "vvm-gas-1":
// the chi budget, the 64-bit overflow guard, the per-transaction write cap,
// and the attribution of cost to contracts through a stack of open frames
// that follows cross-contract calls. Value-sized charges measure the
// canonical encoding. The meter never rolls back and keeps no reference to
// anything; it must not know about hosts, instances or Python.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "interpreter/vm_host.hpp"
#include "values/vm_execution_error.hpp"
#include "values/vm_value.hpp"

namespace veln {

inline constexpr uint64_t kEntryBaseCost = 5000;
inline constexpr uint64_t kContractCallCost = 10000;
inline constexpr uint64_t kMaxWriteBytesPerTransaction = 131072;
inline constexpr uint64_t kReadCostPerByte = 2;
inline constexpr uint64_t kWriteCostPerByte = 25;

inline constexpr std::string_view kOutOfChiMessage = "Out of chi.";
inline constexpr std::string_view kChiOverflowMessage = "chi metering overflow";
inline constexpr std::string_view kWriteCapMessage = "You have exceeded the maximum write capacity per transaction!";

// Per-contract costs; sorted by name so every report lists them alike.
using VmContractCosts = std::map<std::string, uint64_t, std::less<>>;

// What execute_bundle asks of the meter.
struct VmMeterSettings {
  bool enabled = false;
  uint64_t chi_budget = 0;  // raw units; 0: no budget
  uint64_t transaction_size_bytes = 0;
};

struct ContractMeterFrame {
  std::string contract;
  uint64_t start_raw = 0;
  uint64_t child_cost = 0;
};

class VmMeter {
 public:
  VmMeter() = default;
  explicit VmMeter(const VmMeterSettings& settings)
      : chi_budget_(settings.chi_budget),
        transaction_size_bytes_(settings.transaction_size_bytes),
        enabled_(settings.enabled) {
    // A charge fits the counter exactly when charge() would succeed by adding
    // it. With metering off the count is scratch: charge() succeeds without
    // counting, and raw_cost() ignores it.
    counter_.limit = enabled_ && chi_budget_ != 0 ? chi_budget_ : UINT64_MAX;
  }

  // Adds `cost`: "chi metering overflow" (count unchanged) or "Out of chi."
  // (count kept) past a non-zero budget. Inline: it is the interpreter's
  // per-node charge.
  [[gnu::always_inline]] VmStatus charge(uint64_t cost) {
    uint64_t sum;
    if (enabled_ && !__builtin_add_overflow(counter_.used, cost, &sum) && (chi_budget_ == 0 || sum <= chi_budget_))
        [[likely]] {
      counter_.used = sum;
      return Ok{};
    }
    return charge_beyond(cost);
  }
  // The same for a charge that does not simply fit: metering off, an
  // overflow, or a count past the budget.
  [[gnu::noinline]] VmStatus charge_beyond(uint64_t cost) {
    if (!enabled_) {
      counter_.used = 0;  // restarts the scratch count that overflowed into this call
      return Ok{};
    }
    if (cost == 0) return Ok{};
    uint64_t sum;
    if (__builtin_add_overflow(counter_.used, cost, &sum)) return vm_error(std::string(kChiOverflowMessage));
    counter_.used = sum;
    if (chi_budget_ != 0 && counter_.used > chi_budget_) return vm_error(std::string(kOutOfChiMessage));
    return Ok{};
  }
  // 2 x (key bytes + encoded bytes).
  VmStatus charge_read(std::string_view key, const VmValue& value);
  // Counts key bytes + encoded bytes against the write cap, then charges 25
  // per byte.
  VmStatus charge_write(std::string_view key, const VmValue& value);
  // The encoded size of the value returned by the entry call.
  VmStatus charge_return_value(const VmValue& value);

  void begin_contract_metering(std::string_view contract);
  void enter_contract_metering(std::string_view contract);
  void exit_contract_metering();
  // Closes every open frame, adds the entry's 5000 and hands the costs over.
  VmContractCosts finalize_contracts(std::string_view entry);

  bool enabled() const { return enabled_; }
  uint64_t chi_budget() const { return chi_budget_; }
  uint64_t transaction_size_bytes() const { return transaction_size_bytes_; }
  uint64_t raw_cost() const { return enabled_ ? counter_.used : 0; }
  // The raw count as a host charge counter: a charge added to it directly is
  // the same as a successful charge(); any other charge must call charge().
  VmChargeCounter* charge_counter() { return &counter_; }
  uint64_t write_bytes() const { return write_bytes_; }
  const std::vector<ContractMeterFrame>& frames() const { return frames_; }

 private:
  void close_innermost_frame();

  std::vector<ContractMeterFrame> frames_;
  std::vector<bool> entered_;
  VmContractCosts contract_costs_;
  uint64_t chi_budget_ = 0;
  uint64_t transaction_size_bytes_ = 0;
  VmChargeCounter counter_;  // used: the raw count
  uint64_t write_bytes_ = 0;
  bool enabled_ = false;
};

// The chi reported for a raw cost and budget (truncating division).
uint64_t chi_used_for(uint64_t raw_cost, uint64_t chi_budget);

}  // namespace veln
