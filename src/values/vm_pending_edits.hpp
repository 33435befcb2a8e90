// The pending edits of a large set: insertions and removals held beside its
// stored items, as pieces of the stored items and of the added ones, until
// the items are next read as a whole. Part of the value model's buffer
// layouts (vm_value_heap.hpp): only VmValue's methods may change them, and
// nothing here compares values, so the order of the items is the caller's.
#pragma once

#include <cstddef>
#include <vector>

#include "values/vm_items_view.hpp"
#include "values/vm_value.hpp"
#include "values/vm_work_meter.hpp"

namespace veln::detail {

// Insertions into and removals from a large set, held beside its stored
// items until they are next read as a whole (see VmValue::seq_insert).
// The items are the pieces in order. Stored items that no piece covers any
// more were removed (moved out); added items arrive at the end of `added`.
struct VmPendingEdits {
  std::vector<VmItemsView::Piece> pieces;
  std::vector<VmValue> added;
  // The room reserved for each (vm_block_capacity.hpp), which the set is
  // weighed by: grown by the engine's rule, given back with the edits.
  uint32_t pieces_capacity = 0;
  uint32_t added_capacity = 0;

  explicit VmPendingEdits(size_t stored_count);
  size_t size() const { return pieces.empty() ? 0 : pieces.back().end; }
  VmItemsView view(const std::vector<VmValue>& stored) const { return VmItemsView(stored.data(), added.data(), pieces); }
  // Whether the pieces have grown enough that merging them pays.
  bool worth_merging() const;
  // The room an insertion reserves beyond what is reserved now, pieces
  // and added items together.
  uint64_t insert_room() const;
  void insert(size_t at, VmValue item, VmWorkMeter* meter);
  VmValue remove(size_t at, std::vector<VmValue>& stored, VmWorkMeter* meter);
  // Brings the items into `stored`, in order; the edits are spent (the
  // caller drops them).
  void merge_into(std::vector<VmValue>& stored, VmWorkMeter* meter);
  // The items in one vector, copied.
  std::vector<VmValue> copy(const std::vector<VmValue>& stored) const;

 private:
  // Calls f(start, is_added, first, count) for each piece in order.
  template <class F>
  void for_each_run(F f) const;
};

}  // namespace veln::detail
