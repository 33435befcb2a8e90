// Walks a target's subscript chain iteratively (the chain can be as deep as
// the JSON nesting allows) down to its root node.
#include "interpreter_support/module_scope_target.hpp"

#include "interpreter_support/ir_argument_readers.hpp"

namespace veln {

VmResult<std::optional<std::string_view>> target_root_name(const JsonValue& target) {
  const JsonValue* node = &target;
  for (;;) {
    VELN_TRY(const JsonValue* object, as_object(*node, "target"));
    VELN_TRY(std::string_view kind, required_string(*object, "node"));
    if (kind == "subscript") {
      VELN_TRY(node, required_value(*object, "value"));
      continue;
    }
    if (kind == "name") {
      VELN_TRY(std::string_view id, required_string(*object, "id"));
      return std::optional<std::string_view>(id);
    }
    return std::optional<std::string_view>();
  }
}

}  // namespace veln
