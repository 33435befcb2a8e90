// FrameArena: the interpreter's own stack for the locals and value stacks of
// running calls. Memory comes in chunks that never move, so cells handed out
// stay valid while deeper calls run; it is strictly last-in first-out, and a
// push is a pointer bump. Evaluation state lives here instead of on the
// native stack, which only holds a few small frames per active call.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <tuple>
#include <utility>
#include <vector>

#include "values/vm_value.hpp"

namespace veln {

// A local variable: its value and whether it is bound.
struct Slot {
  VmValue value;
  bool bound = false;
};

class FrameArena {
 public:
  struct Mark {
    size_t chunk;
    std::byte* top;
  };

  FrameArena() = default;
  FrameArena(const FrameArena&) = delete;
  FrameArena& operator=(const FrameArena&) = delete;

  Mark mark() const { return Mark{current_, top_}; }
  void release(Mark m) {
    if (m.chunk != current_) {
      current_ = m.chunk;
      limit_ = chunks_.empty() ? nullptr : chunks_[current_].memory.get() + chunks_[current_].size;
    }
    top_ = m.top;
  }

  // `n` default-constructed objects; destroyed by destroy(), given back by release().
  template <class T>
  T* push(size_t n) {
    static_assert(alignof(T) <= alignof(std::max_align_t));
    return construct<T>(allocate(n * sizeof(T)), n);
  }
  // `slots` slots followed by `cells` values, in one piece.
  std::pair<Slot*, VmValue*> push_activation(size_t slots, size_t cells) {
    const size_t slot_bytes = round_up(slots * sizeof(Slot));
    std::byte* p = allocate(slot_bytes + cells * sizeof(VmValue));
    return {construct<Slot>(p, slots), construct<VmValue>(p + slot_bytes, cells)};
  }
  template <class T>
  static void destroy(T* items, size_t n) {
    for (size_t i = 0; i < n; ++i) items[i].~T();
  }

 private:
  static constexpr size_t kChunkBytes = 64 * 1024;
  struct Chunk {
    std::unique_ptr<std::byte[]> memory;
    size_t size = 0;
  };

  static size_t round_up(size_t bytes) {
    return (bytes + alignof(std::max_align_t) - 1) & ~(alignof(std::max_align_t) - 1);
  }
  template <class T>
  static T* construct(void* p, size_t n) {
    T* items = static_cast<T*>(p);
    for (size_t i = 0; i < n; ++i) new (items + i) T();
    return items;
  }

  std::byte* allocate(size_t bytes) {
    bytes = round_up(bytes);
    if (static_cast<size_t>(limit_ - top_) >= bytes && top_ != nullptr) [[likely]] {
      std::byte* p = top_;
      top_ += bytes;
      return p;
    }
    return allocate_in_next_chunk(bytes);
  }

  // The chunks after the current one are free (last-in first-out): reuse the
  // next one when it is large enough, else replace the free ones by a new one.
  [[gnu::noinline]] std::byte* allocate_in_next_chunk(size_t bytes) {
    const size_t next = chunks_.empty() || top_ == nullptr ? 0 : current_ + 1;
    if (next >= chunks_.size() || chunks_[next].size < bytes) {
      chunks_.resize(next);
      Chunk c;
      c.size = bytes > kChunkBytes ? bytes : kChunkBytes;
      // Uninitialised (a default-initialised array): every cell is
      // constructed when handed out, and a zeroed chunk would cost each
      // request a 64 kB fill.
      c.memory = std::unique_ptr<std::byte[]>(new std::byte[c.size]);
      chunks_.push_back(std::move(c));
    }
    current_ = next;
    top_ = chunks_[current_].memory.get() + bytes;
    limit_ = chunks_[current_].memory.get() + chunks_[current_].size;
    return chunks_[current_].memory.get();
  }

  std::vector<Chunk> chunks_;
  size_t current_ = 0;
  std::byte* top_ = nullptr;
  std::byte* limit_ = nullptr;
};

// The locals and value stack of one function activation, given back on
// every path. The stack cells are constructed but never destroyed here: the
// instruction loop leaves every one of them without a heap value when it
// returns (see run_code_on), so only the slots are released one by one.
class ActivationCells {
 public:
  ActivationCells(FrameArena& arena, size_t slots, size_t cells)
      : arena_(arena), mark_(arena.mark()), slots_n_(slots) {
    std::tie(slots_, cells_) = arena.push_activation(slots, cells);
  }
  ActivationCells(const ActivationCells&) = delete;
  ActivationCells& operator=(const ActivationCells&) = delete;
  ~ActivationCells() {
    FrameArena::destroy(slots_, slots_n_);
    arena_.release(mark_);
  }
  Slot* slots() const { return slots_; }
  VmValue* cells() const { return cells_; }

 private:
  FrameArena& arena_;
  FrameArena::Mark mark_;
  size_t slots_n_;
  Slot* slots_ = nullptr;
  VmValue* cells_ = nullptr;
};

// Cells taken from the arena for one activation, given back on every path.
template <class T>
class ArenaCells {
 public:
  ArenaCells(FrameArena& arena, size_t n) : arena_(arena), mark_(arena.mark()), cells_(arena.push<T>(n)), n_(n) {}
  ArenaCells(const ArenaCells&) = delete;
  ArenaCells& operator=(const ArenaCells&) = delete;
  ~ArenaCells() {
    FrameArena::destroy(cells_, n_);
    arena_.release(mark_);
  }
  T* get() const { return cells_; }

 private:
  FrameArena& arena_;
  FrameArena::Mark mark_;
  T* cells_;
  size_t n_;
};

}  // namespace veln
