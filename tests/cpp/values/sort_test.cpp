// The engine's own sort, merges and ordered searches: results as the
// standard library's stable algorithms give them (a stable sort's result
// is unique), comparisons within the bound the sorting code relies on, and
// no element lost when a comparison throws part-way.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <memory>
#include <numeric>
#include <random>
#include <vector>

#include "values/vm_sort.hpp"

namespace veln {
namespace {

struct Item {
  int key;
  int arrival;
};
bool key_less(const Item& a, const Item& b) { return a.key < b.key; }

// Inputs of every shape a merge sort treats differently: sorted, reversed,
// few keys, runs, organ pipe, random; sizes around the run length.
std::vector<std::vector<Item>> shapes() {
  std::mt19937 rng(7);
  std::vector<std::vector<Item>> out;
  for (const int n : {0, 1, 2, 31, 32, 33, 63, 64, 65, 100, 1000, 4097}) {
    for (int shape = 0; shape < 6; ++shape) {
      std::vector<Item> v;
      for (int i = 0; i < n; ++i) {
        const int key = shape == 0 ? i
                        : shape == 1 ? n - i
                        : shape == 2 ? static_cast<int>(rng() % 3)
                        : shape == 3 ? i % 97
                        : shape == 4 ? std::min(i, n - i)
                                     : static_cast<int>(rng() % 1000);
        v.push_back(Item{key, i});
      }
      out.push_back(std::move(v));
    }
  }
  return out;
}

TEST(VmSort, StableResultWithinTheComparisonBound) {
  for (std::vector<Item> v : shapes()) {
    std::vector<Item> expected = v;
    std::stable_sort(expected.begin(), expected.end(), key_less);
    uint64_t compared = 0;
    vm_stable_sort(v.begin(), v.end(), [&](const Item& a, const Item& b) {
      ++compared;
      return key_less(a, b);
    });
    const uint64_t n = v.size();
    EXPECT_LE(compared, n * (std::bit_width(n) + 8));
    for (size_t i = 0; i < v.size(); ++i) {
      ASSERT_EQ(v[i].key, expected[i].key);
      ASSERT_EQ(v[i].arrival, expected[i].arrival);
    }
  }
}

TEST(VmSort, MergesAndSearchesGiveTheStandardResults) {
  std::mt19937 rng(11);
  for (int round = 0; round < 200; ++round) {
    std::vector<Item> a(rng() % 50), b(rng() % 50);
    int arrival = 0;
    for (Item& x : a) x = Item{static_cast<int>(rng() % 20), arrival++};
    for (Item& x : b) x = Item{static_cast<int>(rng() % 20), arrival++};
    std::stable_sort(a.begin(), a.end(), key_less);
    std::stable_sort(b.begin(), b.end(), key_less);
    std::vector<Item> expected(a.size() + b.size());
    std::merge(a.begin(), a.end(), b.begin(), b.end(), expected.begin(), key_less);
    std::vector<Item> merged(a.size() + b.size());
    vm_merge(a.begin(), a.end(), b.begin(), b.end(), merged.begin(), key_less);
    std::vector<Item> runs = a;
    runs.insert(runs.end(), b.begin(), b.end());
    vm_merge_runs(runs.begin(), runs.begin() + static_cast<std::ptrdiff_t>(a.size()), runs.end(), key_less);
    for (size_t i = 0; i < expected.size(); ++i) {
      ASSERT_EQ(merged[i].arrival, expected[i].arrival);
      ASSERT_EQ(runs[i].arrival, expected[i].arrival);
    }
    const Item needle{static_cast<int>(rng() % 22) - 1, -1};
    EXPECT_EQ(vm_lower_bound(a.begin(), a.end(), needle, key_less),
              std::lower_bound(a.begin(), a.end(), needle, key_less));
    EXPECT_EQ(vm_binary_search(a.begin(), a.end(), needle, key_less),
              std::binary_search(a.begin(), a.end(), needle, key_less));
    EXPECT_EQ(vm_is_sorted_until(runs.begin(), runs.end(), key_less), runs.end());
  }
}

// A comparison that throws on its k-th call leaves every element in the
// range (moved-from ones would be null): of a sort, and of both runs of a
// merge into another range.
TEST(VmSort, AThrowingComparisonLosesNoElement) {
  struct Stop {};
  using Items = std::vector<std::unique_ptr<int>>;
  // The ints 0 .. n - 1 held by the ranges together.
  const auto expect_all = [](std::initializer_list<const Items*> ranges, int n) {
    std::vector<int> seen;
    for (const Items* v : ranges) {
      for (const auto& p : *v) {
        ASSERT_NE(p, nullptr);
        seen.push_back(*p);
      }
    }
    std::sort(seen.begin(), seen.end());
    std::vector<int> all(static_cast<size_t>(n));
    std::iota(all.begin(), all.end(), 0);
    ASSERT_EQ(seen, all);
  };
  for (const int n : {40, 100, 300}) {
    for (int k = 1; k < 4000; k += 37) {
      SCOPED_TRACE(testing::Message() << "n " << n << " k " << k);
      int calls = 0;
      const auto less = [&](const std::unique_ptr<int>& a, const std::unique_ptr<int>& b) {
        if (++calls == k) throw Stop{};
        return *a < *b;
      };
      Items v;
      for (int i = 0; i < n; ++i) v.push_back(std::make_unique<int>((i * 7919) % n));
      try {
        vm_stable_sort(v.begin(), v.end(), less);
      } catch (const Stop&) {
      }
      expect_all({&v}, n);
      // Two interleaved runs (evens and odds) merged into a third range.
      calls = 0;
      Items evens, odds, merged(static_cast<size_t>(n));
      for (int i = 0; i < n; ++i) (i % 2 == 0 ? evens : odds).push_back(std::make_unique<int>(i));
      try {
        vm_merge(evens.begin(), evens.end(), odds.begin(), odds.end(), merged.begin(), less);
        expect_all({&merged}, n);
      } catch (const Stop&) {
        expect_all({&evens, &odds}, n);
      }
    }
  }
}

}  // namespace
}  // namespace veln
