// Compare operators: a table indexed by the operator enum; the four orderings
// share one rule chain parameterised by the predicate.
#include "interpreter_support/compare_operators.hpp"

#include <algorithm>
#include <array>
#include <string>
#include <utility>

#include "interpreter_support/membership.hpp"
#include "interpreter_support/operand_conversions.hpp"
#include "interpreter_support/sets/set_algebra.hpp"
#include "interpreter_support/value_equality.hpp"
#include "values/vm_decimal.hpp"
#include "values/vm_work_tally.hpp"

namespace veln {
namespace {

enum class Predicate { Lt, LtE, Gt, GtE };

template <Predicate kPred>
constexpr bool holds(int c) {
  if constexpr (kPred == Predicate::Lt) return c < 0;
  if constexpr (kPred == Predicate::LtE) return c <= 0;
  if constexpr (kPred == Predicate::Gt) return c > 0;
  return c >= 0;
}

// IEEE comparisons: every predicate with a NaN operand is false.
template <Predicate kPred>
constexpr bool holds(double a, double b) {
  if constexpr (kPred == Predicate::Lt) return a < b;
  if constexpr (kPred == Predicate::LtE) return a <= b;
  if constexpr (kPred == Predicate::Gt) return a > b;
  return a >= b;
}

bool is_set_like(VmKind k) { return k == VmKind::Set || k == VmKind::FrozenSet; }
bool is_bytes_like(VmKind k) { return k == VmKind::Bytes || k == VmKind::ByteArray; }

// Bytewise order of two texts, counting the bytes it may read.
int text_order(const VmValue& left, const VmValue& right) {
  vm_count_text_read(std::min(left.text_size(), right.text_size()));
  return vm_bytes_compare(left.text(), right.text());
}

double int_as_double(const VmValue& v) {
  return v.int_is_small() ? static_cast<double>(v.small_int()) : vm_int_to_f64(v);
}

VmResult<VmDecimal> coerce_for_comparison(const VmValue& operand, std::string_view side) {
  return coerce_operand_to_decimal(operand, "comparison", side);
}

template <Predicate kPred>
VmResult<bool> compare_ord(const VmValue& left, const VmValue& right) {
  const VmKind lk = left.kind();
  const VmKind rk = right.kind();

  // Sets order by inclusion; for the strict tests the item counts decide
  // first, without comparing items.
  if (is_set_like(lk) && is_set_like(rk)) {
    const auto l = left.items();
    const auto r = right.items();
    if constexpr (kPred == Predicate::LtE) return set_is_subset(l, r);
    if constexpr (kPred == Predicate::Lt) {
      if (l.size() >= r.size()) return false;
      return set_is_subset(l, r);
    }
    if constexpr (kPred == Predicate::GtE) return set_is_subset(r, l);
    if (l.size() <= r.size()) return false;
    return set_is_subset(r, l);
  }

  if (lk == VmKind::Decimal) {
    if (rk == VmKind::Decimal) return holds<kPred>(VmDecimal::compare(left.decimal_value(), right.decimal_value()));
    VELN_TRY(VmDecimal r, coerce_for_comparison(right, "right"));
    return holds<kPred>(VmDecimal::compare(left.decimal_value(), r));
  }
  if (lk == VmKind::DateTime && rk == VmKind::DateTime) return holds<kPred>(vm_datetime_compare(left, right));
  if (lk == VmKind::TimeDelta && rk == VmKind::TimeDelta) {
    const int64_t a = left.timedelta_raw_seconds();
    const int64_t b = right.timedelta_raw_seconds();
    return holds<kPred>((a > b) - (a < b));
  }

  switch (rk) {
    case VmKind::Int:
      if (lk == VmKind::Int) return holds<kPred>(vm_int_compare(left, right));
      if (lk == VmKind::Float) return holds<kPred>(left.float_value(), int_as_double(right));
      break;
    case VmKind::Float:
      if (lk == VmKind::Int) return holds<kPred>(int_as_double(left), right.float_value());
      if (lk == VmKind::Float) return holds<kPred>(left.float_value(), right.float_value());
      break;
    case VmKind::Decimal: {
      VELN_TRY(VmDecimal l, coerce_for_comparison(left, "left"));
      return holds<kPred>(VmDecimal::compare(l, right.decimal_value()));
    }
    case VmKind::String:
      if (lk == VmKind::String) return holds<kPred>(text_order(left, right));
      break;
    case VmKind::Bytes:
    case VmKind::ByteArray:
      if (is_bytes_like(lk)) return holds<kPred>(text_order(left, right));
      break;
    default:
      break;
  }
  return not_order_comparable_error(left, right);
}

VmResult<bool> negated(VmResult<bool> r) {
  if (!r.ok()) return r;
  return !*r;
}

VmResult<bool> op_eq(const VmValue& l, const VmValue& r) { return vm_values_equal(l, r); }
VmResult<bool> op_not_eq(const VmValue& l, const VmValue& r) { return negated(vm_values_equal(l, r)); }
VmResult<bool> op_is(const VmValue& l, const VmValue& r) { return l.eq(r); }
VmResult<bool> op_is_not(const VmValue& l, const VmValue& r) { return !l.eq(r); }
VmResult<bool> op_in(const VmValue& l, const VmValue& r) { return contains_value(r, l); }
VmResult<bool> op_not_in(const VmValue& l, const VmValue& r) { return negated(contains_value(r, l)); }

using CompareFn = VmResult<bool> (*)(const VmValue&, const VmValue&);

constexpr std::array<CompareFn, kCompareOperatorCount> make_compare_table() {
  std::array<CompareFn, kCompareOperatorCount> t{};
  t[static_cast<size_t>(CompareOperator::Eq)] = &op_eq;
  t[static_cast<size_t>(CompareOperator::NotEq)] = &op_not_eq;
  t[static_cast<size_t>(CompareOperator::Gt)] = &compare_ord<Predicate::Gt>;
  t[static_cast<size_t>(CompareOperator::GtE)] = &compare_ord<Predicate::GtE>;
  t[static_cast<size_t>(CompareOperator::Lt)] = &compare_ord<Predicate::Lt>;
  t[static_cast<size_t>(CompareOperator::LtE)] = &compare_ord<Predicate::LtE>;
  t[static_cast<size_t>(CompareOperator::In)] = &op_in;
  t[static_cast<size_t>(CompareOperator::NotIn)] = &op_not_in;
  t[static_cast<size_t>(CompareOperator::Is)] = &op_is;
  t[static_cast<size_t>(CompareOperator::IsNot)] = &op_is_not;
  return t;
}
constexpr std::array<CompareFn, kCompareOperatorCount> kCompareTable = make_compare_table();

}  // namespace

VmResult<bool> apply_compare_operator(CompareOperator op, const VmValue& left, const VmValue& right) {
  // Two inline ints compare exactly under every rule but membership.
  if (left.is(VmKind::Int) && right.is(VmKind::Int) && left.int_is_small() && right.int_is_small()) {
    const int64_t a = left.small_int();
    const int64_t b = right.small_int();
    switch (op) {
      case CompareOperator::Eq:
      case CompareOperator::Is:
        return a == b;
      case CompareOperator::NotEq:
      case CompareOperator::IsNot:
        return a != b;
      case CompareOperator::Lt:
        return a < b;
      case CompareOperator::LtE:
        return a <= b;
      case CompareOperator::Gt:
        return a > b;
      case CompareOperator::GtE:
        return a >= b;
      default:
        break;
    }
  }
  return kCompareTable[static_cast<size_t>(op)](left, right);
}

VmResult<bool> apply_compare_operator(std::string_view op_name, const VmValue& left, const VmValue& right) {
  const auto op = compare_operator_from_name(op_name);
  if (!op) return vm_error("unsupported compare operator '" + std::string(op_name) + "'");
  return apply_compare_operator(*op, left, right);
}

}  // namespace veln
