// Field checks and the span rule of module IR validation. Only failure paths
// build strings; a passing check allocates nothing.
#include "lib/validation_primitives.hpp"

#include <string>

#include "lib/module_ir.hpp"
#include "values/hex_digits.hpp"

namespace veln {
namespace {

std::string concat_error(std::initializer_list<std::string_view> parts) {
  std::size_t size = 0;
  for (std::string_view part : parts) size += part.size();
  std::string message;
  message.reserve(size);
  for (std::string_view part : parts) message.append(part);
  return message;
}

std::string missing_field_error(std::string_view key) {
  return concat_error({"missing required field '", key, "'"});
}

}  // namespace

std::string unsupported_value_error(std::string_view label, std::string_view value) {
  return concat_error({label, " has unsupported value '", value, "'"});
}

std::string must_not_be_empty_error(std::string_view label) {
  return concat_error({label, " must not be empty"});
}

ValidationStatus validate_span(std::uint64_t line, std::uint64_t end_line) {
  if (end_line < line) return std::string("span.end_line must be >= span.line");
  if (line == 0) return std::string("span line values must be positive");
  return Ok{};
}

ValidationStatus validate_object_span(const JsonValue& object) {
  const JsonValue* span_value = object.find("span");
  if (span_value == nullptr) return missing_field_error("span");
  if (const JsonValue::Entry* numbers = span_value->span_numbers()) {
    const std::uint64_t line = numbers[0].second.as_u64();
    const std::uint64_t end_line = numbers[2].second.as_u64();
    if (span_lines_valid(line, end_line)) return Ok{};
    return validate_span(line, end_line);
  }
  VELN_TRY(const Span span, span_from_json_value(*span_value));
  return validate_span(span.line, span.end_line);
}

ValidationResult<const JsonValue*> expect_object(const JsonValue& value, std::string_view label) {
  if (value.is_object()) return &value;
  return concat_error({label, " must be an object"});
}

ValidationResult<std::string_view> expect_string(const JsonValue& value) {
  if (const std::string_view* text = string_if(value)) return std::string_view(*text);
  return std::string("compare operator must be a string");
}

ValidationResult<const JsonValue*> expect_value_field(const JsonValue& object, std::string_view key) {
  if (const JsonValue* member = object.find(key)) return member;
  return missing_field_error(key);
}

ValidationResult<std::string_view> expect_string_field(const JsonValue& object, std::string_view key) {
  const JsonValue* member = object.find(key);
  if (member == nullptr) return missing_field_error(key);
  if (const std::string_view* text = string_if(*member)) return std::string_view(*text);
  return concat_error({key, " must be a string"});
}

ValidationResult<const JsonValue::Array*> expect_array_field(const JsonValue& object, std::string_view key) {
  const JsonValue* member = object.find(key);
  if (member == nullptr) return missing_field_error(key);
  if (const JsonValue::Array* elements = array_if(*member)) return elements;
  return concat_error({key, " must be an array"});
}

ValidationStatus ensure_non_empty(std::string_view label, std::string_view value) {
  if (value.empty()) return must_not_be_empty_error(label);
  return Ok{};
}

ValidationStatus ensure_hex_hash(std::string_view text) {
  if (text.size() != 64 || !is_all_hex_digits(text)) {
    return std::string("source_hash must be a 64-character hex string");
  }
  return Ok{};
}

ValidationStatus ensure_hex_string(std::string_view text) {
  if (text.size() % 2 != 0 || !is_all_hex_digits(text)) {
    return std::string("expression.constant.value must be an even-length hex string");
  }
  return Ok{};
}

ValidationStatus validate_optional_non_empty_string(const JsonValue* value) {
  if (value == nullptr || value->is_null()) return Ok{};
  const std::string_view* text = string_if(*value);
  if (text == nullptr) return std::string("optional string must be a string");
  if (text->empty()) return std::string("optional string must not be empty");
  return Ok{};
}

}  // namespace veln
