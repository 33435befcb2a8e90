// Real contracts for a test host's cross-contract calls: each call builds a
// new instance of its target from the module IR kept here and calls it.
// Keeps no state beyond the modules, and must outlive the host's use of it.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

#include "interpreter/vm_instance.hpp"
#include "lib/json_value.hpp"
#include "lib/parse_module_ir.hpp"
#include "test_host.hpp"

namespace veln::testing {

class ContractShelf {
 public:
  // `entry` and the modules of `others` (contract name -> module IR).
  ContractShelf(const ModuleIr& entry, const JsonValue& others) {
    modules_.emplace(entry.module_name, std::make_shared<const ModuleIr>(entry));
    for (const auto& [name, ir] : others.as_object()) {
      modules_.emplace(name, std::make_shared<const ModuleIr>(*read_module_ir(ir.to_compact_json())));
    }
  }

  std::shared_ptr<const ModuleIr> module(std::string_view name) const { return modules_.find(name)->second; }

  void serve(TestHost& host) const {
    host.on_call_contract = [this, &host](VmContractCall call) -> VmResult<VmValue> {
      auto target = modules_.find(call.target.module());
      if (target == modules_.end()) return vm_error("no contract to call");
      VELN_TRY(VmInstance callee, VmInstance::new_with_host(target->second, {}, host, call.call_depth));
      return callee.call_function(host, call.function, std::move(call.args), std::move(call.kwargs), call.call_depth);
    };
  }

 private:
  std::map<std::string, std::shared_ptr<const ModuleIr>, std::less<>> modules_;
};

}  // namespace veln::testing
