// Membership: by the container's kind, then the needle's.
#include "interpreter_support/membership.hpp"

#include <string>

#include "interpreter_support/comparison_budget.hpp"
#include "interpreter_support/sets/set_algebra.hpp"
#include "interpreter_support/sets/set_facts.hpp"
#include "interpreter_support/subscripts.hpp"
#include "interpreter_support/text_search.hpp"
#include "interpreter_support/value_equality.hpp"
#include "interpreter_support/value_match_index.hpp"
#include "values/vm_items_view.hpp"
#include "values/vm_work_tally.hpp"

namespace veln {
namespace {

// The literal scan of `count` entries, `entry(i)` the value compared at i:
// a step per entry compared (on `meter` too, when given). A refusal of the
// work met inside a comparison may be swallowed there (a dict key compared
// as a mismatch): the request's failure then stands in for the answer.
template <class Entry>
VmResult<bool> scan_entries(size_t count, Entry entry, const VmValue& needle, VmWorkMeter* meter) {
  auto found = capped_set_operation(meter, [&](VmWorkMeter* sets) -> VmResult<bool> {
    for (size_t i = 0; i < count; ++i) {
      if (meter != nullptr) ++meter->steps;
      if (!vm_scan_step(i)) [[unlikely]]
        return VmWorkTally::error();
      VELN_TRY(bool equal, vm_values_equal_within(entry(i), needle, *sets));
      if (equal) {
        vm_scan_done(i + 1);
        return true;
      }
    }
    vm_scan_done(count);
    return false;
  });
  if (found.ok()) VELN_CHECK(vm_budget_status());
  return found;
}

VmResult<bool> scan_items(std::span<const VmValue> items, const VmValue& needle, VmWorkMeter* meter) {
  return scan_entries(items.size(), [items](size_t i) -> const VmValue& { return items[i]; }, needle, meter);
}

// Small dicts are scanned; larger ones answer from their indexes (the
// needle's equal forms, the numeric hazards), except for needles only the
// scan can compare.
constexpr size_t kScannedDictSize = 8;

VmResult<bool> dict_has_key(const VmValue& dict, const VmValue& needle, VmWorkMeter* meter) {
  // A str equals exactly the structurally equal keys, and comparing it
  // never fails: the structural lookup is the scan's answer (unless the
  // scan's steps are being counted).
  if (meter == nullptr && needle.is(VmKind::String)) return dict.dict_find_structural(needle).has_value();
  const auto pairs = dict.dict_pairs();
  if (pairs.size() > kScannedDictSize) {
    if (auto m = vm_dict_key_match(dict, needle, meter))
      return vm_scan_outcome(*m, m->failure ? &pairs[*m->failure].key : nullptr, needle);
  }
  return scan_entries(pairs.size(), [pairs](size_t i) -> const VmValue& { return pairs[i].key; }, needle, meter);
}

VmResult<bool> set_has_item(const VmValue& set, const VmValue& needle, VmWorkMeter* meter) {
  // The needle is read whole to key it, whichever search finds it.
  if (!vm_count_key_read(needle)) [[unlikely]]
    return VmWorkTally::error();
  // A set being edited (adds and discards between the lookups) is searched
  // where its items lie: merging them, or indexing them, would cost O(n)
  // per edit.
  // Tuples and frozensets of one shape are searched by key order, edited
  // or not (they come last in key order).
  const VmItemsView view = set.holds_only_reference() ? set.items_view() : VmItemsView(set.items());
  const bool containers = !view.empty() && (view.back().is(VmKind::Tuple) || view.back().is(VmKind::FrozenSet));
  if (containers || !view.contiguous()) {
    const bool settled = set_items_settled(set, view, meter);
    if (auto found = set_contains_by_order(view, needle, meter, settled, set_items_plain(set), set_items_tame(set),
                                           set_items_plain_sets(set)))
      return *std::move(found);
  }
  if (auto m = vm_set_item_match(set, needle, meter)) {
    const auto items = set.items();
    return vm_scan_outcome(*m, m->failure ? &items[*m->failure] : nullptr, needle);
  }
  return set_contains(set.items(), needle, meter);
}

VmResult<bool> contains(const VmValue& container, const VmValue& needle, VmWorkMeter* meter) {
  switch (container.kind()) {
    case VmKind::String:
      if (!needle.is(VmKind::String)) return vm_error("string membership requires a string needle");
      // UTF-8 is self-synchronising: a byte match is a character match.
      return text_contains(container.text(), needle.text(), meter);
    case VmKind::Bytes:
    case VmKind::ByteArray: {
      const std::string_view haystack = container.text();
      switch (needle.kind()) {
        case VmKind::Bool:
        case VmKind::Int: {
          VELN_TRY(uint8_t byte, byte_from_value(needle));
          const char c = static_cast<char>(byte);
          return text_contains(haystack, std::string_view(&c, 1), meter);
        }
        case VmKind::Bytes:
        case VmKind::ByteArray:
          return text_contains(haystack, needle.text(), meter);
        default:
          return bytes_like_required_error(needle);
      }
    }
    case VmKind::Set:
    case VmKind::FrozenSet:
      return set_has_item(container, needle, meter);
    case VmKind::List:
    case VmKind::Tuple:
      return scan_items(container.items(), needle, meter);
    case VmKind::Dict:
      return dict_has_key(container, needle, meter);
    default:
      return vm_error("membership is not supported for " + std::string(container.type_name()));
  }
}

}  // namespace

VmResult<bool> contains_value(const VmValue& container, const VmValue& needle) {
  return contains(container, needle, nullptr);
}

VmResult<bool> contains_value(const VmValue& container, const VmValue& needle, VmWorkMeter& meter) {
  return contains(container, needle, &meter);
}

}  // namespace veln
