// NameIndex: a compile-time open-addressed hash table from a fixed list of
// names to their positions in that list. It resolves a node kind, operator or
// allowed value with one hash and one equality check instead of a chain of
// string compares. It must stay constexpr-constructible and allocation-free;
// it never owns the strings (the names are literals).
#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace veln {

template <std::size_t N>
class NameIndex {
 public:
  static constexpr std::size_t kNotFound = static_cast<std::size_t>(-1);

  constexpr explicit NameIndex(const std::array<std::string_view, N>& names) : names_(names) {
    slots_.fill(kEmptySlot);
    for (std::size_t i = 0; i < N; ++i) {
      std::size_t slot = hash(names[i]) & kMask;
      while (slots_[slot] != kEmptySlot) slot = (slot + 1) & kMask;
      slots_[slot] = static_cast<std::uint8_t>(i);
    }
  }

  // The position of `name` in the list, or kNotFound. Exact byte comparison.
  constexpr std::size_t find(std::string_view name) const {
    std::size_t slot = hash(name) & kMask;
    while (slots_[slot] != kEmptySlot) {
      if (names_[slots_[slot]] == name) return slots_[slot];
      slot = (slot + 1) & kMask;
    }
    return kNotFound;
  }

  constexpr bool contains(std::string_view name) const { return find(name) != kNotFound; }
  constexpr std::string_view name(std::size_t index) const { return names_[index]; }
  static constexpr std::size_t size() { return N; }

 private:
  static_assert(N > 0 && N < 255, "a name index holds 1 to 254 names");
  // At most a quarter full, so probe chains stay short.
  static constexpr std::size_t kSlots = std::bit_ceil(N * 4);
  static constexpr std::size_t kMask = kSlots - 1;
  static constexpr std::uint8_t kEmptySlot = 0xFF;

  // FNV-1a with the length folded in; names are short, so this is a handful
  // of multiplies.
  static constexpr std::size_t hash(std::string_view s) {
    std::uint64_t h = 14695981039346656037ull ^ s.size();
    for (char c : s) {
      h ^= static_cast<unsigned char>(c);
      h *= 1099511628211ull;
    }
    return static_cast<std::size_t>(h ^ (h >> 29));
  }

  std::array<std::string_view, N> names_;
  std::array<std::uint8_t, kSlots> slots_{};
};

template <class... Names>
constexpr auto make_name_index(Names... names) {
  return NameIndex<sizeof...(Names)>(std::array<std::string_view, sizeof...(Names)>{names...});
}

}  // namespace veln
