// The executor against the scripts of tests/data/bridge/executor_cases.txt, with an
// in-memory host: bundle reading, module loading, the storage view, scans,
// system calls, the checks of cross-contract calls and the entry's charges.
#include "python_bundle_executor_runner.hpp"

#include <cstring>

namespace veln {
namespace {

TEST(PythonBundleExecutor, Scripts) { executor_runner::run_script_file("bridge/executor_cases.txt", 40); }

// The bundle cases: the executor's modules after reading, or the failure.
TEST(PythonBundleExecutor, BundleReading) {
  const std::string token = executor_runner::project_file("examples/module_ir/con_token.json");
  const std::string registry = executor_runner::project_file("examples/module_ir/con_registry.json");
  const auto lines = test_values::data_lines("bridge/bundle_cases.txt", "bundle");
  ASSERT_GT(lines.size(), 10u);
  for (const std::string& line : lines) {
    const size_t arrow = line.find(" => ");
    std::string text = line.substr(7, arrow - 7);
    for (auto [name, doc] : {std::pair{"@con_token", &token}, std::pair{"@con_registry", &registry}}) {
      for (size_t at; (at = text.find(name)) != std::string::npos;) text.replace(at, std::strlen(name), *doc);
    }
    memory_host::MemoryHost host;
    auto made = PythonBundleExecutor::create(text, host, {});
    std::string got;
    if (!made.ok()) {
      got = "error: " + made.error().message;
    } else {
      got = "ok";
      for (const char* m : {"con_registry", "con_token", "m", "a", "b", "x"}) {
        if (made->has_module(m)) got += std::string(" ") + m;
      }
    }
    EXPECT_EQ(got, line.substr(arrow + 4)) << line;
    EXPECT_TRUE(host.calls.empty()) << line;
    // The in-place route (over a copy or over the caller's text) and the
    // tree route agree on every case.
    auto tree = read_bundle_through_tree(text);
    for (BundleText kept : {BundleText::copied, BundleText::held_by_caller}) {
      auto fast = read_bundle(text, kept);
      EXPECT_EQ(fast.ok(), tree.ok()) << line;
      if (!fast.ok() && !tree.ok()) {
        EXPECT_EQ(fast.error().message, tree.error().message) << line;
      } else if (fast.ok() && tree.ok()) {
        EXPECT_EQ(fast->size(), tree->size()) << line;
      }
    }
  }
}

}  // namespace
}  // namespace veln
