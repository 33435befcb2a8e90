// libFuzzer target: module IR documents through instance building and the
// calls of every function (without arguments and with one), with the
// in-memory test host under a small budget per step, so every run ends.
// Must never crash, leak or hang; contract failures are ordinary results.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "interpreter/vm_instance.hpp"
#include "lib/parse_module_ir.hpp"
#include "test_host.hpp"

namespace {

constexpr uint64_t kBudgetPerStep = 200000;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  auto module = veln::parse_module_ir(text);
  if (!module.ok()) return 0;
  veln::testing::TestHost host;
  host.budget = kBudgetPerStep;
  auto instance = veln::VmInstance::new_with_host(std::move(module).value(), {}, host);
  if (!instance.ok()) return 0;
  const size_t functions = instance->module().functions.size();
  for (size_t i = 0; i < functions && i < 8; ++i) {
    const std::string name = instance->module().functions[i].name;
    host.budget = host.raw_cost + kBudgetPerStep;
    (void)instance->call_function(host, name, {}, {});
    host.budget = host.raw_cost + kBudgetPerStep;
    (void)instance->call_function(host, name, {veln::VmValue::integer(3)}, {});
  }
  (void)instance->storage_snapshot();
  return 0;
}
