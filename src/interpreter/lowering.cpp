// The Lowerer's emission helpers, slots, name sites and entries.
#include "interpreter/lowering.hpp"

#include "interpreter/host_bindings.hpp"
#include "interpreter_support/builtin_names.hpp"
#include "interpreter_support/ir_argument_readers.hpp"

namespace veln {

std::string missing_field_message(std::string_view key) {
  return "missing field '" + std::string(key) + "'";
}
std::string string_field_message(std::string_view key) {
  return "field '" + std::string(key) + "' must be a string";
}
std::string array_field_message(std::string_view key) {
  return "field '" + std::string(key) + "' must be an array";
}
std::string object_message(const JsonValue& value, std::string_view label) {
  return as_object(value, label).error().message;
}

const JsonText* node_kind(const JsonValue& node) { return node.find_string("node"); }

Lowerer::Lowerer(LoweredModule& module, LoweredCode& code, CodeUnit unit, std::string_view function_name,
                 const StringMap<bool>* bindable)
    : module_(module), code_(code), unit_(unit), bindable_(bindable) {
  escape_message_ = unit == CodeUnit::Function
                        ? "function '" + std::string(function_name) + "' leaked loop control"
                        : std::string("module body cannot return or break execution");
  for (uint32_t slot = 0; slot < code_.slot_globals.size(); ++slot) slots_[code_.slot_globals[slot]] = slot;
  // Slot 0 of function code: the one that names the function cannot bind
  // are read through. It is never written.
  if (unit_ == CodeUnit::Function && code_.slot_globals.empty()) code_.slot_globals.push_back(0);
}

uint32_t Lowerer::read_slot(std::string_view name) {
  if (unit_ == CodeUnit::Function && bindable_ != nullptr && bindable_->find(name) == bindable_->end()) return 0;
  return slot_for(name);
}

uint32_t Lowerer::slot_for(std::string_view name) {
  const uint32_t global = module_.names.intern(name);
  auto [it, inserted] = slots_.try_emplace(global, static_cast<uint32_t>(code_.slot_globals.size()));
  if (inserted) code_.slot_globals.push_back(global);
  return it->second;
}

namespace {

// A call by name that reaches the builtin range while the name is not bound,
// with positional arguments only.
bool calls_range(const LoweredCode& code, const CallSite& site) {
  return !site.planned && !site.has_keywords && site.keyword_texts.empty() && site.argc >= 1 && site.argc <= 3 &&
         code.names[site.name].builtin == BuiltinId::range;
}

}  // namespace

uint32_t Lowerer::emit(Op op, uint32_t a, uint64_t b, uint8_t a8) {
  // Fused pairs, where no jump lands between them: an operator whose result
  // goes straight into a local, a name and a constant loaded for an operator
  // (and its result stored), and a comparison or an operator tested by a
  // branch.
  const uint32_t at = here();
  if (at > 0 && !is_target(at)) {
    Instr& last = code_.instrs[at - 1];
    if (op == Op::StoreLocal && last.op == Op::Binary) {
      last.op = Op::BinaryStore;
      last.a = a;
      if (at > 1 && !is_target(at - 1) && code_.instrs[at - 2].op == Op::ReleaseLocal &&
          code_.instrs[at - 2].a == a) {
        code_.instrs[at - 2] = last;
        code_.instrs.pop_back();
      }
      // `x += 1`: the name and the constant were loaded just before.
      const uint32_t store = here() - 1;
      if (store > 0 && !is_target(store) && code_.instrs[store - 1].op == Op::LoadNameConst) {
        Instr& load = code_.instrs[store - 1];
        load.op = Op::NameConstBinaryStore;
        load.a8 = code_.instrs[store].a8;
        load.b |= uint64_t{a} << 32;
        code_.instrs.pop_back();
      } else if (store > 0 && !is_target(store) && code_.instrs[store - 1].op == Op::LoadConst &&
                 code_.instrs[store - 1].b == kConstantPrice) {
        // `x = ... + 1`: the constant was loaded just before.
        Instr& load = code_.instrs[store - 1];
        load.op = Op::ConstBinaryStore;
        load.a8 = code_.instrs[store].a8;
        load.b = a;
        code_.instrs.pop_back();
      }
      return here() - 1;
    }
    if (op == Op::StoreLocal && last.op == Op::ConstBinary) {
      last.op = Op::ConstBinaryStore;
      last.b = a;
      return at - 1;
    }
    if (op == Op::Binary && last.op == Op::LoadConst && last.b == kConstantPrice) {
      last.op = Op::ConstBinary;
      last.a8 = a8;
      return at - 1;
    }
    if (op == Op::StoreLocal && last.op == Op::NameConstBinary) {
      last.op = Op::NameConstBinaryStore;
      last.b |= uint64_t{a} << 32;
      return at - 1;
    }
    if (op == Op::Binary && last.op == Op::LoadNameConst) {
      last.op = Op::NameConstBinary;
      last.a8 = a8;
      return at - 1;
    }
    // `if i % 2:`: the operator's operands were loaded just before.
    if ((op == Op::JumpIfFalse || op == Op::JumpIfTrue) && last.op == Op::NameConstBinary) {
      last.op = Op::NameConstBinaryJump;
      last.b = uint64_t{last.a} | (last.b << 32);
      last.a = a;
      if (op == Op::JumpIfTrue) last.a8 |= kBinaryJumpIfTrue;
      if (a < at) mark_target(a);
      return at - 1;
    }
    if ((op == Op::JumpIfFalse || op == Op::JumpIfTrue) &&
        (last.op == Op::CompareLast || last.op == Op::Binary)) {
      const bool compare = last.op == Op::CompareLast;
      last.op = compare ? Op::CompareJump : Op::BinaryJump;
      last.a = a;
      if (op == Op::JumpIfTrue) last.a8 |= compare ? kCompareJumpIfTrue : kBinaryJumpIfTrue;
      if (a < at) mark_target(a);
      // `k < 2`, `i < n`: both operands were loaded just before.
      Instr& load = code_.instrs[at > 1 ? at - 2 : 0];
      if (compare && at > 1 && !is_target(at - 1) &&
          (load.op == Op::LoadNameConst || load.op == Op::LoadName2)) {
        load.op = load.op == Op::LoadNameConst ? Op::NameConstCompareJump : Op::Name2CompareJump;
        load.b = uint64_t{load.a} | (load.b << 32);
        load.a = a;
        load.a8 = last.a8;
        code_.instrs.pop_back();
        return at - 2;
      }
      return at - 1;
    }
    // `d[k]`: both names were loaded just before.
    if (op == Op::Subscript && last.op == Op::LoadName2) {
      last.op = Op::Name2Subscript;
      return at - 1;
    }
    // `xs.append(x)` as a statement: no None is pushed to be dropped.
    if (op == Op::Pop && last.op == Op::AppendToLocal && last.a8 == 0) {
      last.a8 = 1;
      return at - 1;
    }
    // `for x in range(n)`: the call and the start of the loop, so that the
    // loop can count through a range instead of building it.
    if (op == Op::ForPrep && last.op == Op::CallName && calls_range(code_, code_.calls[last.a])) {
      last.op = Op::ForPrepRange;
      return at - 1;
    }
    // A node's price charged just before its first operand is read.
    if ((op == Op::LoadName || op == Op::LoadConst || op == Op::Charge) && last.op == Op::Charge &&
        last.spare == 0 && last.b <= UINT16_MAX) {
      last.spare = static_cast<uint16_t>(last.b);
      last.op = op;
      last.a = a;
      last.b = b;
      last.a8 = a8;
      return at - 1;
    }
    if (op == Op::LoadName && last.op == Op::LoadName) {
      last.op = Op::LoadName2;
      last.b = a;
      return at - 1;
    }
    if (op == Op::LoadConst && last.op == Op::LoadName) {
      last.op = Op::LoadNameConst;
      last.b = a;
      return at - 1;
    }
  }
  if ((op == Op::Jump || op == Op::JumpIfFalse || op == Op::JumpIfTrue) && a < at) mark_target(a);
  Instr instr;
  instr.op = op;
  instr.a8 = a8;
  instr.a = a;
  instr.b = b;
  code_.instrs.push_back(instr);
  return static_cast<uint32_t>(code_.instrs.size() - 1);
}

void Lowerer::fail(std::string message) { emit(Op::Fail, text(std::move(message))); }

uint32_t Lowerer::text(std::string value) {
  code_.texts.push_back(std::move(value));
  return static_cast<uint32_t>(code_.texts.size() - 1);
}

uint32_t Lowerer::constant(VmValue value) {
  code_.constants.push_back(std::move(value));
  return static_cast<uint32_t>(code_.constants.size() - 1);
}

void Lowerer::push(uint32_t n) {
  depth_ += n;
  if (depth_ > code_.max_stack) code_.max_stack = depth_;
}

bool Lowerer::member_expression(const JsonValue& node, std::string_view key) {
  const JsonValue* member = node.find(key);
  if (member == nullptr) return false;
  expression(*member);
  return true;
}

void Lowerer::set_depth(uint32_t depth) {
  depth_ = depth;
  if (depth_ > code_.max_stack) code_.max_stack = depth_;
}

uint32_t Lowerer::name_site(std::string_view id, const JsonValue* node) {
  // A site depends on the name and, for a name that is neither a function
  // nor a builtin, on the node's host binding id only.
  const JsonText* binding = node != nullptr ? node->find_string("host_binding_id") : nullptr;
  const uint32_t global = module_.names.intern(id);
  if (binding == nullptr) {
    if (auto it = plain_name_sites_.find(global); it != plain_name_sites_.end()) return it->second;
  }
  NameSite site;
  site.slot = read_slot(id);
  site.global = global;
  if (const std::optional<uint32_t> function = module_.find_function(id)) {
    site.fallback = NameFallback::Function;
    site.function = *function;
    site.value = constant(VmValue::function_ref(id));
  } else if (std::optional<VmValue> builtin = builtin_name_value(id)) {
    site.fallback = NameFallback::Value;
    if (builtin->is(VmKind::Builtin)) site.builtin = builtin_id(builtin->text());
    site.value = constant(std::move(*builtin));
  } else if (binding != nullptr) {
    if (const std::optional<HostBindingId> id_value = host_binding_from_id(*binding)) {
      site.fallback = NameFallback::HostBinding;
      site.value = static_cast<uint32_t>(*id_value);
    } else {
      site.fallback = NameFallback::Fail;
      site.value = text(unsupported_host_binding_message(*binding));
    }
  } else {
    site.fallback = NameFallback::Fail;
    site.value = text("unknown name '" + std::string(id) + "'");
  }
  code_.names.push_back(site);
  const uint32_t index = static_cast<uint32_t>(code_.names.size() - 1);
  if (binding == nullptr) plain_name_sites_.emplace(global, index);
  return index;
}

uint32_t Lowerer::expression_entry(const JsonValue& node) {
  const uint32_t entry = here();
  set_depth(0);
  expression(node);
  emit(Op::Return);
  pop();
  return entry;
}

uint32_t Lowerer::block_entry(std::span<const JsonValue> statements) {
  const uint32_t entry = here();
  set_depth(0);
  block(statements);
  emit(Op::ReturnNone);
  return entry;
}

namespace {

// Adds the names a target writes: names, destructured names, and the root
// name of a subscript chain (written back by the assignment).
void add_target_names(const JsonValue* target, StringMap<bool>& names) {
  std::vector<const JsonValue*> pending{target};
  while (!pending.empty()) {
    const JsonValue* t = pending.back();
    pending.pop_back();
    if (t == nullptr || !t->is_object()) continue;
    const JsonText* kind = node_kind(*t);
    if (kind == nullptr) continue;
    if (*kind == "name") {
      if (const JsonText* id = t->find_string("id")) names.emplace(*id, true);
    } else if (*kind == "subscript") {
      pending.push_back(t->find("value"));
    } else if (const JsonValue::Array* elements = t->find_array("elements")) {
      for (const JsonValue& e : *elements) pending.push_back(&e);
    }
  }
}

}  // namespace

uint64_t collect_bindable_names(const JsonValue& code, StringMap<bool>& names) {
  // One walk for the names and the node count: both read every node.
  uint64_t nodes = 0;
  std::vector<const JsonValue*> pending{&code};
  while (!pending.empty()) {
    const JsonValue* v = pending.back();
    pending.pop_back();
    if (v->is_array()) {
      for (const JsonValue& item : v->as_array()) {
        if (item.is_array() || item.is_object()) pending.push_back(&item);
      }
      continue;
    }
    if (!v->is_object()) continue;
    bool is_node = false;
    v->for_each_member([&](std::string_view key, const JsonValue& value) {
      if (key == "node") {
        is_node = true;
      } else if (key == "targets") {
        if (value.is_array()) {
          for (const JsonValue& t : value.as_array()) add_target_names(&t, names);
        }
      } else if (key == "target") {
        add_target_names(&value, names);
      }
      if (value.is_array() || value.is_object()) pending.push_back(&value);
    });
    if (!is_node) continue;
    ++nodes;
    // A method call may write its receiver back; a system call (a shuffle)
    // its first argument.
    const JsonText* kind = node_kind(*v);
    if (kind != nullptr && *kind == "call") {
      if (const JsonValue* func = v->find("func"); func != nullptr && func->is_object()) {
        add_target_names(func->find("value"), names);
      }
      if (v->find_string("syscall_id") != nullptr) {
        if (const JsonValue::Array* args = v->find_array("args"); args != nullptr && !args->empty()) {
          add_target_names(&args->front(), names);
        }
      }
    }
  }
  return nodes;
}

}  // namespace veln
