// Canonical set form and set algebra. The defining algorithms are scans:
// normalisation compares each item with every kept one, the algebra tests
// each item of one side against the other side in stored order. Both are
// kept verbatim where kinds that can meet are mixed (numbers of different
// kinds, tuples of different shapes), since the survivor and the first error
// depend on scan order. Normalisation first splits the items into classes
// that never compare equal (numbers, texts, bytes, ...) and handles each
// class apart, keeping the first failing item across classes. For items of
// one plain kind the scans' outcomes are determined by sorting:
//   - within one kind other than float and datetime, value equality is key
//     equality and equal items are indistinguishable, so the result is the
//     sorted distinct items;
//   - floats: value equality is numeric equality (0.0 == -0.0, the key of
//     -0.0 is the smaller) and any NaN among two or more items makes the
//     first comparison fail;
//   - datetimes: value equality is equality of the full value while keys
//     stop at the microsecond, so the first arrival of each distinct value
//     survives and equal keys keep arrival order;
//   - tuples of one shape whose leaves are of such kinds (not float, not
//     datetime) behave like the first case;
//   - bools mixed with ints: True and 1, False and 0 are the only equal
//     pairs, and the bool's key is the lesser.
// Numbers of different kinds (ints with floats, decimals with anything) meet
// through value equality, which is not transitive between ints and floats;
// their scan is reproduced in O(n log n) (see normalize_numbers and
// replay_number_scan). Membership answers likewise come from binary search
// or from a ValueMatchIndex, with the scan's first error reproduced from
// positions; two sets of one plainly ordered kind are merged. A single
// addition or removal searches x's class only, in key order, where the
// set's classes are settled (normalising them again gives them back): the
// other classes then never change.
#include "interpreter_support/set_algebra.hpp"

#include <algorithm>
#include <bit>
#include <array>
#include <cmath>
#include <cstring>
#include <optional>

#include "interpreter_support/equal_value_index.hpp"
#include "interpreter_support/set_keys.hpp"
#include "interpreter_support/value_equality.hpp"
#include "interpreter_support/value_match_index.hpp"
#include "values/float_text.hpp"
#include "values/vm_datetime.hpp"
#include "values/vm_decimal.hpp"

namespace veln {
namespace {

VmExecutionError nan_error() { return vm_error(std::string(kNanCompareMessage)); }

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

Family family_of(VmKind k) {
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
int family_compare(Family f, const VmValue& a, const VmValue& b) {
  switch (f) {
    case Family::None:
      return 0;
    case Family::Bool:
      return int{a.bool_value()} - int{b.bool_value()};
    case Family::Int:
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
      return vm_bytes_compare(a.text(), b.text());
    case Family::ExactTuple:
      return static_cast<int>(vm_set_key_compare(a, b));
    case Family::Other:
      break;
  }
  return 0;
}

bool key_less(const VmValue& a, const VmValue& b) { return vm_set_key_compare(a, b) == VmOrdering::Less; }

// The first position whose item fails `pred`, which holds for a prefix of
// the items (a binary search, over a span or a set's items where they lie);
// a meter counts the tests.
template <class Pred>
size_t first_failing(VmItemsView items, Pred pred, VmWorkMeter* meter = nullptr) {
  return items.partition_point([&pred, meter](const VmValue& item) {
    vm_tick(meter);
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
        vm_tick(meter);
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
    vm_tick(meter);
    if (pred(items[mid])) {
      lo = mid + 1;
    } else {
      hi = mid;
    }
  }
  return lo;
}

// The family shared by all items, or Other.
Family common_family(std::span<const VmValue> items) {
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
bool families_meet(Family items, Family needle) {
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
    vm_tick(meter);
    VELN_TRY(const bool equal, vm_values_equal(item, needle));
    if (equal) return true;
  }
  return false;
}

// Tuples (and frozensets) whose leaves, position by position, are of one
// kind among those where value equality is key equality (no float: 0.0/-0.0
// and NaN; no datetime: keys stop at the microsecond; never bool against
// int). Two such values are value-equal exactly when their keys are equal,
// no comparison can fail, and equal ones are indistinguishable.
bool exact_leaf_kind(VmKind k) {
  return k == VmKind::None || k == VmKind::Bool || k == VmKind::Int || k == VmKind::Decimal ||
         k == VmKind::TimeDelta || k == VmKind::String || k == VmKind::Bytes;
}

// Frozensets match items regardless of position, so a bool may meet an int
// anywhere: only frozensets of one leaf kind throughout count as one shape.
bool same_exact_frozenset_shape(const VmValue& a, const VmValue& b) {
  const auto xs = a.items();
  const auto ys = b.items();
  if (xs.size() != ys.size()) return false;
  if (xs.empty()) return true;
  const VmKind k = xs.front().kind();
  const auto of_k = [k](const VmValue& v) { return v.kind() == k; };
  return exact_leaf_kind(k) && std::all_of(xs.begin(), xs.end(), of_k) && std::all_of(ys.begin(), ys.end(), of_k);
}

bool same_exact_shape(const VmValue& a, const VmValue& b) {
  if (a.kind() != b.kind()) return false;
  if (a.kind() == VmKind::FrozenSet) return same_exact_frozenset_shape(a, b);
  if (a.kind() != VmKind::Tuple) return exact_leaf_kind(a.kind());
  const auto xs = a.items();
  const auto ys = b.items();
  if (xs.size() != ys.size()) return false;
  for (size_t i = 0; i < xs.size(); ++i)
    if (!same_exact_shape(xs[i], ys[i])) return false;
  return true;
}

template <class Items>
bool of_one_exact_shape(const Items& items) {
  for (size_t i = 0; i < items.size(); ++i)
    if (!same_exact_shape(items.front(), items[i])) return false;
  return true;
}

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
  static std::optional<SortedProbe> build(std::span<const VmValue> items) {
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
      std::sort(probe.numbers_.begin(), probe.numbers_.end());
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
    const auto less = [f](const Entry& x, const Entry& y) {
      const int c = family_compare(f, *x.value, *y.value);
      return c != 0 ? c < 0 : x.position < y.position;
    };
    if (!std::is_sorted(probe.entries_.begin(), probe.entries_.end(), less))
      std::sort(probe.entries_.begin(), probe.entries_.end(), less);
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
      return VmResult<bool>(std::binary_search(entries_.begin(), entries_.end(), needle, EntryOrder{family_, meter}));
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
    const auto it = std::lower_bound(entries_.begin(), entries_.end(), needle, EntryOrder{family_, meter});
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
        vm_tick(meter);
        lo = probe + 1;
        probe = lo + step;
        step *= 2;
      }
      hi = std::min(probe + 1, numbers_.size());
    }
    vm_tick(meter, 1 + std::bit_width(hi - lo));
    const auto it = std::lower_bound(numbers_.begin() + static_cast<std::ptrdiff_t>(lo),
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
      vm_tick(meter);
      return family_compare(family, *e.value, x) < 0;
    }
    bool operator()(const VmValue& x, const Entry& e) const {
      vm_tick(meter);
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
    if (!tried_) {
      tried_ = true;
      hasher_ = EqualValueHasher::build(spans_, meter);
    }
    if (!hasher_) return std::nullopt;
    const size_t at = items.data() == spans_[0].data() && items.size() == spans_[0].size() ? 0 : 1;
    return std::pair{&hasher_->hashes(at), &hasher_->hashes(1 - at)};
  }
  bool any_wild() const { return hasher_->any_wild(); }

 private:
  std::span<const VmValue> spans_[2];
  bool tried_ = false;
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
    if (!merging_) probe_ = SortedProbe::build(items);
  }
  VmResult<bool> contains(const VmValue& needle) const {
    if (merging_ && previous_ != nullptr) {
      // The needles must ascend too; checked as they come, while the last
      // one is still in the cache.
      vm_tick(meter_);
      if (family_compare(family_, *previous_, needle) >= 0) {
        merging_ = false;
        probe_ = SortedProbe::build(items_);
      }
    }
    if (merging_) {
      previous_ = &needle;
      // Both sides ascend in one order in which value equality is equality.
      for (; cursor_ < items_.size(); ++cursor_) {
        vm_tick(meter_);
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
      if (!index_) index_.emplace(items_);
      if (auto m = index_->find(needle, meter_))
        return vm_scan_outcome(*m, m->failure ? &items_[*m->failure] : nullptr, needle);
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
      vm_tick(meter);
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
      hashes_ = hasher_->hashes(items_, meter_);
      if (hashes_) {
        hash_index_ = EqualValueIndex(hasher_->any_wild());
        hash_index_.add_all(*hashes_->first);
      }
    }
    if (!hashes_) return std::nullopt;
    // The needle is one of the queries: find its hashes by position.
    const auto at = static_cast<size_t>(&needle - queries_.data());
    if (&needle < queries_.data() || at >= queries_.size()) return std::nullopt;
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
  mutable bool merging_ = false;
  Family family_ = Family::Other;
  mutable size_t cursor_ = 0;
  mutable const VmValue* previous_ = nullptr;
  mutable std::optional<SortedProbe> probe_;
  mutable std::optional<ValueMatchIndex> index_;
};

// ---------------------------------------------------------------------------
// Normalisation.

// The outcome of normalising the items of one class (see below): the
// canonical items, or the position (within the class) of the item whose
// scan failed, with its error.
struct ClassOutcome {
  std::vector<VmValue> items;
  std::optional<size_t> failed_at;
  VmExecutionError error;
};

ClassOutcome class_failure(size_t at, VmExecutionError error) {
  return ClassOutcome{{}, at, std::move(error)};
}

// The scan itself, for hashable items.
ClassOutcome normalize_literal(std::vector<VmValue> items, VmWorkMeter* meter) {
  std::vector<VmValue> kept;
  for (size_t i = 0; i < items.size(); ++i) {
    VmValue& item = items[i];
    bool matched = false;
    for (VmValue& stored : kept) {
      vm_tick(meter);
      auto equal = vm_values_equal(stored, item);
      if (!equal.ok()) return class_failure(i, std::move(equal).error());
      if (*equal) {
        if (vm_set_key_compare(item, stored) == VmOrdering::Less) stored = std::move(item);
        matched = true;
        break;
      }
    }
    if (!matched) kept.push_back(std::move(item));
  }
  std::stable_sort(kept.begin(), kept.end(), vm_counted([](const VmValue& a, const VmValue& b) {
    return vm_set_key_compare(a, b) == VmOrdering::Less;
  }, meter));
  return ClassOutcome{std::move(kept), std::nullopt, {}};
}

// Sorted distinct items for a family whose equal items are interchangeable.
// Sorts a range that is usually one or two ascending runs (a set's items,
// or a union of two sets' items) in linear time, anything else in n log n.
template <class It, class Less>
void sort_runs(It first, It last, Less less) {
  const It run_end = std::is_sorted_until(first, last, less);
  if (run_end == last) return;
  if (std::is_sorted(run_end, last, less)) {
    std::inplace_merge(first, run_end, last, less);
  } else {
    std::sort(first, last, less);
  }
}

// Sorts a vector that may consist of a few long ascending runs (items that
// arrived cycling through a few tuple prefixes, say) by merging the runs
// pairwise, in log(runs) passes; many short runs are sorted as usual.
template <class T, class Less>
void sort_natural_runs(std::vector<T>& items, Less less) {
  const size_t n = items.size();
  std::vector<size_t> bounds{0};
  for (size_t i = 1; i < n; ++i) {
    if (!less(items[i], items[i - 1])) continue;
    bounds.push_back(i);
    if (bounds.size() > n / 16 + 2) {
      std::sort(items.begin(), items.end(), less);
      return;
    }
  }
  bounds.push_back(n);
  std::vector<T> buffer(n);
  while (bounds.size() > 2) {
    std::vector<size_t> merged{0};
    for (size_t k = 0; k + 1 < bounds.size(); k += 2) {
      const auto from = items.begin() + static_cast<std::ptrdiff_t>(bounds[k]);
      const auto middle = items.begin() + static_cast<std::ptrdiff_t>(bounds[k + 1]);
      const size_t end = k + 2 < bounds.size() ? bounds[k + 2] : bounds[k + 1];
      std::merge(from, middle, middle, items.begin() + static_cast<std::ptrdiff_t>(end),
                 buffer.begin() + static_cast<std::ptrdiff_t>(bounds[k]), less);
      merged.push_back(end);
    }
    items.swap(buffer);
    bounds = std::move(merged);
  }
}

// Texts compare by their first eight bytes, packed big-endian, before any
// memory behind the value is touched.
struct TextKey {
  uint64_t prefix;
  std::string_view text;
};

// Bytes [from, from + 8) of a text, big-endian, zeros past its end: where
// two packings differ, the texts differ the same way.
uint64_t packed_bytes(std::string_view t, size_t from) {
  uint64_t packed = 0;
  for (size_t i = from; i < from + 8; ++i) packed = (packed << 8) | (i < t.size() ? static_cast<uint8_t>(t[i]) : 0);
  return packed;
}

TextKey text_key(const VmValue& v) {
  const std::string_view t = v.text();
  return TextKey{packed_bytes(t, 0), t};
}

bool text_key_less(const TextKey& a, const TextKey& b) {
  if (a.prefix != b.prefix) return a.prefix < b.prefix;
  return vm_bytes_compare(a.text, b.text) < 0;
}

// Sorting extracted keys beats sorting values through the kind dispatch.
template <class Key, class KeyOf, class Less>
void sort_distinct_by_key(std::vector<VmValue>& items, KeyOf key_of, Less less_uncounted, VmWorkMeter* meter) {
  const auto less = vm_counted(less_uncounted, meter);
  struct Entry {
    Key key;
    size_t position;
  };
  std::vector<Entry> entries;
  entries.reserve(items.size());
  for (size_t i = 0; i < items.size(); ++i) entries.push_back(Entry{key_of(items[i]), i});
  sort_runs(entries.begin(), entries.end(), [&](const Entry& a, const Entry& b) { return less(a.key, b.key); });
  std::vector<VmValue> out;
  out.reserve(entries.size());
  for (size_t i = 0; i < entries.size(); ++i) {
    if (i > 0 && !less(entries[i - 1].key, entries[i].key)) continue;
    out.push_back(std::move(items[entries[i].position]));
  }
  items = std::move(out);
}

void sort_distinct(std::vector<VmValue>& items, Family f, VmWorkMeter* meter) {
  if (f == Family::Text || f == Family::Bytes) {
    sort_distinct_by_key<TextKey>(items, text_key, text_key_less, meter);
    return;
  }
  if (f == Family::Int &&
      std::all_of(items.begin(), items.end(), [](const VmValue& v) { return v.int_is_small(); })) {
    sort_runs(items.begin(), items.end(),
              vm_counted([](const VmValue& a, const VmValue& b) { return a.small_int() < b.small_int(); }, meter));
    items.erase(std::unique(items.begin(), items.end(),
                            [](const VmValue& a, const VmValue& b) { return a.small_int() == b.small_int(); }),
                items.end());
    return;
  }
  const auto less = vm_counted([f](const VmValue& a, const VmValue& b) { return family_compare(f, a, b) < 0; }, meter);
  sort_runs(items.begin(), items.end(), less);
  const auto equal = [f](const VmValue& a, const VmValue& b) { return family_compare(f, a, b) == 0; };
  items.erase(std::unique(items.begin(), items.end(), equal), items.end());
}

ClassOutcome normalize_floats(std::vector<VmValue>& items, VmWorkMeter* meter) {
  std::optional<size_t> first_nan;
  bool any_negative_zero = false;
  for (size_t i = 0; i < items.size(); ++i) {
    const double x = items[i].float_value();
    if (std::isnan(x) && !first_nan) first_nan = i;
    any_negative_zero |= x == 0.0 && std::signbit(x);
  }
  if (items.size() == 1) return ClassOutcome{std::move(items), std::nullopt, {}};
  // The second item's scan compares against the first, so a NaN first fails
  // there; a NaN later fails at its own first comparison.
  if (first_nan) return class_failure(*first_nan == 0 ? 1 : *first_nan, nan_error());
  // A display text has at most 24 bytes ("-1.2345678901234567e-308"): as
  // three big-endian words padded with zero bytes (which no text holds), the
  // words compare in the texts' bytewise order. When every text is
  // positional, the first word is the positional key word and the
  // magnitudes order floats of one word; with full texts, equal words are
  // equal doubles.
  const bool all_positional = std::all_of(items.begin(), items.end(), [](const VmValue& item) {
    return vm_float_text_positional(item.float_value());
  });
  struct Keyed {
    std::array<uint64_t, 3> words;
    double value;
  };
  const auto words_order = [](const Keyed& a, const Keyed& b) {
    for (size_t w = 0; w < 3; ++w)
      if (a.words[w] != b.words[w]) return a.words[w] < b.words[w] ? -1 : 1;
    return 0;
  };
  std::vector<Keyed> keyed;
  keyed.reserve(items.size());
  std::string scratch;
  for (const VmValue& item : items) {
    double x = item.float_value();
    if (x == 0.0 && any_negative_zero) x = -0.0;  // 0.0 and -0.0 are one item; -0.0 has the lesser key
    Keyed k{{}, x};
    if (all_positional) {
      k.words[0] = vm_positional_float_key_word(x);
      keyed.push_back(k);
      continue;
    }
    char text[24] = {};
    scratch.clear();
    append_float_display_text(scratch, x);
    std::memcpy(text, scratch.data(), std::min(scratch.size(), sizeof text));
    for (size_t w = 0; w < 3; ++w) {
      uint64_t word = 0;
      std::memcpy(&word, text + 8 * w, 8);
      k.words[w] = std::endian::native == std::endian::little ? __builtin_bswap64(word) : word;
    }
    keyed.push_back(k);
  }
  // Floats taken from a set (a union's operand, say) come in order already.
  const auto less = vm_counted([&](const Keyed& a, const Keyed& b) {
    const int c = words_order(a, b);
    return c != 0 ? c < 0 : std::fabs(a.value) < std::fabs(b.value);
  }, meter);
  if (!std::is_sorted(keyed.begin(), keyed.end(), less)) std::sort(keyed.begin(), keyed.end(), less);
  std::vector<VmValue> out;
  out.reserve(keyed.size());
  for (size_t i = 0; i < keyed.size(); ++i) {
    if (i > 0 && words_order(keyed[i], keyed[i - 1]) == 0 && keyed[i].value == keyed[i - 1].value) continue;
    out.push_back(VmValue::float64(keyed[i].value));
  }
  return ClassOutcome{std::move(out), std::nullopt, {}};
}

std::vector<VmValue> normalize_datetimes(std::vector<VmValue>& items, VmWorkMeter* meter) {
  struct Arrival {
    const VmDateTime* value;
    size_t position;
  };
  std::vector<Arrival> order;
  order.reserve(items.size());
  for (size_t i = 0; i < items.size(); ++i) order.push_back(Arrival{&items[i].datetime_value(), i});
  // First arrival of each distinct full value.
  std::sort(order.begin(), order.end(), vm_counted([](const Arrival& a, const Arrival& b) {
    const auto c = *a.value <=> *b.value;
    return c != 0 ? c < 0 : a.position < b.position;
  }, meter));
  std::vector<Arrival> survivors;
  survivors.reserve(order.size());
  for (size_t i = 0; i < order.size(); ++i) {
    if (i > 0 && *order[i].value == *order[i - 1].value) continue;
    survivors.push_back(order[i]);
  }
  // Key order (to the microsecond); equal keys keep arrival order.
  std::sort(survivors.begin(), survivors.end(), vm_counted([](const Arrival& a, const Arrival& b) {
    const VmDateTime& x = *a.value;
    const VmDateTime& y = *b.value;
    if (x.day_number() != y.day_number()) return x.day_number() < y.day_number();
    if (x.seconds_of_day() != y.seconds_of_day()) return x.seconds_of_day() < y.seconds_of_day();
    if (x.microsecond() != y.microsecond()) return x.microsecond() < y.microsecond();
    return a.position < b.position;
  }, meter));
  std::vector<VmValue> out;
  out.reserve(survivors.size());
  for (const Arrival& s : survivors) out.push_back(std::move(items[s.position]));
  return out;
}

// ---------------------------------------------------------------------------
// Membership in canonical set items, in set-key order.

// First position whose float key is not below the probe's, if equal to it;
// `lower` gets that position either way.
template <class Items>
std::optional<size_t> find_float_key(const Items& items, VmFloatKeyProbe probe, size_t* lower = nullptr) {
  const size_t lo = first_failing(items, [&](const VmValue& item) { return probe.compare_item(item.float_value()) < 0; });
  if (lower != nullptr) *lower = lo;
  if (lo < items.size() && probe.compare_item(items[lo].float_value()) == 0) return lo;
  return std::nullopt;
}

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

}  // namespace

namespace {

// Classes of hashable items: value equality between items of two different
// classes is false and cannot fail, and the classes occupy disjoint, ordered
// ranges of the key order. So the scan treats each class as if it were alone
// (its kept items keep their relative order), and the canonical result is
// the classes' results one after the other.
constexpr size_t kClassCount = 8;

size_t class_of(VmKind kind) {
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

// Bools and ints only: True equals 1 and False equals 0, nothing else meets
// across the two kinds and nothing fails, so each group of equal items keeps
// its least key, the bool where there is one.
std::vector<VmValue> normalize_bools_and_ints(std::vector<VmValue>& items, VmWorkMeter* meter) {
  bool has_false = false;
  bool has_true = false;
  std::vector<VmValue> ints;
  ints.reserve(items.size());
  for (VmValue& item : items) {
    if (item.is(VmKind::Bool)) {
      (item.bool_value() ? has_true : has_false) = true;
    } else {
      ints.push_back(std::move(item));
    }
  }
  sort_distinct(ints, Family::Int, meter);
  std::vector<VmValue> out;
  out.reserve(ints.size() + 2);
  if (has_false) out.push_back(VmValue::boolean(false));
  if (has_true) out.push_back(VmValue::boolean(true));
  for (VmValue& v : ints) {
    const bool taken_by_bool = v.int_is_small() && ((has_false && v.small_int() == 0) || (has_true && v.small_int() == 1));
    if (!taken_by_bool) out.push_back(std::move(v));
  }
  return out;
}

bool is_number(const VmValue& v) {
  return v.is(VmKind::Bool) || v.is(VmKind::Int) || v.is(VmKind::Float) || v.is(VmKind::Decimal);
}

// Bools, ints and floats, of at least two kinds. The scan compares every
// item with the first kept one before anything else, so a NaN fails at its
// own turn, or at the second item when it comes first. Otherwise items with
// different nearest doubles never meet, and within one double: ints and
// bools are equal exactly when their values are (the bool's key wins);
// every float equals every item of its double, so the first int of the
// double takes the place of any float kept before it and later floats fall
// on it. Floats therefore survive only at doubles held by no int or bool,
// one per double (-0.0 before 0.0).
ClassOutcome normalize_ints_and_floats(std::vector<VmValue>& items, VmWorkMeter* meter) {
  for (size_t i = 0; i < items.size(); ++i) {
    if (items[i].is(VmKind::Float) && std::isnan(items[i].float_value())) return class_failure(i == 0 ? 1 : i, nan_error());
  }
  std::vector<VmValue> exact, floats;
  for (VmValue& v : items) (v.is(VmKind::Float) ? floats : exact).push_back(std::move(v));
  std::vector<VmValue> out = normalize_bools_and_ints(exact, meter);
  // Bools first, then ints ascending, whose doubles ascend too.
  std::vector<double> taken;
  taken.reserve(out.size());
  for (const VmValue& v : out) taken.push_back(v.is(VmKind::Bool) ? (v.bool_value() ? 1.0 : 0.0) : vm_int_to_f64(v));
  const auto ints_begin = std::find_if(out.begin(), out.end(), [](const VmValue& v) { return !v.is(VmKind::Bool); });
  const auto split = taken.begin() + (ints_begin - out.begin());
  std::erase_if(floats, [&](const VmValue& f) {
    const double x = f.float_value();
    if (x != std::trunc(x)) return false;  // the double of an int is integral
    vm_tick(meter, 1 + std::bit_width(taken.size()));
    return std::find(taken.begin(), split, x) != split || std::binary_search(split, taken.end(), x);
  });
  if (!floats.empty()) {
    ClassOutcome rest = normalize_floats(floats, meter);
    out.insert(out.end(), std::make_move_iterator(rest.items.begin()), std::make_move_iterator(rest.items.end()));
  }
  return ClassOutcome{std::move(out), std::nullopt, {}};
}

// Numbers with decimals among them: the scan replayed item by item, each
// scan answered from indexes of the kept items (their structure, and the
// numeric hazards) instead of comparing with every kept item.
ClassOutcome replay_number_scan(std::vector<VmValue>& items, VmWorkMeter* meter) {
  struct StructHash {
    size_t operator()(const VmValue& v) const { return static_cast<size_t>(vm_structural_hash(v, vm_hash_seed())); }
  };
  struct StructEq {
    bool operator()(const VmValue& a, const VmValue& b) const { return a.eq(b); }
  };
  // Kept items are never structurally equal (an item structurally equal to a
  // kept one is value-equal to it), so one position per structure.
  using Where = std::unordered_map<VmValue, uint32_t, StructHash, StructEq>;
  struct Probe {
    const Where* where;
    VmWorkMeter* meter;
    static std::optional<uint32_t> first(const void* context, const VmValue& form) {
      const auto* p = static_cast<const Probe*>(context);
      vm_tick(p->meter);
      const auto it = p->where->find(form);
      return it == p->where->end() ? std::nullopt : std::optional<uint32_t>(it->second);
    }
  };
  std::vector<VmValue> kept;
  Where where;
  NumericHazards hazards;
  const Probe probe{&where, meter};
  for (size_t i = 0; i < items.size(); ++i) {
    VmValue& item = items[i];
    const VmScanMatch m = hazards.match(item, &Probe::first, &probe);
    if (m.failure && (!m.equal || *m.failure < *m.equal)) {
      auto equal = vm_values_equal(kept[*m.failure], item);
      return class_failure(i, equal.ok() ? vm_error("inconsistent number index") : std::move(equal).error());
    }
    if (!m.equal) {
      const auto p = static_cast<uint32_t>(kept.size());
      where.emplace(item, p);
      hazards.add(p, item);
      kept.push_back(std::move(item));
      continue;
    }
    VmValue& stored = kept[*m.equal];
    vm_tick(meter);
    if (vm_set_key_compare(item, stored) != VmOrdering::Less) continue;
    where.erase(stored);
    hazards.remove(*m.equal, stored);
    stored = std::move(item);
    where.emplace(stored, *m.equal);
    hazards.add(*m.equal, stored);
  }
  std::stable_sort(kept.begin(), kept.end(), vm_counted([](const VmValue& a, const VmValue& b) {
    return vm_set_key_compare(a, b) == VmOrdering::Less;
  }, meter));
  return ClassOutcome{std::move(kept), std::nullopt, {}};
}

// Stable sort by set key, each item's key prefix given. Key comparisons of
// containers recurse (and format float texts); the prefixes decide most
// comparisons without reading the items (a set's items, or a union of
// sets, often arrive sorted).
void sort_by_prefixes(std::vector<VmValue>& items, std::span<const VmSetKeyPrefix> prefixes, VmWorkMeter* meter) {
  struct Keyed {
    VmSetKeyPrefix prefix;
    uint32_t position;
  };
  std::vector<Keyed> keyed(items.size());
  for (size_t i = 0; i < items.size(); ++i) keyed[i] = Keyed{prefixes[i], static_cast<uint32_t>(i)};
  sort_natural_runs(keyed, vm_counted([&items](const Keyed& a, const Keyed& b) {
    if (a.prefix != b.prefix) return a.prefix < b.prefix;
    const VmOrdering c = vm_set_key_compare(items[a.position], items[b.position]);
    return c == VmOrdering::Less || (c == VmOrdering::Equal && a.position < b.position);
  }, meter));
  std::vector<VmValue> out;
  out.reserve(items.size());
  for (const Keyed& k : keyed) out.push_back(std::move(items[k.position]));
  items = std::move(out);
}

void stable_sort_by_key(std::vector<VmValue>& items, VmWorkMeter* meter) {
  std::vector<VmSetKeyPrefix> prefixes(items.size());
  std::string scratch;
  for (size_t i = 0; i < items.size(); ++i) {
    auto prefix = vm_set_key_prefix(items[i], scratch);
    if (!prefix) {  // a date-time or a time delta inside
      std::stable_sort(items.begin(), items.end(), vm_counted(key_less, meter));
      return;
    }
    prefixes[i] = *prefix;
  }
  sort_by_prefixes(items, prefixes, meter);
}

// Containers whose items cannot be told apart by key order (number leaves of
// mixed kinds): the scan replayed over a hash index of the kept items, when
// no comparison among the items can fail.
// `unchecked`: the items' hashability is not known yet (the hashing walk
// then refuses an unhashable one).
std::optional<ClassOutcome> normalize_hashed(std::vector<VmValue>& items, VmWorkMeter* meter, bool unchecked = false) {
  const std::span<const VmValue> universe[] = {items};
  auto hasher = EqualValueHasher::build(universe, meter, unchecked);
  if (!hasher) return std::nullopt;
  const std::vector<EqualValueHashes>& hashes = hasher->hashes(0);
  std::vector<VmValue> kept;
  kept.reserve(items.size());
  constexpr size_t kLookAhead = 8;
  if (hasher->transitive()) {
    // Equal values share their hash: one probe finds an item's equal or
    // adds it, and a replacement leaves the index as it is.
    EquivalenceIndex index(items.size());
    const auto kept_at = [&kept](uint32_t q) -> const VmValue& { return kept[q]; };
    for (size_t i = 0; i < items.size(); ++i) {
      VmValue& item = items[i];
      if (i + kLookAhead < items.size()) index.prefetch(hashes[i + kLookAhead].refined);
      auto match = index.find_or_add(hashes[i].refined, item, static_cast<uint32_t>(kept.size()), kept_at, meter);
      if (!match.ok()) return class_failure(i, std::move(match).error());
      if (!*match) {
        kept.push_back(std::move(item));
        continue;
      }
      vm_tick(meter);
      VmValue& stored = kept[**match];
      if (vm_set_key_compare(item, stored) == VmOrdering::Less) stored = std::move(item);
    }
    stable_sort_by_key(kept, meter);
    return ClassOutcome{std::move(kept), std::nullopt, {}};
  }
  std::vector<EqualValueHashes> kept_hashes;
  EqualValueIndex index(hasher->any_wild());
  for (size_t i = 0; i < items.size(); ++i) {
    VmValue& item = items[i];
    if (i + kLookAhead < items.size()) index.prefetch(hashes[i + kLookAhead]);
    auto match = index.first_equal(kept, item, hashes[i], meter);
    if (!match.ok()) return class_failure(i, std::move(match).error());
    if (!*match) {
      index.add(static_cast<uint32_t>(kept.size()), hashes[i]);
      kept.push_back(std::move(item));
      kept_hashes.push_back(hashes[i]);
      continue;
    }
    const uint32_t p = **match;
    vm_tick(meter);
    if (vm_set_key_compare(item, kept[p]) != VmOrdering::Less) continue;
    index.replace(p, kept_hashes[p], hashes[i]);
    kept_hashes[p] = hashes[i];
    kept[p] = std::move(item);
  }
  stable_sort_by_key(kept, meter);
  return ClassOutcome{std::move(kept), std::nullopt, {}};
}

ClassOutcome normalize_class(std::vector<VmValue> items, VmWorkMeter* meter) {
  if (items.size() <= 1) return ClassOutcome{std::move(items), std::nullopt, {}};
  const VmKind kind = items.front().kind();
  const bool one_kind =
      std::all_of(items.begin(), items.end(), [kind](const VmValue& v) { return v.kind() == kind; });
  if (!one_kind && std::all_of(items.begin(), items.end(), is_number)) {
    if (std::any_of(items.begin(), items.end(), [](const VmValue& v) { return v.is(VmKind::Decimal); }))
      return replay_number_scan(items, meter);
    if (std::all_of(items.begin(), items.end(), [](const VmValue& v) { return !v.is(VmKind::Float); }))
      return ClassOutcome{normalize_bools_and_ints(items, meter), std::nullopt, {}};
    return normalize_ints_and_floats(items, meter);
  }
  if (one_kind) {
    switch (kind) {
      case VmKind::None:
      case VmKind::Bool:
      case VmKind::Int:
      case VmKind::Decimal:
      case VmKind::TimeDelta:
      case VmKind::String:
      case VmKind::Bytes:
        sort_distinct(items, family_of(kind), meter);
        return ClassOutcome{std::move(items), std::nullopt, {}};
      case VmKind::Float:
        return normalize_floats(items, meter);
      case VmKind::DateTime:
        return ClassOutcome{normalize_datetimes(items, meter), std::nullopt, {}};
      case VmKind::Tuple:
      case VmKind::FrozenSet:
        if (of_one_exact_shape(items)) {
          const auto less = vm_counted([](const VmValue& a, const VmValue& b) {
            return vm_set_key_compare(a, b) == VmOrdering::Less;
          }, meter);
          std::sort(items.begin(), items.end(), less);
          items.erase(std::unique(items.begin(), items.end(),
                                  [](const VmValue& a, const VmValue& b) {
                                    return vm_set_key_compare(a, b) == VmOrdering::Equal;
                                  }),
                      items.end());
          return ClassOutcome{std::move(items), std::nullopt, {}};
        }
        if (auto outcome = normalize_hashed(items, meter)) return *std::move(outcome);
        break;
      default:
        break;
    }
  }
  return normalize_literal(std::move(items), meter);
}

}  // namespace

namespace {

// Tuples, or frozensets, of number leaves of mixed kinds: the walk that
// hashes them finds an unhashable item too, so they skip the separate
// hashability pass. Nothing when they are not of that sort.
std::optional<ClassOutcome> normalize_containers(std::vector<VmValue>& items, VmWorkMeter* meter) {
  if (items.size() < 2) return std::nullopt;
  const VmKind kind = items.front().kind();
  if (kind != VmKind::Tuple && kind != VmKind::FrozenSet) return std::nullopt;
  if (!std::all_of(items.begin(), items.end(), [kind](const VmValue& v) { return v.kind() == kind; })) return std::nullopt;
  if (of_one_exact_shape(items)) return std::nullopt;
  return normalize_hashed(items, meter, true);
}

VmResult<std::vector<VmValue>> normalize_items(std::vector<VmValue> items, VmWorkMeter* meter) {
  if (auto outcome = normalize_containers(items, meter)) {
    if (outcome->failed_at) return std::move(outcome->error);
    return std::move(outcome->items);
  }
  // The scan stops at the first unhashable item, so only the items before it
  // can decide anything else.
  size_t end = items.size();
  std::optional<VmExecutionError> failure;
  for (size_t i = 0; i < items.size(); ++i) {
    auto hashable = vm_check_hashable(items[i]);
    if (!hashable.ok()) {
      end = i;
      failure = std::move(hashable).error();
      break;
    }
  }
  const size_t first_class = end == 0 ? 0 : class_of(items.front().kind());
  const bool one_class = std::all_of(items.begin(), items.begin() + static_cast<std::ptrdiff_t>(end),
                                     [first_class](const VmValue& v) { return class_of(v.kind()) == first_class; });
  if (one_class && !failure) {
    ClassOutcome outcome = normalize_class(std::move(items), meter);
    if (outcome.failed_at) return std::move(outcome.error);
    return std::move(outcome.items);
  }
  std::array<std::vector<VmValue>, kClassCount> classes;
  std::array<std::vector<size_t>, kClassCount> positions;
  for (size_t i = 0; i < end; ++i) {
    const size_t c = class_of(items[i].kind());
    classes[c].push_back(std::move(items[i]));
    positions[c].push_back(i);
  }
  size_t failed_at = end;  // the unhashable item, if any
  std::vector<VmValue> out;
  for (size_t c = 0; c < kClassCount; ++c) {
    ClassOutcome outcome = normalize_class(std::move(classes[c]), meter);
    if (outcome.failed_at) {
      const size_t at = positions[c][*outcome.failed_at];
      if (at < failed_at) {
        failed_at = at;
        failure = std::move(outcome.error);
      }
      continue;
    }
    if (!failure) out.insert(out.end(), outcome.items.begin(), outcome.items.end());
  }
  if (failure) return *std::move(failure);
  return out;
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
      vm_tick(meter, 3 * (1 + std::bit_width(items.size())));  // three binary searches
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

bool is_nan_float(const VmValue& x) { return x.is(VmKind::Float) && std::isnan(x.float_value()); }

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
    vm_tick(meter, 2 * (1 + std::bit_width(run.size())));
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
bool plain_leaf(const VmValue& v) {
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

bool plain_tuple(const VmValue& v) {
  if (!v.is(VmKind::Tuple)) return false;
  const auto leaves = v.items();
  return std::all_of(leaves.begin(), leaves.end(), plain_leaf);
}

// The values equal to a plain leaf, one per key (at most four).
std::vector<VmValue> equal_forms(const VmValue& v) {
  if (!is_number(v)) return {v};
  const double d = v.is(VmKind::Bool) ? (v.bool_value() ? 1.0 : 0.0) : v.is(VmKind::Int) ? vm_int_to_f64(v) : v.float_value();
  std::vector<VmValue> forms;
  if (d == 0.0 || d == 1.0) forms.push_back(VmValue::boolean(d == 1.0));
  if (d == std::trunc(d)) forms.push_back(VmValue::integer(static_cast<int64_t>(d)));
  if (d == 0.0) forms.push_back(VmValue::float64(-0.0));
  forms.push_back(VmValue::float64(d == 0.0 ? 0.0 : d));
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

// insertion_in for x, a plain tuple, where every tuple of the items is
// plain: x equals at most one of them, and normalising keeps the lesser
// key of the two; no other item and no other class changes.
template <class Items>
VmResult<SetInsertion> insertion_among_plain_tuples(const Items& items, size_t from, size_t to, const VmValue& x,
                                                    VmWorkMeter* meter) {
  using Kind = SetInsertion::Kind;
  const std::optional<size_t> equal = find_plain_tuple(items, from, to, x, meter);
  if (equal && !key_less(x, items[*equal])) return SetInsertion{Kind::Present, *equal, *equal};
  // No item has x's key (it would equal x): x goes after the lesser keys,
  // before the equal item it replaces.
  const size_t at = from + key_position(Slice<Items>(items, from, to), x, meter);
  if (equal) return SetInsertion{Kind::Replace, *equal, at, true};
  return SetInsertion{Kind::Insert, 0, at, true};
}

// A frozenset of plain leaves, whatever their count and kinds: an equal one
// holds, leaf for leaf, one of the equal forms of each, in key order.
bool plain_frozenset(const VmValue& v) {
  if (!v.is(VmKind::FrozenSet)) return false;
  const auto leaves = v.items();
  return std::all_of(leaves.begin(), leaves.end(), plain_leaf);
}

// The frozensets a search tries at most for one needle; past this (many
// integral numbers among its leaves) the whole normalisation decides.
constexpr size_t kMaxFrozensetForms = 256;

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
  vm_tick(meter, choices * (leaves.size() + 1));
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
    std::sort(picked.begin(), picked.end(), [](const VmValue& a, const VmValue& b) { return key_less(a, b); });
    VmResult<VmValue> candidate = VmValue::make_frozenset(std::move(picked));
    if (!candidate.ok()) return std::nullopt;
    const VmValue& c = candidate.value();
    const size_t at = first_failing(range, [&c](const VmValue& item) { return key_less(item, c); }, meter);
    if (at < range.size() && vm_set_key_compare(range[at], c) == VmOrdering::Equal) return from + at;
  }
  return std::optional<size_t>();
}

// insertion_in for x, a plain frozenset, where every frozenset of the items
// is plain: as for plain tuples, x equals at most one of them and the lesser
// key of the two is kept.
template <class Items>
std::optional<VmResult<SetInsertion>> insertion_among_plain_frozensets(const Items& items, const VmValue& x,
                                                                       VmWorkMeter* meter) {
  using Kind = SetInsertion::Kind;
  const auto [from, to] = class_range(items, VmKind::FrozenSet, meter);
  const auto equal = find_plain_frozenset(items, from, to, x, meter);
  if (!equal) return std::nullopt;
  if (*equal && !key_less(x, items[**equal]))
    return VmResult<SetInsertion>(SetInsertion{Kind::Present, **equal, **equal});
  const size_t at = from + key_position(Slice<Items>(items, from, to), x, meter);
  if (*equal) return VmResult<SetInsertion>(SetInsertion{Kind::Replace, **equal, at, true});
  return VmResult<SetInsertion>(SetInsertion{Kind::Insert, 0, at, true});
}

// Numbers whose value equality is an equivalence, decimals among them:
// bools, ints below 2^53 in magnitude, and floats below 2^53 that are zero
// or at least 1e-13 (their decimal conversion keeps every digit, and no
// comparison with a decimal fails). Each equals exactly the numbers of the
// same decimal value, a float through its shortest text.
bool tame_number(const VmValue& v) {
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
VmDecimal tame_value(const VmValue& v) {
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

TameForms tame_forms(const VmValue& x) {
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
  vm_tick(meter, values.size());
  std::sort(values.begin(), values.end(), [](const VmDecimal& a, const VmDecimal& b) { return VmDecimal::compare(a, b) < 0; });
  return std::adjacent_find(values.begin(), values.end()) == values.end();
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

// insertion_in for items of one family (see searchable_family).
template <class Items>
std::optional<VmResult<SetInsertion>> insertion_in_family(const Items& items, Family family, const VmValue& x,
                                                         VmWorkMeter* meter) {
  using Kind = SetInsertion::Kind;
  const std::optional<Family> f = family;
  if (*f == Family::Float && x.is(VmKind::Float) && std::isnan(x.float_value())) return VmResult<SetInsertion>(nan_error());
  const auto found = find_equal_item(items, *f, x, meter);
  if (!found) return std::nullopt;
  if (found->fails) return VmResult<SetInsertion>(nan_error());
  if (!found->equal) {
    // A needle of the set's own family was searched in key order already.
    const bool own = *f == Family::ExactTuple || family_of(x.kind()) == *f;
    const size_t to = own && found->above ? *found->above : key_position(items, x, meter);
    return VmResult<SetInsertion>(SetInsertion{Kind::Insert, 0, to});
  }
  const size_t p = *found->equal;
  if (!key_less(x, items[p])) return VmResult<SetInsertion>(SetInsertion{Kind::Present, p, p});
  // -0.0 in place of 0.0: x takes the item's place, then the sort moves it.
  // Items of x's key before p stay before it, those after stay after.
  const auto below = [&](size_t i) {
    vm_tick(meter);
    return key_less(items[i], x) || (!key_less(x, items[i]) && i < p);
  };
  // Binary search over the items without p (position j of what remains).
  size_t lo = 0;
  size_t hi = items.size() - 1;
  while (lo < hi) {
    const size_t mid = lo + (hi - lo) / 2;
    if (below(mid < p ? mid : mid + 1)) {
      lo = mid + 1;
    } else {
      hi = mid;
    }
  }
  return VmResult<SetInsertion>(SetInsertion{Kind::Replace, p, lo});
}

// Bools, ints and floats, of several kinds, as their normalisation leaves
// them: no decimal among them, no two equal (a float at the double of an
// int or bool, a bool and its int, two zeros). Items normalised with a
// decimal may keep such pairs (a decimal equal to two numbers that differ
// survives beside one of them until an int replaces it), and then only the
// whole normalisation tells what an added item changes.
template <class Items>
bool numbers_settled(const Items& items, VmWorkMeter* meter) {
  const auto range = class_range(items, VmKind::Int, meter);
  // Plain names rather than a structured binding: the lambda below takes
  // `from`, which some compilers refuse for a binding.
  const size_t from = range.first, to = range.second;
  if (from == to || items[from].kind() == items[to - 1].kind()) return true;
  const Slice<Items> numbers(items, from, to);
  const auto start_of = [&](VmSetKeyVariant v) {
    return from + first_failing(numbers, [v](const VmValue& item) { return *vm_set_key_variant(item.kind()) < v; }, meter);
  };
  const size_t decimals = start_of(VmSetKeyVariant::Decimal);
  const size_t floats = start_of(VmSetKeyVariant::Float);
  if (decimals != floats) return false;
  vm_tick(meter, to - from);
  std::vector<double> taken;  // the doubles of the bools and ints
  for (size_t i = from; i < decimals; ++i)
    taken.push_back(items[i].is(VmKind::Bool) ? (items[i].bool_value() ? 1.0 : 0.0) : vm_int_to_f64(items[i]));
  std::vector<double> kept;
  for (size_t i = floats; i < to; ++i) kept.push_back(items[i].float_value());
  std::sort(taken.begin(), taken.end());
  std::sort(kept.begin(), kept.end());
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

// insertion_in for x, a bool, int or float, among numbers [from, to) of
// several of these kinds (see find_among_numbers). Normalising them keeps
// the least key of each group of equal items, whatever their order, and x
// equals at most one item unless it is a float falling on ints.
template <class Items>
std::optional<VmResult<SetInsertion>> insertion_among_numbers(const Items& items, size_t from, size_t to,
                                                              const VmValue& x, VmWorkMeter* meter) {
  using Kind = SetInsertion::Kind;
  const auto match = find_among_numbers(items, from, to, x, meter);
  if (!match) return std::nullopt;
  if (match->nan) return VmResult<SetInsertion>(nan_error());
  if (match->equal && !key_less(x, items[*match->equal]))
    return VmResult<SetInsertion>(SetInsertion{Kind::Present, *match->equal, *match->equal});
  // No item has x's key: x goes after the lesser keys, before the equal
  // item it replaces. A float is placed among the floats by its text.
  size_t at = 0;
  if (match->float_place) {
    at = *match->float_place;
  } else if (x.is(VmKind::Float)) {
    VmFloatKeyProbe probe(x.float_value());
    at = match->floats + first_failing(Slice<Items>(items, match->floats, to), [&](const VmValue& item) {
      return probe.compare_item(item.float_value()) < 0;
    }, meter);
  } else {
    at = key_position(items, x, meter);
  }
  if (match->equal) return VmResult<SetInsertion>(SetInsertion{Kind::Replace, *match->equal, at});
  return VmResult<SetInsertion>(SetInsertion{Kind::Insert, 0, at});
}

// Offsets an insertion within items [from, ...) to the whole.
std::optional<VmResult<SetInsertion>> shifted(std::optional<VmResult<SetInsertion>> place, size_t from) {
  if (place && place->ok()) {
    (*place)->from += from;
    (*place)->to += from;
  }
  return place;
}

// Where x joins the items: by key order within its family, or within its
// class when the set holds several (the other classes never equal x, nor
// fail to compare with it, so they stay as they are).
template <class Items>
std::optional<VmResult<SetInsertion>> insertion_by_class(const Items& items, const VmValue& x, VmWorkMeter* meter,
                                                        std::optional<bool> settled, bool plain, bool tame) {
  using Kind = SetInsertion::Kind;
  const auto hashable = vm_check_hashable(x);
  if (items.empty()) {
    if (!hashable.ok()) return VmResult<SetInsertion>(hashable.error());
    return VmResult<SetInsertion>(SetInsertion{Kind::Insert, 0, 0});
  }
  if (const std::optional<Family> f = searchable_family(items, x, settled)) {
    // The items scan without a change; x's key is taken before its scan.
    if (!hashable.ok()) return VmResult<SetInsertion>(hashable.error());
    return insertion_in_family(items, *f, x, meter);
  }
  if (!hashable.ok()) return VmResult<SetInsertion>(hashable.error());
  if (plain && plain_tuple(x)) {
    const auto [from, to] = class_range(items, VmKind::Tuple, meter);
    // Tuples of one shape and x of it keep that fact by the search below.
    const bool one_shape = from != to && settled.value_or(false) && same_exact_shape(items[from], x);
    if (from == to) return VmResult<SetInsertion>(SetInsertion{Kind::Insert, 0, from});
    if (!one_shape) return insertion_among_plain_tuples(items, from, to, x, meter);
  }
  // Plain tuples give themselves back as readily as tuples of one shape.
  if (items.back().kind() == items.front().kind() || !(plain || tame || classes_settled(items, settled, meter)))
    return std::nullopt;
  const auto [from, to] = class_range(items, x.kind(), meter);
  if (from == to) return VmResult<SetInsertion>(SetInsertion{Kind::Insert, 0, from});
  const Slice<Items> own(items, from, to);
  if (own.back().kind() == own.front().kind()) {
    // Where the items are plain, their frozensets are of one shape.
    const std::optional<Family> f = searchable_family(own, x, x.is(VmKind::FrozenSet) && plain ? true : settled);
    if (!f) return std::nullopt;
    return shifted(insertion_in_family(own, *f, x, meter), from);
  }
  if (!is_number(x)) return std::nullopt;
  return insertion_among_numbers(items, from, to, x, meter);
}

// insertion_by_class, or for a tame number joining tame numbers (decimals
// among them), which normalising would otherwise have to replay: x equals
// at most one of them and the lesser key of the two is kept.
template <class Items>
std::optional<VmResult<SetInsertion>> insertion_in(const Items& items, const VmValue& x, VmWorkMeter* meter,
                                                  std::optional<bool> settled, bool plain, bool tame,
                                                  bool plain_sets) {
  using Kind = SetInsertion::Kind;
  const bool tame_x = tame && !items.empty() && tame_number(x);
  // Tame numbers in a set neither settled nor plain hold decimals beside
  // other numbers (or the set's containers are of several shapes): the tame
  // search below places x exactly, where the class search would only find
  // the decimals and give up.
  if (!tame_x || settled.value_or(true) || plain || plain_sets) {
    auto place = insertion_by_class(items, x, meter, settled, plain, tame);
    if (!place && !items.empty() && plain_sets && plain_frozenset(x))
      return insertion_among_plain_frozensets(items, x, meter);
    if (place || !tame_x) return place;
  }
  const auto [from, to] = class_range(items, x.kind(), meter);
  // No item but the one equal to x shares x's key, and that one only when
  // x is present: x's place among the keys is where its own search ended.
  size_t x_at = 0;
  const std::optional<size_t> equal = find_tame_number(items, from, to, x, meter, &x_at);
  if (equal && !key_less(x, items[*equal])) return VmResult<SetInsertion>(SetInsertion{Kind::Present, *equal, *equal});
  SetInsertion at{equal ? Kind::Replace : Kind::Insert, equal.value_or(0), x_at};
  at.tame_search = true;
  return VmResult<SetInsertion>(at);
}

template <class Items>
std::optional<std::optional<size_t>> removal_in_family(const Items& items, Family family, const VmValue& x,
                                                       VmWorkMeter* meter) {
  const std::optional<Family> f = family;
  // A float beyond 2^53 may equal a run of ints: the difference drops them all.
  if (*f == Family::Int && x.is(VmKind::Float) && !(std::fabs(x.float_value()) < kTwoTo53)) return std::nullopt;
  const auto found = find_equal_item(items, *f, x, meter);
  if (!found || found->fails) return std::nullopt;
  return found->equal;
}

// The item the difference with [x] removes: searched within x's family, or
// within its class when the set holds several.
template <class Items>
std::optional<std::optional<size_t>> removal_position_in(const Items& items, const VmValue& x, VmWorkMeter* meter,
                                                         std::optional<bool> settled, bool plain, bool tame,
                                                         bool plain_sets) {
  if (items.empty()) return std::optional<size_t>();
  if (plain_sets && plain_frozenset(x)) {
    const auto [from, to] = class_range(items, VmKind::FrozenSet, meter);
    if (auto found = find_plain_frozenset(items, from, to, x, meter)) return *found;
  }
  if (plain && plain_tuple(x)) {
    const auto [from, to] = class_range(items, VmKind::Tuple, meter);
    return find_plain_tuple(items, from, to, x, meter);
  }
  if (const std::optional<Family> f = searchable_family(items, x, settled))
    return removal_in_family(items, *f, x, meter);
  if (items.back().kind() == items.front().kind() || !vm_set_key_variant(x.kind())) return std::nullopt;
  const auto [from, to] = class_range(items, x.kind(), meter);
  if (from == to) return std::optional<size_t>();
  if (tame && tame_number(x)) return find_tame_number(items, from, to, x, meter);
  const Slice<Items> own(items, from, to);
  if (own.back().kind() == own.front().kind()) {
    const std::optional<Family> f = searchable_family(own, x, settled);
    if (!f) return std::nullopt;
    const auto at = removal_in_family(own, *f, x, meter);
    if (!at || !*at) return at;
    return std::optional<size_t>(from + **at);
  }
  // Numbers left unsettled may hold several items equal to x.
  if (!is_number(x) || !classes_settled(items, settled, meter)) return std::nullopt;
  const auto match = find_among_numbers(items, from, to, x, meter);
  if (!match || match->several || match->nan) return std::nullopt;
  return match->equal;
}

}  // namespace

VmResult<std::vector<VmValue>> normalize_set_items(std::vector<VmValue> items) {
  return normalize_items(std::move(items), nullptr);
}
VmResult<std::vector<VmValue>> normalize_set_items(std::vector<VmValue> items, VmWorkMeter& meter) {
  return normalize_items(std::move(items), &meter);
}

VmResult<bool> set_contains(VmItemsView items, const VmValue& needle, VmWorkMeter* meter) {
  if (auto flat = items.contiguous()) return contains_in_set(*flat, needle, meter);
  return contains_in_set(items, needle, meter);
}

std::optional<VmResult<bool>> set_contains_by_order(VmItemsView items, const VmValue& needle, VmWorkMeter* meter,
                                                    std::optional<bool> settled, bool plain, bool tame,
                                                    bool plain_sets) {
  if (auto flat = items.contiguous()) return contains_by_order(*flat, needle, meter, settled, plain, tame, plain_sets);
  return contains_by_order(items, needle, meter, settled, plain, tame, plain_sets);
}

namespace {
// The bits of VmValue::set_facts.
constexpr uint8_t kSettledKnown = 1;
constexpr uint8_t kSettled = 2;
constexpr uint8_t kPlain = 4;
constexpr uint8_t kTame = 8;
constexpr uint8_t kPlainSets = 16;

// Frozensets of one shape and plain tuples of any shapes.
template <class Items>
bool containers_plain(const Items& items, VmWorkMeter* meter) {
  const auto [first, end] = class_range(items, VmKind::FrozenSet, meter);
  if (!of_one_exact_shape(Slice<Items>(items, first, end))) return false;
  const auto [from, to] = class_range(items, VmKind::Tuple, meter);
  for (size_t i = from; i < to; ++i)
    if (!plain_tuple(items[i])) return false;
  return true;
}

// Plain tuples and plain frozensets, of any shapes.
template <class Items>
bool containers_plain_of_any_shape(const Items& items, VmWorkMeter* meter) {
  for (const VmKind kind : {VmKind::Tuple, VmKind::FrozenSet}) {
    const auto [from, to] = class_range(items, kind, meter);
    for (size_t i = from; i < to; ++i)
      if (!(kind == VmKind::Tuple ? plain_tuple(items[i]) : plain_frozenset(items[i]))) return false;
  }
  return true;
}
}  // namespace

bool set_items_settled(const VmValue& s, VmItemsView items, VmWorkMeter* meter) {
  const uint8_t facts = s.set_facts();
  if ((facts & kSettledKnown) != 0) return (facts & kSettled) != 0;
  // An empty set says nothing about the items to come.
  if (items.empty()) return false;
  vm_tick(meter, 2 * items.size());
  const bool settled = classes_settled(items, std::nullopt, meter);
  const bool numbers = numbers_settled(items, meter);
  const bool containers = containers_plain(items, meter);
  const bool plain = numbers && containers;
  // Tuples and frozensets that normalise back as they are, beside tame numbers.
  const bool tame = (containers || containers_of_one_shape(items, meter)) && numbers_tame(items, numbers, meter);
  const bool plain_sets = numbers && containers_plain_of_any_shape(items, meter);
  s.note_set_facts(kSettledKnown | (settled ? kSettled : 0) | (plain ? kPlain : 0) | (tame ? kTame : 0) |
                   (plain_sets ? kPlainSets : 0));
  return settled;
}

bool set_items_plain_sets(const VmValue& s) {
  const uint8_t facts = s.set_facts();
  return (facts & kSettledKnown) != 0 && (facts & kPlainSets) != 0;
}

bool set_items_tame(const VmValue& s) {
  const uint8_t facts = s.set_facts();
  return (facts & kSettledKnown) != 0 && (facts & kTame) != 0;
}

bool set_items_plain(const VmValue& s) {
  const uint8_t facts = s.set_facts();
  return (facts & kSettledKnown) != 0 && (facts & kPlain) != 0;
}

void keep_set_settled_after_insertion(const VmValue& s, const VmValue& x, bool settled, bool plain, bool tame,
                                      const SetInsertion& at, bool plain_sets) {
  // A container x placed among items of another class may be the first of
  // its kind, and of no exact shape; one placed among plain tuples of other
  // shapes leaves them of several. A number placed as a tame one may be the
  // first decimal beside other numbers.
  // A frozenset placed among plain frozensets may leave them of several
  // shapes, which `plain` and `tame` do not allow.
  const bool container = x.is(VmKind::Tuple) || x.is(VmKind::FrozenSet);
  const bool frozenset_search = at.plain_search && x.is(VmKind::FrozenSet);
  const bool one = settled && !at.plain_search && !at.tame_search && (!container || same_exact_shape(x, x));
  const bool still_plain = plain && !at.tame_search && !frozenset_search &&
                           (x.is(VmKind::Tuple) ? plain_tuple(x) : !x.is(VmKind::FrozenSet) || same_exact_shape(x, x));
  const bool still_tame = tame && !frozenset_search &&
                          (is_number(x) ? tame_number(x)
                                        : !container || same_exact_shape(x, x) || plain_tuple(x) || at.plain_search);
  // Numbers stay settled as for `plain`; containers stay plain if x is.
  const bool still_plain_sets =
      plain_sets && !at.tame_search &&
      (x.is(VmKind::Tuple) ? plain_tuple(x) : x.is(VmKind::FrozenSet) ? plain_frozenset(x) : !is_number(x) || plain_leaf(x));
  s.note_set_facts(kSettledKnown | (one ? kSettled : 0) | (still_plain ? kPlain : 0) | (still_tame ? kTame : 0) |
                   (still_plain_sets ? kPlainSets : 0));
}

std::optional<VmResult<SetInsertion>> set_insertion(VmItemsView items, const VmValue& x, VmWorkMeter* meter,
                                                   std::optional<bool> settled, bool plain, bool tame,
                                                   bool plain_sets) {
  if (auto flat = items.contiguous()) return insertion_in(*flat, x, meter, settled, plain, tame, plain_sets);
  return insertion_in(items, x, meter, settled, plain, tame, plain_sets);
}

std::optional<std::optional<size_t>> set_removal_position(VmItemsView items, const VmValue& x, VmWorkMeter* meter,
                                                          std::optional<bool> settled, bool plain, bool tame,
                                                          bool plain_sets) {
  if (auto flat = items.contiguous()) return removal_position_in(*flat, x, meter, settled, plain, tame, plain_sets);
  return removal_position_in(items, x, meter, settled, plain, tame, plain_sets);
}

VmResult<bool> set_items_equal(std::span<const VmValue> a, std::span<const VmValue> b) {
  return items_equal(a, b, nullptr);
}

VmResult<bool> set_is_subset(std::span<const VmValue> a, std::span<const VmValue> b) { return is_subset(a, b, nullptr); }
VmResult<bool> set_is_subset(std::span<const VmValue> a, std::span<const VmValue> b, VmWorkMeter& meter) {
  return is_subset(a, b, &meter);
}

VmResult<std::vector<VmValue>> set_union_values(std::span<const VmValue> a, std::span<const VmValue> b) {
  std::vector<VmValue> out;
  out.reserve(a.size() + b.size());
  out.insert(out.end(), a.begin(), a.end());
  out.insert(out.end(), b.begin(), b.end());
  return out;
}

VmResult<std::vector<VmValue>> set_difference_values(std::span<const VmValue> a, std::span<const VmValue> b) {
  return difference(a, b, nullptr);
}
VmResult<std::vector<VmValue>> set_difference_values(std::span<const VmValue> a, std::span<const VmValue> b,
                                                     VmWorkMeter& meter) {
  return difference(a, b, &meter);
}

VmResult<std::vector<VmValue>> set_intersection_values(std::span<const VmValue> a, std::span<const VmValue> b) {
  return intersection(a, b, nullptr);
}
VmResult<std::vector<VmValue>> set_intersection_values(std::span<const VmValue> a, std::span<const VmValue> b,
                                                       VmWorkMeter& meter) {
  return intersection(a, b, &meter);
}

VmResult<std::vector<VmValue>> set_symmetric_difference_values(std::span<const VmValue> a,
                                                               std::span<const VmValue> b) {
  return symmetric_difference(a, b, nullptr);
}
VmResult<std::vector<VmValue>> set_symmetric_difference_values(std::span<const VmValue> a, std::span<const VmValue> b,
                                                               VmWorkMeter& meter) {
  return symmetric_difference(a, b, &meter);
}

}  // namespace veln
