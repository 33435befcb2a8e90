// Contract storage access: reads and writes of the instance's own declared
// variables and hashes. A read looks at the write recorded in this request
// (skipped for a value the instance holds while every recorded write was
// its own), then the value the instance holds, then the host, then the
// declared default, and charges the value it returns under its full storage
// key. A write changes the instance's state, then records and charges it.
// Reads of ForeignVariable / ForeignHash declarations go to the other
// contract through the host and are cached under the foreign key.
#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "interpreter/vm_instance_state.hpp"
#include "interpreter_support/canonical_encoding.hpp"
#include "interpreter_support/storage_keys.hpp"

namespace veln {
namespace {

// Bounds of what one hash listing may bring in: non-None rows, and bytes of
// relative keys plus canonical encodings.
constexpr uint64_t kListingMaxEntries = 131072;
constexpr uint64_t kListingMaxBytes = 131072;

std::string unknown_variable(std::string_view name) {
  return "unknown variable binding '" + std::string(name) + "'";
}
std::string unknown_hash(std::string_view name) { return "unknown hash binding '" + std::string(name) + "'"; }

// A key text listed under a prefix: all of them for the empty prefix, else
// the prefix itself and the keys continuing it with ":".
bool under_prefix(std::string_view key, std::string_view prefix) {
  if (prefix.empty() || key == prefix) return true;
  return key.size() > prefix.size() && key.starts_with(prefix) && key[prefix.size()] == ':';
}

uint64_t saturating_add(uint64_t a, uint64_t b) { return a > UINT64_MAX - b ? UINT64_MAX : a + b; }

// A read cache sits among the declarations under its foreign key text, and
// contract code may name it as a binding of its own contract: it gets the
// storage keys such a binding has.
void compose_storage_keys(VariableState& state, std::string_view contract, std::string_view name) {
  state.storage_key = variable_storage_key(contract, name);
}
void compose_storage_keys(HashState& state, std::string_view contract, std::string_view name) {
  state.key_prefix = hash_storage_key_from_normalized(contract, name, "");
}

// The read cache of a foreign declaration, created on first use.
template <class State>
State& foreign_cache(std::map<std::string, State, std::less<>>& states, std::string_view contract,
                     const std::string& foreign_key) {
  auto it = states.find(foreign_key);
  if (it == states.end()) {
    it = states.emplace(foreign_key, State{}).first;
    compose_storage_keys(it->second, contract, foreign_key);
  }
  return it->second;
}

// An unknown hash binding fails after its key is checked.
VmExecutionError unknown_hash_after_key(std::string_view name, const VmValue& key) {
  std::string text;
  VmStatus checked = append_hash_key(text, key);
  if (!checked.ok()) return std::move(checked).error();
  return vm_error(unknown_hash(name));
}

}  // namespace

template <class State>
State* VmInstanceState::find_state(std::map<std::string, State, std::less<>>& states, std::vector<State*>& found,
                                   uint32_t binding, std::string_view name) {
  auto it = states.find(name);
  if (it == states.end()) return nullptr;
  if (binding >= found.size()) found.resize(std::max<size_t>(binding + 1, lowered.storage_bindings.size()), nullptr);
  return found[binding] = &it->second;
}

void VmInstanceState::watch_recorded_writes(VmHost& host) {
  const uint64_t* count = host.recorded_write_count();
  watching_host_ = count != nullptr ? &host : nullptr;
  watched_count_ = count;
  seen_writes_ = count != nullptr ? *count : 0;
}

bool VmInstanceState::holds_recorded_writes(VmHost& host) const {
  // The count lives as long as the host it was taken from.
  return watching_host_ == &host && *watched_count_ == seen_writes_;
}

VmStatus VmInstanceState::record_write(std::string_view storage_key, const VmValue& value, VmHost& host) {
  const bool held = holds_recorded_writes(host);
  VELN_CHECK(host.record_storage_write(storage_key, value));
  if (held) seen_writes_ = *watched_count_;
  return host.charge_storage_write(storage_key, value);
}

VmResult<VmValue> VmInstanceState::variable_get(uint32_t binding, std::string_view name, VmHost& host) {
  VariableState* declared = state_of(variables, variable_of_binding_, binding, name);
  if (declared == nullptr) return vm_error(unknown_variable(name));
  VariableState& state = *declared;

  if (state.foreign_key) return read_foreign_variable(*state.foreign_key, host);

  const std::string& key = state.storage_key;
  if (!state.value || !holds_recorded_writes(host)) {
    if (std::optional<VmValue> recorded = host.read_recorded_storage_write(key)) {
      state.value = *recorded;
      VELN_CHECK(host.charge_storage_read(key, *recorded));
      return std::move(*recorded);
    }
  }
  if (!state.value) {
    VELN_TRY(std::optional<VmValue> stored, host.read_variable(module_name(), name));
    if (!state.value) state.value = stored;
  }
  VmValue result = state.value ? *state.value : state.default_value;
  VELN_CHECK(host.charge_storage_read(key, result));
  return result;
}

VmResult<VmValue> VmInstanceState::read_foreign_variable(const std::string& foreign_key, VmHost& host) {
  VELN_TRY(auto foreign, split_foreign_storage_key(foreign_key));
  VmResult<std::optional<VmValue>> stored = host.read_variable(foreign.first, foreign.second);
  if (!stored.ok()) return std::move(stored).error();
  VariableState& cache = foreign_cache(variables, module_name(), foreign_key);
  if (stored->has_value()) {
    cache.value = **stored;
    // The cache is also a binding of this contract's own, which may have
    // written it: its value no longer follows the recorded writes.
    if (cache.is_written) stop_watching_recorded_writes();
  }
  VmValue result = cache.value ? *cache.value : cache.default_value;
  VELN_CHECK(host.charge_storage_read(variable_storage_key(foreign.first, foreign.second), result));
  return result;
}

VmStatus VmInstanceState::variable_set(uint32_t binding, std::string_view name, VmValue value, VmHost& host) {
  VariableState* declared = state_of(variables, variable_of_binding_, binding, name);
  if (declared == nullptr) return vm_error(unknown_variable(name));
  VariableState& state = *declared;
  if (state.foreign_key) return vm_error("cannot set foreign variable '" + std::string(name) + "'");
  state.value = value;
  state.is_written = true;
  return record_write(state.storage_key, *state.value, host);
}

VmResult<VmValue> VmInstanceState::read_foreign_entry(const std::string& foreign_key, const VmValue& key,
                                                      std::string_view key_text, VmHost& host) {
  VELN_TRY(auto foreign, split_foreign_storage_key(foreign_key));
  VmResult<std::optional<VmValue>> stored = host.read_hash(foreign.first, foreign.second, key);
  if (!stored.ok()) return std::move(stored).error();
  HashState& cache = foreign_cache(hashes, module_name(), foreign_key);
  if (stored->has_value()) {
    cache.entries.try_emplace(std::string(key_text)).first->second.value = **stored;
    // As for a foreign variable's cache.
    if (cache.any_written) stop_watching_recorded_writes();
  }
  auto entry = cache.entries.find(key_text);
  VmValue result = entry != cache.entries.end() ? entry->second.value : cache.default_value;
  VELN_CHECK(host.charge_storage_read(hash_storage_key_from_normalized(foreign.first, foreign.second, key_text),
                                      result));
  return result;
}

// The pair of places a str or int key may be kept in: picked by the key's
// value and its hash, so that the keys a loop cycles through stay composed.
inline size_t kept_pair(const void* state, uint64_t value) {
  const uint64_t mixed = (value ^ (reinterpret_cast<uintptr_t>(state) >> 4)) * 0x9E3779B97F4A7C15ull;
  return static_cast<size_t>(mixed >> (64 - VmInstanceState::kKeptEntryKeyBits)) & ~size_t{1};
}

VmResult<VmInstanceState::EntryKey*> VmInstanceState::entry_key(HashState& state, const VmValue& key) {
  // Only kinds whose equal values have one key text are kept (0.0 and -0.0
  // are equal floats with two texts). A str key's text is its key text (a
  // kept one passed the checks), so it is matched by its text.
  EntryKey* slot = &scratch_entry_key_;
  if (key.is(VmKind::String) || key.is(VmKind::Int)) {
    const bool text_key = key.is(VmKind::String);
    const std::string_view text = text_key ? key.text() : std::string_view();
    const bool small = !text_key && key.int_is_small();
    uint64_t value = small ? static_cast<uint64_t>(key.small_int()) : 0xcbf29ce484222325ull;
    for (const char c : text) value = (value ^ static_cast<unsigned char>(c)) * 0x100000001b3ull;
    const size_t at = kept_pair(&state, value);
    auto holds = [&](const EntryKey& kept) {
      if (kept.hash != &state || !kept.key.is(key.kind())) return false;
      if (text_key) return kept.key_text() == text;
      return small ? kept.key.int_is_small() && kept.key.small_int() == key.small_int() : kept.key.eq(key);
    };
    if (kept_entry_keys_ == nullptr) kept_entry_keys_ = std::make_unique<KeptEntryKeys>();
    EntryKey* pair = &kept_entry_keys_->keys[at];
    uint8_t& newer = kept_entry_keys_->newer_of_pair[at / 2];
    for (uint8_t i = 0; i < 2; ++i) {
      if (holds(pair[i])) {
        newer = i;
        return &pair[i];
      }
    }
    // The pair's older key gives way.
    newer ^= 1;
    slot = &pair[newer];
  }
  slot->hash = nullptr;
  slot->entry = nullptr;
  slot->storage_key.assign(state.key_prefix);
  VELN_CHECK(append_hash_key(slot->storage_key, key));
  slot->key_at = state.key_prefix.size();
  if (slot != &scratch_entry_key_) {
    slot->hash = &state;
    slot->key = key;
  }
  return slot;
}

void VmInstanceState::forget_entry_keys() {
  if (kept_entry_keys_ != nullptr) {
    for (EntryKey& kept : kept_entry_keys_->keys) {
      kept.hash = nullptr;
      kept.entry = nullptr;
    }
  }
  scratch_entry_key_.entry = nullptr;
}

VmResult<VmValue> VmInstanceState::hash_get(uint32_t binding, std::string_view name, const VmValue& key,
                                             VmHost& host) {
  HashState* declared = state_of(hashes, hash_of_binding_, binding, name);
  if (declared == nullptr) return unknown_hash_after_key(name, key);
  HashState& state = *declared;
  VELN_TRY(EntryKey* composed, entry_key(state, key));
  const std::string_view storage_key = composed->storage_key;
  const std::string_view key_text = composed->key_text();

  // The key text is copied: the host may run Python code that calls back
  // into this instance and reuses the slot it is viewed in.
  if (state.foreign_key) return read_foreign_entry(*state.foreign_key, key, std::string(key_text), host);

  HashEntry* entry = composed->entry;
  if (entry == nullptr) {
    auto found = state.entries.find(key_text);
    if (found != state.entries.end()) entry = composed->entry = &found->second;
  }
  if (entry == nullptr || !holds_recorded_writes(host)) {
    if (std::optional<VmValue> recorded = host.read_recorded_storage_write(storage_key)) {
      if (entry != nullptr) {
        entry->value = *recorded;
      } else {
        composed->entry = &state.entries.emplace(std::string(key_text), HashEntry{*recorded}).first->second;
      }
      VELN_CHECK(host.charge_storage_read(storage_key, *recorded));
      return std::move(*recorded);
    }
  }
  if (entry == nullptr) return read_entry_from_host(state, name, key, std::string(storage_key), host);
  VmValue result = entry->value;
  VELN_CHECK(host.charge_storage_read(storage_key, result));
  return result;
}

// The first read of a key neither held nor recorded. The host may run any
// Python code, so the texts are the call's own.
VmResult<VmValue> VmInstanceState::read_entry_from_host(HashState& state, std::string_view name, const VmValue& key,
                                                        const std::string& storage_key, VmHost& host) {
  const std::string_view key_text = std::string_view(storage_key).substr(state.key_prefix.size());
  VELN_TRY(std::optional<VmValue> stored, host.read_hash(module_name(), name, key));
  const HashEntry* entry = nullptr;
  if (stored) {
    HashEntry& held = state.entries.try_emplace(std::string(key_text)).first->second;
    held.value = *stored;
    entry = &held;
  }
  VmValue result = entry != nullptr ? entry->value : state.default_value;
  VELN_CHECK(host.charge_storage_read(storage_key, result));
  return result;
}

VmStatus VmInstanceState::hash_set(uint32_t binding, std::string_view name, const VmValue& key, VmValue value,
                                   VmHost& host) {
  HashState* declared = state_of(hashes, hash_of_binding_, binding, name);
  if (declared == nullptr) return unknown_hash_after_key(name, key);
  HashState& state = *declared;
  VELN_TRY(EntryKey* composed, entry_key(state, key));
  if (state.foreign_key) return vm_error("cannot set foreign hash '" + std::string(name) + "'");
  HashEntry* entry = composed->entry;
  if (entry == nullptr) {
    const std::string_view key_text = composed->key_text();
    auto found = state.entries.find(key_text);
    if (found == state.entries.end()) found = state.entries.emplace(std::string(key_text), HashEntry{}).first;
    entry = composed->entry = &found->second;
  }
  entry->value = std::move(value);
  entry->written = true;
  state.any_written = true;
  return record_write(composed->storage_key, entry->value, host);
}

VmResult<VmValue> VmInstanceState::hash_all(std::string_view name, std::span<const VmValue> prefix, VmHost& host) {
  VELN_TRY(std::string prefix_text, normalize_hash_prefix(prefix));
  auto it = hashes.find(name);
  if (it == hashes.end()) return vm_error(unknown_hash(name));
  HashState* state = &it->second;
  std::string contract = module_name();
  std::string hash_name(name);
  if (state->foreign_key) {
    VELN_TRY(auto foreign, split_foreign_storage_key(*state->foreign_key));
    contract = std::move(foreign.first);
    hash_name = std::move(foreign.second);
    state = &foreign_cache(hashes, module_name(), *state->foreign_key);
  }

  // The host's rows (already charged by the host), then the entries this
  // instance holds that the host did not list, each charged as it is added,
  // in ascending key order.
  VELN_TRY(std::vector<VmHashEntry> scanned, host.scan_hash_entries_metered(contract, hash_name, prefix_text));
  std::map<std::string, VmValue, std::less<>> rows;
  for (VmHashEntry& row : scanned) rows.insert_or_assign(std::move(row.key), std::move(row.value));
  std::vector<const std::pair<const std::string, HashEntry>*> held;
  for (const auto& entry : state->entries) {
    if (under_prefix(entry.first, prefix_text)) held.push_back(&entry);
  }
  std::sort(held.begin(), held.end(), [](const auto* a, const auto* b) { return a->first < b->first; });
  for (const auto* entry : held) {
    const std::string& key = entry->first;
    const VmValue& value = entry->second.value;
    if (!state->is_local && !entry->second.written) continue;
    if (rows.contains(key) || value.is(VmKind::None)) continue;
    VELN_CHECK(host.charge_storage_read(hash_storage_key_from_normalized(contract, hash_name, key), value));
    rows.emplace(key, value);
  }

  // None rows are deleted entries: they are neither listed nor counted.
  std::vector<VmValue> values;
  uint64_t bytes = 0;
  for (auto& [key, value] : rows) {
    if (value.is(VmKind::None)) continue;
    VELN_TRY(uint64_t encoded, encoded_vm_value_length(value));
    bytes = saturating_add(bytes, saturating_add(key.size(), encoded));
    if (values.size() + 1 > kListingMaxEntries || bytes > kListingMaxBytes) {
      return vm_error("hash scan result exceeds allocation limit");
    }
    state->entries[key].value = value;
    values.push_back(std::move(value));
    // As for a foreign hash's cache in hash_get.
    if (state != &it->second && state->any_written) stop_watching_recorded_writes();
  }
  return VmValue::make_list(std::move(values));
}

}  // namespace veln
