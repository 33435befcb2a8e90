// Lowering of call nodes: positional arguments, then keyword arguments, then
// the callee, which is a system call, a native method call on a receiver
// (resolved as an assignment target when it is a name or a subscript), or a
// value called with the evaluated arguments. A name callee is looked up and
// called by one instruction, so a module function is reached by index.
#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "interpreter/lowering.hpp"
#include "interpreter_support/native_methods.hpp"

namespace veln {
namespace {

// The keyword names of a call whose keywords are all well-formed plain
// keywords (no unpacking), in call order; nullopt otherwise.
std::optional<std::vector<const JsonText*>> plain_keywords(const JsonValue::Array& keywords) {
  std::vector<const JsonText*> names;
  for (const JsonValue& item : keywords) {
    if (!item.is_object() || item.find("value") == nullptr) return std::nullopt;
    const JsonText* kind = item.find_string("node");
    if (kind != nullptr && *kind != "keyword") return std::nullopt;
    const JsonText* arg = item.find_string("arg");
    if (arg == nullptr) return std::nullopt;
    names.push_back(arg);
  }
  return names;
}

// Where each parameter of `callee` takes its value from, when `argc`
// positional arguments and the `keywords` bind without any of the binding
// errors (repeats, unknown or missing arguments, too many positional
// arguments, unpacked parameters); nullopt otherwise. Follows the binding
// order of calls: per parameter, a positional argument, else a keyword,
// else the default.
std::optional<std::vector<uint32_t>> argument_plan(const FunctionIr& callee, uint32_t argc,
                                                   const std::vector<const JsonText*>& keywords) {
  std::vector<uint32_t> plan;
  std::vector<bool> taken(keywords.size(), false);
  for (size_t k = 0; k < keywords.size(); ++k) {
    for (size_t j = 0; j < k; ++j) {
      if (*keywords[j] == *keywords[k]) return std::nullopt;
    }
  }
  auto keyword = [&](const std::string& name) -> std::optional<uint32_t> {
    for (size_t k = 0; k < keywords.size(); ++k) {
      if (*keywords[k] == name) return static_cast<uint32_t>(k);
    }
    return std::nullopt;
  };
  uint32_t next = 0;
  for (size_t i = 0; i < callee.parameters.size(); ++i) {
    const ParameterIr& p = callee.parameters[i];
    for (size_t j = 0; j < i; ++j) {
      if (callee.parameters[j].name == p.name) return std::nullopt;
    }
    const bool positional = p.kind == "positional_or_keyword";
    if (!positional && p.kind != "keyword_only") return std::nullopt;
    const std::optional<uint32_t> k = keyword(p.name);
    if (positional && next < argc) {
      if (k) return std::nullopt;
      plan.push_back(next++);
    } else if (k) {
      taken[*k] = true;
      plan.push_back(argc + *k);
    } else if (p.default_value) {
      plan.push_back(kFromDefault);
    } else {
      return std::nullopt;
    }
  }
  if (next < argc || std::find(taken.begin(), taken.end(), false) != taken.end()) return std::nullopt;
  return plan;
}

}  // namespace

void Lowerer::call(const JsonValue& node) {
  const uint32_t base = depth_;
  auto faulted = [&](std::string message) {
    fail(std::move(message));
    set_depth(base + 1);
  };
  CallSite site;
  // A name callee is looked up and called by one instruction, which charges
  // for the lookup.
  auto call_by_name = [&](const std::string& id, const JsonValue* func) {
    site.name = name_site(id, func);
    code_.calls.push_back(std::move(site));
    emit(Op::CallName, static_cast<uint32_t>(code_.calls.size() - 1), 64);
    set_depth(base + 1);
  };

  const JsonValue::Array* args = node.find_array("args");
  if (args == nullptr) return faulted(array_field_message("args"));
  if (const std::optional<EventFieldKeys> fields = event_display_call(node, *args)) {
    site.argc = fields->count;
    return system_call(node, *node.find_string("syscall_id"), site, *fields);
  }
  for (const JsonValue& arg : *args) expression(arg);
  site.argc = static_cast<uint32_t>(args->size());

  const JsonValue::Array* keywords = node.find_array("keywords");
  if (keywords == nullptr) return faulted(array_field_message("keywords"));
  if (const std::optional<uint32_t> callee = planned_callee(node)) {
    std::optional<std::vector<const JsonText*>> names = plain_keywords(*keywords);
    std::optional<std::vector<uint32_t>> plan;
    if (names) plan = argument_plan(*module_.functions[*callee].ir, site.argc, *names);
    if (plan) {
      // Keyword values stay on the stack, in call order, after the positional ones.
      for (size_t k = 0; k < keywords->size(); ++k) {
        expression(*(*keywords)[k].find("value"));
        site.keyword_texts.push_back(text(*(*names)[k]));
      }
      site.plan = std::move(*plan);
      site.planned = true;
      site.planned_cells = site.argc + static_cast<uint32_t>(site.keyword_texts.size());
      return call_by_name(*node.find("func")->find_string("id"), node.find("func"));
    }
  }
  if (!keywords->empty()) {
    site.has_keywords = true;
    emit(Op::KwMark);
    push();
    for (const JsonValue& item : *keywords) {
      if (!item.is_object()) return faulted(object_message(item, "keyword"));
      const JsonText* kind = node_kind(item);
      const bool unpack = kind != nullptr && *kind == "keyword_unpack";
      if (kind != nullptr && !unpack && *kind != "keyword") {
        return faulted("unsupported keyword node '" + kind->str() + "'");
      }
      const JsonText* arg = nullptr;
      if (!unpack) {
        arg = item.find_string("arg");
        if (arg == nullptr) return faulted(string_field_message("arg"));
      }
      const JsonValue* value = item.find("value");
      if (value == nullptr) return faulted(missing_field_message("value"));
      expression(*value);
      if (unpack) {
        emit(Op::KwUnpack);
      } else {
        emit(Op::KwPush, text(*arg));
      }
      pop();
    }
  }

  const JsonValue* func = node.find("func");
  if (func == nullptr) return faulted(missing_field_message("func"));

  if (const JsonText* syscall = node.find_string("syscall_id")) return system_call(node, *syscall, site);

  if (!func->is_object()) return faulted(object_message(*func, "callable"));
  const JsonText* func_kind = node_kind(*func);
  if (func_kind == nullptr) return faulted(string_field_message("node"));

  if (*func_kind == "attribute" && func->find_string("host_binding_id") == nullptr) {
    const JsonValue* receiver = func->find("value");
    if (receiver == nullptr) return faulted(missing_field_message("value"));
    if (!receiver->is_object()) return faulted(object_message(*receiver, "native method receiver"));
    const JsonText* receiver_kind = node_kind(*receiver);
    if (receiver_kind == nullptr) return faulted(string_field_message("node"));
    if (*receiver_kind == "name" || *receiver_kind == "subscript") {
      site.receiver_resolved = true;
      site.target = resolve_target(*receiver, true);
    } else {
      expression(*receiver);
      site.writeback_error = text(*receiver_kind == "attribute"
                                      ? std::string("attribute assignment is not yet supported in veln-vm-core")
                                      : "unsupported assignment target '" + receiver_kind->str() + "'");
    }
    const JsonText* attr = func->find_string("attr");
    if (attr == nullptr) return faulted(string_field_message("attr"));
    site.method = text(*attr);
    site.method_ids = resolve_native_method(*attr);
    for (VmKind kind : {VmKind::List, VmKind::Dict, VmKind::Set, VmKind::ByteArray}) {
      if (native_method_changes_receiver(kind, *attr)) site.changing_kinds |= 1u << static_cast<unsigned>(kind);
    }
    // Calls the loop runs without the general method path when the receiver
    // has the kind they name: `name.append(item)` on a list bound to a local,
    // `d.get(key[, default])` on a dict (no keywords either).
    const uint32_t index = static_cast<uint32_t>(code_.calls.size());
    if (!site.has_keywords && *attr == "append" && site.argc == 1 && *receiver_kind == "name") {
      emit(Op::AppendToLocal, index, code_.targets[site.target].slot);
    } else if (!site.has_keywords && *attr == "get" && (site.argc == 1 || site.argc == 2)) {
      const uint32_t receiver_cells = site.receiver_resolved ? code_.targets[site.target].cells() : 1;
      emit(Op::DictGet, index, site.argc + receiver_cells, static_cast<uint8_t>(site.argc));
    } else {
      emit(Op::NativeCall, index);
    }
    code_.calls.push_back(site);
    return set_depth(base + 1);
  }

  if (*func_kind == "name") {
    if (const JsonText* id = func->find_string("id")) return call_by_name(*id, func);
  }
  expression(*func);
  code_.calls.push_back(site);
  emit(Op::CallValue, static_cast<uint32_t>(code_.calls.size() - 1));
  set_depth(base + 1);
}

// An event emitted with one dict display of constant str keys and nothing
// else: its values are lowered without the dict (see event_field_values).
std::optional<EventFieldKeys> Lowerer::event_display_call(const JsonValue& node, const JsonValue::Array& args) {
  const JsonText* id = node.find_string("syscall_id");
  if (id == nullptr || resolve_syscall_id(*id).id != VmSyscallId::kEventLogEmit || args.size() != 1) {
    return std::nullopt;
  }
  const JsonValue::Array* keywords = node.find_array("keywords");
  if (keywords == nullptr || !keywords->empty() || node.find("func") == nullptr) return std::nullopt;
  return event_field_values(args.front());
}

// A call by name (no system call) whose name is a module function's.
std::optional<uint32_t> Lowerer::planned_callee(const JsonValue& node) const {
  if (node.find_string("syscall_id") != nullptr) return std::nullopt;
  const JsonValue* func = node.find("func");
  if (func == nullptr || !func->is_object()) return std::nullopt;
  const JsonText* kind = func->find_string("node");
  const JsonText* id = func->find_string("id");
  if (kind == nullptr || *kind != "name" || id == nullptr) return std::nullopt;
  return module_.find_function(*id);
}

}  // namespace veln
