// Lowering of call nodes: positional arguments, then keyword arguments, then
// the callee, which is a system call, a native method call on a receiver
// (resolved as an assignment target when it is a name or a subscript), or a
// value called with the evaluated arguments. A name callee is looked up and
// called by one instruction, so a module function is reached by index.
#include <string>

#include "interpreter/lowering.hpp"
#include "interpreter_support/native_methods.hpp"

namespace veln {

void Lowerer::call(const JsonValue& node) {
  const uint32_t base = depth_;
  auto faulted = [&](std::string message) {
    fail(std::move(message));
    set_depth(base + 1);
  };
  CallSite site;

  const JsonValue::Array* args = node.find_array("args");
  if (args == nullptr) return faulted(array_field_message("args"));
  for (const JsonValue& arg : *args) expression(arg);
  site.argc = static_cast<uint32_t>(args->size());

  const JsonValue::Array* keywords = node.find_array("keywords");
  if (keywords == nullptr) return faulted(array_field_message("keywords"));
  if (!keywords->empty()) {
    site.has_keywords = true;
    emit(Op::KwMark);
    push();
    for (const JsonValue& item : *keywords) {
      if (!item.is_object()) return faulted(object_message(item, "keyword"));
      const std::string* kind = node_kind(item);
      const bool unpack = kind != nullptr && *kind == "keyword_unpack";
      if (kind != nullptr && !unpack && *kind != "keyword") {
        return faulted("unsupported keyword node '" + *kind + "'");
      }
      const std::string* arg = nullptr;
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

  if (const std::string* syscall = node.find_string("syscall_id")) return system_call(node, *syscall, site);

  if (!func->is_object()) return faulted(object_message(*func, "callable"));
  const std::string* func_kind = node_kind(*func);
  if (func_kind == nullptr) return faulted(string_field_message("node"));

  if (*func_kind == "attribute" && func->find_string("host_binding_id") == nullptr) {
    const JsonValue* receiver = func->find("value");
    if (receiver == nullptr) return faulted(missing_field_message("value"));
    if (!receiver->is_object()) return faulted(object_message(*receiver, "native method receiver"));
    const std::string* receiver_kind = node_kind(*receiver);
    if (receiver_kind == nullptr) return faulted(string_field_message("node"));
    if (*receiver_kind == "name" || *receiver_kind == "subscript") {
      site.receiver_resolved = true;
      site.target = resolve_target(*receiver, true);
    } else {
      expression(*receiver);
      site.writeback_error = text(*receiver_kind == "attribute"
                                      ? std::string("attribute assignment is not yet supported in veln-vm-core")
                                      : "unsupported assignment target '" + *receiver_kind + "'");
    }
    const std::string* attr = func->find_string("attr");
    if (attr == nullptr) return faulted(string_field_message("attr"));
    site.method = text(*attr);
    site.method_ids = resolve_native_method(*attr);
    for (VmKind kind : {VmKind::List, VmKind::Dict, VmKind::Set, VmKind::ByteArray}) {
      if (native_method_changes_receiver(kind, *attr)) site.changing_kinds |= 1u << static_cast<unsigned>(kind);
    }
    code_.calls.push_back(site);
    emit(Op::NativeCall, static_cast<uint32_t>(code_.calls.size() - 1));
    return set_depth(base + 1);
  }

  if (*func_kind == "name") {
    if (const std::string* id = func->find_string("id")) {
      site.name = name_site(*id, func);
      code_.calls.push_back(site);
      emit(Op::CallName, static_cast<uint32_t>(code_.calls.size() - 1), 64);
      return set_depth(base + 1);
    }
  }
  expression(*func);
  code_.calls.push_back(site);
  emit(Op::CallValue, static_cast<uint32_t>(code_.calls.size() - 1));
  set_depth(base + 1);
}

}  // namespace veln
