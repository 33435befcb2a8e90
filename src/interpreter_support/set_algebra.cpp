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
// Membership answers likewise come from binary search, with the float scan's
// NaN error reproduced from positions.
#include "interpreter_support/set_algebra.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <optional>

#include "interpreter_support/set_keys.hpp"
#include "interpreter_support/value_equality.hpp"
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
  ExactTuple,  // tuples of one exact shape (see same_exact_shape); never a single value's family
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
VmResult<bool> scan_contains(std::span<const VmValue> items, const VmValue& needle) {
  for (const VmValue& item : items) {
    VELN_TRY(const bool equal, vm_values_equal(item, needle));
    if (equal) return true;
  }
  return false;
}

// Tuples whose leaves, position by position, are of one kind among those
// where value equality is key equality (no float: 0.0/-0.0 and NaN; no
// datetime: keys stop at the microsecond; never bool against int). Two such
// tuples are value-equal exactly when their keys are equal, no comparison
// can fail, and equal ones are indistinguishable.
bool exact_leaf_kind(VmKind k) {
  return k == VmKind::None || k == VmKind::Bool || k == VmKind::Int || k == VmKind::Decimal ||
         k == VmKind::TimeDelta || k == VmKind::String || k == VmKind::Bytes;
}

bool same_exact_shape(const VmValue& a, const VmValue& b) {
  if (a.kind() != b.kind()) return false;
  if (a.kind() != VmKind::Tuple) return exact_leaf_kind(a.kind());
  const auto xs = a.items();
  const auto ys = b.items();
  if (xs.size() != ys.size()) return false;
  for (size_t i = 0; i < xs.size(); ++i)
    if (!same_exact_shape(xs[i], ys[i])) return false;
  return true;
}

bool tuples_of_one_exact_shape(std::span<const VmValue> items) {
  for (const VmValue& item : items)
    if (!same_exact_shape(items.front(), item)) return false;
  return true;
}

// ---------------------------------------------------------------------------
// Prepared membership over a sequence of one family: entries sorted by
// (value, position), so the first entry of an equal range holds the first
// position at which the scan would match.
class SortedProbe {
 public:
  static std::optional<SortedProbe> build(std::span<const VmValue> items) {
    Family f = common_family(items);
    if (f == Family::Other && !items.empty() && items.front().is(VmKind::Tuple) && tuples_of_one_exact_shape(items))
      f = Family::ExactTuple;
    if (f == Family::Other) return std::nullopt;
    SortedProbe probe;
    probe.family_ = f;
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
    probe.empty_ = items.empty();
    return probe;
  }

  // The scan's answer for `needle`, or nothing when only the scan can tell.
  std::optional<VmResult<bool>> find(const VmValue& needle) const {
    if (empty_) return VmResult<bool>(false);
    if (family_ == Family::ExactTuple) {
      // A tuple equals only a tuple; one of another shape may still be
      // value-equal ((1.0,) and (1,)), which only the scan can tell.
      if (!needle.is(VmKind::Tuple)) return VmResult<bool>(false);
      if (!same_exact_shape(*entries_.front().value, needle)) return std::nullopt;
      return VmResult<bool>(std::binary_search(entries_.begin(), entries_.end(), needle, EntryOrder{family_}));
    }
    const Family nf = family_of(needle.kind());
    if (nf != family_) {
      if (families_meet(family_, nf)) return std::nullopt;
      return VmResult<bool>(false);
    }
    if (family_ == Family::Float && std::isnan(needle.float_value())) return VmResult<bool>(nan_error());
    const auto it = std::lower_bound(entries_.begin(), entries_.end(), needle,
                                     [this](const Entry& e, const VmValue& x) {
                                       return family_compare(family_, *e.value, x) < 0;
                                     });
    std::optional<size_t> match;
    if (it != entries_.end() && family_compare(family_, *it->value, needle) == 0) match = it->position;
    if (first_nan_ && (!match || *first_nan_ < *match)) return VmResult<bool>(nan_error());
    return VmResult<bool>(match.has_value());
  }

 private:
  struct Entry {
    const VmValue* value;
    size_t position;
  };
  struct EntryOrder {
    Family family;
    bool operator()(const Entry& e, const VmValue& x) const { return family_compare(family, *e.value, x) < 0; }
    bool operator()(const VmValue& x, const Entry& e) const { return family_compare(family, x, *e.value) < 0; }
  };
  Family family_ = Family::Other;
  bool empty_ = true;
  std::vector<Entry> entries_;
  std::optional<size_t> first_nan_;
};

// Answers "does `items` hold a value-equal item" for a series of needles,
// through a sorted probe when the series is long enough to pay for it.
class Membership {
 public:
  Membership(std::span<const VmValue> items, size_t queries) : items_(items) {
    if (queries >= 8 && items.size() >= 8) probe_ = SortedProbe::build(items);
  }
  VmResult<bool> contains(const VmValue& needle) const {
    if (probe_) {
      if (auto answer = probe_->find(needle)) return *std::move(answer);
    }
    return scan_contains(items_, needle);
  }

 private:
  std::span<const VmValue> items_;
  std::optional<SortedProbe> probe_;
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
ClassOutcome normalize_literal(std::vector<VmValue> items) {
  std::vector<VmValue> kept;
  for (size_t i = 0; i < items.size(); ++i) {
    VmValue& item = items[i];
    bool matched = false;
    for (VmValue& stored : kept) {
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
  std::stable_sort(kept.begin(), kept.end(), [](const VmValue& a, const VmValue& b) {
    return vm_set_key_compare(a, b) == VmOrdering::Less;
  });
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

// Texts compare by their first eight bytes, packed big-endian, before any
// memory behind the value is touched.
struct TextKey {
  uint64_t prefix;
  std::string_view text;
};

TextKey text_key(const VmValue& v) {
  const std::string_view t = v.text();
  uint64_t prefix = 0;
  for (size_t i = 0; i < 8; ++i) prefix = (prefix << 8) | (i < t.size() ? static_cast<uint8_t>(t[i]) : 0);
  return TextKey{prefix, t};
}

bool text_key_less(const TextKey& a, const TextKey& b) {
  if (a.prefix != b.prefix) return a.prefix < b.prefix;
  return vm_bytes_compare(a.text, b.text) < 0;
}

// Sorting extracted keys beats sorting values through the kind dispatch.
template <class Key, class KeyOf, class Less>
void sort_distinct_by_key(std::vector<VmValue>& items, KeyOf key_of, Less less) {
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

void sort_distinct(std::vector<VmValue>& items, Family f) {
  if (f == Family::Text || f == Family::Bytes) {
    sort_distinct_by_key<TextKey>(items, text_key, text_key_less);
    return;
  }
  if (f == Family::Int &&
      std::all_of(items.begin(), items.end(), [](const VmValue& v) { return v.int_is_small(); })) {
    sort_runs(items.begin(), items.end(),
              [](const VmValue& a, const VmValue& b) { return a.small_int() < b.small_int(); });
    items.erase(std::unique(items.begin(), items.end(),
                            [](const VmValue& a, const VmValue& b) { return a.small_int() == b.small_int(); }),
                items.end());
    return;
  }
  const auto less = [f](const VmValue& a, const VmValue& b) { return family_compare(f, a, b) < 0; };
  sort_runs(items.begin(), items.end(), less);
  const auto equal = [f](const VmValue& a, const VmValue& b) { return family_compare(f, a, b) == 0; };
  items.erase(std::unique(items.begin(), items.end(), equal), items.end());
}

ClassOutcome normalize_floats(std::vector<VmValue>& items) {
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
  struct Keyed {
    std::array<char, 32> text;
    uint8_t length;
    double value;
  };
  std::vector<Keyed> keyed;
  keyed.reserve(items.size());
  std::string scratch;
  for (const VmValue& item : items) {
    double x = item.float_value();
    if (x == 0.0 && any_negative_zero) x = -0.0;  // 0.0 and -0.0 are one item; -0.0 has the lesser key
    scratch.clear();
    append_float_display_text(scratch, x);
    Keyed k{};
    k.length = static_cast<uint8_t>(std::min(scratch.size(), k.text.size()));
    std::memcpy(k.text.data(), scratch.data(), k.length);
    k.value = x;
    keyed.push_back(k);
  }
  const auto view = [](const Keyed& k) { return std::string_view(k.text.data(), k.length); };
  std::sort(keyed.begin(), keyed.end(),
            [&](const Keyed& a, const Keyed& b) { return vm_bytes_compare(view(a), view(b)) < 0; });
  std::vector<VmValue> out;
  out.reserve(keyed.size());
  for (size_t i = 0; i < keyed.size(); ++i) {
    if (i > 0 && view(keyed[i]) == view(keyed[i - 1])) continue;
    out.push_back(VmValue::float64(keyed[i].value));
  }
  return ClassOutcome{std::move(out), std::nullopt, {}};
}

std::vector<VmValue> normalize_datetimes(std::vector<VmValue>& items) {
  struct Arrival {
    const VmDateTime* value;
    size_t position;
  };
  std::vector<Arrival> order;
  order.reserve(items.size());
  for (size_t i = 0; i < items.size(); ++i) order.push_back(Arrival{&items[i].datetime_value(), i});
  // First arrival of each distinct full value.
  std::sort(order.begin(), order.end(), [](const Arrival& a, const Arrival& b) {
    const auto c = *a.value <=> *b.value;
    return c != 0 ? c < 0 : a.position < b.position;
  });
  std::vector<Arrival> survivors;
  survivors.reserve(order.size());
  for (size_t i = 0; i < order.size(); ++i) {
    if (i > 0 && *order[i].value == *order[i - 1].value) continue;
    survivors.push_back(order[i]);
  }
  // Key order (to the microsecond); equal keys keep arrival order.
  std::sort(survivors.begin(), survivors.end(), [](const Arrival& a, const Arrival& b) {
    const VmDateTime& x = *a.value;
    const VmDateTime& y = *b.value;
    if (x.day_number() != y.day_number()) return x.day_number() < y.day_number();
    if (x.seconds_of_day() != y.seconds_of_day()) return x.seconds_of_day() < y.seconds_of_day();
    if (x.microsecond() != y.microsecond()) return x.microsecond() < y.microsecond();
    return a.position < b.position;
  });
  std::vector<VmValue> out;
  out.reserve(survivors.size());
  for (const Arrival& s : survivors) out.push_back(std::move(items[s.position]));
  return out;
}

// ---------------------------------------------------------------------------
// Membership in canonical set items, in set-key order.

int float_key_compare_to(double item, std::string_view needle_text, std::string& scratch) {
  scratch.clear();
  append_float_display_text(scratch, item);
  return vm_bytes_compare(scratch, needle_text);
}

// First position whose float key text is not below `text`, or npos.
std::optional<size_t> find_float_text(std::span<const VmValue> items, std::string_view text,
                                      std::string& scratch) {
  size_t lo = 0;
  size_t hi = items.size();
  while (lo < hi) {
    const size_t mid = lo + (hi - lo) / 2;
    if (float_key_compare_to(items[mid].float_value(), text, scratch) < 0) {
      lo = mid + 1;
    } else {
      hi = mid;
    }
  }
  if (lo < items.size() && float_key_compare_to(items[lo].float_value(), text, scratch) == 0) return lo;
  return std::nullopt;
}

VmResult<bool> float_set_contains(std::span<const VmValue> items, double needle) {
  if (std::isnan(needle)) return nan_error();
  std::string scratch;
  std::optional<size_t> match;
  if (needle == 0.0) {
    const auto neg = find_float_text(items, "-0.0", scratch);
    const auto pos = find_float_text(items, "0.0", scratch);
    match = neg && pos ? std::min(*neg, *pos) : (neg ? neg : pos);
  } else {
    match = find_float_text(items, float_display_text(needle), scratch);
  }
  const auto nan_at = find_float_text(items, "NaN", scratch);
  if (nan_at && (!match || *nan_at < *match)) return nan_error();
  return match.has_value();
}

// Ints in ascending order meet a double through their nearest doubles, which
// ascend too (not strictly), so the equal ones form one range.
VmResult<bool> int_set_contains_float(std::span<const VmValue> items, double needle) {
  if (std::isnan(needle)) return nan_error();
  const auto it = std::lower_bound(items.begin(), items.end(), needle,
                                   [](const VmValue& item, double x) { return vm_int_to_f64(item) < x; });
  return it != items.end() && vm_int_to_f64(*it) == needle;
}

VmResult<bool> datetime_set_contains(std::span<const VmValue> items, const VmValue& needle) {
  const VmDateTime& x = needle.datetime_value();
  const auto key_less = [](const VmDateTime& a, const VmDateTime& b) {
    if (a.day_number() != b.day_number()) return a.day_number() < b.day_number();
    if (a.seconds_of_day() != b.seconds_of_day()) return a.seconds_of_day() < b.seconds_of_day();
    return a.microsecond() < b.microsecond();
  };
  auto it = std::lower_bound(items.begin(), items.end(), x, [&](const VmValue& item, const VmDateTime& v) {
    return key_less(item.datetime_value(), v);
  });
  for (; it != items.end() && !key_less(x, it->datetime_value()); ++it)
    if (it->datetime_value() == x) return true;
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
std::vector<VmValue> normalize_bools_and_ints(std::vector<VmValue>& items) {
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
  sort_distinct(ints, Family::Int);
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

ClassOutcome normalize_class(std::vector<VmValue> items) {
  if (items.size() <= 1) return ClassOutcome{std::move(items), std::nullopt, {}};
  const VmKind kind = items.front().kind();
  const bool one_kind =
      std::all_of(items.begin(), items.end(), [kind](const VmValue& v) { return v.kind() == kind; });
  if (!one_kind && std::all_of(items.begin(), items.end(), [](const VmValue& v) {
        return v.is(VmKind::Bool) || v.is(VmKind::Int);
      }))
    return ClassOutcome{normalize_bools_and_ints(items), std::nullopt, {}};
  if (one_kind) {
    switch (kind) {
      case VmKind::None:
      case VmKind::Bool:
      case VmKind::Int:
      case VmKind::Decimal:
      case VmKind::TimeDelta:
      case VmKind::String:
      case VmKind::Bytes:
        sort_distinct(items, family_of(kind));
        return ClassOutcome{std::move(items), std::nullopt, {}};
      case VmKind::Float:
        return normalize_floats(items);
      case VmKind::DateTime:
        return ClassOutcome{normalize_datetimes(items), std::nullopt, {}};
      case VmKind::Tuple:
        if (tuples_of_one_exact_shape(items)) {
          std::sort(items.begin(), items.end(), [](const VmValue& a, const VmValue& b) {
            return vm_set_key_compare(a, b) == VmOrdering::Less;
          });
          items.erase(std::unique(items.begin(), items.end(),
                                  [](const VmValue& a, const VmValue& b) {
                                    return vm_set_key_compare(a, b) == VmOrdering::Equal;
                                  }),
                      items.end());
          return ClassOutcome{std::move(items), std::nullopt, {}};
        }
        break;
      default:
        break;
    }
  }
  return normalize_literal(std::move(items));
}

}  // namespace

VmResult<std::vector<VmValue>> normalize_set_items(std::vector<VmValue> items) {
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
    ClassOutcome outcome = normalize_class(std::move(items));
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
    ClassOutcome outcome = normalize_class(std::move(classes[c]));
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

VmResult<bool> set_contains(std::span<const VmValue> items, const VmValue& needle) {
  if (items.empty()) return false;
  const VmKind kind = items.front().kind();
  const Family f = family_of(kind);
  // Canonical items are sorted by key variant first, so equal kinds at both
  // ends mean one kind throughout.
  if (f == Family::Other || items.back().kind() != kind) return scan_contains(items, needle);
  const Family nf = family_of(needle.kind());
  if (nf != f) {
    if (!families_meet(f, nf)) return false;
    // Ints, floats and bools meet through doubles (or 0 and 1) and fail only
    // on NaN; decimals convert and may fail, so they keep the scan.
    if (f == Family::Float && nf == Family::Int) return float_set_contains(items, vm_int_to_f64(needle));
    if (f == Family::Float && nf == Family::Bool) return float_set_contains(items, needle.bool_value() ? 1.0 : 0.0);
    if (f == Family::Int && nf == Family::Bool) return set_contains(items, VmValue::integer(needle.bool_value() ? 1 : 0));
    if (f == Family::Int && nf == Family::Float) return int_set_contains_float(items, needle.float_value());
    return scan_contains(items, needle);
  }
  switch (f) {
    case Family::Float:
      return float_set_contains(items, needle.float_value());
    case Family::DateTime:
      return datetime_set_contains(items, needle);
    default: {
      // Within these kinds key order is the family order.
      const auto it = std::lower_bound(items.begin(), items.end(), needle, [f](const VmValue& item, const VmValue& x) {
        return family_compare(f, item, x) < 0;
      });
      return it != items.end() && family_compare(f, *it, needle) == 0;
    }
  }
}

VmResult<bool> set_items_equal(std::span<const VmValue> a, std::span<const VmValue> b) {
  if (a.size() != b.size()) return false;
  const Membership in_b(b, a.size());
  for (const VmValue& item : a) {
    VELN_TRY(const bool found, in_b.contains(item));
    if (!found) return false;
  }
  return true;
}

VmResult<bool> set_is_subset(std::span<const VmValue> a, std::span<const VmValue> b) {
  if (a.empty()) return true;
  if (b.empty()) return false;
  const Membership in_b(b, a.size());
  for (const VmValue& item : a) {
    VELN_TRY(const bool found, in_b.contains(item));
    if (!found) return false;
  }
  return true;
}

VmResult<std::vector<VmValue>> set_union_values(std::span<const VmValue> a, std::span<const VmValue> b) {
  std::vector<VmValue> out;
  out.reserve(a.size() + b.size());
  out.insert(out.end(), a.begin(), a.end());
  out.insert(out.end(), b.begin(), b.end());
  return out;
}

VmResult<std::vector<VmValue>> set_difference_values(std::span<const VmValue> a,
                                                     std::span<const VmValue> b) {
  if (b.empty()) return std::vector<VmValue>(a.begin(), a.end());
  std::vector<VmValue> out;
  const Membership in_b(b, a.size());
  for (const VmValue& item : a) {
    VELN_TRY(const bool found, in_b.contains(item));
    if (!found) out.push_back(item);
  }
  return out;
}

VmResult<std::vector<VmValue>> set_intersection_values(std::span<const VmValue> a,
                                                       std::span<const VmValue> b) {
  std::vector<VmValue> out;
  if (a.empty() || b.empty()) return out;
  const Membership in_b(b, a.size());
  for (const VmValue& item : a) {
    VELN_TRY(const bool found, in_b.contains(item));
    if (found) out.push_back(item);
  }
  return out;
}

VmResult<std::vector<VmValue>> set_symmetric_difference_values(std::span<const VmValue> a,
                                                               std::span<const VmValue> b) {
  VELN_TRY(std::vector<VmValue> out, set_difference_values(a, b));
  if (a.empty()) {
    out.insert(out.end(), b.begin(), b.end());
  } else {
    const Membership in_a(a, b.size());
    for (const VmValue& item : b) {
      VELN_TRY(const bool found, in_a.contains(item));
      if (!found) out.push_back(item);
    }
  }
  return out;
}

}  // namespace veln
