// Receiver-kind dispatch of native method calls (see header).
#include "interpreter_support/native_methods.hpp"

#include <array>
#include <string>
#include <utility>

#include "interpreter_support/byte_methods.hpp"
#include "interpreter_support/container_methods.hpp"
#include "interpreter_support/string_methods.hpp"
#include "lib/name_index.hpp"

namespace veln {
namespace {

using KindMethods = VmResult<NativeMethodOutcome> (*)(VmValue, std::string_view, std::vector<VmValue>);

// One entry per VmKind in declared order; null for kinds without methods.
constexpr std::array<KindMethods, kVmKindCount> kMethodTables = [] {
  std::array<KindMethods, kVmKindCount> t{};
  t[static_cast<size_t>(VmKind::String)] = &call_str_method;
  t[static_cast<size_t>(VmKind::Bytes)] = &call_bytes_method;
  t[static_cast<size_t>(VmKind::ByteArray)] = &call_bytearray_method;
  t[static_cast<size_t>(VmKind::Set)] = &call_set_method;
  t[static_cast<size_t>(VmKind::FrozenSet)] = &call_set_method;
  t[static_cast<size_t>(VmKind::List)] = &call_list_method;
  t[static_cast<size_t>(VmKind::Dict)] = &call_dict_method;
  return t;
}();

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

VmResult<NativeMethodOutcome> call_native_method(VmValue receiver, std::string_view method,
                                                 std::vector<VmValue> args, VmKeywordArgs kwargs) {
  if (!kwargs.empty()) {
    return vm_error("native method '" + std::string(method) + "()' does not accept keyword arguments");
  }
  const KindMethods methods = kMethodTables[static_cast<size_t>(receiver.kind())];
  if (!methods) {
    return vm_error("value of type " + std::string(receiver.type_name()) + " has no native method '" +
                    std::string(method) + "()'");
  }
  return methods(std::move(receiver), method, std::move(args));
}

}  // namespace veln
