// Lowering of a module's functions: parameters and their slots, default
// expressions, the body, the call price from the node count of the raw IR,
// the type-check switch and the parsed annotations. All computed once per
// module; none of it can be observed except through the charges and checks
// it feeds.
#include "interpreter/lower_module.hpp"

#include <algorithm>
#include <iterator>
#include <string>

#include "interpreter/lowering.hpp"
#include "lib/name_index.hpp"

namespace veln {
namespace {

constexpr auto kParameterKinds = make_name_index("positional_or_keyword", "keyword_only", "vararg", "kwarg");

uint64_t saturating_call_price(uint64_t nodes) {
  if (nodes <= 40) return 0;
  const uint64_t excess = nodes - 40;
  if (excess > UINT64_MAX / 150) return UINT64_MAX;
  return excess * 150;
}

// The decorator "export" with the keyword typecheck=True (a bool constant).
bool typecheck_enabled(const FunctionIr& function) {
  if (!function.decorator || function.decorator->name != "export") return false;
  for (const JsonValue& keyword : function.decorator->keywords) {
    if (!keyword.is_object()) continue;
    const std::string* arg = keyword.find_string("arg");
    if (arg == nullptr || *arg != "typecheck") continue;
    const JsonValue* value = keyword.find("value");
    if (value == nullptr || !value->is_object()) continue;
    const std::string* node = value->find_string("node");
    const std::string* value_type = value->find_string("value_type");
    const JsonValue* flag = value->find("value");
    if (node != nullptr && *node == "constant" && value_type != nullptr && *value_type == "bool" &&
        flag != nullptr && flag->is_bool() && flag->as_bool()) {
      return true;
    }
  }
  return false;
}

// Whether the code from `entry` to the end changes no local: it reads
// names, computes, builds values and calls functions (whose frames are
// their own), and never stores, releases, restores or writes a receiver back.
bool reads_only(const LoweredCode& code, uint32_t entry) {
  static constexpr Op kReading[] = {
      Op::Charge, Op::Fail, Op::Pop, Op::Dup, Op::Jump, Op::JumpIfFalse, Op::JumpIfTrue, Op::JumpIfTrueOrPop,
      Op::JumpIfFalseOrPop, Op::Return, Op::PushConst, Op::LoadConst, Op::PushNone, Op::PushBool, Op::LoadName,
      Op::LoadName2, Op::LoadNameConst, Op::Binary, Op::BinaryNamed, Op::Unary, Op::UnaryNamed,
      Op::Compare, Op::CompareNamed, Op::CompareLast, Op::CompareLastNamed, Op::CompareJump, Op::BinaryJump,
      Op::NameConstBinary, Op::NameConstCompareJump, Op::Name2CompareJump, Op::BuildList, Op::BuildTuple,
      Op::NewList, Op::NewDict, Op::DictAppend, Op::DictUnpack, Op::FString, Op::FormatValue, Op::Subscript,
      Op::SliceBound, Op::SliceSubscript, Op::Attribute, Op::HostAttribute, Op::StorageGet, Op::KwMark,
      Op::KwPush, Op::KwUnpack, Op::CallValue, Op::CallName};
  for (size_t pc = entry; pc < code.instrs.size(); ++pc) {
    if (std::find(std::begin(kReading), std::end(kReading), code.instrs[pc].op) == std::end(kReading)) return false;
  }
  return true;
}

void lower_function(LoweredModule& module, LoweredFunction& out) {
  const FunctionIr& ir = *out.ir;
  StringMap<bool> bindable;
  for (const ParameterIr& parameter : ir.parameters) {
    bindable.emplace(parameter.name, true);
    if (parameter.default_value) collect_bindable_names(*parameter.default_value, bindable);
  }
  for (const JsonValue& statement : ir.body) collect_bindable_names(statement, bindable);
  Lowerer lowerer(module, out.code, CodeUnit::Function, ir.name, &bindable);
  out.typecheck = typecheck_enabled(ir);
  uint64_t nodes = ir_node_complexity(ir.body);
  bool simple = true;
  std::vector<uint32_t> seen_slots;
  for (const ParameterIr& parameter : ir.parameters) {
    LoweredParameter p;
    p.slot = lowerer.slot_for(parameter.name);
    const size_t kind = kParameterKinds.find(parameter.kind);
    p.kind = kind == decltype(kParameterKinds)::kNotFound ? ParameterKind::Unsupported
                                                          : static_cast<ParameterKind>(kind);
    if (parameter.default_value) {
      nodes += ir_node_complexity(*parameter.default_value);
      p.default_entry = lowerer.expression_entry(*parameter.default_value);
      p.default_reads_only = reads_only(out.code, *p.default_entry);
      p.default_is_constant = out.code.instrs.size() == *p.default_entry + 2 &&
                              out.code.instrs[*p.default_entry].op == Op::LoadConst;
      simple = false;
    }
    if (out.typecheck && parameter.annotation) {
      p.annotation = parse_type_annotation(*parameter.annotation);
      p.annotation_unparsed = !p.annotation.has_value();
      p.check_label = "Argument '" + parameter.name + "'";
      out.checked_parameters.push_back(static_cast<uint32_t>(out.parameters.size()));
    }
    if (p.kind != ParameterKind::PositionalOrKeyword) simple = false;
    if (std::find(seen_slots.begin(), seen_slots.end(), p.slot) != seen_slots.end()) simple = false;
    seen_slots.push_back(p.slot);
    out.parameters.push_back(std::move(p));
  }
  out.simple_parameters = simple;
  if (out.typecheck && ir.returns) out.returns = parse_type_annotation(*ir.returns);
  out.call_price = saturating_call_price(nodes);
  out.body_entry = lowerer.block_entry(ir.body);
}

}  // namespace

uint64_t ir_node_complexity(const JsonValue& value) {
  // Iterative: the count must not depend on the native stack.
  uint64_t count = 0;
  std::vector<const JsonValue*> pending{&value};
  while (!pending.empty()) {
    const JsonValue* v = pending.back();
    pending.pop_back();
    if (v->is_array()) {
      for (const JsonValue& item : v->as_array()) pending.push_back(&item);
    } else if (v->is_object()) {
      if (v->contains("node")) ++count;
      v->for_each_member([&](std::string_view, const JsonValue& member) { pending.push_back(&member); });
    }
  }
  return count;
}

uint64_t ir_node_complexity(std::span<const JsonValue> values) {
  uint64_t count = 0;
  for (const JsonValue& v : values) count += ir_node_complexity(v);
  return count;
}

std::optional<uint32_t> LoweredModule::find_function(std::string_view name) const {
  auto it = function_index.find(name);
  if (it == function_index.end()) return std::nullopt;
  return it->second;
}

uint32_t NameTable::intern(std::string_view name) {
  auto it = index_.find(name);
  if (it != index_.end()) return it->second;
  const uint32_t id = static_cast<uint32_t>(names_.size());
  names_.emplace_back(name);
  index_.emplace(names_.back(), id);
  return id;
}

std::optional<uint32_t> NameTable::find(std::string_view name) const {
  auto it = index_.find(name);
  if (it == index_.end()) return std::nullopt;
  return it->second;
}

void lower_module_functions(const ModuleIr& module, LoweredModule& out) {
  for (const ImportIr& import : module.imports) {
    out.static_imports.emplace(import.alias ? *import.alias : import.module, import.module);
  }
  out.functions.resize(module.functions.size());
  for (size_t i = 0; i < module.functions.size(); ++i) {
    out.functions[i].ir = &module.functions[i];
    out.function_index.emplace(module.functions[i].name, static_cast<uint32_t>(i));
  }
  for (LoweredFunction& function : out.functions) lower_function(out, function);
}

}  // namespace veln
