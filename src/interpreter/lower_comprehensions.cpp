// Lowering of list and dict comprehensions: one loop per generator level,
// each drawing from its iterable materialised once per run of the level,
// charging 96 per item before binding it, and restoring the locals its
// target names held before the level ran. The result being built stays in a
// fixed stack cell that every level appends to.
#include <string>

#include "interpreter/lowering.hpp"

namespace veln {
namespace {

// The names of a comprehension target, once per occurrence, or the error.
VmStatus collect_target_names(const JsonValue& target, std::vector<std::string_view>& names) {
  if (!target.is_object()) return vm_error(object_message(target, "target"));
  const JsonText* kind = node_kind(target);
  if (kind == nullptr) return vm_error(string_field_message("node"));
  if (*kind == "name") {
    const JsonText* id = target.find_string("id");
    if (id == nullptr) return vm_error(string_field_message("id"));
    names.push_back(*id);
    return Ok{};
  }
  if (*kind == "tuple_target" || *kind == "list_target") {
    const JsonValue::Array* elements = target.find_array("elements");
    if (elements == nullptr) return vm_error(array_field_message("elements"));
    for (const JsonValue& element : *elements) VELN_CHECK(collect_target_names(element, names));
    return Ok{};
  }
  return vm_error("unsupported comprehension target '" + kind->str() + "'");
}

class ComprehensionLowering {
 public:
  ComprehensionLowering(Lowerer& l, bool is_dict, const JsonValue& node)
      : l_(l), is_dict_(is_dict), node_(node), base_(l.depth()) {}

  void fail(std::string message) {
    l_.fail(std::move(message));
    l_.set_depth(base_ + 1);
  }

  void run() {
    const char* const parts[2] = {is_dict_ ? "key" : "element", "value"};
    for (int i = 0; i < (is_dict_ ? 2 : 1); ++i) {
      if (node_.find(parts[i]) == nullptr) return fail(missing_field_message(parts[i]));
    }
    const JsonValue::Array* generators = node_.find_array("generators");
    if (generators == nullptr) return fail(array_field_message("generators"));
    generators_ = generators;
    l_.emit(is_dict_ ? Op::NewDict : Op::NewList);
    l_.push();
    result_cell_ = base_;
    level(0);
    l_.set_depth(base_ + 1);
  }

 private:
  void level(size_t index) {
    const uint32_t level_base = l_.depth();
    if (index >= generators_->size()) {
      l_.fail(is_dict_ ? "missing dict comprehension generator" : "missing list comprehension generator");
      return;
    }
    const JsonValue& generator = (*generators_)[index];
    if (!generator.is_object()) {
      l_.fail(object_message(generator, is_dict_ ? "dict comprehension generator" : "list comprehension generator"));
      return;
    }
    const JsonValue* target = generator.find("target");
    if (target == nullptr) return l_.fail(missing_field_message("target"));
    const JsonValue* iter = generator.find("iter");
    if (iter == nullptr) return l_.fail(missing_field_message("iter"));
    l_.expression(*iter);
    l_.emit(Op::ForPrep);
    l_.pop();
    l_.push(kIterationCells);
    const uint32_t state_cell = level_base;

    std::vector<std::string_view> names;
    if (VmStatus collected = collect_target_names(*target, names); !collected.ok()) {
      l_.fail(collected.error().message);
      l_.set_depth(level_base);
      return;
    }
    CaptureSite capture;
    for (std::string_view name : names) {
      const uint32_t slot = l_.slot_for(name);
      if (std::find(capture.slots.begin(), capture.slots.end(), slot) == capture.slots.end()) {
        capture.slots.push_back(slot);
      }
    }
    const uint32_t captured = static_cast<uint32_t>(capture.slots.size());
    l_.code().captures.push_back(std::move(capture));
    const uint32_t capture_site = static_cast<uint32_t>(l_.code().captures.size() - 1);
    l_.emit(Op::Capture, capture_site);
    l_.push(2 * captured);
    const uint32_t loop_depth = l_.depth();

    // Rotated like the for statement: ForNext sits after the body and jumps
    // back to it. The state stays in place when the level ends, below the
    // captures. A name target is bound by ForNext itself.
    const uint32_t to_next = l_.emit(Op::Jump);
    const uint32_t body_start = l_.here();
    l_.mark_target(body_start);
    uint8_t flags = kForNextKeepState | kForNextLoopBack;
    uint32_t store_slot = 0;
    l_.push();  // the item ForNext hands over
    const std::vector<uint32_t>& slots = l_.code().captures[capture_site].slots;
    if (*node_kind(*target) == "name" && slots.size() == 1 && slots[0] <= UINT16_MAX) {
      flags |= kForNextStore;
      store_slot = slots[0];
      l_.pop();
    } else {
      l_.assign_target(*target);
    }
    std::vector<uint32_t> to_test;
    const JsonValue::Array* ifs = generator.find_array("ifs");
    if (ifs == nullptr) {
      l_.fail(array_field_message("ifs"));
    } else {
      for (const JsonValue& condition : *ifs) {
        l_.expression(condition);
        to_test.push_back(l_.emit(Op::JumpIfFalse));
        l_.pop();
      }
      if (index + 1 == generators_->size()) {
        if (is_dict_) {
          l_.expression(*node_.find("key"));
          l_.expression(*node_.find("value"));
          l_.emit(Op::DictSet, result_cell_);
          l_.pop(2);
        } else {
          l_.expression(*node_.find("element"));
          l_.emit(Op::ListAppend, result_cell_);
          l_.pop();
        }
      } else {
        level(index + 1);
      }
    }
    l_.set_depth(loop_depth);
    l_.patch(to_next, l_.here());
    for (uint32_t at : to_test) l_.patch(at, l_.here());
    l_.code().instrs[l_.emit(Op::ForNext, body_start, state_cell, flags)].spare = static_cast<uint16_t>(store_slot);
    l_.emit(Op::Restore, capture_site);
    for (uint32_t i = 0; i < kIterationCells; ++i) l_.emit(Op::Pop);
    l_.set_depth(level_base);
  }

  Lowerer& l_;
  bool is_dict_;
  const JsonValue& node_;
  uint32_t base_;
  uint32_t result_cell_ = 0;
  const JsonValue::Array* generators_ = nullptr;
};

}  // namespace

void Lowerer::list_comprehension(const JsonValue& node) { ComprehensionLowering(*this, false, node).run(); }

void Lowerer::dict_comprehension(const JsonValue& node) { ComprehensionLowering(*this, true, node).run(); }

}  // namespace veln
