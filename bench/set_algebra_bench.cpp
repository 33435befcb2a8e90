// Set normalisation, set algebra and the integer guards on sizes contract
// code can reach: 131072-item sets of ints and of short strings, and
// integer products near the 1048576-bit limit.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "interpreter_support/integer_guards.hpp"
#include "interpreter_support/sets/set_algebra.hpp"

namespace veln {
namespace {

constexpr size_t kItems = 131072;

std::vector<VmValue> shuffled_ints(int64_t offset) {
  std::vector<VmValue> items;
  items.reserve(kItems);
  for (size_t i = 0; i < kItems; ++i) items.push_back(VmValue::integer(static_cast<int64_t>(i) * 3 + offset));
  std::shuffle(items.begin(), items.end(), std::mt19937(42));
  return items;
}

std::vector<VmValue> shuffled_strings(size_t offset) {
  std::vector<VmValue> items;
  items.reserve(kItems);
  for (size_t i = 0; i < kItems; ++i) {
    std::string text = std::to_string(i * 3 + offset);
    text.insert(text.begin(), 'k');
    items.push_back(VmValue::str(text));
  }
  std::shuffle(items.begin(), items.end(), std::mt19937(43));
  return items;
}

void BM_NormalizeDistinctInts(benchmark::State& state) {
  const std::vector<VmValue> input = shuffled_ints(0);
  for (auto _ : state) {
    auto out = normalize_set_items(input);
    benchmark::DoNotOptimize(out);
  }
}
BENCHMARK(BM_NormalizeDistinctInts)->Unit(benchmark::kMillisecond);

void BM_NormalizeShortStrings(benchmark::State& state) {
  const std::vector<VmValue> input = shuffled_strings(0);
  for (auto _ : state) {
    auto out = normalize_set_items(input);
    benchmark::DoNotOptimize(out);
  }
}
BENCHMARK(BM_NormalizeShortStrings)->Unit(benchmark::kMillisecond);

void BM_NormalizePairs(benchmark::State& state) {
  const std::vector<VmValue> ints = shuffled_ints(0);
  const std::vector<VmValue> strings = shuffled_strings(0);
  std::vector<VmValue> input;
  input.reserve(kItems);
  for (size_t i = 0; i < kItems; ++i) input.push_back(*VmValue::make_tuple({ints[i], strings[i]}));
  for (auto _ : state) {
    auto out = normalize_set_items(input);
    benchmark::DoNotOptimize(out);
  }
}
BENCHMARK(BM_NormalizePairs)->Unit(benchmark::kMillisecond);

// Ints and texts never compare equal, so each kind is normalised apart.
void BM_NormalizeIntsAndStrings(benchmark::State& state) {
  const std::vector<VmValue> ints = shuffled_ints(0);
  const std::vector<VmValue> strings = shuffled_strings(0);
  std::vector<VmValue> input;
  input.reserve(kItems);
  for (size_t i = 0; i < kItems; ++i) input.push_back(i % 2 ? ints[i] : strings[i]);
  for (auto _ : state) {
    auto out = normalize_set_items(input);
    benchmark::DoNotOptimize(out);
  }
}
BENCHMARK(BM_NormalizeIntsAndStrings)->Unit(benchmark::kMillisecond);

// a | b as the operator computes it: raw union, then one normalisation.
void BM_UnionInts(benchmark::State& state) {
  const auto a = *normalize_set_items(shuffled_ints(0));
  const auto b = *normalize_set_items(shuffled_ints(1));
  for (auto _ : state) {
    auto out = normalize_set_items(*set_union_values(a, b));
    benchmark::DoNotOptimize(out);
  }
}
BENCHMARK(BM_UnionInts)->Unit(benchmark::kMillisecond);

void BM_UnionStrings(benchmark::State& state) {
  const auto a = *normalize_set_items(shuffled_strings(0));
  const auto b = *normalize_set_items(shuffled_strings(1));
  for (auto _ : state) {
    auto out = normalize_set_items(*set_union_values(a, b));
    benchmark::DoNotOptimize(out);
  }
}
BENCHMARK(BM_UnionStrings)->Unit(benchmark::kMillisecond);

void BM_DifferenceInts(benchmark::State& state) {
  const auto a = *normalize_set_items(shuffled_ints(0));
  const auto b = *normalize_set_items(shuffled_ints(3));
  for (auto _ : state) {
    auto out = set_difference_values(a, b);
    benchmark::DoNotOptimize(out);
  }
}
BENCHMARK(BM_DifferenceInts)->Unit(benchmark::kMillisecond);

void BM_ContainsStr(benchmark::State& state) {
  const auto set = *normalize_set_items(shuffled_strings(0));
  const VmValue needle = VmValue::str("k233331");
  for (auto _ : state) {
    auto found = set_contains(set, needle);
    benchmark::DoNotOptimize(found);
  }
}
BENCHMARK(BM_ContainsStr)->Unit(benchmark::kNanosecond);

// Two operands of 524288 bits: the product is just inside the limit.
void BM_BigIntMultiplyNearLimit(benchmark::State& state) {
  mpz_class x;
  mpz_ui_pow_ui(x.get_mpz_t(), 3, 330000);  // about 523000 bits
  const VmValue a = VmValue::integer(x);
  const VmValue b = VmValue::integer(x + 12345);
  for (auto _ : state) {
    auto out = checked_int_mul(a, b);
    benchmark::DoNotOptimize(out);
  }
}
BENCHMARK(BM_BigIntMultiplyNearLimit)->Unit(benchmark::kMillisecond);

// Refused from the bit lengths alone, without multiplying.
void BM_BigIntMultiplyRefused(benchmark::State& state) {
  mpz_class x;
  mpz_ui_pow_ui(x.get_mpz_t(), 2, 524289);
  const VmValue a = VmValue::integer(x);
  for (auto _ : state) {
    auto out = checked_int_mul(a, a);
    benchmark::DoNotOptimize(out);
  }
}
BENCHMARK(BM_BigIntMultiplyRefused)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace veln
