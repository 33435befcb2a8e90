// The call limit and the native stack: 256 active calls at most, across
// instances too, and the native stack a call level takes does not grow with
// the nesting of the expressions and statements inside it; builds that call
// back (tests/data/contracts/build_recursion.json) stop at the same limit,
// and 256 levels of either leave the native stack backstop's margin free.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "interpreter/call_depth.hpp"
#include "interpreter/native_stack.hpp"
#include "interpreter/vm_instance.hpp"
#include "lib/json_reader.hpp"
#include "lib/parse_module_ir.hpp"
#include "contract_shelf.hpp"
#include "test_host.hpp"

namespace veln {
namespace {

constexpr const char* kSpan = R"("span":{"line":1,"col":0,"end_line":1,"end_col":1})";

std::string node(std::string_view kind, std::string_view members) {
  std::string out = "{\"node\":\"";
  out.append(kind).append("\",").append(kSpan);
  if (!members.empty()) out.append(",").append(members);
  out.append("}");
  return out;
}

std::string call_f() {
  std::string members = "\"func\":";
  members.append(node("name", R"("id":"f")")).append(R"(,"args":[],"keywords":[])");
  return node("call", members);
}

std::string module_with(std::string_view parameters, const std::string& body) {
  std::string text =
      R"({"ir_version":"veln_ir_v1","vm_profile":"veln_vm_v1","host_catalog_version":"veln_vm_v1_host_v1",)"
      R"("module_name":"con_deep","source_hash":")";
  text.append(64, 'a')
      .append(R"(","imports":[],"global_declarations":[],"functions":[{"node":"function",)")
      .append(kSpan)
      .append(R"(,"name":"f","visibility":"export","parameters":)")
      .append(parameters)
      .append(R"(,"body":[)")
      .append(body)
      .append(R"(]}],"module_body":[],"host_dependencies":[]})");
  return text;
}

// def f(): return not not ... f()   (`depth` unary operators)
std::string recursive_module(int depth) {
  std::string expr = call_f();
  for (int i = 0; i < depth; ++i) {
    std::string members = R"("operator":"not","operand":)";
    members.append(expr);
    expr = node("unary_op", members);
  }
  std::string value = "\"value\":";
  value.append(expr);
  return module_with("[]", node("return", value));
}

// def f(a=f()): return a   (each call's default makes the next call)
std::string recursive_default_module() {
  std::string parameters = R"([{"name":"a","kind":"positional_or_keyword","span":[1,0,1,1],"default":)";
  parameters.append(call_f()).append("}]");
  return module_with(parameters, node("return", "\"value\":" + node("name", R"("id":"a")")));
}

// Stack left for the host below its first call into the engine: 256
// levels of calls or builds plus the backstop's margin must fit in an 8 MB
// thread stack with this much to spare, so the count always ends them first.
constexpr uint64_t kHostShare = 1024 * 1024;
constexpr uint64_t kThreadStack = 8 * 1024 * 1024;

struct StackUse {
  uint64_t bytes = 0;
  std::string outcome;
  uint64_t raw_cost = 0;
};

[[gnu::noinline]] StackUse run_module_to_limit(const std::string& text, uint32_t active_calls) {
  Result<ModuleIr, std::string> module = parse_module_ir(text);
  EXPECT_TRUE(module.ok()) << module.error();
  testing::TestHost host;
  host.measure_stack = true;
  VmResult<VmInstance> instance = VmInstance::new_with_host(std::move(module).value(), {}, host);
  EXPECT_TRUE(instance.ok());
  const uintptr_t top = reinterpret_cast<uintptr_t>(__builtin_frame_address(0));
  VmResult<VmValue> result = instance->call_function(host, "f", {}, {}, active_calls);
  StackUse use;
  use.bytes = top - host.lowest_stack;
  use.outcome = result.ok() ? "ok" : result.error().message;
  use.raw_cost = host.raw_cost;
  return use;
}

StackUse run_to_limit(int depth, uint32_t active_calls) { return run_module_to_limit(recursive_module(depth), active_calls); }

TEST(CallDepth, RecursionStopsAtTheLimitWhateverTheExpressionNesting) {
  const StackUse shallow = run_to_limit(0, 0);
  const StackUse deep = run_to_limit(115, 0);
  EXPECT_EQ(shallow.outcome, "RecursionError('maximum recursion depth exceeded')");
  EXPECT_EQ(deep.outcome, "RecursionError('maximum recursion depth exceeded')");
  std::printf("native stack for 256 calls: %llu bytes (%llu per call); with 115 nested operators per call: "
              "%llu bytes (%llu per call)\n",
              static_cast<unsigned long long>(shallow.bytes), static_cast<unsigned long long>(shallow.bytes / 256),
              static_cast<unsigned long long>(deep.bytes), static_cast<unsigned long long>(deep.bytes / 256));
  // Nesting inside a call costs no native stack: the two differ by noise only.
  EXPECT_LT(deep.bytes, shallow.bytes + 4096);
  // 256 levels stay far inside a default thread stack, sanitizers included.
  EXPECT_LT(deep.bytes, 2u * 1024 * 1024);
  EXPECT_LT(deep.bytes + kNativeStackMargin + kHostShare, kThreadStack);
}

TEST(CallDepth, RecursionThroughDefaultsStopsAtTheLimit) {
  const StackUse use = run_module_to_limit(recursive_default_module(), 0);
  EXPECT_EQ(use.outcome, "RecursionError('maximum recursion depth exceeded')");
  std::printf("native stack for 256 calls made by defaults: %llu bytes (%llu per call)\n",
              static_cast<unsigned long long>(use.bytes), static_cast<unsigned long long>(use.bytes / 256));
  EXPECT_LT(use.bytes, 4u * 1024 * 1024);
}

// Every build of a contract a cross-contract call reaches is a new instance
// whose module body or declarations call back: 256 build levels.
[[gnu::noinline]] StackUse run_builds_to_limit(const JsonValue& c) {
  Result<ModuleIr, std::string> entry = read_module_ir(c.find("module")->to_compact_json());
  EXPECT_TRUE(entry.ok());
  const testing::ContractShelf contracts(*entry, *c.find("contracts"));
  testing::TestHost host;
  host.measure_stack = true;
  contracts.serve(host);
  const uintptr_t top = reinterpret_cast<uintptr_t>(__builtin_frame_address(0));
  VmResult<VmInstance> built = VmInstance::new_with_host(contracts.module(entry->module_name), {}, host, 0);
  StackUse use;
  use.bytes = top - host.lowest_stack;
  use.outcome = built.ok() ? "ok" : built.error().message;
  return use;
}

TEST(CallDepth, BuildsThatCallBackStopAtTheLimit) {
  std::ifstream in(std::filesystem::path(VELN_TEST_DATA_DIR) / "contracts" / "build_recursion.json");
  std::stringstream text;
  text << in.rdbuf();
  Result<JsonValue, std::string> doc = read_json_value(text.str());
  ASSERT_TRUE(doc.ok());
  for (const JsonValue& c : doc->find("cases")->as_array()) {
    if (c.contains("budget") || c.contains("env")) continue;
    const StackUse use = run_builds_to_limit(c);
    EXPECT_EQ(use.outcome, "RecursionError('maximum recursion depth exceeded')");
    std::printf("native stack for 256 builds, %s: %llu bytes (%llu per build)\n", c.find_string("name")->str().c_str(),
                static_cast<unsigned long long>(use.bytes), static_cast<unsigned long long>(use.bytes / 256));
    EXPECT_LT(use.bytes + kNativeStackMargin + kHostShare, kThreadStack) << *c.find_string("name");
  }
}

TEST(CallDepth, CountContinuesFromTheCallingContract) {
  // One call left: f runs (return 32, call 5000, name 64) and its own call of f is the 257th.
  const StackUse one_left = run_to_limit(0, 255);
  EXPECT_EQ(one_left.outcome, "RecursionError('maximum recursion depth exceeded')");
  EXPECT_EQ(one_left.raw_cost, 32u + 5000u + 64u);
  // None left: the entry call itself fails before its price.
  const StackUse none_left = run_to_limit(0, 256);
  EXPECT_EQ(none_left.outcome, "RecursionError('maximum recursion depth exceeded')");
  EXPECT_EQ(none_left.raw_cost, 0u);
}

TEST(CallDepth, TheHostSeesTheCountOfActiveCalls) {
  Result<ModuleIr, std::string> module = parse_module_ir(recursive_module(0));
  ASSERT_TRUE(module.ok());
  testing::TestHost host;
  host.watch_active_calls = true;
  VmResult<VmInstance> instance = VmInstance::new_with_host(std::move(module).value(), {}, host);
  ASSERT_TRUE(instance.ok());
  EXPECT_EQ(host.active_calls, nullptr);
  VmResult<VmValue> result = instance->call_function(host, "f", {}, {}, 10);
  EXPECT_EQ(result.error().message, kRecursionLimitMessage);
  // Every charge of a level of f (its call price, return, call and name)
  // saw that level's count.
  std::vector<uint32_t> expected;
  for (uint32_t level = 11; level <= 256; ++level) expected.insert(expected.end(), 4, level);
  EXPECT_EQ(host.active_calls_at_charges, expected);
  // The run put back what it found.
  EXPECT_EQ(host.active_calls, nullptr);
}

}  // namespace
}  // namespace veln
