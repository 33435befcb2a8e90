// Storage declarations ("storage_decl"): the VariableState or HashState a
// declared Variable, ForeignVariable, Hash or ForeignHash starts with, and
// the readers of declaration arguments by position and by keyword, each
// evaluated against a copy of the module globals.
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string_view>

#include "interpreter/vm_instance_state.hpp"
#include "interpreter/vm_run.hpp"
#include "lib/json_value.hpp"

namespace veln {

struct StorageDeclarationArgs {
  VmRun& run;
  std::span<const JsonValue> args;
  std::span<const JsonValue> keywords;
};

// The argument expression at `index`, evaluated, or nothing.
VmResult<std::optional<VmValue>> positional_value(VmRun& run, std::span<const JsonValue> args, size_t index);
// The first keyword object whose "arg" is `name`, its "value" evaluated, or nothing.
VmResult<std::optional<VmValue>> keyword_value(VmRun& run, std::span<const JsonValue> keywords,
                                               std::string_view name);

VmResult<VariableState> build_variable_state(std::string_view name, std::string_view storage_type,
                                             const StorageDeclarationArgs& declaration);
VmResult<HashState> build_hash_state(std::string_view name, std::string_view storage_type,
                                     const StorageDeclarationArgs& declaration);

}  // namespace veln
