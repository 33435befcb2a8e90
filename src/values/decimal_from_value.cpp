// Runtime value to decimal, by kind; every route ends in the literal rules of
// VmDecimal, with direct paths for bools and integers that give the same
// results without formatting text.
#include "values/decimal_from_value.hpp"

#include "values/vm_value.hpp"
#include "values/vm_work_tally.hpp"

namespace veln {

VmResult<VmDecimal> decimal_from_vm_value(const VmValue& value) {
  switch (value.kind()) {
    case VmKind::Bool:
      return VmDecimal::from_bool(value.bool_value());
    case VmKind::Int:
      if (value.int_is_small()) return VmDecimal::from_i64(value.small_int());
      return VmDecimal::from_bigint(value.big_int());
    case VmKind::Float:
      return VmDecimal::from_f64(value.float_value());
    case VmKind::Decimal:
      return value.decimal_value();
    case VmKind::String:
      // Parsing reads the text and copies its digits; refused before it
      // starts.
      VELN_CHECK(vm_take_work(2 * vm_text_read_steps(value.text_size())));
      return VmDecimal::from_str_literal(value.text());
    default:
      return VmDecimal::not_decimal_compatible(value.type_name());
  }
}

}  // namespace veln
