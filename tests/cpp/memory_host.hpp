// An in-memory BundleHostObject for executor tests: module texts, owners,
// variables and hash entries (in insertion order, as a host may list them),
// an optional streaming listing, scripted failures per method, and a log of
// every call in order so tests can check what the host was asked. The system
// call "test.set_storage"(key, value) changes the host's storage. Test code.
#pragma once

#include <algorithm>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "interpreter_support/storage_keys.hpp"
#include "python_bindings/host_object.hpp"

namespace veln::memory_host {

class MemoryHost : public BundleHostObject {
 public:
  std::map<std::string, std::string, std::less<>> modules;  // name -> IR text
  std::map<std::string, std::string, std::less<>> owners;
  std::map<std::string, VmValue, std::less<>> variables;  // "contract.name"
  // "contract.name" -> (relative key, value) rows in listing order.
  std::map<std::string, std::vector<VmHashEntry>, std::less<>> hashes;
  bool has_iter = false;
  bool filter_by_prefix = true;  // a host may also return keys outside the prefix
  // method name -> host-error text it fails with
  std::map<std::string, std::string, std::less<>> failures;
  VmValue syscall_result;
  std::vector<std::string> calls;
  size_t rows_taken = 0;
  // The native stack addresses seen by system calls (stack measurements).
  uintptr_t lowest_stack = UINTPTR_MAX;
  uintptr_t highest_stack = 0;

  VmResult<std::optional<std::string>> load_module_ir_json(std::string_view module) override {
    log("load_module_ir_json", module);
    if (auto f = failure("load_module_ir_json")) return *f;
    auto it = modules.find(module);
    if (it == modules.end()) return std::optional<std::string>();
    return std::optional<std::string>(it->second);
  }
  VmResult<std::optional<std::string>> get_owner(std::string_view contract) override {
    log("get_owner", contract);
    if (auto f = failure("get_owner")) return *f;
    auto it = owners.find(contract);
    if (it == owners.end()) return std::optional<std::string>();
    return std::optional<std::string>(it->second);
  }
  VmResult<std::optional<VmValue>> read_variable(std::string_view contract, std::string_view name) override {
    log("read_variable", std::string(contract) + "," + std::string(name));
    if (auto f = failure("read_variable")) return *f;
    auto it = variables.find(variable_storage_key(contract, name));
    if (it == variables.end()) return std::optional<VmValue>();
    return std::optional<VmValue>(it->second);
  }
  VmResult<std::optional<VmValue>> read_hash(std::string_view contract, std::string_view name,
                                             const VmValue& key) override {
    log("read_hash", std::string(contract) + "," + std::string(name) + "," + key.python_repr());
    if (auto f = failure("read_hash")) return *f;
    VELN_TRY(std::string text, normalize_hash_key(key));
    for (const VmHashEntry& row : rows(contract, name)) {
      if (row.key == text) return std::optional<VmValue>(row.value);
    }
    return std::optional<VmValue>();
  }
  VmResult<std::vector<VmHashEntry>> scan_hash_entries(std::string_view contract, std::string_view name,
                                                       std::string_view prefix) override {
    log("scan_hash_entries", std::string(contract) + "," + std::string(name) + "," + std::string(prefix));
    if (auto f = failure("scan_hash_entries")) return *f;
    return listed(contract, name, prefix);
  }
  VmResult<bool> has_iter_hash_entries() override {
    if (auto f = failure("hasattr")) return *f;
    return has_iter;
  }
  VmResult<std::unique_ptr<HostHashEntryStream>> iter_hash_entries(std::string_view contract, std::string_view name,
                                                                   std::string_view prefix) override {
    log("iter_hash_entries", std::string(contract) + "," + std::string(name) + "," + std::string(prefix));
    if (auto f = failure("iter_hash_entries")) return *f;
    return std::unique_ptr<HostHashEntryStream>(new Stream(*this, listed(contract, name, prefix)));
  }
  VmResult<VmValue> handle_syscall(std::string_view name, VmArgList args, VmKwargList kwargs) override {
    note_stack();
    std::string text(name);
    for (const VmValue& a : args) {
      text += ',';
      a.append_python_repr(text);
    }
    for (const VmKeywordArg& k : kwargs) {
      text += ',';
      text += k.name;
      text += '=';
      k.value.append_python_repr(text);
    }
    log("handle_syscall", text);
    if (auto f = failure("handle_syscall")) return *f;
    // Contract code changes the host's storage in the middle of a request.
    if (name == "test.set_storage" && args.size() == 2) set_storage(args[0].text(), args[1]);
    return syscall_result;
  }

  // Host storage by full storage key: "contract.name" for a variable,
  // "contract.name:key" for a hash entry (replacing an earlier row).
  void set_storage(std::string_view key, VmValue value) {
    const size_t colon = key.find(':');
    if (colon == std::string_view::npos) {
      variables[std::string(key)] = std::move(value);
      return;
    }
    auto& list = hashes[std::string(key.substr(0, colon))];
    const std::string relative(key.substr(colon + 1));
    for (VmHashEntry& row : list) {
      if (row.key == relative) {
        row.value = std::move(value);
        return;
      }
    }
    list.push_back({relative, std::move(value)});
  }

  std::string call_log() const {
    std::string out;
    for (const std::string& c : calls) {
      if (!out.empty()) out += ' ';
      out += c;
    }
    return out;
  }

 private:
  [[gnu::noinline]] void note_stack() {
    volatile char marker = 0;
    const auto at = reinterpret_cast<uintptr_t>(&marker);
    lowest_stack = std::min(lowest_stack, at);
    highest_stack = std::max(highest_stack, at);
  }

  struct Stream : HostHashEntryStream {
    Stream(MemoryHost& h, std::vector<VmHashEntry> r) : host(h), rows(std::move(r)) {}
    VmResult<std::optional<VmHashEntry>> next() override {
      if (auto f = host.failure("next")) return *f;
      if (next_row == rows.size()) return std::optional<VmHashEntry>();
      ++host.rows_taken;
      return std::optional<VmHashEntry>(rows[next_row++]);
    }
    MemoryHost& host;
    std::vector<VmHashEntry> rows;
    size_t next_row = 0;
  };

  void log(std::string_view method, std::string_view args) {
    calls.push_back(std::string(method) + "(" + std::string(args) + ")");
  }
  std::optional<VmExecutionError> failure(std::string_view method) const {
    auto it = failures.find(method);
    if (it == failures.end()) return std::nullopt;
    return vm_error(it->second);
  }
  const std::vector<VmHashEntry>& rows(std::string_view contract, std::string_view name) const {
    static const std::vector<VmHashEntry> kNone;
    auto it = hashes.find(variable_storage_key(contract, name));
    return it == hashes.end() ? kNone : it->second;
  }
  std::vector<VmHashEntry> listed(std::string_view contract, std::string_view name, std::string_view prefix) const {
    std::vector<VmHashEntry> out;
    const std::string head = std::string(prefix) + ":";
    for (const VmHashEntry& row : rows(contract, name)) {
      if (!filter_by_prefix || prefix.empty() || row.key.starts_with(head)) out.push_back(row);
    }
    return out;
  }
};

}  // namespace veln::memory_host
