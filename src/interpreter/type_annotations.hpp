// Type annotations of exported functions ("int", "list[str]",
// "dict[str, list[int]]"): the parsed form, its parser and the run-time value
// checks with their TypeError messages. Checks never convert a value.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "values/vm_execution_error.hpp"
#include "values/vm_value.hpp"

namespace veln {

// The supported annotation names, resolved once from `name`.
enum class TypeAnnotationKind : uint8_t {
  Unresolved,  // not looked up yet (an annotation built by hand)
  Unsupported,
  Any,
  Int,
  Float,
  Str,
  Bool,
  Bytes,
  ByteArray,
  List,
  Set,
  FrozenSet,
  Dict,
  DateTime,
  TimeDelta,
};

struct TypeAnnotation {
  std::string name;
  std::vector<TypeAnnotation> args;
  // Set by parse_type_annotation; checks look `name` up when it is
  // Unresolved.
  TypeAnnotationKind kind = TypeAnnotationKind::Unresolved;
  std::string source() const;  // the annotation's text form
};

// Nothing when the text does not parse (the caller reports
// "unsupported type annotation '{}'"). Brackets nested deeper than 256
// levels do not parse: no value nests that deep, and parsing, checking and
// dropping an annotation recurse once per level.
std::optional<TypeAnnotation> parse_type_annotation(std::string_view text);
// `label` is e.g. "Argument 'x'".
VmStatus check_typed_value(const VmValue& value, const TypeAnnotation& annotation, std::string_view label);
// Builds the wrapped "{label} must be {expected}, got {actual}!" TypeError.
VmExecutionError typecheck_error(std::string_view label, const TypeAnnotation& annotation, const VmValue& value);
// No annotation: success. Otherwise parses it (a text that does not parse
// fails with "unsupported type annotation '{}'") and checks `value` under
// the label "Return value".
VmStatus check_function_return(const std::optional<std::string>& returns, const VmValue& value);
// The same with the annotation `text` parsed already (nullopt: it did not parse).
VmStatus check_parsed_return(std::string_view text, const std::optional<TypeAnnotation>& annotation,
                             const VmValue& value);

}  // namespace veln
