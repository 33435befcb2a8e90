// The two-way search. The needle is split at a critical factorization
// (needle = left + right, from the maximal suffixes under the two byte
// orders); at each window the right half is compared left to right, then
// the left half right to left. A mismatch in the right half shifts by the
// bytes matched so far plus one, a full right-half match that fails on the
// left shifts by the period; a periodic needle remembers how much of its
// right half is known to match after such a shift. Each haystack byte is
// compared a bounded number of times, so a search is O(n + m).
// When the window's first comparison fails, memchr skips straight to the
// next place where that needle byte occurs: only positions that cannot
// match are passed over, so the bound holds and common searches run at
// memchr's speed.
#include "interpreter_support/text_search.hpp"

#include <algorithm>
#include <cstring>

namespace veln {
namespace {

constexpr size_t kNone = static_cast<size_t>(-1);

// The maximal suffix of `s` under byte order (`reversed` flips it), and its
// period: returns the start index minus one (kNone for index 0 minus one).
size_t maximal_suffix(std::string_view s, bool reversed, size_t& period) {
  const auto* b = reinterpret_cast<const unsigned char*>(s.data());
  size_t max_suffix = kNone;
  size_t j = 0;
  size_t k = 1;
  size_t p = 1;
  while (j + k < s.size()) {
    const unsigned char a = b[j + k];
    const unsigned char c = b[max_suffix + k];  // max_suffix + k wraps from kNone to k - 1
    if (reversed ? c < a : a < c) {
      j += k;
      k = 1;
      p = j - max_suffix;
    } else if (a == c) {
      if (k != p) {
        ++k;
      } else {
        j += p;
        k = 1;
      }
    } else {
      max_suffix = j++;
      k = p = 1;
    }
  }
  period = p;
  return max_suffix;
}

}  // namespace

TextSearch::TextSearch(std::string_view needle) : needle_(needle) {
  const size_t m = needle.size();
  if (m < 3) {
    // Trivially critical: the last byte alone is the right half.
    suffix_ = m == 0 ? 0 : m - 1;
    period_ = 1;
  } else {
    size_t p1 = 1;
    size_t p2 = 1;
    const size_t s1 = maximal_suffix(needle, false, p1);
    const size_t s2 = maximal_suffix(needle, true, p2);
    // The later of the two maximal suffixes gives a critical factorization.
    if (s2 + 1 < s1 + 1) {
      suffix_ = s1 + 1;
      period_ = p1;
    } else {
      suffix_ = s2 + 1;
      period_ = p2;
    }
  }
  periodic_ = m > 0 && suffix_ + period_ <= m && needle.substr(0, suffix_) == needle.substr(period_, suffix_);
  if (!periodic_) period_ = std::max(suffix_, m - suffix_) + 1;
}

size_t TextSearch::find_general(std::string_view haystack, size_t from, VmWorkMeter* meter) const {
  const size_t n = haystack.size();
  const size_t m = needle_.size();
  if (from > n || m > n - from) return npos;
  if (m == 0) return from;
  const auto* h = reinterpret_cast<const unsigned char*>(haystack.data());
  const auto* x = reinterpret_cast<const unsigned char*>(needle_.data());
  uint64_t steps = 0;
  size_t found = npos;
  // Moves the window start `j` to the next position where the first
  // right-half byte matches; false when there is none.
  const auto skip_to_candidate = [&](size_t& j) {
    const size_t at = j + suffix_;
    const void* hit = std::memchr(h + at, x[suffix_], n - at);
    if (hit == nullptr) {
      steps += n - at;
      return false;
    }
    const auto pos = static_cast<size_t>(static_cast<const unsigned char*>(hit) - h);
    steps += pos - at + 1;
    j = pos - suffix_;
    return j <= n - m;
  };
  if (m == 1) {
    size_t j = from;
    if (skip_to_candidate(j)) found = j;
  } else if (periodic_) {
    size_t memory = 0;
    size_t j = from;
    while (j <= n - m) {
      if (memory == 0 && !skip_to_candidate(j)) break;
      size_t i = std::max(suffix_, memory);
      while (i < m && x[i] == h[i + j]) ++i;
      steps += i - std::max(suffix_, memory) + 1;
      if (i >= m) {
        size_t left = suffix_;
        while (left > memory && x[left - 1] == h[left - 1 + j]) --left;
        steps += suffix_ - left + 1;
        if (left <= memory) {
          found = j;
          break;
        }
        j += period_;
        memory = m - period_;
      } else {
        j += i - suffix_ + 1;
        memory = 0;
      }
    }
  } else {
    size_t j = from;
    while (j <= n - m) {
      if (!skip_to_candidate(j)) break;
      size_t i = suffix_ + 1;  // the skip matched the first right-half byte
      while (i < m && x[i] == h[i + j]) ++i;
      steps += i - suffix_;
      if (i >= m) {
        size_t left = suffix_;
        while (left > 0 && x[left - 1] == h[left - 1 + j]) --left;
        steps += suffix_ - left + 1;
        if (left == 0) {
          found = j;
          break;
        }
        j += period_;
      } else {
        j += i - suffix_ + 1;
      }
    }
  }
  if (meter != nullptr) meter->steps += steps;
  vm_count_text_read(steps);
  return found;
}

}  // namespace veln
