// Canonical set form: normalize_set_items. The defining algorithm is a
// scan that compares each item with every kept one; it is kept verbatim
// where kinds that can meet are mixed and no faster replay is known, since
// the survivor and the first error depend on scan order. Normalisation
// first splits the items into classes that never compare equal (numbers,
// texts, bytes, ...) and handles each class apart, keeping the first
// failing item across classes. For items of one plain kind the scans'
// outcomes are determined by sorting:
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
// their scan is reproduced in O(n log n) (see normalize_ints_and_floats and
// replay_number_scan); containers whose number leaves mix kinds replay it
// over an EqualValueIndex.
#include "interpreter_support/sets/set_normalization.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstring>
#include <optional>
#include <utility>

#include "interpreter_support/comparison_budget.hpp"
#include "interpreter_support/sets/equal_value_index.hpp"
#include "interpreter_support/sets/set_item_order.hpp"
#include "interpreter_support/sets/set_keys.hpp"
#include "interpreter_support/stoppable_work.hpp"
#include "interpreter_support/sets/star_tuple_index.hpp"
#include "interpreter_support/value_equality.hpp"
#include "interpreter_support/value_match_index.hpp"
#include "values/float_text.hpp"
#include "values/vm_datetime.hpp"
#include "values/vm_decimal.hpp"
#include "values/vm_work_tally.hpp"
#include "values/vm_sort.hpp"

namespace veln {
namespace {

using namespace set_items;

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
      work_step(meter);
      auto equal = scanned_values_equal(stored, item, meter);
      if (!equal.ok()) return class_failure(i, std::move(equal).error());
      if (*equal) {
        if (vm_set_key_compare(item, stored) == VmOrdering::Less) stored = std::move(item);
        matched = true;
        break;
      }
    }
    if (!matched) kept.push_back(std::move(item));
  }
  vm_stable_sort(kept.begin(), kept.end(), step_counted([](const VmValue& a, const VmValue& b) {
    return vm_set_key_compare(a, b) == VmOrdering::Less;
  }, meter));
  return ClassOutcome{std::move(kept), std::nullopt, {}};
}

// Sorted distinct items for a family whose equal items are interchangeable.
// Sorts a range that is usually one or two ascending runs (a set's items,
// or a union of two sets' items) in linear time, anything else in n log n.
template <class It, class Less>
void sort_runs(It first, It last, Less less) {
  const It run_end = vm_is_sorted_until(first, last, less);
  if (run_end == last) return;
  if (vm_is_sorted(run_end, last, less)) {
    vm_merge_runs(first, run_end, last, less);
  } else {
    vm_stable_sort(first, last, less);
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
      vm_stable_sort(items.begin(), items.end(), less);
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
      vm_merge(from, middle, middle, items.begin() + static_cast<std::ptrdiff_t>(end),
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
  if (const uint64_t steps = vm_long_text_compare_steps(a.text.size(), b.text.size())) work_step(nullptr, steps);
  return vm_bytes_compare(a.text, b.text) < 0;
}

// Sorting extracted keys beats sorting values through the kind dispatch.
template <class Key, class KeyOf, class Less>
void sort_distinct_by_key(std::vector<VmValue>& items, KeyOf key_of, Less less_uncounted, VmWorkMeter* meter) {
  const auto less = step_counted(less_uncounted, meter);
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
              step_counted([](const VmValue& a, const VmValue& b) { return a.small_int() < b.small_int(); }, meter));
    items.erase(std::unique(items.begin(), items.end(),
                            [](const VmValue& a, const VmValue& b) { return a.small_int() == b.small_int(); }),
                items.end());
    return;
  }
  const auto less = step_counted([f](const VmValue& a, const VmValue& b) { return family_compare(f, a, b) < 0; }, meter);
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
  if (!all_positional) work_step(meter, kVmFloatKeyTextSteps * items.size());
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
  const auto less = step_counted([&](const Keyed& a, const Keyed& b) {
    const int c = words_order(a, b);
    return c != 0 ? c < 0 : std::fabs(a.value) < std::fabs(b.value);
  }, meter);
  if (!vm_is_sorted(keyed.begin(), keyed.end(), less)) vm_stable_sort(keyed.begin(), keyed.end(), less);
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
  vm_stable_sort(order.begin(), order.end(), step_counted([](const Arrival& a, const Arrival& b) {
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
  vm_stable_sort(survivors.begin(), survivors.end(), step_counted([](const Arrival& a, const Arrival& b) {
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
    work_step(meter, 1 + std::bit_width(taken.size()));
    return std::find(taken.begin(), split, x) != split || vm_binary_search(split, taken.end(), x);
  });
  if (!floats.empty()) {
    ClassOutcome rest = normalize_floats(floats, meter);
    out.insert(out.end(), std::make_move_iterator(rest.items.begin()), std::make_move_iterator(rest.items.end()));
  }
  return ClassOutcome{std::move(out), std::nullopt, {}};
}

// Positions of kept numbers by their structure. An item structurally equal
// to a kept one is value-equal to it, but a replacement may still leave two
// kept items of one structure (a decimal equal to a tiny float and to False,
// replaced by False beside another False): each structure keeps all its
// positions, the first answering; one whose positions all went answers
// none. Open addressing over the structures' seeded hashes (their low bits
// place them), the structures beside.
class PositionsByStructure {
 public:
  explicit PositionsByStructure(size_t count) : slots_(std::bit_ceil(count + count / 2 + 1)) { entries_.reserve(count); }
  std::optional<uint32_t> first(const VmValue& form) const {
    const uint32_t e = slots_[place(form, vm_structural_hash(form, seed_))].entry;
    return e == kEmpty ? std::nullopt : entries_[e].positions.first();
  }
  void insert(const VmValue& key, uint32_t p) {
    const uint64_t h = vm_structural_hash(key, seed_);
    size_t at = place(key, h);
    if (slots_[at].entry == kEmpty) {
      if (3 * (entries_.size() + 1) > 2 * slots_.size()) {
        grow();
        at = place(key, h);
      }
      slots_[at] = Slot{tag(h), static_cast<uint32_t>(entries_.size())};
      entries_.push_back(Entry{key, {}, h});
    }
    entries_[slots_[at].entry].positions.insert(p);
  }
  void erase(const VmValue& key, uint32_t p) {
    const uint32_t e = slots_[place(key, vm_structural_hash(key, seed_))].entry;
    if (e != kEmpty) entries_[e].positions.erase(p);
  }
  // Starts loading the slot where v's structure is looked for first (a
  // lookup in a large table is a cache miss; the replay knows its next
  // items).
  void prefetch(const VmValue& v) const {
    prefetch_opaque(&slots_[static_cast<size_t>(vm_structural_hash(v, seed_)) & (slots_.size() - 1)]);
  }

 private:
  static constexpr uint32_t kEmpty = UINT32_MAX;
  // A slot holds the high half of its structure's hash, so that most
  // structures of other hashes are passed without reading their entries.
  struct Slot {
    uint32_t tag = 0;
    uint32_t entry = kEmpty;
  };
  struct Entry {
    VmValue key;
    NumericHazards::Positions positions;
    uint64_t hash;
  };
  static uint32_t tag(uint64_t h) { return static_cast<uint32_t>(h >> 32); }
  // The slot of v's structure, or the free slot where it goes.
  size_t place(const VmValue& v, uint64_t h) const {
    const size_t mask = slots_.size() - 1;
    for (size_t i = static_cast<size_t>(h) & mask;; i = (i + 1) & mask) {
      const Slot& s = slots_[i];
      if (s.entry == kEmpty || (s.tag == tag(h) && entries_[s.entry].key.eq(v))) return i;
    }
  }
  void grow() {
    slots_.assign(2 * slots_.size(), Slot{});
    const size_t mask = slots_.size() - 1;
    for (uint32_t e = 0; e < entries_.size(); ++e) {
      size_t i = static_cast<size_t>(entries_[e].hash) & mask;
      while (slots_[i].entry != kEmpty) i = (i + 1) & mask;
      slots_[i] = Slot{tag(entries_[e].hash), e};
    }
  }
  std::vector<Slot> slots_;
  std::vector<Entry> entries_;
  uint64_t seed_ = vm_hash_seed();
};

// Numbers with decimals among them: the scan replayed item by item, each
// scan answered from indexes of the kept items (their structure, and the
// numeric hazards) instead of comparing with every kept item.
ClassOutcome replay_number_scan(std::vector<VmValue>& items, VmWorkMeter* meter) {
  struct Probe {
    const PositionsByStructure* where;
    VmWorkMeter* meter;
    // Each lookup of a structure is a key search.
    static std::optional<uint32_t> first(const void* context, const VmValue& form) {
      const auto* p = static_cast<const Probe*>(context);
      work_step(p->meter, 1 + kVmKeySearchSteps);
      return p->where->first(form);
    }
  };
  std::vector<VmValue> kept;
  PositionsByStructure where(items.size());
  NumericHazards hazards;
  const Probe probe{&where, meter};
  constexpr size_t kLookAhead = 8;
  for (size_t i = 0; i < items.size(); ++i) {
    if (i + kLookAhead < items.size()) where.prefetch(items[i + kLookAhead]);
    VmValue& item = items[i];
    const VmScanMatch m = hazards.match(item, &Probe::first, &probe);
    if (m.failure && (!m.equal || *m.failure < *m.equal)) {
      auto equal = vm_values_equal(kept[*m.failure], item);
      return class_failure(i, equal.ok() ? vm_error("inconsistent number index") : std::move(equal).error());
    }
    if (!m.equal) {
      work_step(meter, kVmKeySearchSteps);
      const auto p = static_cast<uint32_t>(kept.size());
      where.insert(item, p);
      hazards.add(p, item);
      kept.push_back(std::move(item));
      continue;
    }
    VmValue& stored = kept[*m.equal];
    work_step(meter);
    if (vm_set_key_compare(item, stored) != VmOrdering::Less) continue;
    work_step(meter, 2 * kVmKeySearchSteps);
    where.erase(stored, *m.equal);
    hazards.remove(*m.equal, stored);
    stored = std::move(item);
    where.insert(stored, *m.equal);
    hazards.add(*m.equal, stored);
  }
  vm_stable_sort(kept.begin(), kept.end(), step_counted([](const VmValue& a, const VmValue& b) {
    return vm_set_key_compare(a, b) == VmOrdering::Less;
  }, meter));
  return ClassOutcome{std::move(kept), std::nullopt, {}};
}

// Stable sort by set key. Key comparisons of containers recurse (and
// format float texts); each item's key prefix decides most comparisons
// without reading the items (a set's items, or a union of sets, often
// arrive sorted).
void stable_sort_by_key(std::vector<VmValue>& items, VmWorkMeter* meter) {
  struct Keyed {
    VmSetKeyPrefix prefix;
    uint32_t position;
  };
  std::vector<Keyed> keyed(items.size());
  VmSetKeyScratch scratch;
  for (size_t i = 0; i < items.size(); ++i) {
    auto prefix = vm_set_key_prefix(items[i], scratch);
    if (!prefix) {  // a date-time or a time delta inside
      vm_stable_sort(items.begin(), items.end(), step_counted(key_less, meter));
      return;
    }
    keyed[i] = Keyed{*prefix, static_cast<uint32_t>(i)};
  }
  sort_natural_runs(keyed, step_counted([&items](const Keyed& a, const Keyed& b) {
    if (a.prefix != b.prefix) return a.prefix < b.prefix;
    const VmOrdering c = vm_set_key_compare(items[a.position], items[b.position]);
    return c == VmOrdering::Less || (c == VmOrdering::Equal && a.position < b.position);
  }, meter));
  std::vector<VmValue> out;
  out.reserve(items.size());
  for (const Keyed& k : keyed) out.push_back(std::move(items[k.position]));
  items = std::move(out);
}

// The scan over an index of the kept items that finds an item's first equal
// from the item's handle (`handle_of(i)` for items[i]): kept items are
// added, and replaced by equal ones, under their items' handles.
template <class Index, class HandleOf>
ClassOutcome replay_indexed_scan(std::vector<VmValue>& items, Index& index, const HandleOf& handle_of,
                                 VmWorkMeter* meter) {
  using Handle = std::decay_t<decltype(handle_of(size_t{0}))>;
  constexpr size_t kLookAhead = 8;
  std::vector<VmValue> kept;
  kept.reserve(items.size());
  std::vector<Handle> kept_handles;
  for (size_t i = 0; i < items.size(); ++i) {
    VmValue& item = items[i];
    if (i + kLookAhead < items.size()) index.prefetch(handle_of(i + kLookAhead));
    const Handle h = handle_of(i);
    auto match = index.first_equal(kept, item, h, meter);
    if (!match.ok()) return class_failure(i, std::move(match).error());
    if (!*match) {
      work_step(meter);
      index.add(static_cast<uint32_t>(kept.size()), h);
      kept.push_back(std::move(item));
      kept_handles.push_back(h);
      continue;
    }
    const uint32_t p = **match;
    work_step(meter);
    if (vm_set_key_compare(item, kept[p]) != VmOrdering::Less) continue;
    index.replace(p, kept_handles[p], h);
    kept_handles[p] = h;
    kept[p] = std::move(item);
  }
  stable_sort_by_key(kept, meter);
  return ClassOutcome{std::move(kept), std::nullopt, {}};
}

// Containers whose items cannot be told apart by key order (number leaves of
// mixed kinds): the scan replayed over a hash index of the kept items, when
// no comparison among the items can fail.
// `unchecked`: the items' hashability is not known yet (the hashing walk
// then refuses an unhashable one).
std::optional<ClassOutcome> normalize_hashed(std::vector<VmValue>& items, VmWorkMeter* meter, bool unchecked = false) {
  const std::span<const VmValue> universe[] = {items};
  auto hasher = EqualValueHasher::build(universe, meter, unchecked, true);
  if (!hasher) return std::nullopt;
  if (hasher->transitive()) {
    // Equal values share their hash: one probe finds an item's equal or
    // adds it, and a replacement leaves the index as it is.
    const std::vector<EqualValueHashes>& hashes = hasher->hashes(0);
    std::vector<VmValue> kept;
    kept.reserve(items.size());
    constexpr size_t kLookAhead = 8;
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
      work_step(meter);
      VmValue& stored = kept[**match];
      if (vm_set_key_compare(item, stored) == VmOrdering::Less) stored = std::move(item);
    }
    stable_sort_by_key(kept, meter);
    return ClassOutcome{std::move(kept), std::nullopt, {}};
  }
  // Floats that equal members of their group which differ from one another:
  // tuples and small frozensets of them are matched by the keys of their
  // choices where each group is a star; otherwise a float is compared with
  // its whole bucket.
  if (auto star = StarTupleIndex::build(*hasher, universe, meter)) {
    return replay_indexed_scan(items, *star, [](size_t i) { return static_cast<uint32_t>(i); }, meter);
  }
  if (!hasher->refine(universe, meter)) return std::nullopt;
  const std::vector<EqualValueHashes>& hashes = hasher->hashes(0);
  EqualValueIndex index(hasher->any_wild());
  return replay_indexed_scan(items, index, [&hashes](size_t i) { return hashes[i]; }, meter);
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
          const auto less = step_counted([](const VmValue& a, const VmValue& b) {
            return vm_set_key_compare(a, b) == VmOrdering::Less;
          }, meter);
          vm_stable_sort(items.begin(), items.end(), less);
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
  // Each item is read whole to check and key it: refused before the reading
  // when that passes the allowance.
  uint64_t read = 0;
  for (const VmValue& item : items) read += vm_key_read_steps(item);
  work_step(nullptr, read);
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

}  // namespace

VmResult<std::vector<VmValue>> normalize_set_items(std::vector<VmValue> items) {
  VmWorkMeter meter;
  return normalize_set_items(std::move(items), meter);
}
VmResult<std::vector<VmValue>> normalize_set_items(std::vector<VmValue> items, VmWorkMeter& meter) {
  return within_work(
      [&] { return capped_set_operation(&meter, [&](VmWorkMeter* m) { return normalize_items(std::move(items), m); }); });
}

}  // namespace veln
