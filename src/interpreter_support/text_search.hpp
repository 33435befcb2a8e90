// Substring search in linear time: the two-way algorithm (Crochemore and
// Perrin), which compares at most about 2n + m bytes for a haystack of n and
// a needle of m bytes whatever their contents, in constant extra space. Every
// search of contract texts (membership of str and bytes, find, split,
// replace) goes through it; a needle scan at every position (n * m) must not
// come back.
#pragma once

#include <algorithm>
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
  // The running request counts a step per 8 bytes read and, in a window of
  // kVmLongTextBytes or more, a step per window tried in vain (a candidate:
  // the position found is the caller's to count), handed over at least
  // every kVmWorkBatch steps; once its allowance has passed the search
  // gives up at once with npos (the caller reports the budget's failure).
  // A meter counts every byte compared or skipped.
  size_t find(std::string_view haystack, size_t from = 0, VmWorkMeter* meter = nullptr) const {
    // One byte and no meter: memchr alone, without a call, over a batch's
    // bytes at most; the general search reads on from there.
    if (needle_.size() == 1 && meter == nullptr) {
      if (from >= haystack.size()) return npos;
      const size_t span = std::min(haystack.size() - from, kBatchBytes);
      const void* hit = std::memchr(haystack.data() + from, needle_[0], span);
      if (hit != nullptr) {
        const auto at = static_cast<size_t>(static_cast<const char*>(hit) - haystack.data());
        vm_count_text_read(at + 1 - from);
        return at;
      }
      vm_count_text_read(span);
      if (span == haystack.size() - from) return npos;
      from += span;
    }
    return find_general(haystack, from, meter);
  }

  size_t needle_size() const { return needle_.size(); }

  // Bytes a search reads between two hand-overs of its count.
  static constexpr size_t kBatchBytes = kVmWorkBatch * kVmTextBytesPerStep;

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

// After a search of `haystack` found nothing: the running request's failure
// when the search gave up for it (only a long window can), Ok otherwise.
inline VmStatus text_search_status(std::string_view haystack) {
  if (haystack.size() < kVmLongTextBytes) [[likely]]
    return Ok{};
  return vm_budget_status();
}

// Whether `needle` occurs in `haystack`, or the failure a search gave up for.
inline VmResult<bool> text_contains(std::string_view haystack, std::string_view needle, VmWorkMeter* meter = nullptr) {
  if (TextSearch(needle).find(haystack, 0, meter) != TextSearch::npos) return true;
  VELN_CHECK(text_search_status(haystack));
  return false;
}

}  // namespace veln
