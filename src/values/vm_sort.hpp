// The engine's own sorting, merging and ordered searches. Comparisons are
// counted as work (and against the comparison cap of set operations), so
// how many a sort makes decides where a request is refused: that number
// must follow from the input alone. The standard library's algorithms only
// bound it, differ between libstdc++ and libc++, and std::stable_sort and
// std::inplace_merge switch to another algorithm when their buffer cannot
// be had. These make the same comparisons, in the same order, on every
// build; the merge buffer is an ordinary allocation (its failure is
// std::bad_alloc, never a different sequence).
//
// Every algorithm here is stable and exception-safe: when a comparison
// throws, the range holds the same elements as before (in some order), so a
// caller that keeps its values after a failed sort loses none of them.
// Nothing here may depend on element addresses, allocation outcomes or
// anything but the comparison results.
#pragma once

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <iterator>
#include <utility>
#include <vector>

namespace veln {

namespace detail {

// Sorted runs that the merge passes start from; the insertion sort of a run
// this short is cheaper than merging it.
inline constexpr std::ptrdiff_t kVmSortRun = 32;

// Binary insertion: an element that is not below its predecessor stays
// (one comparison, so sorted input costs n - 1); otherwise it goes after
// the last element it is not below.
template <class It, class Less>
void vm_insertion_sort(It first, It last, Less& less) {
  if (last - first < 2) return;
  for (It i = first + 1; i != last; ++i) {
    if (!less(*i, *(i - 1))) continue;
    It lo = first;
    It hi = i - 1;
    while (lo < hi) {
      const It mid = lo + (hi - lo) / 2;
      if (less(*i, *mid)) {
        hi = mid;
      } else {
        lo = mid + 1;
      }
    }
    auto moving = std::move(*i);
    std::move_backward(lo, i, i + 1);
    *lo = std::move(moving);
  }
}

// Moves the lesser head of two sorted runs to `out` until one runs out, the
// first run winning ties; the positions advance in place, so a caller can
// see how far it got when a comparison throws.
template <class A, class B, class Out, class Less>
void vm_merge_forward(A& a, A a_end, B& b, B b_end, Out& out, Less& less) {
  while (a != a_end && b != b_end) {
    if (less(*b, *a)) {
      *out = std::move(*b);
      ++b;
    } else {
      *out = std::move(*a);
      ++a;
    }
    ++out;
  }
}

// Merges the sorted runs [first, mid) and [mid, last) through `buffer`,
// the left run winning ties. The shorter run moves to the buffer, so it
// never needs more than half the range; the merge then runs from the end
// that the buffered run left open. The holes left by the buffer's
// remainder are always next to the unread part of the other run, so a
// throwing comparison moves that remainder back into them.
template <class It, class T, class Less>
void vm_merge_through(It first, It mid, It last, std::vector<T>& buffer, Less& less) {
  buffer.clear();
  using BufferIt = typename std::vector<T>::iterator;
  struct Restore {
    BufferIt& from;
    BufferIt& to;
    It& hole;
    ~Restore() { std::move(from, to, hole); }
  };
  if (mid - first <= last - mid) {
    for (It p = first; p != mid; ++p) buffer.push_back(std::move(*p));
    BufferIt b = buffer.begin();
    BufferIt b_end = buffer.end();
    It right = mid;
    It out = first;  // the holes are [out, right)
    Restore restore{b, b_end, out};
    vm_merge_forward(b, b_end, right, last, out, less);
  } else {
    for (It p = mid; p != last; ++p) buffer.push_back(std::move(*p));
    BufferIt b = buffer.begin();
    BufferIt b_end = buffer.end();
    It left_end = mid;  // the holes are [left_end, out)
    It out = last;
    Restore restore{b, b_end, left_end};
    while (b != b_end && left_end != first) {
      if (less(*(b_end - 1), *(left_end - 1))) {
        --left_end;
        --out;
        *out = std::move(*left_end);
      } else {
        --b_end;
        --out;
        *out = std::move(*b_end);
      }
    }
  }
}

template <class It>
using VmSortValue = typename std::iterator_traits<It>::value_type;

}  // namespace detail

// Stable merge sort, bottom-up: insertion-sorted runs of 32, then passes
// that merge neighbouring runs of doubling width, a merge skipped (one
// comparison) when its two runs are in order already.
template <class It, class Less = std::less<>>
void vm_stable_sort(It first, It last, Less less = {}) {
  const std::ptrdiff_t n = last - first;
  if (n < 2) return;
  for (std::ptrdiff_t lo = 0; lo < n; lo += detail::kVmSortRun)
    detail::vm_insertion_sort(first + lo, first + std::min(lo + detail::kVmSortRun, n), less);
  std::vector<detail::VmSortValue<It>> buffer;
  for (std::ptrdiff_t width = detail::kVmSortRun; width < n; width *= 2) {
    for (std::ptrdiff_t lo = 0; lo + width < n; lo += 2 * width) {
      const It mid = first + (lo + width);
      if (!less(*mid, *(mid - 1))) continue;
      if (buffer.capacity() == 0) buffer.reserve(static_cast<size_t>(n / 2));
      detail::vm_merge_through(first + lo, mid, first + std::min(lo + 2 * width, n), buffer, less);
    }
  }
}

// The most comparisons vm_stable_sort makes on n items, with room to spare
// (binary insertion into runs of 32, then at most n per merge pass): an
// operation that can afford this many knows its sort cannot pass its
// allowance.
constexpr uint64_t vm_sort_comparison_bound(uint64_t n) { return n * (std::bit_width(n) + 8); }

// Merges the sorted runs [first, mid) and [mid, last) in place (through a
// buffer of the left run), stably.
template <class It, class Less>
void vm_merge_runs(It first, It mid, It last, Less less) {
  if (first == mid || mid == last || !less(*mid, *(mid - 1))) return;
  std::vector<detail::VmSortValue<It>> buffer;
  buffer.reserve(static_cast<size_t>(std::min(mid - first, last - mid)));
  detail::vm_merge_through(first, mid, last, buffer, less);
}

// Merges two sorted runs into `out` (which must not overlap them), the
// first run winning ties; returns the end of the output. When a comparison
// throws, the items moved out so far go back into the places they left
// (each run then holds as many items as before, in some order).
template <class In1, class In2, class Out, class Less>
Out vm_merge(In1 a, In1 a_end, In2 b, In2 b_end, Out out, Less less) {
  const In1 a_first = a;
  const In2 b_first = b;
  const Out out_first = out;
  try {
    detail::vm_merge_forward(a, a_end, b, b_end, out, less);
  } catch (...) {
    const Out from_b = std::next(out_first, std::distance(a_first, a));
    std::move(out_first, from_b, a_first);
    std::move(from_b, out, b_first);
    throw;
  }
  out = std::move(a, a_end, out);
  return std::move(b, b_end, out);
}

// The first position whose element is below its predecessor (last when the
// range is sorted), comparing neighbours from the front.
template <class It, class Less = std::less<>>
It vm_is_sorted_until(It first, It last, Less less = {}) {
  if (first == last) return last;
  for (It next = first + 1; next != last; ++next)
    if (less(*next, *(next - 1))) return next;
  return last;
}

template <class It, class Less = std::less<>>
bool vm_is_sorted(It first, It last, Less less = {}) {
  return vm_is_sorted_until(first, last, less) == last;
}

// The first position where `pred` is false, for a range where it holds on a
// prefix: halving, the middle at len / 2.
template <class It, class Pred>
It vm_partition_point(It first, It last, Pred pred) {
  auto len = last - first;
  while (len > 0) {
    const auto half = len / 2;
    const It mid = first + half;
    if (pred(*mid)) {
      first = mid + 1;
      len -= half + 1;
    } else {
      len = half;
    }
  }
  return first;
}

// The first element not below `needle`.
template <class It, class T, class Less = std::less<>>
It vm_lower_bound(It first, It last, const T& needle, Less less = {}) {
  return vm_partition_point(first, last, [&](const auto& e) { return less(e, needle); });
}

template <class It, class T, class Less = std::less<>>
bool vm_binary_search(It first, It last, const T& needle, Less less = {}) {
  const It at = vm_lower_bound(first, last, needle, less);
  return at != last && !less(needle, *at);
}

}  // namespace veln
