// libFuzzer target: deployment-artifact validation on arbitrary documents.
// The first byte picks whether an input source is given, so the optional
// check is reached too. Must never crash, leak or hang.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "artifacts/contract_artifacts.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::optional<std::string_view> input_source;
  if (size > 0 && (data[0] & 1) != 0) input_source = std::string_view("# source\n");
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  auto r = veln::validate_contract_artifacts_json("con_token", text, input_source, "veln_vm_v1");
  (void)r;
  return 0;
}
