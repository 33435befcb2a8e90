// Unary operators through a table indexed by the operator enum.
#include "interpreter_support/unary_operators.hpp"

#include <array>
#include <string>
#include <utility>

#include "interpreter_support/operand_conversions.hpp"
#include "values/vm_decimal.hpp"

namespace veln {
namespace {

VmResult<VmValue> op_not(VmValue operand) { return VmValue::boolean(!operand.truthy()); }

VmResult<VmValue> op_neg(VmValue operand) {
  switch (operand.kind()) {
    case VmKind::Int:
      return vm_int_neg(operand);
    case VmKind::Float:
      return VmValue::float64(-operand.float_value());  // flips the sign bit, NaN included
    case VmKind::Decimal:
      return VmValue::decimal(operand.decimal_value().negated());
    default:
      return vm_error("unsupported neg operand " + std::string(operand.type_name()));
  }
}

VmResult<VmValue> op_pos(VmValue operand) {
  switch (operand.kind()) {
    case VmKind::Int:
    case VmKind::Float:
    case VmKind::Decimal:
    case VmKind::TimeDelta:
      return operand;
    default:
      return vm_error("unsupported pos operand " + std::string(operand.type_name()));
  }
}

VmResult<VmValue> op_invert(VmValue operand) {
  VELN_TRY(VmValue n, vm_int_operand(operand));
  // ~n is -(n + 1); on int64 it never overflows.
  if (n.int_is_small()) return VmValue::integer(~n.small_int());
  mpz_class out;
  mpz_com(out.get_mpz_t(), n.big_int().get_mpz_t());
  return VmValue::integer(std::move(out));
}

using UnaryFn = VmResult<VmValue> (*)(VmValue);

constexpr std::array<UnaryFn, kUnaryOperatorCount> make_unary_table() {
  std::array<UnaryFn, kUnaryOperatorCount> t{};
  t[static_cast<size_t>(UnaryOperator::Not)] = &op_not;
  t[static_cast<size_t>(UnaryOperator::Neg)] = &op_neg;
  t[static_cast<size_t>(UnaryOperator::Pos)] = &op_pos;
  t[static_cast<size_t>(UnaryOperator::Invert)] = &op_invert;
  return t;
}
constexpr std::array<UnaryFn, kUnaryOperatorCount> kUnaryTable = make_unary_table();

}  // namespace

VmResult<VmValue> apply_unary_operator(UnaryOperator op, VmValue operand) {
  return kUnaryTable[static_cast<size_t>(op)](std::move(operand));
}

VmResult<VmValue> apply_unary_operator(std::string_view op_name, VmValue operand) {
  const auto op = unary_operator_from_name(op_name);
  if (!op) return vm_error("unsupported unary operator '" + std::string(op_name) + "'");
  return apply_unary_operator(*op, std::move(operand));
}

}  // namespace veln
