// Lowering of a module's functions: parameters and their slots, default
// expressions, the body, the call price from the node count of the raw IR,
// the type-check switch and the parsed annotations. Each function is
// lowered once per instance, when first called; none of it can be observed
// except through the charges and checks it feeds (a fault in the IR becomes
// an instruction that fails when it runs, so when a function is lowered
// changes nothing).
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
    const JsonText* arg = keyword.find_string("arg");
    if (arg == nullptr || *arg != "typecheck") continue;
    const JsonValue* value = keyword.find("value");
    if (value == nullptr || !value->is_object()) continue;
    const JsonText* node = value->find_string("node");
    const JsonText* value_type = value->find_string("value_type");
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
      Op::LoadName2, Op::LoadNameConst, Op::Binary, Op::BinaryNamed, Op::Unary, Op::UnaryNamed, Op::Compare,
      Op::CompareNamed, Op::CompareLast, Op::CompareLastNamed, Op::CompareJump, Op::BinaryJump, Op::ConstBinary,
      Op::NameConstBinary, Op::NameConstBinaryJump, Op::NameConstCompareJump, Op::Name2CompareJump, Op::BuildList,
      Op::BuildTuple, Op::NewList, Op::NewDict, Op::DictAppend, Op::DictUnpack, Op::FString, Op::FormatValue,
      Op::Subscript, Op::Name2Subscript, Op::SliceBound, Op::SliceSubscript, Op::Attribute, Op::HostAttribute,
      Op::StorageGet, Op::KwMark, Op::KwPush, Op::KwUnpack, Op::CallValue, Op::CallName};
  for (size_t pc = entry; pc < code.instrs.size(); ++pc) {
    if (std::find(std::begin(kReading), std::end(kReading), code.instrs[pc].op) == std::end(kReading)) return false;
  }
  return true;
}

void lower_function(LoweredModule& module, LoweredFunction& out) {
  const FunctionIr& ir = *out.ir;
  StringMap<bool> bindable;
  uint64_t nodes = 0;
  for (const ParameterIr& parameter : ir.parameters) {
    bindable.emplace(parameter.name, true);
    if (parameter.default_value) nodes += collect_bindable_names(*parameter.default_value, bindable);
  }
  for (const JsonValue& statement : ir.body) nodes += collect_bindable_names(statement, bindable);
  Lowerer lowerer(module, out.code, CodeUnit::Function, ir.name, &bindable);
  out.typecheck = typecheck_enabled(ir);
  bool simple = true;
  std::vector<uint32_t> seen_slots;
  for (const ParameterIr& parameter : ir.parameters) {
    LoweredParameter p;
    p.slot = lowerer.slot_for(parameter.name);
    const size_t kind = kParameterKinds.find(parameter.kind);
    p.kind = kind == decltype(kParameterKinds)::kNotFound ? ParameterKind::Unsupported
                                                          : static_cast<ParameterKind>(kind);
    if (parameter.default_value) {
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

void index_module_functions(const ModuleIr& module, LoweredModule& out) {
  for (const ImportIr& import : module.imports) {
    out.static_imports.emplace(import.alias ? *import.alias : import.module, import.module);
  }
  out.functions.resize(module.functions.size());
  for (size_t i = 0; i < module.functions.size(); ++i) {
    out.functions[i].ir = &module.functions[i];
    out.function_index.emplace(module.functions[i].name, static_cast<uint32_t>(i));
  }
}

void lower_module_function(LoweredModule& module, uint32_t index) {
  LoweredFunction& function = module.functions[index];
  lower_function(module, function);
  function.lowered = true;
}

}  // namespace veln
