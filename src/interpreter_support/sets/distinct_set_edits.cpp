#include "interpreter_support/sets/distinct_set_edits.hpp"

#include "interpreter_support/comparison_budget.hpp"
#include "interpreter_support/sets/set_keys.hpp"
#include "interpreter_support/sets/set_replacement.hpp"
#include "interpreter_support/stoppable_work.hpp"
#include "interpreter_support/value_equality.hpp"

namespace veln {
namespace {

bool key_less(const VmValue& a, const VmValue& b) { return vm_set_key_compare(a, b) == VmOrdering::Less; }

// Value equality is symmetric but for set equality (every item of the first
// finds one in the second): only a value holding a frozenset can equal
// another one way and not the other. Depth is bounded by the nesting limit.
bool holds_frozenset(const VmValue& v) {
  if (v.is(VmKind::FrozenSet)) return true;
  if (!v.is(VmKind::Tuple)) return false;
  for (const VmValue& item : v.items())
    if (holds_frozenset(item)) return true;
  return false;
}

// Whether a and b, a standing first, compare unequal without failing.
bool apart(const VmValue& a, const VmValue& b, VmWorkMeter* meter) {
  work_step(meter);
  const auto equal = scanned_values_equal(a, b, meter);
  return equal.ok() && !*equal;
}

template <class Items>
VmResult<SetInsertion> insertion(const Items& items, const VmValue& x, bool* still_distinct, VmWorkMeter* meter) {
  using Kind = SetInsertion::Kind;
  VELN_CHECK(vm_check_hashable(x));
  const size_t n = items.size();
  // The scan x's own normalisation makes: the items stand as they are.
  size_t p = n;
  for (size_t i = 0; i < n && p == n; ++i) {
    work_step(meter);
    VELN_TRY(const bool equal, scanned_values_equal(items[i], x, meter));
    if (equal) p = i;
  }
  const bool both_ways = holds_frozenset(x);
  if (p == n) {
    // x arrives last: after every item of a key not above its own.
    size_t lo = 0;
    size_t hi = n;
    while (lo < hi) {
      const size_t mid = lo + (hi - lo) / 2;
      work_step(meter);
      if (key_less(x, items[mid])) {
        hi = mid;
      } else {
        lo = mid + 1;
      }
    }
    // The scan found x apart from every item; those after it must be apart
    // from x too when x stands first.
    bool distinct = true;
    for (size_t i = lo; i < n && distinct && both_ways; ++i) distinct = apart(x, items[i], meter);
    *still_distinct = distinct;
    return SetInsertion{Kind::Insert, 0, lo};
  }
  if (!key_less(x, items[p])) {
    *still_distinct = true;
    return SetInsertion{Kind::Present, p, p};
  }
  const size_t lo = replacement_position(items, x, p, meter);
  // The scan compared x with the items before p only.
  bool distinct = true;
  for (size_t i = 0; i < n && distinct; ++i) {
    if (i == p) continue;
    const bool before_x = (i < p ? i : i - 1) < lo;
    if (before_x) {
      distinct = i < p || apart(items[i], x, meter);
    } else {
      distinct = both_ways ? apart(x, items[i], meter) : i < p || apart(items[i], x, meter);
    }
  }
  *still_distinct = distinct;
  return SetInsertion{Kind::Replace, p, lo};
}

template <class Items>
VmResult<std::vector<size_t>> positions_equal_to(const Items& items, const VmValue& x, VmWorkMeter* meter) {
  std::vector<size_t> out;
  for (size_t i = 0; i < items.size(); ++i) {
    work_step(meter);
    VELN_TRY(const bool equal, scanned_values_equal(x, items[i], meter));
    if (equal) out.push_back(i);
  }
  return out;
}

}  // namespace

VmResult<SetInsertion> distinct_set_insertion(VmItemsView items, const VmValue& x, bool* still_distinct,
                                              VmWorkMeter* meter) {
  return within_work([&] {
    // x is read whole to check it.
    work_step(nullptr, vm_key_read_steps(x));
    if (auto flat = items.contiguous()) return insertion(*flat, x, still_distinct, meter);
    return insertion(items, x, still_distinct, meter);
  });
}

VmResult<std::vector<size_t>> set_positions_equal_to(VmItemsView items, const VmValue& x, VmWorkMeter* meter) {
  return within_work([&] {
    if (auto flat = items.contiguous()) return positions_equal_to(*flat, x, meter);
    return positions_equal_to(items, x, meter);
  });
}

}  // namespace veln
