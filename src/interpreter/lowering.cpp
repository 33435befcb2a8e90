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

const std::string* node_kind(const JsonValue& node) { return node.find_string("node"); }

Lowerer::Lowerer(LoweredModule& module, LoweredCode& code, CodeUnit unit, std::string_view function_name)
    : module_(module), code_(code), unit_(unit) {
  escape_message_ = unit == CodeUnit::Function
                        ? "function '" + std::string(function_name) + "' leaked loop control"
                        : std::string("module body cannot return or break execution");
  for (uint32_t slot = 0; slot < code_.slot_globals.size(); ++slot) slots_[code_.slot_globals[slot]] = slot;
}

uint32_t Lowerer::slot_for(std::string_view name) {
  const uint32_t global = module_.names.intern(name);
  auto [it, inserted] = slots_.try_emplace(global, static_cast<uint32_t>(code_.slot_globals.size()));
  if (inserted) code_.slot_globals.push_back(global);
  return it->second;
}

uint32_t Lowerer::emit(Op op, uint32_t a, uint64_t b, uint8_t a8) {
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

void Lowerer::set_depth(uint32_t depth) {
  depth_ = depth;
  if (depth_ > code_.max_stack) code_.max_stack = depth_;
}

uint32_t Lowerer::name_site(std::string_view id, const JsonValue* node) {
  NameSite site;
  site.slot = slot_for(id);
  site.global = module_.names.intern(id);
  if (const std::optional<uint32_t> function = module_.find_function(id)) {
    site.fallback = NameFallback::Function;
    site.function = *function;
    site.value = constant(VmValue::function_ref(id));
  } else if (std::optional<VmValue> builtin = builtin_name_value(id)) {
    site.fallback = NameFallback::Value;
    site.value = constant(std::move(*builtin));
  } else if (const std::string* binding = node != nullptr ? node->find_string("host_binding_id") : nullptr) {
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
  return static_cast<uint32_t>(code_.names.size() - 1);
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

}  // namespace veln
