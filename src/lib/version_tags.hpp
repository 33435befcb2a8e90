// The version tags a module IR document must carry, which the runtime
// information reports too: one definition for the validator and the host
// bridge. Constants only.
#pragma once

#include <string_view>

namespace veln {

inline constexpr std::string_view kIrVersion = "veln_ir_v1";
inline constexpr std::string_view kVmProfile = "veln_vm_v1";
inline constexpr std::string_view kHostCatalogVersion = "veln_vm_v1_host_v1";

}  // namespace veln
