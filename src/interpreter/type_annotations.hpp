// Type annotations of exported functions ("int", "list[str]",
// "dict[str, list[int]]"): the parsed form, its parser and the run-time value
// checks with their TypeError messages. Checks never convert a value.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "values/vm_execution_error.hpp"
#include "values/vm_value.hpp"

namespace veln {

struct TypeAnnotation {
  std::string name;
  std::vector<TypeAnnotation> args;
  std::string source() const;  // the annotation's text form
};

// Nothing when the text does not parse (the caller reports
// "unsupported type annotation '{}'").
std::optional<TypeAnnotation> parse_type_annotation(std::string_view text);
// `label` is e.g. "Argument 'x'".
VmStatus check_typed_value(const VmValue& value, const TypeAnnotation& annotation, std::string_view label);
// Builds the wrapped "{label} must be {expected}, got {actual}!" TypeError.
VmExecutionError typecheck_error(std::string_view label, const TypeAnnotation& annotation, const VmValue& value);
// No annotation: success. Otherwise parses it (a text that does not parse
// fails with "unsupported type annotation '{}'") and checks `value` under
// the label "Return value".
VmStatus check_function_return(const std::optional<std::string>& returns, const VmValue& value);

}  // namespace veln
