// Value-model micro benchmarks: small- and big-integer arithmetic, copying,
// comparing and printing a 1000-item list.
#include <benchmark/benchmark.h>

#include "values/vm_value.hpp"

namespace veln {
namespace {

VmValue thousand_item_list() {
  std::vector<VmValue> items;
  for (int i = 0; i < 1000; ++i) {
    if (i % 2) items.push_back(VmValue::integer(i * 7919));
    else items.push_back(VmValue::str("item"));
  }
  return *VmValue::make_list(std::move(items));
}

void BM_SmallIntAdd(benchmark::State& state) {
  VmValue a = VmValue::integer(123456789);
  VmValue b = VmValue::integer(987654321);
  for (auto _ : state) {
    benchmark::DoNotOptimize(a);
    VmValue r = vm_int_add(a, b);
    benchmark::DoNotOptimize(r);
  }
}
BENCHMARK(BM_SmallIntAdd);

void BM_SmallIntMul(benchmark::State& state) {
  VmValue a = VmValue::integer(123456789);
  VmValue b = VmValue::integer(987);
  for (auto _ : state) {
    benchmark::DoNotOptimize(a);
    VmValue r = vm_int_mul(a, b);
    benchmark::DoNotOptimize(r);
  }
}
BENCHMARK(BM_SmallIntMul);

void BM_BigIntMul(benchmark::State& state) {
  // Operands of state.range(0) bits each.
  mpz_class x;
  mpz_ui_pow_ui(x.get_mpz_t(), 3, static_cast<unsigned long>(state.range(0) * 0.63));
  VmValue a = VmValue::integer(x);
  VmValue b = VmValue::integer(x + 12345);
  for (auto _ : state) {
    VmValue r = vm_int_mul(a, b);
    benchmark::DoNotOptimize(r);
  }
}
BENCHMARK(BM_BigIntMul)->Arg(128)->Arg(4096);

void BM_CopyList1000(benchmark::State& state) {
  VmValue list = thousand_item_list();
  for (auto _ : state) {
    VmValue copy = list;
    benchmark::DoNotOptimize(copy);
  }
}
BENCHMARK(BM_CopyList1000);

void BM_CopyAndMutateList1000(benchmark::State& state) {
  VmValue list = thousand_item_list();
  for (auto _ : state) {
    VmValue copy = list;
    (void)copy.seq_push(VmValue::integer(1));  // forces the copy of the buffer
    benchmark::DoNotOptimize(copy);
  }
}
BENCHMARK(BM_CopyAndMutateList1000);

void BM_EqList1000(benchmark::State& state) {
  VmValue a = thousand_item_list();
  VmValue b = thousand_item_list();
  for (auto _ : state) benchmark::DoNotOptimize(a.eq(b));
}
BENCHMARK(BM_EqList1000);

void BM_PythonReprList1000(benchmark::State& state) {
  VmValue list = thousand_item_list();
  for (auto _ : state) benchmark::DoNotOptimize(list.python_repr());
}
BENCHMARK(BM_PythonReprList1000);

void BM_DictLookup1000(benchmark::State& state) {
  std::vector<VmDictPair> pairs;
  for (int i = 0; i < 1000; ++i) pairs.push_back({VmValue::integer(i * 31), VmValue::integer(i)});
  VmValue d = *VmValue::make_dict(std::move(pairs));
  int64_t k = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(d.dict_find_structural(VmValue::integer((k++ % 1000) * 31)));
  }
}
BENCHMARK(BM_DictLookup1000);

}  // namespace
}  // namespace veln
