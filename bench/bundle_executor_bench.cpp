// The fixed cost of a request: reading a bundle into an executor (one
// checking pass and one module read per member), and a whole request around
// a pure function. Two bundles: the two example contracts as their IR files
// stand (about 25 kB), and one module of about 200 kB (the kitchen-sink
// fixture with its functions replicated). VELN_BUNDLE_BENCH_DOC names
// another bundle file.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "lib/json_reader.hpp"
#include "python_bindings/python_bundle_executor.hpp"

namespace {

namespace fs = std::filesystem;

const fs::path kRoot = fs::path(__FILE__).parent_path() / "..";

std::string read_file(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

std::string small_bundle() {
  return "{\"con_registry\": " + read_file(kRoot / "examples/module_ir/con_registry.json") +
         ", \"con_token\": " + read_file(kRoot / "examples/module_ir/con_token.json") + "}";
}

// The kitchen-sink module with its functions copied until the text passes
// 200 kB.
std::string large_bundle() {
  auto doc = veln::read_json_value(read_file(kRoot / "tests/data/module_ir/valid/kitchen_sink.json"));
  if (!doc.ok() || doc->find_array("functions") == nullptr || doc->find_string("module_name") == nullptr) return {};
  const std::string name = *doc->find_string("module_name");
  const veln::JsonValue::Array& originals = *doc->find_array("functions");
  veln::JsonValue::Elements functions;
  std::string text;
  for (int copy = 0; text.size() < 200000; ++copy) {
    for (const veln::JsonValue& f : originals) {
      veln::JsonValue::Members members = f.members_copy();
      for (auto& [key, value] : members) {
        if (key == "name") value = veln::JsonValue::make_string(value.as_string().str() + "_" + std::to_string(copy));
      }
      functions.push_back(veln::JsonValue::make_sorted_object(std::move(members)));
    }
    veln::JsonValue::Members top = doc->members_copy();
    for (auto& [key, value] : top) {
      if (key == "functions") value = veln::JsonValue::make_array(functions);
    }
    text = veln::JsonValue::make_sorted_object(std::move(top)).to_compact_json();
  }
  return "{\"" + name + "\":" + text + "}";
}

const std::string& bundle(int which) {
  static const std::string texts[2] = {small_bundle(), large_bundle()};
  static const std::string from_env = [] {
    const char* path = std::getenv("VELN_BUNDLE_BENCH_DOC");
    return path != nullptr ? read_file(path) : std::string();
  }();
  return from_env.empty() ? texts[which] : from_env;
}

// A host with nothing in it: no modules beyond the bundle, no owners.
struct NoHost : veln::BundleHostObject {
  veln::VmResult<std::optional<std::string>> load_module_ir_json(std::string_view) override { return fail(); }
  veln::VmResult<std::optional<std::string>> get_owner(std::string_view) override {
    return std::optional<std::string>();
  }
  veln::VmResult<std::optional<veln::VmValue>> read_variable(std::string_view, std::string_view) override {
    return fail();
  }
  veln::VmResult<std::optional<veln::VmValue>> read_hash(std::string_view, std::string_view,
                                                         const veln::VmValue&) override {
    return fail();
  }
  veln::VmResult<std::vector<veln::VmHashEntry>> scan_hash_entries(std::string_view, std::string_view,
                                                                   std::string_view) override {
    return fail();
  }
  veln::VmResult<bool> has_iter_hash_entries() override { return fail(); }
  veln::VmResult<std::unique_ptr<veln::HostHashEntryStream>> iter_hash_entries(std::string_view, std::string_view,
                                                                               std::string_view) override {
    return fail();
  }
  veln::VmResult<veln::VmValue> handle_syscall(std::string_view, veln::VmArgList, veln::VmKwargList) override {
    return fail();
  }
  static veln::VmExecutionError fail() { return veln::vm_error("not called"); }
};

void BM_CreateExecutor(benchmark::State& state) {
  const std::string& text = bundle(static_cast<int>(state.range(0)));
  NoHost host;
  for (auto _ : state) {
    auto executor = veln::PythonBundleExecutor::create(text, host, {true, 0, 0});
    if (!executor.ok()) {
      state.SkipWithError(executor.error().message.c_str());
      break;
    }
    benchmark::DoNotOptimize(executor);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_CreateExecutor)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

// A whole request as a node runs it: read the bundle of the two example
// contracts plus a small one, call a pure function, report, release.
std::string request_bundle() {
  auto doc = veln::read_json_value(read_file(kRoot / "tests/data/bridge_requests.json"));
  if (!doc.ok() || doc->find("contracts") == nullptr) return {};
  const veln::JsonValue* pure = doc->find("contracts")->find("con_pure");
  if (pure == nullptr) return {};
  std::string text = small_bundle();
  text.pop_back();
  text += ", \"con_pure\": " + pure->to_compact_json() + "}";
  return text;
}

void BM_Request(benchmark::State& state) {
  static const std::string text = request_bundle();
  NoHost host;
  for (auto _ : state) {
    auto executor = veln::PythonBundleExecutor::create(text, host, {true, 0, 0});
    if (!executor.ok()) {
      state.SkipWithError(executor.error().message.c_str());
      break;
    }
    veln::VmArgList args{veln::VmValue::integer(1), veln::VmValue::integer(2)};
    veln::BundleExecutionResult report = executor->execute_entry("con_pure", "add", std::move(args), {}, {});
    if (report.status_code != 0) {
      state.SkipWithError(report.result.python_repr().c_str());
      break;
    }
    benchmark::DoNotOptimize(report);
  }
}
BENCHMARK(BM_Request)->Unit(benchmark::kMicrosecond);

// The same request with only the called contract in the bundle.
void BM_RequestOneSmallModule(benchmark::State& state) {
  static const std::string text = [] {
    auto doc = veln::read_json_value(read_file(kRoot / "tests/data/bridge_requests.json"));
    return "{\"con_pure\": " + doc->find("contracts")->find("con_pure")->to_compact_json() + "}";
  }();
  NoHost host;
  for (auto _ : state) {
    auto executor = veln::PythonBundleExecutor::create(text, host, {true, 0, 0});
    veln::VmArgList args{veln::VmValue::integer(1), veln::VmValue::integer(2)};
    veln::BundleExecutionResult report = executor->execute_entry("con_pure", "add", std::move(args), {}, {});
    benchmark::DoNotOptimize(report);
  }
}
BENCHMARK(BM_RequestOneSmallModule)->Unit(benchmark::kMicrosecond);

// The same text read as a free JSON tree, for scale.
void BM_ReadJsonValue(benchmark::State& state) {
  const std::string& text = bundle(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    auto tree = veln::read_json_value(text);
    benchmark::DoNotOptimize(tree);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_ReadJsonValue)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

// The checking pass alone: the part of BM_CreateExecutor that is not module
// reading.
void BM_CheckJsonText(benchmark::State& state) {
  const std::string& text = bundle(static_cast<int>(state.range(0)));
  std::string scratch;
  for (auto _ : state) {
    veln::JsonReader reader(text);
    auto checked = reader.check_value(scratch);
    benchmark::DoNotOptimize(checked);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_CheckJsonText)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

}  // namespace
