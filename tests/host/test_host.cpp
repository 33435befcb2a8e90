// The in-memory test host (see header).
#include "test_host.hpp"

#include "interpreter_support/storage_keys.hpp"

namespace veln::testing {

void TestHost::note_stack() {
  const uintptr_t here = reinterpret_cast<uintptr_t>(__builtin_frame_address(0));
  if (here < lowest_stack) lowest_stack = here;
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

VmStatus TestHost::emit_event(VmEvent event) {
  host_calls.push_back("emit_event " + event.event);
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
  return scan_hash_entries(contract, name, prefix);
}

VmResult<std::optional<std::string>> TestHost::load_owner(std::string_view) { return std::optional<std::string>(); }

VmResult<VmValue> TestHost::call_contract(VmContractCall call) {
  host_calls.push_back("call_contract " + call.target.module() + "." + call.function);
  if (!on_call_contract) return vm_error("no contract to call");
  return on_call_contract(std::move(call));
}

VmResult<VmValue> TestHost::handle_syscall(std::string_view name, VmArgList args, VmKwargList) {
  std::string line = "handle_syscall ";
  line.append(name);
  for (const VmValue& arg : args) {
    line.push_back(' ');
    arg.append_python_repr(line);
  }
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
