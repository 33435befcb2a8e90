// Value equality and ordering. Numbers meet across kinds (a decimal pulls
// the other side through the decimal coercion, an int meets a float as the
// nearest double); NaN makes ordering fail rather than answer. The dict rule
// uses the dict's indexes (structural, and the equal forms of numeric keys),
// which give the scan's answer in O(1) for every key but containers.
#include "interpreter_support/value_equality.hpp"

#include <cmath>
#include <cstring>

#include "interpreter_support/comparison_budget.hpp"
#include "interpreter_support/sets/set_algebra.hpp"
#include "interpreter_support/value_match_index.hpp"
#include "values/bigint.hpp"
#include "values/decimal_from_value.hpp"
#include "values/vm_datetime.hpp"
#include "values/vm_decimal.hpp"
#include "values/vm_work_tally.hpp"

namespace veln {
namespace {

bool is_numeric(VmKind k) {
  return k == VmKind::Bool || k == VmKind::Int || k == VmKind::Float || k == VmKind::Decimal;
}

bool is_bytes_like(VmKind k) { return k == VmKind::Bytes || k == VmKind::ByteArray; }

VmResult<VmOrdering> compare_doubles(double a, double b) {
  if (std::isnan(a) || std::isnan(b)) return vm_error(std::string(kNanCompareMessage));
  return a < b ? VmOrdering::Less : (a > b ? VmOrdering::Greater : VmOrdering::Equal);
}

VmOrdering compare_decimals(const VmDecimal& a, const VmDecimal& b) {
  return vm_ordering_from_int(VmDecimal::compare(a, b));
}

// Texts of one size are compared byte by byte; of two sizes, not at all.
inline void count_text_comparison(const VmValue& a, const VmValue& b) {
  if (a.text_size() == b.text_size()) vm_count_text_read(a.text_size());
}

template <bool kCounted>
VmResult<bool> values_equal(const VmValue& a, const VmValue& b, VmWorkMeter* meter);

// `sets`: where the set comparisons met inside count (see values_equal).
VmResult<bool> dicts_equal(const VmValue& a, const VmValue& b, VmWorkMeter* sets) {
  if (a.dict_size() != b.dict_size()) return false;
  const auto a_pairs = a.dict_pairs();
  const auto b_pairs = b.dict_pairs();
  VmWorkTally tally;
  for (size_t i = 0; i < a_pairs.size(); ++i) {
    if (!tally.add(kVmKeySearchSteps)) [[unlikely]]
      return VmWorkTally::error();
    const VmDictPair& entry = a_pairs[i];
    const VmValue* match = nullptr;
    std::optional<VmScanMatch> indexed;
    if ((b_pairs.size() > 8 || vm_needle_class(entry.key) == NeedleClass::Structural) &&
        (indexed = vm_dict_key_match(b, entry.key))) {
      // Failed key comparisons are mismatches here: only the first equal key counts.
      if (indexed->equal) match = &b_pairs[*indexed->equal].value;
    } else {
      // The literal scan: each key it tries is a step, handed over as it
      // goes, so a scan over a large dict stops near the allowance.
      for (const VmDictPair& other : b_pairs) {
        if (!tally.add()) [[unlikely]]
          return VmWorkTally::error();
        auto keys_equal = values_equal<false>(entry.key, other.key, sets);
        if (keys_equal.ok() && *keys_equal) {  // a failed key comparison is a mismatch
          match = &other.value;
          break;
        }
      }
    }
    if (match == nullptr) return false;
    VELN_TRY(const bool equal, values_equal<false>(entry.value, *match, sets));
    if (!equal) return false;
  }
  return true;
}

}  // namespace

VmExecutionError not_order_comparable_error(const VmValue& a, const VmValue& b) {
  std::string m = "values ";
  m += a.type_name();
  m += " and ";
  m += b.type_name();
  m += " are not order-comparable";
  return vm_error(std::move(m));
}

int vm_int_compare(const VmValue& a, const VmValue& b) {
  if (a.int_is_small() && b.int_is_small()) return (a.small_int() > b.small_int()) - (a.small_int() < b.small_int());
  int c;
  if (!a.int_is_small() && !b.int_is_small()) {
    c = mpz_cmp(a.big_int().get_mpz_t(), b.big_int().get_mpz_t());
  } else if (a.int_is_small()) {
    c = -mpz_cmp_si(b.big_int().get_mpz_t(), a.small_int());
  } else {
    c = mpz_cmp_si(a.big_int().get_mpz_t(), b.small_int());
  }
  return (c > 0) - (c < 0);
}

double vm_int_to_f64(const VmValue& int_value) {
  if (int_value.int_is_small()) {
    const int64_t v = int_value.small_int();
    // Exact for |v| <= 2^53; beyond that the conversion rounds to nearest,
    // ties to even, under the default rounding mode.
    return static_cast<double>(v);
  }
  return bigint_to_f64(int_value.big_int());
}

int vm_bytes_compare(std::string_view a, std::string_view b) {
  const size_t n = a.size() < b.size() ? a.size() : b.size();
  const int c = n == 0 ? 0 : std::memcmp(a.data(), b.data(), n);
  if (c != 0) return c < 0 ? -1 : 1;
  return (a.size() > b.size()) - (a.size() < b.size());
}

int vm_datetime_compare(const VmValue& a, const VmValue& b) {
  const auto c = a.datetime_value() <=> b.datetime_value();
  return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

VmResult<VmOrdering> compare_vm_values(const VmValue& a, const VmValue& b) {
  const VmKind ka = a.kind();
  const VmKind kb = b.kind();
  if (ka == VmKind::Bool && kb == VmKind::Bool)
    return vm_ordering_from_int(int{a.bool_value()} - int{b.bool_value()});
  if (ka == VmKind::Decimal) {
    if (kb == VmKind::Decimal) return compare_decimals(a.decimal_value(), b.decimal_value());
    VELN_TRY(const VmDecimal other, decimal_from_vm_value(b));
    return compare_decimals(a.decimal_value(), other);
  }
  if (ka == VmKind::DateTime && kb == VmKind::DateTime) return vm_ordering_from_int(vm_datetime_compare(a, b));
  if (ka == VmKind::TimeDelta && kb == VmKind::TimeDelta) {
    const int64_t x = a.timedelta_raw_seconds();
    const int64_t y = b.timedelta_raw_seconds();
    return vm_ordering_from_int((x > y) - (x < y));
  }
  switch (kb) {
    case VmKind::Bool: {
      const int bit = b.bool_value() ? 1 : 0;
      if (ka == VmKind::Int) return vm_ordering_from_int(vm_int_compare(a, VmValue::integer(bit)));
      if (ka == VmKind::Float) return compare_doubles(a.float_value(), bit);
      break;
    }
    case VmKind::Int:
      if (ka == VmKind::Bool) return vm_ordering_from_int(vm_int_compare(VmValue::integer(a.bool_value() ? 1 : 0), b));
      if (ka == VmKind::Int) return vm_ordering_from_int(vm_int_compare(a, b));
      if (ka == VmKind::Float) return compare_doubles(a.float_value(), vm_int_to_f64(b));
      break;
    case VmKind::Float:
      if (ka == VmKind::Bool) return compare_doubles(a.bool_value() ? 1.0 : 0.0, b.float_value());
      if (ka == VmKind::Int) return compare_doubles(vm_int_to_f64(a), b.float_value());
      if (ka == VmKind::Float) return compare_doubles(a.float_value(), b.float_value());
      break;
    case VmKind::Decimal: {
      VELN_TRY(const VmDecimal converted, decimal_from_vm_value(a));
      return compare_decimals(converted, b.decimal_value());
    }
    case VmKind::String:
      if (ka == VmKind::String) return vm_ordering_from_int(vm_bytes_compare(a.text(), b.text()));
      break;
    case VmKind::Bytes:
    case VmKind::ByteArray:
      if (is_bytes_like(ka)) return vm_ordering_from_int(vm_bytes_compare(a.text(), b.text()));
      break;
    default:
      break;
  }
  return not_order_comparable_error(a, b);
}

namespace {

// With kCounted, each pair of values compared is charged to the capped
// operation under way on `meter`, and set items are matched within it.
// Without, nothing is charged here, but when `meter` is given the set
// comparisons met inside (sets held in lists, tuples and dicts) count
// together on it: one operation comparing many containers of sets is capped
// as a whole, not once per pair of sets.
template <bool kCounted>
VmResult<bool> values_equal(const VmValue& a, const VmValue& b, VmWorkMeter* meter) {
  if constexpr (kCounted) VELN_CHECK(charge_set_comparisons(meter));
  // Every level of a nested comparison comes here: once the request's
  // allowance has passed, the rest of the comparison costs nothing.
  if (vm_work_failed()) [[unlikely]]
    return VmWorkTally::error();
  const VmKind ka = a.kind();
  const VmKind kb = b.kind();
  if (is_numeric(ka) && is_numeric(kb)) {
    if (ka == kb) {
      // Same-kind fast paths with the results of the ordering.
      switch (ka) {
        case VmKind::Bool:
          return a.bool_value() == b.bool_value();
        case VmKind::Int:
          return vm_int_compare(a, b) == 0;
        case VmKind::Decimal:
          return VmDecimal::compare(a.decimal_value(), b.decimal_value()) == 0;
        default:
          break;
      }
    }
    VELN_TRY(const VmOrdering order, compare_vm_values(a, b));
    return order == VmOrdering::Equal;
  }
  switch (ka) {
    case VmKind::Set:
    case VmKind::FrozenSet:
      if (kb != VmKind::Set && kb != VmKind::FrozenSet) return false;
      if (meter != nullptr) return set_items_equal(a.items(), b.items(), *meter);
      return set_items_equal(a.items(), b.items());
    case VmKind::List:
    case VmKind::Tuple: {
      if (kb != ka) return false;
      const auto xs = a.items();
      const auto ys = b.items();
      if (xs.size() != ys.size()) return false;
      for (size_t i = 0; i < xs.size(); ++i) {
        if (!vm_scan_step(i)) [[unlikely]]
          return VmWorkTally::error();
        VELN_TRY(const bool equal, values_equal<kCounted>(xs[i], ys[i], meter));
        if (!equal) {
          vm_scan_done(i + 1);
          return false;
        }
      }
      vm_scan_done(xs.size());
      return true;
    }
    case VmKind::Dict:
      if (kb != VmKind::Dict) return false;
      return dicts_equal(a, b, meter);
    default:
      break;
  }
  if (is_bytes_like(ka) && is_bytes_like(kb)) {
    count_text_comparison(a, b);
    return a.text() == b.text();
  }
  if (ka == VmKind::String && kb == VmKind::String) count_text_comparison(a, b);
  return a.eq(b);
}

}  // namespace

VmResult<bool> vm_values_equal(const VmValue& a, const VmValue& b) {
  // Scalars and sets meet at most one pair of sets; containers may hold many.
  const VmKind k = a.kind();
  if (k != VmKind::List && k != VmKind::Tuple && k != VmKind::Dict) return values_equal<false>(a, b, nullptr);
  auto equal = capped_set_operation(nullptr, [&](VmWorkMeter* sets) { return values_equal<false>(a, b, sets); });
  // A refusal of the work met inside may be swallowed (a dict key compared
  // as a mismatch): the request's failure stands in for the answer.
  if (equal.ok()) VELN_CHECK(vm_budget_status());
  return equal;
}

VmResult<bool> vm_values_equal_within(const VmValue& a, const VmValue& b, VmWorkMeter& operation) {
  // A failure past the cap may be swallowed inside (a dict key compared as
  // a mismatch): the cap's error stands in for the answer.
  auto equal = values_equal<false>(a, b, &operation);
  if (set_comparisons_exceeded(&operation)) return set_comparison_error();
  return equal;
}

VmResult<bool> scanned_values_equal(const VmValue& a, const VmValue& b, VmWorkMeter* meter) {
  if (meter == nullptr || !meter->comparing) return values_equal<false>(a, b, nullptr);
  return values_equal<true>(a, b, meter);
}

}  // namespace veln
