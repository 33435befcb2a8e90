// The facts a set keeps about its items (VmValue::set_facts): worked out
// once per set built, kept through removals, and updated by the single
// edits, so that each addition or removal knows which search by key order
// applies without looking at the whole set again.
#include "interpreter_support/sets/set_facts.hpp"

#include <algorithm>
#include <bit>
#include <utility>
#include <vector>

#include "interpreter_support/sets/set_edits.hpp"
#include "interpreter_support/sets/set_item_order.hpp"
#include "interpreter_support/sets/set_item_searches.hpp"
#include "interpreter_support/sets/set_normalization.hpp"
#include "interpreter_support/stoppable_work.hpp"

namespace veln {

using namespace set_items;

namespace {
// The bits of VmValue::set_facts.
constexpr uint8_t kSettledKnown = 1;
constexpr uint8_t kSettled = 2;
constexpr uint8_t kPlain = 4;
constexpr uint8_t kTame = 8;
constexpr uint8_t kPlainSets = 16;
// No two items value-equal, nor failing to compare, whichever stands first.
// Found apart from the others, by normalising the items again.
constexpr uint8_t kDistinct = 32;
// No two items value-equal, as the searches by key order take for granted;
// found by key order and equal forms where they tell (the other facts are
// claimed only with it).
constexpr uint8_t kApart = 64;

// Whether the tuples (or frozensets) [from, to) are all plain and no two
// value-equal: equal ones share the hash of their leaves' doubles (in order
// for tuples, in any order for frozensets of leaves no two equal), and those
// of one hash are compared (plain leaves never fail to compare).
template <class Items>
bool plain_containers_apart(const Items& items, size_t from, size_t to, VmWorkMeter* meter) {
  const uint64_t seed = vm_hash_seed();
  // Open addressing: a hash beside its item's position + 1 (0 is empty).
  std::vector<std::pair<uint64_t, size_t>> slots(std::bit_ceil(2 * (to - from) + 2));
  const size_t mask = slots.size() - 1;
  work_step(meter, to - from);
  StoppableSteps leaf_steps;
  for (size_t i = from; i < to; ++i) {
    const VmValue& item = items[i];
    leaf_steps.step(item.item_count());
    const bool ordered = item.is(VmKind::Tuple);
    if (!ordered && !plain_frozenset(item)) return false;
    uint64_t h = ordered ? 1 : 2;
    for (const VmValue& leaf : item.items()) {
      if (ordered && !plain_leaf(leaf)) return false;
      const uint64_t x = is_number(leaf) ? vm_hash_word(std::bit_cast<uint64_t>(plain_number_double(leaf)), seed)
                                         : vm_structural_hash(leaf, seed);
      h = ordered ? vm_hash_word(h * 0x9e3779b97f4a7c15ULL + x, seed) : h + x;
    }
    size_t at = vm_hash_word(h, seed) & mask;
    for (; slots[at].second != 0; at = (at + 1) & mask) {
      if (slots[at].first != h) continue;
      work_step(meter);
      const auto equal = vm_values_equal(items[slots[at].second - 1], item);
      if (!equal.ok() || *equal) return false;
    }
    slots[at] = {h, i + 1};
  }
  return true;
}

// Whether no two of the tuples (or frozensets) [from, to) are value-equal,
// where that can be told: of one exact shape, equal ones have one key and
// stand side by side; plain ones by their equal forms.
template <class Items>
bool containers_apart(const Items& items, VmKind kind, VmWorkMeter* meter) {
  const auto [from, to] = class_range(items, kind, meter);
  if (to - from < 2) return true;
  const Slice<Items> range(items, from, to);
  if (of_one_exact_shape(range)) {
    work_step(meter, range.size());
    for (size_t i = from + 1; i < to; ++i)
      if (vm_set_key_compare(items[i - 1], items[i]) == VmOrdering::Equal) return false;
    return true;
  }
  return plain_containers_apart(items, from, to, meter);
}

// Frozensets of one shape and plain tuples of any shapes.
template <class Items>
bool containers_plain(const Items& items, VmWorkMeter* meter) {
  const auto [first, end] = class_range(items, VmKind::FrozenSet, meter);
  if (!of_one_exact_shape(Slice<Items>(items, first, end))) return false;
  const auto [from, to] = class_range(items, VmKind::Tuple, meter);
  StoppableSteps leaf_steps;
  for (size_t i = from; i < to; ++i) {
    leaf_steps.step(items[i].item_count());
    if (!plain_tuple(items[i])) return false;
  }
  return true;
}

// Plain tuples and plain frozensets, of any shapes.
template <class Items>
bool containers_plain_of_any_shape(const Items& items, VmWorkMeter* meter) {
  for (const VmKind kind : {VmKind::Tuple, VmKind::FrozenSet}) {
    const auto [from, to] = class_range(items, kind, meter);
    StoppableSteps leaf_steps;
    for (size_t i = from; i < to; ++i) {
      leaf_steps.step(items[i].item_count());
      if (!(kind == VmKind::Tuple ? plain_tuple(items[i]) : plain_frozenset(items[i]))) return false;
    }
  }
  return true;
}

// The facts of the items, worked out anew.
uint8_t work_out_facts(VmItemsView items, VmWorkMeter* meter) {
  work_step(meter, 2 * items.size());
  const bool numbers = numbers_settled(items, meter);
  const bool containers = containers_plain(items, meter);
  const bool tame_numbers = numbers_tame(items, numbers, meter);
  // A set built where number equality is not transitive may hold two
  // value-equal items (0 beside 0, (False,) beside (-0.0,)); the searches by
  // key order would find one of them where the scans meet both. Numbers
  // settled or tame are no two equal.
  const bool apart = (numbers || tame_numbers) && containers_apart(items, VmKind::Tuple, meter) &&
                     containers_apart(items, VmKind::FrozenSet, meter);
  const bool settled = apart && classes_settled(items, std::nullopt, meter);
  const bool plain = apart && numbers && containers;
  // Tuples and frozensets that normalise back as they are, beside tame numbers.
  const bool tame = apart && (containers || containers_of_one_shape(items, meter)) && tame_numbers;
  const bool plain_sets = apart && numbers && containers_plain_of_any_shape(items, meter);
  return kSettledKnown | (apart ? kApart : 0) | (settled ? kSettled : 0) | (plain ? kPlain : 0) |
         (tame ? kTame : 0) | (plain_sets ? kPlainSets : 0);
}

}  // namespace

bool set_items_settled(const VmValue& s, VmItemsView items, VmWorkMeter* meter) {
  const uint8_t facts = s.set_facts();
  if ((facts & kSettledKnown) != 0) return (facts & kSettled) != 0;
  // An empty set says nothing about the items to come.
  if (items.empty()) return false;
  // Past the allowance nothing is learnt (the edit that asked stops at once).
  const std::optional<uint8_t> learnt =
      within_work([&] { return std::optional<uint8_t>(work_out_facts(items, meter)); }, std::optional<uint8_t>());
  if (!learnt) return false;
  s.note_set_facts((facts & kDistinct) | *learnt);
  return (*learnt & kSettled) != 0;
}

bool set_items_apart(const VmValue& s) {
  const uint8_t facts = s.set_facts();
  return (facts & kSettledKnown) != 0 && (facts & (kApart | kDistinct)) != 0;
}

bool set_items_distinct(const VmValue& s, VmWorkMeter* meter) {
  if ((s.set_facts() & kDistinct) != 0) return true;
  const auto all = s.items();
  // Normalising keeps every item exactly when each found no equal among
  // those before it, every comparison made.
  std::vector<VmValue> copy(all.begin(), all.end());
  auto again = meter != nullptr ? normalize_set_items(std::move(copy), *meter) : normalize_set_items(std::move(copy));
  if (!again.ok() || again->size() != all.size()) return false;
  s.note_set_facts(s.set_facts() | kDistinct);
  return true;
}

void note_set_items_scanned(const VmValue& s, bool distinct) {
  s.note_set_facts(kSettledKnown | (distinct ? kDistinct | kApart : 0));
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

namespace {

uint8_t facts_after_insertion(const VmValue& x, bool settled, bool plain, bool tame, const SetInsertion& at,
                              bool plain_sets) {
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
  // x equals no item it was placed beside, as the search found.
  return kSettledKnown | kApart | (one ? kSettled : 0) | (still_plain ? kPlain : 0) | (still_tame ? kTame : 0) |
         (still_plain_sets ? kPlainSets : 0);
}

}  // namespace

void keep_set_settled_after_insertion(const VmValue& s, const VmValue& x, bool settled, bool plain, bool tame,
                                      const SetInsertion& at, bool plain_sets) {
  // Past the allowance the facts are left to be worked out again.
  s.note_set_facts(
      within_work([&] { return facts_after_insertion(x, settled, plain, tame, at, plain_sets); }, uint8_t{0}));
}

}  // namespace veln
