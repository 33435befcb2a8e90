#include "interpreter_support/module_scope_target.hpp"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <unordered_map>

#include "lib/json_reader.hpp"

namespace veln {
namespace {

JsonValue json(std::string_view text) { return *read_json_value(text); }

std::string judge(std::string_view target, const std::set<std::string>& locals,
                  const std::unordered_map<std::string, int>& module_bindings) {
  auto r = target_writes_module_scope(json(target), locals, module_bindings);
  if (!r.ok()) return r.error().message;
  return *r ? "module" : "local";
}

TEST(ModuleScopeTarget, NamesAndSubscriptChains) {
  const std::unordered_map<std::string, int> module = {{"x", 1}, {"d", 2}};
  const std::set<std::string> no_locals, local_x = {"x"}, local_d = {"d"};
  const std::string sub_sub_d =
      R"({"node":"subscript","value":{"node":"subscript","value":{"node":"name","id":"d"},"slice":1},"slice":2})";
  struct Case {
    std::string target;
    const std::set<std::string>* locals;
    const char* expected;
  };
  const Case cases[] = {
      {R"({"node":"name","id":"x"})", &no_locals, "module"},
      {R"({"node":"name","id":"x"})", &local_x, "local"},
      {R"({"node":"name","id":"y"})", &no_locals, "local"},  // bound nowhere
      {R"({"node":"tuple_target","elts":[{"node":"name","id":"x"}]})", &no_locals, "local"},
      {R"({"node":"attribute","value":{"node":"name","id":"x"},"attr":"a"})", &no_locals, "local"},
      {sub_sub_d, &no_locals, "module"},
      {sub_sub_d, &local_d, "local"},
      {R"({"node":"subscript","value":{"node":"attribute","value":{"node":"name","id":"d"}}})", &no_locals, "local"},
      // Malformed nodes report the node readers' messages.
      {R"([1,2])", &no_locals, "target must be an object, got [1,2]"},
      {R"({"node":5})", &no_locals, "field 'node' must be a string"},
      {R"({"id":"x"})", &no_locals, "field 'node' must be a string"},
      {R"({"node":"subscript"})", &no_locals, "missing field 'value'"},
      {R"({"node":"subscript","value":"x"})", &no_locals, "target must be an object, got \"x\""},
      {R"({"node":"name"})", &no_locals, "field 'id' must be a string"},
      {R"({"node":"name","id":null})", &no_locals, "field 'id' must be a string"},
  };
  for (const auto& c : cases) EXPECT_EQ(judge(c.target, *c.locals, module), c.expected) << c.target;
}

TEST(ModuleScopeTarget, DeepChainsAreWalkedWithoutRecursion) {
  std::string target = R"({"node":"name","id":"d"})";
  for (int k = 0; k < 120; ++k) target = R"({"node":"subscript","value":)" + target + "}";
  const std::map<std::string, int> module = {{"d", 1}};
  const std::map<std::string, int> locals;
  auto r = target_writes_module_scope(json(target), locals, module);
  ASSERT_TRUE(r.ok());
  EXPECT_TRUE(*r);
  const JsonValue tree = json(target);  // the name views into the tree
  auto root = target_root_name(tree);
  ASSERT_TRUE(root.ok());
  EXPECT_EQ(**root, "d");
}

}  // namespace
}  // namespace veln
