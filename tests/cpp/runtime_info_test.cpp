#include "python_bindings/runtime_info/runtime_info.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace veln {
namespace {

TEST(RuntimeInfo, TextIsCompactWithSortedKeys) {
  EXPECT_EQ(runtime_info_json_text(),
            "{\"host_catalog_version\":\"veln_vm_v1_host_v1\",\"ir_version\":\"veln_ir_v1\","
            "\"supported_bytecode_versions\":[\"vvm-1\"],\"supported_gas_schedules\":[\"vvm-gas-1\"],"
            "\"vm_profile\":\"veln_vm_v1\"}");
}

TEST(RuntimeInfo, TextIsStable) { EXPECT_EQ(runtime_info_json_text(), runtime_info_json_text()); }

struct PolicyCase {
  std::string bytecode_version;
  std::string gas_schedule;
  bool supported;
};

TEST(RuntimeInfo, OnlyTheExactPolicyIsSupported) {
  const std::vector<PolicyCase> cases = {
      {"vvm-1", "vvm-gas-1", true},
      {"VVM-1", "vvm-gas-1", false},
      {"vvm-1", "VVM-GAS-1", false},
      {"vvm-1 ", "vvm-gas-1", false},
      {"vvm-1", "vvm-gas-1 ", false},
      {std::string("vvm-1\0", 6), "vvm-gas-1", false},
      {"vvm-1", std::string("vvm-gas-1\0", 10), false},
      {"vvm-1", "", false},
      {"", "vvm-gas-1", false},
      {"vvm-gas-1", "vvm-1", false},
      {"vvm-2", "vvm-gas-1", false},
      {"vvm-1", "vvm-gas-2", false},
  };
  for (const PolicyCase& c : cases) {
    EXPECT_EQ(supports_execution_policy(c.bytecode_version, c.gas_schedule), c.supported)
        << c.bytecode_version << " / " << c.gas_schedule;
  }
}

}  // namespace
}  // namespace veln
