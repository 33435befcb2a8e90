// Receiver-kind dispatch of native method calls (see header).
#include "interpreter_support/native_methods.hpp"

#include <array>
#include <cstddef>
#include <string>
#include <utility>

#include "interpreter_support/byte_methods.hpp"
#include "interpreter_support/container_methods.hpp"
#include "interpreter_support/string_methods.hpp"
#include "lib/name_index.hpp"

namespace veln {
namespace {

// The table of a receiver kind, or null for kinds without methods.
const NativeMethodKind* methods_of(VmKind kind) {
  switch (kind) {
    case VmKind::String: return &str_methods();
    case VmKind::Bytes: return &bytes_methods();
    case VmKind::ByteArray: return &bytearray_methods();
    case VmKind::Set: return &set_methods();
    case VmKind::FrozenSet: return &frozenset_methods();
    case VmKind::List: return &list_methods();
    case VmKind::Dict: return &dict_methods();
    default: return nullptr;
  }
}

constexpr auto kChangingListMethods = make_name_index("append", "extend", "insert", "remove", "pop", "clear");
constexpr auto kChangingDictMethods = make_name_index("pop", "clear");
constexpr auto kChangingSetMethods = make_name_index("add", "remove", "discard", "pop", "clear");
constexpr auto kChangingByteArrayMethods = make_name_index("append", "extend", "pop", "clear");

}  // namespace

bool native_method_changes_receiver(VmKind receiver_kind, std::string_view method) {
  switch (receiver_kind) {
    case VmKind::List: return kChangingListMethods.contains(method);
    case VmKind::Dict: return kChangingDictMethods.contains(method);
    case VmKind::Set: return kChangingSetMethods.contains(method);
    case VmKind::ByteArray: return kChangingByteArrayMethods.contains(method);
    default: return false;
  }
}

NativeMethodIds resolve_native_method(std::string_view method) {
  NativeMethodIds out;
  for (size_t k = 0; k < kVmKindCount; ++k) {
    const NativeMethodKind* methods = methods_of(static_cast<VmKind>(k));
    out.ids[k] = methods != nullptr ? methods->find(method) : kNoNativeMethod;
  }
  return out;
}

VmResult<NativeMethodOutcome> call_native_method(VmValue receiver, std::string_view method,
                                                 const NativeMethodIds& ids, std::span<const VmValue> args,
                                                 VmKeywordArgs kwargs) {
  if (!kwargs.empty()) {
    return vm_error("native method '" + std::string(method) + "()' does not accept keyword arguments");
  }
  const NativeMethodKind* methods = methods_of(receiver.kind());
  if (methods == nullptr) {
    return vm_error("value of type " + std::string(receiver.type_name()) + " has no native method '" +
                    std::string(method) + "()'");
  }
  const uint8_t id = ids.ids[static_cast<size_t>(receiver.kind())];
  return methods->call(std::move(receiver), id, method, args);
}

VmResult<NativeMethodOutcome> call_native_method(VmValue receiver, std::string_view method,
                                                 std::span<const VmValue> args, VmKeywordArgs kwargs) {
  return call_native_method(std::move(receiver), method, resolve_native_method(method), args, kwargs);
}

}  // namespace veln
