// Byte equality of short keys and names, the test behind every member and
// name lookup of the module IR readers. Keys and names are a few bytes
// long, so comparing them as one or two machine words beats a library call.
// Nothing here orders keys or knows JSON.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <type_traits>

namespace veln {

namespace key_bytes_detail {
template <class Word>
inline Word load(const char* at) noexcept {
  Word w;
  std::memcpy(&w, at, sizeof(Word));
  return w;
}
}  // namespace key_bytes_detail

// Exact byte equality. Two overlapping words cover a text of 4 to 16 bytes
// without reading a byte outside it. Inlined: a call would cost more than
// the comparison.
[[gnu::always_inline]] constexpr bool same_key_bytes(std::string_view a, std::string_view b) noexcept {
  using key_bytes_detail::load;
  const std::size_t n = a.size();
  if (b.size() != n) return false;
  if (std::is_constant_evaluated() || n > 16) return a == b;
  const char* x = a.data();
  const char* y = b.data();
  if (n >= 8) {
    return ((load<std::uint64_t>(x) ^ load<std::uint64_t>(y)) |
            (load<std::uint64_t>(x + n - 8) ^ load<std::uint64_t>(y + n - 8))) == 0;
  }
  if (n >= 4) {
    return ((load<std::uint32_t>(x) ^ load<std::uint32_t>(y)) |
            (load<std::uint32_t>(x + n - 4) ^ load<std::uint32_t>(y + n - 4))) == 0;
  }
  for (std::size_t i = 0; i < n; ++i)
    if (x[i] != y[i]) return false;
  return true;
}

}  // namespace veln
