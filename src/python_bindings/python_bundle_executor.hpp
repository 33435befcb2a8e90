// PythonBundleExecutor: serves one execute_bundle request and is the only
// VmHost of every instance it runs. It owns the parsed bundle, the live
// instance of each contract touched, the recorded storage writes (never
// applied to the host), the events and the meter, and reaches the Python host
// only through BundleHostObject. Nothing survives the request.
// This file must not include the Python/C API: the extension converts the
// request and the result, this class runs it.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "interpreter/storage_snapshot.hpp"
#include "interpreter/vm_host.hpp"
#include "interpreter/vm_instance.hpp"
#include "lib/module_ir.hpp"
#include "python_bindings/bundle_reader.hpp"
#include "python_bindings/host_object.hpp"
#include "python_bindings/metering/vm_meter.hpp"
#include "python_bindings/request_nesting.hpp"
#include "values/vm_event.hpp"
#include "values/vm_execution_context.hpp"
#include "values/vm_execution_error.hpp"
#include "values/vm_request_budget.hpp"
#include "values/vm_value.hpp"

namespace veln {

// Recorded writes by full storage key, in key byte order: a point read is one
// lookup and a hash scan is the range of keys under its prefix.
using VmStorageWrites = std::map<std::string, VmValue, std::less<>>;

// What one request reports (the extension turns it into the result dict).
struct BundleExecutionResult {
  uint32_t status_code = 0;  // 0 success, 1 failure
  VmValue result;            // the returned value, or the error message as a str
  std::vector<VmModuleStorageSnapshot> snapshots;  // by module name; empty on failure
  VmStorageWrites storage_writes;                  // empty on failure
  std::vector<VmEvent> events;                     // in emission order; empty on failure
  uint64_t raw_cost = 0;
  uint64_t chi_used = 0;
  VmContractCosts contract_costs;
};

class PythonBundleExecutor final : public VmHost {
 public:
  // Reads the bundle (a JSON object from module name to module IR): every
  // member is read and validated, and fails as parse_module_ir fails on its
  // compact re-serialised text (so reading positions refer to that text),
  // members taken in key order; a member whose IR names another module is
  // refused. Instances are built only for the modules a call reaches. `host`
  // must outlive the executor, and so must the bundle's bytes when `text`
  // says the caller holds them. Fails with the first member's message.
  static VmResult<PythonBundleExecutor> create(std::string_view bundle_ir_json, BundleHostObject& host,
                                               const VmMeterSettings& settings,
                                               BundleText text = BundleText::copied);

  PythonBundleExecutor(PythonBundleExecutor&&) noexcept;
  PythonBundleExecutor& operator=(PythonBundleExecutor&&) = delete;
  ~PythonBundleExecutor() override;

  // Places the request among those active on its thread: its entry call
  // counts on top of the calls active before it, and its runs publish their
  // count there. `nesting` must outlive the executor. Without it the request
  // stands alone (its entry call is the first).
  void nest_in(RequestNesting& nesting) { nesting_ = &nesting; }
  // Counts the request's charges towards the work allowance of the budget
  // it runs on (when metered), and lets a failure of that budget stop the
  // request at its next charge. Leave the scope before the executor dies.
  void join_budget(VmRequestBudgetScope& scope) {
    VmChargeCounter* counter = meter_.charge_counter();
    scope.join(meter_.enabled() ? &counter->used : nullptr, &counter->limit);
  }

  // Runs the request's entry call: transaction and base charges, the entry
  // contract's cost record, the call, the returned value's charge, the cost
  // report. Never fails; call it once (it hands the writes and events over).
  // An entry call that would pass the call limit on top of the calls
  // active before the request fails before its module is looked up.
  BundleExecutionResult execute_entry(std::string_view entry_module, std::string_view function, VmArgList args,
                                      VmKwargList kwargs, VmExecutionContext context);

  // Runs one function of one module (loading and building as needed) under
  // `context`, completed with this and the owner. `active_calls` is the
  // number of calls already running across contracts and nesting requests
  // (for the entry call, those active before the request).
  VmResult<VmValue> execute_call(std::string_view module, std::string_view function, VmArgList args,
                                 VmKwargList kwargs, VmExecutionContext&& context, uint32_t active_calls = 0);
  // Loads a module missing from the bundle from the host, once per request.
  [[gnu::noinline]] VmStatus ensure_module(std::string_view module);

  // --- VmHost ------------------------------------------------------------
  VmChargeCounter* execution_charge_counter() override { return meter_.charge_counter(); }
  // Every charge that does not fit the counter comes here, and so does
  // every charge once the request's budget has failed.
  VmStatus charge_execution_cost(uint64_t cost) override {
    VELN_CHECK(vm_budget_status());
    return meter_.charge(cost);
  }
  VmStatus charge_storage_read(std::string_view key, const VmValue& value) override;
  VmStatus charge_storage_write(std::string_view key, const VmValue& value) override;
  VmStatus record_storage_write(std::string_view key, const VmValue& value) override;
  std::optional<VmValue> read_recorded_storage_write(std::string_view key) override;
  // The value recorded under `key`, or nullptr.
  const VmValue* recorded_write(std::string_view key) const {
    auto it = recorded_index_.find(key);
    return it != recorded_index_.end() ? it->second : nullptr;
  }
  const uint64_t* recorded_write_count() override { return &recorded_writes_; }
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
  uint64_t outside_code_runs() override { return python_calls_; }
  const uint32_t** active_call_count_slot() override {
    return nesting_ != nullptr ? nesting_->active_call_count_slot() : nullptr;
  }

  // Read-only views for reports and tests.
  const VmMeter& meter() const { return meter_; }
  const VmStorageWrites& storage_writes() const { return storage_writes_; }
  const std::vector<VmEvent>& events() const { return events_; }
  bool has_module(std::string_view module) const { return modules_.find(module) != modules_.end(); }
  bool has_live_instance(std::string_view module) const { return instances_.find(module) != instances_.end(); }

 private:
  using InstanceNode = std::map<std::string, VmInstance, std::less<>>::node_type;

  PythonBundleExecutor(BundleHostObject& host, VmModuleTable modules, const VmMeterSettings& settings);
  // A module read under `name`, shared by every instance built from it.
  void add_module(std::string name, ModuleIr module);

  // Out of line so the frames of the recursive path stay small.
  [[gnu::noinline]] VmResult<InstanceNode> take_instance(std::string_view module, const VmExecutionContext& context,
                                                           uint32_t active_calls);
  // Sets the context's this to `module` and, when it has none, its owner to
  // the module's.
  VmStatus complete_context(std::string_view module, VmExecutionContext& context);
  // The context an instance is built under (this, owner).
  [[gnu::noinline]] VmResult<VmExecutionContext> construction_context(std::string_view module,
                                                                      const VmExecutionContext& context);
  // Completes the call context (this, owner) and swaps it with the
  // instance's, so `context` then holds the one to restore.
  [[gnu::noinline]] VmStatus enter_context(std::string_view module, VmInstance& instance, VmExecutionContext& context);
  [[gnu::noinline]] void put_back(InstanceNode node);
  // The checks and the call charge of a cross-contract call, and the callee's
  // context (taking the request's context fields).
  [[gnu::noinline]] VmStatus admit_contract_call(VmContractCall& call, VmExecutionContext& callee);

  // Every operation of the Python host counts: any of them may run Python code.
  BundleHostObject& python_host() {
    ++python_calls_;
    return *host_;
  }

  BundleHostObject* host_;
  RequestNesting* nesting_ = nullptr;
  uint64_t python_calls_ = 0;
  std::map<std::string, std::shared_ptr<const ModuleIr>, std::less<>> modules_;
  std::map<std::string, VmInstance, std::less<>> instances_;
  VmStorageWrites storage_writes_;
  // The same writes by key, for lookups without key comparisons; the views
  // are the keys of storage_writes_, whose nodes are never removed.
  std::unordered_map<std::string_view, VmValue*> recorded_index_;
  uint64_t recorded_writes_ = 0;
  std::vector<VmEvent> events_;
  VmMeter meter_;
};

}  // namespace veln
