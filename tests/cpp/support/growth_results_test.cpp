// The fast paths of sorting, set building, set algebra and membership give
// exactly the literal scans' results (items, survivors, first errors) of the
// standalone reference (set_oracle/) on random hostile mixes of numbers,
// strs, None and tuples.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <random>
#include <span>
#include <string>

#include "interpreter_support/membership.hpp"
#include "interpreter_support/native_methods.hpp"
#include "interpreter_support/sets/set_algebra.hpp"
#include "interpreter_support/sets/set_operators.hpp"
#include "interpreter_support/value_equality.hpp"
#include "interpreter_support/value_iteration.hpp"
#include "set_oracle/set_calls.hpp"
#include "values/decimal_from_value.hpp"
#include "values/vm_datetime.hpp"
#include "values/vm_decimal.hpp"

namespace veln {
namespace {

namespace oracle = set_oracle;

// Random hostile value mixes: numbers of every kind around the points where
// int/float equality stops being transitive (2^53, 2^60), beyond the decimal
// range, NaN, tiny floats, next to strs, None and tuples; `numbers_only`
// keeps to bools, ints, floats and decimals.
class HostileValues {
 public:
  explicit HostileValues(uint32_t seed) : rng_(seed) {}

  VmValue number() {
    static const char* const kDecimals[] = {"0", "1", "0.5", "-2", "9007199254740992", "9007199254740993",
                                            "1152921504606846976", "0.000000000000000000000000000001", "1e60"};
    const mpz_class two53 = mpz_class(1) << 53, two60 = mpz_class(1) << 60;
    switch (pick(11)) {
      case 10: {
        // Around 2^53, where int/float equality stops being transitive.
        static const char* const kHot[] = {"9007199254740992", "9007199254740993", "9007199254740994"};
        const char* text = kHot[pick(3)];
        switch (pick(3)) {
          case 0:
            return VmValue::integer(mpz_class(text));
          case 1:
            return VmValue::float64(std::strtod(text, nullptr));
          default:
            return VmValue::decimal(*VmDecimal::from_str_literal(text));
        }
      }
      case 0:
        return VmValue::boolean(pick(2) == 1);
      case 1:
        return VmValue::integer(static_cast<int64_t>(pick(7)) - 3);
      case 2:
        return VmValue::integer(mpz_class(two53 + static_cast<long>(pick(9)) - 4));
      case 3:
        return VmValue::integer(mpz_class(two60 + static_cast<long>(pick(600)) - 300));
      case 4:
        return VmValue::integer(mpz_class(pick(2) == 0 ? "10000000000000000000000000000000000000000000000000000000000000"
                                                       : "-99999999999999999999999999999999999999999999999999999999999999999"));
      case 5: {
        static const double kFloats[] = {0.0, -0.0, 1.0, -3.0, 0.5, 9007199254740992.0, 9007199254740994.0,
                                         1152921504606846976.0, 1e-40, 2e-40, 1e-30, 1e61, 1e300};
        return VmValue::float64(kFloats[pick(13)]);
      }
      case 6: {
        static const double kOdd[] = {INFINITY, -INFINITY, NAN};
        return pick(4) == 0 ? VmValue::float64(kOdd[pick(3)]) : VmValue::float64(std::ldexp(1.0, 60) + 256.0 * (pick(5) - 2.0));
      }
      case 7:
        return VmValue::float64(static_cast<double>(pick(7)) - 3.0);
      default:
        return VmValue::decimal(*VmDecimal::from_str_literal(kDecimals[pick(9)]));
    }
  }

  VmValue any() {
    switch (pick(12)) {
      case 0:
        return VmValue::str(pick(2) == 0 ? "a" : "b");
      case 1:
        return VmValue::none();
      case 2:
        return *VmValue::make_tuple({number()});
      case 3: {
        // Frozensets of small ints or bools: True and 1 are one item.
        std::vector<VmValue> items;
        for (uint32_t i = pick(3); i > 0; --i) items.push_back(pick(3) == 0 ? VmValue::boolean(pick(2) == 1) : VmValue::integer(pick(3)));
        return *VmValue::make_frozenset(*normalize_set_items(std::move(items)));
      }
      default:
        return number();
    }
  }

  // A tuple of one to three numbers (sometimes a frozenset of them in its
  // place, or inside it): containers whose leaves mix number kinds. Tame
  // numbers all have a decimal (no comparison among them can fail).
  VmValue container_of_numbers(bool tame) {
    std::vector<VmValue> leaves(1 + pick(3));
    for (VmValue& v : leaves) {
      do {
        v = number();
      } while (tame && !decimal_from_vm_value(v).ok());
    }
    auto frozen = [](std::vector<VmValue> items) {
      auto normalized = normalize_set_items(std::move(items));
      return normalized.ok() ? *VmValue::make_frozenset(*normalized) : VmValue::str("x");
    };
    switch (pick(6)) {
      case 0:
        return frozen(std::move(leaves));
      case 1:
        leaves.back() = frozen({leaves.back(), VmValue::integer(pick(3))});
        break;
      default:
        break;
    }
    return *VmValue::make_tuple(std::move(leaves));
  }

  // A list of up to `max` values; with small probability `any()` ones.
  // Kept out of line: inlined into a large test body, it draws a false
  // "may be used uninitialized" from GCC 12.
  [[gnu::noinline]] std::vector<VmValue> list(size_t max, bool numbers_only, bool allow_nan) {
    std::vector<VmValue> out(pick(static_cast<uint32_t>(max) + 1));
    for (VmValue& v : out) {
      do {
        v = numbers_only || pick(8) != 0 ? number() : any();
      } while (!allow_nan && v.is(VmKind::Float) && std::isnan(v.float_value()));
    }
    return out;
  }

  uint32_t pick(uint32_t n) { return static_cast<uint32_t>(rng_() % n); }

 private:
  std::mt19937 rng_;
};

std::string items_text(std::span<const VmValue> items) {
  std::string out;
  for (const VmValue& v : items) out += v.diagnostic_text() + " ";
  return out;
}

std::string text_of(const VmResult<std::vector<VmValue>>& r) {
  return r.ok() ? items_text(*r) : "error: " + r.error().message;
}

std::string text_of(const VmResult<bool>& r) {
  return r.ok() ? (*r ? "true" : "false") : "error: " + r.error().message;
}

// The receiver's items after a method call, or the call's error.
std::string text_of(const VmResult<NativeMethodOutcome>& r) {
  return r.ok() ? items_text(r->receiver.items()) : "error: " + r.error().message;
}

TEST(GrowthResults, SortedIsTheInsertionSort) {
  HostileValues gen(1);
  for (int round = 0; round < 6000; ++round) {
    const std::vector<VmValue> values = gen.list(12, round % 2 == 0, round % 3 == 0);
    ASSERT_EQ(text_of(sorted_values(values)), text_of(oracle::insertion_sort(values))) << items_text(values);
  }
}

// Decimals beside bools, ints and floats, all inside the decimal range:
// tiny floats that truncate to one decimal, floats whose shortest text is not
// their exact value, ints that share a double, decimals between them.
VmValue decimal_mix_number(std::mt19937& rng) {
  static const char* const kDecimals[] = {"0", "1e-30", "-1e-30", "2e-30", "0.1", "1.5", "-1.5", "2",
                                          "9007199254740992", "9007199254740993", "9007199254740992.5",
                                          "1152921504606846976", "1152921504606846977", "1152921504606847000",
                                          "1152921504606846975.999999999999999999999999999999"};
  static const double kFloats[] = {0.0, -0.0, 1e-40, -1e-40, 2e-40, 1e-31, 1e-30, 1.5e-30, 2e-30, -1e-30,
                                   0.1, 1.5, 2.0, 9007199254740992.0, 9007199254740994.0,
                                   1152921504606846976.0, 1152921504606847232.0, 1152921504606846720.0};
  static const char* const kInts[] = {"0", "1", "2", "-1", "9007199254740992", "9007199254740993",
                                      "1152921504606846975", "1152921504606846976", "1152921504606846977",
                                      "1152921504606847000", "1152921504606847104", "1152921504606847105"};
  switch (rng() % 4) {
    case 0:
      return VmValue::decimal(*VmDecimal::from_str_literal(kDecimals[rng() % std::size(kDecimals)]));
    case 1:
      return VmValue::float64(kFloats[rng() % std::size(kFloats)]);
    case 2:
      return VmValue::integer(mpz_class(kInts[rng() % std::size(kInts)]));
    default:
      return rng() % 3 == 0 ? VmValue::boolean(rng() % 2 == 1) : VmValue::decimal(VmDecimal::from_i64(rng() % 3));
  }
}

TEST(GrowthResults, SortedDecimalsAmongNumbersIsTheInsertionSort) {
  std::mt19937 rng(5);
  for (int round = 0; round < 3000; ++round) {
    std::vector<VmValue> values(rng() % 40);
    for (VmValue& v : values) v = decimal_mix_number(rng);
    // Now and then a value no decimal comparison accepts, at the end.
    if (round % 7 == 0) values.push_back(round % 14 == 0 ? VmValue::float64(1e300) : VmValue::str("a"));
    ASSERT_EQ(text_of(sorted_values(values)), text_of(oracle::insertion_sort(values))) << items_text(values);
  }
}

TEST(GrowthResults, SetBuildingIsTheScan) {
  HostileValues gen(2);
  for (int round = 0; round < 6000; ++round) {
    const std::vector<VmValue> values = gen.list(14, round % 2 == 0, round % 4 == 0);
    ASSERT_EQ(text_of(normalize_set_items(values)), text_of(oracle::normalize(values)))
        << items_text(values);
  }
}

// Intersection, both differences, symmetric difference and subset of two
// normalised sets against the literal scans.
void expect_algebra_is_the_scan(const std::vector<VmValue>& a, const std::vector<VmValue>& b) {
  const std::string context = items_text(a) + "| " + items_text(b);
  ASSERT_EQ(text_of(set_intersection_values(a, b)), text_of(oracle::intersection(a, b))) << context;
  ASSERT_EQ(text_of(set_difference_values(a, b)), text_of(oracle::difference(a, b))) << context;
  ASSERT_EQ(text_of(set_difference_values(b, a)), text_of(oracle::difference(b, a))) << context;
  ASSERT_EQ(text_of(set_symmetric_difference_values(a, b)), text_of(oracle::symmetric_difference(a, b)))
      << context;
  ASSERT_EQ(text_of(set_is_subset(a, b)), text_of(oracle::is_subset(a, b))) << context;
}

TEST(GrowthResults, SetAlgebraIsTheScan) {
  HostileValues gen(3);
  for (int round = 0; round < 3000; ++round) {
    const bool numbers = round % 2 == 0;
    auto a = normalize_set_items(gen.list(20, numbers, round % 5 == 0));
    auto b = normalize_set_items(gen.list(20, numbers, round % 5 == 0));
    if (!a.ok() || !b.ok()) continue;
    ASSERT_NO_FATAL_FAILURE(expect_algebra_is_the_scan(*a, *b));
  }
}

TEST(GrowthResults, AlgebraOfRawSequencesIsTheScan) {
  // Sequences that are not sets (repeats, any order) must not be merged.
  HostileValues gen(5);
  for (int round = 0; round < 3000; ++round) {
    std::vector<VmValue> a, b;
    for (size_t i = 0; i < 10 + gen.pick(6); ++i) a.push_back(VmValue::integer(gen.pick(12)));
    for (size_t i = 0; i < 10 + gen.pick(6); ++i) b.push_back(VmValue::integer(gen.pick(12)));
    if (round % 2 == 0) std::sort(b.begin(), b.end(), [](const VmValue& x, const VmValue& y) { return x.small_int() < y.small_int(); });
    b.erase(std::unique(b.begin(), b.end(), [](const VmValue& x, const VmValue& y) { return x.eq(y); }), b.end());
    ASSERT_EQ(text_of(set_intersection_values(a, b)), text_of(oracle::intersection(a, b)));
    ASSERT_EQ(text_of(set_symmetric_difference_values(a, b)), text_of(oracle::symmetric_difference(a, b)));
  }
}

TEST(GrowthResults, SetsOfFrozensetsAreTheScan) {
  HostileValues gen(6);
  for (int round = 0; round < 3000; ++round) {
    std::vector<VmValue> values;
    for (size_t i = 0; i < 10 + gen.pick(8); ++i) {
      VmValue v = gen.any();
      if (v.is(VmKind::FrozenSet)) values.push_back(std::move(v));
    }
    ASSERT_EQ(text_of(normalize_set_items(values)), text_of(oracle::normalize(values)))
        << items_text(values);
    auto a = normalize_set_items(values);
    const std::vector<VmValue> probes(values.rbegin(), values.rend());
    if (a.ok()) {
      ASSERT_EQ(text_of(set_difference_values(probes, *a)), text_of(oracle::difference(probes, *a)));
    }
  }
}

// The four set operators: the literal algebra's raw result, normalised.
void expect_operators_are_the_scan(const std::vector<VmValue>& a, const std::vector<VmValue>& b) {
  const std::string context = items_text(a) + "| " + items_text(b);
  const auto normalised = [](VmResult<std::vector<VmValue>> raw) {
    return raw.ok() ? oracle::normalize(*raw) : raw;
  };
  std::vector<VmValue> both = a;
  both.insert(both.end(), b.begin(), b.end());
  ASSERT_EQ(text_of(set_operator_items(SetOperator::Union, a, b)), text_of(oracle::normalize(both))) << context;
  ASSERT_EQ(text_of(set_operator_items(SetOperator::Intersection, a, b)),
            text_of(normalised(oracle::intersection(a, b))))
      << context;
  ASSERT_EQ(text_of(set_operator_items(SetOperator::Difference, a, b)), text_of(normalised(oracle::difference(a, b))))
      << context;
  ASSERT_EQ(text_of(set_operator_items(SetOperator::SymmetricDifference, a, b)),
            text_of(normalised(oracle::symmetric_difference(a, b))))
      << context;
  // The method normalises its argument first (a set built under another
  // mix may normalise to fewer items).
  const VmValue set = *VmValue::make_set(a), other = *VmValue::make_frozenset(b);
  const auto method = call_native_method(set, "symmetric_difference", std::span<const VmValue>(&other, 1), {});
  const auto argument = oracle::normalize(b);
  ASSERT_EQ(method.ok() ? items_text(method->value.items()) : "error: " + method.error().message,
            text_of(argument.ok() ? normalised(oracle::symmetric_difference(a, *argument)) : argument))
      << context;
}

// Building a set of `values` is the scan; so are the algebra and the
// operators on it and the set of `others`.
void expect_sets_are_the_scan(const std::vector<VmValue>& values, const std::vector<VmValue>& others) {
  ASSERT_EQ(text_of(normalize_set_items(values)), text_of(oracle::normalize(values)))
      << items_text(values);
  auto a = normalize_set_items(values);
  auto b = normalize_set_items(others);
  if (!a.ok() || !b.ok()) return;
  ASSERT_NO_FATAL_FAILURE(expect_algebra_is_the_scan(*a, *b));
  ASSERT_NO_FATAL_FAILURE(expect_operators_are_the_scan(*a, *b));
}

TEST(GrowthResults, SetOperatorsOnContainersAreTheScan) {
  HostileValues gen(9);
  // Tuples of mixed numbers, of an int and a str, holding a date-time, and
  // frozensets; now and then a value of another kind.
  const auto make = [&](int shape) -> VmValue {
    switch (shape) {
      case 0:
        return gen.container_of_numbers(gen.pick(4) != 0);
      case 1:
        return *VmValue::make_tuple({VmValue::integer(gen.pick(9)), VmValue::str(gen.pick(2) == 0 ? "a" : "b")});
      case 2:
        return *VmValue::make_tuple({gen.number(), VmValue::datetime(*VmDateTime::from_day_time(gen.pick(2), 0, gen.pick(3)))});
      default: {
        std::vector<VmValue> items;
        for (uint32_t i = 1 + gen.pick(3); i > 0; --i) items.push_back(gen.number());
        auto normalized = normalize_set_items(std::move(items));
        return normalized.ok() ? *VmValue::make_frozenset(*normalized) : *VmValue::make_frozenset({});
      }
    }
  };
  for (int round = 0; round < 3000; ++round) {
    const int shape = static_cast<int>(gen.pick(4));
    std::vector<VmValue> values, others;
    for (size_t i = 4 + gen.pick(60); i > 0; --i) values.push_back(make(shape));
    for (size_t i = 4 + gen.pick(30); i > 0; --i) others.push_back(make(gen.pick(5) == 0 ? static_cast<int>(gen.pick(4)) : shape));
    for (size_t i = 0; i < 6 && i < values.size(); ++i) others.push_back(values[gen.pick(static_cast<uint32_t>(values.size()))]);
    if (gen.pick(20) == 0) others.push_back(VmValue::integer(1));
    auto a = normalize_set_items(values);
    auto b = normalize_set_items(others);
    if (!a.ok() || !b.ok()) continue;
    ASSERT_NO_FATAL_FAILURE(expect_operators_are_the_scan(*a, *b));
    ASSERT_NO_FATAL_FAILURE(expect_operators_are_the_scan(*b, *a));
  }
}

TEST(GrowthResults, SetOperatorsOnInterleavedBlocks) {
  // Blocks of every length under each first item, the shape the results'
  // merges gallop through.
  for (const size_t n : {40, 150, 400}) {
    std::vector<VmValue> a, b;
    for (size_t i = 0; i < n; ++i) {
      const auto k = static_cast<int64_t>(i);
      a.push_back(*VmValue::make_tuple({VmValue::integer(k % 7), VmValue::float64(static_cast<double>(k) / 2)}));
      b.push_back(*VmValue::make_tuple({VmValue::integer(k % 5), VmValue::integer(k + static_cast<int64_t>(n / 3))}));
    }
    const std::vector<VmValue> x = *normalize_set_items(a), y = *normalize_set_items(b);
    ASSERT_NO_FATAL_FAILURE(expect_operators_are_the_scan(x, y));
    ASSERT_NO_FATAL_FAILURE(expect_operators_are_the_scan(y, x));
  }
}

TEST(GrowthResults, FrozensetsOfNumbersSharingADoubleAreTheScan) {
  // Items of one frozenset that round to one double without being equal
  // (ints beyond 2^53), now and then with a float or a decimal among them.
  HostileValues gen(10);
  const mpz_class base = mpz_class(1) << 60;
  const auto wide = [&]() -> VmValue {
    switch (gen.pick(8)) {
      case 0:
        return VmValue::float64(std::ldexp(1.0, 60) + 256.0 * gen.pick(3));
      case 1:
        return VmValue::decimal(*VmDecimal::from_str_literal(mpz_class(base + 256 * gen.pick(3) + gen.pick(3)).get_str()));
      default:
        return VmValue::integer(mpz_class(base + 256 * gen.pick(3) + gen.pick(4)));
    }
  };
  for (int round = 0; round < 2000; ++round) {
    const bool tame = round % 3 != 0;
    const auto frozen = [&] {
      std::vector<VmValue> items;
      for (uint32_t i = 1 + gen.pick(3); i > 0; --i) {
        VmValue v = wide();
        while (tame && v.is(VmKind::Float)) v = wide();
        items.push_back(std::move(v));
      }
      auto normalized = normalize_set_items(std::move(items));
      return normalized.ok() ? *VmValue::make_frozenset(*normalized) : *VmValue::make_frozenset({});
    };
    std::vector<VmValue> values, others;
    for (size_t i = 8 + gen.pick(24); i > 0; --i) values.push_back(frozen());
    for (size_t i = 8 + gen.pick(24); i > 0; --i) others.push_back(frozen());
    ASSERT_NO_FATAL_FAILURE(expect_sets_are_the_scan(values, others));
  }
}

TEST(GrowthResults, SetOperatorsOnSetsHoldingEqualItems) {
  // A set built while a float made equality intransitive can hold two equal
  // items ((2^53 + 1,) and (Decimal(2^53 + 1),), once both met (2.0^53,)
  // differently); where nothing else breaks transitivity, the operators
  // must still normalise them to one.
  const VmValue wide_float = *VmValue::make_tuple({VmValue::float64(9007199254740992.0)});
  const VmValue wide_decimal = *VmValue::make_tuple({VmValue::decimal(*VmDecimal::from_str_literal("9007199254740993"))});
  const VmValue wide_int = *VmValue::make_tuple({VmValue::integer(mpz_class("9007199254740993"))});
  std::vector<VmValue> filler;
  for (int i = 0; i < 20; ++i) filler.push_back(*VmValue::make_tuple({VmValue::integer(i)}));
  std::vector<VmValue> with_pair = {wide_float, wide_decimal, wide_int};
  with_pair.insert(with_pair.end(), filler.begin(), filler.end());
  const std::vector<VmValue> a = *normalize_set_items(with_pair);
  ASSERT_EQ(a.size(), 22u);  // the int replaced the float, which the decimal did not equal
  std::vector<VmValue> with_int = filler;
  with_int.push_back(wide_int);
  for (const auto& b : {filler, *normalize_set_items(with_int)}) {
    ASSERT_NO_FATAL_FAILURE(expect_operators_are_the_scan(a, b));
    ASSERT_NO_FATAL_FAILURE(expect_operators_are_the_scan(b, a));
  }
}

TEST(GrowthResults, SetsOfMixedNumberContainersAreTheScan) {
  HostileValues gen(7);
  for (int round = 0; round < 3000; ++round) {
    const bool tame = round % 4 != 0;
    std::vector<VmValue> values, others;
    for (size_t i = 8 + gen.pick(16); i > 0; --i) values.push_back(gen.container_of_numbers(tame));
    for (size_t i = 8 + gen.pick(16); i > 0; --i) others.push_back(gen.container_of_numbers(tame));
    // Repeats of earlier values under other number kinds meet them.
    for (size_t i = 0; i < 4 && i < values.size(); ++i) others.push_back(values[gen.pick(static_cast<uint32_t>(values.size()))]);
    ASSERT_NO_FATAL_FAILURE(expect_sets_are_the_scan(values, others));
    auto a = normalize_set_items(values);
    auto b = normalize_set_items(others);
    if (!a.ok() || !b.ok()) continue;
    const std::string context = items_text(*a) + "| " + items_text(*b);
    const VmValue sa = *VmValue::make_set(*a), fb = *VmValue::make_frozenset(*b);
    const bool equal_reference = a->size() == b->size() && *oracle::is_subset(*a, *b);
    ASSERT_EQ(text_of(vm_values_equal(sa, fb)), equal_reference ? "true" : "false") << context;
  }
}

// A leaf from small pools around 2^60 and 2^100: ints sharing the double,
// the float of it, decimals equal to the float's text and not, an int of the
// next double; bools, small ints, strs; now and then a nested tuple. With
// depth -1, only 2^60's float, ints of its double and the decimal of its text.
VmValue star_leaf_value(HostileValues& gen, int depth = 0) {
  static const char* const kInts[] = {"1152921504606846975", "1152921504606846976", "1152921504606846977",
                                      "1152921504606847000", "1152921504606847232",
                                      "1267650600228229401496703205375", "1267650600228229401496703205376",
                                      "1267650600228229401496703205377", "1267650600228229400000000000000"};
  static const char* const kDecimals[] = {"1152921504606847000", "1152921504606846976", "1152921504606846977",
                                          "1152921504606846976.5", "1267650600228229400000000000000",
                                          "1267650600228229401496703205376", "1267650600228229401496703205377"};
  static const double kFloats[] = {1152921504606846976.0, 1152921504606847232.0, 1267650600228229401496703205376.0, 1.0};
  if (depth < 0) {
    const uint32_t k = gen.pick(5);
    if (k < 3) return VmValue::integer(mpz_class(kInts[k]));
    return k == 3 ? VmValue::float64(kFloats[0]) : VmValue::decimal(*VmDecimal::from_str_literal(kDecimals[0]));
  }
  switch (gen.pick(depth == 0 ? 8 : 7)) {
    case 0:
    case 1:
      return VmValue::integer(mpz_class(kInts[gen.pick(std::size(kInts))]));
    case 2:
    case 3:
      return VmValue::float64(kFloats[gen.pick(std::size(kFloats))]);
    case 4:
      return VmValue::decimal(*VmDecimal::from_str_literal(kDecimals[gen.pick(std::size(kDecimals))]));
    case 5:
      return gen.pick(2) == 0 ? VmValue::boolean(gen.pick(2) == 1) : VmValue::integer(gen.pick(3));
    case 6:
      return VmValue::str(gen.pick(2) == 0 ? "a" : "b");
    default:
      return *VmValue::make_tuple({star_leaf_value(gen, 1), star_leaf_value(gen, 1)});
  }
}

// Values of `make` against others, some of them repeated, both ways round
// with `both_ways`; and set equality with the same values in another order,
// which may keep other survivors.
template <class Make>
void expect_made_sets_are_the_scan(HostileValues& gen, int round, const Make& make, bool both_ways) {
  std::vector<VmValue> values, others;
  for (size_t i = 8 + gen.pick(40); i > 0; --i) values.push_back(make());
  for (size_t i = 8 + gen.pick(20); i > 0; --i) others.push_back(make());
  for (size_t i = 0; i < 4; ++i) others.push_back(values[gen.pick(static_cast<uint32_t>(values.size()))]);
  std::shuffle(others.begin(), others.end(), std::mt19937(static_cast<uint32_t>(round)));
  ASSERT_NO_FATAL_FAILURE(expect_sets_are_the_scan(values, others));
  if (both_ways) {
    ASSERT_NO_FATAL_FAILURE(expect_sets_are_the_scan(others, values));
  }
  std::vector<VmValue> shuffled = values;
  std::shuffle(shuffled.begin(), shuffled.end(), std::mt19937(static_cast<uint32_t>(round) + 1));
  for (const auto& b : {normalize_set_items(shuffled), normalize_set_items(others)}) {
    const auto a = normalize_set_items(values);
    const bool equal = a->size() == b->size() && *oracle::is_subset(*a, *b);
    ASSERT_EQ(text_of(vm_values_equal(*VmValue::make_set(*a), *VmValue::make_frozenset(*b))), equal ? "true" : "false")
        << items_text(*a) << "| " << items_text(*b);
  }
}

TEST(GrowthResults, TuplesMeetingOneFloatPerDoubleAreTheScan) {
  HostileValues gen(12);
  for (int round = 0; round < 3000; ++round) {
    // Every tenth round: seven to ten leaves of 2^60's double, past the
    // eight positions the keys of choices take.
    const bool long_tuples = round % 10 == 9;
    const auto make = [&] {
      std::vector<VmValue> leaves(long_tuples ? 7 + gen.pick(4) : 1 + gen.pick(round % 3 == 0 ? 4 : 2));
      for (VmValue& v : leaves) v = star_leaf_value(gen, long_tuples ? -1 : 0);
      return *VmValue::make_tuple(std::move(leaves));
    };
    ASSERT_NO_FATAL_FAILURE(expect_made_sets_are_the_scan(gen, round, make, false));
  }
}

TEST(GrowthResults, FrozensetsMeetingOneFloatPerDoubleAreTheScan) {
  HostileValues gen(13);
  for (int round = 0; round < 3000; ++round) {
    // Every tenth round: frozensets of up to twelve leaves, texts among
    // them, past the eight keys a needle may provide. Now and then a tuple
    // or the empty frozenset among the frozensets.
    const bool long_sets = round % 10 == 9;
    const auto make = [&] {
      if (gen.pick(40) == 0) return *VmValue::make_tuple({star_leaf_value(gen, 1)});
      if (gen.pick(40) == 0) return *VmValue::make_frozenset({});
      std::vector<VmValue> leaves(long_sets ? 6 + gen.pick(7) : 1 + gen.pick(round % 3 == 0 ? 4 : 2));
      static const char* const kTexts[] = {"t0", "t1", "t2", "t3", "t4", "t5", "t6", "t7", "t8", "t9"};
      for (VmValue& v : leaves) {
        if (long_sets && gen.pick(2) == 0) {
          v = VmValue::str(kTexts[gen.pick(std::size(kTexts))]);
        } else {
          v = star_leaf_value(gen, 1);
        }
      }
      return *VmValue::make_frozenset(*normalize_set_items(std::move(leaves)));
    };
    ASSERT_NO_FATAL_FAILURE(expect_made_sets_are_the_scan(gen, round, make, true));
  }
}

// add, discard and remove: the set normalised again with x, and the set
// difference with [x].
TEST(GrowthResults, AddAndRemoveAreTheWholeOperation) {
  HostileValues gen(8);
  for (int round = 0; round < 6000; ++round) {
    std::vector<VmValue> values;
    switch (round % 4) {
      case 0:
        values = gen.list(24, true, round % 8 == 0);
        break;
      case 1:
        for (size_t i = gen.pick(24); i > 0; --i) values.push_back(gen.any());
        break;
      case 2:
        for (size_t i = gen.pick(24); i > 0; --i) values.push_back(VmValue::float64(static_cast<double>(gen.pick(9)) - 4.0 + (gen.pick(3) == 0 ? 0.5 : 0.0)));
        values.push_back(VmValue::float64(gen.pick(2) == 0 ? 0.0 : -0.0));
        break;
      default:
        for (size_t i = gen.pick(24); i > 0; --i) values.push_back(*VmValue::make_tuple({VmValue::integer(gen.pick(5)), VmValue::str(gen.pick(2) == 0 ? "a" : "b")}));
    }
    if (round % 8 == 5) {  // numbers of one kind, and a number of any kind
      const VmKind kinds[] = {VmKind::Bool, VmKind::Int, VmKind::Float, VmKind::Decimal};
      const VmKind kind = kinds[gen.pick(4)];
      values.clear();
      for (size_t i = 3 * gen.pick(24); i > 0; --i) {
        VmValue v = gen.number();
        if (v.is(kind)) values.push_back(std::move(v));
      }
    }
    auto items = normalize_set_items(values);
    if (!items.ok()) continue;
    const VmValue set = *VmValue::make_set(*items);
    VmValue x = round % 4 == 2 ? VmValue::float64(gen.pick(3) == 0 ? -0.0 : static_cast<double>(gen.pick(9)) - 4.0) : gen.any();
    if (round % 8 == 5) x = gen.number();
    if (round % 4 == 3 && gen.pick(2) == 0) x = *VmValue::make_tuple({VmValue::integer(gen.pick(6)), VmValue::str("a")});
    if (gen.pick(9) == 0) x = *VmValue::make_list({});
    const std::string context = items_text(*items) + "x " + x.diagnostic_text();
    std::vector<VmValue> grown = *items;
    grown.push_back(x);
    const auto added = call_native_method(set, "add", std::span<const VmValue>(&x, 1), {});
    ASSERT_EQ(text_of(added), text_of(oracle::normalize(grown))) << context;
    const auto rest = oracle::difference(*items, std::span<const VmValue>(&x, 1));
    const auto discarded = call_native_method(set, "discard", std::span<const VmValue>(&x, 1), {});
    ASSERT_EQ(text_of(discarded), text_of(rest)) << context;
    const auto removed = call_native_method(set, "remove", std::span<const VmValue>(&x, 1), {});
    const bool missing = rest.ok() && rest->size() == items->size();
    ASSERT_EQ(removed.ok(), rest.ok() && !missing) << context;
  }
}

// A tuple of one to three leaves mixing bools, ints and floats near 0 and
// 2^53 (either side), -0.0, a text, None, and now and then a decimal.
VmValue mixed_leaf_tuple(HostileValues& gen) {
  static const double kNear53[] = {9007199254740991.0, 9007199254740992.0, -9007199254740991.0};
  std::vector<VmValue> leaves(1 + gen.pick(3));
  for (VmValue& v : leaves) {
    switch (gen.pick(9)) {
      case 0:
        v = VmValue::boolean(gen.pick(2) == 1);
        break;
      case 1:
      case 2:
        v = VmValue::integer(static_cast<int64_t>(gen.pick(3)) - 1);
        break;
      case 3:
        v = VmValue::float64(gen.pick(3) == 0 ? -0.0 : static_cast<double>(gen.pick(3)) - 1.0);
        break;
      case 4:
        v = gen.pick(2) == 0 ? VmValue::float64(kNear53[gen.pick(3)])
                             : VmValue::integer(static_cast<int64_t>(kNear53[gen.pick(3)]) + gen.pick(2));
        break;
      case 5:
        v = VmValue::str(gen.pick(2) == 0 ? "a" : "b");
        break;
      case 6:
        v = VmValue::none();
        break;
      case 7:
        v = gen.pick(4) == 0 ? VmValue::decimal(VmDecimal::from_i64(gen.pick(2))) : VmValue::float64(0.5);
        break;
      default:
        v = gen.number();
    }
  }
  return *VmValue::make_tuple(std::move(leaves));
}

// Bools, small ints, floats and decimals of a few shared values (0, 0.1,
// 0.5, 1, 2, near 2^53 and 1e-13, decimals whose nearest double is another
// value's), now and then any number.
VmValue decimal_among_numbers(HostileValues& gen) {
  static const char* const kValues[] = {"0",    "0.1",  "0.5",  "1", "2", "9007199254740991", "0.0000000000001",
                                        "0.10", "-2.5", "0.1000000000000000000000000001", "9007199254740993"};
  constexpr size_t kCount = std::size(kValues);
  const char* text = kValues[gen.pick(kCount)];
  switch (gen.pick(5)) {
    case 0:
      return VmValue::decimal(*VmDecimal::from_str_literal(text));
    case 1:
      return VmValue::float64(gen.pick(4) == 0 ? -std::strtod(text, nullptr) : std::strtod(text, nullptr));
    case 2:
      return std::strchr(text, '.') == nullptr ? VmValue::integer(std::strtoll(text, nullptr, 10)) : VmValue::boolean(gen.pick(2) == 1);
    case 3:
      return VmValue::decimal(*VmDecimal::from_str_literal(kValues[gen.pick(kCount)]));
    default:
      return gen.pick(3) == 0 ? gen.number() : VmValue::str(gen.pick(2) == 0 ? "a" : "b");
  }
}

// Runs of add and discard on one set, small or padded with 300 far ints
// (whose edits are held pending): each step is the whole operation on the
// items the last one left, and membership of each x is the scan. The last
// rounds edit sets of tuples whose leaves mix number kinds, then sets of
// numbers with decimals among them, then tuples and frozensets of several
// shapes holding any numbers (NaN and strs beside them now and then).
TEST(GrowthResults, RunsOfEditsAreTheWholeOperations) {
  HostileValues gen(5);
  for (int round = 0; round < 2400; ++round) {
    const bool tuples = round >= 600 && round < 1200;
    const bool containers = round >= 1800;
    const auto next = [&] {
      if (containers) {
        if (gen.pick(8) == 0) return gen.pick(2) == 0 ? VmValue::float64(NAN) : VmValue::str("a");
        return gen.container_of_numbers(gen.pick(3) == 0);
      }
      if (round >= 1200) return decimal_among_numbers(gen);
      if (tuples) return gen.pick(6) == 0 ? gen.any() : mixed_leaf_tuple(gen);
      return round % 2 == 0 ? gen.number() : gen.any();
    };
    std::vector<VmValue> values;
    for (size_t i = gen.pick(12); i > 0; --i) values.push_back(next());
    if (round % 4 >= 2)
      for (int64_t i = 0; i < 300; ++i) {
        const VmValue far = VmValue::integer(1000000000 + 7 * i);
        values.push_back(tuples || containers ? *VmValue::make_tuple({far, VmValue::float64(0.5)}) : far);
      }
    auto items = normalize_set_items(values);
    if (!items.ok()) continue;
    VmValue set = *VmValue::make_set(*items);
    std::string history = items_text(*items);
    for (int step = 0; step < 16; ++step) {
      const VmValue x = next();
      const std::vector<VmValue> before(set.items().begin(), set.items().end());
      const std::string context = history + "| " + items_text(before) + "x " + x.diagnostic_text();
      ASSERT_EQ(text_of(contains_value(set, x)), text_of(oracle::found_in(before, x))) << context;
      std::vector<VmValue> grown = before;
      grown.push_back(x);
      const bool adding = gen.pick(3) != 0;
      history += std::string(adding ? "add " : "discard ") + x.diagnostic_text() + "; ";
      const auto expected = adding ? oracle::normalize(grown)
                                   : oracle::difference(before, std::span<const VmValue>(&x, 1));
      auto outcome = call_native_method(std::move(set), adding ? "add" : "discard", std::span<const VmValue>(&x, 1), {});
      ASSERT_EQ(text_of(outcome), text_of(expected)) << context;
      if (!outcome.ok()) break;
      set = outcome->receiver;
    }
  }
}

TEST(GrowthResults, MembershipIsTheScan) {
  HostileValues gen(4);
  for (int round = 0; round < 2000; ++round) {
    const std::vector<VmValue> keys = gen.list(24, round % 2 == 0, round % 3 == 0);
    std::vector<VmDictPair> pairs;
    for (const VmValue& k : keys) pairs.push_back({k, VmValue::none()});
    std::vector<VmDictPair> other(pairs.rbegin(), pairs.rend());
    if (!other.empty() && round % 2 == 1) other.front().key = gen.number();
    const VmValue dict = *VmValue::make_dict(std::move(pairs));
    const VmValue reversed = *VmValue::make_dict(std::move(other));
    ASSERT_EQ(text_of(vm_values_equal(dict, reversed)), text_of(oracle::equal(dict, reversed)))
        << items_text(keys);
    auto items = normalize_set_items(keys);
    const VmValue set = items.ok() ? *VmValue::make_set(*items) : *VmValue::make_set({});
    for (int probe = 0; probe < 12; ++probe) {
      const VmValue needle = gen.any();
      ASSERT_EQ(text_of(contains_value(dict, needle)), text_of(oracle::contains(dict, needle)))
          << items_text(keys) << "needle " << needle.diagnostic_text();
      ASSERT_EQ(text_of(contains_value(set, needle)), text_of(oracle::found_in(set.items(), needle)))
          << items_text(set.items()) << "needle " << needle.diagnostic_text();
    }
  }
}

}  // namespace
}  // namespace veln
