// What lowering decides once about a system-call node: the served id (or
// the host route), the node fields the id reads after its fixed charge, the
// target of "contract.export_call" and the write-back place of
// "random.shuffle". Plain data inside the lowered code; it runs nothing.
#pragma once

#include <cstdint>
#include <optional>

#include "interpreter/syscall_ids.hpp"
#include "lib/ir_node_kinds.hpp"

namespace veln {

// The keys of an event's dict display whose values lowering left on the
// stack in their place: constants[first, first + count), distinct strs.
inline constexpr uint32_t kMaxEventFieldKeys = 8;
struct EventFieldKeys {
  uint32_t first = 0;
  uint8_t count = 0;
};

struct SyscallSite {
  VmSyscallRoute route;
  std::optional<uint64_t> fixed_charge;  // the id's fixed charge, made first
  uint32_t id_text = 0;  // texts[]: the id as written (the host's name for it)
  // The field read after the fixed charge ("receiver_binding",
  // "event_binding", "function_name"), or, when a field the id reads is
  // missing or mistyped, the first such reader's message (field_ok false).
  bool field_ok = true;
  uint32_t field = 0;         // texts[]
  uint32_t event_global = 0;  // "event.log.emit": the binding's module global
  EventFieldKeys event_fields;  // "event.log.emit" given a display's values (count > 0)
  uint32_t storage_binding = 0;  // storage ids: the binding's number (LoweredModule::storage_bindings)
  // "contract.export_call": the contract_target object as read at lowering.
  ContractTargetKind target_kind = ContractTargetKind::StaticImport;
  uint32_t target_name = 0;   // texts[]: the binding or factory text
  uint32_t source_entry = 0;  // pc of the code evaluating "source"
  // "random.shuffle": the first argument resolved as an assignment target,
  // its cells on the stack above the call's arguments.
  bool has_target = false;
  uint32_t target = 0;  // targets[]
};

}  // namespace veln
