// NativeMethodTable: the compile-time method table of one receiver kind. A
// method name is resolved to its entry's id once (through a NameIndex, no
// chains of string compares), before any call; a call then goes by the id.
// The entry carries the arity bounds and message, checked before the method
// converts any argument. Entries take the receiver over, so a changing method
// edits an unshared buffer in place; arguments are a span of the caller's
// values. NativeMethodKind is a table seen without its size.
// The table knows nothing about any method's semantics.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <span>
#include <string>
#include <string_view>
#include <utility>

#include "interpreter_support/native_method_outcome.hpp"
#include "lib/name_index.hpp"
#include "values/vm_execution_error.hpp"
#include "values/vm_value.hpp"

namespace veln {

using NativeMethodArgs = std::span<const VmValue>;
using NativeMethodFn = VmResult<NativeMethodOutcome> (*)(VmValue receiver, NativeMethodArgs args);

// max_args for methods taking any number of arguments.
inline constexpr size_t kAnyArgumentCount = std::numeric_limits<size_t>::max();

// The id of a name that is no method of the kind.
inline constexpr uint8_t kNoNativeMethod = 0xFF;

struct NativeMethodEntry {
  std::string_view name;
  size_t min_args;
  size_t max_args;
  std::string_view arity_message;
  NativeMethodFn run;
};

template <size_t N>
class NativeMethodTable {
 public:
  static_assert(N < kNoNativeMethod, "ids fit a byte beside kNoNativeMethod");

  // `kind` names the receiver kind in "unsupported {kind} method '{}()'".
  constexpr NativeMethodTable(std::string_view kind, const std::array<NativeMethodEntry, N>& entries)
      : kind_(kind), entries_(entries), index_(names_of(entries)) {}

  constexpr uint8_t find(std::string_view method) const {
    const size_t at = index_.find(method);
    return at == NameIndex<N>::kNotFound ? kNoNativeMethod : static_cast<uint8_t>(at);
  }
  constexpr std::string_view kind() const { return kind_; }
  constexpr std::span<const NativeMethodEntry> entries() const { return entries_; }

 private:
  static constexpr std::array<std::string_view, N> names_of(const std::array<NativeMethodEntry, N>& entries) {
    std::array<std::string_view, N> names{};
    for (size_t i = 0; i < N; ++i) names[i] = entries[i].name;
    return names;
  }

  std::string_view kind_;
  std::array<NativeMethodEntry, N> entries_;
  NameIndex<N> index_;
};

class NativeMethodKind {
 public:
  template <size_t N>
  constexpr explicit NativeMethodKind(const NativeMethodTable<N>& table)
      : table_(&table), kind_(table.kind()), entries_(table.entries()), find_(&find_in<N>) {}

  // The id of `method` in this kind's table, or kNoNativeMethod.
  uint8_t find(std::string_view method) const { return find_(table_, method); }

  // Runs entry `id` (`method` is its name, for the messages). Inlined into
  // the instruction loop's method calls; the refusals are out of line.
  [[gnu::always_inline]] VmResult<NativeMethodOutcome> call(VmValue receiver, uint8_t id, std::string_view method,
                                                           NativeMethodArgs args) const {
    if (id >= entries_.size()) [[unlikely]] return unsupported(method);
    const NativeMethodEntry& m = entries_[id];
    if (args.size() < m.min_args || args.size() > m.max_args) [[unlikely]] return arity_refused(m);
    return m.run(std::move(receiver), args);
  }

 private:
  [[gnu::noinline, gnu::cold]] VmExecutionError unsupported(std::string_view method) const {
    return vm_error("unsupported " + std::string(kind_) + " method '" + std::string(method) + "()'");
  }
  [[gnu::noinline, gnu::cold]] static VmExecutionError arity_refused(const NativeMethodEntry& m) {
    return vm_error(std::string(m.arity_message));
  }

  template <size_t N>
  static uint8_t find_in(const void* table, std::string_view method) {
    return static_cast<const NativeMethodTable<N>*>(table)->find(method);
  }

  const void* table_;
  std::string_view kind_;
  std::span<const NativeMethodEntry> entries_;
  uint8_t (*find_)(const void*, std::string_view);
};

}  // namespace veln
