// Binary operators: one function per operator, reached through a table indexed
// by the operator enum; inside, a switch on the pair of operand kinds. Rows
// are checked in a fixed order, so the first matching rule decides and
// anything unmatched gets the operator's own refusal.
#include "interpreter_support/binary_operators.hpp"

#include <array>
#include <cmath>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "interpreter_support/operand_conversions.hpp"
#include "interpreter_support/integer_guards.hpp"
#include "interpreter_support/sets/set_operators.hpp"
#include "interpreter_support/value_equality.hpp"
#include "values/vm_datetime.hpp"
#include "values/vm_decimal.hpp"
#include "values/vm_timedelta.hpp"
#include "values/vm_work_tally.hpp"

namespace veln {
namespace {

constexpr uint32_t pair_code(VmKind a, VmKind b) {
  return static_cast<uint32_t>(a) * 32u + static_cast<uint32_t>(b);
}
constexpr uint32_t kIntInt = pair_code(VmKind::Int, VmKind::Int);
constexpr uint32_t kIntFloat = pair_code(VmKind::Int, VmKind::Float);
constexpr uint32_t kFloatInt = pair_code(VmKind::Float, VmKind::Int);
constexpr uint32_t kFloatFloat = pair_code(VmKind::Float, VmKind::Float);

bool is_bytes_like(VmKind k) { return k == VmKind::Bytes || k == VmKind::ByteArray; }
bool is_set_like(VmKind k) { return k == VmKind::Set || k == VmKind::FrozenSet; }
bool is_list_or_tuple(VmKind k) { return k == VmKind::List || k == VmKind::Tuple; }

VmExecutionError unsupported_operands(BinaryOperator op, const VmValue& left, const VmValue& right) {
  std::string msg = "unsupported ";
  msg += binary_operator_name(op);
  msg += " operands ";
  msg += left.type_name();
  msg += " and ";
  msg += right.type_name();
  return vm_error(std::move(msg));
}

// ---------------------------------------------------------------------------
// Decimal rows: a decimal on either side pulls the other operand into a
// decimal, the left one first when both could.

using DecimalKernel = VmResult<VmDecimal> (*)(const VmDecimal&, const VmDecimal&);

VmResult<VmDecimal> coerce_to_decimal(BinaryOperator op, const VmValue& operand, std::string_view side) {
  std::string context = "binary operator '";
  context += binary_operator_name(op);
  context += "'";
  return coerce_operand_to_decimal(operand, context, side);
}

// A kernel that writes its result over an operand.
using DecimalKernelInto = VmStatus (*)(VmDecimal&, const VmDecimal&, const VmDecimal&);

// With `in_place`, a decimal operand that alone holds its buffer gets the
// result written over it, so no buffer is made for it (a decimal is a
// value: which buffer holds it is not observable).
VmResult<VmValue> decimal_operation(BinaryOperator op, DecimalKernel kernel, VmValue& left, VmValue& right,
                                    DecimalKernelInto in_place = nullptr) {
  vm_count_work(kVmDecimalSteps);
  // Decimals are read where they are; the other operand (the right one when
  // both could be) is coerced.
  std::optional<VmDecimal> coerced;
  const bool left_decimal = left.is(VmKind::Decimal);
  const bool right_decimal = right.is(VmKind::Decimal);
  if (!left_decimal || !right_decimal) {
    VELN_TRY(VmDecimal other,
             left_decimal ? coerce_to_decimal(op, right, "right") : coerce_to_decimal(op, left, "left"));
    coerced = std::move(other);
  }
  const VmDecimal& l = left_decimal ? left.decimal_value() : *coerced;
  const VmDecimal& r = right_decimal ? right.decimal_value() : *coerced;
  if (in_place != nullptr) {
    if (VmDecimal* out = left_decimal ? left.unshared_decimal() : nullptr) {
      VELN_CHECK(in_place(*out, *out, r));
      return std::move(left);
    }
    if (VmDecimal* out = right_decimal ? right.unshared_decimal() : nullptr) {
      VELN_CHECK(in_place(*out, l, *out));
      return std::move(right);
    }
  }
  VELN_TRY(VmDecimal result, kernel(l, r));
  return VmValue::decimal(std::move(result));
}

bool has_decimal(const VmValue& left, const VmValue& right) {
  return left.is(VmKind::Decimal) || right.is(VmKind::Decimal);
}

// ---------------------------------------------------------------------------
// Shared pieces.

// Int operands meet floats through the nearest double (ties to even, an int
// beyond the double range becomes an infinity).
double int_as_double(const VmValue& v) {
  return v.int_is_small() ? static_cast<double>(v.small_int()) : vm_int_to_f64(v);
}

VmResult<VmValue> float_result(double x) { return VmValue::float64(x); }

// Concatenation appends to the left operand's buffer (copied only if shared);
// the value-size limit is checked before the buffer grows. A shared left
// operand (a constant prefix) before a fresh right one of its kind: the
// result goes into the right one's buffer instead, so no buffer is made.
VmResult<VmValue> concat_text(VmValue left, VmValue right) {
  if (!left.holds_only_reference() && right.holds_only_reference() && left.kind() == right.kind()) {
    VELN_CHECK(vm_check_units(vm_text_units(uint64_t{left.text_size()} + right.text_size())));
    std::string joined;
    joined.reserve(left.text_size() + right.text_size());
    joined.append(left.text());
    joined.append(right.text());
    VELN_CHECK(right.text_assign(std::move(joined)));
    return right;
  }
  VELN_CHECK(left.text_append(right.text()));
  return left;
}
VmResult<VmValue> concat_items(VmValue left, const VmValue& right) {
  VELN_CHECK(left.seq_extend(right.items()));
  return left;
}

VmResult<VmValue> repeat_text_value(const VmValue& text, const VmValue& count) {
  if (text.is(VmKind::String)) {
    VELN_TRY(std::string out, repeat_string(text.text(), count));
    return VmValue::make_str(std::move(out));
  }
  VELN_TRY(std::string out, repeat_bytes_like(text.text(), count));
  return VmValue::make_text(text.kind(), std::move(out));
}
VmResult<VmValue> repeat_sequence_value(const VmValue& seq, const VmValue& count) {
  VELN_TRY(std::vector<VmValue> out, repeat_values(seq.items(), count));
  return VmValue::make_sequence(seq.kind(), std::move(out));
}

VmResult<VmValue> timedelta_times_int(const VmValue& delta, const VmValue& count) {
  VELN_TRY(int64_t factor, vm_int_to_i64(count, "timedelta multiplier"));
  VELN_TRY(VmTimeDelta product, VmTimeDelta::mul(delta.timedelta_value(), factor));
  return VmValue::timedelta(product);
}

// Set results keep the left operand's kind and are brought into canonical form.
VmResult<VmValue> set_operation(SetOperator op, const VmValue& left, const VmValue& right) {
  VELN_TRY(std::vector<VmValue> items, set_operator_items(op, left.items(), right.items()));
  return VmValue::make_sequence(left.kind(), std::move(items));
}

// ---------------------------------------------------------------------------
// The operators.

VmResult<VmValue> op_add(VmValue left, VmValue right) {
  switch (pair_code(left.kind(), right.kind())) {
    case kIntInt:
      return vm_int_add(left, right);  // sums are exact and unguarded
    case kFloatFloat:
      return float_result(left.float_value() + right.float_value());
    case kFloatInt:
      return float_result(left.float_value() + int_as_double(right));
    case kIntFloat:
      return float_result(int_as_double(left) + right.float_value());
    case pair_code(VmKind::DateTime, VmKind::TimeDelta): {
      VELN_TRY(VmDateTime dt, VmDateTime::add_timedelta(left.datetime_value(), right.timedelta_value()));
      return VmValue::datetime(dt);
    }
    case pair_code(VmKind::TimeDelta, VmKind::DateTime): {
      VELN_TRY(VmDateTime dt, VmDateTime::add_timedelta(right.datetime_value(), left.timedelta_value()));
      return VmValue::datetime(dt);
    }
    case pair_code(VmKind::TimeDelta, VmKind::TimeDelta): {
      VELN_TRY(VmTimeDelta sum, VmTimeDelta::add(left.timedelta_value(), right.timedelta_value()));
      return VmValue::timedelta(sum);
    }
    default:
      break;
  }
  if (has_decimal(left, right)) {
    return decimal_operation(BinaryOperator::Add, &VmDecimal::add, left, right, &VmDecimal::add_into);
  }
  const VmKind lk = left.kind();
  const VmKind rk = right.kind();
  if (lk == VmKind::String && rk == VmKind::String) return concat_text(std::move(left), std::move(right));
  if (is_bytes_like(lk) && is_bytes_like(rk)) return concat_text(std::move(left), std::move(right));
  if ((lk == VmKind::List || lk == VmKind::Tuple) && lk == rk) return concat_items(std::move(left), right);
  return unsupported_operands(BinaryOperator::Add, left, right);
}

VmResult<VmValue> op_sub(VmValue left, VmValue right) {
  switch (pair_code(left.kind(), right.kind())) {
    case kIntInt:
      return vm_int_sub(left, right);
    case kFloatFloat:
      return float_result(left.float_value() - right.float_value());
    case kFloatInt:
      return float_result(left.float_value() - int_as_double(right));
    case kIntFloat:
      return float_result(int_as_double(left) - right.float_value());
    case pair_code(VmKind::DateTime, VmKind::DateTime):
      return VmValue::timedelta_seconds(
          VmDateTime::seconds_between(left.datetime_value(), right.datetime_value()));
    case pair_code(VmKind::TimeDelta, VmKind::TimeDelta): {
      VELN_TRY(VmTimeDelta diff, VmTimeDelta::sub(left.timedelta_value(), right.timedelta_value()));
      return VmValue::timedelta(diff);
    }
    default:
      break;
  }
  if (has_decimal(left, right)) {
    return decimal_operation(BinaryOperator::Sub, &VmDecimal::sub, left, right, &VmDecimal::sub_into);
  }
  if (is_set_like(left.kind()) && is_set_like(right.kind())) {
    return set_operation(SetOperator::Difference, left, right);
  }
  return unsupported_operands(BinaryOperator::Sub, left, right);
}

VmResult<VmValue> op_mul(VmValue left, VmValue right) {
  const VmKind lk = left.kind();
  const VmKind rk = right.kind();
  switch (pair_code(lk, rk)) {
    case kIntInt:
      return checked_int_mul(left, right);
    case kFloatFloat:
      return float_result(left.float_value() * right.float_value());
    case kFloatInt:
      return float_result(left.float_value() * int_as_double(right));
    case kIntFloat:
      return float_result(int_as_double(left) * right.float_value());
    case pair_code(VmKind::Int, VmKind::TimeDelta):
      return timedelta_times_int(right, left);
    case pair_code(VmKind::TimeDelta, VmKind::Int):
      return timedelta_times_int(left, right);
    case pair_code(VmKind::TimeDelta, VmKind::TimeDelta): {
      VELN_TRY(VmTimeDelta product,
               VmTimeDelta::mul(left.timedelta_value(), right.timedelta_raw_seconds()));
      return VmValue::timedelta(product);
    }
    default:
      break;
  }
  // Repetition takes an int count only (a bool count is refused).
  if (lk == VmKind::Int) {
    if (rk == VmKind::String || is_bytes_like(rk)) return repeat_text_value(right, left);
    if (is_list_or_tuple(rk)) return repeat_sequence_value(right, left);
  }
  if (has_decimal(left, right)) {
    return decimal_operation(BinaryOperator::Mul, &VmDecimal::mul, left, right, &VmDecimal::mul_into);
  }
  if (rk == VmKind::Int) {
    if (lk == VmKind::String || is_bytes_like(lk)) return repeat_text_value(left, right);
    if (is_list_or_tuple(lk)) return repeat_sequence_value(left, right);
  }
  return unsupported_operands(BinaryOperator::Mul, left, right);
}

VmResult<VmValue> op_div(VmValue left, VmValue right) {
  switch (pair_code(left.kind(), right.kind())) {
    case kIntInt:
      // Each int becomes a double first, so huge ints divide as infinities.
      if (right.int_sign() == 0) return vm_error("division by zero");
      return float_result(int_as_double(left) / int_as_double(right));
    case kFloatFloat:
      return float_result(left.float_value() / right.float_value());
    case kFloatInt:
      return float_result(left.float_value() / int_as_double(right));
    case kIntFloat:
      return float_result(int_as_double(left) / right.float_value());
    default:
      break;
  }
  if (has_decimal(left, right)) return decimal_operation(BinaryOperator::Div, &VmDecimal::div, left, right);
  return unsupported_operands(BinaryOperator::Div, left, right);
}

// A division of ints beyond 64 bits, counted over both operands' words
// and refused before it starts once the count passes the allowance (a
// division by zero fails first, as it does without the count).
VmStatus take_division_work(const VmValue& left, const VmValue& right) {
  if ((left.int_is_small() && right.int_is_small()) || right.int_sign() == 0) return Ok{};
  return vm_take_bigint_work(vm_int_words(left) + vm_int_words(right));
}

VmResult<VmValue> op_floordiv(VmValue left, VmValue right) {
  if (left.is(VmKind::Int) && right.is(VmKind::Int)) {
    VELN_CHECK(take_division_work(left, right));
    return vm_int_floor_div(left, right);
  }
  if (has_decimal(left, right)) {
    return decimal_operation(BinaryOperator::FloorDiv, &VmDecimal::floor_div, left, right);
  }
  return unsupported_operands(BinaryOperator::FloorDiv, left, right);
}

VmResult<VmValue> op_mod(VmValue left, VmValue right) {
  if (left.is(VmKind::Int) && right.is(VmKind::Int)) {
    VELN_CHECK(take_division_work(left, right));
    return vm_int_modulo(left, right);
  }
  if (has_decimal(left, right)) return decimal_operation(BinaryOperator::Mod, &VmDecimal::modulo, left, right);
  return unsupported_operands(BinaryOperator::Mod, left, right);
}

VmResult<VmValue> op_pow(VmValue left, VmValue right) {
  switch (pair_code(left.kind(), right.kind())) {
    case kIntInt:
      return checked_int_pow(left, right, kLabelIntegerExponentiation);
    case kFloatFloat:
      return float_result(std::pow(left.float_value(), right.float_value()));
    case kFloatInt:
      return float_result(std::pow(left.float_value(), int_as_double(right)));
    case kIntFloat:
      return float_result(std::pow(int_as_double(left), right.float_value()));
    default:
      break;
  }
  if (has_decimal(left, right)) return decimal_operation(BinaryOperator::Pow, &VmDecimal::pow, left, right);
  return unsupported_operands(BinaryOperator::Pow, left, right);
}

// Bitwise operators: bool with bool stays bool, sets combine, everything else
// is read as integers (left operand converted first).
enum class BitOp { And, Or, Xor };

template <BitOp kOp>
VmResult<VmValue> op_bitwise(VmValue left, VmValue right) {
  const VmKind lk = left.kind();
  const VmKind rk = right.kind();
  if (lk == VmKind::Bool && rk == VmKind::Bool) {
    const bool a = left.bool_value();
    const bool b = right.bool_value();
    return VmValue::boolean(kOp == BitOp::And ? (a && b) : kOp == BitOp::Or ? (a || b) : (a != b));
  }
  if (is_set_like(lk) && is_set_like(rk)) {
    constexpr SetOperator op = kOp == BitOp::And  ? SetOperator::Intersection
                               : kOp == BitOp::Or ? SetOperator::Union
                                                  : SetOperator::SymmetricDifference;
    return set_operation(op, left, right);
  }
  VELN_TRY(VmValue l, vm_int_operand(left));
  VELN_TRY(VmValue r, vm_int_operand(right));
  if (l.int_is_small() && r.int_is_small()) {
    const int64_t a = l.small_int();
    const int64_t b = r.small_int();
    return VmValue::integer(kOp == BitOp::And ? (a & b) : kOp == BitOp::Or ? (a | b) : (a ^ b));
  }
  // GMP's logical operations act on two's complement of unbounded width.
  // Both operands are copied and read once.
  vm_count_work(vm_int_words(l) + vm_int_words(r));
  const mpz_class a = l.int_to_mpz();
  const mpz_class b = r.int_to_mpz();
  mpz_class out;
  if constexpr (kOp == BitOp::And) {
    mpz_and(out.get_mpz_t(), a.get_mpz_t(), b.get_mpz_t());
  } else if constexpr (kOp == BitOp::Or) {
    mpz_ior(out.get_mpz_t(), a.get_mpz_t(), b.get_mpz_t());
  } else {
    mpz_xor(out.get_mpz_t(), a.get_mpz_t(), b.get_mpz_t());
  }
  return VmValue::integer(std::move(out));
}

VmResult<VmValue> op_lshift(VmValue left, VmValue right) {
  VELN_TRY(VmValue l, vm_int_operand(left));
  VELN_TRY(VmValue r, vm_int_operand(right));
  return checked_int_left_shift(l, r);
}

VmResult<VmValue> op_rshift(VmValue left, VmValue right) {
  VELN_TRY(VmValue l, vm_int_operand(left));
  VELN_TRY(VmValue r, vm_int_operand(right));
  return checked_int_right_shift(l, r);
}

using BinaryFn = VmResult<VmValue> (*)(VmValue, VmValue);

constexpr std::array<BinaryFn, kBinaryOperatorCount> make_binary_table() {
  std::array<BinaryFn, kBinaryOperatorCount> t{};
  t[static_cast<size_t>(BinaryOperator::Add)] = &op_add;
  t[static_cast<size_t>(BinaryOperator::Sub)] = &op_sub;
  t[static_cast<size_t>(BinaryOperator::Mul)] = &op_mul;
  t[static_cast<size_t>(BinaryOperator::Div)] = &op_div;
  t[static_cast<size_t>(BinaryOperator::FloorDiv)] = &op_floordiv;
  t[static_cast<size_t>(BinaryOperator::Mod)] = &op_mod;
  t[static_cast<size_t>(BinaryOperator::Pow)] = &op_pow;
  t[static_cast<size_t>(BinaryOperator::BitAnd)] = &op_bitwise<BitOp::And>;
  t[static_cast<size_t>(BinaryOperator::BitOr)] = &op_bitwise<BitOp::Or>;
  t[static_cast<size_t>(BinaryOperator::BitXor)] = &op_bitwise<BitOp::Xor>;
  t[static_cast<size_t>(BinaryOperator::LShift)] = &op_lshift;
  t[static_cast<size_t>(BinaryOperator::RShift)] = &op_rshift;
  return t;
}
constexpr std::array<BinaryFn, kBinaryOperatorCount> kBinaryTable = make_binary_table();

}  // namespace

VmResult<VmValue> apply_binary_operator(BinaryOperator op, VmValue left, VmValue right) {
  // Two inline ints: the common case of contract arithmetic, answered before
  // the table call (the table rows give the same results).
  if (left.is(VmKind::Int) && right.is(VmKind::Int) && left.int_is_small() && right.int_is_small()) {
    const int64_t a = left.small_int();
    const int64_t b = right.small_int();
    int64_t r;
    switch (op) {
      case BinaryOperator::Add:
        if (!__builtin_add_overflow(a, b, &r)) return VmValue::integer(r);
        break;
      case BinaryOperator::Sub:
        if (!__builtin_sub_overflow(a, b, &r)) return VmValue::integer(r);
        break;
      case BinaryOperator::Mul:
        if (!__builtin_mul_overflow(a, b, &r)) return VmValue::integer(r);
        break;
      case BinaryOperator::BitAnd:
        return VmValue::integer(a & b);
      case BinaryOperator::BitOr:
        return VmValue::integer(a | b);
      case BinaryOperator::BitXor:
        return VmValue::integer(a ^ b);
      default:
        break;
    }
  }
  return kBinaryTable[static_cast<size_t>(op)](std::move(left), std::move(right));
}

VmResult<VmValue> apply_binary_operator(std::string_view op_name, VmValue left, VmValue right) {
  const auto op = binary_operator_from_name(op_name);
  if (!op) return vm_error("unsupported binary operator '" + std::string(op_name) + "'");
  return apply_binary_operator(*op, std::move(left), std::move(right));
}

}  // namespace veln
