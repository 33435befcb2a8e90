// Lowering: turns module IR nodes (JSON) into lowered code. Lowering is
// total: a member that evaluation would fail to read becomes a Fail
// instruction holding the exact message, placed where evaluation would read
// the member, after the same charges and sub-evaluations. It keeps every
// charge, evaluation order and host interaction; it folds nothing and merges
// no charges. Every name the code mentions gets a local slot.
// The Lowerer's parts live in lower_*.cpp, one node family per file.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "interpreter/lowered_code.hpp"
#include "interpreter/vm_instance_state.hpp"
#include "lib/json_value.hpp"

namespace veln {

// Function code returns its result; module-level code (the module body and
// declaration expressions) has no function to return from.
enum class CodeUnit : uint8_t { Function, Module };

class Lowerer {
 public:
  // `bindable`: for function code, every name the function can bind (its
  // parameters and the names in its target positions); other names get the
  // function's reserved slot 0, which is never bound. Module-level code gives
  // every name a slot.
  Lowerer(LoweredModule& module, LoweredCode& code, CodeUnit unit, std::string_view function_name,
          const StringMap<bool>* bindable = nullptr);

  // The local slot of a name that is written (created on first use).
  uint32_t slot_for(std::string_view name);
  // The local slot a read of the name checks first.
  uint32_t read_slot(std::string_view name);
  // Code that evaluates `node` and returns its value; returns its entry pc.
  uint32_t expression_entry(const JsonValue& node);
  // Code that runs `statements` and returns None at their end.
  uint32_t block_entry(std::span<const JsonValue> statements);

  // --- node families (lower_expressions.cpp, lower_statements.cpp, ...) -------
  void expression(const JsonValue& node);  // leaves one value
  // The member `key` of `node` lowered as an expression; false, emitting
  // nothing, when the member is missing.
  bool member_expression(const JsonValue& node, std::string_view key);
  void block(std::span<const JsonValue> statements);
  void statement(const JsonValue& node);
  void assign_target(const JsonValue& target);  // consumes the top value
  // Pushes the resolved target's cells; returns its targets[] index.
  uint32_t resolve_target(const JsonValue& target, bool read_current);
  void call(const JsonValue& node);
  std::optional<uint32_t> planned_callee(const JsonValue& node) const;
  // The rest of a call node with a "syscall_id", its arguments lowered
  // (`fields`: as the values of an event's dict display).
  void system_call(const JsonValue& node, const std::string& id, CallSite site, EventFieldKeys fields = {});
  std::optional<EventFieldKeys> event_display_call(const JsonValue& node, const JsonValue::Array& args);
  // The values of a dict display whose keys are distinct constant strs,
  // charged as the display would be; nullopt, emitting nothing, otherwise.
  std::optional<EventFieldKeys> event_field_values(const JsonValue& display);
  void list_comprehension(const JsonValue& node);
  void dict_comprehension(const JsonValue& node);

  // --- emission -----------------------------------------------------------------
  uint32_t emit(Op op, uint32_t a = 0, uint64_t b = 0, uint8_t a8 = 0);
  // A deferred error; the code after it in the same node is unreachable.
  void fail(std::string message);
  uint32_t text(std::string value);
  // The number of a storage binding, placed where storage instructions keep
  // it (the high half of b).
  uint64_t storage_binding(std::string_view name) {
    return static_cast<uint64_t>(module_.storage_bindings.intern(name)) << 32;
  }
  uint32_t constant(VmValue value);
  uint32_t here() const { return static_cast<uint32_t>(code_.instrs.size()); }
  void patch(uint32_t instr, uint32_t target) {
    code_.instrs[instr].a = target;
    mark_target(target);
  }
  // Records that a jump lands at `position` (fusing never crosses one).
  void mark_target(uint32_t position) {
    if (position >= targets_.size()) targets_.resize(position + 1, false);
    targets_[position] = true;
  }
  bool is_target(uint32_t position) const { return position < targets_.size() && targets_[position]; }
  void push(uint32_t n = 1);
  void pop(uint32_t n = 1) { depth_ -= n; }
  uint32_t depth() const { return depth_; }
  // Sets the stack depth the following code starts from (after a Fail, or at
  // a label reached from elsewhere).
  void set_depth(uint32_t depth);
  uint32_t name_site(std::string_view id, const JsonValue* node);

  LoweredModule& module() { return module_; }
  LoweredCode& code() { return code_; }
  CodeUnit unit() const { return unit_; }

  struct Loop {
    bool is_for = false;
    std::vector<uint32_t> breaks;     // jumps to the end of the loop, patched there
    std::vector<uint32_t> continues;  // jumps to the next iteration, patched there
  };
  std::vector<Loop>& loops() { return loops_; }
  // The message of a return, break or continue that leaves the code unit.
  const std::string& escape_message() const { return escape_message_; }

  // The bin_op node of `x = x op y`: its operator is preceded by a
  // ReleaseLocal of x's slot.
  const JsonValue* release_before_binary = nullptr;
  uint32_t release_slot = 0;

 private:
  LoweredModule& module_;
  LoweredCode& code_;
  CodeUnit unit_;
  std::string escape_message_;
  std::unordered_map<uint32_t, uint32_t> slots_;  // global name index -> slot
  // Global name index -> the name site made for it from a node without a
  // host binding id: every later such read of the name shares it.
  std::unordered_map<uint32_t, uint32_t> plain_name_sites_;
  const StringMap<bool>* bindable_;
  std::vector<Loop> loops_;
  std::vector<bool> targets_;
  uint32_t depth_ = 0;
  uint32_t nesting_ = 0;

  friend class NestingGuard;
};

// Message texts of the IR field readers, for deferred errors.
std::string missing_field_message(std::string_view key);
std::string string_field_message(std::string_view key);
std::string array_field_message(std::string_view key);
std::string object_message(const JsonValue& value, std::string_view label);

// The kind text of a node: its "node" member when that is a string.
const JsonText* node_kind(const JsonValue& node);

// The names a function can bind: those of the target positions of its
// assignments, loops, comprehensions, changing method calls and system calls
// anywhere in `code` (its body and defaults). Gives the node count of `code`
// (1 for each JSON object with a "node" key, at any depth), which the call
// price is built on.
uint64_t collect_bindable_names(const JsonValue& code, StringMap<bool>& names);

}  // namespace veln
