// Reading and validating a module IR document of a few MB, and reading the
// same text as a free JSON tree. The document is the kitchen-sink fixture
// with its functions replicated under fresh names, or the file named by
// VELN_MODULE_IR_BENCH_DOC (json_loads_compare.py passes the very text it
// gives json.loads). Never asserts on time.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "lib/json_reader.hpp"
#include "lib/module_ir.hpp"
#include "lib/module_validation.hpp"
#include "lib/parse_module_ir.hpp"

namespace {

constexpr int kCopies = 100;

std::string read_file(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

std::string generated_document() {
  const auto fixture = std::filesystem::path(__FILE__).parent_path() / ".." / "tests" / "data" / "module_ir" /
                       "valid" / "kitchen_sink.json";
  auto doc = veln::read_json_value(read_file(fixture));
  if (!doc.ok() || !doc->is_object() || doc->find_array("functions") == nullptr) return {};
  veln::JsonValue::Elements functions;
  for (int copy = 0; copy < kCopies; ++copy) {
    for (const veln::JsonValue& f : *doc->find_array("functions")) {
      veln::JsonValue::Members members = f.members_copy();
      for (auto& [key, value] : members) {
        if (key == "name") value = veln::JsonValue::make_string(value.as_string().str() + "_" + std::to_string(copy));
      }
      functions.push_back(veln::JsonValue::make_sorted_object(std::move(members)));
    }
  }
  veln::JsonValue::Members top = doc->members_copy();
  for (auto& [key, value] : top) {
    if (key == "functions") value = veln::JsonValue::make_array(std::move(functions));
  }
  return veln::JsonValue::make_sorted_object(std::move(top)).to_compact_json();
}

const std::string& document() {
  static const std::string text = [] {
    const char* path = std::getenv("VELN_MODULE_IR_BENCH_DOC");
    return path != nullptr ? read_file(path) : generated_document();
  }();
  return text;
}

// Times `read` on the document; a failure ends the run with its message.
template <class Read>
void run_on_document(benchmark::State& state, Read read) {
  const std::string& text = document();
  for (auto _ : state) {
    auto result = read(text);
    if (!result.ok()) {
      state.SkipWithError(result.error().c_str());
      break;
    }
    benchmark::DoNotOptimize(result);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

void BM_ReadModuleIr(benchmark::State& state) { run_on_document(state, veln::read_module_ir); }
BENCHMARK(BM_ReadModuleIr)->Unit(benchmark::kMillisecond);

void BM_ParseModuleIr(benchmark::State& state) { run_on_document(state, veln::parse_module_ir); }
BENCHMARK(BM_ParseModuleIr)->Unit(benchmark::kMillisecond);

void BM_ReadJsonValue(benchmark::State& state) { run_on_document(state, veln::read_json_value); }
BENCHMARK(BM_ReadJsonValue)->Unit(benchmark::kMillisecond);

// Checking the syntax only: the floor of reading.
void BM_SkipJson(benchmark::State& state) {
  const std::string& text = document();
  for (auto _ : state) {
    veln::JsonReader reader(text);
    benchmark::DoNotOptimize(reader.skip_value());
  }
}
BENCHMARK(BM_SkipJson)->Unit(benchmark::kMillisecond);

// The parts of BM_ParseModuleIr: validation alone, and releasing the module.
void BM_ValidateModuleIr(benchmark::State& state) {
  const auto module = veln::read_module_ir(document());
  for (auto _ : state) benchmark::DoNotOptimize(veln::validate_module_ir(*module));
}
BENCHMARK(BM_ValidateModuleIr)->Unit(benchmark::kMillisecond);

void BM_ReleaseModuleIr(benchmark::State& state) {
  const auto module = veln::read_module_ir(document());
  for (auto _ : state) {
    state.PauseTiming();
    auto copy = std::make_unique<veln::ModuleIr>(*module);
    state.ResumeTiming();
    copy.reset();
  }
}
BENCHMARK(BM_ReleaseModuleIr)->Unit(benchmark::kMillisecond);

}  // namespace
