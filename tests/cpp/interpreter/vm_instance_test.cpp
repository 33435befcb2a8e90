// The instance surface the host bridge uses besides calls: the context it
// starts with, storage snapshots and peeks of locally held storage.
#include <gtest/gtest.h>

#include <string>

#include "interpreter/vm_instance.hpp"
#include "lib/parse_module_ir.hpp"
#include "test_host.hpp"

namespace veln {
namespace {

// A module declaring a variable with a default and a hash, and nothing else.
constexpr const char* kModule =
    R"({"ir_version":"veln_ir_v1","vm_profile":"veln_vm_v1","host_catalog_version":"veln_vm_v1_host_v1",)"
    R"("module_name":"con_store","source_hash":"aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa",)"
    R"("imports":[],"functions":[],"module_body":[],"host_dependencies":[],"global_declarations":[)"
    R"({"node":"storage_decl","span":[1,0,1,1],"name":"total","storage_type":"Variable",)"
    R"("syscall_id":"storage.variable.new","args":[],"keywords":[{"node":"keyword","span":[1,0,1,1],)"
    R"("arg":"default_value","value":{"node":"constant","span":[1,0,1,1],"value_type":"int","value":7}}]},)"
    R"({"node":"storage_decl","span":[1,0,1,1],"name":"balances","storage_type":"Hash",)"
    R"("syscall_id":"storage.hash.new","args":[],"keywords":[]}]})";

VmInstance build(testing::TestHost& host) {
  Result<ModuleIr, std::string> module = parse_module_ir(kModule);
  EXPECT_TRUE(module.ok()) << module.error();
  VmResult<VmInstance> instance = VmInstance::new_with_host(std::move(module).value(), {}, host);
  EXPECT_TRUE(instance.ok()) << instance.error().message;
  return std::move(instance).value();
}

TEST(VmInstance, ContextThisDefaultsToTheModuleName) {
  testing::TestHost host;
  VmInstance instance = build(host);
  EXPECT_EQ(instance.context().this_contract, "con_store");
  VmExecutionContext other;
  other.caller = "alice";
  instance.set_context(other);
  EXPECT_EQ(instance.context().caller, "alice");
  EXPECT_FALSE(instance.context().this_contract.has_value());
}

TEST(VmInstance, UnwrittenStorageIsNotInTheSnapshot) {
  testing::TestHost host;
  VmInstance instance = build(host);
  EXPECT_EQ(host.raw_cost, 32u);  // the default's constant
  const VmModuleStorageSnapshot snapshot = instance.storage_snapshot();
  EXPECT_EQ(snapshot.module_name, "con_store");
  EXPECT_TRUE(snapshot.variables.empty());
  EXPECT_TRUE(snapshot.hashes.empty());
}

TEST(VmInstance, PeeksSeeOnlyLocallyHeldValues) {
  testing::TestHost host;
  VmInstance instance = build(host);
  EXPECT_FALSE(instance.peek_variable_value("total").has_value());
  EXPECT_FALSE(instance.peek_variable_value("missing").has_value());
  VmResult<std::optional<VmValue>> entry = instance.peek_hash_entry("balances", VmValue::str("alice"));
  ASSERT_TRUE(entry.ok());
  EXPECT_FALSE(entry->has_value());
  std::vector<VmValue> parts(17, VmValue::integer(1));
  VmResult<std::optional<VmValue>> bad = instance.peek_hash_entry("balances", *VmValue::make_tuple(parts));
  ASSERT_FALSE(bad.ok());
  EXPECT_EQ(bad.error().message, "Too many dimensions (17) for hash. Max is 16");
  EXPECT_TRUE(host.host_calls.empty());
}

}  // namespace
}  // namespace veln
