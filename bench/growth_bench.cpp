// The operations whose cost contract code controls, at the sizes it can
// reach: text searches with adversarial needles, sets and sorting of mixed
// numbers, dict membership of int keys, float and str set membership and
// intersection, str repetition. growth_compare.py runs the same operations
// under CPython and prints the ratios. Never asserts on time.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "interpreter/builtins.hpp"
#include "interpreter_support/binary_operators.hpp"
#include "interpreter_support/compare_operators.hpp"
#include "interpreter_support/membership.hpp"
#include "interpreter_support/native_methods.hpp"
#include "interpreter_support/sets/set_algebra.hpp"
#include "interpreter_support/value_iteration.hpp"
#include "values/vm_decimal.hpp"

namespace veln {
namespace {

constexpr size_t kItems = 131072;
constexpr size_t kHaystack = 4000000;
constexpr size_t kNeedle = 5000;
constexpr size_t kProbes = 1000;

VmValue str_value(std::string text) { return *VmValue::make_str(std::move(text)); }

VmValue haystack() { return str_value(std::string(kHaystack, 'a')); }
VmValue needle() { return str_value(std::string(kNeedle, 'a') + "b"); }

VmValue method(VmValue receiver, std::string_view name, std::vector<VmValue> args) {
  return call_native_method(std::move(receiver), name, std::move(args), {})->value;
}

void BM_StrContainsAdversarial(benchmark::State& state) {
  const VmValue h = haystack(), n = needle();
  for (auto _ : state) benchmark::DoNotOptimize(contains_value(h, n));
}
BENCHMARK(BM_StrContainsAdversarial)->Unit(benchmark::kMillisecond);

void BM_BytesContainsAdversarial(benchmark::State& state) {
  const VmValue h = haystack().with_kind(VmKind::Bytes), n = needle().with_kind(VmKind::Bytes);
  for (auto _ : state) benchmark::DoNotOptimize(contains_value(h, n));
}
BENCHMARK(BM_BytesContainsAdversarial)->Unit(benchmark::kMillisecond);

void BM_StrFindAdversarial(benchmark::State& state) {
  const VmValue h = haystack(), n = needle();
  for (auto _ : state) benchmark::DoNotOptimize(method(h, "find", {n}));
}
BENCHMARK(BM_StrFindAdversarial)->Unit(benchmark::kMillisecond);

void BM_StrSplitAdversarial(benchmark::State& state) {
  const VmValue h = haystack(), n = needle();
  for (auto _ : state) benchmark::DoNotOptimize(method(h, "split", {n}));
}
BENCHMARK(BM_StrSplitAdversarial)->Unit(benchmark::kMillisecond);

void BM_StrReplaceAdversarial(benchmark::State& state) {
  const VmValue h = haystack(), n = needle(), x = VmValue::str("x");
  for (auto _ : state) benchmark::DoNotOptimize(method(h, "replace", {n, x}));
}
BENCHMARK(BM_StrReplaceAdversarial)->Unit(benchmark::kMillisecond);

// Even positions ints, odd positions floats, none equal, shuffled.
std::vector<VmValue> mixed_numbers() {
  std::vector<VmValue> items;
  for (size_t i = 0; i < kItems; ++i) {
    const auto k = static_cast<int64_t>(i);
    items.push_back(i % 2 == 0 ? VmValue::integer(k) : VmValue::float64(static_cast<double>(k) + 0.5));
  }
  std::shuffle(items.begin(), items.end(), std::mt19937(7));
  return items;
}

// Ints above 2^60 that no double holds exactly, and floats among them.
std::vector<VmValue> wide_ints_and_floats() {
  std::vector<VmValue> items;
  const mpz_class base = mpz_class(1) << 60;
  for (size_t i = 0; i < kItems; ++i) {
    if (i % 2 == 0) {
      items.push_back(VmValue::integer(mpz_class(base + static_cast<unsigned long>(i * 7 + 1))));
    } else {
      items.push_back(VmValue::float64(std::ldexp(1.0, 60) + static_cast<double>(i) * 4096.0));
    }
  }
  std::shuffle(items.begin(), items.end(), std::mt19937(8));
  return items;
}

// The set display over items, built anew each iteration.
void build_set(benchmark::State& state, const std::vector<VmValue>& items) {
  for (auto _ : state) benchmark::DoNotOptimize(normalize_set_items(items));
}

void BM_SetOfMixedIntsFloats(benchmark::State& state) { build_set(state, mixed_numbers()); }
BENCHMARK(BM_SetOfMixedIntsFloats)->Unit(benchmark::kMillisecond);

void BM_SetOfWideIntsAndFloats(benchmark::State& state) { build_set(state, wide_ints_and_floats()); }
BENCHMARK(BM_SetOfWideIntsAndFloats)->Unit(benchmark::kMillisecond);

VmValue set_of(std::vector<VmValue> items) { return *VmValue::make_set(*normalize_set_items(std::move(items))); }

// 10000 ints and 10000 floats, half of the floats equal to one of the ints.
std::pair<VmValue, VmValue> int_set_and_float_set() {
  std::vector<VmValue> ints, floats;
  for (int64_t i = 0; i < 10000; ++i) {
    ints.push_back(VmValue::integer(i * 2));
    floats.push_back(VmValue::float64(static_cast<double>(i) + (i % 2 == 0 ? 5000.0 : 0.25)));
  }
  return {set_of(ints), set_of(floats)};
}

void BM_IntSetAndFloatSet(benchmark::State& state) {
  const auto [a, b] = int_set_and_float_set();
  for (auto _ : state) benchmark::DoNotOptimize(apply_binary_operator("bitand", a, b));
}
BENCHMARK(BM_IntSetAndFloatSet)->Unit(benchmark::kMillisecond);

void BM_IntSetOrFloatSet(benchmark::State& state) {
  const auto [a, b] = int_set_and_float_set();
  for (auto _ : state) benchmark::DoNotOptimize(apply_binary_operator("bitor", a, b));
}
BENCHMARK(BM_IntSetOrFloatSet)->Unit(benchmark::kMillisecond);

void BM_SortedMixedIntsFloats(benchmark::State& state) {
  const std::vector<VmValue> items = mixed_numbers();
  for (auto _ : state) benchmark::DoNotOptimize(sorted_values(items));
}
BENCHMARK(BM_SortedMixedIntsFloats)->Unit(benchmark::kMillisecond);

// Decimals i + 0.25 at even i, floats i + 0.5 at odd i, in the order
// i = k * 40503 mod 2^17 (the same order growth_compare.py uses).
std::vector<VmValue> decimals_and_floats() {
  std::vector<VmValue> items;
  for (size_t k = 0; k < kItems; ++k) {
    const auto i = static_cast<int64_t>(k * 40503 % kItems);
    items.push_back(i % 2 == 0 ? VmValue::decimal(*VmDecimal::from_str_literal(std::to_string(i) + ".25"))
                               : VmValue::float64(static_cast<double>(i) + 0.5));
  }
  return items;
}

void BM_SortedDecimalsFloats(benchmark::State& state) {
  const std::vector<VmValue> items = decimals_and_floats();
  for (auto _ : state) benchmark::DoNotOptimize(sorted_values(items));
}
BENCHMARK(BM_SortedDecimalsFloats)->Unit(benchmark::kMillisecond);

class NoCalls : public VmValueCaller {
 public:
  VmResult<VmValue> call_callable_value(VmValue, VmArgList, VmKwargList) override { return vm_error("no calls"); }
};

VmValue builtin(BuiltinId id, VmArgList args) {
  NoCalls caller;
  VmResult<VmValue> r = call_builtin(id, args, {}, caller);
  if (!r.ok()) std::abort();
  return std::move(r).value();
}

void BM_MinMaxDecimalsFloats(benchmark::State& state) {
  const VmValue items = *VmValue::make_list(decimals_and_floats());
  for (auto _ : state) {
    benchmark::DoNotOptimize(builtin(BuiltinId::min, {items}));
    benchmark::DoNotOptimize(builtin(BuiltinId::max, {items}));
  }
}
BENCHMARK(BM_MinMaxDecimalsFloats)->Unit(benchmark::kMillisecond);

// A 4096-bit modulus with a 4096-bit exponent: the largest product of sizes
// a modular power accepts.
void BM_ModularPow4096(benchmark::State& state) {
  const VmValue base = VmValue::integer(mpz_class((mpz_class(1) << 4000) / 3));
  const VmValue exponent = VmValue::integer(mpz_class((mpz_class(1) << 4096) - 3));
  const VmValue mod = VmValue::integer(mpz_class((mpz_class(1) << 4095) + 12345));
  for (auto _ : state) benchmark::DoNotOptimize(builtin(BuiltinId::pow, {base, exponent, mod}));
}
BENCHMARK(BM_ModularPow4096)->Unit(benchmark::kMillisecond);

// Membership of 1000 ints (half present) in a dict of 10^6 int keys.
void BM_DictContainsIntKey(benchmark::State& state) {
  std::vector<VmDictPair> pairs;
  for (int64_t i = 0; i < 1000000; ++i) pairs.push_back({VmValue::integer(i * 2), VmValue::none()});
  const VmValue d = *VmValue::make_dict(std::move(pairs));
  std::vector<VmValue> probes;
  for (int64_t i = 0; i < static_cast<int64_t>(kProbes); ++i) probes.push_back(VmValue::integer(i * 1999));
  for (auto _ : state) {
    for (const VmValue& p : probes) benchmark::DoNotOptimize(contains_value(d, p));
  }
}
BENCHMARK(BM_DictContainsIntKey)->Unit(benchmark::kMillisecond);

template <class Make>
void probe_set(benchmark::State& state, Make make) {
  std::vector<VmValue> items, probes;
  for (size_t i = 0; i < kItems; ++i) items.push_back(make(i * 2));
  for (size_t i = 0; i < kProbes; ++i) probes.push_back(make(i * 263));
  const VmValue s = set_of(std::move(items));
  for (auto _ : state) {
    for (const VmValue& p : probes) benchmark::DoNotOptimize(contains_value(s, p));
  }
}

VmValue float_item(size_t i) { return VmValue::float64(static_cast<double>(i) * 0.37); }
VmValue str_item(size_t i) { return VmValue::str("key-" + std::to_string(i)); }

void BM_FloatSetContains(benchmark::State& state) { probe_set(state, float_item); }
BENCHMARK(BM_FloatSetContains)->Unit(benchmark::kMicrosecond);

void BM_StrSetContains(benchmark::State& state) { probe_set(state, str_item); }
BENCHMARK(BM_StrSetContains)->Unit(benchmark::kMicrosecond);

void BM_StrSetIntersection(benchmark::State& state) {
  std::vector<VmValue> a, b;
  for (size_t i = 0; i < kItems; ++i) {
    a.push_back(str_item(i * 2));
    b.push_back(str_item(i * 3));
  }
  const VmValue x = set_of(std::move(a)), y = set_of(std::move(b));
  for (auto _ : state) benchmark::DoNotOptimize(apply_binary_operator("bitand", x, y));
}
BENCHMARK(BM_StrSetIntersection)->Unit(benchmark::kMillisecond);

// ---- containers whose number leaves mix kinds ------------------------------------

VmValue pair(VmValue a, VmValue b) { return *VmValue::make_tuple({std::move(a), std::move(b)}); }
VmValue int_value(size_t i) { return VmValue::integer(static_cast<int64_t>(i)); }
VmValue float_value(size_t i) { return VmValue::float64(static_cast<double>(i)); }

// (i % 97, float(i)) then (i % 97, i): each tuple meets its twin.
std::vector<VmValue> mixed_number_tuples() {
  std::vector<VmValue> items;
  for (size_t i = 0; i < kItems / 2; ++i) items.push_back(pair(int_value(i % 97), float_value(i)));
  for (size_t i = 0; i < kItems / 2; ++i) items.push_back(pair(int_value(i % 97), int_value(i)));
  return items;
}

// (i % 2 == 1, decimal(i)) then (i % 2, float(i)).
std::vector<VmValue> bool_decimal_tuples() {
  std::vector<VmValue> items;
  for (size_t i = 0; i < kItems / 2; ++i)
    items.push_back(pair(VmValue::boolean(i % 2 == 1), VmValue::decimal(VmDecimal::from_i64(static_cast<int64_t>(i)))));
  for (size_t i = 0; i < kItems / 2; ++i) items.push_back(pair(int_value(i % 2), float_value(i)));
  return items;
}

// frozenset({float(i), float(3i + 1)}) then frozenset({i, 3i + 1}).
std::vector<VmValue> mixed_frozensets() {
  std::vector<VmValue> items;
  for (const auto make : {float_value, int_value}) {
    for (size_t i = 0; i < kItems / 2; ++i)
      items.push_back(*VmValue::make_frozenset(*normalize_set_items({make(i), make(3 * i + 1)})));
  }
  return items;
}

void BM_SetOfMixedNumberTuples(benchmark::State& state) { build_set(state, mixed_number_tuples()); }
BENCHMARK(BM_SetOfMixedNumberTuples)->Unit(benchmark::kMillisecond);

void BM_SetOfBoolDecimalTuples(benchmark::State& state) { build_set(state, bool_decimal_tuples()); }
BENCHMARK(BM_SetOfBoolDecimalTuples)->Unit(benchmark::kMillisecond);

void BM_SetOfMixedFrozensets(benchmark::State& state) { build_set(state, mixed_frozensets()); }
BENCHMARK(BM_SetOfMixedFrozensets)->Unit(benchmark::kMillisecond);

// Pairs of ints beyond 2^53 sharing a double (2^60: two doubles; 2^100:
// one), then pairs of the float of the base (equal to the ints of its
// double) with such ints: the first of those equal a pair of ints, the
// others are new.
// Ints past a power of two beyond 2^53, and the float of that power.
struct OneDouble {
  explicit OneDouble(unsigned base_bits)
      : base(mpz_class(1) << base_bits), f(VmValue::float64(std::ldexp(1.0, static_cast<int>(base_bits)))) {}
  VmValue wide(size_t k) const { return VmValue::integer(mpz_class(base + static_cast<unsigned long>(k))); }
  mpz_class base;
  VmValue f;
};

std::vector<VmValue> tuples_meeting_one_float(unsigned base_bits) {
  const OneDouble d(base_bits);
  const auto wide = [&d](size_t k) { return d.wide(k); };
  const VmValue& f = d.f;
  std::vector<VmValue> items;
  for (size_t j = 0; j < 256; ++j)
    for (size_t k = 0; k < 256; ++k) items.push_back(pair(wide(j), wide(k)));
  for (size_t k = 0; k + 1 < kItems / 2; ++k) items.push_back(pair(f, wide(k)));
  items.push_back(pair(f, f));
  return items;
}

void BM_SetOfTuplesMeetingOneFloat(benchmark::State& state) { build_set(state, tuples_meeting_one_float(60)); }
BENCHMARK(BM_SetOfTuplesMeetingOneFloat)->Unit(benchmark::kMillisecond);

void BM_SetOfWideTuplesMeetingOneFloat(benchmark::State& state) { build_set(state, tuples_meeting_one_float(100)); }
BENCHMARK(BM_SetOfWideTuplesMeetingOneFloat)->Unit(benchmark::kMillisecond);

// frozenset({b + i, b + i + 1}) then frozenset({float(b), 1.5 + i}), b a
// power of two beyond 2^53 (2^60: the float meets the ints of its double;
// 2^100: every int), so that the frozensets of the float equal the first of
// the ints.
std::vector<VmValue> frozensets_meeting_one_float(unsigned base_bits) {
  const OneDouble d(base_bits);
  const auto wide = [&d](size_t k) { return d.wide(k); };
  const VmValue& f = d.f;
  std::vector<VmValue> items;
  for (size_t i = 0; i < kItems / 2; ++i) items.push_back(*VmValue::make_frozenset(*normalize_set_items({wide(i), wide(i + 1)})));
  for (size_t i = 0; i < kItems / 2; ++i)
    items.push_back(*VmValue::make_frozenset(*normalize_set_items({f, VmValue::float64(1.5 + static_cast<double>(i))})));
  return items;
}

void BM_SetOfFrozensetsMeetingOneFloat(benchmark::State& state) { build_set(state, frozensets_meeting_one_float(60)); }
BENCHMARK(BM_SetOfFrozensetsMeetingOneFloat)->Unit(benchmark::kMillisecond);

void BM_SetOfWideFrozensetsMeetingOneFloat(benchmark::State& state) { build_set(state, frozensets_meeting_one_float(100)); }
BENCHMARK(BM_SetOfWideFrozensetsMeetingOneFloat)->Unit(benchmark::kMillisecond);

// {(i % 97, float(i)) for i < n} and {(i % 97, i) for s <= i < s + n}:
// half shared at s = n/2, equal sets at s = 0.
std::pair<VmValue, VmValue> mixed_tuple_sets(size_t shift) {
  std::vector<VmValue> a, b;
  for (size_t i = 0; i < kItems; ++i) a.push_back(pair(int_value(i % 97), float_value(i)));
  for (size_t i = shift; i < kItems + shift; ++i) b.push_back(pair(int_value(i % 97), int_value(i)));
  return {set_of(std::move(a)), set_of(std::move(b))};
}

// An operator on the half-shared sets, a comparison on the equal ones.
void mixed_tuple_set_operator(benchmark::State& state, const char* op) {
  const auto [a, b] = mixed_tuple_sets(kItems / 2);
  for (auto _ : state) benchmark::DoNotOptimize(apply_binary_operator(op, a, b));
}

void mixed_tuple_set_comparison(benchmark::State& state, const char* op) {
  const auto [a, b] = mixed_tuple_sets(0);
  for (auto _ : state) benchmark::DoNotOptimize(apply_compare_operator(op, a, b));
}

void BM_MixedTupleSetAnd(benchmark::State& state) { mixed_tuple_set_operator(state, "bitand"); }
BENCHMARK(BM_MixedTupleSetAnd)->Unit(benchmark::kMillisecond);

void BM_MixedTupleSetOr(benchmark::State& state) { mixed_tuple_set_operator(state, "bitor"); }
BENCHMARK(BM_MixedTupleSetOr)->Unit(benchmark::kMillisecond);

void BM_MixedTupleSetSub(benchmark::State& state) { mixed_tuple_set_operator(state, "sub"); }
BENCHMARK(BM_MixedTupleSetSub)->Unit(benchmark::kMillisecond);

void BM_MixedTupleSetXor(benchmark::State& state) { mixed_tuple_set_operator(state, "bitxor"); }
BENCHMARK(BM_MixedTupleSetXor)->Unit(benchmark::kMillisecond);

void BM_MixedTupleSetEq(benchmark::State& state) { mixed_tuple_set_comparison(state, "eq"); }
BENCHMARK(BM_MixedTupleSetEq)->Unit(benchmark::kMillisecond);

void BM_MixedTupleSetLe(benchmark::State& state) { mixed_tuple_set_comparison(state, "lt_e"); }
BENCHMARK(BM_MixedTupleSetLe)->Unit(benchmark::kMillisecond);

// kProbes calls of a mutating set method, each on the set the last one
// left (as a contract's s.add(x) edits its set in place), starting from a
// copy of a set of kItems items: make(0), make(2), ... (ints by default).
void set_method_calls(benchmark::State& state, std::string_view method, size_t stride, size_t offset,
                      VmValue (*make)(size_t) = int_value) {
  std::vector<VmValue> items, probes;
  for (size_t i = 0; i < kItems; ++i) items.push_back(make(2 * i));
  for (size_t i = 0; i < kProbes; ++i) probes.push_back(make((i * stride + offset) % (2 * kItems)));
  const VmValue s = set_of(std::move(items));
  for (auto _ : state) {
    VmValue current = s;
    for (const VmValue& p : probes) current = std::move(call_native_method(std::move(current), method, std::span<const VmValue>(&p, 1), {})->receiver);
    benchmark::DoNotOptimize(current);
  }
}

// (i // 7, i): 2-tuples of ints.
VmValue int_pair(size_t i) { return *VmValue::make_tuple({int_value(i / 7), int_value(i)}); }

// i as an int when a multiple of 4, else i + 0.5 as a float.
VmValue int_or_float(size_t i) {
  return i % 4 == 0 ? int_value(i) : VmValue::float64(static_cast<double>(i) + 0.5);
}

// (i, i) when i is a multiple of 3, else (i % 97, float(i)): tuples whose
// number leaves mix kinds.
VmValue mixed_number_pair(size_t i) {
  if (i % 3 == 0) return *VmValue::make_tuple({int_value(i), int_value(i)});
  return *VmValue::make_tuple({int_value(i % 97), VmValue::float64(static_cast<double>(i))});
}

// frozenset({i, 3i + 1}) when i is a multiple of 3, else of those as floats.
VmValue mixed_number_frozenset(size_t i) {
  const auto v = static_cast<int64_t>(i);
  if (i % 3 == 0) return *VmValue::make_frozenset({int_value(i), int_value(3 * i + 1)});
  return *VmValue::make_frozenset(
      *normalize_set_items({VmValue::float64(static_cast<double>(v)), VmValue::float64(static_cast<double>(3 * v + 1))}));
}

// i as a decimal when a multiple of 3, an int when one more, else i + 0.25
// as a float.
VmValue decimal_int_or_float(size_t i) {
  if (i % 3 == 0) return VmValue::decimal(VmDecimal::from_i64(static_cast<int64_t>(i)));
  return i % 3 == 1 ? int_value(i) : VmValue::float64(static_cast<double>(i) + 0.25);
}

void BM_SetAddNew(benchmark::State& state) { set_method_calls(state, "add", 2 * 263, 1); }
BENCHMARK(BM_SetAddNew)->Unit(benchmark::kMillisecond);

void BM_SetAddPresent(benchmark::State& state) { set_method_calls(state, "add", 2 * 263, 0); }
BENCHMARK(BM_SetAddPresent)->Unit(benchmark::kMillisecond);

void BM_SetDiscard(benchmark::State& state) { set_method_calls(state, "discard", 2 * 263, 0); }
BENCHMARK(BM_SetDiscard)->Unit(benchmark::kMillisecond);

void BM_TupleSetAddNew(benchmark::State& state) { set_method_calls(state, "add", 2 * 263, 1, int_pair); }
BENCHMARK(BM_TupleSetAddNew)->Unit(benchmark::kMillisecond);

void BM_TupleSetDiscard(benchmark::State& state) { set_method_calls(state, "discard", 2 * 263, 0, int_pair); }
BENCHMARK(BM_TupleSetDiscard)->Unit(benchmark::kMillisecond);

void BM_IntFloatSetAddNew(benchmark::State& state) { set_method_calls(state, "add", 2 * 263, 1, int_or_float); }
BENCHMARK(BM_IntFloatSetAddNew)->Unit(benchmark::kMillisecond);

void BM_MixedTupleSetAddNew(benchmark::State& state) { set_method_calls(state, "add", 2 * 263, 1, mixed_number_pair); }
BENCHMARK(BM_MixedTupleSetAddNew)->Unit(benchmark::kMillisecond);

void BM_MixedTupleSetDiscard(benchmark::State& state) {
  set_method_calls(state, "discard", 2 * 263, 0, mixed_number_pair);
}
BENCHMARK(BM_MixedTupleSetDiscard)->Unit(benchmark::kMillisecond);

void BM_MixedFrozensetSetAddNew(benchmark::State& state) {
  set_method_calls(state, "add", 2 * 263, 1, mixed_number_frozenset);
}
BENCHMARK(BM_MixedFrozensetSetAddNew)->Unit(benchmark::kMillisecond);

void BM_MixedFrozensetSetDiscard(benchmark::State& state) {
  set_method_calls(state, "discard", 2 * 263, 0, mixed_number_frozenset);
}
BENCHMARK(BM_MixedFrozensetSetDiscard)->Unit(benchmark::kMillisecond);

void BM_DecimalSetAddNew(benchmark::State& state) { set_method_calls(state, "add", 2 * 263, 1, decimal_int_or_float); }
BENCHMARK(BM_DecimalSetAddNew)->Unit(benchmark::kMillisecond);

void BM_StrRepeat(benchmark::State& state) {
  const VmValue s = VmValue::str("ab"), n = VmValue::integer(65536);
  for (auto _ : state) benchmark::DoNotOptimize(apply_binary_operator("mul", s, n));
}
BENCHMARK(BM_StrRepeat)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace veln
