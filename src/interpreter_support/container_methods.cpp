// Methods of list, dict, set and frozenset values. Each receiver kind has one
// table: the method name resolves to an entry holding its arity bounds, its
// arity message and its handler. Arity is checked before any argument is
// looked at; a handler works on the receiver it was handed (copy-on-write, so
// the caller's value is untouched) and returns it changed for mutating
// methods. Keys match structurally, searches by value equality.
#include "interpreter_support/container_methods.hpp"

#include <iterator>
#include <string>
#include <utility>

#include "interpreter_support/dict_ops.hpp"
#include "interpreter_support/comparison_budget.hpp"
#include "interpreter_support/sets/distinct_set_edits.hpp"
#include "values/bounded_text.hpp"
#include "interpreter_support/native_method_table.hpp"
#include "interpreter_support/search_bounds.hpp"
#include "interpreter_support/sets/set_algebra.hpp"
#include "interpreter_support/sets/set_edits.hpp"
#include "interpreter_support/sets/set_facts.hpp"
#include "interpreter_support/sets/set_operators.hpp"
#include "interpreter_support/subscripts.hpp"
#include "interpreter_support/value_equality.hpp"
#include "interpreter_support/value_iteration.hpp"
#include "values/bigint.hpp"
#include "values/vm_items_view.hpp"
#include "values/vm_work_tally.hpp"

namespace veln {
namespace {

using Args = NativeMethodArgs;

NativeMethodOutcome mutated(VmValue receiver, VmValue result = VmValue::none()) {
  return NativeMethodOutcome::mutated(std::move(receiver), std::move(result));
}

// ---------------------------------------------------------------------------
// list

VmResult<NativeMethodOutcome> list_append(VmValue xs, Args args) {
  VELN_CHECK(xs.seq_push(args[0]));
  return mutated(std::move(xs));
}

VmResult<NativeMethodOutcome> list_extend(VmValue xs, Args args) {
  VELN_TRY(std::vector<VmValue> items, iterate_value(args[0]));
  VELN_CHECK(xs.seq_extend(items));
  return mutated(std::move(xs));
}

// A negative index counts from the end and floors at 0; beyond the end appends.
VmResult<size_t> normalize_sequence_insert_index(const VmValue& index, size_t length) {
  VELN_TRY(mpz_class i, index.as_bigint());
  if (sgn(i) < 0) {
    i += static_cast<unsigned long>(length);
    if (sgn(i) < 0) i = 0;
  }
  if (cmp(i, static_cast<unsigned long>(length)) > 0) i = static_cast<unsigned long>(length);
  VELN_TRY(uint64_t at, bigint_to_usize(i, "sequence insert index"));
  return static_cast<size_t>(at);
}

VmResult<NativeMethodOutcome> list_insert(VmValue xs, Args args) {
  VELN_TRY(size_t at, normalize_sequence_insert_index(args[0], xs.item_count()));
  VELN_CHECK(xs.seq_insert(at, args[1]));
  return mutated(std::move(xs));
}

VmResult<NativeMethodOutcome> list_remove(VmValue xs, Args args) {
  const auto items = xs.items();
  for (size_t i = 0; i < items.size(); ++i) {
    if (!vm_scan_step(i)) [[unlikely]]
      return VmWorkTally::error();
    if (items[i].eq(args[0])) {
      vm_scan_done(i + 1);
      xs.seq_remove(i);
      return mutated(std::move(xs));
    }
  }
  vm_scan_done(items.size());
  return vm_error("list.remove(x): x not in list");
}

VmResult<NativeMethodOutcome> list_pop(VmValue xs, Args args) {
  size_t at;
  if (args.empty()) {
    if (xs.item_count() == 0) return vm_error("pop from empty list");
    at = xs.item_count() - 1;
  } else {
    VELN_TRY(size_t index, normalize_sequence_index(args[0], xs.item_count()));
    at = index;
  }
  VmValue removed = xs.seq_remove(at);
  return mutated(std::move(xs), std::move(removed));
}

VmResult<NativeMethodOutcome> list_clear(VmValue xs, Args) {
  xs.seq_clear();
  return mutated(std::move(xs));
}

VmResult<NativeMethodOutcome> plain_copy(VmValue receiver, Args) {
  // Copy-on-write: the copy shares the buffer until one side changes.
  return NativeMethodOutcome::plain(std::move(receiver));
}

VmResult<NativeMethodOutcome> list_count(VmValue xs, Args args) {
  VmWorkMeter sets;
  const SetComparisonScope scope(&sets);
  int64_t count = 0;
  const auto items = xs.items();
  for (size_t i = 0; i < items.size(); ++i) {
    if (!vm_scan_step(i)) [[unlikely]]
      return VmWorkTally::error();
    VELN_TRY(bool equal, vm_values_equal_within(items[i], args[0], sets));
    if (equal) ++count;
  }
  vm_scan_done(items.size());
  // A refusal of the work may be swallowed inside a comparison.
  VELN_CHECK(vm_budget_status());
  return NativeMethodOutcome::plain(VmValue::integer(count));
}

VmResult<NativeMethodOutcome> list_index(VmValue xs, Args args) {
  const auto items = xs.items();
  const VmValue* start = args.size() > 1 ? &args[1] : nullptr;
  const VmValue* end = args.size() > 2 ? &args[2] : nullptr;
  VELN_TRY(VmSearchBounds window, normalize_search_bounds(items.size(), start, end));
  VmWorkMeter sets;
  const SetComparisonScope scope(&sets);
  for (size_t i = window.start; i < window.end; ++i) {
    if (!vm_scan_step(i - window.start)) [[unlikely]]
      return VmWorkTally::error();
    VELN_TRY(bool equal, vm_values_equal_within(items[i], args[0], sets));
    if (equal) {
      vm_scan_done(i + 1 - window.start);
      VELN_CHECK(vm_budget_status());
      return NativeMethodOutcome::plain(VmValue::integer(static_cast<int64_t>(i)));
    }
  }
  vm_scan_done(window.end - window.start);
  // A refusal of the work may be swallowed inside a comparison.
  VELN_CHECK(vm_budget_status());
  return vm_error("list.index(x): x not in list");
}

constexpr NativeMethodTable<9> kListMethods("list", {{
    {"append", 1, 1, "list.append() expects one argument", list_append},
    {"extend", 1, 1, "list.extend() expects one argument", list_extend},
    {"insert", 2, 2, "list.insert() expects two arguments", list_insert},
    {"remove", 1, 1, "list.remove() expects one argument", list_remove},
    {"pop", 0, 1, "list.pop() accepts at most one argument", list_pop},
    {"clear", 0, 0, "list.clear() expects no arguments", list_clear},
    {"copy", 0, 0, "list.copy() expects no arguments", plain_copy},
    {"count", 1, 1, "list.count() expects one argument", list_count},
    {"index", 1, 3, "list.index() expects between one and three arguments", list_index},
}});

// ---------------------------------------------------------------------------
// dict

template <class F>
VmResult<NativeMethodOutcome> dict_listing(const VmValue& d, F&& item_of) {
  std::vector<VmValue> out;
  out.reserve(d.dict_size());
  for (const VmDictPair& pair : d.dict_pairs()) {
    VELN_TRY(VmValue item, item_of(pair));
    out.push_back(std::move(item));
  }
  VELN_TRY(VmValue list, VmValue::make_list(std::move(out)));
  return NativeMethodOutcome::plain(std::move(list));
}

VmResult<NativeMethodOutcome> dict_keys(VmValue d, Args) {
  return dict_listing(d, [](const VmDictPair& p) -> VmResult<VmValue> { return p.key; });
}

VmResult<NativeMethodOutcome> dict_values(VmValue d, Args) {
  return dict_listing(d, [](const VmDictPair& p) -> VmResult<VmValue> { return p.value; });
}

VmResult<NativeMethodOutcome> dict_items(VmValue d, Args) {
  return dict_listing(d, [](const VmDictPair& p) { return VmValue::make_tuple({p.key, p.value}); });
}

VmResult<NativeMethodOutcome> dict_get_method(VmValue d, Args args) {
  if (std::optional<VmValue> found = dict_get(d, args[0])) return NativeMethodOutcome::plain(std::move(*found));
  return NativeMethodOutcome::plain(args.size() > 1 ? args[1] : VmValue::none());
}

VmResult<NativeMethodOutcome> dict_pop_method(VmValue d, Args args) {
  if (std::optional<VmValue> found = dict_pop(d, args[0])) return mutated(std::move(d), std::move(*found));
  if (args.size() > 1) return mutated(std::move(d), args[1]);
  return vm_error_quoting("missing dict key ", args[0]);
}

VmResult<NativeMethodOutcome> dict_clear_method(VmValue d, Args) {
  d.dict_clear();
  return mutated(std::move(d));
}

constexpr NativeMethodTable<7> kDictMethods("dict", {{
    {"keys", 0, 0, "dict.keys() expects no arguments", dict_keys},
    {"values", 0, 0, "dict.values() expects no arguments", dict_values},
    {"items", 0, 0, "dict.items() expects no arguments", dict_items},
    {"get", 1, 2, "dict.get() expects one or two arguments", dict_get_method},
    {"pop", 1, 2, "dict.pop() expects one or two arguments", dict_pop_method},
    {"clear", 0, 0, "dict.clear() expects no arguments", dict_clear_method},
    {"copy", 0, 0, "dict.copy() expects no arguments", plain_copy},
}});

// ---------------------------------------------------------------------------
// set and frozenset: results keep the receiver's kind.

VmResult<VmValue> same_kind_set(const VmValue& receiver, std::vector<VmValue> items) {
  return VmValue::make_sequence(receiver.kind(), std::move(items));
}

// An iterable argument in set form.
VmResult<std::vector<VmValue>> normalized_argument(const VmValue& other) {
  VELN_TRY(std::vector<VmValue> items, iterate_value(other));
  return normalize_set_items(std::move(items));
}

VmResult<NativeMethodOutcome> set_add(VmValue s, Args args) {
  VELN_TRY(VmValue result, set_with_item(std::move(s), args[0]));
  return mutated(std::move(result));
}

VmResult<NativeMethodOutcome> set_remove(VmValue s, Args args) {
  bool removed = false;
  VELN_TRY(VmValue result, set_without_item(std::move(s), args[0], &removed));
  // The message is the missing element's own text, as Python's KeyError shows it.
  if (!removed) return vm_error_quoting("", args[0]);
  return mutated(std::move(result));
}

VmResult<NativeMethodOutcome> set_discard(VmValue s, Args args) {
  bool removed = false;
  VELN_TRY(VmValue result, set_without_item(std::move(s), args[0], &removed));
  return mutated(std::move(result));
}

VmResult<NativeMethodOutcome> set_pop(VmValue s, Args) {
  if (s.item_count() == 0) return vm_error("pop from an empty set");
  VmValue first = s.seq_remove(0);
  return mutated(std::move(s), std::move(first));
}

VmResult<NativeMethodOutcome> set_clear(VmValue s, Args) {
  s.seq_clear();
  return mutated(std::move(s));
}

VmResult<NativeMethodOutcome> set_union(VmValue s, Args args) {
  if (args.empty()) return NativeMethodOutcome::plain(std::move(s));
  auto own = s.items();
  // The raw items are shared copies of existing values; the size limit
  // applies to the normalised set when it is built.
  std::vector<VmValue> all(own.begin(), own.end());
  for (const VmValue& other : args) {
    VELN_TRY(std::vector<VmValue> items, iterate_value(other));
    all.insert(all.end(), std::make_move_iterator(items.begin()), std::make_move_iterator(items.end()));
  }
  VELN_TRY(std::vector<VmValue> normalized, normalize_set_items(std::move(all)));
  VELN_TRY(VmValue result, same_kind_set(s, std::move(normalized)));
  return NativeMethodOutcome::plain(std::move(result));
}

using SetStep = VmResult<std::vector<VmValue>> (*)(std::span<const VmValue>, std::span<const VmValue>);

VmResult<NativeMethodOutcome> set_fold(VmValue s, Args args, SetStep step) {
  auto own = s.items();
  std::vector<VmValue> acc(own.begin(), own.end());
  for (const VmValue& other : args) {
    VELN_TRY(std::vector<VmValue> normalized, normalized_argument(other));
    VELN_TRY(std::vector<VmValue> next, step(acc, normalized));
    acc = std::move(next);
  }
  VELN_TRY(VmValue result, same_kind_set(s, std::move(acc)));
  return NativeMethodOutcome::plain(std::move(result));
}

VmResult<NativeMethodOutcome> set_difference(VmValue s, Args args) {
  return set_fold(std::move(s), args, set_difference_values);
}

VmResult<NativeMethodOutcome> set_intersection(VmValue s, Args args) {
  return set_fold(std::move(s), args, set_intersection_values);
}

VmResult<NativeMethodOutcome> set_symmetric_difference(VmValue s, Args args) {
  VELN_TRY(std::vector<VmValue> other, normalized_argument(args[0]));
  VELN_TRY(std::vector<VmValue> normalized, set_operator_items(SetOperator::SymmetricDifference, s.items(), other));
  VELN_TRY(VmValue result, same_kind_set(s, std::move(normalized)));
  return NativeMethodOutcome::plain(std::move(result));
}

VmResult<NativeMethodOutcome> set_issubset(VmValue s, Args args) {
  VELN_TRY(std::vector<VmValue> other, normalized_argument(args[0]));
  VELN_TRY(bool subset, set_is_subset(s.items(), other));
  return NativeMethodOutcome::plain(VmValue::boolean(subset));
}

VmResult<NativeMethodOutcome> set_issuperset(VmValue s, Args args) {
  VELN_TRY(std::vector<VmValue> other, normalized_argument(args[0]));
  VELN_TRY(bool superset, set_is_subset(other, s.items()));
  return NativeMethodOutcome::plain(VmValue::boolean(superset));
}

VmResult<NativeMethodOutcome> set_isdisjoint(VmValue s, Args args) {
  VELN_TRY(std::vector<VmValue> other, normalized_argument(args[0]));
  VELN_TRY(std::vector<VmValue> common, set_intersection_values(s.items(), other));
  return NativeMethodOutcome::plain(VmValue::boolean(common.empty()));
}

constexpr NativeMethodTable<13> kSetMethods("set", {{
    {"add", 1, 1, "set.add() expects one argument", set_add},
    {"remove", 1, 1, "set.remove() expects one argument", set_remove},
    {"discard", 1, 1, "set.discard() expects one argument", set_discard},
    {"pop", 0, 0, "set.pop() expects no arguments", set_pop},
    {"clear", 0, 0, "set.clear() expects no arguments", set_clear},
    {"copy", 0, 0, "set.copy() expects no arguments", plain_copy},
    {"union", 0, kAnyArgumentCount, "", set_union},
    {"difference", 0, kAnyArgumentCount, "", set_difference},
    {"intersection", 0, kAnyArgumentCount, "", set_intersection},
    {"symmetric_difference", 1, 1, "set.symmetric_difference() expects one argument", set_symmetric_difference},
    {"issubset", 1, 1, "set.issubset() expects one argument", set_issubset},
    {"issuperset", 1, 1, "set.issuperset() expects one argument", set_issuperset},
    {"isdisjoint", 1, 1, "set.isdisjoint() expects one argument", set_isdisjoint},
}});

constexpr NativeMethodTable<8> kFrozenSetMethods("frozenset", {{
    {"copy", 0, 0, "frozenset.copy() expects no arguments", plain_copy},
    {"union", 0, kAnyArgumentCount, "", set_union},
    {"difference", 0, kAnyArgumentCount, "", set_difference},
    {"intersection", 0, kAnyArgumentCount, "", set_intersection},
    {"symmetric_difference", 1, 1, "frozenset.symmetric_difference() expects one argument", set_symmetric_difference},
    {"issubset", 1, 1, "frozenset.issubset() expects one argument", set_issubset},
    {"issuperset", 1, 1, "frozenset.issuperset() expects one argument", set_issuperset},
    {"isdisjoint", 1, 1, "frozenset.isdisjoint() expects one argument", set_isdisjoint},
}});

constexpr NativeMethodKind kListKind(kListMethods);
constexpr NativeMethodKind kDictKind(kDictMethods);
constexpr NativeMethodKind kSetKind(kSetMethods);
constexpr NativeMethodKind kFrozenSetKind(kFrozenSetMethods);

}  // namespace

namespace {

// The items of a set about to be searched for x and edited. Its pending
// edits are read where they lie only when no other value holds its buffer:
// otherwise x itself, or an item inside x, may hold it (s.add(frozenset(s)))
// and reading x's items would merge the edits under the view.
VmItemsView items_to_search(const VmValue& s) {
  return s.holds_only_reference() ? s.items_view() : VmItemsView(s.items());
}

// The additions and removals no key order serves: scans of the set, under
// the comparison cap. Nothing is edited once the cap is passed (a scan that
// only learns a fact goes on to the end).
VmResult<VmValue> scanned_with_item(VmValue s, const VmValue& x, VmWorkMeter* meter) {
  if (set_items_distinct(s, meter)) {
    // Checking may have merged the pending edits: the view is taken again.
    bool distinct = false;
    VELN_TRY(const SetInsertion at, distinct_set_insertion(items_to_search(s), x, &distinct, meter));
    if (set_comparisons_exceeded(meter)) return set_comparison_error();
    if (at.kind == SetInsertion::Kind::Present) return s;
    if (at.kind == SetInsertion::Kind::Replace) s.seq_remove(at.from, meter);
    VELN_CHECK(s.seq_insert(at.to, x, meter));
    note_set_items_scanned(s, distinct);
    return s;
  }
  const auto all = s.items();
  std::vector<VmValue> grown(all.begin(), all.end());
  grown.push_back(x);
  VELN_TRY(std::vector<VmValue> normalized, normalize_set_items(std::move(grown), *meter));
  return same_kind_set(s, std::move(normalized));
}

VmResult<VmValue> scanned_without_item(VmValue s, const VmValue& x, bool* removed, VmWorkMeter* meter) {
  // The difference with [x]: x compared with every item.
  VELN_TRY(const std::vector<size_t> equal, set_positions_equal_to(items_to_search(s), x, meter));
  if (set_comparisons_exceeded(meter)) return set_comparison_error();
  *removed = !equal.empty();
  // A float may equal a long run of ints: past a few, the rest is rebuilt
  // once. The facts hold for any subset of the items.
  constexpr size_t kRemovedInPlace = 16;
  if (equal.size() <= kRemovedInPlace) {
    for (auto at = equal.rbegin(); at != equal.rend(); ++at) s.seq_remove(*at, meter);
    return s;
  }
  const uint8_t facts = s.set_facts();
  const auto all = s.items();
  std::vector<VmValue> rest;
  rest.reserve(all.size() - equal.size());
  auto next = equal.begin();
  for (size_t i = 0; i < all.size(); ++i) {
    if (next != equal.end() && *next == i) {
      ++next;
    } else {
      rest.push_back(all[i]);
    }
  }
  vm_tick(meter, all.size());
  VELN_TRY(VmValue smaller, same_kind_set(s, std::move(rest)));
  smaller.note_set_facts(facts);
  return smaller;
}

}  // namespace

VmResult<VmValue> set_with_item(VmValue s, const VmValue& x, VmWorkMeter* meter) {
  // A search and one insertion where the set's kind allows; a scan, or the
  // whole normalisation, otherwise.
  const VmItemsView items = items_to_search(s);
  const bool settled = set_items_settled(s, items, meter);
  const bool plain = set_items_plain(s);
  const bool tame = set_items_tame(s);
  const bool plain_sets = set_items_plain_sets(s);
  const bool searchable = items.empty() || set_items_apart(s);
  if (auto place = searchable ? set_insertion(items, x, meter, settled, plain, tame, plain_sets) : std::nullopt) {
    VELN_TRY(const SetInsertion at, *std::move(place));
    const bool was_empty = items.empty();
    if (at.kind == SetInsertion::Kind::Replace) s.seq_remove(at.from, meter);
    if (at.kind != SetInsertion::Kind::Present) {
      VELN_CHECK(s.seq_insert(at.to, x, meter));
      // x was placed by the search: of the shape of its class's items.
      if (!was_empty) keep_set_settled_after_insertion(s, x, settled, plain, tame, at, plain_sets);
    }
    return s;
  }
  return capped_set_operation(meter, [&](VmWorkMeter* m) { return scanned_with_item(std::move(s), x, m); });
}

VmResult<VmValue> set_without_item(VmValue s, const VmValue& x, bool* removed, VmWorkMeter* meter) {
  const VmItemsView items = items_to_search(s);
  const bool settled = set_items_settled(s, items, meter);
  if (auto at = !set_items_apart(s) ? std::nullopt
                                    : set_removal_position(items, x, meter, settled, set_items_plain(s),
                                                           set_items_tame(s), set_items_plain_sets(s))) {
    *removed = at->has_value();
    if (*at) s.seq_remove(**at, meter);
    return s;
  }
  return capped_set_operation(meter, [&](VmWorkMeter* m) { return scanned_without_item(std::move(s), x, removed, m); });
}

std::optional<VmValue> dict_get(const VmValue& dict, const VmValue& key) {
  const std::optional<size_t> at = dict.dict_find_structural(key);
  if (!at) return std::nullopt;
  return dict.dict_pairs()[*at].value;
}

std::optional<VmValue> dict_pop(VmValue& dict, const VmValue& key) {
  const std::optional<size_t> at = dict.dict_find_structural(key);
  if (!at) return std::nullopt;
  return dict.dict_remove_at(*at).value;
}

const NativeMethodKind& list_methods() { return kListKind; }
const NativeMethodKind& dict_methods() { return kDictKind; }
const NativeMethodKind& set_methods() { return kSetKind; }
const NativeMethodKind& frozenset_methods() { return kFrozenSetKind; }

}  // namespace veln
