// Lowering of statement nodes: each statement's fixed charge and trace line
// (one Stmt instruction), then its work in the order the statement reads its
// members. Blocks become straight-line code; if, loops, break and continue
// become jumps, so a block's outcome needs no run-time representation.
#include <array>
#include <string>

#include "interpreter/lowering.hpp"

namespace veln {
namespace {

constexpr std::array<uint64_t, kStatementKindCount> kStatementPrices = {
    32,    // expr
    32,    // pass
    32,    // break
    32,    // continue
    32,    // return
    64,    // assign
    96,    // aug_assign
    96,    // if
    96,    // while
    96,    // for
    96,    // raise
    96,    // assert
    5120,  // storage_set
    5120,  // storage_mutate
};

bool absent_or_null(const JsonValue* member) { return member == nullptr || member->is_null(); }

class StatementLowering {
 public:
  StatementLowering(Lowerer& l, const JsonValue& node) : l_(l), node_(node), base_(l.depth()) {}

  void fail(std::string message) {
    l_.fail(std::move(message));
    l_.set_depth(base_);
  }
  bool operand(std::string_view key) {
    if (l_.member_expression(node_, key)) return true;
    fail(missing_field_message(key));
    return false;
  }

  void expr() {
    if (!operand("value")) return;
    l_.emit(Op::Pop);
    l_.pop();
  }

  void return_() {
    const JsonValue* value = node_.find("value");
    if (absent_or_null(value)) {
      if (l_.unit() == CodeUnit::Function) {
        l_.emit(Op::ReturnNone);
      } else {
        l_.fail(l_.escape_message());
      }
      return;
    }
    l_.expression(*value);
    if (l_.unit() == CodeUnit::Function) {
      l_.emit(Op::Return);
    } else {
      l_.fail(l_.escape_message());
    }
    l_.set_depth(base_);
  }

  void loop_control(bool is_break) {
    if (l_.loops().empty()) return l_.fail(l_.escape_message());
    Lowerer::Loop& loop = l_.loops().back();
    if (!is_break) {
      loop.continues.push_back(l_.emit(Op::Jump));
    } else {
      loop.breaks.push_back(l_.emit(loop.is_for ? Op::PopLoop : Op::Jump));
    }
  }

  void assign() {
    const JsonValue* value = node_.find("value");
    const JsonValue::Array* targets = node_.find_array("targets");
    if (value != nullptr && targets != nullptr && targets->size() == 1 && (*targets)[0].is_object() &&
        value->is_object()) {
      if (std::optional<uint32_t> slot = self_update_slot((*targets)[0], *value)) {
        l_.release_before_binary = value;
        l_.release_slot = *slot;
      }
    }
    const bool ok = operand("value");
    l_.release_before_binary = nullptr;
    if (!ok) return;
    if (targets == nullptr) return fail(array_field_message("targets"));
    if (targets->empty()) {
      l_.emit(Op::Pop);
      l_.pop();
      return;
    }
    for (size_t i = 0; i < targets->size(); ++i) {
      const bool last = i + 1 == targets->size();
      if (!last) {
        l_.emit(Op::Dup);
        l_.push();
      }
      l_.assign_target((*targets)[i]);
    }
  }

  // A name target whose value is a bin_op of that same name: the local's
  // buffer is dropped before the operator so the operator owns its left
  // operand (s = s + t grows s in place). The local is overwritten right
  // after, and a failing operator ends the call.
  std::optional<uint32_t> self_update_slot(const JsonValue& target, const JsonValue& value) {
    const JsonText* target_kind = node_kind(target);
    const JsonText* value_kind = node_kind(value);
    if (target_kind == nullptr || value_kind == nullptr || *target_kind != "name" || *value_kind != "bin_op") {
      return std::nullopt;
    }
    const JsonText* id = target.find_string("id");
    const JsonValue* left = value.find("left");
    if (id == nullptr || left == nullptr || !left->is_object()) return std::nullopt;
    const JsonText* left_kind = node_kind(*left);
    const JsonText* left_id = left->find_string("id");
    if (left_kind == nullptr || *left_kind != "name" || left_id == nullptr || *left_id != *id) return std::nullopt;
    return l_.slot_for(*id);
  }

  void aug_assign() {
    const JsonValue* target = node_.find("target");
    if (target == nullptr) return fail(missing_field_message("target"));
    if (!target->is_object()) return fail(object_message(*target, "target"));
    const JsonText* kind = node_kind(*target);
    if (kind == nullptr) return fail(string_field_message("node"));
    const bool resolved = *kind == "name" || *kind == "subscript";
    uint32_t site = 0;
    if (resolved) {
      site = l_.resolve_target(*target, true);
    } else if (*kind == "attribute") {
      l_.expression(*target);
    } else {
      return fail("unsupported aug-assign target '" + kind->str() + "'");
    }
    if (!operand("value")) return;
    const JsonText* op = node_.find_string("operator");
    if (op == nullptr) return fail(string_field_message("operator"));
    const bool name_target = resolved && *kind == "name";
    if (name_target) l_.emit(Op::ReleaseLocal, l_.code().targets[site].slot);
    if (const std::optional<BinaryOperator> known = binary_operator_from_name(*op)) {
      l_.emit(Op::Binary, 0, 0, static_cast<uint8_t>(*known));
    } else {
      l_.emit(Op::BinaryNamed, l_.text(*op));
    }
    l_.pop();
    if (name_target) {
      // A name's write-back with the module-scope flag clear is a local store.
      l_.emit(Op::StoreLocal, l_.code().targets[site].slot);
      l_.set_depth(base_);
    } else if (resolved) {
      // The operator took the target's current value (its last cell).
      l_.emit(Op::StoreResolved, site, 0, kStoreCurrentUsed);
      l_.set_depth(base_);
    } else {
      l_.assign_target(*target);
    }
  }

  void if_() {
    if (!operand("test")) return;
    const uint32_t to_else = l_.emit(Op::JumpIfFalse);
    l_.pop();
    branch("body");
    const uint32_t to_end = l_.emit(Op::Jump);
    l_.patch(to_else, l_.here());
    l_.set_depth(base_);
    branch("orelse");
    l_.patch(to_end, l_.here());
    l_.set_depth(base_);
  }

  void branch(std::string_view key) {
    const JsonValue::Array* body = node_.find_array(key);
    if (body == nullptr) {
      l_.fail(array_field_message(key));
    } else {
      l_.block(*body);
    }
  }

  // The loop is rotated: ForNext sits after the body and jumps back to it,
  // so an iteration runs one dispatch fewer.
  void for_() {
    if (!operand("iter")) return;
    l_.emit(Op::ForPrep);
    l_.pop();
    l_.push(kIterationCells);
    const JsonValue::Array* body = node_.find_array("body");
    const JsonValue::Array* orelse = node_.find_array("orelse");
    if (body == nullptr) return fail(array_field_message("body"));
    if (orelse == nullptr) return fail(array_field_message("orelse"));
    const uint32_t to_next = l_.emit(Op::Jump);
    const uint32_t body_start = l_.here();
    l_.mark_target(body_start);
    const JsonValue* target = node_.find("target");
    const JsonText* target_kind = target != nullptr && target->is_object() ? node_kind(*target) : nullptr;
    const JsonText* target_id = target_kind != nullptr && *target_kind == "name" ? target->find_string("id") : nullptr;
    uint8_t flags = kForNextLoopBack;
    uint16_t store_slot = 0;
    if (target == nullptr) {
      l_.fail(missing_field_message("target"));
    } else if (target_id != nullptr && l_.slot_for(*target_id) <= UINT16_MAX) {
      flags |= kForNextStore;
      store_slot = static_cast<uint16_t>(l_.slot_for(*target_id));
      // ForNext puts the item on the stack before it moves it to the slot:
      // that cell must be counted like any other.
      l_.push();
    } else {
      l_.push();  // the item ForNext hands to the body
      l_.assign_target(*target);
    }
    l_.set_depth(base_ + kIterationCells);
    l_.loops().push_back(Lowerer::Loop{true, {}, {}});
    l_.block(*body);
    Lowerer::Loop loop = std::move(l_.loops().back());
    l_.loops().pop_back();
    l_.patch(to_next, l_.here());
    for (uint32_t at : loop.continues) l_.patch(at, l_.here());
    Instr& next = l_.code().instrs[l_.emit(Op::ForNext, body_start, base_, flags)];
    next.spare = store_slot;
    l_.set_depth(base_);
    l_.block(*orelse);
    for (uint32_t at : loop.breaks) l_.patch(at, l_.here());
  }

  // Rotated like for: the test sits after the body and jumps back to it.
  void while_() {
    const JsonValue::Array* body = node_.find_array("body");
    const JsonValue::Array* orelse = node_.find_array("orelse");
    if (body == nullptr) return fail(array_field_message("body"));
    if (orelse == nullptr) return fail(array_field_message("orelse"));
    const uint32_t to_test = l_.emit(Op::Jump);
    const uint32_t body_start = l_.here();
    l_.mark_target(body_start);
    l_.emit(Op::Charge, 0, 96);
    l_.loops().push_back(Lowerer::Loop{false, {}, {}});
    l_.block(*body);
    Lowerer::Loop loop = std::move(l_.loops().back());
    l_.loops().pop_back();
    l_.patch(to_test, l_.here());
    for (uint32_t at : loop.continues) l_.patch(at, l_.here());
    if (!operand("test")) {
      for (uint32_t at : loop.breaks) l_.patch(at, l_.here());
      return;
    }
    l_.emit(Op::JumpIfTrue, body_start);
    l_.pop();
    l_.block(*orelse);
    for (uint32_t at : loop.breaks) l_.patch(at, l_.here());
  }

  void raise() {
    const JsonValue* cause = node_.find("cause");
    if (!absent_or_null(cause)) {
      l_.expression(*cause);
      l_.emit(Op::Pop);
      l_.pop();
    }
    const JsonValue* exception = node_.find("exception");
    if (absent_or_null(exception)) return fail("RuntimeError('No active exception to reraise')");
    l_.expression(*exception);
    l_.emit(Op::Raise);
    l_.set_depth(base_);
  }

  void assert_() {
    if (!operand("test")) return;
    const uint32_t to_end = l_.emit(Op::JumpIfTrue);
    l_.pop();
    const JsonValue* message = node_.find("message");
    if (absent_or_null(message)) {
      l_.fail("AssertionError()");
    } else {
      l_.expression(*message);
      l_.emit(Op::AssertFail);
      l_.set_depth(base_);
    }
    l_.patch(to_end, l_.here());
  }

  void storage_set(bool mutate) {
    const JsonText* binding = node_.find_string("binding");
    if (binding == nullptr) return fail(string_field_message("binding"));
    const uint32_t name = l_.text(*binding);
    const uint64_t number = l_.storage_binding(*binding);
    if (!operand("key")) return;
    if (mutate) {
      l_.emit(Op::StorageMutateRead, name, number);
      l_.push();
    }
    if (!operand("value")) return;
    if (!mutate) {
      l_.emit(Op::StorageSet, name, number);
    } else {
      const JsonText* op = node_.find_string("operator");
      if (op == nullptr) return fail(string_field_message("operator"));
      if (const std::optional<BinaryOperator> known = binary_operator_from_name(*op)) {
        l_.emit(Op::StorageMutateWrite, name, number, static_cast<uint8_t>(*known));
      } else {
        l_.emit(Op::StorageMutateWrite, name, number | l_.text(*op), 255);
      }
    }
    l_.set_depth(base_);
  }

  void run(StatementKind kind) {
    switch (kind) {
      case StatementKind::Expr: return expr();
      case StatementKind::Pass: return;
      case StatementKind::Break: return loop_control(true);
      case StatementKind::Continue: return loop_control(false);
      case StatementKind::Return: return return_();
      case StatementKind::Assign: return assign();
      case StatementKind::AugAssign: return aug_assign();
      case StatementKind::If: return if_();
      case StatementKind::While: return while_();
      case StatementKind::For: return for_();
      case StatementKind::Raise: return raise();
      case StatementKind::Assert: return assert_();
      case StatementKind::StorageSet: return storage_set(false);
      case StatementKind::StorageMutate: return storage_set(true);
    }
  }

 private:
  Lowerer& l_;
  const JsonValue& node_;
  uint32_t base_;
};

}  // namespace

void Lowerer::block(std::span<const JsonValue> statements) {
  for (const JsonValue& s : statements) statement(s);
}

void Lowerer::statement(const JsonValue& node) {
  const uint32_t base = depth_;
  if (!node.is_object()) return fail(object_message(node, "statement"));
  const JsonText* kind_text = node_kind(node);
  if (kind_text == nullptr) return fail(string_field_message("node"));
  const std::optional<StatementKind> kind = statement_kind_from_name(*kind_text);
  if (!kind) return fail("unsupported statement node '" + kind_text->str() + "'");
  emit(Op::Stmt, text(*kind_text), kStatementPrices[static_cast<size_t>(*kind)], static_cast<uint8_t>(*kind));
  if (nesting_ >= 1024) {
    fail("recursion limit exceeded");
    return set_depth(base);
  }
  ++nesting_;
  StatementLowering(*this, node).run(*kind);
  --nesting_;
  set_depth(base);
}

}  // namespace veln
