// Receiver-kind dispatch of native method calls (see header).
#include "interpreter_support/native_methods.hpp"

#include <array>
#include <string>
#include <utility>

#include "interpreter_support/byte_methods.hpp"
#include "interpreter_support/container_methods.hpp"
#include "interpreter_support/string_methods.hpp"

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

}  // namespace

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
