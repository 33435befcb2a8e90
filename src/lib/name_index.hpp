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

#include "lib/key_bytes.hpp"

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
      if (same_key_bytes(names_[slots_[slot]], name)) return slots_[slot];
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

  // The length and the first, middle and last bytes, mixed: the names of
  // one list nearly always differ in one of them, and a name that shares all
  // four with another only lengthens a probe chain.
  static constexpr std::size_t hash(std::string_view s) {
    if (s.empty()) return 0;
    const auto byte = [&](std::size_t i) { return static_cast<std::uint32_t>(static_cast<unsigned char>(s[i])); };
    const std::uint32_t h = (static_cast<std::uint32_t>(s.size()) * 0x9E3779B1u) ^ (byte(0) * 0x85EBCA77u) ^
                            (byte(s.size() / 2) * 0xC2B2AE3Du) ^ (byte(s.size() - 1) * 0x27D4EB2Fu);
    return static_cast<std::size_t>(h ^ (h >> 15));
  }

  std::array<std::string_view, N> names_;
  std::array<std::uint8_t, kSlots> slots_{};
};

template <class... Names>
constexpr auto make_name_index(Names... names) {
  return NameIndex<sizeof...(Names)>(std::array<std::string_view, sizeof...(Names)>{names...});
}

}  // namespace veln
