// VmInstanceState: everything a VmInstance owns — its module, context,
// lowered code, static imports, module globals and storage states — and the
// instance-level operations the interpreter's parts share (storage access,
// system calls). The host is never stored here; it is passed in.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "interpreter/event_emission.hpp"
#include "interpreter/frame_arena.hpp"
#include "interpreter/lowered_code.hpp"
#include "interpreter/trace.hpp"
#include "interpreter/vm_host.hpp"
#include "lib/module_ir.hpp"
#include "values/vm_execution_context.hpp"
#include "values/vm_value.hpp"

namespace veln {

struct VmRun;

// One declared "Variable" or "ForeignVariable" (or the read cache of a
// foreign variable, kept under its foreign key text).
struct VariableState {
  std::optional<std::string> foreign_key;
  std::string storage_key;  // of a declared Variable: composed once, when declared
  VmValue default_value;
  std::optional<VmValue> value;
  bool is_local = false;
  bool is_written = false;
};

// A value a hash holds, and whether this instance wrote it (a key once
// written stays written).
struct HashEntry {
  VmValue value;
  bool written = false;
};

// One declared "Hash" or "ForeignHash" (or a foreign hash's read cache).
struct HashState {
  std::optional<std::string> foreign_key;
  std::string key_prefix;  // of a declared Hash: its entries' storage keys up to the key text
  VmValue default_value;
  StringMap<HashEntry> entries;  // normalised key text -> entry
  bool any_written = false;
  bool is_local = false;
};

// The functions of a module in lowered form, and the module's name table.
struct LoweredModule {
  NameTable names;
  // The storage bindings contract code names (hash subscripts, Variable
  // get and set), numbered so an instance finds each one's state once.
  NameTable storage_bindings;
  StringMap<std::string> static_imports;  // import binding -> module
  std::vector<LoweredFunction> functions;
  StringMap<uint32_t> function_index;
  std::optional<uint32_t> find_function(std::string_view name) const;
};

class VmInstanceState {
 public:
  std::shared_ptr<const ModuleIr> module;
  VmExecutionContext context;
  LoweredModule lowered;
  // The module body and declaration expressions, lowered as they are met
  // while the instance is built; their locals are copies of the globals.
  LoweredCode module_code;
  // Module globals, indexed by the name table; unbound entries are absent names.
  std::vector<Slot> globals;
  std::map<std::string, VariableState, std::less<>> variables;
  std::map<std::string, HashState, std::less<>> hashes;
  VmTraceFlags trace;
  EventParties event_parties;
  EventFieldOrder event_field_order;

  const std::string& module_name() const { return module->module_name; }

  // The global slot of a name index (the table grows with the name table).
  Slot& global(uint32_t index) {
    if (index >= globals.size()) globals.resize(lowered.names.size() > index ? lowered.names.size() : index + 1);
    return globals[index];
  }
  const VmValue* find_global(std::string_view name) const;
  void set_global(std::string_view name, VmValue value);

  // Contract storage (contract_storage.cpp), by binding: its number in
  // lowered.storage_bindings and its name. The setters change the state,
  // then record the write with the host and charge it.
  VmResult<VmValue> variable_get(uint32_t binding, std::string_view name, VmHost& host);
  VmStatus variable_set(uint32_t binding, std::string_view name, VmValue value, VmHost& host);
  VmResult<VmValue> hash_get(uint32_t binding, std::string_view name, const VmValue& key, VmHost& host);
  VmStatus hash_set(uint32_t binding, std::string_view name, const VmValue& key, VmValue value, VmHost& host);
  // A declaration replaces a hash's state: keys composed for it go.
  void forget_entry_keys();
  VmResult<VmValue> hash_all(std::string_view name, std::span<const VmValue> prefix, VmHost& host);
  // A ForeignVariable's value as the other contract holds it, through its read cache.
  VmResult<VmValue> read_foreign_variable(const std::string& foreign_key, VmHost& host);
  // Starts counting the host's recorded writes from now (a new instance
  // holds no storage value yet, so it has seen every write so far).
  void watch_recorded_writes(VmHost& host);

  // A call node carrying a "syscall_id" (system_calls.cpp). The argument
  // cells and the keyword list are handed over (a system call that passes
  // them on moves them out); `target` holds the cells of a resolved
  // write-back target ("random.shuffle"); `locals` are the running code's
  // slots.
  VmResult<VmValue> eval_syscall(VmRun& run, const LoweredCode& code, const CallSite& site,
                                 std::span<VmValue> args, VmKwargList kwargs, VmValue* target, Slot* locals);

  // Storage keys kept composed (a power of two, in pairs).
  static constexpr unsigned kKeptEntryKeyBits = 6;

 private:
  // While the host's count of recorded writes equals `seen_writes_`, every
  // recorded write was made through this instance, so each value it holds
  // is the recorded one where there is one.
  bool holds_recorded_writes(VmHost& host) const;
  VmStatus record_write(std::string_view storage_key, const VmValue& value, VmHost& host);
  void stop_watching_recorded_writes() { watching_host_ = nullptr; }
  // A ForeignHash entry as the other contract holds it, through its read cache.
  [[gnu::noinline]] VmResult<VmValue> read_foreign_entry(const std::string& foreign_key, const VmValue& key,
                                                         std::string_view key_text, VmHost& host);
  // The storage keys of entries accessed lately, kept for the next accesses
  // with an equal key (h[k] op= v reads and writes one entry, a loop cycles
  // through a few keys), and each entry once it is held (entries are never
  // removed).
  struct EntryKey {
    const HashState* hash = nullptr;  // nullptr: kept for no key
    VmValue key;
    std::string storage_key;
    size_t key_at = 0;  // where the key text starts in storage_key
    std::string_view key_text() const { return std::string_view(storage_key).substr(key_at); }
    HashEntry* entry = nullptr;
  };
  static constexpr size_t kKeptEntryKeys = size_t{1} << kKeptEntryKeyBits;
  // Valid until the next call.
  VmResult<EntryKey*> entry_key(HashState& state, const VmValue& key);
  [[gnu::noinline]] VmResult<VmValue> read_entry_from_host(HashState& state, std::string_view name,
                                                           const VmValue& key, const std::string& storage_key,
                                                           VmHost& host);

  // The state a binding names, found by name on its first use (map nodes
  // never move, and a declaration that comes again assigns its node);
  // nullptr while none is declared.
  template <class State>
  [[gnu::always_inline]] State* state_of(std::map<std::string, State, std::less<>>& states,
                                         std::vector<State*>& found, uint32_t binding, std::string_view name) {
    if (binding < found.size() && found[binding] != nullptr) [[likely]] return found[binding];
    return find_state(states, found, binding, name);
  }
  template <class State>
  [[gnu::noinline]] State* find_state(std::map<std::string, State, std::less<>>& states, std::vector<State*>& found,
                                      uint32_t binding, std::string_view name);
  std::vector<VariableState*> variable_of_binding_;
  std::vector<HashState*> hash_of_binding_;

  struct KeptEntryKeys {
    EntryKey keys[kKeptEntryKeys];
    uint8_t newer_of_pair[kKeptEntryKeys / 2] = {};  // 0 or 1: the pair's key used last
  };
  // Made on the first hash access: most calls reach no hash.
  std::unique_ptr<KeptEntryKeys> kept_entry_keys_;
  EntryKey scratch_entry_key_;  // the keys of other kinds, kept for no other access
  const VmHost* watching_host_ = nullptr;
  const uint64_t* watched_count_ = nullptr;
  uint64_t seen_writes_ = 0;
};

}  // namespace veln
