// Structural validation of the module IR nodes below the typed top level:
// statements, expressions, assignment targets, keywords, global declarations
// and contract targets. Each node's kind is resolved once into an enum and
// dispatched through a table; members are checked in a fixed order and the
// first fault ends validation with its message. Validation only reads the
// tree: it never copies or changes a node.
#pragma once

#include <span>
#include <string_view>

#include "lib/json_value.hpp"
#include "lib/validation_primitives.hpp"

namespace veln {

// Nesting of nodes inside nodes beyond this fails with "recursion limit
// exceeded". The JSON reader already stops at 127 levels and every nested node
// sits at least one level deeper than its parent, so no document that reads
// can reach it; the limit keeps hand-built trees from exhausting the stack.
inline constexpr unsigned kMaxNodeDepth = 127;

ValidationStatus validate_statement(const JsonValue& value);
ValidationStatus validate_statement_array(std::span<const JsonValue> statements);
ValidationStatus validate_expression(const JsonValue& value);
// nullptr (absent) and JSON null pass.
ValidationStatus validate_optional_expression(const JsonValue* value);
ValidationStatus validate_target(const JsonValue& value);
ValidationStatus validate_keyword(const JsonValue& value);
// On success, the declaration's "name", borrowed from `value`.
ValidationResult<std::string_view> validate_global_declaration(const JsonValue& value);
ValidationStatus validate_contract_target(const JsonValue& value);
// nullptr (absent) and JSON null pass.
ValidationStatus validate_optional_contract_target(const JsonValue* value);

}  // namespace veln
