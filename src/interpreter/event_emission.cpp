// Event payloads, their charges and the emitted record.
#include "interpreter/event_emission.hpp"

#include <string>
#include <utility>
#include <vector>

#include "interpreter_support/builtin_names.hpp"
#include "interpreter_support/event_payloads.hpp"

namespace veln {
namespace {

// Indexed fields first, as the block holds them.
VmStatus charge_fields(const VmEventFields& fields, VmHost& host) {
  for (const VmDictPair& field : fields.all) VELN_CHECK(host.charge_storage_write(field.key.text(), field.value));
  return Ok{};
}

VmStatus emit_fields(const VmEventDefinition& definition, VmEventFields fields, const VmExecutionContext& context,
                     std::string_view module_name, EventParties& parties, VmHost& host) {
  VELN_CHECK(charge_fields(fields, host));
  VmEvent event{parties.contract(context.this_contract ? std::string_view(*context.this_contract) : module_name),
                parties.event(definition.event_name),
                parties.signer(context.signer),
                parties.caller(context.caller),
                std::move(fields)};
  return host.emit_event(std::move(event));
}

}  // namespace

VmResult<VmValue> event_payload_from_args(std::span<VmValue> args, VmKwargList kwargs) {
  if (!args.empty()) return std::move(args.front());
  if (kwargs.empty()) return VmValue::none();
  std::vector<VmDictPair> pairs;
  pairs.reserve(kwargs.size());
  for (VmKeywordArg& kw : kwargs) {
    VELN_TRY(VmValue key, VmValue::make_str(std::move(kw.name)));
    pairs.push_back(VmDictPair{std::move(key), std::move(kw.value)});
  }
  return VmValue::make_dict(std::move(pairs));
}

void EventParties::Held::remake(std::string_view next) {
  value = VmValue::str(next);
  text = value.text();
  is_text = true;
}

void EventParties::Held::remake_none() {
  value = VmValue::none();
  text = {};
  is_text = false;
}

VmStatus emit_declared_event(const VmEventDefinition& definition, VmValue payload,
                             const VmExecutionContext& context, std::string_view module_name,
                             EventParties& parties, VmHost& host) {
  VELN_TRY(VmEventFields fields, normalize_event_payload(definition.params, std::move(payload)));
  return emit_fields(definition, std::move(fields), context, module_name, parties, host);
}

VmStatus emit_event_fields(const VmEventDefinition& definition, std::span<const VmValue> keys,
                           std::span<VmValue> values, const VmExecutionContext& context,
                           std::string_view module_name, EventParties& parties, EventFieldOrder& order,
                           VmHost& host) {
  VELN_TRY(VmEventFields fields, order.normalize(definition.params, keys, values));
  return emit_fields(definition, std::move(fields), context, module_name, parties, host);
}

VmResult<VmValue> event_index_descriptor(VmArgList args) {
  VmValue type;
  if (args.size() == 1) {
    type = coerce_type_marker(std::move(args.front()));
  } else {
    for (VmValue& arg : args) arg = coerce_type_marker(std::move(arg));
    VELN_TRY(type, VmValue::make_tuple(std::move(args)));
  }
  std::vector<VmDictPair> pairs;
  pairs.push_back(VmDictPair{VmValue::str("type"), std::move(type)});
  pairs.push_back(VmDictPair{VmValue::str("idx"), VmValue::boolean(true)});
  return VmValue::make_dict(std::move(pairs));
}

}  // namespace veln
