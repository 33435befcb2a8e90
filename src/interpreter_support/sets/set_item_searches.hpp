// Searches for the item of canonical set items that is value-equal to x,
// by key order through x's equal forms, where the items' facts allow it
// (one family, one exact tuple shape, plain tuples and frozensets, tame
// numbers, settled number classes), and the tests of those facts. Shared by
// membership, the single edits (add, discard, remove) and the set facts.
// Each search answers exactly as the literal scan would, or answers nothing
// where only the scan can tell; none of them builds or edits a set.
#pragma once

#include <algorithm>
#include <array>
#include <cmath>
#include <optional>
#include <utility>
#include <vector>

#include "interpreter_support/sets/set_item_order.hpp"
#include "interpreter_support/value_match_index.hpp"
#include "values/float_text.hpp"
#include "values/vm_sort.hpp"

namespace veln::set_items {

// First position whose float key is not below the probe's, if equal to it;
// `lower` gets that position either way.
template <class Items>
std::optional<size_t> find_float_key(const Items& items, VmFloatKeyProbe probe, size_t* lower = nullptr) {
  const size_t lo = first_failing(items, [&](const VmValue& item) { return probe.compare_item(item.float_value()) < 0; });
  if (lower != nullptr) *lower = lo;
  if (lo < items.size() && probe.compare_item(items[lo].float_value()) == 0) return lo;
  return std::nullopt;
}

// Sets whose items are of one family in which key order decides value
// equality, or of one exact tuple shape: the family, else nothing.
template <class Items>
std::optional<Family> searchable_family(const Items& items, const VmValue& x, std::optional<bool> settled) {
  const VmKind kind = items.front().kind();
  if (items.back().kind() != kind) return std::nullopt;
  const Family f = family_of(kind);
  if (f != Family::Other) return f;
  if (kind != VmKind::Tuple && kind != VmKind::FrozenSet) return std::nullopt;
  if (!x.is(kind) || !same_exact_shape(items.front(), x)) return std::nullopt;
  if (!(settled ? *settled : of_one_exact_shape(items))) return std::nullopt;
  return Family::ExactTuple;
}

// Where x would stand after the items whose keys are not greater (a stable
// sort puts an arrival after the items of equal key).
template <class Items>
size_t key_position(const Items& items, const VmValue& x, VmWorkMeter* meter) {
  return first_failing(items, [&x](const VmValue& item) { return !key_less(x, item); }, meter);
}

// The position of the item value-equal to x in a set of x's family, or of
// its first failing comparison; nothing when only the scan can tell.
struct Found {
  std::optional<size_t> equal;
  bool fails = false;
  // The first item above the needle, where the family order is the key
  // order (not for floats nor date-times).
  std::optional<size_t> above;
};
template <class Items>
std::optional<Found> find_in_family(const Items& items, Family f, const VmValue& x, VmWorkMeter* meter) {
  Found found;
  switch (f) {
    case Family::Float: {
      const double needle = x.float_value();
      if (std::isnan(needle)) return std::nullopt;
      work_step(meter, 3 * (1 + std::bit_width(items.size())));  // three binary searches
      found.equal = needle == 0.0 ? find_float_key(items, VmFloatKeyProbe(-0.0)) : std::nullopt;
      if (!found.equal) found.equal = find_float_key(items, VmFloatKeyProbe(needle == 0.0 ? 0.0 : needle));
      const auto nan_at = find_float_key(items, VmFloatKeyProbe(std::nan("")));
      found.fails = nan_at && (!found.equal || *nan_at < *found.equal);
      return found;
    }
    case Family::DateTime: {
      for (size_t at = first_failing(items, [&x](const VmValue& item) { return key_less(item, x); }, meter);
           at < items.size() && !key_less(x, items[at]); ++at)
        if (items[at].datetime_value() == x.datetime_value()) found.equal = at;
      return found;
    }
    default: {
      const size_t at = first_failing(items, [&](const VmValue& item) { return family_compare(f, item, x) < 0; }, meter);
      if (at < items.size() && family_compare(f, items[at], x) == 0) {
        found.equal = at;
      } else {
        found.above = at;
      }
      return found;
    }
  }
}

// A bool, int or float needle in a set of another of these families: the
// first item it equals (ints meet floats through the nearest double), or
// the failing comparison with a NaN; nothing for decimals.
template <class Items>
std::optional<Found> find_counterpart_in_family(const Items& items, Family f, const VmValue& x,
                                                VmWorkMeter* meter) {
  // Decimals convert the other side, with the conversion's own failures.
  if (x.is(VmKind::Decimal) || f == Family::Decimal) return std::nullopt;
  if (x.is(VmKind::Float) && std::isnan(x.float_value())) return Found{std::nullopt, true, std::nullopt};  // the first comparison
  const double d = x.is(VmKind::Bool) ? (x.bool_value() ? 1.0 : 0.0) : x.is(VmKind::Int) ? vm_int_to_f64(x) : x.float_value();
  switch (f) {
    case Family::Float:
      return find_in_family(items, f, VmValue::float64(d), meter);
    case Family::Int: {
      if (x.is(VmKind::Bool)) return find_in_family(items, f, VmValue::integer(x.bool_value() ? 1 : 0), meter);
      // Ascending ints have non-decreasing doubles: the equal ones are a run.
      const size_t at = first_failing(items, [d](const VmValue& item) { return vm_int_to_f64(item) < d; }, meter);
      Found found;
      if (at < items.size() && vm_int_to_f64(items[at]) == d) found.equal = at;
      return found;
    }
    case Family::Bool:
      if (d != 0.0 && d != 1.0) return Found{};
      if (x.is(VmKind::Int) && !(x.int_is_small() && (x.small_int() == 0 || x.small_int() == 1))) return Found{};
      return find_in_family(items, f, VmValue::boolean(d == 1.0), meter);
    default:
      return std::nullopt;
  }
}

// x's value-equal item in a set of family f (see searchable_family): a
// needle of a family that never equals f's finds nothing, one of another
// number family is searched for through its counterpart.
template <class Items>
std::optional<Found> find_equal_item(const Items& items, Family f, const VmValue& x, VmWorkMeter* meter) {
  const Family own = family_of(x.kind());
  if (f == Family::ExactTuple || own == f) return find_in_family(items, f, x, meter);
  if (!families_meet(f, own)) return Found{};
  return find_counterpart_in_family(items, f, x, meter);
}

inline bool is_nan_float(const VmValue& x) { return x.is(VmKind::Float) && std::isnan(x.float_value()); }

// Among items [from, to) of bools, ints and floats of at least two kinds
// (numbers of a canonical set: no NaN, floats only at doubles no int or
// bool holds, one per double), the position of the item value-equal to x, a
// bool, int or float. There is at most one, but for a float of 2^53 or
// more, which may equal a run of ints (`several`); a NaN fails to compare
// with the first (`nan`). Nothing when decimals take part: they convert the
// other side, and only the scan tells.
struct NumberMatch {
  std::optional<size_t> equal;
  bool several = false;
  bool nan = false;
  size_t floats = 0;  // where the floats start
  // Where x, a nonzero float, stands among the floats when it was searched.
  std::optional<size_t> float_place;
};
template <class Items>
std::optional<NumberMatch> find_among_numbers(const Items& items, size_t from, size_t to, const VmValue& x,
                                              VmWorkMeter* meter) {
  if (x.is(VmKind::Decimal)) return std::nullopt;
  const Slice<Items> all(items, from, to);
  const auto variant_at = [&](size_t i) { return *vm_set_key_variant(items[i].kind()); };
  const auto start_of = [&](VmSetKeyVariant v) {
    return from + first_failing(all, [v](const VmValue& item) { return *vm_set_key_variant(item.kind()) < v; }, meter);
  };
  // Bools lead, if any; decimals, if any, stand just before the floats.
  const size_t ints = from == to || variant_at(from) != VmSetKeyVariant::Bool ? from : start_of(VmSetKeyVariant::Int);
  const size_t floats = start_of(VmSetKeyVariant::Float);
  const size_t decimals =
      floats == ints || variant_at(floats - 1) != VmSetKeyVariant::Decimal ? floats : start_of(VmSetKeyVariant::Decimal);
  if (decimals != floats) return std::nullopt;
  NumberMatch match;
  if (is_nan_float(x)) {
    match.nan = true;
    return match;
  }
  match.floats = floats;
  struct Run {
    size_t from, to;
    Family family;
  };
  for (const Run run : {Run{from, ints, Family::Bool}, Run{ints, decimals, Family::Int}}) {
    if (run.from == run.to) continue;
    const auto found = find_equal_item(Slice<Items>(items, run.from, run.to), run.family, x, meter);
    if (!found || found->fails) return std::nullopt;
    if (found->equal && !match.equal) match.equal = run.from + *found->equal;
  }
  if (floats != to && !match.equal) {
    // Floats order by their texts: the one equal to x has the text of x's
    // double, or of either zero. There is no NaN to meet.
    const double d = x.is(VmKind::Bool) ? (x.bool_value() ? 1.0 : 0.0) : x.is(VmKind::Int) ? vm_int_to_f64(x) : x.float_value();
    const Slice<Items> run(items, floats, to);
    work_step(meter, 2 * (1 + std::bit_width(run.size())));
    size_t lower = 0;
    std::optional<size_t> equal = find_float_key(run, VmFloatKeyProbe(d == 0.0 ? -0.0 : d), &lower);
    if (x.is(VmKind::Float) && d != 0.0) match.float_place = floats + lower;
    if (!equal && d == 0.0) equal = find_float_key(run, VmFloatKeyProbe(0.0));
    if (equal) match.equal = floats + *equal;
  }
  match.several = x.is(VmKind::Float) && !(std::fabs(x.float_value()) < kTwoTo53) && ints != decimals;
  return match;
}

// A tuple whose items are None, texts, bytes, time deltas, bools, and ints
// and floats of magnitude below 2^53: every number among them is exactly
// its double, so value equality over such tuples is an equivalence, no
// comparison fails, and the item equal to one of them is found in key order
// by trying each equal form of its leaves (False, 0, -0.0 and 0.0, say).
inline bool plain_leaf(const VmValue& v) {
  switch (v.kind()) {
    case VmKind::None:
    case VmKind::Bool:
    case VmKind::String:
    case VmKind::Bytes:
    case VmKind::TimeDelta:
      return true;
    case VmKind::Int:
      return v.int_is_small() && v.small_int() < (int64_t{1} << 53) && v.small_int() > -(int64_t{1} << 53);
    case VmKind::Float:
      return std::fabs(v.float_value()) < kTwoTo53;
    default:
      return false;
  }
}

inline bool plain_tuple(const VmValue& v) {
  if (!v.is(VmKind::Tuple)) return false;
  const auto leaves = v.items();
  return std::all_of(leaves.begin(), leaves.end(), plain_leaf);
}

// The double a plain number leaf stands for (one for both zeros).
inline double plain_number_double(const VmValue& v) {
  const double d = v.is(VmKind::Bool) ? (v.bool_value() ? 1.0 : 0.0) : v.is(VmKind::Int) ? vm_int_to_f64(v) : v.float_value();
  return d == 0.0 ? 0.0 : d;
}

// The values equal to a plain leaf, one per key (at most four).
inline std::vector<VmValue> equal_forms(const VmValue& v) {
  if (!is_number(v)) return {v};
  const double d = plain_number_double(v);
  std::vector<VmValue> forms;
  if (d == 0.0 || d == 1.0) forms.push_back(VmValue::boolean(d == 1.0));
  if (d == std::trunc(d)) forms.push_back(VmValue::integer(static_cast<int64_t>(d)));
  if (d == 0.0) forms.push_back(VmValue::float64(-0.0));
  forms.push_back(VmValue::float64(d));
  return forms;
}

// The position of the item of plain tuples [from, to) (canonical: sorted by
// key, no two equal) value-equal to x, a plain tuple. Items sharing key
// prefixes with a form of x's leading leaves form a range; each leaf
// narrows every live range by each of its forms.
template <class Items>
std::optional<size_t> find_plain_tuple(const Items& items, size_t from, size_t to, const VmValue& x,
                                       VmWorkMeter* meter) {
  struct Range {
    size_t lo, hi;
  };
  // No tuples: nothing to narrow, and no first tuple to look at (the
  // empty needle narrows nothing, so the test below would read past them).
  if (from == to) return std::nullopt;
  std::vector<Range> live{{from, to}};
  const auto leaves = x.items();
  for (size_t i = 0; i < leaves.size() && !live.empty(); ++i) {
    const std::vector<VmValue> forms = equal_forms(leaves[i]);
    std::vector<Range> next;
    for (const Range r : live) {
      const Slice<Items> range(items, r.lo, r.hi);
      for (const VmValue& form : forms) {
        // Within the range, shorter tuples come first, then the key order
        // of leaf i.
        const auto before = [&](const VmValue& item, bool equal_too) {
          if (item.item_count() <= i) return true;
          const VmOrdering c = vm_set_key_compare(item.items()[i], form);
          return c == VmOrdering::Less || (equal_too && c == VmOrdering::Equal);
        };
        const size_t lo = r.lo + first_failing(range, [&](const VmValue& item) { return before(item, false); }, meter);
        const size_t hi = r.lo + first_failing(range, [&](const VmValue& item) { return before(item, true); }, meter);
        if (lo != hi) next.push_back(Range{lo, hi});
      }
    }
    live = std::move(next);
  }
  // The tuples of x's length come first in each range left.
  for (const Range r : live)
    if (items[r.lo].item_count() == leaves.size()) return r.lo;
  return std::nullopt;
}

// Whether no two plain leaves of a frozenset are equal: numbers of one
// double are, and other leaves of one key (neighbours in key order). A
// frozenset built where number equality is not transitive may hold two
// ({False, -0.0}, {0, 0}), and then equals others one way only.
inline bool plain_leaves_apart(std::span<const VmValue> leaves) {
  StoppableSteps steps;
  steps.step(leaves.size());
  constexpr size_t kOnStack = 16;
  std::array<double, kOnStack> on_stack;
  std::vector<double> on_heap;
  size_t numbers = 0;
  for (size_t i = 0; i < leaves.size(); ++i) {
    const VmValue& v = leaves[i];
    if (!is_number(v)) {
      if (i > 0 && v.eq(leaves[i - 1])) return false;
      continue;
    }
    const double d = plain_number_double(v);
    if (numbers < kOnStack) {
      on_stack[numbers] = d;
    } else {
      if (on_heap.empty()) on_heap.assign(on_stack.begin(), on_stack.end());
      on_heap.push_back(d);
    }
    ++numbers;
  }
  double* const first = on_heap.empty() ? on_stack.data() : on_heap.data();
  stoppable_sort(nullptr, numbers, std::less<double>(),
                   [first, numbers](auto&& less) { vm_stable_sort(first, first + numbers, less); });
  return std::adjacent_find(first, first + numbers) == first + numbers;
}

// A frozenset of plain leaves, no two equal, whatever their count and kinds:
// an equal one holds, leaf for leaf, one of the equal forms of each, in key
// order.
inline bool plain_frozenset(const VmValue& v) {
  if (!v.is(VmKind::FrozenSet)) return false;
  const auto leaves = v.items();
  return std::all_of(leaves.begin(), leaves.end(), plain_leaf) && plain_leaves_apart(leaves);
}

// The frozensets a search tries at most for one needle; past this (many
// integral numbers among its leaves) the whole normalisation decides.
inline constexpr size_t kMaxFrozensetForms = 256;

// The position of the item of plain frozensets [from, to) (canonical, no two
// equal) value-equal to x, a plain frozenset: every choice of one equal form
// per leaf, laid out in key order, is searched by its key. Nothing when x has
// too many such choices.
template <class Items>
std::optional<std::optional<size_t>> find_plain_frozenset(const Items& items, size_t from, size_t to,
                                                          const VmValue& x, VmWorkMeter* meter) {
  const auto leaves = x.items();
  std::vector<std::vector<VmValue>> forms;
  forms.reserve(leaves.size());
  size_t choices = 1;
  for (const VmValue& leaf : leaves) {
    forms.push_back(equal_forms(leaf));
    choices *= forms.back().size();
    if (choices > kMaxFrozensetForms) return std::nullopt;
  }
  work_step(meter, choices * (leaves.size() + 1));
  const Slice<Items> range(items, from, to);
  for (size_t n = 0; n < choices; ++n) {
    // n, read in the mixed radix of the form counts, picks one form per leaf.
    std::vector<VmValue> picked;
    picked.reserve(leaves.size());
    size_t rest = n;
    for (const std::vector<VmValue>& f : forms) {
      picked.push_back(f[rest % f.size()]);
      rest /= f.size();
    }
    vm_stable_sort(picked.begin(), picked.end(), step_counted(key_less, meter));
    VmResult<VmValue> candidate = VmValue::make_frozenset(std::move(picked));
    if (!candidate.ok()) return std::nullopt;
    const VmValue& c = candidate.value();
    const size_t at = first_failing(range, [&c](const VmValue& item) { return key_less(item, c); }, meter);
    if (at < range.size() && vm_set_key_compare(range[at], c) == VmOrdering::Equal) return from + at;
  }
  return std::optional<size_t>();
}

// Numbers whose value equality is an equivalence, decimals among them:
// bools, ints below 2^53 in magnitude, and floats below 2^53 that are zero
// or at least 1e-13 (their decimal conversion keeps every digit, and no
// comparison with a decimal fails). Each equals exactly the numbers of the
// same decimal value, a float through its shortest text.
inline bool tame_number(const VmValue& v) {
  switch (v.kind()) {
    case VmKind::Bool:
    case VmKind::Decimal:
      return true;
    case VmKind::Int:
      return plain_leaf(v);
    case VmKind::Float: {
      const double f = std::fabs(v.float_value());
      return f == 0.0 || (f >= kTinyFloatLimit && f < kTwoTo53);
    }
    default:
      return false;
  }
}

// The decimal value of a tame number.
inline VmDecimal tame_value(const VmValue& v) {
  switch (v.kind()) {
    case VmKind::Bool:
      return VmDecimal::from_bool(v.bool_value());
    case VmKind::Int:
      return VmDecimal::from_i64(v.small_int());
    case VmKind::Float:
      return *VmDecimal::from_f64(v.float_value());
    default:
      return v.decimal_value();
  }
}

// The equal forms of a tame number, worked out once for a search: each is
// compared with the items of its own variant as a machine word, a scaled
// integer or a float probe, without building a value per comparison.
struct TameForms {
  std::optional<bool> boolean;
  std::optional<int64_t> integer;
  VmDecimal decimal;  // the value, unless x is a decimal (then its own)
  // The doubles of the float forms: both zeros for zero, else at most one.
  std::array<double, 2> floats{};
  size_t float_count = 0;
  // x a decimal: a float found at its nearest double equals x only when
  // the float's own decimal is x's value.
  bool check_float = false;
};

inline TameForms tame_forms(const VmValue& x) {
  TameForms forms;
  switch (x.kind()) {
    case VmKind::Bool:
      forms.integer = x.bool_value() ? 1 : 0;
      break;
    case VmKind::Int:
      forms.integer = x.small_int();
      break;
    case VmKind::Float: {
      const double f = x.float_value();
      // Tame: below 2^53, so a whole one is an exact int64.
      if (f == std::trunc(f)) forms.integer = static_cast<int64_t>(f);
      break;
    }
    default: {
      const VmDecimal& d = x.decimal_value();
      if (std::optional<mpz_class> whole = vm_decimal_whole_value(d); whole && whole->fits_slong_p())
        forms.integer = whole->get_si();
      break;
    }
  }
  if (forms.integer && (*forms.integer == 0 || *forms.integer == 1)) forms.boolean = *forms.integer == 1;
  if (!x.is(VmKind::Decimal)) forms.decimal = tame_value(x);
  if (forms.integer && *forms.integer == 0) {
    forms.floats = {-0.0, 0.0};
    forms.float_count = 2;
  } else if (x.is(VmKind::Float)) {
    forms.floats[forms.float_count++] = x.float_value();
  } else if (x.is(VmKind::Decimal)) {
    // A whole value below 2^53 is its own double; others round once.
    const bool exact = forms.integer && *forms.integer < (int64_t{1} << 53) && *forms.integer > -(int64_t{1} << 53);
    forms.floats[forms.float_count++] = exact ? static_cast<double>(*forms.integer) : x.decimal_value().to_f64();
    forms.check_float = !exact;
  } else {
    forms.floats[forms.float_count++] = static_cast<double>(*forms.integer);
  }
  return forms;
}

// Numbers [from, to) of canonical items, all tame and no two equal: the
// position of the one x (tame) equals, found by the key of each of its
// equal forms. The numbers hold at most two bools, then ints, decimals and
// floats, each run in key order, so each form is searched past the runs
// before its own. `place`, when asked for, is where x's key stands among
// the items.
template <class Items>
std::optional<size_t> find_tame_number(const Items& items, size_t from, size_t to, const VmValue& x,
                                       VmWorkMeter* meter, size_t* place = nullptr) {
  const TameForms forms = tame_forms(x);
  std::optional<size_t> equal;
  // The first of items [first, last) not `below` the form (x's place when
  // it is x's `own` form); an item there of the form's kind and the `same`
  // value is the equal one.
  const auto search = [&](size_t first, size_t last, bool own, VmKind kind, auto below, auto same) {
    const size_t at = first + first_failing(Slice<Items>(items, first, last), below, meter);
    if (own && place != nullptr) *place = at;
    if (at < last && items[at].is(kind) && same(items[at])) equal = at;
    return at;
  };
  size_t lo = from;
  while (lo < to && lo - from < 2 && items[lo].is(VmKind::Bool)) ++lo;
  if (forms.boolean) {
    const bool b = *forms.boolean;
    search(from, lo, x.is(VmKind::Bool), VmKind::Bool, [b](const VmValue& item) { return b && !item.bool_value(); },
           [b](const VmValue& item) { return item.bool_value() == b; });
  }
  if (forms.integer) {
    // Tame ints are below 2^53: machine words.
    const int64_t n = *forms.integer;
    lo = search(lo, to, x.is(VmKind::Int), VmKind::Int,
                [n](const VmValue& item) {
                  return item.is(VmKind::Int) &&
                         (item.int_is_small() ? item.small_int() < n : mpz_sgn(item.big_int().get_mpz_t()) < 0);
                },
                [n](const VmValue& item) { return item.int_is_small() && item.small_int() == n; });
  }
  const VmDecimal& decimal = x.is(VmKind::Decimal) ? x.decimal_value() : forms.decimal;
  const mpz_srcptr value = decimal.scaled().get_mpz_t();
  const auto decimal_order = [value](const VmValue& item) {
    return mpz_cmp(item.decimal_value().scaled().get_mpz_t(), value);
  };
  lo = search(lo, to, x.is(VmKind::Decimal), VmKind::Decimal,
              [&decimal_order](const VmValue& item) {
                return item.is(VmKind::Decimal) ? decimal_order(item) < 0 : !item.is(VmKind::Float);
              },
              [&decimal_order](const VmValue& item) { return decimal_order(item) == 0; });
  for (size_t i = 0; i < forms.float_count; ++i) {
    VmFloatKeyProbe probe(forms.floats[i]);
    const bool own = x.is(VmKind::Float) && std::signbit(x.float_value()) == std::signbit(forms.floats[i]);
    search(lo, to, own, VmKind::Float,
           [&probe](const VmValue& item) {
             return !item.is(VmKind::Float) || probe.compare_item(item.float_value()) < 0;
           },
           [&](const VmValue& item) {
             if (probe.compare_item(item.float_value()) != 0) return false;
             if (!forms.check_float) return true;
             const auto back = VmDecimal::from_f64(item.float_value());
             return back.ok() && *back == decimal;
           });
  }
  return equal;
}

// Whether the numbers of canonical items are tame and no two equal
// (`settled`: as numbers_settled says, which tells that without decimals).
template <class Items>
bool numbers_tame(const Items& items, bool settled, VmWorkMeter* meter) {
  const auto [from, to] = class_range(items, VmKind::Int, meter);
  bool decimal = false;
  for (size_t i = from; i < to; ++i) {
    if (!tame_number(items[i])) return false;
    decimal = decimal || items[i].is(VmKind::Decimal);
  }
  if (!decimal) return settled;
  std::vector<VmDecimal> values;
  for (size_t i = from; i < to; ++i) values.push_back(tame_value(items[i]));
  work_step(meter, values.size());
  stoppable_sort(
      meter, values.size(), [](const VmDecimal& a, const VmDecimal& b) { return VmDecimal::compare(a, b) < 0; },
      [&values](auto&& less) { vm_stable_sort(values.begin(), values.end(), less); });
  return std::adjacent_find(values.begin(), values.end()) == values.end();
}

// Numbers [from, to) of one kind, no two equal: equal ones other than
// floats are structurally equal, and neighbours in key order; equal floats
// are one double, whose text is their key, or the two zeros.
template <class Items>
bool numbers_of_one_kind_apart(const Items& items, size_t from, size_t to, VmWorkMeter* meter) {
  work_step(meter, to - from);
  const bool floats = items[from].is(VmKind::Float);
  bool zero = false;
  bool negative_zero = false;
  for (size_t i = from; i < to; ++i) {
    const VmValue& v = items[i];
    if (floats && v.float_value() == 0.0) (std::signbit(v.float_value()) ? negative_zero : zero) = true;
    if (i > from && (floats ? v.float_value() == items[i - 1].float_value() : v.eq(items[i - 1]))) return false;
  }
  return !(zero && negative_zero);
}

// Bools, ints and floats, as their normalisation leaves them: no decimal
// among numbers of several kinds, no two equal (a float at the double of an
// int or bool, a bool and its int, two zeros, an int twice). Items
// normalised with a decimal may keep such pairs (a decimal equal to two
// numbers that differ survives beside one of them until an int replaces
// it: {0, 0} from a tiny float, 0, a decimal 0 and 0), and then only the
// whole normalisation tells what an added item changes.
template <class Items>
bool numbers_settled(const Items& items, VmWorkMeter* meter) {
  const auto range = class_range(items, VmKind::Int, meter);
  // Plain names rather than a structured binding: the lambda below takes
  // `from`, which some compilers refuse for a binding.
  const size_t from = range.first, to = range.second;
  if (from == to) return true;
  if (items[from].kind() == items[to - 1].kind()) return numbers_of_one_kind_apart(items, from, to, meter);
  const Slice<Items> numbers(items, from, to);
  const auto start_of = [&](VmSetKeyVariant v) {
    return from + first_failing(numbers, [v](const VmValue& item) { return *vm_set_key_variant(item.kind()) < v; }, meter);
  };
  const size_t decimals = start_of(VmSetKeyVariant::Decimal);
  const size_t floats = start_of(VmSetKeyVariant::Float);
  if (decimals != floats) return false;
  work_step(meter, to - from);
  std::vector<double> taken;  // the doubles of the bools and ints
  for (size_t i = from; i < decimals; ++i) {
    if (i > from && items[i].eq(items[i - 1])) return false;
    taken.push_back(items[i].is(VmKind::Bool) ? (items[i].bool_value() ? 1.0 : 0.0) : vm_int_to_f64(items[i]));
  }
  std::vector<double> kept;
  for (size_t i = floats; i < to; ++i) kept.push_back(items[i].float_value());
  for (std::vector<double>* doubles : {&taken, &kept}) {
    stoppable_sort(meter, doubles->size(), std::less<double>(),
                     [doubles](auto&& less) { vm_stable_sort(doubles->begin(), doubles->end(), less); });
  }
  const auto bits_taken = [&](double d) {
    const auto [lo, hi] = std::equal_range(taken.begin(), taken.end(), d);
    return hi - lo;
  };
  // A bool beside its int shows as the bool's double taken twice.
  for (const double bit : {0.0, 1.0})
    if (bits_taken(bit) > 1) return false;
  for (size_t i = 0; i < kept.size(); ++i) {
    if (std::isnan(kept[i]) || bits_taken(kept[i]) > 0) return false;
    if (i > 0 && kept[i - 1] == kept[i]) return false;
  }
  return true;
}

// Whether normalising the items again leaves every class as it is, so that
// x joining one class leaves the others alone, and searches find the one
// item x equals: numbers as numbers_settled says, tuples and frozensets of
// one exact shape each (others' scans may depend on order).
template <class Items>
bool containers_of_one_shape(const Items& items, VmWorkMeter* meter) {
  for (const VmKind kind : {VmKind::Tuple, VmKind::FrozenSet}) {
    const auto [first, end] = class_range(items, kind, meter);
    if (!of_one_exact_shape(Slice<Items>(items, first, end))) return false;
  }
  return true;
}

template <class Items>
bool classes_settled(const Items& items, std::optional<bool> settled, VmWorkMeter* meter) {
  if (settled) return *settled;
  return numbers_settled(items, meter) && containers_of_one_shape(items, meter);
}

}  // namespace veln::set_items
