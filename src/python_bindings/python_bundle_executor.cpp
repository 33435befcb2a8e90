// PythonBundleExecutor: reading the bundle, running calls (instances taken
// out of the table while they run and put back afterwards, also after a
// failure), the owner rule and cost records of cross-contract calls, and the
// request's view of storage: recorded writes over live instances over the
// host. Writes are only recorded; nothing here writes to the host.
#include "python_bindings/python_bundle_executor.hpp"

#include <algorithm>
#include <unordered_set>

#include "interpreter/call_depth.hpp"
#include "interpreter_support/storage_keys.hpp"
#include "values/bounded_text.hpp"
#include "python_bindings/bundle_reader.hpp"
#include "python_bindings/storage_scan/scan_budget.hpp"

namespace veln {
namespace {

constexpr std::string_view kExportFunctionName = "export";

// Module and function names can come from contract texts: a message quoting
// them is bounded like any text contract code makes.
VmExecutionError quoted_name_error(std::string_view before, std::string_view name) {
  return vm_error_quoting_text(std::string(before) + '\'', name, "'");
}

VmExecutionError missing_export_error(std::string_view function, std::string_view module) {
  return vm_bounded_error([&](BoundedText& out) {
    out += "AssertionError(\"Exported function '";
    out += function;
    out += "' does not exist on contract '";
    out += module;
    out += "'!\")";
  });
}

// The base of a hash's storage keys and the prefix a scan covers.
struct ScanKeys {
  std::string base;    // contract "." name
  std::string prefix;  // base ":" [prefix ":"]

  ScanKeys(std::string_view contract, std::string_view name, std::string_view scan_prefix)
      : base(variable_storage_key(contract, name)) {
    prefix = base;
    prefix += ':';
    if (!scan_prefix.empty()) {
      prefix += scan_prefix;
      prefix += ':';
    }
  }
  std::string full_key(std::string_view relative) const {
    std::string key;
    key.reserve(base.size() + 1 + relative.size());
    key += base;
    key += ':';
    key += relative;
    return key;
  }
  std::string_view relative(std::string_view full) const { return full.substr(base.size() + 1); }
};

}  // namespace

PythonBundleExecutor::PythonBundleExecutor(BundleHostObject& host, VmModuleTable modules,
                                           const VmMeterSettings& settings)
    : host_(&host), meter_(settings) {
  for (auto& [name, module] : modules) add_module(name, std::move(module));
}

void PythonBundleExecutor::add_module(std::string name, ModuleIr module) {
  modules_.emplace(std::move(name), std::make_shared<const ModuleIr>(std::move(module)));
}

PythonBundleExecutor::PythonBundleExecutor(PythonBundleExecutor&&) noexcept = default;
PythonBundleExecutor::~PythonBundleExecutor() = default;

VmResult<PythonBundleExecutor> PythonBundleExecutor::create(std::string_view bundle_ir_json, BundleHostObject& host,
                                                            const VmMeterSettings& settings, BundleText text) {
  VELN_TRY(VmModuleTable modules, read_bundle(bundle_ir_json, text));
  return PythonBundleExecutor(host, std::move(modules), settings);
}

// --- calls -----------------------------------------------------------------

VmStatus PythonBundleExecutor::ensure_module(std::string_view module) {
  if (modules_.find(module) != modules_.end()) return Ok{};
  auto text = python_host().load_module_ir_json(module);
  if (!text.ok()) return std::move(text).error();
  if (!text->has_value()) return quoted_name_error("native VM could not load module ", module);
  VELN_TRY(ModuleIr parsed, read_named_module(module, **text));
  add_module(std::string(module), std::move(parsed));
  return Ok{};
}

VmResult<std::optional<std::string>> PythonBundleExecutor::load_owner(std::string_view contract) {
  return python_host().get_owner(contract);
}

// Calls between contracts recurse through execute_call and call_contract
// (up to the call limit), so both keep their frames small: what is needed
// only on the way in lives in the out-of-line helpers below.

VmStatus PythonBundleExecutor::complete_context(std::string_view module, VmExecutionContext& context) {
  context.this_contract = std::string(module);
  if (!context.owner) {
    VELN_TRY(context.owner, load_owner(module));
  }
  return Ok{};
}

VmResult<VmExecutionContext> PythonBundleExecutor::construction_context(std::string_view module,
                                                                       const VmExecutionContext& context) {
  VmExecutionContext construction = context;
  VELN_CHECK(complete_context(module, construction));
  return construction;
}

VmResult<PythonBundleExecutor::InstanceNode> PythonBundleExecutor::take_instance(std::string_view module,
                                                                                const VmExecutionContext& context,
                                                                                uint32_t active_calls) {
  if (auto it = instances_.find(module); it != instances_.end()) return instances_.extract(it);
  auto mod = modules_.find(module);
  if (mod == modules_.end()) return quoted_name_error("unknown module ", module);
  VELN_TRY(VmExecutionContext construction, construction_context(module, context));
  VELN_TRY(VmInstance built, VmInstance::new_with_host(mod->second, std::move(construction), *this, active_calls));
  // An instance a nested call stored meanwhile gives way to this one.
  auto [slot, inserted] = instances_.insert_or_assign(std::string(module), std::move(built));
  return instances_.extract(slot);
}

VmStatus PythonBundleExecutor::enter_context(std::string_view module, VmInstance& instance,
                                             VmExecutionContext& context) {
  VELN_CHECK(complete_context(module, context));
  VmExecutionContext saved = instance.context();
  instance.set_context(std::move(context));
  context = std::move(saved);
  return Ok{};
}

void PythonBundleExecutor::put_back(InstanceNode node) {
  // The outer call's instance wins over one a re-entrant call stored.
  if (auto it = instances_.find(node.key()); it != instances_.end()) instances_.erase(it);
  instances_.insert(std::move(node));
}

VmResult<VmValue> PythonBundleExecutor::execute_call(std::string_view module, std::string_view function,
                                                     VmArgList args, VmKwargList kwargs, VmExecutionContext&& context,
                                                     uint32_t active_calls) {
  VELN_CHECK(ensure_module(module));
  // The instance leaves the table while it runs: a call back into this
  // contract meanwhile builds a second instance.
  VELN_TRY(InstanceNode node, take_instance(module, context, active_calls));
  // From here `context` holds the instance's own context, put back after
  // the call. On failure the instance is dropped.
  VELN_CHECK(enter_context(module, node.mapped(), context));
  VmResult<VmValue> result =
      node.mapped().call_function(*this, function, std::move(args), std::move(kwargs), active_calls);
  node.mapped().set_context(std::move(context));
  put_back(std::move(node));
  return result;
}

VmStatus PythonBundleExecutor::admit_contract_call(VmContractCall& call, VmExecutionContext& callee) {
  const std::string& module = call.target.module();
  VELN_CHECK(ensure_module(module));
  auto mod = modules_.find(module);
  if (mod == modules_.end()) return quoted_name_error("unknown module ", module);
  const auto& functions = mod->second->functions;
  auto fn = std::find_if(functions.begin(), functions.end(),
                         [&](const FunctionIr& f) { return f.name == call.function; });
  if (fn == functions.end() || fn->visibility != kExportFunctionName) {
    return missing_export_error(call.function, module);
  }
  VELN_TRY(std::optional<std::string> owner, load_owner(module));
  std::optional<std::string> caller = call.caller ? call.caller : call.signer;
  if (owner && (!caller || *caller != *owner)) return vm_error("Exception(\"Caller is not the owner!\")");
  VELN_CHECK(meter_.charge(kContractCallCost));
  callee.this_contract = module;
  callee.caller = std::move(caller);
  callee.signer = std::move(call.signer);
  callee.owner = std::move(owner);
  callee.entry = std::move(call.entry);
  callee.submission_name = std::move(call.submission_name);
  callee.now = std::move(call.now);
  callee.block_num = std::move(call.block_num);
  callee.block_hash = std::move(call.block_hash);
  callee.chain_id = std::move(call.chain_id);
  return Ok{};
}

VmResult<VmValue> PythonBundleExecutor::call_contract(VmContractCall call) {
  VmExecutionContext callee;
  VELN_CHECK(admit_contract_call(call, callee));
  const std::string& module = call.target.module();
  // Opened after the call charge, so the charge counts for the caller.
  meter_.enter_contract_metering(module);
  VmResult<VmValue> result = execute_call(module, call.function, std::move(call.args), std::move(call.kwargs),
                                          std::move(callee), call.call_depth);
  meter_.exit_contract_metering();
  return result;
}

BundleExecutionResult PythonBundleExecutor::execute_entry(std::string_view entry_module, std::string_view function,
                                                          VmArgList args, VmKwargList kwargs,
                                                          VmExecutionContext context) {
  VmResult<VmValue> outcome = [&]() -> VmResult<VmValue> {
    VELN_CHECK(meter_.charge(meter_.transaction_size_bytes()));
    VELN_CHECK(meter_.charge(kEntryBaseCost));
    meter_.begin_contract_metering(entry_module);
    // Refused before the host is asked for anything: a host that starts a
    // request from its module load or owner lookup would otherwise nest
    // without end past the limit.
    const uint32_t calls_before = nesting_ != nullptr ? nesting_->calls_before() : 0;
    if (calls_before >= kMaxActiveCalls) return recursion_limit();
    VELN_TRY(VmValue value, execute_call(entry_module, function, std::move(args), std::move(kwargs),
                                         std::move(context), calls_before));
    // Encoding the return value counts work too. A budget refused where the
    // refusal could not be returned (a copy made by an edit, that encoding)
    // fails the call even when no charge followed it, and its message wins
    // over the charge limit it tripped.
    const VmStatus charged = meter_.charge_return_value(value);
    VELN_CHECK(vm_budget_status());
    VELN_CHECK(charged);
    return value;
  }();
  // An operation that passed the allowance may give up with any answer
  // (its primitives stop at once); the budget's message is the request's.
  if (!outcome.ok() && vm_request_budget() != nullptr && vm_request_budget()->failed())
    outcome = vm_request_budget()->error();
  BundleExecutionResult report;
  report.contract_costs = meter_.finalize_contracts(entry_module);
  report.raw_cost = meter_.raw_cost();
  report.chi_used = chi_used_for(meter_.raw_cost(), meter_.chi_budget());
  if (!outcome.ok()) {
    report.status_code = 1;
    report.result = VmValue::str(outcome.error().message);
    return report;
  }
  report.result = std::move(outcome).value();
  for (const auto& [name, instance] : instances_) {  // in module name order
    VmModuleStorageSnapshot snapshot = instance.storage_snapshot();
    if (!snapshot.variables.empty() || !snapshot.hashes.empty()) report.snapshots.push_back(std::move(snapshot));
  }
  recorded_index_.clear();
  report.storage_writes = std::move(storage_writes_);
  report.events = std::move(events_);
  return report;
}

// --- storage, events, system calls -------------------------------------------

VmStatus PythonBundleExecutor::charge_storage_read(std::string_view key, const VmValue& value) {
  return meter_.charge_read(key, value);
}

VmStatus PythonBundleExecutor::charge_storage_write(std::string_view key, const VmValue& value) {
  return meter_.charge_write(key, value);
}

VmStatus PythonBundleExecutor::record_storage_write(std::string_view key, const VmValue& value) {
  ++recorded_writes_;
  if (auto it = recorded_index_.find(key); it != recorded_index_.end()) {
    *it->second = value;
    return Ok{};
  }
  auto [node, inserted] = storage_writes_.emplace(std::string(key), value);
  recorded_index_.emplace(node->first, &node->second);
  return Ok{};
}

std::optional<VmValue> PythonBundleExecutor::read_recorded_storage_write(std::string_view key) {
  if (const VmValue* recorded = recorded_write(key)) return *recorded;
  return std::nullopt;
}

VmStatus PythonBundleExecutor::emit_event(VmEvent&& event) {
  events_.push_back(std::move(event));
  return Ok{};
}

VmResult<std::optional<VmValue>> PythonBundleExecutor::read_variable(std::string_view contract,
                                                                     std::string_view name) {
  if (const VmValue* recorded = recorded_write(variable_storage_key(contract, name))) {
    return std::optional<VmValue>(*recorded);
  }
  if (auto it = instances_.find(contract); it != instances_.end()) {
    if (std::optional<VmValue> held = it->second.peek_variable_value(name)) return held;
  }
  return python_host().read_variable(contract, name);
}

VmResult<std::optional<VmValue>> PythonBundleExecutor::read_hash(std::string_view contract, std::string_view name,
                                                                 const VmValue& key) {
  VELN_TRY(std::string storage_key, hash_storage_key(contract, name, key));
  if (const VmValue* recorded = recorded_write(storage_key)) return std::optional<VmValue>(*recorded);
  if (auto it = instances_.find(contract); it != instances_.end()) {
    VELN_TRY(std::optional<VmValue> held, it->second.peek_hash_entry(name, key));
    if (held) return held;
  }
  return python_host().read_hash(contract, name, key);
}

VmResult<VmValue> PythonBundleExecutor::handle_syscall(std::string_view name, VmArgList args, VmKwargList kwargs) {
  return python_host().handle_syscall(name, std::move(args), std::move(kwargs));
}

VmResult<std::vector<VmHashEntry>> PythonBundleExecutor::scan_hash_entries(std::string_view contract,
                                                                           std::string_view name,
                                                                           std::string_view prefix) {
  const ScanKeys keys(contract, name, prefix);
  std::vector<VmHashEntry> out;
  std::unordered_set<std::string> seen;
  for (auto it = storage_writes_.lower_bound(keys.prefix);
       it != storage_writes_.end() && it->first.starts_with(keys.prefix); ++it) {
    const std::string_view relative = keys.relative(it->first);
    seen.emplace(relative);
    // A recorded None hides the key and is not listed.
    if (!it->second.is(VmKind::None)) out.push_back({std::string(relative), it->second});
  }
  auto host_entries = python_host().scan_hash_entries(contract, name, prefix);
  if (!host_entries.ok()) return std::move(host_entries).error();
  for (VmHashEntry& entry : *host_entries) {
    if (seen.insert(entry.key).second) out.push_back(std::move(entry));
  }
  return out;
}

VmResult<std::vector<VmHashEntry>> PythonBundleExecutor::scan_hash_entries_metered(std::string_view contract,
                                                                                   std::string_view name,
                                                                                   std::string_view prefix) {
  const ScanKeys keys(contract, name, prefix);
  // The recorded part: a key range of the ordered writes, in key order.
  std::vector<VmHashEntry> recorded;
  for (auto it = storage_writes_.lower_bound(keys.prefix);
       it != storage_writes_.end() && it->first.starts_with(keys.prefix); ++it) {
    recorded.push_back({std::string(keys.relative(it->first)), it->second});
  }
  // The host part: streamed in ascending order, or listed and sorted here.
  auto has_iter = python_host().has_iter_hash_entries();
  if (!has_iter.ok()) return std::move(has_iter).error();
  std::unique_ptr<HostHashEntryStream> stream;
  std::vector<VmHashEntry> listed;
  if (*has_iter) {
    auto opened = python_host().iter_hash_entries(contract, name, prefix);
    if (!opened.ok()) return std::move(opened).error();
    stream = std::move(opened).value();
  } else {
    auto all = python_host().scan_hash_entries(contract, name, prefix);
    if (!all.ok()) return std::move(all).error();
    listed = std::move(all).value();
    std::stable_sort(listed.begin(), listed.end(),
                     [](const VmHashEntry& a, const VmHashEntry& b) { return a.key < b.key; });
  }

  std::vector<VmHashEntry> out;
  ScanBudget budget;
  auto emit = [&](VmHashEntry entry) -> VmStatus {
    const std::string full = keys.full_key(entry.key);
    VELN_CHECK(meter_.charge_read(full, entry.value));
    VELN_CHECK(budget.observe(full, entry.value));
    out.push_back(std::move(entry));
    return Ok{};
  };
  size_t next_recorded = 0;
  size_t next_listed = 0;
  std::optional<std::string> previous;
  for (;;) {
    VmHashEntry entry;
    if (stream) {
      auto row = stream->next();
      if (!row.ok()) return std::move(row).error();
      if (!row->has_value()) break;
      entry = std::move(**row);
    } else {
      if (next_listed == listed.size()) break;
      entry = std::move(listed[next_listed++]);
    }
    if (previous && !(*previous < entry.key)) return vm_error("storage scan host returned unordered or duplicate keys");
    previous = entry.key;
    while (next_recorded < recorded.size() && recorded[next_recorded].key <= entry.key) {
      const bool same = recorded[next_recorded].key == entry.key;
      VELN_CHECK(emit(std::move(recorded[next_recorded++])));
      if (same) break;
    }
    // A recorded write replaces the host's entry, even one outside the prefix.
    if (recorded_write(keys.full_key(entry.key)) != nullptr) continue;
    VELN_CHECK(emit(std::move(entry)));
  }
  while (next_recorded < recorded.size()) VELN_CHECK(emit(std::move(recorded[next_recorded++])));
  return out;
}

}  // namespace veln
