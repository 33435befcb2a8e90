// Builtin-heavy operations at the sizes contract code reaches: sorted of
// 100000 ints, of ints mixed with floats and of texts, min/max, str() and
// int() conversions, len and range.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "interpreter/builtins.hpp"

namespace veln {
namespace {

constexpr size_t kItems = 100000;

class NoCalls : public VmValueCaller {
 public:
  VmResult<VmValue> call_callable_value(VmValue, VmArgList, VmKwargList) override {
    return vm_error("no calls");
  }
};

VmValue call(BuiltinId id, VmArgList args) {
  NoCalls caller;
  VmResult<VmValue> r = call_builtin(id, args, {}, caller);
  if (!r.ok()) std::abort();
  return std::move(r).value();
}

VmValue shuffled_ints() {
  std::vector<VmValue> items;
  items.reserve(kItems);
  for (size_t i = 0; i < kItems; ++i) items.push_back(VmValue::integer(static_cast<int64_t>(i * 7919 % 1000003)));
  std::shuffle(items.begin(), items.end(), std::mt19937(7));
  return *VmValue::make_list(std::move(items));
}

VmValue mixed_numbers() {
  std::mt19937 rng(11);
  std::vector<VmValue> items;
  items.reserve(kItems);
  for (size_t i = 0; i < kItems; ++i) {
    const int64_t n = static_cast<int64_t>(rng() % 1000000);
    items.push_back(i % 2 ? VmValue::integer(n) : VmValue::float64(static_cast<double>(n) + 0.5));
  }
  return *VmValue::make_list(std::move(items));
}

VmValue shuffled_texts() {
  std::vector<VmValue> items;
  items.reserve(kItems);
  for (size_t i = 0; i < kItems; ++i) items.push_back(VmValue::str("key" + std::to_string(i * 7919 % 1000003)));
  std::shuffle(items.begin(), items.end(), std::mt19937(9));
  return *VmValue::make_list(std::move(items));
}

void BM_SortedInts(benchmark::State& state) {
  const VmValue input = shuffled_ints();
  for (auto _ : state) benchmark::DoNotOptimize(call(BuiltinId::sorted, {input}));
}
BENCHMARK(BM_SortedInts)->Unit(benchmark::kMillisecond);

void BM_SortedMixedIntsAndFloats(benchmark::State& state) {
  const VmValue input = mixed_numbers();
  for (auto _ : state) benchmark::DoNotOptimize(call(BuiltinId::sorted, {input}));
}
BENCHMARK(BM_SortedMixedIntsAndFloats)->Unit(benchmark::kMillisecond);

void BM_SortedTexts(benchmark::State& state) {
  const VmValue input = shuffled_texts();
  for (auto _ : state) benchmark::DoNotOptimize(call(BuiltinId::sorted, {input}));
}
BENCHMARK(BM_SortedTexts)->Unit(benchmark::kMillisecond);

void BM_MinMaxInts(benchmark::State& state) {
  const VmValue input = shuffled_ints();
  for (auto _ : state) {
    benchmark::DoNotOptimize(call(BuiltinId::min, {input}));
    benchmark::DoNotOptimize(call(BuiltinId::max, {input}));
  }
}
BENCHMARK(BM_MinMaxInts)->Unit(benchmark::kMillisecond);

void BM_MinMaxMixed(benchmark::State& state) {
  const VmValue input = mixed_numbers();
  for (auto _ : state) {
    benchmark::DoNotOptimize(call(BuiltinId::min, {input}));
    benchmark::DoNotOptimize(call(BuiltinId::max, {input}));
  }
}
BENCHMARK(BM_MinMaxMixed)->Unit(benchmark::kMillisecond);

// str(i) then int(s) for each of 100000 ints, one builtin call each.
void BM_StrIntRoundTrip(benchmark::State& state) {
  const VmValue input = shuffled_ints();
  for (auto _ : state) {
    for (const VmValue& v : input.items()) {
      VmValue text = call(BuiltinId::str, {v});
      benchmark::DoNotOptimize(call(BuiltinId::int_, {std::move(text)}));
    }
  }
}
BENCHMARK(BM_StrIntRoundTrip)->Unit(benchmark::kMillisecond);

void BM_StrOfList(benchmark::State& state) {
  const VmValue input = shuffled_ints();
  for (auto _ : state) benchmark::DoNotOptimize(call(BuiltinId::str, {input}));
}
BENCHMARK(BM_StrOfList)->Unit(benchmark::kMillisecond);

void BM_Range(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(call(BuiltinId::range, {VmValue::integer(int64_t{kItems})}));
}
BENCHMARK(BM_Range)->Unit(benchmark::kMillisecond);

// len of a list, of a non-ASCII text and of a dict, 100000 calls each.
void BM_Len(benchmark::State& state) {
  const VmValue list = shuffled_ints();
  const VmValue text = VmValue::str("h\xc3\xa9llo w\xc3\xb6rld");
  const VmValue dict = *VmValue::make_dict({{VmValue::str("a"), VmValue::integer(1)}});
  for (auto _ : state) {
    for (size_t i = 0; i < kItems; ++i) {
      benchmark::DoNotOptimize(call(BuiltinId::len, {list}));
      benchmark::DoNotOptimize(call(BuiltinId::len, {text}));
      benchmark::DoNotOptimize(call(BuiltinId::len, {dict}));
    }
  }
}
BENCHMARK(BM_Len)->Unit(benchmark::kMillisecond);

void BM_SumRange(benchmark::State& state) {
  const VmValue input = call(BuiltinId::range, {VmValue::integer(int64_t{kItems})});
  for (auto _ : state) benchmark::DoNotOptimize(call(BuiltinId::sum, {input}));
}
BENCHMARK(BM_SumRange)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace veln
