// The interpreter's loops, metered, through VmInstance::call_function with
// the in-memory test host: a for loop over range and over a list, a while
// loop with arithmetic, recursive calls, string building with methods and
// dict updates. The sources are in bench/interpreter_loops.py;
// bench/interpreter_compare.py runs them under CPython too and prints the
// ratio. Items processed = loop iterations (calls for fib).
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "interpreter/vm_instance.hpp"
#include "lib/json_reader.hpp"
#include "lib/parse_module_ir.hpp"
#include "test_host.hpp"

namespace veln {
namespace {

const JsonValue& modules() {
  static const JsonValue doc = [] {
    const char* override_path = std::getenv("VELN_INTERPRETER_BENCH_MODULES");
    std::ifstream in(override_path ? override_path : VELN_BENCH_DATA_DIR "/interpreter_loops.json");
    std::stringstream text;
    text << in.rdbuf();
    return std::move(read_json_value(text.str())).value();
  }();
  return doc;
}

uint64_t fib_calls(int64_t n) {
  uint64_t a = 1, b = 1;
  for (int64_t i = 1; i < n; ++i) {
    const uint64_t next = a + b + 1;
    a = b;
    b = next;
  }
  return b;
}

enum class Arg { Int, List, Fib };

void run_loop(benchmark::State& state, const char* name, Arg kind) {
  const int64_t n = state.range(0);
  Result<ModuleIr, std::string> module = parse_module_ir(modules().find(name)->to_compact_json());
  if (!module.ok()) return state.SkipWithError(module.error().c_str());
  testing::TestHost host;
  VmResult<VmInstance> instance = VmInstance::new_with_host(std::move(module).value(), {}, host);
  if (!instance.ok()) return state.SkipWithError(instance.error().message.c_str());
  VmValue arg = VmValue::integer(n);
  if (kind == Arg::List) {
    std::vector<VmValue> items;
    for (int64_t i = 0; i < n; ++i) items.push_back(VmValue::integer(i));
    arg = *VmValue::make_list(std::move(items));
  }
  for (auto _ : state) {
    VmResult<VmValue> result = instance->call_function(host, "run", {arg}, {});
    if (!result.ok()) return state.SkipWithError(result.error().message.c_str());
    benchmark::DoNotOptimize(result);
  }
  const uint64_t per_call = kind == Arg::Fib ? fib_calls(n) : static_cast<uint64_t>(n);
  state.SetItemsProcessed(static_cast<int64_t>(per_call) * state.iterations());
}

void BM_Interpreter_for_range_sum(benchmark::State& s) { run_loop(s, "for_range_sum", Arg::Int); }
void BM_Interpreter_for_list_sum(benchmark::State& s) { run_loop(s, "for_list_sum", Arg::List); }
void BM_Interpreter_while_arithmetic(benchmark::State& s) { run_loop(s, "while_arithmetic", Arg::Int); }
void BM_Interpreter_fib_calls(benchmark::State& s) { run_loop(s, "fib_calls", Arg::Fib); }
void BM_Interpreter_string_methods(benchmark::State& s) { run_loop(s, "string_methods", Arg::List); }
void BM_Interpreter_dict_updates(benchmark::State& s) { run_loop(s, "dict_updates", Arg::List); }

BENCHMARK(BM_Interpreter_for_range_sum)->Arg(10000);
BENCHMARK(BM_Interpreter_for_list_sum)->Arg(10000);
BENCHMARK(BM_Interpreter_while_arithmetic)->Arg(10000);
BENCHMARK(BM_Interpreter_fib_calls)->Arg(20);
BENCHMARK(BM_Interpreter_string_methods)->Arg(10000);
BENCHMARK(BM_Interpreter_dict_updates)->Arg(10000);

}  // namespace
}  // namespace veln
