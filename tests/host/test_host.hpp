// TestHost: an in-memory VmHost for tests, benchmarks and fuzz targets.
// Execution charges are summed into a raw cost (a failed charge included)
// against a budget and, when asked, recorded in order; storage is a map of
// storage keys; events are kept; system calls answer from a script; a
// cross-contract call goes to a callback. Storage charges are logged, not
// priced: their sizing belongs to the bridge's meter.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "interpreter/vm_host.hpp"

namespace veln::testing {

class TestHost final : public VmHost {
 public:
  TestHost() = default;
  TestHost(const TestHost&) = delete;
  TestHost& operator=(const TestHost&) = delete;

  // Settings.
  uint64_t budget = UINT64_MAX;
  bool record_charges = false;
  std::function<VmResult<VmValue>(VmContractCall)> on_call_contract;

  // What the run did. The raw cost is the charge counter's count.
  VmChargeCounter counter;
  uint64_t& raw_cost = counter.used;
  std::vector<uint64_t> charges;        // execution charges in order (record_charges)
  std::vector<std::string> host_calls;  // every other operation, in order: "read_hash c.n:k" ...
  std::map<std::string, VmValue, std::less<>> storage;   // persistent storage by storage key
  std::map<std::string, VmValue, std::less<>> recorded;  // writes recorded in this run
  std::vector<VmEvent> events;
  // Scripted answers per system-call id, used in order: a value, or an error message.
  struct SyscallAnswer {
    std::optional<std::string> error;
    VmValue value;
  };
  std::map<std::string, std::deque<SyscallAnswer>, std::less<>> syscall_answers;
  // The lowest native stack address seen by a charge (stack measurements).
  uintptr_t lowest_stack = UINTPTR_MAX;
  bool measure_stack = false;
  // The count of active calls the interpreter shows (active_call_count_slot)
  // when watched, and what it showed at each charge (0 for none).
  bool watch_active_calls = false;
  const uint32_t* active_calls = nullptr;
  std::vector<uint32_t> active_calls_at_charges;

  // The counter serves charges only when no charge is to be recorded,
  // measured or watched; its limit is the budget.
  VmChargeCounter* execution_charge_counter() override {
    counter.limit = budget;
    return record_charges || measure_stack || watch_active_calls ? nullptr : &counter;
  }
  const uint32_t** active_call_count_slot() override { return watch_active_calls ? &active_calls : nullptr; }
  // The common case is an add and a compare; everything else is out of line.
  VmStatus charge_execution_cost(uint64_t cost) override {
    uint64_t next;
    if (__builtin_add_overflow(raw_cost, cost, &next) || next > budget || record_charges || measure_stack ||
        watch_active_calls)
        [[unlikely]] {
      return charge_in_full(cost);
    }
    raw_cost = next;
    return Ok{};
  }
  VmStatus charge_storage_read(std::string_view key, const VmValue& value) override;
  VmStatus charge_storage_write(std::string_view key, const VmValue& value) override;
  VmStatus record_storage_write(std::string_view key, const VmValue& value) override;
  std::optional<VmValue> read_recorded_storage_write(std::string_view key) override;
  VmStatus emit_event(VmEvent&& event) override;
  VmResult<std::optional<VmValue>> read_variable(std::string_view contract, std::string_view name) override;
  VmResult<std::optional<VmValue>> read_hash(std::string_view contract, std::string_view name,
                                             const VmValue& key) override;
  VmResult<std::vector<VmHashEntry>> scan_hash_entries(std::string_view contract, std::string_view name,
                                                       std::string_view prefix) override;
  VmResult<std::vector<VmHashEntry>> scan_hash_entries_metered(std::string_view contract, std::string_view name,
                                                               std::string_view prefix) override;
  VmResult<std::optional<std::string>> load_owner(std::string_view contract) override;
  VmResult<VmValue> call_contract(VmContractCall call) override;
  VmResult<VmValue> handle_syscall(std::string_view name, VmArgList args, VmKwargList kwargs) override;
  // Scripts and callbacks here never change the environment.
  uint64_t outside_code_runs() override { return 0; }

 private:
  [[gnu::noinline]] VmStatus charge_in_full(uint64_t cost);
};

}  // namespace veln::testing
