// A single addition to or removal from canonical set items found by key
// order: x is searched within its family, or within its class where the
// set's classes are settled (normalising them again gives them back, so
// the other classes never change), or through the equal forms of plain
// tuples and frozensets and of tame numbers. Where none of these applies
// the caller scans (distinct_set_edits) or normalises the whole.
#include "interpreter_support/sets/set_edits.hpp"

#include <cmath>
#include <optional>

#include "interpreter_support/sets/set_item_order.hpp"
#include "interpreter_support/sets/set_item_searches.hpp"
#include "interpreter_support/sets/set_keys.hpp"
#include "interpreter_support/sets/set_replacement.hpp"
#include "interpreter_support/stoppable_work.hpp"
#include "values/float_text.hpp"

namespace veln {
namespace {

using namespace set_items;

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
  // -0.0 in place of 0.0.
  return VmResult<SetInsertion>(SetInsertion{Kind::Replace, p, replacement_position(items, x, p, meter)});
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

std::optional<VmResult<SetInsertion>> set_insertion(VmItemsView items, const VmValue& x, VmWorkMeter* meter,
                                                   std::optional<bool> settled, bool plain, bool tame,
                                                   bool plain_sets) {
  return within_work([&] {
    // x is read whole to check and key it.
    work_step(nullptr, vm_key_read_steps(x));
    if (auto flat = items.contiguous()) return insertion_in(*flat, x, meter, settled, plain, tame, plain_sets);
    return insertion_in(items, x, meter, settled, plain, tame, plain_sets);
  });
}

std::optional<std::optional<size_t>> set_removal_position(VmItemsView items, const VmValue& x, VmWorkMeter* meter,
                                                          std::optional<bool> settled, bool plain, bool tame,
                                                          bool plain_sets) {
  // Past the allowance, no answer: the scan that follows stops at once.
  return within_work(
      [&] {
        work_step(nullptr, vm_key_read_steps(x));
        if (auto flat = items.contiguous()) return removal_position_in(*flat, x, meter, settled, plain, tame, plain_sets);
        return removal_position_in(items, x, meter, settled, plain, tame, plain_sets);
      },
      std::optional<std::optional<size_t>>());
}

}  // namespace veln
