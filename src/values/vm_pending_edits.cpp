// Pending edits of a large set (see header): piece bookkeeping and merging.
#include "values/vm_pending_edits.hpp"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "values/vm_block_capacity.hpp"

namespace veln {

using Piece = VmItemsView::Piece;

namespace {

uint32_t piece_start(std::span<const Piece> pieces, size_t j) { return j == 0 ? 0 : pieces[j - 1].end; }

uint32_t source_index(uint32_t from) { return from & ~Piece::kAdded; }

// Moves the ends of pieces [first, ...) by `delta` (one place up or down).
// A piece is two 32-bit words, its end first: on a little-endian machine
// the end is the low half of a 64-bit word and never wraps (it stays within
// [1, 2^32)), so the pieces move as whole words, several per instruction.
void shift_ends(std::vector<Piece>& pieces, size_t first, int64_t delta) {
  static_assert(sizeof(Piece) == sizeof(uint64_t) && offsetof(Piece, end) == 0);
  if constexpr (std::endian::native == std::endian::little) {
    const auto step = static_cast<uint64_t>(delta);
    // Bounds read once: the stores could otherwise alias the vector's own.
    Piece* p = pieces.data();
    const size_t count = pieces.size();
    for (size_t k = first; k < count; ++k) {
      uint64_t word;
      std::memcpy(&word, p + k, sizeof word);
      word += step;
      std::memcpy(p + k, &word, sizeof word);
    }
  } else {
    for (size_t k = first; k < pieces.size(); ++k) pieces[k].end = static_cast<uint32_t>(pieces[k].end + delta);
  }
}

}  // namespace

namespace detail {

VmPendingEdits::VmPendingEdits(size_t stored_count) {
  if (stored_count == 0) return;
  vm_make_room(pieces, pieces_capacity, 1);
  pieces.push_back(Piece{static_cast<uint32_t>(stored_count), 0});
}

// An insertion adds an item and at most two pieces.
uint64_t VmPendingEdits::insert_room() const {
  return vm_room_added(added_capacity, added.size() + 1) + vm_room_added(pieces_capacity, pieces.size() + 2);
}

bool VmPendingEdits::worth_merging() const {
  // Each edit shifts the pieces after it, and a merge moves every item: at
  // about sqrt(n) pieces the two costs balance. A shift steps through a
  // small array in cache while a merge moves the items themselves, so the
  // balance lies past 8 sqrt(n) pieces.
  const auto root = static_cast<size_t>(std::sqrt(static_cast<double>(size())));
  return pieces.size() > 64 + 8 * root;
}

void VmPendingEdits::insert(size_t at, VmValue item, VmWorkMeter* meter) {
  const uint32_t a = static_cast<uint32_t>(added.size());
  vm_make_room(added, added_capacity, added.size() + 1);
  vm_make_room(pieces, pieces_capacity, pieces.size() + 2);
  added.push_back(std::move(item));
  const auto position = static_cast<uint32_t>(at);
  size_t j = VmItemsView::piece_at(pieces, at);
  const uint32_t start = j < pieces.size() ? piece_start(pieces, j) : static_cast<uint32_t>(size());
  size_t shift_from;
  if (position == start) {
    // Between two pieces: the previous one grows when it ends with the
    // previously added item (ascending additions make one piece).
    Piece* before = j > 0 ? &pieces[j - 1] : nullptr;
    const bool extends = before != nullptr && (before->from & Piece::kAdded) != 0 &&
                         source_index(before->from) + (before->end - piece_start(pieces, j - 1)) == a;
    if (extends) {
      shift_from = j - 1;
    } else {
      pieces.insert(pieces.begin() + static_cast<ptrdiff_t>(j), Piece{position, a | Piece::kAdded});
      shift_from = j;
    }
  } else {
    // Inside piece j: split it around the new item.
    const Piece whole = pieces[j];
    const Piece right{whole.end, whole.from + (position - start)};
    pieces[j].end = position;
    const Piece middle{position, a | Piece::kAdded};
    pieces.insert(pieces.begin() + static_cast<ptrdiff_t>(j + 1), {middle, right});
    shift_from = j + 1;
  }
  shift_ends(pieces, shift_from, 1);
  vm_tick(meter, 1 + pieces.size() - shift_from);
}

VmValue VmPendingEdits::remove(size_t at, std::vector<VmValue>& stored, VmWorkMeter* meter) {
  const auto position = static_cast<uint32_t>(at);
  const size_t j = VmItemsView::piece_at(pieces, at);
  const uint32_t start = piece_start(pieces, j);
  const Piece whole = pieces[j];
  vm_make_room(pieces, pieces_capacity, pieces.size() + 1);  // a removal splits at most one piece
  std::vector<VmValue>& source = (whole.from & Piece::kAdded) != 0 ? added : stored;
  VmValue out = std::move(source[source_index(whole.from) + (position - start)]);
  size_t shift_from = j;
  if (whole.end - start == 1) {
    pieces.erase(pieces.begin() + static_cast<ptrdiff_t>(j));
  } else if (position == start) {
    ++pieces[j].from;
  } else if (position + 1 < whole.end) {
    // Inside piece j: it splits around the gap.
    pieces[j].end = position + 1;  // shifted back to `position` below
    pieces.insert(pieces.begin() + static_cast<ptrdiff_t>(j + 1), Piece{whole.end, whole.from + (position - start) + 1});
  }
  shift_ends(pieces, shift_from, -1);
  vm_tick(meter, 1 + pieces.size() - shift_from);
  return out;
}

template <class F>
void VmPendingEdits::for_each_run(F f) const {
  uint32_t start = 0;
  for (const Piece& p : pieces) {
    f(start, (p.from & Piece::kAdded) != 0, source_index(p.from), p.end - start);
    start = p.end;
  }
}

void VmPendingEdits::merge_into(std::vector<VmValue>& stored, VmWorkMeter* meter) {
  // In place, so that a large set is not reallocated at every merge. The
  // stored runs keep their order: a run moving left only lands on places
  // that runs before it have left, one moving right on places of runs after
  // it. So the left movers go first, front to back, then the right movers,
  // back to front; then the added items fill the gaps.
  const size_t n = size();
  if (stored.size() < n) stored.resize(n);
  const auto at = [&stored](uint32_t i) { return stored.begin() + static_cast<ptrdiff_t>(i); };
  struct Run {
    uint32_t to, from, count;
  };
  std::vector<Run> right_movers;
  for_each_run([&](uint32_t to, bool is_added, uint32_t from, uint32_t count) {
    if (is_added || to == from) return;
    if (to < from) std::move(at(from), at(from + count), at(to));
    else right_movers.push_back(Run{to, from, count});
  });
  for (auto it = right_movers.rbegin(); it != right_movers.rend(); ++it)
    std::move_backward(at(it->from), at(it->from + it->count), at(it->to + it->count));
  for_each_run([&](uint32_t to, bool is_added, uint32_t from, uint32_t count) {
    if (is_added) std::move(added.begin() + from, added.begin() + from + count, at(to));
  });
  stored.resize(n);  // what lies past the items was moved out
  vm_tick(meter, n + pieces.size());
}

std::vector<VmValue> VmPendingEdits::copy(const std::vector<VmValue>& stored) const {
  std::vector<VmValue> out;
  out.reserve(size());
  for_each_run([&](uint32_t, bool is_added, uint32_t from, uint32_t count) {
    const auto first = (is_added ? added : stored).begin() + from;
    out.insert(out.end(), first, first + count);
  });
  return out;
}

}  // namespace detail
}  // namespace veln
