// Growth of the operations whose cost contract code controls: each test
// counts the steps of one operation (VmWorkMeter) at two sizes and checks
// that doubling the input does not much more than double the work, on the
// inputs that used to be quadratic. No test measures time.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>

#include "interpreter_support/text_search.hpp"

namespace veln {
namespace {

// Steps of `run(n)` and `run(2n)`; the second may be at most `factor` times
// the first (2 plus a margin for n log n; a quadratic path gives 4).
template <class Run>
void expect_near_linear(Run run, size_t n, double factor = 2.6) {
  const uint64_t small = run(n);
  const uint64_t large = run(2 * n);
  EXPECT_GT(small, 0u);
  EXPECT_LE(static_cast<double>(large), factor * static_cast<double>(small)) << "n=" << n << " steps " << small
                                                                              << " -> " << large;
}

uint64_t search_steps(const std::string& haystack, const std::string& needle) {
  VmWorkMeter meter;
  const TextSearch search(needle);
  for (size_t at = search.find(haystack, 0, &meter); at != TextSearch::npos;
       at = search.find(haystack, at + std::max<size_t>(needle.size(), 1), &meter)) {
  }
  return meter.steps;
}

TEST(TextSearchGrowth, AdversarialNeedlesStayLinear) {
  // Each shape made a byte-by-byte scan compare most of the needle at every
  // position of the haystack.
  const auto shapes = {
      +[](size_t n) { return std::pair(std::string(n, 'a'), std::string(n / 2, 'a') + "b"); },
      +[](size_t n) {
        std::string needle(n / 2 + 1, 'a');
        needle.front() = 'b';
        return std::pair(std::string(n, 'a'), needle);
      },
      +[](size_t n) {
        std::string h;
        while (h.size() < n) h += "ab";
        return std::pair(h, h.substr(0, n / 2) + "b");
      },
      +[](size_t n) { return std::pair(std::string(n, 'a'), std::string(n / 4, 'a')); },  // many matches
  };
  for (auto shape : shapes) {
    expect_near_linear(
        [&](size_t n) {
          auto [haystack, needle] = shape(n);
          return search_steps(haystack, needle);
        },
        1 << 14);
  }
}

TEST(TextSearch, AgreesWithAPlainScan) {
  std::mt19937 rng(11);
  for (int round = 0; round < 20000; ++round) {
    const int alphabet = 1 + static_cast<int>(rng() % 3);
    auto text = [&](size_t max) {
      std::string s(rng() % (max + 1), 'a');
      for (char& c : s) c = static_cast<char>('a' + rng() % alphabet);
      return s;
    };
    const std::string haystack = text(40);
    const std::string needle = text(8);
    const TextSearch search(needle);
    for (size_t from = 0; from <= haystack.size() + 1; ++from) {
      ASSERT_EQ(search.find(haystack, from), std::string_view(haystack).find(needle, from))
          << haystack << " / " << needle << " from " << from;
    }
  }
}

}  // namespace
}  // namespace veln
