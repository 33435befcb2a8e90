// The families, classes and key-order searches that the set algorithms
// (normalisation, membership, single edits, facts) share: which items value
// equality can meet, where a class lies among canonical items, and binary
// searches over them (a span, a slice, or a view of a set's pending edits).
// Internal to the support library; no algorithm of its own lives here.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <utility>

#include "interpreter_support/comparison_budget.hpp"
#include "interpreter_support/sets/set_keys.hpp"
#include "interpreter_support/value_equality.hpp"
#include "values/vm_datetime.hpp"
#include "values/vm_decimal.hpp"
#include "values/vm_execution_error.hpp"
#include "values/vm_items_view.hpp"
#include "values/vm_value.hpp"
#include "interpreter_support/stoppable_work.hpp"
#include "values/vm_work_meter.hpp"

namespace veln::set_items {


inline VmExecutionError nan_error() { return vm_error(std::string(kNanCompareMessage)); }

// Families within which value equality is decided by one total order (and
// across which, numbers aside, it is always false without error).
enum class Family : uint8_t {
  None,
  Bool,
  Int,
  Decimal,
  Float,
  DateTime,
  TimeDelta,
  Text,
  Bytes,
  ExactTuple,  // tuples or frozensets of one exact shape (see same_exact_shape); never a single value's family
  Other,
};

inline Family family_of(VmKind k) {
  switch (k) {
    case VmKind::None:
      return Family::None;
    case VmKind::Bool:
      return Family::Bool;
    case VmKind::Int:
      return Family::Int;
    case VmKind::Decimal:
      return Family::Decimal;
    case VmKind::Float:
      return Family::Float;
    case VmKind::DateTime:
      return Family::DateTime;
    case VmKind::TimeDelta:
      return Family::TimeDelta;
    case VmKind::String:
      return Family::Text;
    case VmKind::Bytes:
    case VmKind::ByteArray:
      return Family::Bytes;
    default:
      return Family::Other;
  }
}

// Order within a family, consistent with value equality (0 exactly when
// value-equal). Floats compare numerically here and must not be NaN.
inline int family_compare(Family f, const VmValue& a, const VmValue& b) {
  switch (f) {
    case Family::None:
      return 0;
    case Family::Bool:
      return int{a.bool_value()} - int{b.bool_value()};
    case Family::Int:
      if (const uint64_t steps = vm_long_int_compare_steps(a, b)) work_step(nullptr, steps);
      return vm_int_compare(a, b);
    case Family::Decimal:
      return VmDecimal::compare(a.decimal_value(), b.decimal_value());
    case Family::Float: {
      const double x = a.float_value();
      const double y = b.float_value();
      return (x > y) - (x < y);
    }
    case Family::DateTime:
      return vm_datetime_compare(a, b);
    case Family::TimeDelta: {
      const int64_t x = a.timedelta_raw_seconds();
      const int64_t y = b.timedelta_raw_seconds();
      return (x > y) - (x < y);
    }
    case Family::Text:
    case Family::Bytes:
      if (const uint64_t steps = vm_long_text_compare_steps(a.text_size(), b.text_size())) work_step(nullptr, steps);
      return vm_bytes_compare(a.text(), b.text());
    case Family::ExactTuple:
      return static_cast<int>(vm_set_key_compare(a, b));
    case Family::Other:
      break;
  }
  return 0;
}

inline bool key_less(const VmValue& a, const VmValue& b) { return vm_set_key_compare(a, b) == VmOrdering::Less; }

// The first position whose item fails `pred`, which holds for a prefix of
// the items (a binary search, over a span or a set's items where they lie);
// a meter counts the tests.
template <class Pred>
size_t first_failing(VmItemsView items, Pred pred, VmWorkMeter* meter = nullptr) {
  return items.partition_point([&pred, meter](const VmValue& item) {
    work_step(meter);
    return pred(item);
  });
}

// Items [from, to) of a set's items (a span or a view), for the searches
// within the items of one class or one kind.
template <class Items>
class Slice {
 public:
  Slice(const Items& all, size_t from, size_t to) : all_(&all), from_(from), size_(to - from) {}
  size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  const VmValue& operator[](size_t i) const { return (*all_)[from_ + i]; }
  const VmValue& front() const { return (*this)[0]; }
  const VmValue& back() const { return (*this)[size_ - 1]; }
  const Items& all() const { return *all_; }
  size_t from() const { return from_; }

 private:
  const Items* all_;
  size_t from_;
  size_t size_;
};

template <class Pred>
size_t first_failing(const Slice<VmItemsView>& items, Pred pred, VmWorkMeter* meter = nullptr) {
  const size_t at = items.all().partition_point(
      [&pred, meter](const VmValue& item) {
        work_step(meter);
        return pred(item);
      },
      items.from(), items.from() + items.size());
  return at - items.from();
}

template <class Items, class Pred>
size_t first_failing(const Slice<Items>& items, Pred pred, VmWorkMeter* meter = nullptr) {
  size_t lo = 0;
  size_t hi = items.size();
  while (lo < hi) {
    const size_t mid = lo + (hi - lo) / 2;
    work_step(meter);
    if (pred(items[mid])) {
      lo = mid + 1;
    } else {
      hi = mid;
    }
  }
  return lo;
}

// The family shared by all items, or Other.
inline Family common_family(std::span<const VmValue> items) {
  if (items.empty()) return Family::Other;
  const Family f = family_of(items.front().kind());
  if (f == Family::Other) return f;
  for (const VmValue& item : items)
    if (family_of(item.kind()) != f) return Family::Other;
  return f;
}

// Whether a needle of family `needle` can be value-equal to (or fail to
// compare with) an item of family `items` only by way of a real comparison.
// Across different families, only two numbers can meet.
inline bool families_meet(Family items, Family needle) {
  if (items == needle) return true;
  const auto numeric = [](Family f) {
    return f == Family::Bool || f == Family::Int || f == Family::Float || f == Family::Decimal;
  };
  return numeric(items) && numeric(needle);
}

// The literal test: items in stored order up to the first match.
template <class Items>
VmResult<bool> scan_contains(const Items& items, const VmValue& needle, VmWorkMeter* meter) {
  for (const VmValue& item : items) {
    work_step(meter);
    VELN_TRY(const bool equal, scanned_values_equal(item, needle, meter));
    if (equal) return true;
  }
  return false;
}

// Tuples (and frozensets) whose leaves, position by position, are of one
// kind among those where value equality is key equality (no float: 0.0/-0.0
// and NaN; no datetime: keys stop at the microsecond; never bool against
// int). Two such values are value-equal exactly when their keys are equal,
// no comparison can fail, and equal ones are indistinguishable.
inline bool exact_leaf_kind(VmKind k) {
  return k == VmKind::None || k == VmKind::Bool || k == VmKind::Int || k == VmKind::Decimal ||
         k == VmKind::TimeDelta || k == VmKind::String || k == VmKind::Bytes;
}

// Frozensets match items regardless of position, so a bool may meet an int
// anywhere: only frozensets of one leaf kind throughout count as one shape.
// A frozenset built from numbers whose equality is not transitive may hold
// two equal items ({0, 0}: a decimal 0 that met a tiny float first, then
// replaced by a 0 beside another 0); it equals others one way only, so it
// is of no shape. Within one exact kind such items are structurally equal,
// and neighbours in key order. Each item looked at is a step.
inline bool same_exact_frozenset_shape(const VmValue& a, const VmValue& b, StoppableSteps& steps) {
  const auto xs = a.items();
  const auto ys = b.items();
  if (xs.size() != ys.size()) return false;
  if (xs.empty()) return true;
  steps.step(2 * xs.size());
  const VmKind k = xs.front().kind();
  const auto of_k = [k](const VmValue& v) { return v.kind() == k; };
  const auto apart = [](std::span<const VmValue> items) {
    return std::adjacent_find(items.begin(), items.end(),
                              [](const VmValue& x, const VmValue& y) { return x.eq(y); }) == items.end();
  };
  return exact_leaf_kind(k) && std::all_of(xs.begin(), xs.end(), of_k) && std::all_of(ys.begin(), ys.end(), of_k) &&
         apart(xs) && apart(ys);
}

// Each pair of items compared, at every level, is a step.
inline bool same_exact_shape(const VmValue& a, const VmValue& b, StoppableSteps& steps) {
  if (a.kind() != b.kind()) return false;
  if (a.kind() == VmKind::FrozenSet) return same_exact_frozenset_shape(a, b, steps);
  if (a.kind() != VmKind::Tuple) return exact_leaf_kind(a.kind());
  const auto xs = a.items();
  const auto ys = b.items();
  if (xs.size() != ys.size()) return false;
  for (size_t i = 0; i < xs.size(); ++i) {
    steps.step();
    if (!same_exact_shape(xs[i], ys[i], steps)) return false;
  }
  return true;
}

inline bool same_exact_shape(const VmValue& a, const VmValue& b) {
  StoppableSteps steps;
  return same_exact_shape(a, b, steps);
}

template <class Items>
bool of_one_exact_shape(const Items& items) {
  StoppableSteps steps;
  for (size_t i = 0; i < items.size(); ++i)
    if (!same_exact_shape(items.front(), items[i], steps)) return false;
  return true;
}

// Classes of hashable items: value equality between items of two different
// classes is false and cannot fail, and the classes occupy disjoint, ordered
// ranges of the key order. So the scan treats each class as if it were alone
// (its kept items keep their relative order), and the canonical result is
// the classes' results one after the other.
inline constexpr size_t kClassCount = 8;

inline size_t class_of(VmKind kind) {
  switch (kind) {
    case VmKind::None:
      return 0;
    case VmKind::Bool:
    case VmKind::Int:
    case VmKind::Decimal:
    case VmKind::Float:
      return 1;
    case VmKind::DateTime:
      return 2;
    case VmKind::TimeDelta:
      return 3;
    case VmKind::String:
      return 4;
    case VmKind::Bytes:
      return 5;
    case VmKind::Tuple:
      return 6;
    default:  // FrozenSet; other kinds are unhashable and never reach here
      return 7;
  }
}

inline bool is_number(const VmValue& v) {
  return v.is(VmKind::Bool) || v.is(VmKind::Int) || v.is(VmKind::Float) || v.is(VmKind::Decimal);
}

// The items of the class of `kind`: [from, to). Canonical items are sorted
// by key variant first, and the classes follow the variants' order.
template <class Items>
std::pair<size_t, size_t> class_range(const Items& items, VmKind kind, VmWorkMeter* meter) {
  const size_t c = class_of(kind);
  if (items.empty()) return {0, 0};
  // A class at either end needs no search for that bound.
  const size_t from = c <= class_of(items.front().kind())
                          ? 0
                          : first_failing(items, [c](const VmValue& item) { return class_of(item.kind()) < c; }, meter);
  const size_t to = class_of(items.back().kind()) <= c
                        ? items.size()
                        : first_failing(items, [c](const VmValue& item) { return class_of(item.kind()) <= c; }, meter);
  return {from, to};
}

}  // namespace veln::set_items
