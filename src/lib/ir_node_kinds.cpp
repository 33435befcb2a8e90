// Resolution of module IR kind and operator names into their enums, and back.
// The tables live in the header; the asserts here pin their order to the enums.
#include "lib/ir_node_kinds.hpp"

namespace veln {
namespace {

static_assert(kStatementNames.size() == kStatementKindCount);
static_assert(kExpressionNames.size() == kExpressionKindCount);
static_assert(kTargetNames.size() == kTargetKindCount);
static_assert(kKeywordNames.size() == kKeywordKindCount);
static_assert(kGlobalDeclarationNames.size() == kGlobalDeclarationKindCount);
static_assert(kContractTargetNames.size() == kContractTargetKindCount);
static_assert(kBinaryOperatorNames.size() == kBinaryOperatorCount);
static_assert(kCompareOperatorNames.size() == kCompareOperatorCount);
static_assert(kUnaryOperatorNames.size() == kUnaryOperatorCount);
static_assert(kBoolOperatorNames.size() == kBoolOperatorCount);
static_assert(kConstantValueTypeNames.size() == kConstantValueTypeCount);
static_assert(kStatementNames.find("storage_mutate") == static_cast<std::size_t>(StatementKind::StorageMutate));
static_assert(kExpressionNames.find("storage_get") == static_cast<std::size_t>(ExpressionKind::StorageGet));
static_assert(kBinaryOperatorNames.find("rshift") == static_cast<std::size_t>(BinaryOperator::RShift));
static_assert(kCompareOperatorNames.find("is_not") == static_cast<std::size_t>(CompareOperator::IsNot));

template <class Kind, std::size_t N>
std::optional<Kind> resolve(const NameIndex<N>& index, std::string_view name) {
  const std::size_t found = index.find(name);
  if (found == NameIndex<N>::kNotFound) return std::nullopt;
  return static_cast<Kind>(found);
}

}  // namespace

std::optional<StatementKind> statement_kind_from_name(std::string_view name) {
  return resolve<StatementKind>(kStatementNames, name);
}
std::optional<ExpressionKind> expression_kind_from_name(std::string_view name) {
  return resolve<ExpressionKind>(kExpressionNames, name);
}
std::optional<TargetKind> target_kind_from_name(std::string_view name) {
  return resolve<TargetKind>(kTargetNames, name);
}
std::optional<KeywordKind> keyword_kind_from_name(std::string_view name) {
  return resolve<KeywordKind>(kKeywordNames, name);
}
std::optional<GlobalDeclarationKind> global_declaration_kind_from_name(std::string_view name) {
  return resolve<GlobalDeclarationKind>(kGlobalDeclarationNames, name);
}
std::optional<ContractTargetKind> contract_target_kind_from_name(std::string_view name) {
  return resolve<ContractTargetKind>(kContractTargetNames, name);
}
std::optional<BinaryOperator> binary_operator_from_name(std::string_view name) {
  return resolve<BinaryOperator>(kBinaryOperatorNames, name);
}
std::optional<CompareOperator> compare_operator_from_name(std::string_view name) {
  return resolve<CompareOperator>(kCompareOperatorNames, name);
}
std::optional<UnaryOperator> unary_operator_from_name(std::string_view name) {
  return resolve<UnaryOperator>(kUnaryOperatorNames, name);
}
std::optional<BoolOperator> bool_operator_from_name(std::string_view name) {
  return resolve<BoolOperator>(kBoolOperatorNames, name);
}
std::optional<ConstantValueType> constant_value_type_from_name(std::string_view name) {
  return resolve<ConstantValueType>(kConstantValueTypeNames, name);
}

std::string_view statement_kind_name(StatementKind kind) {
  return kStatementNames.name(static_cast<std::size_t>(kind));
}
std::string_view expression_kind_name(ExpressionKind kind) {
  return kExpressionNames.name(static_cast<std::size_t>(kind));
}
std::string_view target_kind_name(TargetKind kind) { return kTargetNames.name(static_cast<std::size_t>(kind)); }
std::string_view keyword_kind_name(KeywordKind kind) { return kKeywordNames.name(static_cast<std::size_t>(kind)); }
std::string_view global_declaration_kind_name(GlobalDeclarationKind kind) {
  return kGlobalDeclarationNames.name(static_cast<std::size_t>(kind));
}
std::string_view contract_target_kind_name(ContractTargetKind kind) {
  return kContractTargetNames.name(static_cast<std::size_t>(kind));
}
std::string_view binary_operator_name(BinaryOperator op) {
  return kBinaryOperatorNames.name(static_cast<std::size_t>(op));
}
std::string_view compare_operator_name(CompareOperator op) {
  return kCompareOperatorNames.name(static_cast<std::size_t>(op));
}
std::string_view unary_operator_name(UnaryOperator op) {
  return kUnaryOperatorNames.name(static_cast<std::size_t>(op));
}
std::string_view bool_operator_name(BoolOperator op) { return kBoolOperatorNames.name(static_cast<std::size_t>(op)); }
std::string_view constant_value_type_name(ConstantValueType type) {
  return kConstantValueTypeNames.name(static_cast<std::size_t>(type));
}

}  // namespace veln
