// Operand conversions: integer views without allocating for small values,
// decimal coercion with the operators' failure wording.
#include "interpreter_support/operand_conversions.hpp"

#include <string>
#include <utility>

#include "values/bigint.hpp"
#include "values/bounded_text.hpp"
#include "values/decimal_from_value.hpp"

namespace veln {

VmResult<VmValue> vm_int_operand(const VmValue& value) {
  switch (value.kind()) {
    case VmKind::Int:
      return value;
    case VmKind::Bool:
      return VmValue::integer(int64_t{value.bool_value() ? 1 : 0});
    case VmKind::Decimal:
      return VmValue::integer(value.decimal_value().to_bigint());
    default:
      // One wording of the refusal: the value model's own.
      return value.as_bigint().error();
  }
}

VmResult<int64_t> vm_int_to_i64(const VmValue& int_value, std::string_view label) {
  if (int_value.int_is_small()) return int_value.small_int();
  if (bigint_fits_i64(int_value.big_int())) return bigint_get_i64(int_value.big_int());
  return vm_error(std::string(label) + " exceeds the supported i64 range");
}

VmResult<VmDecimal> coerce_operand_to_decimal(const VmValue& operand, std::string_view context,
                                              std::string_view side) {
  auto converted = decimal_from_vm_value(operand);
  if (converted.ok()) return converted;
  std::string before(context);
  before += " could not coerce ";
  before += side;
  before += " operand ";
  std::string after = " (";
  after += operand.type_name();
  after += ") to decimal: ";
  after += converted.error().message;
  return vm_error_quoting(before, operand, after);
}

}  // namespace veln
