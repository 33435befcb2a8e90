// Lowering of assignment targets: plain stores, destructuring, and the
// resolution of subscript chains into stack cells ([root], then per level
// [index] and, when read, [current]) that a StoreResolved writes back from
// the innermost level outwards.
#include <string>

#include "interpreter/lowering.hpp"

namespace veln {

void Lowerer::assign_target(const JsonValue& target) {
  const uint32_t base = depth_ - 1;  // the value being assigned
  auto finish_fail = [&](std::string message) {
    fail(std::move(message));
    set_depth(base);
  };
  if (!target.is_object()) return finish_fail(object_message(target, "target"));
  const JsonText* kind_text = node_kind(target);
  if (kind_text == nullptr) return finish_fail(string_field_message("node"));
  const std::optional<TargetKind> kind = target_kind_from_name(*kind_text);
  if (!kind) return finish_fail("unsupported assignment target '" + kind_text->str() + "'");
  switch (*kind) {
    case TargetKind::Name: {
      const JsonText* id = target.find_string("id");
      if (id == nullptr) return finish_fail(string_field_message("id"));
      emit(Op::StoreLocal, slot_for(*id));
      pop();
      return;
    }
    case TargetKind::Subscript: {
      const uint32_t site = resolve_target(target, false);
      emit(Op::StoreResolved, site, 0, kStoreValueBelow);
      set_depth(base);
      return;
    }
    case TargetKind::Attribute:
      return finish_fail("attribute assignment is not yet supported in veln-vm-core");
    case TargetKind::TupleTarget:
    case TargetKind::ListTarget: {
      const JsonValue::Array* elements = target.find_array("elements");
      if (elements == nullptr) {
        emit(Op::UnpackTypeCheck);
        return finish_fail(array_field_message("elements"));
      }
      emit(Op::Unpack, static_cast<uint32_t>(elements->size()));
      pop();
      push(static_cast<uint32_t>(elements->size()));
      for (const JsonValue& element : *elements) assign_target(element);
      set_depth(base);
      return;
    }
  }
}

uint32_t Lowerer::resolve_target(const JsonValue& target, bool read_current) {
  TargetSite site;
  site.outer_current = read_current;
  const uint32_t base = depth_;
  // A fault ends the resolution; the site still describes what was pushed
  // (the code after the Fail never runs).
  auto finish = [&]() {
    code_.targets.push_back(site);
    set_depth(base + site.cells());
    return static_cast<uint32_t>(code_.targets.size() - 1);
  };
  auto faulted = [&](std::string message) {
    fail(std::move(message));
    return finish();
  };

  if (!target.is_object()) return faulted(object_message(target, "target"));
  const JsonText* kind = node_kind(target);
  if (kind == nullptr) return faulted(string_field_message("node"));
  if (*kind == "name") {
    if (read_current) expression(target);
    const JsonText* id = target.find_string("id");
    if (id == nullptr) return faulted(string_field_message("id"));
    site.slot = slot_for(*id);
    site.global = module_.names.intern(*id);
    site.root_cell = read_current;
    return finish();
  }
  if (*kind != "subscript") return faulted("unsupported assignment target '" + kind->str() + "'");

  // The chain of subscripts from the outermost inwards. Each level is priced
  // (the outermost only when read) before the level inside it is looked at;
  // then the root is evaluated and each level's index (and current value)
  // follows from the innermost level outwards.
  std::vector<const JsonValue*> chain{&target};
  while (true) {
    const JsonValue* container = chain.back()->find("value");
    if (container == nullptr || !container->is_object()) break;
    const JsonText* container_kind = node_kind(*container);
    if (container_kind == nullptr || *container_kind != "subscript") break;
    chain.push_back(container);
  }
  for (size_t i = 0; i < chain.size(); ++i) {
    if (i > 0 || read_current) emit(Op::Charge, 0, 96);
  }
  const JsonValue& innermost = *chain.back();
  const JsonValue* root = innermost.find("value");
  if (root == nullptr) return faulted(missing_field_message("value"));
  if (!root->is_object()) return faulted(object_message(*root, "subscript target value"));
  const JsonText* root_kind = node_kind(*root);
  if (root_kind == nullptr) return faulted(string_field_message("node"));
  expression(*root);
  if (*root_kind == "name") {
    const JsonText* id = root->find_string("id");
    if (id == nullptr) return faulted(string_field_message("id"));
    site.slot = slot_for(*id);
    site.global = module_.names.intern(*id);
  } else {
    site.root_is_name = false;
    site.unsupported_text = text("unsupported assignment target '" + root_kind->str() + "'");
  }
  for (size_t i = chain.size(); i-- > 0;) {
    const bool read_here = i > 0 || read_current;
    const JsonValue* slice = chain[i]->find("slice");
    if (slice == nullptr) return faulted(missing_field_message("slice"));
    expression(*slice);
    ++site.levels;
    if (read_here) {
      emit(Op::ReadCurrent);
      push();
    }
  }
  return finish();
}

}  // namespace veln
