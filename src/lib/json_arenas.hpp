// JsonArenas: the arenas that the JSON values of one owner (a module IR
// document) are placed in, alive as long as that owner. Declared as the
// owner's first member it goes last, after every value placed in it. An
// assignment adds the source's arenas to those already held and drops none:
// the owner's earlier values, destroyed by the assignments of the members
// declared after this one, may still live in them. Nothing here reads or
// knows JSON.
#pragma once

#include <cstddef>
#include <memory>
#include <memory_resource>
#include <vector>

namespace veln {

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

  // A new arena, held from now on; its first block holds `initial_bytes`.
  std::pmr::memory_resource* fresh(std::size_t initial_bytes) {
    arenas_.push_back(std::make_shared<std::pmr::monotonic_buffer_resource>(initial_bytes));
    return arenas_.back().get();
  }

 private:
  std::vector<std::shared_ptr<std::pmr::monotonic_buffer_resource>> arenas_;
};

}  // namespace veln
