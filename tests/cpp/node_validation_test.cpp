// Checks of node validation that documents read from text cannot reach: the
// nesting bound on hand-built trees, kind resolution against near misses, and
// the span and hex primitives at their edges.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include "lib/ir_node_kinds.hpp"
#include "lib/node_validation.hpp"
#include "lib/validation_primitives.hpp"

namespace veln {
namespace {

JsonValue span_value(std::uint64_t line = 1) {
  return JsonValue::make_object({{"line", JsonValue::make_u64(line)},
                                 {"col", JsonValue::make_u64(0)},
                                 {"end_line", JsonValue::make_u64(line)},
                                 {"end_col", JsonValue::make_u64(0)}});
}

JsonValue name_expression() {
  return JsonValue::make_object(
      {{"node", JsonValue::make_string("name")}, {"span", span_value()}, {"id", JsonValue::make_string("x")}});
}

// `depth` expressions: depth - 1 negations around a name.
JsonValue nested_negations(int depth) {
  JsonValue expression = name_expression();
  for (int i = 1; i < depth; ++i) {
    expression = JsonValue::make_object({{"node", JsonValue::make_string("unary_op")},
                                         {"span", span_value()},
                                         {"operator", JsonValue::make_string("neg")},
                                         {"operand", std::move(expression)}});
  }
  return expression;
}

TEST(NodeValidationDepth, DeepestAllowedNestingPasses) {
  const auto status = validate_expression(nested_negations(kMaxNodeDepth));
  EXPECT_TRUE(status.ok()) << status.error();
}

TEST(NodeValidationDepth, DeeperHandBuiltTreesFailInsteadOfExhaustingTheStack) {
  for (int depth : {static_cast<int>(kMaxNodeDepth) + 1, 1000, 5000}) {
    const auto status = validate_expression(nested_negations(depth));
    ASSERT_FALSE(status.ok()) << depth;
    EXPECT_EQ(status.error(), "recursion limit exceeded") << depth;
  }
}

TEST(NodeValidationDepth, EveryFamilyCountsTowardTheBound) {
  // Alternate statements and expressions through "if" bodies and tests.
  JsonValue statement = JsonValue::make_object({{"node", JsonValue::make_string("pass")}, {"span", span_value()}});
  for (unsigned i = 1; i <= kMaxNodeDepth; ++i) {
    JsonValue::Array body;
    body.push_back(std::move(statement));
    statement = JsonValue::make_object({{"node", JsonValue::make_string("if")},
                                        {"span", span_value()},
                                        {"test", name_expression()},
                                        {"body", JsonValue::make_array(std::move(body))},
                                        {"orelse", JsonValue::make_array({})}});
  }
  const auto status = validate_statement(statement);
  ASSERT_FALSE(status.ok());
  EXPECT_EQ(status.error(), "recursion limit exceeded");
}

struct KindCase {
  std::string_view family;
  std::vector<std::string_view> names;
};

std::string_view roundtrip(std::string_view family, std::string_view name) {
  if (family == "statement") {
    auto kind = statement_kind_from_name(name);
    return kind ? statement_kind_name(*kind) : std::string_view("<none>");
  }
  if (family == "expression") {
    auto kind = expression_kind_from_name(name);
    return kind ? expression_kind_name(*kind) : std::string_view("<none>");
  }
  if (family == "target") {
    auto kind = target_kind_from_name(name);
    return kind ? target_kind_name(*kind) : std::string_view("<none>");
  }
  if (family == "keyword") {
    auto kind = keyword_kind_from_name(name);
    return kind ? keyword_kind_name(*kind) : std::string_view("<none>");
  }
  if (family == "global declaration") {
    auto kind = global_declaration_kind_from_name(name);
    return kind ? global_declaration_kind_name(*kind) : std::string_view("<none>");
  }
  if (family == "contract target") {
    auto kind = contract_target_kind_from_name(name);
    return kind ? contract_target_kind_name(*kind) : std::string_view("<none>");
  }
  if (family == "binary") {
    auto op = binary_operator_from_name(name);
    return op ? binary_operator_name(*op) : std::string_view("<none>");
  }
  if (family == "compare") {
    auto op = compare_operator_from_name(name);
    return op ? compare_operator_name(*op) : std::string_view("<none>");
  }
  if (family == "unary") {
    auto op = unary_operator_from_name(name);
    return op ? unary_operator_name(*op) : std::string_view("<none>");
  }
  if (family == "bool") {
    auto op = bool_operator_from_name(name);
    return op ? bool_operator_name(*op) : std::string_view("<none>");
  }
  auto type = constant_value_type_from_name(name);
  return type ? constant_value_type_name(*type) : std::string_view("<none>");
}

const std::vector<KindCase> kKindCases = {
    {"statement", {"expr", "pass", "break", "continue", "return", "assign", "aug_assign", "if", "while", "for",
                   "raise", "assert", "storage_set", "storage_mutate"}},
    {"expression", {"name", "constant", "list", "tuple", "dict", "call", "attribute", "subscript", "slice",
                    "compare", "bool_op", "unary_op", "bin_op", "if_expr", "list_comp", "dict_comp", "f_string",
                    "formatted_value", "storage_get"}},
    {"target", {"name", "attribute", "subscript", "tuple_target", "list_target"}},
    {"keyword", {"keyword", "keyword_unpack"}},
    {"global declaration", {"storage_decl", "event_decl", "binding_decl"}},
    {"contract target", {"static_import", "dynamic_import", "local_handle", "factory_call"}},
    {"binary", {"add", "sub", "mul", "div", "floordiv", "mod", "pow", "bitand", "bitor", "bitxor", "lshift",
                "rshift"}},
    {"compare", {"eq", "not_eq", "gt", "gt_e", "lt", "lt_e", "in", "not_in", "is", "is_not"}},
    {"unary", {"not", "neg", "pos", "invert"}},
    {"bool", {"and", "or"}},
    {"constant", {"none", "bool", "int", "float", "str", "bytes"}},
};

TEST(IrNodeKinds, EveryNameResolvesToItself) {
  for (const KindCase& c : kKindCases) {
    for (std::string_view name : c.names) EXPECT_EQ(roundtrip(c.family, name), name) << c.family;
  }
}

TEST(IrNodeKinds, NearMissesDoNotResolve) {
  using namespace std::string_view_literals;
  for (const KindCase& c : kKindCases) {
    for (std::string_view name : c.names) {
      std::string upper(name);
      upper[0] = static_cast<char>(upper[0] - 'a' + 'A');
      const std::string padded = std::string(name) + " ";
      const std::string with_nul = std::string(name) + '\0';
      const std::string_view prefix = name.substr(0, name.size() - 1);
      for (std::string_view miss : {std::string_view(upper), std::string_view(padded),
                                    std::string_view(with_nul), prefix}) {
        EXPECT_EQ(roundtrip(c.family, miss), "<none>") << c.family << " '" << miss << "'";
      }
    }
    EXPECT_EQ(roundtrip(c.family, ""sv), "<none>");
  }
  // Families do not leak into one another.
  EXPECT_EQ(roundtrip("expression", "tuple_target"), "<none>");
  EXPECT_EQ(roundtrip("target", "list"), "<none>");
  EXPECT_EQ(roundtrip("compare", "ne"), "<none>");
  EXPECT_EQ(roundtrip("binary", "and"), "<none>");
}

struct SpanCase {
  std::uint64_t line;
  std::uint64_t end_line;
  const char* expected;  // nullptr: valid
};

TEST(ValidationPrimitives, SpanRule) {
  constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();
  const SpanCase cases[] = {
      {1, 1, nullptr},
      {1, kMax, nullptr},
      {kMax, kMax, nullptr},
      {0, 0, "span line values must be positive"},
      {0, 7, "span line values must be positive"},
      {5, 4, "span.end_line must be >= span.line"},
      {5, 0, "span.end_line must be >= span.line"},
      {kMax, 1, "span.end_line must be >= span.line"},
  };
  for (const SpanCase& c : cases) {
    const auto status = validate_span(c.line, c.end_line);
    if (c.expected == nullptr) {
      EXPECT_TRUE(status.ok()) << c.line << " " << c.end_line;
    } else {
      ASSERT_FALSE(status.ok()) << c.line << " " << c.end_line;
      EXPECT_EQ(status.error(), c.expected);
    }
  }
}

TEST(ValidationPrimitives, HexChecks) {
  const std::string hash(64, 'a');
  struct HexCase {
    std::string text;
    bool hash_ok;
    bool string_ok;
  };
  const HexCase cases[] = {
      {hash, true, true},
      {std::string(64, 'F'), true, true},
      {std::string(64, '9'), true, true},
      {std::string(63, 'a'), false, false},
      {std::string(65, 'a'), false, false},
      {std::string(63, 'a') + "g", false, false},
      {std::string(62, 'a') + "\xc3\xa9", false, false},
      {std::string(63, 'a') + '\0', false, false},
      {"", false, true},
      {"0aFF", false, true},
      {"abc", false, false},
      {"zz", false, false},
      {"0x", false, false},
      {" a", false, false},
  };
  for (const HexCase& c : cases) {
    EXPECT_EQ(ensure_hex_hash(c.text).ok(), c.hash_ok) << c.text;
    EXPECT_EQ(ensure_hex_string(c.text).ok(), c.string_ok) << c.text;
  }
  EXPECT_EQ(ensure_hex_hash("").error(), "source_hash must be a 64-character hex string");
  EXPECT_EQ(ensure_hex_string("abc").error(), "expression.constant.value must be an even-length hex string");
}

TEST(ValidationPrimitives, MessagesQuoteValuesAsGiven) {
  const auto status = ensure_allowed("bin_op.operator", std::string_view("a'b\0c", 5),
                                     make_name_index("add"));
  ASSERT_FALSE(status.ok());
  EXPECT_EQ(status.error(), std::string("bin_op.operator has unsupported value 'a'b\0c'", 45));
}

}  // namespace
}  // namespace veln
