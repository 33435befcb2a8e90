// NativeMethodTable: the compile-time method table of one receiver kind. A
// method name is resolved once through a NameIndex (no chains of string
// compares); the entry carries the arity bounds and message, checked before
// the method converts any argument. Entries take the receiver over, so a
// changing method edits an unshared buffer in place.
// The table knows nothing about any method's semantics.
#pragma once

#include <array>
#include <cstddef>
#include <limits>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "interpreter_support/native_method_outcome.hpp"
#include "lib/name_index.hpp"
#include "values/vm_execution_error.hpp"
#include "values/vm_value.hpp"

namespace veln {

using NativeMethodArgs = std::span<const VmValue>;
using NativeMethodFn = VmResult<NativeMethodOutcome> (*)(VmValue receiver, NativeMethodArgs args);

// max_args for methods taking any number of arguments.
inline constexpr size_t kAnyArgumentCount = std::numeric_limits<size_t>::max();

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
  // `kind` names the receiver kind in "unsupported {kind} method '{}()'".
  constexpr NativeMethodTable(std::string_view kind, const std::array<NativeMethodEntry, N>& entries)
      : kind_(kind), entries_(entries), index_(names_of(entries)) {}

  VmResult<NativeMethodOutcome> call(VmValue receiver, std::string_view method,
                                     const std::vector<VmValue>& args) const {
    const size_t at = index_.find(method);
    if (at == NameIndex<N>::kNotFound) {
      return vm_error("unsupported " + std::string(kind_) + " method '" + std::string(method) + "()'");
    }
    const NativeMethodEntry& m = entries_[at];
    if (args.size() < m.min_args || args.size() > m.max_args) return vm_error(std::string(m.arity_message));
    return m.run(std::move(receiver), args);
  }

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

}  // namespace veln
