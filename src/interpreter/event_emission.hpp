// Events of contract code: the payload of an "event.log.emit" call, its
// check against the declared schema, the storage-write charge of every
// field, and the event record handed to the host; also the index
// descriptor of "event.indexed". Events are only handed to the host here,
// never kept.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "interpreter/vm_host.hpp"
#include "values/vm_execution_context.hpp"
#include "values/vm_execution_error.hpp"
#include "values/vm_value.hpp"

namespace veln {

// The first positional argument (taken over), else a dict of the keyword
// arguments in order, else None.
VmResult<VmValue> event_payload_from_args(std::span<VmValue> args, VmKwargList kwargs);

// The signer and caller values the events of one instance carry, remade
// only when the context's texts differ from the last ones: the events of a
// call share two values instead of making two each.
class EventParties {
 public:
  const VmValue& signer(const std::optional<std::string>& text) { return refreshed(signer_, text); }
  const VmValue& caller(const std::optional<std::string>& text) { return refreshed(caller_, text); }

 private:
  static const VmValue& refreshed(VmValue& held, const std::optional<std::string>& text);
  VmValue signer_;
  VmValue caller_;
};

// Splits `payload` by the definition's schema, charges each field as a
// storage write under its field name (indexed fields first), then emits the
// event as contract `this` (else `module_name`) with the context's signer
// and caller (as `parties` hold them). A failed charge emits nothing.
VmStatus emit_declared_event(const VmEventDefinition& definition, VmValue payload,
                             const VmExecutionContext& context, std::string_view module_name,
                             EventParties& parties, VmHost& host);

// {"type": marker or tuple of markers, "idx": True}.
VmResult<VmValue> event_index_descriptor(VmArgList args);

}  // namespace veln
