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
  // The search's count: the bytes read and the candidates rejected, in
  // units of a byte (a candidate weighs a step's bytes, in a long window
  // only),
  // handed to the running request a batch at a time; the remainder below
  // a step carries over, so the total is the same however batches fall.
  // Locals, not an object whose address a call takes: the loops keep them
  // in registers.
  const uint64_t candidate_units = n - from >= kVmLongTextBytes ? kVmTextBytesPerStep : 0;
  uint64_t bytes = 0;
  uint64_t units = 0;
  bool stopped = false;
  const auto read = [&](size_t k) {
    bytes += k;
    units += k;
  };
  // False, the search stopped, once the allowance has passed.
  const auto check = [&]() {
    if (units < kBatchBytes) [[likely]]
      return true;
    const uint64_t steps = units / kVmTextBytesPerStep;
    units %= kVmTextBytesPerStep;
    if (vm_step_work(steps)) return true;
    stopped = true;
    return false;
  };
  // A window tried in vain: a candidate (the one found is its caller's to
  // count, as a match).
  const auto reject = [&]() {
    units += candidate_units;
    return check();
  };
  // Moves the window start `j` to the next position where the first
  // right-half byte matches, a candidate; false when there is none, or the
  // allowance has passed. memchr reads a batch at most per call.
  const auto skip_to_candidate = [&](size_t& j) {
    size_t at = j + suffix_;
    while (true) {
      const size_t span = std::min(n - at, kBatchBytes);
      const void* hit = std::memchr(h + at, x[suffix_], span);
      if (hit != nullptr) {
        const auto pos = static_cast<size_t>(static_cast<const unsigned char*>(hit) - h);
        read(pos - at + 1);
        if (!check()) return false;
        j = pos - suffix_;
        return j <= n - m;
      }
      read(span);
      at += span;
      if (at == n || !check()) return false;
    }
  };
  // The first index from `i` on, below `end`, where the needle and the
  // window at `j` differ (`end` when none does), reading a batch at most
  // between checks; the bytes compared count, and one more for the end.
  const auto forward = [&](size_t i, size_t end, size_t j) {
    if (end - i <= kBatchBytes) [[likely]] {
      const size_t first = i;
      while (i < end && x[i] == h[i + j]) ++i;
      read(i - first + 1);
      return i;
    }
    while (i < end) {
      const size_t stop = i + std::min(end - i, kBatchBytes);
      const size_t first = i;
      while (i < stop && x[i] == h[i + j]) ++i;
      read(i - first);
      if (i < stop) break;
      if (i < end && !check()) return end;
    }
    read(1);
    return i;
  };
  // The same backwards: the lowest `left`, down to `low`, such that the
  // needle and the window match on [left, start).
  const auto backward = [&](size_t start, size_t low, size_t j) {
    size_t left = start;
    if (left - low <= kBatchBytes) [[likely]] {
      while (left > low && x[left - 1] == h[left - 1 + j]) --left;
      read(start - left + 1);
      return left;
    }
    while (left > low) {
      const size_t stop = left - std::min(left - low, kBatchBytes);
      const size_t first = left;
      while (left > stop && x[left - 1] == h[left - 1 + j]) --left;
      read(first - left);
      if (left > stop) break;
      if (left > low && !check()) return low;
    }
    read(1);
    return left;
  };
  size_t found = npos;
  if (m == 1) {
    size_t j = from;
    if (skip_to_candidate(j)) found = j;
  } else if (periodic_) {
    size_t memory = 0;
    size_t j = from;
    while (j <= n - m) {
      if (memory == 0 && !skip_to_candidate(j)) break;
      const size_t i = forward(std::max(suffix_, memory), m, j);
      if (stopped) break;
      if (i >= m) {
        const size_t left = backward(suffix_, memory, j);
        if (stopped) break;
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
      if (!reject()) break;
    }
  } else {
    size_t j = from;
    while (j <= n - m) {
      if (!skip_to_candidate(j)) break;
      const size_t i = forward(suffix_ + 1, m, j);  // the skip matched the first right-half byte
      if (stopped) break;
      if (i >= m) {
        const size_t left = backward(suffix_, 0, j);
        if (stopped) break;
        if (left == 0) {
          found = j;
          break;
        }
        j += period_;
      } else {
        j += i - suffix_ + 1;
      }
      if (!reject()) break;
    }
  }
  if (meter != nullptr) meter->steps += bytes;
  vm_count_text_read(units);
  return stopped ? npos : found;
}

}  // namespace veln
