// The in-memory test host (see header).
#include "test_host.hpp"

#include <span>
#include <variant>

#include "interpreter_support/storage_keys.hpp"

namespace veln::testing {

VmStatus TestHost::charge_in_full(uint64_t cost) {
  if (measure_stack) {
    const uintptr_t here = reinterpret_cast<uintptr_t>(__builtin_frame_address(0));
    if (here < lowest_stack) lowest_stack = here;
  }
  if (watch_active_calls) active_calls_at_charges.push_back(active_calls != nullptr ? *active_calls : 0);
  if (__builtin_add_overflow(raw_cost, cost, &raw_cost)) {
    raw_cost = UINT64_MAX;
    return vm_error("chi metering overflow");
  }
  if (record_charges) charges.push_back(cost);
  if (raw_cost > budget) return vm_error("Out of chi.");
  return Ok{};
}

VmStatus TestHost::charge_storage_read(std::string_view key, const VmValue& value) {
  host_calls.push_back("charge_storage_read " + std::string(key) + " " + value.python_repr());
  return Ok{};
}

VmStatus TestHost::charge_storage_write(std::string_view key, const VmValue& value) {
  host_calls.push_back("charge_storage_write " + std::string(key) + " " + value.python_repr());
  return Ok{};
}

VmStatus TestHost::record_storage_write(std::string_view key, const VmValue& value) {
  host_calls.push_back("record_storage_write " + std::string(key));
  recorded.insert_or_assign(std::string(key), value);
  return Ok{};
}

std::optional<VmValue> TestHost::read_recorded_storage_write(std::string_view key) {
  auto it = recorded.find(key);
  if (it == recorded.end()) return std::nullopt;
  return it->second;
}

namespace {

void append_fields(std::string& line, std::span<const VmDictPair> fields) {
  line += '[';
  for (size_t i = 0; i < fields.size(); ++i) {
    if (i != 0) line += ", ";
    line += fields[i].key.text();
    line += '=';
    fields[i].value.append_python_repr(line);
  }
  line += ']';
}

std::string optional_text(const std::optional<std::string>& text) { return text ? *text : "None"; }

// "dynamic_import token", "static_import tok=token", ...
std::string target_text(const VmContractTarget& target) {
  struct Visit {
    std::string operator()(const VmStaticImportTarget& t) const { return "static_import " + t.binding + "=" + t.module; }
    std::string operator()(const VmDynamicImportTarget& t) const { return "dynamic_import " + t.module; }
    std::string operator()(const VmLocalHandleTarget& t) const { return "local_handle " + t.binding + "=" + t.module; }
    std::string operator()(const VmFactoryCallTarget& t) const { return "factory_call " + t.factory + "=" + t.module; }
  };
  return std::visit(Visit{}, target.variant);
}

void append_kwargs(std::string& line, const VmKwargList& kwargs) {
  for (const VmKeywordArg& kw : kwargs) {
    line += ' ' + kw.name + '=';
    kw.value.append_python_repr(line);
  }
}

}  // namespace

VmStatus TestHost::emit_event(VmEvent&& event) {
  std::string line = "emit_event " + std::string(event.contract.text()) + " " + std::string(event.event.text()) +
                     " signer=" + event.signer.python_repr() +
                     " caller=" + event.caller.python_repr() + " indexed=";
  append_fields(line, event.fields.indexed());
  line += " data=";
  append_fields(line, event.fields.data());
  host_calls.push_back(std::move(line));
  events.push_back(std::move(event));
  return Ok{};
}

VmResult<std::optional<VmValue>> TestHost::read_variable(std::string_view contract, std::string_view name) {
  const std::string key = variable_storage_key(contract, name);
  host_calls.push_back("read_variable " + key);
  auto it = storage.find(key);
  if (it == storage.end()) return std::optional<VmValue>();
  return std::optional<VmValue>(it->second);
}

VmResult<std::optional<VmValue>> TestHost::read_hash(std::string_view contract, std::string_view name,
                                                     const VmValue& key) {
  VELN_TRY(std::string storage_key, hash_storage_key(contract, name, key));
  host_calls.push_back("read_hash " + storage_key);
  auto it = storage.find(storage_key);
  if (it == storage.end()) return std::optional<VmValue>();
  return std::optional<VmValue>(it->second);
}

VmResult<std::vector<VmHashEntry>> TestHost::scan_hash_entries(std::string_view contract, std::string_view name,
                                                               std::string_view prefix) {
  std::string start = hash_storage_key_from_normalized(contract, name, "");
  host_calls.push_back("scan_hash_entries " + start + std::string(prefix));
  std::vector<VmHashEntry> out;
  for (auto it = storage.lower_bound(start); it != storage.end() && it->first.starts_with(start); ++it) {
    std::string relative = it->first.substr(start.size());
    if (!prefix.empty() && relative != prefix && !relative.starts_with(std::string(prefix) + ":")) continue;
    out.push_back(VmHashEntry{std::move(relative), it->second});
  }
  return out;
}

VmResult<std::vector<VmHashEntry>> TestHost::scan_hash_entries_metered(std::string_view contract,
                                                                       std::string_view name,
                                                                       std::string_view prefix) {
  // As the bridge serves it: recorded writes (None included) over storage,
  // under "base:" or "base:prefix:", in key order, each entry charged.
  const std::string base = hash_storage_key_from_normalized(contract, name, "");
  const std::string scan = prefix.empty() ? base : base + std::string(prefix) + ":";
  host_calls.push_back("scan_hash_entries_metered " + scan);
  std::map<std::string, VmValue> merged;
  for (const auto* source : {&storage, &recorded}) {
    for (auto it = source->lower_bound(scan); it != source->end() && it->first.starts_with(scan); ++it) {
      merged.insert_or_assign(it->first.substr(base.size()), it->second);
    }
  }
  std::vector<VmHashEntry> out;
  for (auto& [key, value] : merged) {
    VELN_CHECK(charge_storage_read(base + key, value));
    out.push_back(VmHashEntry{key, std::move(value)});
  }
  return out;
}

VmResult<std::optional<std::string>> TestHost::load_owner(std::string_view) { return std::optional<std::string>(); }

namespace {

// Out of line: contracts that call back nest call_contract once per level.
[[gnu::noinline]] std::string request_line(const VmContractCall& call) {
  std::string line = "call_contract " + target_text(call.target) + " " + call.function + " args=";
  VmValue::make_list(call.args)->append_python_repr(line);
  append_kwargs(line, call.kwargs);
  line += " caller=" + optional_text(call.caller) + " signer=" + optional_text(call.signer) + " entry=" +
          (call.entry ? call.entry->first + "." + call.entry->second : std::string("None")) +
          " submission=" + optional_text(call.submission_name) + " now=" + call.now.python_repr() +
          " depth=" + std::to_string(call.call_depth);
  return line;
}

}  // namespace

VmResult<VmValue> TestHost::call_contract(VmContractCall call) {
  host_calls.push_back(request_line(call));
  if (!on_call_contract) return vm_error("no contract to call");
  return on_call_contract(std::move(call));
}

VmResult<VmValue> TestHost::handle_syscall(std::string_view name, VmArgList args, VmKwargList kwargs) {
  std::string line = "handle_syscall ";
  line.append(name);
  for (const VmValue& arg : args) {
    line.push_back(' ');
    arg.append_python_repr(line);
  }
  append_kwargs(line, kwargs);
  host_calls.push_back(std::move(line));
  auto it = syscall_answers.find(name);
  if (it == syscall_answers.end() || it->second.empty()) {
    std::string message = "unsupported host system call '";
    message.append(name).push_back('\'');
    return vm_error(std::move(message));
  }
  SyscallAnswer answer = std::move(it->second.front());
  it->second.pop_front();
  if (answer.error) return vm_error(*answer.error);
  return answer.value;
}

}  // namespace veln::testing
