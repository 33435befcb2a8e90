// Host bindings: the dotted ids the module IR attaches to names and
// attributes that the system supplies (context values, time units,
// pseudo-modules, type markers). An id is resolved to a HostBindingId once,
// when the code is lowered; the value is built at run time from the running
// instance's context. Nothing here charges or reaches the host.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "values/vm_execution_context.hpp"
#include "values/vm_execution_error.hpp"
#include "values/vm_value.hpp"

namespace veln {

enum class HostBindingId : uint8_t {
  EnvNow, EnvBlockNum, EnvBlockHash, EnvChainId,
  ContextThis, ContextCaller, ContextSigner, ContextOwner, ContextSubmissionName, ContextEntry,
  ModuleZk, ModuleCrypto, ModuleRandom, ModuleHashlib, ModuleDatetime, ModuleImportlib,
  TimeSeconds, TimeMinutes, TimeHours, TimeDays, TimeWeeks,
  TimeDatetimeNew, TimeDatetimeStrptime, TimeTimedeltaNew, NumericDecimalNew, TypingAny,
  EventLogNew, StorageVariableNew, StorageHashNew, StorageForeignVariableNew, StorageForeignHashNew,
};

std::optional<HostBindingId> host_binding_from_id(std::string_view id);
// "unsupported host binding '{}'".
std::string unsupported_host_binding_message(std::string_view id);
// The value of a binding under `context`, built fresh.
VmResult<VmValue> host_binding_value(HostBindingId id, const VmExecutionContext& context);

}  // namespace veln
