// Events of contract code: the payload of an "event.log.emit" call, its
// check against the declared schema, the storage-write charge of every
// field, and the event record handed to the host; also the index
// descriptor of "event.indexed". Events are only handed to the host here,
// never kept.
#pragma once

#include <string_view>

#include "interpreter/vm_host.hpp"
#include "values/vm_execution_context.hpp"
#include "values/vm_execution_error.hpp"
#include "values/vm_value.hpp"

namespace veln {

// The first positional argument, else a dict of the keyword arguments in
// order, else None.
VmResult<VmValue> event_payload_from_args(VmArgList args, VmKwargList kwargs);

// Splits `payload` by the definition's schema, charges each field as a
// storage write under its field name (indexed fields first), then emits the
// event as contract `this` (else `module_name`) with the context's signer
// and caller. A failed charge emits nothing.
VmStatus emit_declared_event(const VmEventDefinition& definition, VmValue payload,
                             const VmExecutionContext& context, std::string_view module_name, VmHost& host);

// {"type": marker or tuple of markers, "idx": True}.
VmResult<VmValue> event_index_descriptor(VmArgList args);

}  // namespace veln
