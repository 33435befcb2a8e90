// Events of contract code: the payload of an "event.log.emit" call, its
// check against the declared schema, the storage-write charge of every
// field, and the event record handed to the host; also the index
// descriptor of "event.indexed". Events are only handed to the host here,
// never kept.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "interpreter/vm_host.hpp"
#include "interpreter_support/event_payloads.hpp"
#include "values/vm_execution_context.hpp"
#include "values/vm_execution_error.hpp"
#include "values/vm_limits.hpp"
#include "values/vm_value.hpp"

namespace veln {

// The first positional argument (taken over), else a dict of the keyword
// arguments in order, else None.
VmResult<VmValue> event_payload_from_args(std::span<VmValue> args, VmKwargList kwargs);

// The contract, event name, signer and caller values the events of one
// instance carry, each remade only when its text differs from the last one:
// the events of a call share four values instead of making four each.
class EventParties {
 public:
  const VmValue& contract(std::string_view text) { return contract_.refreshed(text); }
  const VmValue& event(std::string_view text) { return event_.refreshed(text); }
  const VmValue& signer(const std::optional<std::string>& text) { return signer_.refreshed(text); }
  const VmValue& caller(const std::optional<std::string>& text) { return caller_.refreshed(text); }

 private:
  // A str (or None) with a view of its text, which cannot change while held.
  struct Held {
    VmValue value;
    std::string_view text;
    bool is_text = false;

    const VmValue& refreshed(std::string_view next) {
      if (!is_text || text.size() != next.size() || std::memcmp(text.data(), next.data(), next.size()) != 0) {
        remake(next);
      }
      return value;
    }
    const VmValue& refreshed(const std::optional<std::string>& next) {
      if (next) return refreshed(std::string_view(*next));
      if (is_text) remake_none();
      return value;
    }
    void remake(std::string_view next);
    void remake_none();
  };
  Held contract_;
  Held event_;
  Held signer_;
  Held caller_;
};

// Splits `payload` by the definition's schema, charges each field as a
// storage write under its field name (indexed fields first), then emits the
// event as contract `this` (else `module_name`) with the context's signer
// and caller (as `parties` hold them). A failed charge emits nothing.
VmStatus emit_declared_event(const VmEventDefinition& definition, VmValue payload,
                             const VmExecutionContext& context, std::string_view module_name,
                             EventParties& parties, VmHost& host);

// As emit_declared_event, for a payload given as its distinct str keys and
// their values (a dict display lowering left unbuilt).
VmStatus emit_event_fields(const VmEventDefinition& definition, std::span<const VmValue> keys,
                           std::span<VmValue> values, const VmExecutionContext& context,
                           std::string_view module_name, EventParties& parties, EventFieldOrder& order,
                           VmHost& host);

// The limits a dict of these keys and values (as many of each) is held to
// once they are all in it: one unit and one level over its entries.
inline VmStatus event_display_limits(std::span<const VmValue> keys, std::span<const VmValue> values) {
  uint64_t units = 1;
  uint32_t depth = 0;
  for (std::size_t i = 0; i < values.size(); ++i) {
    if (__builtin_add_overflow(units, keys[i].units(), &units) ||
        __builtin_add_overflow(units, values[i].units(), &units)) {
      units = UINT64_MAX;
    }
    depth = std::max({depth, keys[i].depth(), values[i].depth()});
  }
  return vm_check_limits(units, uint64_t{depth} + 1);
}

// {"type": marker or tuple of markers, "idx": True}.
VmResult<VmValue> event_index_descriptor(VmArgList args);

}  // namespace veln
