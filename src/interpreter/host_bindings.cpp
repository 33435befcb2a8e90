// The host binding table (see header).
#include "interpreter/host_bindings.hpp"

#include <array>

#include "interpreter_support/ir_argument_readers.hpp"
#include "lib/name_index.hpp"

namespace veln {
namespace {

constexpr auto kHostBindingNames = make_name_index(
    "env.now", "env.block_num", "env.block_hash", "env.chain_id", "context.this", "context.caller",
    "context.signer", "context.owner", "context.submission_name", "context.entry", "module.zk", "module.crypto",
    "module.random", "module.hashlib", "module.datetime", "module.importlib", "time.seconds", "time.minutes",
    "time.hours", "time.days", "time.weeks", "time.datetime.new", "time.datetime.strptime", "time.timedelta.new",
    "numeric.decimal.new", "typing.any", "event.log.new", "storage.variable.new", "storage.hash.new",
    "storage.foreign_variable.new", "storage.foreign_hash.new");

enum class Shape : uint8_t { Context, Builtin, Seconds, Marker };

struct BindingValue {
  Shape shape;
  std::string_view text;  // builtin or marker name
  int64_t seconds;
};

// One row per HostBindingId, in enum order.
constexpr std::array<BindingValue, kHostBindingNames.size()> kBindingValues = {{
    {Shape::Context, "", 0}, {Shape::Context, "", 0}, {Shape::Context, "", 0}, {Shape::Context, "", 0},
    {Shape::Context, "", 0}, {Shape::Context, "", 0}, {Shape::Context, "", 0}, {Shape::Context, "", 0},
    {Shape::Context, "", 0}, {Shape::Context, "", 0},
    {Shape::Builtin, "zk", 0}, {Shape::Builtin, "crypto", 0}, {Shape::Builtin, "random", 0},
    {Shape::Builtin, "hashlib", 0}, {Shape::Builtin, "datetime", 0}, {Shape::Builtin, "importlib", 0},
    {Shape::Seconds, "", 1}, {Shape::Seconds, "", 60}, {Shape::Seconds, "", 3600}, {Shape::Seconds, "", 86400},
    {Shape::Seconds, "", 604800},
    {Shape::Marker, "datetime.datetime", 0}, {Shape::Marker, "datetime.datetime", 0},
    {Shape::Marker, "datetime.timedelta", 0}, {Shape::Marker, "decimal", 0}, {Shape::Marker, "Any", 0},
    {Shape::Marker, "LogEvent", 0}, {Shape::Marker, "Variable", 0}, {Shape::Marker, "Hash", 0},
    {Shape::Marker, "ForeignVariable", 0}, {Shape::Marker, "ForeignHash", 0},
}};

VmResult<VmValue> context_value(HostBindingId id, const VmExecutionContext& c) {
  switch (id) {
    case HostBindingId::EnvNow: return c.now;
    case HostBindingId::EnvBlockNum: return c.block_num;
    case HostBindingId::EnvBlockHash: return c.block_hash;
    case HostBindingId::EnvChainId: return c.chain_id;
    case HostBindingId::ContextThis: return option_string_value(c.this_contract);
    case HostBindingId::ContextCaller: return option_string_value(c.caller);
    case HostBindingId::ContextSigner: return option_string_value(c.signer);
    case HostBindingId::ContextOwner: return option_string_value(c.owner);
    case HostBindingId::ContextSubmissionName: return option_string_value(c.submission_name);
    default: return option_entry_value(c.entry);
  }
}

}  // namespace

std::optional<HostBindingId> host_binding_from_id(std::string_view id) {
  const size_t at = kHostBindingNames.find(id);
  if (at == decltype(kHostBindingNames)::kNotFound) return std::nullopt;
  return static_cast<HostBindingId>(at);
}

std::string unsupported_host_binding_message(std::string_view id) {
  return "unsupported host binding '" + std::string(id) + "'";
}

VmResult<VmValue> host_binding_value(HostBindingId id, const VmExecutionContext& context) {
  const BindingValue& row = kBindingValues[static_cast<size_t>(id)];
  switch (row.shape) {
    case Shape::Context: return context_value(id, context);
    case Shape::Builtin: return VmValue::builtin(row.text);
    case Shape::Seconds: return VmValue::timedelta_seconds(row.seconds);
    case Shape::Marker: break;
  }
  return VmValue::type_marker(row.text);
}

}  // namespace veln
