// A single addition to or removal from canonical set items, found by key
// order where the set's facts allow it (set_facts.hpp): where x goes, or
// which item leaves. The caller edits the set in place as told.
#pragma once

#include <cstdint>
#include <optional>

#include "values/vm_execution_error.hpp"
#include "values/vm_items_view.hpp"
#include "values/vm_value.hpp"
#include "values/vm_work_meter.hpp"

namespace veln {

// Precondition of both searches: `items` are the items of a set s that is
// empty or for which set_items_apart(s) holds once set_items_settled(s,
// items) has been worked out, and any facts passed are those of s (as
// set.add, set.discard and set.remove call them). Other canonical items are
// outside what a search can see: two of them may be value-equal (normalising
// them again drops one) or fail to compare (normalising them again fails
// before x is reached), so those callers normalise the whole or scan.
//
// Where `x` goes when it joins canonical set items, as normalising the items
// followed by x would place it: already present (the set is unchanged), an
// insertion, or a replacement (the item at `from` leaves and x is inserted
// at `to` of what remains). x is searched within its family, or within its
// class (numbers, texts, tuples...) when the set holds several and they are
// settled. Nothing when only normalising the whole can tell (decimals among
// other numbers, tuples of several shapes, unsettled classes). Fails as the
// normalisation would: x unhashable, a comparison with NaN.
struct SetInsertion {
  enum class Kind : uint8_t { Present, Insert, Replace };
  Kind kind = Kind::Present;
  size_t from = 0;
  size_t to = 0;
  bool plain_search = false;  // placed among plain tuples or plain frozensets, of any shapes
  bool tame_search = false;   // placed among tame numbers
};
std::optional<VmResult<SetInsertion>> set_insertion(VmItemsView items, const VmValue& x,
                                                   VmWorkMeter* meter = nullptr,
                                                   std::optional<bool> settled = std::nullopt, bool plain = false,
                                                   bool tame = false, bool plain_sets = false);

// The position of the item of canonical set items value-equal to `x` (the
// one item the set difference with [x] removes), or none. Nothing when only
// the difference itself can tell (several items may be equal, or a
// comparison may fail).
std::optional<std::optional<size_t>> set_removal_position(VmItemsView items, const VmValue& x,
                                                          VmWorkMeter* meter = nullptr,
                                                          std::optional<bool> settled = std::nullopt,
                                                          bool plain = false, bool tame = false,
                                                          bool plain_sets = false);

}  // namespace veln
