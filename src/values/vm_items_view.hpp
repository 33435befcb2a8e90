// VmItemsView: the items of a sequence value in order, read where they lie,
// for the searches that must not merge a large set's pending edits (see
// VmValue::seq_insert). It reads; it must never change a value.
#pragma once

#include <algorithm>
#include <compare>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <optional>
#include <span>
#include <vector>

#include "values/vm_sort.hpp"
#include "values/vm_value.hpp"

namespace veln {

// The items of a sequence in order, read where they lie: through the pieces
// of a set with pending edits, or straight from one span. Random access
// costs a binary search over the pieces, skipped while reads stay within
// the piece last read (as the later steps of a search do). Valid until the
// value is edited or its items() are taken.
class VmItemsView {
 public:
  // A run of positions [end of the previous piece, end), read from the
  // stored items at `from`, or from the added ones when kAdded is set.
  struct Piece {
    static constexpr uint32_t kAdded = 0x8000'0000u;
    uint32_t end;
    uint32_t from;
  };

  // The index of the piece holding position `at` (the first whose end is
  // past it); pieces.size() when `at` is past the last.
  static size_t piece_at(std::span<const Piece> pieces, size_t at) {
    return static_cast<size_t>(std::upper_bound(pieces.begin(), pieces.end(), at,
                                                [](size_t i, const Piece& p) { return i < p.end; }) -
                               pieces.begin());
  }

  VmItemsView(std::span<const VmValue> items) : stored_(items.data()), size_(items.size()) {}
  VmItemsView(const std::vector<VmValue>& items) : VmItemsView(std::span<const VmValue>(items)) {}
  VmItemsView(const VmValue* stored, const VmValue* added, std::span<const Piece> pieces)
      : stored_(stored),
        added_(added),
        pieces_(pieces.data()),
        piece_count_(pieces.size()),
        size_(pieces.empty() ? 0 : pieces.back().end) {}

  size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  // The items as one span, when they lie in one.
  std::optional<std::span<const VmValue>> contiguous() const {
    if (pieces_ != nullptr) return std::nullopt;
    return std::span<const VmValue>(stored_, size_);
  }
  const VmValue& operator[](size_t i) const { return pieces_ == nullptr ? stored_[i] : in_pieces(i); }
  const VmValue& front() const { return (*this)[0]; }
  const VmValue& back() const { return (*this)[size_ - 1]; }

  class iterator {
   public:
    using iterator_category = std::random_access_iterator_tag;
    using value_type = VmValue;
    using difference_type = std::ptrdiff_t;
    using pointer = const VmValue*;
    using reference = const VmValue&;
    iterator() = default;
    iterator(const VmItemsView* view, size_t at) : view_(view), at_(static_cast<difference_type>(at)) {}
    reference operator*() const { return (*view_)[static_cast<size_t>(at_)]; }
    pointer operator->() const { return &**this; }
    reference operator[](difference_type d) const { return (*view_)[static_cast<size_t>(at_ + d)]; }
    iterator& operator++() { return *this += 1; }
    iterator& operator--() { return *this -= 1; }
    iterator operator++(int) {
      iterator before = *this;
      ++*this;
      return before;
    }
    iterator operator--(int) {
      iterator before = *this;
      --*this;
      return before;
    }
    iterator& operator+=(difference_type d) {
      at_ += d;
      return *this;
    }
    iterator& operator-=(difference_type d) {
      at_ -= d;
      return *this;
    }
    friend iterator operator+(iterator it, difference_type d) { return it += d; }
    friend iterator operator+(difference_type d, iterator it) { return it += d; }
    friend iterator operator-(iterator it, difference_type d) { return it -= d; }
    friend difference_type operator-(const iterator& a, const iterator& b) { return a.at_ - b.at_; }
    friend bool operator==(const iterator& a, const iterator& b) { return a.at_ == b.at_; }
    friend auto operator<=>(const iterator& a, const iterator& b) { return a.at_ <=> b.at_; }

   private:
    const VmItemsView* view_ = nullptr;
    difference_type at_ = 0;
  };
  iterator begin() const { return iterator(this, 0); }
  iterator end() const { return iterator(this, size_); }

  // The first position in [from, to) whose item fails `pred`, which holds
  // for a prefix of them (std::partition_point): a binary search over the
  // pieces by their last items, then one within a piece.
  template <class Pred>
  size_t partition_point(Pred pred, size_t from = 0, size_t to = SIZE_MAX) const {
    to = std::min(to, size_);
    if (from >= to) return from;
    if (pieces_ == nullptr) return static_cast<size_t>(vm_partition_point(stored_ + from, stored_ + to, pred) - stored_);
    const std::span<const Piece> all(pieces_, piece_count_);
    // Pieces lo..hi overlap the range; the last items of those before hi
    // lie within it.
    size_t lo = piece_at(all, from);
    size_t hi = piece_at(all, to - 1);
    while (lo < hi) {
      const size_t mid = lo + (hi - lo) / 2;
      if (pred(piece_items(mid).back())) {
        lo = mid + 1;
      } else {
        hi = mid;
      }
    }
    // The item found is most often read next: from this piece.
    last_piece_ = lo;
    const std::span<const VmValue> run = piece_items(lo);
    const size_t start = piece_start(lo);
    const size_t first = std::max(start, from) - start;
    const size_t end = std::min<size_t>(pieces_[lo].end, to) - start;
    return start + static_cast<size_t>(vm_partition_point(run.begin() + first, run.begin() + end, pred) - run.begin());
  }

 private:
  size_t piece_start(size_t j) const { return j == 0 ? 0 : pieces_[j - 1].end; }
  std::span<const VmValue> piece_items(size_t j) const {
    const uint32_t from = pieces_[j].from;
    const VmValue* source = (from & Piece::kAdded) != 0 ? added_ : stored_;
    return {source + (from & ~Piece::kAdded), pieces_[j].end - piece_start(j)};
  }
  const VmValue& in_pieces(size_t i) const;
  const VmValue* stored_;
  const VmValue* added_ = nullptr;
  const Piece* pieces_ = nullptr;
  size_t piece_count_ = 0;
  size_t size_;
  // The piece of the last read through the pieces.
  mutable size_t last_piece_ = 0;
};

}  // namespace veln
