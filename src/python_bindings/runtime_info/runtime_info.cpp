// Builds the runtime-information text from the version tags. The members are
// listed here already in ascending key order, which the compact form requires;
// none of the tags needs JSON escaping.
#include "python_bindings/runtime_info/runtime_info.hpp"

namespace veln {

std::string runtime_info_json_text() {
  std::string text;
  text.reserve(192);
  text += "{\"host_catalog_version\":\"";
  text += kHostCatalogVersion;
  text += "\",\"ir_version\":\"";
  text += kIrVersion;
  text += "\",\"supported_bytecode_versions\":[\"";
  text += kBytecodeVersion;
  text += "\"],\"supported_gas_schedules\":[\"";
  text += kGasSchedule;
  text += "\"],\"vm_profile\":\"";
  text += kVmProfile;
  text += "\"}";
  return text;
}

bool supports_execution_policy(std::string_view bytecode_version, std::string_view gas_schedule) {
  return bytecode_version == kBytecodeVersion && gas_schedule == kGasSchedule;
}

}  // namespace veln
