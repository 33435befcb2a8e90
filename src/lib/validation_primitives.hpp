// The small checks that module IR validation is built from: the span rule,
// member presence and type checks on JSON objects, allowed-value and hex
// checks, each with its fixed message template. Messages quote values with
// single quotes and carry no position. These checks borrow from the checked
// value and never copy it; they know nothing about node kinds.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "lib/json_value.hpp"
#include "lib/name_index.hpp"
#include "values/vm_execution_error.hpp"

namespace veln {

// A validation outcome: success (with a value borrowed from the checked tree,
// where there is one) or the message of the first fault.
using ValidationStatus = Result<Ok, std::string>;
template <class T>
using ValidationResult = Result<T, std::string>;

// The string or array held by `value`, or nullptr for any other kind.
inline const std::string_view* string_if(const JsonValue& value) noexcept {
  return value.is_string() ? &value.as_string() : nullptr;
}
inline const JsonValue::Array* array_if(const JsonValue& value) noexcept {
  return value.is_array() ? &value.as_array() : nullptr;
}

// "span.end_line must be >= span.line" is checked before the positive-line
// rule; columns are not checked.
ValidationStatus validate_span(std::uint64_t line, std::uint64_t end_line);
// The same rule as a test, for paths that make no message.
inline bool span_lines_valid(std::uint64_t line, std::uint64_t end_line) noexcept {
  return end_line >= line && line != 0;
}

// Reads the object's "span" member as a Span and applies validate_span.
ValidationStatus validate_object_span(const JsonValue& object);

// "{label} must be an object" unless `value` is a JSON object.
ValidationResult<const JsonValue*> expect_object(const JsonValue& value, std::string_view label);

// "compare operator must be a string" unless `value` is a JSON string.
ValidationResult<std::string_view> expect_string(const JsonValue& value);

// The member's value (null included), or "missing required field '{key}'".
ValidationResult<const JsonValue*> expect_value_field(const JsonValue& object, std::string_view key);

// The member's string; "missing required field '{key}'" or "{key} must be a string".
ValidationResult<std::string_view> expect_string_field(const JsonValue& object, std::string_view key);

// The member's elements; "missing required field '{key}'" or "{key} must be an array".
ValidationResult<const JsonValue::Array*> expect_array_field(const JsonValue& object, std::string_view key);

// "{label} must not be empty" when `value` is empty.
ValidationStatus ensure_non_empty(std::string_view label, std::string_view value);

// "{label} has unsupported value '{value}'" when `value` is not in `allowed`.
template <std::size_t N>
ValidationStatus ensure_allowed(std::string_view label, std::string_view value, const NameIndex<N>& allowed);

// "source_hash must be a 64-character hex string" unless `text` is exactly 64
// ASCII hex digits (either case).
ValidationStatus ensure_hex_hash(std::string_view text);

// "expression.constant.value must be an even-length hex string" unless `text`
// is an even number of ASCII hex digits (the empty text passes).
ValidationStatus ensure_hex_string(std::string_view text);

// Absent (nullptr) or null passes; otherwise "optional string must be a
// string" or "optional string must not be empty".
ValidationStatus validate_optional_non_empty_string(const JsonValue* value);

// Message builders shared by the node and module checks.
std::string unsupported_value_error(std::string_view label, std::string_view value);
std::string must_not_be_empty_error(std::string_view label);

template <std::size_t N>
ValidationStatus ensure_allowed(std::string_view label, std::string_view value, const NameIndex<N>& allowed) {
  if (allowed.contains(value)) return Ok{};
  return unsupported_value_error(label, value);
}

}  // namespace veln
