// The closed vocabularies of module IR nodes: statement, expression, target,
// keyword, global-declaration and contract-target kinds, the operator lists and
// constant value types. Each "node" (or "kind") string is resolved once into an
// enum here, so validators and the interpreter dispatch through tables instead
// of comparing strings. Resolution is exact and case-sensitive; nothing here
// trims, folds or guesses.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "lib/name_index.hpp"

namespace veln {

enum class StatementKind : std::uint8_t {
  Expr, Pass, Break, Continue, Return, Assign, AugAssign, If, While, For, Raise, Assert,
  StorageSet, StorageMutate,
};
inline constexpr std::size_t kStatementKindCount = 14;

enum class ExpressionKind : std::uint8_t {
  Name, Constant, List, Tuple, Dict, Call, Attribute, Subscript, Slice, Compare, BoolOp,
  UnaryOp, BinOp, IfExpr, ListComp, DictComp, FString, FormattedValue, StorageGet,
};
inline constexpr std::size_t kExpressionKindCount = 19;

enum class TargetKind : std::uint8_t { Name, Attribute, Subscript, TupleTarget, ListTarget };
inline constexpr std::size_t kTargetKindCount = 5;

enum class KeywordKind : std::uint8_t { Keyword, KeywordUnpack };
inline constexpr std::size_t kKeywordKindCount = 2;

enum class GlobalDeclarationKind : std::uint8_t { StorageDecl, EventDecl, BindingDecl };
inline constexpr std::size_t kGlobalDeclarationKindCount = 3;

enum class ContractTargetKind : std::uint8_t { StaticImport, DynamicImport, LocalHandle, FactoryCall };
inline constexpr std::size_t kContractTargetKindCount = 4;

enum class BinaryOperator : std::uint8_t {
  Add, Sub, Mul, Div, FloorDiv, Mod, Pow, BitAnd, BitOr, BitXor, LShift, RShift,
};
inline constexpr std::size_t kBinaryOperatorCount = 12;

enum class CompareOperator : std::uint8_t { Eq, NotEq, Gt, GtE, Lt, LtE, In, NotIn, Is, IsNot };
inline constexpr std::size_t kCompareOperatorCount = 10;

enum class UnaryOperator : std::uint8_t { Not, Neg, Pos, Invert };
inline constexpr std::size_t kUnaryOperatorCount = 4;

enum class BoolOperator : std::uint8_t { And, Or };
inline constexpr std::size_t kBoolOperatorCount = 2;

enum class ConstantValueType : std::uint8_t { None, Bool, Int, Float, Str, Bytes };
inline constexpr std::size_t kConstantValueTypeCount = 6;

// The IR spelling of every kind, in enum order; usable as allowed-value lists.
inline constexpr auto kStatementNames =
    make_name_index("expr", "pass", "break", "continue", "return", "assign", "aug_assign", "if", "while",
                    "for", "raise", "assert", "storage_set", "storage_mutate");
inline constexpr auto kExpressionNames =
    make_name_index("name", "constant", "list", "tuple", "dict", "call", "attribute", "subscript", "slice",
                    "compare", "bool_op", "unary_op", "bin_op", "if_expr", "list_comp", "dict_comp",
                    "f_string", "formatted_value", "storage_get");
inline constexpr auto kTargetNames = make_name_index("name", "attribute", "subscript", "tuple_target", "list_target");
inline constexpr auto kKeywordNames = make_name_index("keyword", "keyword_unpack");
inline constexpr auto kGlobalDeclarationNames = make_name_index("storage_decl", "event_decl", "binding_decl");
inline constexpr auto kContractTargetNames =
    make_name_index("static_import", "dynamic_import", "local_handle", "factory_call");
inline constexpr auto kBinaryOperatorNames = make_name_index("add", "sub", "mul", "div", "floordiv", "mod", "pow",
                                                      "bitand", "bitor", "bitxor", "lshift", "rshift");
inline constexpr auto kCompareOperatorNames =
    make_name_index("eq", "not_eq", "gt", "gt_e", "lt", "lt_e", "in", "not_in", "is", "is_not");
inline constexpr auto kUnaryOperatorNames = make_name_index("not", "neg", "pos", "invert");
inline constexpr auto kBoolOperatorNames = make_name_index("and", "or");
inline constexpr auto kConstantValueTypeNames = make_name_index("none", "bool", "int", "float", "str", "bytes");

// Each returns the kind named by `name`, or nothing when the name is not in
// the vocabulary.
std::optional<StatementKind> statement_kind_from_name(std::string_view name);
std::optional<ExpressionKind> expression_kind_from_name(std::string_view name);
std::optional<TargetKind> target_kind_from_name(std::string_view name);
std::optional<KeywordKind> keyword_kind_from_name(std::string_view name);
std::optional<GlobalDeclarationKind> global_declaration_kind_from_name(std::string_view name);
std::optional<ContractTargetKind> contract_target_kind_from_name(std::string_view name);
std::optional<BinaryOperator> binary_operator_from_name(std::string_view name);
std::optional<CompareOperator> compare_operator_from_name(std::string_view name);
std::optional<UnaryOperator> unary_operator_from_name(std::string_view name);
std::optional<BoolOperator> bool_operator_from_name(std::string_view name);
std::optional<ConstantValueType> constant_value_type_from_name(std::string_view name);

// The IR spelling of each kind ("aug_assign", "not_eq", ...).
std::string_view statement_kind_name(StatementKind kind);
std::string_view expression_kind_name(ExpressionKind kind);
std::string_view target_kind_name(TargetKind kind);
std::string_view keyword_kind_name(KeywordKind kind);
std::string_view global_declaration_kind_name(GlobalDeclarationKind kind);
std::string_view contract_target_kind_name(ContractTargetKind kind);
std::string_view binary_operator_name(BinaryOperator op);
std::string_view compare_operator_name(CompareOperator op);
std::string_view unary_operator_name(UnaryOperator op);
std::string_view bool_operator_name(BoolOperator op);
std::string_view constant_value_type_name(ConstantValueType type);

}  // namespace veln
