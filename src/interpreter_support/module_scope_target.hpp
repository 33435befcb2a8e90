// Whether an assignment target writes a module-level binding rather than a
// local one: a name, or a chain of subscripts of a name (x[i][j] is judged by
// x), that is not a local and is bound at module level. Reads the target's
// IR JSON only.
#pragma once

#include <optional>
#include <string_view>

#include "lib/json_value.hpp"
#include "values/vm_execution_error.hpp"

namespace veln {

// The name under a target's subscripts ("x" for x[i][j]); nothing when the
// target is not built on a plain name (a tuple target, an attribute...).
// The name views into `target`.
// Fails with the node readers' messages on malformed nodes.
VmResult<std::optional<std::string_view>> target_root_name(const JsonValue& target);

// True when the target's root name is absent from `locals` and present in
// `module_bindings` (any maps keyed by name that offer count()).
template <class LocalMap, class ModuleMap>
VmResult<bool> target_writes_module_scope(const JsonValue& target, const LocalMap& locals,
                                          const ModuleMap& module_bindings) {
  VELN_TRY(std::optional<std::string_view> name, target_root_name(target));
  if (!name) return false;
  const typename LocalMap::key_type local_key(*name);
  const typename ModuleMap::key_type module_key(*name);
  return locals.count(local_key) == 0 && module_bindings.count(module_key) != 0;
}

}  // namespace veln
