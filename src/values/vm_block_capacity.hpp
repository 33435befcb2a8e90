// The capacities the value model reserves for the blocks behind its buffers
// (container items, dict entries and their hashes, text bytes, the pending
// edits of a set): how a block grows, when and to what it shrinks, and how
// it is reallocated to exactly that. A buffer is weighed by these capacities
// (vm_request_budget.hpp), so they follow from sizes alone: never from the
// growth a standard library picks for push_back or append, nor from the room
// a vector or string happened to have when it was handed over. For the value
// model's own source files; this file must not weigh or count anything.
#pragma once

#include <algorithm>
#include <bit>
#include <cstdint>
#include <iterator>
#include <string>
#include <vector>

#include "values/vm_request_budget.hpp"

namespace veln::detail {

// A block that must grow to hold `needed` takes the least power of two that
// does: room for as many again after a doubling, and never more than the
// size limit's own power of two.
inline uint64_t vm_grown_capacity(uint64_t needed) { return std::bit_ceil(needed); }

// A block holding `size` in room for `capacity` gives the rest back once it
// is used below a quarter (halving then leaves room to grow before the next
// reallocation); small blocks keep their room.
inline constexpr uint64_t kVmBlockKeptCapacity = 16;
inline bool vm_block_is_sparse(uint64_t size, uint64_t capacity) {
  return capacity > kVmBlockKeptCapacity && 4 * size < capacity;
}
inline uint64_t vm_shrunk_capacity(uint64_t size) { return 2 * size; }

// A text keeps up to kVmInPlaceTextBytes bytes in place, a longer one in a
// block of room for at least 32 bytes: a short text built piece by piece
// keeps the block it comes in, which the weight then covers.
inline constexpr uint64_t kVmLeastTextBlock = 32;
// The room a text of `size` bytes is made with.
inline uint64_t vm_text_block(uint64_t size) {
  return size <= kVmInPlaceTextBytes ? size : std::max(size, kVmLeastTextBlock);
}
// The room a text with room for `capacity` bytes (its size, when it has no
// more) has once it holds `needed`.
inline uint64_t vm_text_capacity_for(uint64_t capacity, uint64_t needed) {
  if (needed <= capacity) return capacity;
  return needed <= kVmInPlaceTextBytes ? needed : std::max(vm_grown_capacity(needed), kVmLeastTextBlock);
}

// Reallocates a vector or a string to room for exactly `capacity` items or
// bytes (at least its size). A fresh block is reserved and filled: asked
// for more than its present room, a string would otherwise take at least
// twice that room in one standard library.
template <class T>
void vm_reallocate_block(std::vector<T>& block, size_t capacity) {
  if (capacity == block.capacity()) return;
  std::vector<T> fresh;
  fresh.reserve(capacity);
  fresh.insert(fresh.end(), std::make_move_iterator(block.begin()), std::make_move_iterator(block.end()));
  block.swap(fresh);
}
inline void vm_reallocate_block(std::string& block, size_t capacity) {
  std::string fresh;
  fresh.reserve(capacity);
  fresh.append(block);
  block.swap(fresh);
}

// A block handed over with more room than its items need is cut to them:
// a block made from other values is sized by what it keeps.
template <class T>
void vm_fit_block(std::vector<T>& block) {
  if (block.capacity() > block.size()) [[unlikely]]
    block.shrink_to_fit();
}
// A text's bytes handed over with more room than vm_text_block gives them.
inline void vm_fit_text_block(std::string& block) {
  if (block.capacity() > std::max(vm_text_block(block.size()), kVmInPlaceTextBytes)) [[unlikely]]
    block.shrink_to_fit();
}

// Makes room in `block`, whose reserved capacity is `capacity`, for
// `needed` items by the rule above.
template <class T>
void vm_make_room(std::vector<T>& block, uint32_t& capacity, size_t needed) {
  if (needed <= capacity) [[likely]]
    return;
  capacity = static_cast<uint32_t>(vm_grown_capacity(needed));
  block.reserve(capacity);
}
// The capacity vm_make_room would add.
inline uint64_t vm_room_added(uint64_t capacity, uint64_t needed) {
  return needed <= capacity ? 0 : vm_grown_capacity(needed) - capacity;
}

}  // namespace veln::detail
