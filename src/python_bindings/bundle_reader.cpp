// Bundle reading. The fast route relies on one fact: a member text that
// reads without fault gives the same module as its compact rewrite, which
// keeps every value and only reorders members, drops repeated keys and
// respaces. So each member is read and validated where it stands, in one
// pass over the bundle, with every check the tree reader makes (nesting
// counted from the bundle's level, unknown members checked as free values);
// any fault sends the whole bundle through the tree route, which alone makes
// messages and positions.
#include "python_bindings/bundle_reader.hpp"

#include <algorithm>
#include <optional>
#include <vector>

#include "lib/json_reader.hpp"
#include "lib/json_value.hpp"
#include "lib/parse_module_ir.hpp"

namespace veln {
namespace {

VmStatus check_module_name(std::string_view loaded_as, const ModuleIr& module) {
  if (module.module_name == loaded_as) return Ok{};
  std::string msg = "module name mismatch: expected '";
  msg += loaded_as;
  msg += "', got '";
  msg += module.module_name;
  msg += '\'';
  return vm_error(std::move(msg));
}

// std::nullopt: a fault somewhere; the tree route gives its message.
std::optional<VmResult<VmModuleTable>> read_bundle_in_place(std::string_view bundle_ir_json, BundleText text) {
  struct Member {
    std::string key;
    ModuleIr module;
  };
  // The members' values are seen in the bundle text, which they all share:
  // one copy of it, or the caller's bytes (the holder then stays empty).
  auto holder = std::make_shared<JsonArena>();
  JsonReader reader(text == BundleText::copied ? holder->copy_of(bundle_ir_json) : bundle_ir_json);
  reader.text_holder = std::move(holder);
  reader.check_skipped = true;
  if (reader.peek_after_whitespace() != '{' || !reader.enter_level().ok()) return std::nullopt;
  reader.eat();
  std::vector<Member> members;
  bool first = true;
  for (;;) {
    std::string_view key;
    auto more = reader.next_key(first, key);
    if (!more.ok()) return std::nullopt;
    if (!*more) break;
    if (!reader.expect_colon().ok()) return std::nullopt;
    std::optional<ModuleIr> parsed = parse_module_ir_at(reader);
    if (!parsed) return std::nullopt;
    // Moved in whole: assigning a module over another keeps both one's arenas.
    members.push_back(Member{std::string(key), std::move(*parsed)});
  }
  if (!reader.end_object().ok() || !reader.end_document().ok()) return std::nullopt;
  // The members stay where they are (a module is costly to move) and their
  // places are sorted by key, repeats in text order.
  std::vector<size_t> order(members.size());
  for (size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) { return members[a].key < members[b].key; });
  VmModuleTable modules;
  for (size_t i = 0; i < order.size(); ++i) {
    Member& member = members[order[i]];
    if (i + 1 < order.size() && members[order[i + 1]].key == member.key) continue;  // the last one counts
    if (auto named = check_module_name(member.key, member.module); !named.ok()) {
      return VmResult<VmModuleTable>(std::move(named).error());
    }
    modules.emplace_hint(modules.end(), std::move(member.key), std::move(member.module));
  }
  return VmResult<VmModuleTable>(std::move(modules));
}

}  // namespace

VmResult<ModuleIr> read_named_module(std::string_view name, std::string_view text) {
  auto parsed = parse_module_ir(text);
  if (!parsed.ok()) return vm_error(std::move(parsed).error());
  VELN_CHECK(check_module_name(name, *parsed));
  return std::move(parsed).value();
}

VmResult<VmModuleTable> read_bundle_through_tree(std::string_view bundle_ir_json) {
  auto bundle = read_json_value(bundle_ir_json);
  if (!bundle.ok()) return vm_error(std::move(bundle).error());
  if (!bundle->is_object()) return vm_error("bundle_ir_json must be a JSON object");
  VmModuleTable modules;
  std::string text;
  for (const JsonValue::Entry& member : bundle->as_object()) {  // key order, repeats dropped
    text.clear();
    member.second.append_compact_json(text);
    VELN_TRY(ModuleIr module, read_named_module(member.first, text));
    modules.emplace_hint(modules.end(), member.first, std::move(module));
  }
  return modules;
}

VmResult<VmModuleTable> read_bundle(std::string_view bundle_ir_json, BundleText text) {
  std::optional<VmResult<VmModuleTable>> fast = read_bundle_in_place(bundle_ir_json, text);
  return fast ? std::move(*fast) : read_bundle_through_tree(bundle_ir_json);
}

}  // namespace veln
