// Operators on the hot paths of contract code: small-int arithmetic through
// the operator table, big-int multiplication near the 1048576-bit limit,
// concatenation of an unshared accumulator, comparisons, indexing and list
// and str slicing.
#include <benchmark/benchmark.h>

#include <gmpxx.h>

#include <string>
#include <vector>

#include "interpreter_support/binary_operators.hpp"
#include "interpreter_support/compare_operators.hpp"
#include "interpreter_support/subscripts.hpp"

namespace {

using veln::BinaryOperator;
using veln::VmSliceArgs;
using veln::VmValue;

void BM_SmallIntAdd(benchmark::State& state) {
  VmValue acc = VmValue::integer(int64_t{0});
  const VmValue one = VmValue::integer(int64_t{3});
  for (auto _ : state) {
    auto r = veln::apply_binary_operator(BinaryOperator::Add, std::move(acc), one);
    acc = std::move(r).value();
    if (acc.small_int() > (int64_t{1} << 60)) acc = VmValue::integer(int64_t{0});
    benchmark::DoNotOptimize(acc);
  }
}
BENCHMARK(BM_SmallIntAdd);

void BM_SmallIntMixedOps(benchmark::State& state) {
  const VmValue a = VmValue::integer(int64_t{123456789});
  const VmValue b = VmValue::integer(int64_t{-9876});
  const BinaryOperator ops[] = {BinaryOperator::Add, BinaryOperator::Sub, BinaryOperator::Mul,
                                BinaryOperator::FloorDiv, BinaryOperator::Mod, BinaryOperator::BitXor};
  size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(veln::apply_binary_operator(ops[i], a, b));
    i = i == 5 ? 0 : i + 1;
  }
}
BENCHMARK(BM_SmallIntMixedOps);

void BM_SmallIntCompare(benchmark::State& state) {
  const VmValue a = VmValue::integer(int64_t{123456789});
  const VmValue b = VmValue::integer(int64_t{-9876});
  for (auto _ : state) benchmark::DoNotOptimize(veln::apply_compare_operator(veln::CompareOperator::Lt, a, b));
}
BENCHMARK(BM_SmallIntCompare);

// Two operands of 524288 bits each: the largest product the guard accepts.
void BM_BigIntMulNearLimit(benchmark::State& state) {
  mpz_class x = 1;
  x <<= 524287;
  x += 12345;
  mpz_class y = 1;
  y <<= 524287;
  y -= 777;
  const VmValue a = VmValue::integer(x);
  const VmValue b = VmValue::integer(y);
  for (auto _ : state) {
    auto r = veln::apply_binary_operator(BinaryOperator::Mul, a, b);
    if (!r.ok()) state.SkipWithError(r.error().message.c_str());
    benchmark::DoNotOptimize(r);
  }
}
BENCHMARK(BM_BigIntMulNearLimit)->Unit(benchmark::kMicrosecond);

// Refused from the bit lengths alone.
void BM_BigIntMulRefused(benchmark::State& state) {
  mpz_class x = 1;
  x <<= 600000;
  const VmValue a = VmValue::integer(x);
  for (auto _ : state) benchmark::DoNotOptimize(veln::apply_binary_operator(BinaryOperator::Mul, a, a));
}
BENCHMARK(BM_BigIntMulRefused);

// s = s + "x" with s unshared appends in place.
void BM_StrAccumulate(benchmark::State& state) {
  const VmValue piece = VmValue::str("x");
  for (auto _ : state) {
    VmValue s = VmValue::str("");
    for (int i = 0; i < 1000; ++i) s = veln::apply_binary_operator(BinaryOperator::Add, std::move(s), piece).value();
    benchmark::DoNotOptimize(s);
  }
  state.SetItemsProcessed(state.iterations() * 1000);
}
BENCHMARK(BM_StrAccumulate);

VmValue int_list(size_t n) {
  std::vector<VmValue> items;
  items.reserve(n);
  for (size_t i = 0; i < n; ++i) items.push_back(VmValue::integer(static_cast<int64_t>(i)));
  return VmValue::make_list(std::move(items)).value();
}

void BM_ListSlice(benchmark::State& state) {
  const VmValue list = int_list(static_cast<size_t>(state.range(0)));
  const int64_t n = state.range(0);
  const int64_t step = state.range(1);
  VmSliceArgs args{VmValue::integer(n / 10), VmValue::integer(n - n / 10), VmValue::integer(step)};
  if (step < 0) args = VmSliceArgs{std::nullopt, std::nullopt, VmValue::integer(step)};
  for (auto _ : state) benchmark::DoNotOptimize(veln::subscript_slice_value(list, args));
  state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_ListSlice)->Args({16, 1})->Args({10000, 1})->Args({10000, 2})->Args({10000, -1})->Args({131072, 1});

void BM_ListIndex(benchmark::State& state) {
  const VmValue list = int_list(1000);
  const VmValue index = VmValue::integer(int64_t{-3});
  for (auto _ : state) benchmark::DoNotOptimize(veln::subscript_value(list, index));
}
BENCHMARK(BM_ListIndex);

void BM_StrSliceUnicode(benchmark::State& state) {
  std::string text;
  for (int i = 0; i < 1000; ++i) text += "h\xC3\xA9llo";
  const VmValue s = VmValue::str(text);
  VmSliceArgs args{VmValue::integer(int64_t{100}), VmValue::integer(int64_t{4000}), std::nullopt};
  for (auto _ : state) benchmark::DoNotOptimize(veln::subscript_slice_value(s, args));
}
BENCHMARK(BM_StrSliceUnicode);

void BM_StrSliceAscii(benchmark::State& state) {
  const VmValue s = VmValue::str(std::string(6000, 'a'));
  VmSliceArgs args{VmValue::integer(int64_t{100}), VmValue::integer(int64_t{4780}), std::nullopt};
  for (auto _ : state) benchmark::DoNotOptimize(veln::subscript_slice_value(s, args));
}
BENCHMARK(BM_StrSliceAscii);

}  // namespace
