// Decimal kernels: multiply, divide and square root on typical magnitudes
// (a price times a rate) and near the top of the range, plus the two texts.
#include <benchmark/benchmark.h>

#include "values/vm_decimal.hpp"

namespace {

using veln::VmDecimal;

VmDecimal lit(const char* text) { return *VmDecimal::from_str_literal(text); }

const char* const kSmallA = "12345.678901234567890123456789";
const char* const kSmallB = "0.000123456789012345678901";
const char* const kLargeA = "1234567890123456789012345678901.123456789012345678901234567890";
const char* const kLargeB = "987654321098765432109876543.210987654321098765432109876543";

void BM_DecimalMulSmall(benchmark::State& state) {
  const VmDecimal a = lit(kSmallA), b = lit(kSmallB);
  for (auto _ : state) benchmark::DoNotOptimize(VmDecimal::mul(a, b));
}
BENCHMARK(BM_DecimalMulSmall);

void BM_DecimalMulLarge(benchmark::State& state) {
  const VmDecimal a = lit(kLargeA), b = lit("1234.5678");
  for (auto _ : state) benchmark::DoNotOptimize(VmDecimal::mul(a, b));
}
BENCHMARK(BM_DecimalMulLarge);

void BM_DecimalDivSmall(benchmark::State& state) {
  const VmDecimal a = lit(kSmallA), b = lit("3");
  for (auto _ : state) benchmark::DoNotOptimize(VmDecimal::div(a, b));
}
BENCHMARK(BM_DecimalDivSmall);

void BM_DecimalDivLarge(benchmark::State& state) {
  const VmDecimal a = lit(kLargeA), b = lit(kLargeB);
  for (auto _ : state) benchmark::DoNotOptimize(VmDecimal::div(a, b));
}
BENCHMARK(BM_DecimalDivLarge);

void BM_DecimalSqrtSmall(benchmark::State& state) {
  const VmDecimal a = lit("2");
  for (auto _ : state) benchmark::DoNotOptimize(VmDecimal::sqrt(a));
}
BENCHMARK(BM_DecimalSqrtSmall);

void BM_DecimalSqrtLarge(benchmark::State& state) {
  const VmDecimal a = lit(kLargeA);
  for (auto _ : state) benchmark::DoNotOptimize(VmDecimal::sqrt(a));
}
BENCHMARK(BM_DecimalSqrtLarge);

void BM_DecimalPowInteger(benchmark::State& state) {
  const VmDecimal a = lit("1.000001"), e = lit("1000");
  for (auto _ : state) benchmark::DoNotOptimize(VmDecimal::pow(a, e));
}
BENCHMARK(BM_DecimalPowInteger);

void BM_DecimalParse(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(VmDecimal::from_str_literal(kSmallA));
}
BENCHMARK(BM_DecimalParse);

void BM_DecimalDisplay(benchmark::State& state) {
  const VmDecimal a = lit(kSmallA);
  for (auto _ : state) benchmark::DoNotOptimize(a.python_repr());
}
BENCHMARK(BM_DecimalDisplay);

}  // namespace
