// str methods on 16 KiB texts, ASCII against mixed Greek/CJK text: find near
// the end (code-point positions), split on white space, lower/upper, replace
// and join; plus the per-call cost of a tiny method through the dispatcher.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "interpreter_support/native_methods.hpp"

namespace {

using veln::VmValue;

std::string make_text(bool ascii) {
  const std::vector<std::string> words =
      ascii ? std::vector<std::string>{"alpha", "beta", "gamma", "delta"}
            : std::vector<std::string>{"\u03b1\u03bb\u03c6\u03b1", "\u4e2d\u6587", "\u03a3\u039f\u03a6\u0399\u0391",
                                       "caf\u00e9"};
  std::string out;
  for (size_t k = 0; out.size() < 16384; ++k) {
    out += words[k % words.size()];
    out += ' ';
  }
  return out;
}

void run(benchmark::State& state, const VmValue& receiver, const char* method, const std::vector<VmValue>& args) {
  for (auto _ : state) {
    auto r = veln::call_native_method(receiver, method, args, {});
    benchmark::DoNotOptimize(r);
  }
}

void BM_FindNearEnd(benchmark::State& state) {
  const VmValue s = *VmValue::make_str(make_text(state.range(0)) + "needle");
  run(state, s, "find", {VmValue::str("needle"), VmValue::integer(-10)});
}
BENCHMARK(BM_FindNearEnd)->Arg(1)->Arg(0);

void BM_SplitWhitespace(benchmark::State& state) {
  const VmValue s = *VmValue::make_str(make_text(state.range(0)));
  run(state, s, "split", {});
}
BENCHMARK(BM_SplitWhitespace)->Arg(1)->Arg(0);

void BM_Upper(benchmark::State& state) {
  const VmValue s = *VmValue::make_str(make_text(state.range(0)));
  run(state, s, "upper", {});
}
BENCHMARK(BM_Upper)->Arg(1)->Arg(0);

void BM_Lower(benchmark::State& state) {
  const VmValue s = *VmValue::make_str(make_text(state.range(0)));
  run(state, s, "lower", {});
}
BENCHMARK(BM_Lower)->Arg(1)->Arg(0);

void BM_Replace(benchmark::State& state) {
  const VmValue s = *VmValue::make_str(make_text(state.range(0)));
  run(state, s, "replace", {VmValue::str(" "), VmValue::str(", ")});
}
BENCHMARK(BM_Replace)->Arg(1)->Arg(0);

void BM_JoinWords(benchmark::State& state) {
  std::vector<VmValue> words;
  for (int k = 0; k < 1000; ++k) words.push_back(VmValue::str("word"));
  run(state, VmValue::str(", "), "join", {*VmValue::make_list(std::move(words))});
}
BENCHMARK(BM_JoinWords);

void BM_DispatchIsAscii(benchmark::State& state) { run(state, VmValue::str("abc"), "isascii", {}); }
BENCHMARK(BM_DispatchIsAscii);

}  // namespace
