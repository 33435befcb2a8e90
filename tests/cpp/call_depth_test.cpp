// The call limit and the native stack: 256 active calls at most, across
// instances too, and the native stack a call level takes does not grow with
// the nesting of the expressions and statements inside it.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "interpreter/vm_instance.hpp"
#include "lib/parse_module_ir.hpp"
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
  std::string text =
      R"({"ir_version":"veln_ir_v1","vm_profile":"veln_vm_v1","host_catalog_version":"veln_vm_v1_host_v1",)"
      R"("module_name":"con_deep","source_hash":")";
  text.append(64, 'a')
      .append(R"(","imports":[],"global_declarations":[],"functions":[{"node":"function",)")
      .append(kSpan)
      .append(R"(,"name":"f","visibility":"export","parameters":[],"body":[)")
      .append(node("return", value))
      .append(R"(]}],"module_body":[],"host_dependencies":[]})");
  return text;
}

struct StackUse {
  uint64_t bytes = 0;
  std::string outcome;
  uint64_t raw_cost = 0;
};

[[gnu::noinline]] StackUse run_to_limit(int depth, uint32_t active_calls) {
  Result<ModuleIr, std::string> module = parse_module_ir(recursive_module(depth));
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

}  // namespace
}  // namespace veln
