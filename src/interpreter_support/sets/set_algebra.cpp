// Membership and set algebra over canonical items. The defining algorithms
// are scans: the algebra tests each item of one side against the other side
// in stored order, membership the items in stored order up to the first
// match; the first error met is theirs. Their answers come from binary
// search where key order decides (items of one kind, or the needle's class
// of settled items), from a sorted probe or a ValueMatchIndex prepared once
// for a series of needles, with the scan's first error reproduced from
// positions; two sets of one plainly ordered kind are merged.
#include "interpreter_support/sets/set_algebra.hpp"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <optional>

#include "interpreter_support/comparison_budget.hpp"
#include "interpreter_support/sets/equal_value_index.hpp"
#include "interpreter_support/sets/set_item_order.hpp"
#include "interpreter_support/sets/set_item_searches.hpp"
#include "interpreter_support/sets/set_keys.hpp"
#include "interpreter_support/stoppable_work.hpp"
#include "interpreter_support/sets/star_tuple_index.hpp"
#include "interpreter_support/value_equality.hpp"
#include "interpreter_support/value_match_index.hpp"
#include "values/float_text.hpp"
#include "values/vm_datetime.hpp"
#include "values/vm_decimal.hpp"
#include "values/vm_sort.hpp"

namespace veln {
namespace {

using namespace set_items;

// ---------------------------------------------------------------------------
// Prepared membership over a sequence of one family: entries sorted by
// (value, position), so the first entry of an equal range holds the first
// position at which the scan would match.
class SortedProbe {
 private:
  // A double, or an inline int (its nearest double, then its exact value):
  // ascending by number, then by position, so the first of equal numbers is
  // the first the scan meets. 0.0 and -0.0 are one number.
  struct Number {
    double value;
    int64_t exact;
    size_t position;
    bool operator<(const Number& o) const {
      if (value != o.value) return value < o.value;
      if (exact != o.exact) return exact < o.exact;
      return position < o.position;
    }
  };

 public:
  static std::optional<SortedProbe> build(std::span<const VmValue> items, VmWorkMeter* meter) {
    Family f = common_family(items);
    if (f == Family::Other && !items.empty() &&
        (items.front().is(VmKind::Tuple) || items.front().is(VmKind::FrozenSet)) && of_one_exact_shape(items))
      f = Family::ExactTuple;
    if (f == Family::Other) return std::nullopt;
    SortedProbe probe;
    probe.family_ = f;
    probe.empty_ = items.empty();
    // Doubles and inline ints are sorted as plain numbers.
    if (f == Family::Float || (f == Family::Int && std::all_of(items.begin(), items.end(), [](const VmValue& v) {
                                 return v.int_is_small();
                               }))) {
      probe.numbers_.reserve(items.size());
      for (size_t i = 0; i < items.size(); ++i) {
        if (f == Family::Int) {
          probe.numbers_.push_back(Number{static_cast<double>(items[i].small_int()), items[i].small_int(), i});
        } else if (std::isnan(items[i].float_value())) {
          if (!probe.first_nan_) probe.first_nan_ = i;
        } else {
          probe.numbers_.push_back(Number{items[i].float_value(), 0, i});
        }
      }
      stoppable_sort(meter, probe.numbers_.size(), std::less<Number>(), [&probe](auto&& less) {
        vm_stable_sort(probe.numbers_.begin(), probe.numbers_.end(), less);
      });
      return probe;
    }
    probe.entries_.reserve(items.size());
    for (size_t i = 0; i < items.size(); ++i) {
      if (f == Family::Float && std::isnan(items[i].float_value())) {
        if (!probe.first_nan_) probe.first_nan_ = i;
        continue;
      }
      probe.entries_.push_back(Entry{&items[i], i});
    }
    const auto less = step_counted([f](const Entry& x, const Entry& y) {
      const int c = family_compare(f, *x.value, *y.value);
      return c != 0 ? c < 0 : x.position < y.position;
    }, meter);
    if (!vm_is_sorted(probe.entries_.begin(), probe.entries_.end(), less))
      vm_stable_sort(probe.entries_.begin(), probe.entries_.end(), less);
    return probe;
  }

  // The scan's answer for `needle`, or nothing when only the scan can tell.
  std::optional<VmResult<bool>> find(const VmValue& needle, VmWorkMeter* meter) const {
    if (empty_) return VmResult<bool>(false);
    if (family_ == Family::ExactTuple) {
      // A tuple equals only a tuple; one of another shape may still be
      // value-equal ((1.0,) and (1,)), which only the scan can tell.
      const VmValue& first = *entries_.front().value;
      const bool set_like = needle.is(VmKind::Set) || needle.is(VmKind::FrozenSet);
      if (!needle.is(first.kind()) && !(set_like && first.is(VmKind::FrozenSet))) return VmResult<bool>(false);
      if (!same_exact_shape(first, needle)) return std::nullopt;
      return VmResult<bool>(vm_binary_search(entries_.begin(), entries_.end(), needle, EntryOrder{family_, meter}));
    }
    const Family nf = family_of(needle.kind());
    if (nf != family_) {
      if (!families_meet(family_, nf)) return VmResult<bool>(false);
      return find_counterpart(needle, meter);
    }
    return find_same_family(needle, meter);
  }

 private:
  std::optional<VmResult<bool>> find_same_family(const VmValue& needle, VmWorkMeter* meter) const {
    if (family_ == Family::Float && std::isnan(needle.float_value())) return VmResult<bool>(nan_error());
    std::optional<size_t> match;
    if (!numbers_.empty() || entries_.empty()) {
      if (family_ == Family::Int && !needle.int_is_small()) return VmResult<bool>(false);
      const Number key = family_ == Family::Int ? Number{static_cast<double>(needle.small_int()), needle.small_int(), 0}
                                                : Number{needle.float_value(), 0, 0};
      const auto it = lower_bound_from_last(key, meter);
      if (it != numbers_.end() && it->value == key.value && it->exact == key.exact) match = it->position;
      if (first_nan_ && (!match || *first_nan_ < *match)) return VmResult<bool>(nan_error());
      return VmResult<bool>(match.has_value());
    }
    const auto it = vm_lower_bound(entries_.begin(), entries_.end(), needle, EntryOrder{family_, meter});
    if (it != entries_.end() && family_compare(family_, *it->value, needle) == 0) match = it->position;
    if (first_nan_ && (!match || *first_nan_ < *match)) return VmResult<bool>(nan_error());
    return VmResult<bool>(match.has_value());
  }

  // Needles of a set algebra usually come in ascending order: the search
  // gallops on from where the last one ended (O(n + m) for a whole merge),
  // else it is a plain binary search.
  std::vector<Number>::const_iterator lower_bound_from_last(const Number& key, VmWorkMeter* meter) const {
    size_t lo = 0;
    size_t hi = numbers_.size();
    if (cursor_ > 0 && cursor_ <= numbers_.size() && numbers_[cursor_ - 1] < key) {
      // Everything before the cursor is below the key: gallop from it.
      lo = cursor_;
      size_t probe = lo;
      size_t step = 1;
      while (probe < numbers_.size() && numbers_[probe] < key) {
        work_step(meter);
        lo = probe + 1;
        probe = lo + step;
        step *= 2;
      }
      hi = std::min(probe + 1, numbers_.size());
    }
    work_step(meter, 1 + std::bit_width(hi - lo));
    const auto it = vm_lower_bound(numbers_.begin() + static_cast<std::ptrdiff_t>(lo),
                                     numbers_.begin() + static_cast<std::ptrdiff_t>(hi), key);
    cursor_ = static_cast<size_t>(it - numbers_.begin());
    return it;
  }

  // A bool, int or float needle among items of another of these families:
  // the value of the items' family that it equals (ints meet floats through
  // the nearest double), when there is exactly one; decimals and a float
  // beyond 2^53 among ints (equal to a run of ints) are left to the index.
  std::optional<VmResult<bool>> find_counterpart(const VmValue& needle, VmWorkMeter* meter) const {
    const auto as_double = [](const VmValue& v) {
      return v.is(VmKind::Bool) ? (v.bool_value() ? 1.0 : 0.0) : v.is(VmKind::Int) ? vm_int_to_f64(v) : v.float_value();
    };
    switch (family_) {
      case Family::Float:
        if (needle.is(VmKind::Decimal)) return std::nullopt;
        return find_same_family(VmValue::float64(as_double(needle)), meter);
      case Family::Int:
      case Family::Bool: {
        if (needle.is(VmKind::Decimal)) return std::nullopt;
        if (!needle.is(VmKind::Float)) {
          const VmValue k = needle.is(VmKind::Bool) ? VmValue::integer(needle.bool_value() ? 1 : 0) : needle;
          if (family_ == Family::Int) return find_same_family(k, meter);
          const bool bit = k.int_is_small() && (k.small_int() == 0 || k.small_int() == 1);
          return bit ? find_same_family(VmValue::boolean(k.small_int() == 1), meter) : VmResult<bool>(false);
        }
        const double f = needle.float_value();
        if (std::isnan(f)) return VmResult<bool>(nan_error());  // the first item's comparison fails
        if (f != std::trunc(f)) return VmResult<bool>(false);
        if (family_ == Family::Bool) {
          return f == 0.0 || f == 1.0 ? find_same_family(VmValue::boolean(f == 1.0), meter) : VmResult<bool>(false);
        }
        if (!(std::fabs(f) < 9007199254740992.0)) return std::nullopt;
        return find_same_family(VmValue::integer(static_cast<int64_t>(f)), meter);
      }
      default:
        return std::nullopt;
    }
  }

 public:

 private:
  struct Entry {
    const VmValue* value;
    size_t position;
  };
  struct EntryOrder {
    Family family;
    VmWorkMeter* meter;
    bool operator()(const Entry& e, const VmValue& x) const {
      work_step(meter);
      return family_compare(family, *e.value, x) < 0;
    }
    bool operator()(const VmValue& x, const Entry& e) const {
      work_step(meter);
      return family_compare(family, x, *e.value) < 0;
    }
  };
  Family family_ = Family::Other;
  bool empty_ = true;
  std::vector<Entry> entries_;
  std::vector<Number> numbers_;
  mutable size_t cursor_ = 0;  // where the last search ended
  std::optional<size_t> first_nan_;
};

// The value-equality hashes of two sequences, built on first need and
// shared by the searches of each in the other (a symmetric difference asks
// both ways; the hashes depend on the values only, not on their order).
class PairHasher {
 public:
  PairHasher(std::span<const VmValue> first, std::span<const VmValue> second) : spans_{first, second} {}
  // The hashes of `items` and of `queries` (the two sequences, either way
  // round), or nothing when the hashing is refused.
  std::optional<std::pair<const std::vector<EqualValueHashes>*, const std::vector<EqualValueHashes>*>> hashes(
      std::span<const VmValue> items, VmWorkMeter* meter) {
    if (!surveyed(meter)) return std::nullopt;
    if (!refined_) {
      refined_ = true;
      if (!hasher_->refine(spans_, meter)) hasher_.reset();
    }
    if (!hasher_) return std::nullopt;
    const size_t at = span_of(items);
    return std::pair{&hasher_->hashes(at), &hasher_->hashes(1 - at)};
  }
  bool any_wild() const { return hasher_->any_wild(); }
  // Where floats make the hashes wild: `items` filed by the keys of their
  // tuples' or frozensets' choices, for needles of the other sequence
  // (numbered through id(1 - span_of(items), i)), when each group is a
  // star. Tried before hashes(), which it spares the refined hashes.
  std::optional<StarTupleIndex> star_index(std::span<const VmValue> items, VmWorkMeter* meter) {
    if (!surveyed(meter) || hasher_->transitive()) return std::nullopt;
    auto index = StarTupleIndex::build(*hasher_, spans_, meter);
    if (!index) return std::nullopt;
    const size_t at = span_of(items);
    index->add_all(index->id(at, 0), spans_[at].size());
    return index;
  }
  size_t span_of(std::span<const VmValue> items) const {
    return items.data() == spans_[0].data() && items.size() == spans_[0].size() ? 0 : 1;
  }

 private:
  // Whether the hasher stands; its hashes are left unrefined where floats
  // make them wild (the star index needs only the survey).
  bool surveyed(VmWorkMeter* meter) {
    if (!tried_) {
      tried_ = true;
      hasher_ = EqualValueHasher::build(spans_, meter, false, true);
      refined_ = hasher_ && hasher_->transitive();
    }
    return hasher_.has_value();
  }

  std::span<const VmValue> spans_[2];
  bool tried_ = false;
  bool refined_ = false;
  std::optional<EqualValueHasher> hasher_;
};

// Answers "does `items` hold a value-equal item" for a series of needles,
// when the series is long enough to pay for it through a sorted probe (items
// of one family) or else an index of equal forms (built on first need).
class Membership {
 public:
  // `queries` are the needles, asked in their order. `shared` hashes items
  // and queries for the index of equal forms; one of its own is made when
  // it is null.
  Membership(std::span<const VmValue> items, std::span<const VmValue> queries, VmWorkMeter* meter,
             PairHasher* shared = nullptr)
      : items_(items), queries_(queries), meter_(meter), indexed_(queries.size() >= 8 && items.size() >= 8),
        hasher_(shared) {
    if (!indexed_) return;
    merging_ = mergeable(queries, items, meter);
    if (!merging_) probe_ = SortedProbe::build(items, meter);
  }
  VmResult<bool> contains(const VmValue& needle) const {
    if (merging_ && previous_ != nullptr) {
      // The needles must ascend too; checked as they come, while the last
      // one is still in the cache.
      work_step(meter_);
      if (family_compare(family_, *previous_, needle) >= 0) {
        merging_ = false;
        probe_ = SortedProbe::build(items_, meter_);
      }
    }
    if (merging_) {
      previous_ = &needle;
      // Both sides ascend in one order in which value equality is equality.
      for (; cursor_ < items_.size(); ++cursor_) {
        work_step(meter_);
        const int c = family_compare(family_, items_[cursor_], needle);
        if (c == 0) return true;
        if (c > 0) break;
      }
      return false;
    }
    if (probe_) {
      if (auto answer = probe_->find(needle, meter_)) return *std::move(answer);
    }
    if (indexed_ && vm_needle_class(needle) == NeedleClass::Opaque) {
      if (auto answer = contains_by_hash(needle)) return *std::move(answer);
    }
    if (indexed_) {
      if (!index_) {
        // Each item is hashed and filed in a table of the items' size, as a
        // key search does.
        work_step(meter_, (1 + kVmKeySearchSteps) * items_.size());
        index_.emplace(items_);
      }
      // Each probe of the index (a step on the meter) lands anywhere in a
      // table of the items' size: a key search.
      const uint64_t before = meter_ != nullptr ? meter_->steps : 0;
      const std::optional<VmScanMatch> m = index_->find(needle, meter_);
      if (meter_ != nullptr) work_step(meter_, kVmKeySearchSteps * (meter_->steps - before));
      if (m) return vm_scan_outcome(*m, m->failure ? &items_[*m->failure] : nullptr, needle);
    }
    return scan_contains(items_, needle, meter_);
  }

 private:
  // Both sequences of one family whose value equality is key equality and
  // whose key order is the family order, the items strictly ascending (the
  // needles are checked as they come).
  bool mergeable(std::span<const VmValue> queries, std::span<const VmValue> items, VmWorkMeter* meter) {
    family_ = common_family(items);
    switch (family_) {
      case Family::None:
      case Family::Bool:
      case Family::Int:
      case Family::Decimal:
      case Family::TimeDelta:
      case Family::Text:
      case Family::Bytes:
        break;
      default:
        return false;
    }
    if (common_family(queries) != family_) return false;
    for (size_t i = 1; i < items.size(); ++i) {
      work_step(meter);
      if (family_compare(family_, items[i - 1], items[i]) >= 0) return false;
    }
    return true;
  }

  // Containers (tuples, frozensets) as needles: a hash index over the items
  // of value equality, when no comparison between items and needles can
  // fail. The needles are asked in order, so the next needle's hashes are
  // the next ones computed.
  std::optional<VmResult<bool>> contains_by_hash(const VmValue& needle) const {
    if (!hash_tried_) {
      hash_tried_ = true;
      if (hasher_ == nullptr) {
        own_hasher_.emplace(items_, queries_);
        hasher_ = &*own_hasher_;
      }
      star_ = hasher_->star_index(items_, meter_);
      if (!star_) hashes_ = hasher_->hashes(items_, meter_);
      if (hashes_) {
        hash_index_ = EqualValueIndex(hasher_->any_wild());
        // Each item filed in a table of the items' size: a key search.
        work_step(meter_, kVmKeySearchSteps * hashes_->first->size());
        hash_index_.add_all(*hashes_->first);
      }
    }
    if (!star_ && !hashes_) return std::nullopt;
    // The needle is one of the queries: find its hashes by position.
    const auto at = static_cast<size_t>(&needle - queries_.data());
    if (&needle < queries_.data() || at >= queries_.size()) return std::nullopt;
    if (star_) {
      const uint32_t value = star_->id(1 - hasher_->span_of(items_), at);
      auto first = star_->first_equal(items_, needle, value, meter_);
      if (!first.ok()) return VmResult<bool>(std::move(first).error());
      return VmResult<bool>(first->has_value());
    }
    const auto& needle_hashes = *hashes_->second;
    if (at + kHashLookAhead < needle_hashes.size()) hash_index_.prefetch(needle_hashes[at + kHashLookAhead]);
    auto first = hash_index_.first_equal(items_, needle, needle_hashes[at], meter_);
    if (!first.ok()) return VmResult<bool>(std::move(first).error());
    return VmResult<bool>(first->has_value());
  }

  static constexpr size_t kHashLookAhead = 8;
  std::span<const VmValue> items_;
  std::span<const VmValue> queries_;
  VmWorkMeter* meter_;
  bool indexed_;
  mutable bool hash_tried_ = false;
  mutable PairHasher* hasher_;
  mutable std::optional<PairHasher> own_hasher_;
  mutable std::optional<std::pair<const std::vector<EqualValueHashes>*, const std::vector<EqualValueHashes>*>> hashes_;
  mutable EqualValueIndex hash_index_{false};
  mutable std::optional<StarTupleIndex> star_;
  mutable bool merging_ = false;
  Family family_ = Family::Other;
  mutable size_t cursor_ = 0;
  mutable const VmValue* previous_ = nullptr;
  mutable std::optional<SortedProbe> probe_;
  mutable std::optional<ValueMatchIndex> index_;
};

// ---------------------------------------------------------------------------
// Membership in canonical set items, in set-key order.

template <class Items>
VmResult<bool> float_set_contains(const Items& items, double needle) {
  if (std::isnan(needle)) return nan_error();
  std::optional<size_t> match;
  if (needle == 0.0) {
    const auto neg = find_float_key(items, VmFloatKeyProbe(-0.0));
    const auto pos = find_float_key(items, VmFloatKeyProbe(0.0));
    match = neg && pos ? std::min(*neg, *pos) : (neg ? neg : pos);
  } else {
    match = find_float_key(items, VmFloatKeyProbe(needle));
  }
  const auto nan_at = find_float_key(items, VmFloatKeyProbe(std::nan("")));
  if (nan_at && (!match || *nan_at < *match)) return nan_error();
  return match.has_value();
}

// Ints in ascending order meet a double through their nearest doubles, which
// ascend too (not strictly), so the equal ones form one range.
template <class Items>
VmResult<bool> int_set_contains_float(const Items& items, double needle) {
  if (std::isnan(needle)) return nan_error();
  const size_t at = first_failing(items, [needle](const VmValue& item) { return vm_int_to_f64(item) < needle; });
  return at < items.size() && vm_int_to_f64(items[at]) == needle;
}

template <class Items>
VmResult<bool> datetime_set_contains(const Items& items, const VmValue& needle) {
  const VmDateTime& x = needle.datetime_value();
  const auto key_less = [](const VmDateTime& a, const VmDateTime& b) {
    if (a.day_number() != b.day_number()) return a.day_number() < b.day_number();
    if (a.seconds_of_day() != b.seconds_of_day()) return a.seconds_of_day() < b.seconds_of_day();
    return a.microsecond() < b.microsecond();
  };
  for (size_t at = first_failing(items, [&](const VmValue& item) { return key_less(item.datetime_value(), x); });
       at < items.size() && !key_less(x, items[at].datetime_value()); ++at)
    if (items[at].datetime_value() == x) return true;
  return false;
}

// Membership where key order decides it (items of one kind, a needle that
// meets them plainly); nothing where only the scan can tell.
// Membership in tuples (or frozensets) of one exact shape: a needle of that
// shape is found by key order; a tuple equals only a tuple, while one of
// another shape may still be value-equal ((1.0,) and (1,)), which only the
// scan can tell.
template <class Items>
std::optional<VmResult<bool>> contains_exact_shape(const Items& items, const VmValue& needle, VmWorkMeter* meter) {
  const VmValue& first = items.front();
  const bool set_like = needle.is(VmKind::Set) || needle.is(VmKind::FrozenSet);
  if (!needle.is(first.kind()) && !(set_like && first.is(VmKind::FrozenSet))) return false;
  if (!same_exact_shape(first, needle)) return std::nullopt;
  const size_t at = first_failing(items, [&](const VmValue& item) { return key_less(item, needle); }, meter);
  return at < items.size() && vm_set_key_compare(items[at], needle) == VmOrdering::Equal;
}

// Membership in items of one kind (those of a set, or of one class of it).
template <class Items>
std::optional<VmResult<bool>> contains_in_one_kind(const Items& items, const VmValue& needle, VmWorkMeter* meter,
                                                   std::optional<bool> settled) {
  const VmKind kind = items.front().kind();
  const Family f = family_of(kind);
  if ((kind == VmKind::Tuple || kind == VmKind::FrozenSet) && settled.value_or(false))
    return contains_exact_shape(items, needle, meter);
  if (f == Family::Other) return std::nullopt;
  const Family nf = family_of(needle.kind());
  if (nf != f) {
    if (!families_meet(f, nf)) return false;
    // Ints, floats and bools meet through doubles (or 0 and 1) and fail only
    // on NaN; decimals convert and may fail, so they keep the scan.
    if (f == Family::Float && nf == Family::Int) return float_set_contains(items, vm_int_to_f64(needle));
    if (f == Family::Float && nf == Family::Bool) return float_set_contains(items, needle.bool_value() ? 1.0 : 0.0);
    if (f == Family::Int && nf == Family::Bool)
      return contains_in_one_kind(items, VmValue::integer(needle.bool_value() ? 1 : 0), meter, settled);
    if (f == Family::Int && nf == Family::Float) return int_set_contains_float(items, needle.float_value());
    return std::nullopt;
  }
  switch (f) {
    case Family::Float:
      return float_set_contains(items, needle.float_value());
    case Family::DateTime:
      return datetime_set_contains(items, needle);
    default: {
      // Within these kinds key order is the family order.
      const size_t at = first_failing(items, [&](const VmValue& item) { return family_compare(f, item, needle) < 0; }, meter);
      return at < items.size() && family_compare(f, items[at], needle) == 0;
    }
  }
}

// Membership where key order decides it: in items of one kind, or in the
// items of the needle's class (the others never equal it, nor fail); nothing
// where only the scan (or an index of the items) can tell.
template <class Items>
std::optional<VmResult<bool>> contains_by_order(const Items& items, const VmValue& needle, VmWorkMeter* meter,
                                                std::optional<bool> settled = std::nullopt, bool plain = false,
                                                bool tame = false, bool plain_sets = false) {
  if (items.empty()) return false;
  if (plain_sets && plain_frozenset(needle)) {
    const auto [from, to] = class_range(items, VmKind::FrozenSet, meter);
    if (auto found = find_plain_frozenset(items, from, to, needle, meter)) return VmResult<bool>(found->has_value());
  }
  if (plain && plain_tuple(needle)) {
    const auto [from, to] = class_range(items, VmKind::Tuple, meter);
    return VmResult<bool>(find_plain_tuple(items, from, to, needle, meter).has_value());
  }
  if (tame && tame_number(needle)) {
    const auto [from, to] = class_range(items, VmKind::Int, meter);
    return VmResult<bool>(find_tame_number(items, from, to, needle, meter).has_value());
  }
  // Equal kinds at both ends mean one kind throughout.
  if (items.back().kind() == items.front().kind()) return contains_in_one_kind(items, needle, meter, settled);
  if (!vm_set_key_variant(needle.kind())) return std::nullopt;
  const auto [from, to] = class_range(items, needle.kind(), meter);
  if (from == to) return false;
  const Slice<Items> own(items, from, to);
  if (own.back().kind() == own.front().kind()) return contains_in_one_kind(own, needle, meter, settled);
  if (!is_number(needle)) return std::nullopt;
  const auto match = find_among_numbers(items, from, to, needle, meter);
  if (!match) return std::nullopt;
  if (match->nan) return VmResult<bool>(nan_error());
  return VmResult<bool>(match->equal.has_value());
}

template <class Items>
VmResult<bool> contains_in_set(const Items& items, const VmValue& needle, VmWorkMeter* meter) {
  if (auto found = contains_by_order(items, needle, meter)) return *std::move(found);
  return scan_contains(items, needle, meter);
}

VmResult<bool> items_equal(std::span<const VmValue> a, std::span<const VmValue> b, VmWorkMeter* meter) {
  if (a.size() != b.size()) return false;
  const Membership in_b(b, a, meter);
  for (const VmValue& item : a) {
    VELN_TRY(const bool found, in_b.contains(item));
    if (!found) return false;
  }
  return true;
}

VmResult<bool> is_subset(std::span<const VmValue> a, std::span<const VmValue> b, VmWorkMeter* meter) {
  if (a.empty()) return true;
  if (b.empty()) return false;
  const Membership in_b(b, a, meter);
  for (const VmValue& item : a) {
    VELN_TRY(const bool found, in_b.contains(item));
    if (!found) return false;
  }
  return true;
}

VmResult<std::vector<VmValue>> difference(std::span<const VmValue> a, std::span<const VmValue> b,
                                          VmWorkMeter* meter, PairHasher* shared = nullptr) {
  if (b.empty()) return std::vector<VmValue>(a.begin(), a.end());
  std::vector<VmValue> out;
  const Membership in_b(b, a, meter, shared);
  for (const VmValue& item : a) {
    VELN_TRY(const bool found, in_b.contains(item));
    if (!found) out.push_back(item);
  }
  return out;
}

VmResult<std::vector<VmValue>> intersection(std::span<const VmValue> a, std::span<const VmValue> b,
                                            VmWorkMeter* meter) {
  std::vector<VmValue> out;
  if (a.empty() || b.empty()) return out;
  const Membership in_b(b, a, meter);
  for (const VmValue& item : a) {
    VELN_TRY(const bool found, in_b.contains(item));
    if (found) out.push_back(item);
  }
  return out;
}

VmResult<std::vector<VmValue>> symmetric_difference(std::span<const VmValue> a, std::span<const VmValue> b,
                                                    VmWorkMeter* meter) {
  PairHasher shared(a, b);
  VELN_TRY(std::vector<VmValue> out, difference(a, b, meter, &shared));
  if (a.empty()) {
    out.insert(out.end(), b.begin(), b.end());
  } else {
    const Membership in_a(a, b, meter, &shared);
    for (const VmValue& item : b) {
      VELN_TRY(const bool found, in_a.contains(item));
      if (!found) out.push_back(item);
    }
  }
  return out;
}

}  // namespace

VmResult<bool> set_contains(VmItemsView items, const VmValue& needle, VmWorkMeter* meter) {
  return within_work([&] {
    return capped_set_operation(meter, [&](VmWorkMeter* m) {
      if (auto flat = items.contiguous()) return contains_in_set(*flat, needle, m);
      return contains_in_set(items, needle, m);
    });
  });
}

std::optional<VmResult<bool>> set_contains_by_order(VmItemsView items, const VmValue& needle, VmWorkMeter* meter,
                                                    std::optional<bool> settled, bool plain, bool tame,
                                                    bool plain_sets) {
  return within_work([&] {
    if (auto flat = items.contiguous()) return contains_by_order(*flat, needle, meter, settled, plain, tame, plain_sets);
    return contains_by_order(items, needle, meter, settled, plain, tame, plain_sets);
  });
}

// Each operation below counts on the caller's meter, or on one of its own.
VmResult<bool> set_items_equal(std::span<const VmValue> a, std::span<const VmValue> b) {
  VmWorkMeter meter;
  return set_items_equal(a, b, meter);
}
VmResult<bool> set_items_equal(std::span<const VmValue> a, std::span<const VmValue> b, VmWorkMeter& meter) {
  return within_work([&] { return capped_set_operation(&meter, [&](VmWorkMeter* m) { return items_equal(a, b, m); }); });
}

VmResult<bool> set_is_subset(std::span<const VmValue> a, std::span<const VmValue> b) {
  VmWorkMeter meter;
  return set_is_subset(a, b, meter);
}
VmResult<bool> set_is_subset(std::span<const VmValue> a, std::span<const VmValue> b, VmWorkMeter& meter) {
  return within_work([&] { return capped_set_operation(&meter, [&](VmWorkMeter* m) { return is_subset(a, b, m); }); });
}

VmResult<std::vector<VmValue>> set_union_values(std::span<const VmValue> a, std::span<const VmValue> b) {
  std::vector<VmValue> out;
  out.reserve(a.size() + b.size());
  out.insert(out.end(), a.begin(), a.end());
  out.insert(out.end(), b.begin(), b.end());
  return out;
}

VmResult<std::vector<VmValue>> set_difference_values(std::span<const VmValue> a, std::span<const VmValue> b) {
  VmWorkMeter meter;
  return set_difference_values(a, b, meter);
}
VmResult<std::vector<VmValue>> set_difference_values(std::span<const VmValue> a, std::span<const VmValue> b,
                                                     VmWorkMeter& meter) {
  return within_work([&] { return capped_set_operation(&meter, [&](VmWorkMeter* m) { return difference(a, b, m); }); });
}

VmResult<std::vector<VmValue>> set_intersection_values(std::span<const VmValue> a, std::span<const VmValue> b) {
  VmWorkMeter meter;
  return set_intersection_values(a, b, meter);
}
VmResult<std::vector<VmValue>> set_intersection_values(std::span<const VmValue> a, std::span<const VmValue> b,
                                                       VmWorkMeter& meter) {
  return within_work(
      [&] { return capped_set_operation(&meter, [&](VmWorkMeter* m) { return intersection(a, b, m); }); });
}

VmResult<std::vector<VmValue>> set_symmetric_difference_values(std::span<const VmValue> a,
                                                               std::span<const VmValue> b) {
  VmWorkMeter meter;
  return set_symmetric_difference_values(a, b, meter);
}
VmResult<std::vector<VmValue>> set_symmetric_difference_values(std::span<const VmValue> a, std::span<const VmValue> b,
                                                               VmWorkMeter& meter) {
  return within_work(
      [&] { return capped_set_operation(&meter, [&](VmWorkMeter* m) { return symmetric_difference(a, b, m); }); });
}

}  // namespace veln
