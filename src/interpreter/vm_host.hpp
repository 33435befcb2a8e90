// VmHost: the interpreter's one door to the outside. Metering, the storage
// writes recorded in this run, persistent storage, events, owners, other
// contracts and the system calls the interpreter does not serve itself are
// reached only through these 13 operations, in this order. The host is lent
// to each entry call and passed down; no interpreter structure keeps it.
// This file declares the interface and the records that cross it; it must
// not implement any of them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "interpreter_support/ir_argument_readers.hpp"
#include "values/vm_contract_target.hpp"
#include "values/vm_event.hpp"
#include "values/vm_execution_error.hpp"
#include "values/vm_value.hpp"

namespace veln {

// Owned argument lists of a call, in call order.
using VmArgList = std::vector<VmValue>;
using VmKwargList = std::vector<VmKeywordArg>;

// One cross-contract call request: where it goes, what it calls with, and
// the parts of the calling context the callee inherits.
struct VmContractCall {
  VmContractTarget target;
  std::string function;
  VmArgList args;
  VmKwargList kwargs;
  std::optional<std::string> caller;  // the calling contract
  std::optional<std::string> signer;
  std::optional<std::pair<std::string, std::string>> entry;
  std::optional<std::string> submission_name;
  VmValue now;
  VmValue block_num;
  VmValue block_hash;
  VmValue chain_id;
  // Calls active in the calling contract when it made the request (the call
  // limit counts across contracts); the host passes it on to the callee's
  // VmInstance::call_function.
  uint32_t call_depth = 0;
};

// One entry of a hash listing: the key text after the hash's own key and
// ":", and the stored value.
struct VmHashEntry {
  std::string key;
  VmValue value;
};

// An optional fast path for execution charges: a count the interpreter may
// add a charge to directly while the sum stays at or below `limit`. A charge
// that would pass the limit, and every charge when the host offers no
// counter, goes through charge_execution_cost. A host that offers a counter
// must treat a charge added to it exactly as a call of charge_execution_cost
// that succeeds; the interpreter reads both fields at every charge, so the
// host may change them (or the limit) between any two operations.
struct VmChargeCounter {
  uint64_t used = 0;
  uint64_t limit = 0;
};

class VmHost {
 public:
  virtual ~VmHost() = default;

  // The host's charge counter, or nullptr (then every charge is a call).
  // Asked once per entry call; the counter must live as long as the host.
  virtual VmChargeCounter* execution_charge_counter() { return nullptr; }

  // Charges `cost` raw units before the work it prices ("Out of chi.").
  virtual VmStatus charge_execution_cost(uint64_t cost) = 0;
  virtual VmStatus charge_storage_read(std::string_view key, const VmValue& value) = 0;
  virtual VmStatus charge_storage_write(std::string_view key, const VmValue& value) = 0;
  virtual VmStatus record_storage_write(std::string_view key, const VmValue& value) = 0;
  // A copy of the value recorded under `key` in this run, if any. Never fails.
  virtual std::optional<VmValue> read_recorded_storage_write(std::string_view key) = 0;
  // Not an operation: the number of writes recorded so far, or nullptr.
  // A host that offers it promises that read_variable and read_hash answer
  // a recorded write before anything else; an instance that has seen every
  // recorded write made through itself then skips read_recorded_storage_write
  // for the values it holds. The count must live as long as the host.
  virtual const uint64_t* recorded_write_count() { return nullptr; }
  virtual VmStatus emit_event(VmEvent&& event) = 0;
  virtual VmResult<std::optional<VmValue>> read_variable(std::string_view contract, std::string_view name) = 0;
  virtual VmResult<std::optional<VmValue>> read_hash(std::string_view contract, std::string_view name,
                                                     const VmValue& key) = 0;
  virtual VmResult<std::vector<VmHashEntry>> scan_hash_entries(std::string_view contract, std::string_view name,
                                                               std::string_view prefix) = 0;
  // Entries in strictly ascending key order, each already charged as a read.
  virtual VmResult<std::vector<VmHashEntry>> scan_hash_entries_metered(std::string_view contract,
                                                                       std::string_view name,
                                                                       std::string_view prefix) = 0;
  virtual VmResult<std::optional<std::string>> load_owner(std::string_view contract) = 0;
  virtual VmResult<VmValue> call_contract(VmContractCall call) = 0;
  virtual VmResult<VmValue> handle_syscall(std::string_view name, VmArgList args, VmKwargList kwargs) = 0;

  // Not an operation: where the host wants to see how many calls are active,
  // or nullptr. While an entry call or a build runs, the slot points at the
  // count of calls active in it (nested calls and the calls of the contracts
  // it reached included); when it ends the slot gets back what it held
  // before. A host that runs code of its own during an operation (code that
  // may start another request on the same thread) reads there how many
  // calls that code runs under. The slot must live as long as the host.
  virtual const uint32_t** active_call_count_slot() { return nullptr; }

  // Not an operation: a count that changes whenever the host may have run
  // code outside the interpreter (Python code, which may change the
  // environment) since it was last asked. The trace switches are looked up
  // again after a host operation only when it changed.
  virtual uint64_t outside_code_runs() = 0;
};

}  // namespace veln
