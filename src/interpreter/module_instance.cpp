// VmInstance: building an instance (validation, indexing, static imports,
// global declarations, the module body), the traced entry call, snapshots
// and peeks. Declaration and module-body expressions run against a copy of
// the module globals as their locals.
#include <algorithm>
#include <string>
#include <utility>

#include "interpreter/call_depth.hpp"
#include "interpreter/function_calls.hpp"
#include "interpreter/lower_module.hpp"
#include "interpreter/lowering.hpp"
#include "interpreter/native_stack.hpp"
#include "interpreter/storage_declarations.hpp"
#include "interpreter/trace.hpp"
#include "interpreter/vm_instance.hpp"
#include "interpreter/vm_instance_state.hpp"
#include "interpreter/vm_run.hpp"
#include "interpreter_support/ir_argument_readers.hpp"
#include "interpreter_support/storage_keys.hpp"
#include "lib/module_validation.hpp"

namespace veln {

const VmValue* VmInstanceState::find_global(std::string_view name) const {
  const std::optional<uint32_t> index = lowered.names.find(name);
  if (!index || *index >= globals.size() || !globals[*index].bound) return nullptr;
  return &globals[*index].value;
}

void VmInstanceState::set_global(std::string_view name, VmValue value) {
  Slot& slot = global(lowered.names.intern(name));
  slot.value = std::move(value);
  slot.bound = true;
}

// Lowering stays out of the frames that run the code: a build whose code
// calls back nests those frames once per build level.
[[gnu::noinline]] uint32_t lower_module_expression(VmInstanceState& s, const JsonValue& node) {
  Lowerer lowerer(s.lowered, s.module_code, CodeUnit::Module, "");
  const uint32_t entry = lowerer.expression_entry(node);
  s.globals.resize(s.lowered.names.size());
  return entry;
}

VmResult<VmValue> eval_module_expression(VmRun& run, const JsonValue& node) {
  return run_module_expression(run, lower_module_expression(run.instance, node));
}

namespace {

// One handler per declaration kind, each out of line, so that the frame a
// build level keeps while a declaration's value runs is that kind's only.

[[gnu::noinline]] VmStatus declare_event(VmRun& run, const JsonValue& object) {
  VELN_TRY(std::string_view name, required_string(object, "name"));
  VELN_TRY(std::string_view event_name, required_string(object, "event_name"));
  VELN_TRY(const JsonValue* params, required_value(object, "params"));
  VELN_TRY(VmValue schema, eval_module_expression(run, *params));
  VELN_TRY(VmValue event,
           VmValue::make_event_ref(VmEventDefinition{std::string(name), std::string(event_name), std::move(schema)}));
  run.instance.set_global(name, std::move(event));
  return Ok{};
}

// Variables and hashes each out of line: only the declared kind's result
// stays on the path while its default value runs.
[[gnu::noinline]] VmStatus declare_variable(const StorageDeclarationArgs& declaration, std::string_view name,
                                            std::string_view storage_type) {
  VELN_TRY(VariableState state, build_variable_state(name, storage_type, declaration));
  VmInstanceState& s = declaration.run.instance;
  s.variables.insert_or_assign(std::string(name), std::move(state));
  return Ok{};
}

[[gnu::noinline]] VmStatus declare_hash(const StorageDeclarationArgs& declaration, std::string_view name,
                                        std::string_view storage_type) {
  VELN_TRY(HashState state, build_hash_state(name, storage_type, declaration));
  VmInstanceState& s = declaration.run.instance;
  s.forget_entry_keys();
  s.hashes.insert_or_assign(std::string(name), std::move(state));
  return Ok{};
}

[[gnu::noinline]] VmStatus unsupported_storage(const StorageDeclarationArgs&, std::string_view,
                                               std::string_view storage_type) {
  return vm_error("unsupported storage declaration type '" + std::string(storage_type) + "'");
}

[[gnu::noinline]] void bind_storage_ref(VmInstanceState& s, std::string_view name, std::string_view storage_type) {
  s.set_global(name, VmValue::storage_ref(VmStorageRef{std::string(name), std::string(storage_type)}));
}

[[gnu::noinline]] VmStatus declare_storage(VmRun& run, const JsonValue& object) {
  VELN_TRY(std::string_view name, required_string(object, "name"));
  VELN_TRY(std::string_view storage_type, required_string(object, "storage_type"));
  VELN_TRY(std::span<const JsonValue> args, required_array(object, "args"));
  VELN_TRY(std::span<const JsonValue> keywords, required_array(object, "keywords"));
  if (storage_type == "Variable" || storage_type == "Hash") VELN_CHECK(check_declared_storage_name(name));
  const StorageDeclarationArgs declaration{run, args, keywords};
  const bool variable = storage_type == "Variable" || storage_type == "ForeignVariable";
  const bool hash = storage_type == "Hash" || storage_type == "ForeignHash";
  VELN_CHECK((variable ? declare_variable : hash ? declare_hash : unsupported_storage)(declaration, name, storage_type));
  bind_storage_ref(run.instance, name, storage_type);
  return Ok{};
}

[[gnu::noinline]] VmStatus declare_binding(VmRun& run, const JsonValue& object) {
  VELN_TRY(std::string_view name, required_string(object, "name"));
  VELN_TRY(const JsonValue* value, required_value(object, "value"));
  VELN_TRY(VmValue bound, eval_module_expression(run, *value));
  run.instance.set_global(name, std::move(bound));
  return Ok{};
}

struct DeclarationKind {
  std::string_view node;
  VmStatus (*declare)(VmRun&, const JsonValue&);
};
constexpr DeclarationKind kDeclarationKinds[] = {
    {"event_decl", declare_event},
    {"storage_decl", declare_storage},
    {"binding_decl", declare_binding},
};

[[gnu::noinline]] VmStatus unsupported_declaration(std::string_view kind) {
  return vm_error("unsupported global declaration node '" + std::string(kind) + "'");
}

VmStatus declare(VmRun& run, const JsonValue& declaration) {
  VELN_TRY(const JsonValue* object, as_object(declaration, "global declaration"));
  VELN_TRY(std::string_view kind, required_string(*object, "node"));
  for (const DeclarationKind& known : kDeclarationKinds) {
    if (known.node == kind) return known.declare(run, *object);
  }
  return unsupported_declaration(kind);
}

// The module body lowered, with a copy of the module globals as its scope
// (out of line for the same reason as lower_module_expression).
struct ModuleBodyScope {
  uint32_t entry = 0;
  std::vector<Slot> scope_base;
};
[[gnu::noinline]] ModuleBodyScope lower_module_body(VmInstanceState& s) {
  Lowerer lowerer(s.lowered, s.module_code, CodeUnit::Module, "");
  ModuleBodyScope scope;
  scope.entry = lowerer.block_entry(s.module->module_body);
  s.globals.resize(s.lowered.names.size());
  scope.scope_base = s.globals;
  return scope;
}

// Runs the module body in a copy of the module globals; a normal end makes
// that scope the module globals.
[[gnu::noinline]] VmStatus run_module_body(VmRun& run) {
  VmInstanceState& s = run.instance;
  if (s.module->module_body.empty()) return Ok{};
  ModuleBodyScope scope = lower_module_body(s);
  const LoweredCode& code = s.module_code;
  const uint32_t n = code.slot_count();
  ArenaCells<Slot> slots(run.arena, n);
  for (uint32_t i = 0; i < n; ++i) slots.get()[i] = s.globals[code.slot_globals[i]];
  VELN_TRY(VmValue ignored, run_code(run, code, scope.entry, slots.get()));
  (void)ignored;
  for (uint32_t i = 0; i < n; ++i) scope.scope_base[code.slot_globals[i]] = slots.get()[i];
  // Functions the body called were lowered meanwhile, and their names are
  // globals too (unbound).
  scope.scope_base.resize(std::max(s.globals.size(), scope.scope_base.size()));
  s.globals = std::move(scope.scope_base);
  return Ok{};
}

std::string trace_subject(const VmInstanceState& s, std::string_view function) {
  std::string text = s.module_name();
  text.append(".").append(function);
  return text;
}

// A result whose display text would pass the limit of a text is traced with
// the size message in its place: tracing never builds more, nor changes the
// call's outcome.
std::string traced_result(const VmValue& result) {
  VmResult<std::string> text = result.bounded_python_repr();
  if (!text.ok()) return std::string(kVmSizeMessage);
  return std::move(*text);
}

}  // namespace

VmInstance::VmInstance(std::unique_ptr<VmInstanceState> state) : state_(std::move(state)) {}
VmInstance::VmInstance(VmInstance&&) noexcept = default;
VmInstance& VmInstance::operator=(VmInstance&&) noexcept = default;
VmInstance::~VmInstance() = default;

VmResult<VmInstance> VmInstance::new_with_host(ModuleIr module, VmExecutionContext context, VmHost& host) {
  return new_with_host(std::make_shared<const ModuleIr>(std::move(module)), std::move(context), host, 0);
}

namespace {

// Everything a build does before its first declaration, out of line so the
// frame each build level keeps holds only the run.
[[gnu::noinline]] VmResult<std::unique_ptr<VmInstanceState>> start_build(std::shared_ptr<const ModuleIr> module,
                                                                         VmExecutionContext context,
                                                                         uint32_t active_calls) {
  // A module the reader has validated is not validated again.
  if (!module->validated) {
    if (ValidationStatus valid = validate_module_ir(*module); !valid.ok()) return vm_error(valid.error());
  }
  // A build counts as one active call while it runs: its module body, a
  // declaration's value or an event's parameters may call a contract whose
  // own build calls back, a chain no named call would ever see.
  if (active_calls >= kMaxActiveCalls || native_stack_below(native_stack_floor())) {
    return recursion_limit();
  }
  auto state = std::make_unique<VmInstanceState>();
  VmInstanceState& s = *state;
  s.module = std::move(module);
  index_module_functions(*s.module, s.lowered);
  s.context = std::move(context);
  if (!s.context.this_contract) s.context.this_contract = s.module->module_name;
  s.trace = VmTraceFlags::from_environment();
  s.globals.resize(s.lowered.names.size());
  for (const ImportIr& import : s.module->imports) {
    s.set_global(import.alias ? *import.alias : import.module,
                 VmValue::contract_handle(VmContractHandle{import.module, "static_import"}));
  }
  return state;
}

}  // namespace

VmResult<VmInstance> VmInstance::new_with_host(std::shared_ptr<const ModuleIr> module, VmExecutionContext context,
                                               VmHost& host, uint32_t active_calls) {
  VELN_TRY(std::unique_ptr<VmInstanceState> state, start_build(std::move(module), std::move(context), active_calls));
  state->watch_recorded_writes(host);
  VmRun run(*state, host, active_calls + 1);
  for (const JsonValue& declaration : state->module->global_declarations) VELN_CHECK(declare(run, declaration));
  VELN_CHECK(run_module_body(run));
  return VmInstance(std::move(state));
}

VmResult<VmValue> VmInstance::call_function(VmHost& host, std::string_view function, VmArgList args,
                                            VmKwargList kwargs) {
  return call_function(host, function, std::move(args), std::move(kwargs), 0);
}

VmResult<VmValue> VmInstance::call_function(VmHost& host, std::string_view function, VmArgList args,
                                            VmKwargList kwargs, uint32_t active_calls) {
  VmInstanceState& s = *state_;
  s.trace = VmTraceFlags::from_environment();
  const bool trace_calls = s.trace.calls;
  if (trace_calls) {
    std::string line = "[vm-call] enter " + trace_subject(s, function) + " caller=";
    option_string_value(s.context.caller).append_python_repr(line);
    line += " signer=";
    option_string_value(s.context.signer).append_python_repr(line);
    write_trace_line(line);
  }
  const bool set_entry = !s.context.entry.has_value();
  if (set_entry) s.context.entry.emplace(s.module_name(), std::string(function));
  VmResult<VmValue> result = [&]() {
    VmRun run(s, host, active_calls);
    return call_named_function(run, function, args, kwargs);
  }();
  if (set_entry) s.context.entry.reset();
  if (trace_calls) {
    std::string line;
    if (result.ok()) {
      line = "[vm-call] exit " + trace_subject(s, function) + " -> " + traced_result(*result);
      line.append(" (").append(result->type_name()).append(")");
    } else {
      line = "[vm-call] error " + trace_subject(s, function) + " -> " + result.error().message;
    }
    write_trace_line(line);
  }
  return result;
}

void VmInstance::refresh_trace_flags() { state_->trace = VmTraceFlags::from_environment(); }

const std::string& VmInstance::module_name() const { return state_->module_name(); }
const ModuleIr& VmInstance::module() const { return *state_->module; }
const VmExecutionContext& VmInstance::context() const { return state_->context; }
void VmInstance::set_context(VmExecutionContext context) { state_->context = std::move(context); }

VmModuleStorageSnapshot VmInstance::storage_snapshot() const {
  VmModuleStorageSnapshot snapshot;
  snapshot.module_name = state_->module_name();
  for (const auto& [name, variable] : state_->variables) {
    if (variable.is_local && variable.is_written) {
      snapshot.variables.push_back(VmVariableSnapshot{name, variable.default_value, variable.value});
    }
  }
  for (const auto& [name, hash] : state_->hashes) {
    if (!hash.is_local) continue;
    VmHashSnapshot entry{name, hash.default_value, {}};
    for (const auto& [key, held] : hash.entries) {
      if (held.written) entry.entries.emplace(key, held.value);
    }
    if (!entry.entries.empty()) snapshot.hashes.push_back(std::move(entry));
  }
  return snapshot;
}

std::optional<VmValue> VmInstance::peek_variable_value(std::string_view name) const {
  auto it = state_->variables.find(name);
  if (it == state_->variables.end()) return std::nullopt;
  return it->second.value;
}

VmResult<std::optional<VmValue>> VmInstance::peek_hash_entry(std::string_view name, const VmValue& key) const {
  VELN_TRY(std::string text, normalize_hash_key(key));
  auto hash = state_->hashes.find(name);
  if (hash == state_->hashes.end()) return std::optional<VmValue>();
  auto entry = hash->second.entries.find(text);
  if (entry == hash->second.entries.end()) return std::optional<VmValue>();
  return std::optional<VmValue>(entry->second.value);
}

}  // namespace veln
