// VmEvent: one emitted event as the interpreter records it and the host
// bridge reports it (contract, event name, signer, caller, indexed data, data).
// Plain data; it does not validate its payload.
#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <vector>

#include "values/vm_value.hpp"

namespace veln {

// The fields of one event in one block, indexed fields first, each part in
// schema order: at most one allocation per event however the schema mixes
// them. Each key is a str with the field's name, shared rather than copied.
struct VmEventFields {
  std::vector<VmDictPair> all;
  std::size_t indexed_count = 0;

  std::span<const VmDictPair> indexed() const { return std::span<const VmDictPair>(all).first(indexed_count); }
  std::span<const VmDictPair> data() const { return std::span<const VmDictPair>(all).subspan(indexed_count); }
};

// The texts are str values: the events of one instance share them.
struct VmEvent {
  VmValue contract;  // a str
  VmValue event;     // a str: the event's name
  VmValue signer;  // a string or None
  VmValue caller;  // a string or None
  VmEventFields fields;
};

}  // namespace veln
