// Cost of validating an already-read module IR, which every execution pays for
// every module of its bundle, next to the cost of parse_module_ir (reading
// plus validation) of the same document. The module is the kitchen-sink
// fixture (every node kind) with its functions repeated under fresh names.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "lib/json_reader.hpp"
#include "lib/module_validation.hpp"
#include "lib/parse_module_ir.hpp"

namespace veln {
namespace {

// The fixtures live beside the benchmarks in the source tree.
std::string read_kitchen_sink() {
  const std::filesystem::path path = std::filesystem::path(__FILE__).parent_path().parent_path() / "tests" /
                                     "data" / "module_ir" / "valid" / "kitchen_sink.json";
  std::ifstream in(path, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

// The kitchen sink with its functions repeated `copies` times, as text.
std::string large_module_text(int copies) {
  JsonValue::Elements functions;
  // Rebuild the document as a tree so the functions can be repeated with
  // unique names; the text is what parse_module_ir is given.
  auto tree = read_json_value(read_kitchen_sink());
  if (!tree.ok()) return {};
  const JsonValue::Array& originals = tree.value().find("functions")->as_array();
  for (int i = 0; i < copies; ++i) {
    for (const JsonValue& function : originals) {
      JsonValue::Members members = function.members_copy();
      for (auto& member : members) {
        if (member.first == "name") {
          member.second = JsonValue::make_string(member.second.as_string().str() + "_" + std::to_string(i));
        }
      }
      functions.push_back(JsonValue::make_sorted_object(std::move(members)));
    }
  }
  JsonValue::Members document = tree.value().members_copy();
  for (auto& member : document) {
    if (member.first == "functions") member.second = JsonValue::make_array(std::move(functions));
  }
  return JsonValue::make_sorted_object(std::move(document)).to_compact_json();
}

void BM_ValidateModuleIr(benchmark::State& state) {
  const std::string text = large_module_text(static_cast<int>(state.range(0)));
  auto module = read_module_ir(text);
  if (!module.ok() || !validate_module_ir(module.value()).ok()) {
    state.SkipWithError("benchmark module does not validate");
    return;
  }
  for (auto _ : state) {
    auto status = validate_module_ir(module.value());
    benchmark::DoNotOptimize(status);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(text.size()));
}
BENCHMARK(BM_ValidateModuleIr)->Arg(1)->Arg(100)->Unit(benchmark::kMicrosecond);

void BM_ParseModuleIr(benchmark::State& state) {
  const std::string text = large_module_text(static_cast<int>(state.range(0)));
  if (!parse_module_ir(text).ok()) {
    state.SkipWithError("benchmark module does not parse");
    return;
  }
  for (auto _ : state) {
    auto module = parse_module_ir(text);
    benchmark::DoNotOptimize(module);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(text.size()));
}
BENCHMARK(BM_ParseModuleIr)->Arg(1)->Arg(100)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace veln
