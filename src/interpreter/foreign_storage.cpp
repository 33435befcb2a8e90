// Foreign storage references. Placeholder: the reads and the constructor
// are not served yet; each refuses with a plain message.
#include "interpreter/foreign_storage.hpp"

#include <string>

namespace veln::foreign_storage {

VmResult<VmValue> new_reference(std::string_view kind_name, VmArgList, VmKwargList) {
  return vm_error("unsupported system call 'storage." + std::string(kind_name) + ".new'");
}

VmResult<VmValue> call_method(const VmValue&, std::string_view method, VmArgList, VmKwargList, VmHost&) {
  return vm_error("unsupported foreign storage method '" + std::string(method) + "'");
}

VmResult<VmValue> read_hash(const VmValue&, const VmValue&, VmHost&) {
  return vm_error("unsupported foreign storage read");
}

}  // namespace veln::foreign_storage
