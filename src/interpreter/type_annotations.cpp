// Placeholder until the annotation checks land: no annotation parses.
#include "interpreter/type_annotations.hpp"

#include "interpreter/type_error_text.hpp"

namespace veln {

std::string TypeAnnotation::source() const { return name; }

std::optional<TypeAnnotation> parse_type_annotation(std::string_view) { return std::nullopt; }

VmStatus check_typed_value(const VmValue&, const TypeAnnotation& annotation, std::string_view) {
  return vm_error("unsupported type annotation '" + annotation.source() + "'");
}

VmExecutionError typecheck_error(std::string_view label, const TypeAnnotation& annotation, const VmValue&) {
  return wrapped_type_error(std::string(label) + " must be " + annotation.source());
}

VmStatus check_function_return(const std::optional<std::string>& returns, const VmValue&) {
  if (!returns) return Ok{};
  return vm_error("unsupported type annotation '" + *returns + "'");
}

}  // namespace veln
