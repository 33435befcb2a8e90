// Node validators. Every validator takes the nesting depth of the node it
// checks, so recursion is bounded whatever tree it is handed. Member checks
// run in the order of the node's member list; reordering them changes which
// message a faulty node yields.
#include "lib/node_validation.hpp"

#include <array>
#include <string>

#include "lib/ir_node_kinds.hpp"
#include "lib/name_index.hpp"
#include "lib/validation_primitives.hpp"

namespace veln {
namespace {

using Depth = unsigned;

constexpr auto kHashStorageTypes = make_name_index("Hash");
constexpr auto kReadableHashStorageTypes = make_name_index("Hash", "ForeignHash");
constexpr auto kVariableStorageTypes = make_name_index("Variable", "ForeignVariable");
constexpr auto kHashWriteIds = make_name_index("storage.hash.set");
constexpr auto kHashReadIds = make_name_index("storage.hash.get");
constexpr auto kReadableHashReadIds = make_name_index("storage.hash.get", "storage.foreign_hash.get");

// System calls of a call expression that require further members.
enum class CallSyscall : std::uint8_t { EventEmit, ExportCall, VariableAccess, HashScan };
constexpr auto kCallSyscallNames =
    make_name_index("event.log.emit", "contract.export_call", "storage.variable.get", "storage.variable.set",
                    "storage.foreign_variable.get", "storage.hash.all", "storage.foreign_hash.all");
constexpr std::array<CallSyscall, kCallSyscallNames.size()> kCallSyscallOf = {
    CallSyscall::EventEmit,      CallSyscall::ExportCall,     CallSyscall::VariableAccess,
    CallSyscall::VariableAccess, CallSyscall::VariableAccess, CallSyscall::HashScan,
    CallSyscall::HashScan,
};

std::string recursion_limit_error() { return std::string("recursion limit exceeded"); }

std::string unsupported_node_error(std::string_view family, std::string_view kind) {
  std::string message = "unsupported ";
  message.append(family).append(" node '").append(kind).append("'");
  return message;
}

// ---- node entry points with an explicit depth --------------------------------

ValidationStatus statement_at(const JsonValue& value, Depth depth);
ValidationStatus expression_at(const JsonValue& value, Depth depth);
ValidationStatus target_at(const JsonValue& value, Depth depth);
ValidationStatus keyword_at(const JsonValue& value, Depth depth);
ValidationStatus contract_target_at(const JsonValue& value, Depth depth);

using NodeCheck = ValidationStatus (*)(const JsonValue&, Depth);

// ---- member rules -----------------------------------------------------------

template <NodeCheck Check>
ValidationStatus node_member(const JsonValue& object, std::string_view key, Depth depth) {
  VELN_TRY(const JsonValue* member, expect_value_field(object, key));
  return Check(*member, depth);
}

template <NodeCheck Check>
ValidationStatus node_array_member(const JsonValue& object, std::string_view key, Depth depth) {
  VELN_TRY(const JsonValue::Array* elements, expect_array_field(object, key));
  for (const JsonValue& element : *elements) VELN_CHECK(Check(element, depth));
  return Ok{};
}

template <NodeCheck Check>
ValidationStatus optional_node_member(const JsonValue& object, std::string_view key, Depth depth) {
  const JsonValue* member = object.find(key);
  if (member == nullptr || member->is_null()) return Ok{};
  return Check(*member, depth);
}

constexpr auto expression_member = node_member<expression_at>;
constexpr auto target_member = node_member<target_at>;
constexpr auto expression_array_member = node_array_member<expression_at>;
constexpr auto target_array_member = node_array_member<target_at>;
constexpr auto keyword_array_member = node_array_member<keyword_at>;
constexpr auto statement_array_member = node_array_member<statement_at>;
constexpr auto optional_expression_member = optional_node_member<expression_at>;
constexpr auto optional_contract_target_member = optional_node_member<contract_target_at>;

ValidationStatus string_member(const JsonValue& object, std::string_view key) {
  VELN_TRY(std::string_view text, expect_string_field(object, key));
  (void)text;
  return Ok{};
}

ValidationStatus non_empty_string_member(const JsonValue& object, std::string_view key, std::string_view label) {
  VELN_TRY(std::string_view text, expect_string_field(object, key));
  return ensure_non_empty(label, text);
}

template <std::size_t N>
ValidationStatus allowed_string_member(const JsonValue& object, std::string_view key, std::string_view label,
                                       const NameIndex<N>& allowed) {
  VELN_TRY(std::string_view text, expect_string_field(object, key));
  return ensure_allowed(label, text, allowed);
}

ValidationStatus optional_non_empty_string_member(const JsonValue& object, std::string_view key) {
  return validate_optional_non_empty_string(object.find(key));
}

// The common start of storage_set, storage_mutate and storage_get; the label of
// the system-call id is the bare key.
template <std::size_t StorageTypes, std::size_t Ids>
ValidationStatus storage_access_base(const JsonValue& object, const NameIndex<StorageTypes>& storage_types,
                                     std::string_view syscall_key, const NameIndex<Ids>& ids) {
  VELN_CHECK(non_empty_string_member(object, "binding", "storage.binding"));
  VELN_CHECK(allowed_string_member(object, "storage_type", "storage.storage_type", storage_types));
  return allowed_string_member(object, syscall_key, syscall_key, ids);
}

// Statement, expression and target nodes start alike: an object, a string
// "node", a valid span. Returns the object and its kind text.
struct NodeStart {
  const JsonValue* object;
  std::string_view kind;
};

// Writers put "node" first and the span second, in its usual form: such a
// node is started with a look at its first two members. Anything else takes
// the checks one by one, which alone make the messages.
bool usual_start(const JsonValue& value, NodeStart& start) {
  const JsonValue::Entry* node = value.stored_member(0);
  const JsonValue::Entry* span = value.stored_member(1);
  if (span == nullptr || node->first != "node" || !node->second.is_string() || span->first != "span") return false;
  const JsonValue::Entry* numbers = span->second.span_numbers();
  if (numbers == nullptr || !span_lines_valid(numbers[0].second.as_u64(), numbers[2].second.as_u64())) return false;
  start = NodeStart{&value, node->second.as_string()};
  return true;
}

ValidationResult<NodeStart> node_start(const JsonValue& value, std::string_view label) {
  if (NodeStart start{}; usual_start(value, start)) return start;
  VELN_TRY(const JsonValue* object, expect_object(value, label));
  VELN_TRY(std::string_view kind, expect_string_field(*object, "node"));
  VELN_CHECK(validate_object_span(*object));
  return NodeStart{object, kind};
}

using MemberCheck = ValidationStatus (*)(const JsonValue&, Depth);

// One "node"-tagged family: depth bound, object with a string "node" and a
// span, kind resolved once to its enum, then that kind's check.
template <class Kind, std::size_t N>
ValidationStatus check_tagged_node(const JsonValue& value, Depth depth, std::string_view family,
                                   std::optional<Kind> (*from_name)(std::string_view),
                                   const std::array<MemberCheck, N>& checks) {
  if (depth > kMaxNodeDepth) return recursion_limit_error();
  VELN_TRY(const NodeStart start, node_start(value, family));
  const std::optional<Kind> kind = from_name(start.kind);
  if (!kind) return unsupported_node_error(family, start.kind);
  return checks[static_cast<std::size_t>(*kind)](*start.object, depth + 1);
}

// ---- statements -------------------------------------------------------------

ValidationStatus no_members(const JsonValue&, Depth) { return Ok{}; }

ValidationStatus check_expr_statement(const JsonValue& o, Depth d) { return expression_member(o, "value", d); }

ValidationStatus check_return(const JsonValue& o, Depth d) { return optional_expression_member(o, "value", d); }

ValidationStatus check_assign(const JsonValue& o, Depth d) {
  VELN_CHECK(target_array_member(o, "targets", d));
  return expression_member(o, "value", d);
}

ValidationStatus check_aug_assign(const JsonValue& o, Depth d) {
  VELN_CHECK(allowed_string_member(o, "operator", "aug_assign.operator", kBinaryOperatorNames));
  VELN_CHECK(target_member(o, "target", d));
  return expression_member(o, "value", d);
}

ValidationStatus check_if_while(const JsonValue& o, Depth d) {
  VELN_CHECK(expression_member(o, "test", d));
  VELN_CHECK(statement_array_member(o, "body", d));
  return statement_array_member(o, "orelse", d);
}

ValidationStatus check_for(const JsonValue& o, Depth d) {
  VELN_CHECK(target_member(o, "target", d));
  VELN_CHECK(expression_member(o, "iter", d));
  VELN_CHECK(statement_array_member(o, "body", d));
  return statement_array_member(o, "orelse", d);
}

ValidationStatus check_raise(const JsonValue& o, Depth d) {
  VELN_CHECK(optional_expression_member(o, "exception", d));
  return optional_expression_member(o, "cause", d);
}

ValidationStatus check_assert(const JsonValue& o, Depth d) {
  VELN_CHECK(expression_member(o, "test", d));
  return optional_expression_member(o, "message", d);
}

ValidationStatus check_storage_set(const JsonValue& o, Depth d) {
  VELN_CHECK(storage_access_base(o, kHashStorageTypes, "syscall_id", kHashWriteIds));
  VELN_CHECK(expression_member(o, "key", d));
  return expression_member(o, "value", d);
}

ValidationStatus check_storage_mutate(const JsonValue& o, Depth d) {
  VELN_CHECK(storage_access_base(o, kHashStorageTypes, "write_syscall_id", kHashWriteIds));
  VELN_CHECK(allowed_string_member(o, "read_syscall_id", "storage_mutate.read_syscall_id", kHashReadIds));
  VELN_CHECK(expression_member(o, "key", d));
  VELN_CHECK(allowed_string_member(o, "operator", "storage_mutate.operator", kBinaryOperatorNames));
  return expression_member(o, "value", d);
}

constexpr std::array<MemberCheck, kStatementKindCount> kStatementChecks = {
    check_expr_statement,  // expr
    no_members,            // pass
    no_members,            // break
    no_members,            // continue
    check_return,          // return
    check_assign,          // assign
    check_aug_assign,      // aug_assign
    check_if_while,        // if
    check_if_while,        // while
    check_for,             // for
    check_raise,           // raise
    check_assert,          // assert
    check_storage_set,     // storage_set
    check_storage_mutate,  // storage_mutate
};

ValidationStatus statement_at(const JsonValue& value, Depth depth) {
  return check_tagged_node(value, depth, "statement", statement_kind_from_name, kStatementChecks);
}

// ---- expressions ------------------------------------------------------------

ValidationStatus check_name_expression(const JsonValue& o, Depth) {
  return non_empty_string_member(o, "id", "expression.name.id");
}

ValidationStatus check_constant(const JsonValue& o, Depth) {
  VELN_TRY(std::string_view value_type, expect_string_field(o, "value_type"));
  const std::optional<ConstantValueType> type = constant_value_type_from_name(value_type);
  if (!type) return unsupported_value_error("expression.constant.value_type", value_type);
  if (*type == ConstantValueType::Float) {
    return non_empty_string_member(o, "literal", "expression.constant.literal");
  }
  if (*type == ConstantValueType::Bytes) {
    VELN_TRY(std::string_view hex, expect_string_field(o, "value"));
    return ensure_hex_string(hex);
  }
  return Ok{};
}

// list, tuple and f_string take their items from "elements" when that is an
// array, else from "values".
ValidationStatus check_sequence_items(const JsonValue& o, Depth d) {
  if (const JsonValue* elements = o.find("elements")) {
    if (const JsonValue::Array* items = array_if(*elements)) {
      for (const JsonValue& item : *items) VELN_CHECK(expression_at(item, d));
      return Ok{};
    }
  }
  return expression_array_member(o, "values", d);
}

ValidationStatus dict_entry_at(const JsonValue& value, Depth depth) {
  if (depth > kMaxNodeDepth) return recursion_limit_error();
  VELN_TRY(const JsonValue* entry, expect_object(value, "dict entry"));
  // An unpacking entry ("**mapping") is its expression and nothing else.
  if (const JsonValue* unpack = entry->find("unpack")) return expression_at(*unpack, depth + 1);
  VELN_CHECK(expression_member(*entry, "key", depth + 1));
  return expression_member(*entry, "value", depth + 1);
}

ValidationStatus check_dict(const JsonValue& o, Depth d) { return node_array_member<dict_entry_at>(o, "entries", d); }

ValidationStatus check_call_syscall_members(const JsonValue& o, Depth) {
  const JsonValue* syscall = o.find("syscall_id");
  if (syscall == nullptr) return Ok{};
  const std::string_view* syscall_id = string_if(*syscall);
  if (syscall_id == nullptr) return Ok{};
  const std::size_t found = kCallSyscallNames.find(*syscall_id);
  if (found == decltype(kCallSyscallNames)::kNotFound) return Ok{};
  switch (kCallSyscallOf[found]) {
    case CallSyscall::EventEmit:
      return string_member(o, "event_binding");
    case CallSyscall::ExportCall: {
      VELN_CHECK(string_member(o, "function_name"));
      // A non-null contract target has already passed its own check; what is
      // left to enforce is that it is there and not null.
      VELN_TRY(const JsonValue* target, expect_value_field(o, "contract_target"));
      if (target->is_null()) return std::string("contract_target must be an object");
      return Ok{};
    }
    case CallSyscall::VariableAccess:
      VELN_CHECK(string_member(o, "receiver_binding"));
      VELN_CHECK(allowed_string_member(o, "receiver_type", "call.receiver_type", kVariableStorageTypes));
      return string_member(o, "method");
    case CallSyscall::HashScan:
      VELN_CHECK(string_member(o, "receiver_binding"));
      VELN_CHECK(allowed_string_member(o, "receiver_type", "call.receiver_type", kReadableHashStorageTypes));
      return string_member(o, "method");
  }
  return Ok{};
}

ValidationStatus check_call(const JsonValue& o, Depth d) {
  VELN_CHECK(expression_member(o, "func", d));
  VELN_CHECK(expression_array_member(o, "args", d));
  VELN_CHECK(keyword_array_member(o, "keywords", d));
  for (std::string_view key :
       {"syscall_id", "event_binding", "receiver_binding", "receiver_type", "method", "function_name"}) {
    VELN_CHECK(optional_non_empty_string_member(o, key));
  }
  VELN_CHECK(optional_contract_target_member(o, "contract_target", d));
  return check_call_syscall_members(o, d);
}

ValidationStatus check_attribute_expression(const JsonValue& o, Depth d) {
  VELN_CHECK(expression_member(o, "value", d));
  return non_empty_string_member(o, "attr", "expression.attribute.attr");
}

ValidationStatus check_subscript(const JsonValue& o, Depth d) {
  VELN_CHECK(expression_member(o, "value", d));
  return expression_member(o, "slice", d);
}

ValidationStatus check_slice(const JsonValue& o, Depth d) {
  VELN_CHECK(optional_expression_member(o, "lower", d));
  VELN_CHECK(optional_expression_member(o, "upper", d));
  return optional_expression_member(o, "step", d);
}

ValidationStatus check_compare(const JsonValue& o, Depth d) {
  VELN_CHECK(expression_member(o, "left", d));
  VELN_TRY(const JsonValue::Array* operators, expect_array_field(o, "operators"));
  for (const JsonValue& op : *operators) {
    VELN_TRY(std::string_view name, expect_string(op));
    VELN_CHECK(ensure_allowed("compare.operator", name, kCompareOperatorNames));
  }
  return expression_array_member(o, "comparators", d);
}

ValidationStatus check_bool_op(const JsonValue& o, Depth d) {
  VELN_CHECK(allowed_string_member(o, "operator", "bool_op.operator", kBoolOperatorNames));
  return expression_array_member(o, "values", d);
}

ValidationStatus check_unary_op(const JsonValue& o, Depth d) {
  VELN_CHECK(allowed_string_member(o, "operator", "unary_op.operator", kUnaryOperatorNames));
  return expression_member(o, "operand", d);
}

ValidationStatus check_bin_op(const JsonValue& o, Depth d) {
  VELN_CHECK(allowed_string_member(o, "operator", "bin_op.operator", kBinaryOperatorNames));
  VELN_CHECK(expression_member(o, "left", d));
  return expression_member(o, "right", d);
}

ValidationStatus check_if_expr(const JsonValue& o, Depth d) {
  VELN_CHECK(expression_member(o, "test", d));
  VELN_CHECK(expression_member(o, "body", d));
  return expression_member(o, "orelse", d);
}

template <const char* Label>
ValidationStatus generator_at(const JsonValue& value, Depth depth) {
  if (depth > kMaxNodeDepth) return recursion_limit_error();
  VELN_TRY(const JsonValue* generator, expect_object(value, Label));
  VELN_CHECK(target_member(*generator, "target", depth + 1));
  VELN_CHECK(expression_member(*generator, "iter", depth + 1));
  return expression_array_member(*generator, "ifs", depth + 1);
}

constexpr char kListGeneratorLabel[] = "list comprehension generator";
constexpr char kDictGeneratorLabel[] = "dict comprehension generator";

ValidationStatus check_list_comp(const JsonValue& o, Depth d) {
  VELN_CHECK(expression_member(o, "element", d));
  return node_array_member<generator_at<kListGeneratorLabel>>(o, "generators", d);
}

ValidationStatus check_dict_comp(const JsonValue& o, Depth d) {
  VELN_CHECK(expression_member(o, "key", d));
  VELN_CHECK(expression_member(o, "value", d));
  return node_array_member<generator_at<kDictGeneratorLabel>>(o, "generators", d);
}

ValidationStatus check_formatted_value(const JsonValue& o, Depth d) {
  VELN_CHECK(expression_member(o, "value", d));
  VELN_CHECK(optional_non_empty_string_member(o, "conversion"));
  return optional_expression_member(o, "format_spec", d);
}

ValidationStatus check_storage_get(const JsonValue& o, Depth d) {
  VELN_CHECK(storage_access_base(o, kReadableHashStorageTypes, "syscall_id", kReadableHashReadIds));
  return expression_member(o, "key", d);
}

constexpr std::array<MemberCheck, kExpressionKindCount> kExpressionChecks = {
    check_name_expression,       // name
    check_constant,              // constant
    check_sequence_items,        // list
    check_sequence_items,        // tuple
    check_dict,                  // dict
    check_call,                  // call
    check_attribute_expression,  // attribute
    check_subscript,             // subscript
    check_slice,                 // slice
    check_compare,               // compare
    check_bool_op,               // bool_op
    check_unary_op,              // unary_op
    check_bin_op,                // bin_op
    check_if_expr,               // if_expr
    check_list_comp,             // list_comp
    check_dict_comp,             // dict_comp
    check_sequence_items,        // f_string
    check_formatted_value,       // formatted_value
    check_storage_get,           // storage_get
};

ValidationStatus expression_at(const JsonValue& value, Depth depth) {
  return check_tagged_node(value, depth, "expression", expression_kind_from_name, kExpressionChecks);
}

// ---- targets ----------------------------------------------------------------

ValidationStatus check_name_target(const JsonValue& o, Depth) {
  return non_empty_string_member(o, "id", "target.name.id");
}

ValidationStatus check_attribute_target(const JsonValue& o, Depth d) {
  VELN_CHECK(expression_member(o, "value", d));
  return non_empty_string_member(o, "attr", "target.attribute.attr");
}

ValidationStatus check_sequence_target(const JsonValue& o, Depth d) { return target_array_member(o, "elements", d); }

constexpr std::array<MemberCheck, kTargetKindCount> kTargetChecks = {
    check_name_target,       // name
    check_attribute_target,  // attribute
    check_subscript,         // subscript
    check_sequence_target,   // tuple_target
    check_sequence_target,   // list_target
};

ValidationStatus target_at(const JsonValue& value, Depth depth) {
  return check_tagged_node(value, depth, "target", target_kind_from_name, kTargetChecks);
}

// ---- keywords ---------------------------------------------------------------

ValidationStatus check_keyword(const JsonValue& o, Depth d) {
  VELN_CHECK(non_empty_string_member(o, "arg", "keyword.arg"));
  return expression_member(o, "value", d);
}

ValidationStatus check_keyword_unpack(const JsonValue& o, Depth d) { return expression_member(o, "value", d); }

constexpr std::array<MemberCheck, kKeywordKindCount> kKeywordChecks = {check_keyword, check_keyword_unpack};

ValidationStatus keyword_at(const JsonValue& value, Depth depth) {
  if (depth > kMaxNodeDepth) return recursion_limit_error();
  VELN_TRY(const JsonValue* object, expect_object(value, "keyword"));
  VELN_CHECK(validate_object_span(*object));
  // A keyword without a string "node" is a plain keyword argument.
  std::string_view kind_name = "keyword";
  if (const JsonValue* node = object->find("node")) {
    if (const std::string_view* text = string_if(*node)) kind_name = *text;
  }
  const std::optional<KeywordKind> kind = keyword_kind_from_name(kind_name);
  if (!kind) return unsupported_node_error("keyword", kind_name);
  return kKeywordChecks[static_cast<std::size_t>(*kind)](*object, depth + 1);
}

// ---- contract targets -------------------------------------------------------

ValidationStatus check_static_import(const JsonValue& o, Depth) {
  return non_empty_string_member(o, "binding", "contract_target.binding");
}

ValidationStatus check_dynamic_import(const JsonValue& o, Depth d) { return expression_member(o, "source", d); }

ValidationStatus check_local_handle(const JsonValue& o, Depth d) {
  VELN_CHECK(non_empty_string_member(o, "binding", "contract_target.binding"));
  return expression_member(o, "source", d);
}

ValidationStatus check_factory_call(const JsonValue& o, Depth d) {
  VELN_CHECK(non_empty_string_member(o, "factory", "contract_target.factory"));
  return expression_member(o, "source", d);
}

constexpr std::array<MemberCheck, kContractTargetKindCount> kContractTargetChecks = {
    check_static_import,   // static_import
    check_dynamic_import,  // dynamic_import
    check_local_handle,    // local_handle
    check_factory_call,    // factory_call
};

ValidationStatus contract_target_at(const JsonValue& value, Depth depth) {
  if (depth > kMaxNodeDepth) return recursion_limit_error();
  VELN_TRY(const JsonValue* object, expect_object(value, "contract_target"));
  VELN_CHECK(validate_object_span(*object));
  VELN_TRY(std::string_view kind_name, expect_string_field(*object, "kind"));
  const std::optional<ContractTargetKind> kind = contract_target_kind_from_name(kind_name);
  if (!kind) return unsupported_value_error("contract_target.kind", kind_name);
  return kContractTargetChecks[static_cast<std::size_t>(*kind)](*object, depth + 1);
}

// ---- global declarations ----------------------------------------------------

ValidationStatus check_storage_decl(const JsonValue& o, Depth d) {
  VELN_CHECK(non_empty_string_member(o, "storage_type", "storage_decl.storage_type"));
  VELN_CHECK(non_empty_string_member(o, "syscall_id", "storage_decl.syscall_id"));
  VELN_CHECK(expression_array_member(o, "args", d));
  return keyword_array_member(o, "keywords", d);
}

ValidationStatus check_event_decl(const JsonValue& o, Depth d) {
  VELN_CHECK(non_empty_string_member(o, "syscall_id", "event_decl.syscall_id"));
  VELN_CHECK(non_empty_string_member(o, "event_name", "event_decl.event_name"));
  return expression_member(o, "params", d);
}

ValidationStatus check_binding_decl(const JsonValue& o, Depth d) { return expression_member(o, "value", d); }

constexpr std::array<MemberCheck, kGlobalDeclarationKindCount> kGlobalDeclarationChecks = {
    check_storage_decl,  // storage_decl
    check_event_decl,    // event_decl
    check_binding_decl,  // binding_decl
};

}  // namespace

ValidationStatus validate_statement(const JsonValue& value) { return statement_at(value, 1); }

ValidationStatus validate_statement_array(std::span<const JsonValue> statements) {
  for (const JsonValue& statement : statements) VELN_CHECK(statement_at(statement, 1));
  return Ok{};
}

ValidationStatus validate_expression(const JsonValue& value) { return expression_at(value, 1); }

ValidationStatus validate_optional_expression(const JsonValue* value) {
  if (value == nullptr || value->is_null()) return Ok{};
  return expression_at(*value, 1);
}

ValidationStatus validate_target(const JsonValue& value) { return target_at(value, 1); }

ValidationStatus validate_keyword(const JsonValue& value) { return keyword_at(value, 1); }

ValidationStatus validate_contract_target(const JsonValue& value) { return contract_target_at(value, 1); }

ValidationStatus validate_optional_contract_target(const JsonValue* value) {
  if (value == nullptr || value->is_null()) return Ok{};
  return contract_target_at(*value, 1);
}

ValidationResult<std::string_view> validate_global_declaration(const JsonValue& value) {
  VELN_TRY(const JsonValue* object, expect_object(value, "global declaration"));
  VELN_TRY(std::string_view kind_name, expect_string_field(*object, "node"));
  VELN_CHECK(validate_object_span(*object));
  VELN_TRY(std::string_view name, expect_string_field(*object, "name"));
  VELN_CHECK(ensure_non_empty("global_declaration.name", name));
  const std::optional<GlobalDeclarationKind> kind = global_declaration_kind_from_name(kind_name);
  if (!kind) return unsupported_node_error("global declaration", kind_name);
  VELN_CHECK(kGlobalDeclarationChecks[static_cast<std::size_t>(*kind)](*object, 2));
  return name;
}

}  // namespace veln
