// Constant values by "value_type" (see header).
#include "interpreter/constants.hpp"

#include <cstdint>
#include <string>

#include "interpreter_support/ir_argument_readers.hpp"
#include "lib/ir_node_kinds.hpp"
#include "values/hex_digits.hpp"
#include "values/vm_decimal.hpp"

namespace veln {
namespace {

// Hex pairs to bytes, with the decoder's own description of a fault.
VmResult<std::string> decode_hex_constant(std::string_view text) {
  if (text.size() % 2 != 0) return vm_error("invalid bytes constant: odd number of hex digits");
  std::string bytes;
  bytes.reserve(text.size() / 2);
  for (size_t i = 0; i < text.size(); i += 2) {
    const int hi = hex_digit_value(text[i]);
    const int lo = hex_digit_value(text[i + 1]);
    if (hi < 0 || lo < 0) return vm_error("invalid bytes constant: invalid hex digit");
    bytes.push_back(static_cast<char>(hi * 16 + lo));
  }
  return bytes;
}

}  // namespace

VmResult<VmValue> eval_constant(const JsonValue& node) {
  VELN_TRY(std::string_view value_type, required_string(node, "value_type"));
  const std::optional<ConstantValueType> type = constant_value_type_from_name(value_type);
  if (!type) return vm_error("unsupported constant value_type '" + std::string(value_type) + "'");
  switch (*type) {
    case ConstantValueType::None:
      return VmValue::none();
    case ConstantValueType::Bool: {
      const JsonValue* v = node.find("value");
      if (v == nullptr || !v->is_bool()) return vm_error("field 'value' must be a bool");
      return VmValue::boolean(v->as_bool());
    }
    case ConstantValueType::Int: {
      // Most literals fit a machine word: no big integer is made for them.
      if (const JsonValue* v = node.find("value"); v != nullptr) {
        if (v->is_i64()) return VmValue::integer(v->as_i64());
        if (v->is_u64() && v->as_u64() <= static_cast<uint64_t>(INT64_MAX)) {
          return VmValue::integer(static_cast<int64_t>(v->as_u64()));
        }
      }
      VELN_TRY(mpz_class value, required_bigint(node, "value"));
      return VmValue::integer(std::move(value));
    }
    case ConstantValueType::Str: {
      VELN_TRY(std::string_view text, required_string(node, "value"));
      return VmValue::make_str(std::string(text));
    }
    case ConstantValueType::Float: {
      if (const JsonText* literal = node.find_string("literal")) {
        VELN_TRY(VmDecimal d, VmDecimal::from_str_literal(*literal));
        return VmValue::decimal(std::move(d));
      }
      VELN_TRY(double x, required_f64(node, "value"));
      VELN_TRY(VmDecimal d, VmDecimal::from_f64(x));
      return VmValue::decimal(std::move(d));
    }
    case ConstantValueType::Bytes: {
      VELN_TRY(std::string_view text, required_string(node, "value"));
      VELN_TRY(std::string bytes, decode_hex_constant(text));
      return VmValue::make_bytes(std::move(bytes));
    }
  }
  return vm_error("unsupported constant value_type '" + std::string(value_type) + "'");
}

}  // namespace veln
