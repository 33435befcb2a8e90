// libFuzzer target: any byte string through module IR reading and
// validation, and through free JSON reading and re-serialisation. Must never
// crash, leak or hang; a re-serialised tree must read back to itself.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "lib/json_reader.hpp"
#include "lib/module_ir.hpp"
#include "lib/parse_module_ir.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  auto module = veln::parse_module_ir(text);
  if (module.ok() && !veln::read_module_ir(text).ok()) std::abort();
  auto value = veln::read_json_value(text);
  if (value.ok()) {
    const std::string compact = value->to_compact_json();
    auto again = veln::read_json_value(compact);
    // Non-finite floats cannot come from text, so the tree reads back equal.
    if (!again.ok() || !(*again == *value)) std::abort();
  }
  return 0;
}
