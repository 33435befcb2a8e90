// Placeholder until the str, bytes and bytearray method tables land.
#include "interpreter_support/string_methods.hpp"

#include <string>

namespace veln {
namespace {

VmExecutionError unknown(std::string_view kind, std::string_view method) {
  return vm_error("unsupported " + std::string(kind) + " method '" + std::string(method) + "()'");
}

}  // namespace

VmResult<NativeMethodOutcome> call_str_method(VmValue, std::string_view method, std::vector<VmValue>) {
  return unknown("str", method);
}
VmResult<NativeMethodOutcome> call_bytes_method(VmValue, std::string_view method, std::vector<VmValue>) {
  return unknown("bytes", method);
}
VmResult<NativeMethodOutcome> call_bytearray_method(VmValue, std::string_view method, std::vector<VmValue>) {
  return unknown("bytearray", method);
}

}  // namespace veln
