// Growth of the operations whose cost contract code controls: each test
// counts the steps of one operation (VmWorkMeter) at two sizes and checks
// that doubling the input does not much more than double the work, on the
// inputs that used to be quadratic. No test measures time.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <string>

#include "interpreter_support/container_methods.hpp"
#include "interpreter_support/membership.hpp"
#include "interpreter_support/sets/set_algebra.hpp"
#include "interpreter_support/sets/set_edits.hpp"
#include "interpreter_support/sets/set_operators.hpp"
#include "interpreter_support/text_search.hpp"
#include "interpreter_support/value_iteration.hpp"
#include "values/vm_decimal.hpp"

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

// Long searches read in batches (memchr spans, right- and left-half
// comparisons): matches that straddle a batch's end, and needles longer
// than a batch, are found where a plain scan finds them.
TEST(TextSearch, AgreesWithAPlainScanAcrossBatches) {
  const size_t batch = TextSearch::kBatchBytes;
  std::string long_needle(batch + 100, 'a');
  long_needle.back() = 'b';
  std::string periodic_needle;
  while (periodic_needle.size() < batch + 300) periodic_needle += "abc";
  for (const std::string& needle : {std::string("b"), std::string("xy"), std::string("cab"), long_needle,
                                    periodic_needle, periodic_needle + "d"}) {
    for (const size_t at : {batch - 1, batch + 7, 3 * batch - needle.size() / 2, 5 * batch}) {
      std::string haystack(at, 'a');
      for (size_t i = 0; i < haystack.size(); i += 3) haystack[i] = 'c';  // near misses for every needle
      haystack += needle;
      haystack += std::string(batch / 2, 'a');
      const TextSearch search(needle);
      for (const size_t from : {size_t{0}, at / 2, at}) {
        ASSERT_EQ(search.find(haystack, from), std::string_view(haystack).find(needle, from))
            << needle.size() << " at " << at << " from " << from;
      }
    }
  }
}

// ---- numbers of mixed kinds -----------------------------------------------------

// Shuffled distinct numbers: ints, floats, and with `wide` ints beyond 2^53
// that share their nearest doubles with one another and with the floats.
std::vector<VmValue> mixed_numbers(size_t n, bool wide, bool decimals = false) {
  std::vector<VmValue> items;
  const mpz_class base = mpz_class(1) << 60;
  for (size_t i = 0; i < n; ++i) {
    const auto k = static_cast<int64_t>(i);
    switch (i % (decimals ? 3 : 2)) {
      case 0:
        items.push_back(wide ? VmValue::integer(mpz_class(base + k * 37)) : VmValue::integer(k));
        break;
      case 1:
        items.push_back(VmValue::float64(wide ? std::ldexp(1.0, 60) + 256.0 * static_cast<double>(k)
                                              : static_cast<double>(k) + 0.5));
        break;
      default:
        items.push_back(VmValue::decimal(VmDecimal::from_i64(k * 5)));
    }
  }
  std::shuffle(items.begin(), items.end(), std::mt19937(static_cast<uint32_t>(n)));
  return items;
}

VmValue set_of(std::vector<VmValue> items) { return *VmValue::make_set(*normalize_set_items(std::move(items))); }

// `run` over mixed_numbers of each of the four kinds (small or wide ints,
// with or without decimals) must succeed in near-linear work.
template <class Run>
void expect_near_linear_over_mixed_numbers(Run run, size_t n) {
  for (const bool wide : {false, true}) {
    for (const bool decimals : {false, true}) {
      expect_near_linear(
          [&](size_t size) {
            VmWorkMeter meter;
            EXPECT_TRUE(run(mixed_numbers(size, wide, decimals), meter).ok());
            return meter.steps;
          },
          n);
    }
  }
}

TEST(SetGrowth, BuildingFromMixedNumbers) {
  expect_near_linear_over_mixed_numbers(
      [](std::vector<VmValue> items, VmWorkMeter& meter) { return normalize_set_items(std::move(items), meter); }, 2048);
}

TEST(SetGrowth, AlgebraOfIntAndFloatSets) {
  expect_near_linear(
      [](size_t n) {
        std::vector<VmValue> ints, floats;
        for (size_t i = 0; i < n; ++i) {
          ints.push_back(VmValue::integer(static_cast<int64_t>(i) * 2));
          floats.push_back(VmValue::float64(static_cast<double>(i) + (i % 2 == 0 ? 0.0 : 0.25)));
        }
        const VmValue a = set_of(ints), b = set_of(floats);
        VmWorkMeter meter;
        EXPECT_TRUE(set_intersection_values(a.items(), b.items(), meter).ok());
        EXPECT_TRUE(set_symmetric_difference_values(a.items(), b.items(), meter).ok());
        EXPECT_TRUE(set_is_subset(b.items(), a.items(), meter).ok());
        return meter.steps;
      },
      2048);
}

TEST(SetGrowth, AlgebraOfStrSetsMerges) {
  expect_near_linear(
      [](size_t n) {
        std::vector<VmValue> a, b;
        for (size_t i = 0; i < n; ++i) {
          a.push_back(VmValue::str(std::to_string(i * 2) + "k"));
          b.push_back(VmValue::str(std::to_string(i * 3) + "k"));
        }
        const VmValue x = set_of(a), y = set_of(b);
        VmWorkMeter meter;
        EXPECT_TRUE(set_intersection_values(x.items(), y.items(), meter).ok());
        return meter.steps;
      },
      4096, 2.2);
}

// ---- containers whose number leaves mix kinds ---------------------------------------

VmValue tuple(std::vector<VmValue> items) { return *VmValue::make_tuple(std::move(items)); }
VmValue frozen(std::vector<VmValue> items) { return *VmValue::make_frozenset(*normalize_set_items(std::move(items))); }

// n values of one family of mixed-number containers, the i-th built from i.
using MakeContainer = VmValue (*)(size_t i);
const MakeContainer kMixedContainers[] = {
    [](size_t i) { return tuple({VmValue::integer(static_cast<int64_t>(i % 97)), VmValue::float64(static_cast<double>(i))}); },
    [](size_t i) { return tuple({VmValue::integer(static_cast<int64_t>(i % 97)), VmValue::integer(static_cast<int64_t>(i))}); },
    [](size_t i) { return tuple({VmValue::boolean(i % 2 == 1), VmValue::decimal(VmDecimal::from_i64(static_cast<int64_t>(i)))}); },
    [](size_t i) { return tuple({VmValue::integer(static_cast<int64_t>(i % 2)), VmValue::float64(static_cast<double>(i))}); },
    [](size_t i) { return frozen({VmValue::float64(static_cast<double>(i)), VmValue::float64(static_cast<double>(i) + 0.5)}); },
    [](size_t i) { return frozen({VmValue::integer(static_cast<int64_t>(i)), VmValue::float64(static_cast<double>(i) + 0.5)}); },
    // Beyond 2^53: two ints share each double, and a float equals both.
    [](size_t i) { return tuple({VmValue::integer(mpz_class((mpz_class(1) << 60) + 256 * static_cast<unsigned long>(i / 2) + i % 2)), VmValue::integer(1)}); },
    [](size_t i) { return tuple({VmValue::float64(std::ldexp(1.0, 60) + 256.0 * static_cast<double>(i / 3)), VmValue::float64(1.0)}); },
};

std::vector<VmValue> mixed_containers(size_t n, size_t first_family, size_t families, size_t offset = 0) {
  std::vector<VmValue> items;
  for (size_t f = first_family; f < first_family + families; ++f)
    for (size_t i = 0; i < n; ++i) items.push_back(kMixedContainers[f](i + offset));
  return items;
}

TEST(SetGrowth, BuildingFromContainersOfMixedNumbers) {
  for (const auto& kinds : {std::pair<size_t, size_t>{0, 2}, {2, 2}, {4, 2}, {6, 2}, {0, 8}}) {
    const size_t first = kinds.first, count = kinds.second;  // lambdas cannot capture bindings in clang 14
    expect_near_linear(
        [&](size_t n) {
          VmWorkMeter meter;
          EXPECT_TRUE(normalize_set_items(mixed_containers(n, first, count), meter).ok());
          return meter.steps;
        },
        2048);
  }
}

// Steps of the set algebra and the set operators on the sets a and b.
uint64_t algebra_steps(const VmValue& a, const VmValue& b) {
  VmWorkMeter meter;
  std::vector<VmValue> both(a.items().begin(), a.items().end());
  both.insert(both.end(), b.items().begin(), b.items().end());
  EXPECT_TRUE(normalize_set_items(both, meter).ok());  // |
  EXPECT_TRUE(set_intersection_values(a.items(), b.items(), meter).ok());
  EXPECT_TRUE(set_difference_values(a.items(), b.items(), meter).ok());
  EXPECT_TRUE(set_symmetric_difference_values(a.items(), b.items(), meter).ok());
  EXPECT_TRUE(set_is_subset(a.items(), b.items(), meter).ok());  // <=, and == past its size test
  EXPECT_TRUE(set_is_subset(a.items(), a.items(), meter).ok());
  for (const SetOperator op : {SetOperator::Union, SetOperator::Intersection, SetOperator::Difference,
                               SetOperator::SymmetricDifference}) {
    EXPECT_TRUE(set_operator_items(op, a.items(), b.items(), &meter).ok());
  }
  return meter.steps;
}

TEST(SetGrowth, AlgebraOfContainersOfMixedNumbers) {
  for (const auto& kinds : {std::pair<size_t, size_t>{0, 2}, {2, 2}, {4, 2}, {6, 2}}) {
    const size_t first = kinds.first;
    expect_near_linear(
        [&](size_t n) {
          return algebra_steps(set_of(mixed_containers(n, first, 1)), set_of(mixed_containers(n, first + 1, 1, n / 2)));
        },
        2048);
  }
}

TEST(SetGrowth, FrozensetsOfNumbersSharingADouble) {
  // Each frozenset holds an int and a decimal beyond 2^53 that round to one
  // double without being equal.
  const auto frozensets = [](size_t n, size_t offset) {
    std::vector<VmValue> items;
    for (size_t i = offset; i < n + offset; ++i) {
      const mpz_class at = (mpz_class(1) << 60) + 256 * static_cast<unsigned long>(i);
      const VmValue decimal = VmValue::decimal(*VmDecimal::from_str_literal(mpz_class(at + 2).get_str()));
      items.push_back(frozen({VmValue::integer(mpz_class(at + 1)), decimal}));
    }
    return items;
  };
  expect_near_linear(
      [&](size_t n) {
        VmWorkMeter meter;
        const auto a = normalize_set_items(frozensets(n, 0), meter);
        const auto b = normalize_set_items(frozensets(n, n / 2), meter);
        EXPECT_TRUE(a.ok() && b.ok());
        if (a.ok() && b.ok()) {
          EXPECT_TRUE(set_difference_values(*a, *b, meter).ok());
          EXPECT_TRUE(set_operator_items(SetOperator::Union, *a, *b, &meter).ok());
        }
        return meter.steps;
      },
      2048);
}

// Values of ints of one double beyond 2^53 meeting values of the float of
// that double (equal to every one of them) beside decimals of that double
// (equal to none), `make(as_float, k, tail)` making either: n/2 of ints,
// then values of the float, half of them equal to a kept one (in reverse
// order, so the first equal lies further on each time) and half new; then
// values of ints `from` on meeting the new ones.
template <class Make>
std::vector<VmValue> meeting_one_float(size_t n, size_t from, const Make& make) {
  std::vector<VmValue> items;
  for (size_t j = 0; j < n / 2; ++j) items.push_back(make(false, j, 2 * j + 1));
  for (size_t j = 0; j < n / 4; ++j) {
    items.push_back(make(true, 0, 2 * (n / 2 - 1 - j) + 1));
    items.push_back(make(true, 0, 2 * j + 2));
  }
  for (size_t j = 0; j < n / 4; ++j) items.push_back(make(false, from + 3 * j, 2 * j + 2));
  return items;
}

// Tuples with the float in the first `floats` positions, the decimal last;
// the tuples of ints at the end replace the new ones.
std::vector<VmValue> tuples_meeting_one_float(size_t n, size_t floats) {
  const mpz_class base = mpz_class(1) << 100;
  const auto decimal = [&](size_t k) { return VmValue::decimal(*VmDecimal::from_str_literal(mpz_class(base + k).get_str())); };
  const auto make = [&](bool as_float, size_t k, size_t tail) {
    std::vector<VmValue> leaves;
    for (size_t p = 0; p < floats; ++p) {
      leaves.push_back(as_float ? VmValue::float64(std::ldexp(1.0, 100)) : VmValue::integer(mpz_class(base + k + p)));
    }
    leaves.push_back(decimal(tail));
    return tuple(std::move(leaves));
  };
  return meeting_one_float(n, 0, make);
}

TEST(SetGrowth, TuplesMeetingOneFloatPerDouble) {
  for (const size_t floats : {1, 2, 3}) {
    expect_near_linear(
        [&](size_t n) {
          VmWorkMeter meter;
          const auto built = normalize_set_items(tuples_meeting_one_float(n, floats), meter);
          EXPECT_TRUE(built.ok() && built->size() == n / 2 + n / 4) << floats;
          return meter.steps;
        },
        2048);
  }
}

TEST(SetGrowth, AlgebraOfTuplesMeetingOneFloatPerDouble) {
  for (const size_t floats : {1, 2, 3}) {
    expect_near_linear(
        [&](size_t n) {
          // The tuples holding the float against those of ints.
          std::vector<VmValue> items = tuples_meeting_one_float(n, floats);
          const auto middle = items.begin() + static_cast<std::ptrdiff_t>(n / 2);
          return algebra_steps(set_of({middle, items.end()}), set_of({items.begin(), middle}));
        },
        2048);
  }
}

// Frozensets of `size` items: ints of 2^100's double and a decimal of it
// (apart from the ints), or its float, the decimal and texts; with two
// items the frozensets of ints at the end meet the new ones, with three a
// text keeps them apart.
std::vector<VmValue> frozensets_meeting_one_float(size_t n, size_t size) {
  const mpz_class base = mpz_class(1) << 100;
  const mpz_class decimals = base + (mpz_class(1) << 40);
  const auto decimal = [&](size_t k) { return VmValue::decimal(*VmDecimal::from_str_literal(mpz_class(decimals + k).get_str())); };
  const auto make = [&](bool as_float, size_t k, size_t tail) {
    std::vector<VmValue> leaves{decimal(tail)};
    if (as_float) {
      leaves.push_back(VmValue::float64(std::ldexp(1.0, 100)));
      for (size_t p = 2; p < size; ++p) leaves.push_back(VmValue::str(std::string(p, 't')));
    } else {
      for (size_t p = 1; p < size; ++p) leaves.push_back(VmValue::integer(mpz_class(base + (size - 1) * k + p)));
    }
    return frozen(std::move(leaves));
  };
  return meeting_one_float(n, n, make);
}

TEST(SetGrowth, FrozensetsMeetingOneFloatPerDouble) {
  for (const size_t size : {2, 3}) {
    expect_near_linear(
        [&](size_t n) {
          VmWorkMeter meter;
          const auto built = normalize_set_items(frozensets_meeting_one_float(n, size), meter);
          EXPECT_TRUE(built.ok() && built->size() == (size == 2 ? n / 2 + n / 4 : n)) << size;
          return meter.steps;
        },
        2048);
  }
}

TEST(SetGrowth, AlgebraOfFrozensetsMeetingOneFloatPerDouble) {
  for (const size_t size : {2, 3}) {
    expect_near_linear(
        [&](size_t n) {
          std::vector<VmValue> items = frozensets_meeting_one_float(n, size);
          const auto middle = items.begin() + static_cast<std::ptrdiff_t>(n / 2);
          return algebra_steps(set_of({middle, items.end()}), set_of({items.begin(), middle}));
        },
        2048);
  }
}

// Items of three kinds, the i-th of each.
using MakeItem = VmValue (*)(size_t);
const MakeItem kSetItemKinds[] = {
    [](size_t i) { return VmValue::integer(static_cast<int64_t>(i)); },
    [](size_t i) { return VmValue::float64(static_cast<double>(i) * 0.37); },
    [](size_t i) { return VmValue::str("key-" + std::to_string(i)); },
};

// Items whose sets were searched by scans once edited, or normalised whole
// at each addition: 2-tuples of ints, frozensets of two ints, ints with
// floats, texts with ints and bools, decimals with ints and floats, tuples
// mixing number kinds.
const MakeItem kEditedItemKinds[] = {
    [](size_t i) {
      const auto v = static_cast<int64_t>(i);
      return i % 2 == 0 ? VmValue::integer(v) : VmValue::float64(static_cast<double>(v) + 0.5);
    },
    [](size_t i) {
      const auto v = static_cast<int64_t>(i);
      return i % 3 == 0 ? VmValue::str("key-" + std::to_string(i)) : i % 3 == 1 ? VmValue::integer(v) : VmValue::boolean(i % 2 == 0);
    },
    [](size_t i) {
      return *VmValue::make_tuple({VmValue::integer(static_cast<int64_t>(i / 7)), VmValue::integer(static_cast<int64_t>(i))});
    },
    [](size_t i) {
      // Decimals beside ints and floats.
      const auto v = static_cast<int64_t>(i);
      if (i % 3 == 0) return VmValue::decimal(VmDecimal::from_i64(v));
      return i % 3 == 1 ? VmValue::integer(v) : VmValue::float64(static_cast<double>(v) + 0.25);
    },
    [](size_t i) {
      // Tuples of mixed number kinds and shapes: (i % 97, float(i)) among
      // (i, i) and (i, 'a', -0.0).
      const auto v = static_cast<int64_t>(i);
      if (i % 3 == 0) return *VmValue::make_tuple({VmValue::integer(v), VmValue::integer(v)});
      if (i % 3 == 1) return *VmValue::make_tuple({VmValue::integer(v % 97), VmValue::float64(static_cast<double>(v))});
      return *VmValue::make_tuple({VmValue::integer(v), VmValue::str("a"), VmValue::float64(-0.0)});
    },
    [](size_t i) {
      return *VmValue::make_sequence(VmKind::FrozenSet,
                                     {VmValue::integer(-1 - static_cast<int64_t>(i)), VmValue::integer(static_cast<int64_t>(i))});
    },
    [](size_t i) {
      // Frozensets of floats beside frozensets of ints.
      const auto v = static_cast<int64_t>(i);
      if (i / 2 % 2 == 0) return *VmValue::make_frozenset({VmValue::integer(v), VmValue::integer(3 * v + 1)});
      return *VmValue::make_frozenset(*normalize_set_items(
          {VmValue::float64(static_cast<double>(v)), VmValue::float64(static_cast<double>(3 * v + 1))}));
    },
};

// The set of items 0, 2, ..., 2n - 2 of one kind.
VmValue set_of_evens(MakeItem make, size_t n) {
  std::vector<VmValue> items;
  for (size_t i = 0; i < n; ++i) items.push_back(make(2 * i));
  return set_of(std::move(items));
}

// n additions (half of them new) then n removals on a set of n items.
TEST(SetGrowth, AddAndRemoveSearchOnce) {
  for (auto make : kSetItemKinds) {
    expect_near_linear(
        [&](size_t n) {
          VmValue s = set_of_evens(make, n);
          VmWorkMeter meter;
          for (size_t i = 0; i < n; ++i) {
            const VmValue x = make(i);
            auto at = set_insertion(s.items(), x, &meter);
            EXPECT_TRUE(at && at->ok());
            if (at && at->ok() && (*at)->kind == SetInsertion::Kind::Insert) {
              EXPECT_TRUE(s.seq_insert((*at)->to, x).ok());
            }
          }
          for (size_t i = 0; i < n; ++i) {
            auto at = set_removal_position(s.items(), make(3 * i), &meter);
            EXPECT_TRUE(at.has_value());
            if (at && *at) s.seq_remove(**at);
          }
          return meter.steps;
        },
        2048);
  }
}

// n rounds of `if x not in s: s.add(x)` (half of the x new) and a discard
// on a set of n items, through the set methods: searches and moved items
// count. An edit costs O(sqrt n) (the pieces it shifts, its share of a
// merge), so n rounds grow 2.83 times per doubling; moving the tail of the
// items at every edit would give 4.
TEST(SetGrowth, EditsBetweenLookupsStaySublinear) {
  std::vector<MakeItem> kinds(std::begin(kSetItemKinds), std::end(kSetItemKinds));
  kinds.insert(kinds.end(), std::begin(kEditedItemKinds), std::end(kEditedItemKinds));
  for (auto make : kinds) {
    expect_near_linear(
        [&](size_t n) {
          VmValue s = set_of_evens(make, n);
          VmWorkMeter meter;
          bool removed = false;
          for (size_t i = 0; i < n; ++i) {
            const VmValue x = make(i * 7919 % (2 * n));
            if (!*contains_value(s, x, meter)) s = *set_with_item(std::move(s), x, &meter);
            s = *set_without_item(std::move(s), make(i * 104729 % (2 * n)), &removed, &meter);
          }
          return meter.steps;
        },
        4096, 3.2);
  }
}

// Sets that no search by key order serves: tuples of several shapes whose
// ints lie beyond 2^53 beside floats of their doubles, decimals beside such
// ints and floats. Each addition scans the set once (about two steps per
// item), never normalises it whole (n log n steps per call, about 12 per
// item here).
const MakeItem kScannedItemKinds[] = {
    [](size_t i) {
      const mpz_class wide = (mpz_class(1) << 60) + 512 * static_cast<long>(i);
      if (i % 3 == 0) return *VmValue::make_tuple({VmValue::integer(wide)});
      if (i % 3 == 1) return *VmValue::make_tuple({VmValue::float64(wide.get_d()), VmValue::str("a")});
      return *VmValue::make_tuple({VmValue::integer(static_cast<int64_t>(i)), VmValue::integer(wide + 1), VmValue::none()});
    },
    [](size_t i) {
      const auto v = static_cast<int64_t>(i);
      if (i % 3 == 0) return VmValue::decimal(VmDecimal::from_i64(v));
      if (i % 3 == 1) return VmValue::integer((mpz_class(1) << 60) + 512 * static_cast<long>(i));
      return VmValue::float64(static_cast<double>(v) + 0.25);
    },
};

TEST(SetGrowth, AdditionsToSetsOfNoKeyOrderScanOnce) {
  constexpr size_t kItems = 4096;
  constexpr size_t kRounds = 64;
  for (auto make : kScannedItemKinds) {
    VmValue s = set_of_evens(make, kItems);
    VmWorkMeter meter;
    bool removed = false;
    for (size_t i = 0; i < kRounds; ++i) {
      auto added = set_with_item(std::move(s), make(2 * (i * 61 % kItems) + 1), &meter);
      ASSERT_TRUE(added.ok()) << added.error().message;
      auto rest = set_without_item(*std::move(added), make(2 * (i * 97 % kItems)), &removed, &meter);
      ASSERT_TRUE(rest.ok()) << rest.error().message;
      s = *std::move(rest);
    }
    EXPECT_EQ(s.item_count(), kItems);
    EXPECT_LE(meter.steps, 4 * kRounds * kItems) << make(3).diagnostic_text();
  }
}

// n lookups into a container of n items.
template <class Make>
uint64_t lookup_steps(const VmValue& container, size_t n, Make needle) {
  VmWorkMeter meter;
  for (size_t i = 0; i < n; ++i) EXPECT_TRUE(contains_value(container, needle(i), meter).ok());
  return meter.steps;
}

TEST(MembershipGrowth, SetsOfMixedNumbers) {
  expect_near_linear(
      [](size_t n) {
        const VmValue s = set_of(mixed_numbers(n, true, true));
        return lookup_steps(s, n, [](size_t i) { return VmValue::float64(std::ldexp(1.0, 60) + 512.0 * static_cast<double>(i)); });
      },
      2048);
}

TEST(MembershipGrowth, DictKeysOfEveryNumericKind) {
  for (const bool wide : {false, true}) {
    expect_near_linear(
        [&](size_t n) {
          std::vector<VmDictPair> pairs;
          for (VmValue& k : mixed_numbers(n, wide, true)) pairs.push_back({std::move(k), VmValue::none()});
          const VmValue d = *VmValue::make_dict(std::move(pairs));
          uint64_t steps = lookup_steps(d, n, [](size_t i) { return VmValue::integer(static_cast<int64_t>(i)); });
          steps += lookup_steps(d, n, [&](size_t i) {
            return VmValue::float64(wide ? std::ldexp(1.0, 60) + 128.0 * static_cast<double>(i) : static_cast<double>(i));
          });
          steps += lookup_steps(d, n, [](size_t i) { return VmValue::decimal(VmDecimal::from_i64(static_cast<int64_t>(i))); });
          return steps;
        },
        2048);
  }
}

// ---- sorting ------------------------------------------------------------------------

TEST(SortGrowth, MixedIntsAndFloats) {
  expect_near_linear_over_mixed_numbers(
      [](std::vector<VmValue> items, VmWorkMeter& meter) { return sorted_values(std::move(items), meter); }, 4096);
}

TEST(SortGrowth, DecimalsAmongTinyFloats) {
  // Floats whose decimals all truncate to 0 or 1e-30, next to those decimals
  // and to 0: the floats differ from one another, but not from the decimals.
  expect_near_linear(
      [](size_t n) {
        std::vector<VmValue> items;
        for (size_t i = 0; i < n; ++i) {
          const auto k = static_cast<double>((i * 7919) % n);
          switch (i % 4) {
            case 0:
              items.push_back(VmValue::float64(k * 1e-34));
              break;
            case 1:
              items.push_back(VmValue::float64(-k * 1e-35));
              break;
            case 2:
              items.push_back(VmValue::decimal(*VmDecimal::from_str_literal(i % 8 == 2 ? "0" : "1e-30")));
              break;
            default:
              items.push_back(VmValue::integer(0));
          }
        }
        VmWorkMeter meter;
        EXPECT_TRUE(sorted_values(std::move(items), meter).ok());
        return meter.steps;
      },
      4096);
}

TEST(SortGrowth, OneDoubleShared) {
  // Ints that all round to 2^60, floats equal to all of them.
  expect_near_linear(
      [](size_t n) {
        std::vector<VmValue> items;
        const mpz_class base = mpz_class(1) << 60;
        for (size_t i = 0; i < n; ++i) {
          const auto k = static_cast<long>((i * 7919) % 101) - 50;
          items.push_back(i % 5 == 0 ? VmValue::float64(std::ldexp(1.0, 60)) : VmValue::integer(mpz_class(base + k)));
        }
        VmWorkMeter meter;
        EXPECT_TRUE(sorted_values(std::move(items), meter).ok());
        return meter.steps;
      },
      4096);
}

TEST(SortGrowth, FailsAtTheFirstValueOutsideTheDomain) {
  for (const bool decimals : {false, true}) {
    expect_near_linear(
        [&](size_t n) {
          std::vector<VmValue> items = mixed_numbers(n, false, decimals);
          items.push_back(*VmValue::make_tuple({}));
          items.push_back(VmValue::integer(1));
          VmWorkMeter meter;
          auto r = sorted_values(std::move(items), meter);
          EXPECT_FALSE(r.ok());
          return meter.steps;
        },
        4096);
  }
}

}  // namespace
}  // namespace veln
