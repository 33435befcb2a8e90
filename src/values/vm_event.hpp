// VmEvent: one emitted event as the interpreter records it and the host
// bridge reports it (contract, event name, signer, caller, indexed data, data).
// Plain data; it does not validate its payload.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "values/vm_value.hpp"

namespace veln {

struct VmEvent {
  std::string contract;
  std::string event;
  VmValue signer;  // a string or None
  VmValue caller;  // a string or None
  std::vector<std::pair<std::string, VmValue>> data_indexed;
  std::vector<std::pair<std::string, VmValue>> data;
};

}  // namespace veln
