// FrameArena: the interpreter's own stack for the locals and value stacks of
// running calls. Memory comes in chunks that never move, so cells handed out
// stay valid while deeper calls run; it is strictly last-in first-out.
// Evaluation state lives here instead of on the native stack, which only
// holds one small frame per active call.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
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
    size_t chunk = 0;
    size_t used = 0;
  };

  FrameArena() = default;
  FrameArena(const FrameArena&) = delete;
  FrameArena& operator=(const FrameArena&) = delete;

  Mark mark() const { return Mark{current_, chunks_.empty() ? 0 : chunks_[current_].used}; }

  // `n` default-constructed objects; released (destroyed) by release().
  template <class T>
  T* push(size_t n) {
    static_assert(alignof(T) <= alignof(std::max_align_t));
    void* p = allocate(n * sizeof(T));
    T* items = static_cast<T*>(p);
    for (size_t i = 0; i < n; ++i) new (items + i) T();
    return items;
  }
  template <class T>
  void destroy(T* items, size_t n) {
    for (size_t i = 0; i < n; ++i) items[i].~T();
  }
  void release(Mark m) {
    current_ = m.chunk;
    if (!chunks_.empty()) chunks_[current_].used = m.used;
  }

 private:
  static constexpr size_t kChunkBytes = 64 * 1024;
  struct Chunk {
    std::unique_ptr<std::byte[]> memory;
    size_t size = 0;
    size_t used = 0;
  };

  void* allocate(size_t bytes) {
    bytes = (bytes + alignof(std::max_align_t) - 1) & ~(alignof(std::max_align_t) - 1);
    if (chunks_.empty()) add_chunk(bytes);
    while (chunks_[current_].size - chunks_[current_].used < bytes) {
      if (current_ + 1 < chunks_.size() && chunks_[current_ + 1].size >= bytes) {
        ++current_;
        chunks_[current_].used = 0;
      } else {
        add_chunk(bytes);
      }
    }
    Chunk& c = chunks_[current_];
    void* p = c.memory.get() + c.used;
    c.used += bytes;
    return p;
  }
  void add_chunk(size_t bytes) {
    const size_t size = bytes > kChunkBytes ? bytes : kChunkBytes;
    Chunk c;
    c.memory = std::make_unique<std::byte[]>(size);
    c.size = size;
    // A too-small chunk after the current one is dropped with those after it.
    if (!chunks_.empty()) chunks_.resize(current_ + 1);
    chunks_.push_back(std::move(c));
    current_ = chunks_.size() - 1;
  }

  std::vector<Chunk> chunks_;
  size_t current_ = 0;
};

// Cells taken from the arena for one activation, given back on every path.
template <class T>
class ArenaCells {
 public:
  ArenaCells(FrameArena& arena, size_t n) : arena_(arena), mark_(arena.mark()), cells_(arena.push<T>(n)), n_(n) {}
  ArenaCells(const ArenaCells&) = delete;
  ArenaCells& operator=(const ArenaCells&) = delete;
  ~ArenaCells() {
    arena_.destroy(cells_, n_);
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
