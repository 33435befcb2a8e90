// VmExecutionContext: the context of one contract call (who runs, who called,
// who signed, the entry point, time and chain data). Plain data, copied field
// by field; it holds no references into the interpreter or the host.
#pragma once

#include <optional>
#include <string>
#include <utility>

#include "values/vm_value.hpp"

namespace veln {

struct VmExecutionContext {
  std::optional<std::string> this_contract;  // the executing contract ("this")
  std::optional<std::string> caller;
  std::optional<std::string> signer;
  std::optional<std::string> owner;
  std::optional<std::pair<std::string, std::string>> entry;  // (module, function)
  std::optional<std::string> submission_name;
  VmValue now;
  VmValue block_num;
  VmValue block_hash;
  VmValue chain_id;
};

}  // namespace veln
