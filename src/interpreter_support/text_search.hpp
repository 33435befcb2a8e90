// Substring search in linear time: the two-way algorithm (Crochemore and
// Perrin), which compares at most about 2n + m bytes for a haystack of n and
// a needle of m bytes whatever their contents, in constant extra space. Every
// search of contract texts (membership of str and bytes, find, split,
// replace) goes through it; a needle scan at every position (n * m) must not
// come back.
#pragma once

#include <cstddef>
#include <cstring>
#include <string_view>

#include "values/vm_work_meter.hpp"
#include "values/vm_work_tally.hpp"

namespace veln {

class TextSearch {
 public:
  static constexpr size_t npos = std::string_view::npos;

  // Prepares the search for `needle`, which must outlive this object.
  explicit TextSearch(std::string_view needle);

  // Byte offset of the first occurrence at or after `from`, or npos. An empty
  // needle is found at `from` (when `from` is not beyond the haystack).
  // The running request counts a step per 8 bytes read; a meter counts
  // every byte compared or skipped.
  size_t find(std::string_view haystack, size_t from = 0, VmWorkMeter* meter = nullptr) const {
    // One byte and no meter: memchr alone, without a call.
    if (needle_.size() == 1 && meter == nullptr) {
      if (from >= haystack.size()) return npos;
      const void* hit = std::memchr(haystack.data() + from, needle_[0], haystack.size() - from);
      const size_t at = hit == nullptr ? npos : static_cast<size_t>(static_cast<const char*>(hit) - haystack.data());
      vm_count_text_read((hit == nullptr ? haystack.size() : at + 1) - from);
      return at;
    }
    return find_general(haystack, from, meter);
  }

  size_t needle_size() const { return needle_.size(); }

 private:
  size_t find_general(std::string_view haystack, size_t from, VmWorkMeter* meter) const;

  std::string_view needle_;
  size_t suffix_ = 0;  // start of the right half (the critical factorization)
  size_t period_ = 1;
  bool periodic_ = false;  // the left half repeats within the right half
};

// One search without keeping the preparation.
inline size_t text_find(std::string_view haystack, std::string_view needle, size_t from = 0) {
  return TextSearch(needle).find(haystack, from);
}

}  // namespace veln
