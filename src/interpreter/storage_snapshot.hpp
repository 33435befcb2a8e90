// The storage snapshot of one module instance at the end of a run: the
// declared variables and hash entries the run wrote. Plain records; the host
// bridge turns them into Python.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "values/vm_value.hpp"

namespace veln {

struct VmVariableSnapshot {
  std::string binding;
  VmValue default_value;
  std::optional<VmValue> value;
};

struct VmHashSnapshot {
  std::string binding;
  VmValue default_value;
  std::map<std::string, VmValue> entries;  // normalised key text -> value
};

struct VmModuleStorageSnapshot {
  std::string module_name;
  std::vector<VmVariableSnapshot> variables;
  std::vector<VmHashSnapshot> hashes;
};

}  // namespace veln
