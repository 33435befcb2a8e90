// JsonArenas: the arenas that the JSON values of one owner (a module IR
// document) are placed in, alive as long as that owner. Declared as the
// owner's first member it goes last, after every value placed in it. An
// assignment adds the source's arenas to those already held and drops none:
// the owner's earlier values, destroyed by the assignments of the members
// declared after this one, may still live in them. Nothing here reads or
// knows JSON.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string_view>
#include <vector>

namespace veln {

// One arena: fixed blocks handed out front to back and released together.
// Blocks stay small enough for the general allocator to serve them from
// memory it has already touched (a block that doubled each time would come
// fresh from the system for a large document). Deallocation does nothing.
class JsonArena final {
 public:
  JsonArena() = default;
  JsonArena(const JsonArena&) = delete;
  JsonArena& operator=(const JsonArena&) = delete;
  ~JsonArena() {
    for (void* block : blocks_) ::operator delete(block);
  }

  // Room for `count` objects of type T (not constructed).
  template <class T>
  T* allocate_for(std::size_t count) {
    return static_cast<T*>(allocate(count * sizeof(T), alignof(T)));
  }

  // A copy of `text` that lives as long as the arena.
  std::string_view copy_of(std::string_view text) {
    if (text.empty()) return {};
    char* at = static_cast<char*>(allocate(text.size(), 1));
    std::memcpy(at, text.data(), text.size());
    return {at, text.size()};
  }

  // Inlined: it is the reader's step for every array and object, and the
  // compiler would otherwise call it from the reader's large switch.
  [[gnu::always_inline]] void* allocate(std::size_t bytes, std::size_t align) {
    if (next_ != nullptr) {
      std::byte* at = static_cast<std::byte*>(aligned_in(next_ + used_, align));
      if (bytes <= static_cast<std::size_t>(next_ + capacity_ - at)) {
        used_ = static_cast<std::size_t>(at - next_) + bytes;
        return at;
      }
    }
    return allocate_slow(bytes, align);
  }

 private:
  static constexpr std::size_t kBlockBytes = 32 * 1024;

  // Blocks start aligned for any object and hold a multiple of every
  // alignment used, so an aligned start never passes the block's end.
  void* allocate_slow(std::size_t bytes, std::size_t align) {
    // A large request gets a block of its own; the current block goes on.
    const std::size_t room = bytes + align;
    if (room > kBlockBytes / 4) return aligned_in(new_block(room), align);
    next_ = static_cast<std::byte*>(new_block(kBlockBytes));
    capacity_ = kBlockBytes;
    std::byte* at = static_cast<std::byte*>(aligned_in(next_, align));
    used_ = static_cast<std::size_t>(at - next_) + bytes;
    return at;
  }

  // The slot comes first (growing geometrically, where a reserve of one more
  // would copy the whole list for each block), so a failed allocation leaves
  // only a null slot behind and nothing to leak.
  void* new_block(std::size_t bytes) {
    blocks_.push_back(nullptr);
    blocks_.back() = ::operator new(bytes);
    return blocks_.back();
  }
  static void* aligned_in(void* block, std::size_t align) {
    const std::uintptr_t p = reinterpret_cast<std::uintptr_t>(block);
    return reinterpret_cast<void*>((p + align - 1) & ~(std::uintptr_t{align} - 1));
  }

  std::byte* next_ = nullptr;
  std::size_t used_ = 0;
  std::size_t capacity_ = 0;
  std::vector<void*> blocks_;
};

class JsonArenas {
 public:
  JsonArenas() = default;
  JsonArenas(const JsonArenas&) = default;
  JsonArenas(JsonArenas&&) noexcept = default;
  JsonArenas& operator=(const JsonArenas& other) {
    if (this != &other) arenas_.insert(arenas_.end(), other.arenas_.begin(), other.arenas_.end());
    return *this;
  }
  JsonArenas& operator=(JsonArenas&& other) { return *this = static_cast<const JsonArenas&>(other); }
  ~JsonArenas() = default;

  // A new arena, held from now on.
  JsonArena* fresh() {
    arenas_.push_back(std::make_shared<JsonArena>());
    return arenas_.back().get();
  }
  // An arena shared with other owners, held from now on.
  void share(std::shared_ptr<JsonArena> arena) { arenas_.push_back(std::move(arena)); }

 private:
  std::vector<std::shared_ptr<JsonArena>> arenas_;
};

}  // namespace veln
