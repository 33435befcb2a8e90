// Module IR: the cases of ir/module_ir.cases and validation.cases, every
// fixture under tests/data/module_ir (valid/ must pass, invalid/ must fail
// with its .expected message), the records read, the nesting limits, and the
// kind vocabularies.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "case_file.hpp"
#include "lib/ir_node_kinds.hpp"
#include "lib/json_reader.hpp"
#include "lib/module_ir.hpp"
#include "lib/module_validation.hpp"
#include "lib/node_validation.hpp"
#include "lib/parse_module_ir.hpp"
#include "lib/validation_primitives.hpp"

namespace veln {
namespace {

using namespace cases;

template <class T>
Outcome status_of(const Result<T, std::string>& r) {
  return r.ok() ? outcome(VmValue::none()) : Outcome(vm_error(r.error()));
}

TEST(ReadModuleIr, Cases) {
  run_case_file("ir/module_ir.cases",
                {
                    {"read_module",
                     [](const Case& c) {
                       const auto r = read_module_ir(c[0].text());
                       return r.ok() ? outcome("OK") : Outcome(vm_error(r.error()));
                     }},
                    {"span",
                     [](const Case& c) {
                       // "span listed": read after a listing has put the members in key order.
                       const JsonValue value = *read_json_value(c[0].text());
                       if (c.size() > 1 && c[1].text() == "listed") (void)value.as_object();
                       const auto s = span_from_json_value(value);
                       if (!s.ok()) return Outcome(vm_error(s.error()));
                       return outcome(*VmValue::make_tuple({VmValue::integer(mpz_class(std::to_string(s->line))),
                                                             VmValue::integer(mpz_class(std::to_string(s->col))),
                                                             VmValue::integer(mpz_class(std::to_string(s->end_line))),
                                                             VmValue::integer(mpz_class(std::to_string(s->end_col)))}));
                     }},
                });
}

TEST(ValidationPrimitives, Cases) {
  run_case_file("ir/validation.cases",
                {
                    {"span", [](const Case& c) { return status_of(validate_span(c.mpz(0).get_ui(), c.mpz(1).get_ui())); }},
                    {"hex_checks",
                     [](const Case& c) {
                       return outcome(ensure_hex_hash(c[0].text()).ok(), ensure_hex_string(c[0].text()).ok());
                     }},
                    {"hex_hash", [](const Case& c) { return status_of(ensure_hex_hash(c[0].text())); }},
                    {"hex_string", [](const Case& c) { return status_of(ensure_hex_string(c[0].text())); }},
                });
  // Messages quote a refused value as given, NUL included.
  EXPECT_EQ(ensure_allowed("bin_op.operator", std::string_view("a'b\0c", 5), make_name_index("add")).error(),
            std::string("bin_op.operator has unsupported value 'a'b\0c'", 45));
}

std::string read_file(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

TEST(ModuleIrFixtures, EveryFixtureHasItsOutcome) {
  namespace fs = std::filesystem;
  size_t valid = 0, invalid = 0;
  for (const bool is_valid : {true, false}) {
    const fs::path dir = fs::path(VELN_TEST_DATA_DIR) / "module_ir" / (is_valid ? "valid" : "invalid");
    for (const auto& entry : fs::directory_iterator(dir)) {
      if (entry.path().extension() != ".json") continue;
      const auto parsed = parse_module_ir(read_file(entry.path()));
      if (is_valid) {
        EXPECT_TRUE(parsed.ok()) << entry.path() << ": " << (parsed.ok() ? "" : parsed.error());
        // A module that passed once passes again: the interpreter revalidates.
        if (parsed.ok()) {
          EXPECT_TRUE(validate_module_ir(*parsed).ok()) << entry.path();
        }
        ++valid;
      } else {
        const std::string expected = read_file(fs::path(entry.path()).replace_extension(".expected"));
        EXPECT_EQ(parsed.ok() ? "OK" : parsed.error(), expected) << entry.path();
        ++invalid;
      }
    }
  }
  EXPECT_GE(valid, 30u);
  EXPECT_GE(invalid, 250u);
}

TEST(ReadModuleIr, ReadsEveryRecordAndField) {
  const auto r = read_module_ir(
      R"({"ir_version":"veln_ir_v1","vm_profile":"veln_vm_v1","host_catalog_version":"veln_vm_v1_host_v1",)"
      R"("module_name":"token","source_hash":"ab","docstring":"Doc",)"
      R"("imports":[{"node":"import","span":{"line":1,"col":0,"end_line":1,"end_col":8},"module":"currency","alias":"c"},)"
      R"(["import",[2,0,2,9],"other",null]],)"
      R"("global_declarations":[{"node":"storage_var","name":"x","z":1,"a":2,"z":3}],)"
      R"("functions":[{"body":[{"node":"return","value":null}],"returns":"int","parameters":[)"
      R"({"name":"a","kind":"positional_or_keyword","annotation":"int","default":{"node":"constant"},"span":[3,4,3,5]},)"
      R"(["b","kwarg",null,null,[3,6,3,7]]],)"
      R"("docstring":null,"decorator":{"node":"decorator","span":[2,0,2,7],"name":"export","args":[1],"keywords":[]},)"
      R"("visibility":"export","name":"f","span":[3,0,4,10],"node":"function"}],)"
      R"("module_body":[{"node":"pass"}],)"
      R"("host_dependencies":[{"binding":"ctx","id":"ctx.caller","kind":"context_field","category":"context"}]})");
  ASSERT_TRUE(r.ok()) << r.error();
  const ModuleIr& m = *r;
  EXPECT_EQ(m.module_name, "token");
  EXPECT_EQ(m.docstring, std::optional<std::string>("Doc"));
  ASSERT_EQ(m.imports.size(), 2u);
  EXPECT_EQ(m.imports[0].alias, std::optional<std::string>("c"));
  EXPECT_EQ(m.imports[0].span, (Span{1, 0, 1, 8}));
  EXPECT_EQ(m.imports[1].module, "other");
  EXPECT_FALSE(m.imports[1].alias.has_value());
  EXPECT_EQ(m.imports[1].span, (Span{2, 0, 2, 9}));
  ASSERT_EQ(m.global_declarations.size(), 1u);
  EXPECT_EQ(m.global_declarations[0].to_compact_json(), R"({"a":2,"name":"x","node":"storage_var","z":3})");
  ASSERT_EQ(m.functions.size(), 1u);
  const FunctionIr& f = m.functions[0];
  EXPECT_EQ(f.node, "function");
  EXPECT_EQ(f.name, "f");
  EXPECT_EQ(f.visibility, "export");
  EXPECT_EQ(f.span, (Span{3, 0, 4, 10}));
  EXPECT_EQ(f.returns, std::optional<std::string>("int"));
  EXPECT_FALSE(f.docstring.has_value());
  ASSERT_TRUE(f.decorator.has_value());
  EXPECT_EQ(f.decorator->name, "export");
  EXPECT_EQ(f.decorator->args.size(), 1u);
  ASSERT_EQ(f.parameters.size(), 2u);
  EXPECT_EQ(f.parameters[0].annotation, std::optional<std::string>("int"));
  ASSERT_TRUE(f.parameters[0].default_value.has_value());
  EXPECT_EQ(f.parameters[0].default_value->to_compact_json(), R"({"node":"constant"})");
  EXPECT_EQ(f.parameters[1].kind, "kwarg");
  EXPECT_FALSE(f.parameters[1].default_value.has_value());
  EXPECT_EQ(f.parameters[1].span, (Span{3, 6, 3, 7}));
  ASSERT_EQ(f.body.size(), 1u);
  EXPECT_TRUE(f.body[0].find("value")->is_null());
  EXPECT_EQ(m.module_body.size(), 1u);
  ASSERT_EQ(m.host_dependencies.size(), 1u);
  EXPECT_EQ(m.host_dependencies[0].id, "ctx.caller");
  EXPECT_EQ(m.host_dependencies[0].category, "context");
}

const std::string kModuleHead =
    R"({"ir_version":"veln_ir_v1","vm_profile":"veln_vm_v1","host_catalog_version":"veln_vm_v1_host_v1",)"
    R"("module_name":"m","source_hash":"h","imports":[],"global_declarations":[],"functions":[)";
const std::string kModuleTail = R"(],"module_body":[],"host_dependencies":[]})";

// A module whose one function's body holds `levels` nested arrays; the outer
// object, "functions", the function and "body" are four levels of their own.
std::string deep_body(size_t levels) {
  return kModuleHead + R"({"node":"function","span":[1,0,1,5],"name":"f","visibility":"export","parameters":[],"body":[)" +
         std::string(levels, '[') + std::string(levels, ']') + "]}" + kModuleTail;
}

// Values read into a module's arena: copies own their storage, and a module
// assigned over another keeps what both were read into until it goes.
TEST(ReadModuleIr, ValuesOutliveTheirModuleOnlyAsCopies) {
  const std::string text = R"({"ir_version":"v","vm_profile":"p","host_catalog_version":"h","module_name":"m",)"
                           R"("source_hash":"s","imports":[],"global_declarations":[{"node":"x","a":[1,{"b":2}]}],)"
                           R"("functions":[],"module_body":[],"host_dependencies":[]})";
  std::vector<JsonValue> copied;
  ModuleIr kept;
  {
    auto first = read_module_ir(text);
    auto second = read_module_ir(text);
    ASSERT_TRUE(first.ok() && second.ok());
    copied = first->global_declarations;
    kept = std::move(*first);
    kept = std::move(*second);
    ModuleIr copy = kept;
    kept = copy;
  }
  EXPECT_EQ(copied[0].to_compact_json(), R"({"a":[1,{"b":2}],"node":"x"})");
  EXPECT_EQ(kept.global_declarations, copied);
}

TEST(ReadModuleIr, NestingLimits) {
  EXPECT_TRUE(read_module_ir(deep_body(123)).ok());
  const std::string deep = deep_body(124);
  const size_t at = deep.find(R"("body":[)") + 8 + 123;  // the 128th level
  EXPECT_EQ(read_module_ir(deep).error(), "recursion limit exceeded at line 1 column " + std::to_string(at + 1));
  EXPECT_EQ(read_module_ir(std::string(R"({"module_body":)").append(128, '[')).error(),
            "recursion limit exceeded at line 1 column 142");
  // A skipped member has no nesting limit, and an unclosed one is a syntax
  // fault: no crash either way.
  const std::string skipped = std::string(1000000, '[') + std::string(1000000, ']');
  const std::string deep_member = R"({"deep":)";
  EXPECT_TRUE(read_module_ir(deep_member + skipped + "," + kModuleHead.substr(1) + kModuleTail).ok());
  EXPECT_EQ(read_module_ir(deep_member + std::string(1000000, '{')).error(), "key must be a string at line 1 column 10");
  EXPECT_EQ(read_module_ir(deep_member + std::string(1000000, '[')).error(),
            "EOF while parsing a list at line 1 column 1000008");
}

// ---- node validation on hand-built trees --------------------------------------

JsonValue span_value() {
  return JsonValue::make_object({{"line", JsonValue::make_u64(1)},
                                 {"col", JsonValue::make_u64(0)},
                                 {"end_line", JsonValue::make_u64(1)},
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
    // Members moved in, not copied from an initializer list: a copy per
    // level would make building the tree quadratic in its depth.
    JsonValue::Members members;
    members.emplace_back("node", JsonValue::make_string("unary_op"));
    members.emplace_back("span", span_value());
    members.emplace_back("operator", JsonValue::make_string("neg"));
    members.emplace_back("operand", std::move(expression));
    expression = JsonValue::make_object(std::move(members));
  }
  return expression;
}

// Documents read from text cannot nest this deep; hand-built trees can, and
// must fail instead of exhausting the stack, through every node family.
TEST(NodeValidation, DepthIsBoundedOnHandBuiltTrees) {
  EXPECT_TRUE(validate_expression(nested_negations(kMaxNodeDepth)).ok());
  for (int depth : {static_cast<int>(kMaxNodeDepth) + 1, 1000, 5000}) {
    EXPECT_EQ(validate_expression(nested_negations(depth)).error(), "recursion limit exceeded") << depth;
  }
  // Statements and expressions alternate through "if" bodies and tests.
  JsonValue statement = JsonValue::make_object({{"node", JsonValue::make_string("pass")}, {"span", span_value()}});
  for (unsigned i = 1; i <= kMaxNodeDepth; ++i) {
    JsonValue::Elements body;
    body.push_back(std::move(statement));
    JsonValue::Members members;
    members.emplace_back("node", JsonValue::make_string("if"));
    members.emplace_back("span", span_value());
    members.emplace_back("test", name_expression());
    members.emplace_back("body", JsonValue::make_array(std::move(body)));
    members.emplace_back("orelse", JsonValue::make_array({}));
    statement = JsonValue::make_object(std::move(members));
  }
  EXPECT_EQ(validate_statement(statement).error(), "recursion limit exceeded");
}

// Each name of a vocabulary resolves to its own position, and near misses
// (case, padding, a NUL, a prefix, the empty name) resolve to nothing.
template <size_t N>
void expect_exact_names(const NameIndex<N>& names) {
  EXPECT_EQ(names.find(""), names.kNotFound);
  for (size_t i = 0; i < N; ++i) {
    const std::string name(names.name(i));
    EXPECT_EQ(names.find(name), i) << name;
    std::string upper = name;
    upper[0] = static_cast<char>(upper[0] - 'a' + 'A');
    for (const std::string& miss : {upper, name + " ", name + '\0', name.substr(0, name.size() - 1)}) {
      EXPECT_EQ(names.find(miss), names.kNotFound) << "'" << miss << "'";
    }
  }
}

TEST(IrNodeKinds, NamesResolveExactly) {
  expect_exact_names(kStatementNames);
  expect_exact_names(kExpressionNames);
  expect_exact_names(kTargetNames);
  expect_exact_names(kKeywordNames);
  expect_exact_names(kGlobalDeclarationNames);
  expect_exact_names(kContractTargetNames);
  expect_exact_names(kBinaryOperatorNames);
  expect_exact_names(kCompareOperatorNames);
  expect_exact_names(kUnaryOperatorNames);
  expect_exact_names(kBoolOperatorNames);
  expect_exact_names(kConstantValueTypeNames);
  for (size_t i = 0; i < kStatementKindCount; ++i) {
    const auto kind = static_cast<StatementKind>(i);
    EXPECT_EQ(statement_kind_from_name(statement_kind_name(kind)), kind);
  }
  for (size_t i = 0; i < kExpressionKindCount; ++i) {
    const auto kind = static_cast<ExpressionKind>(i);
    EXPECT_EQ(expression_kind_from_name(expression_kind_name(kind)), kind);
  }
  // Families do not leak into one another.
  EXPECT_FALSE(expression_kind_from_name("tuple_target"));
  EXPECT_FALSE(target_kind_from_name("list"));
  EXPECT_FALSE(compare_operator_from_name("ne"));
  EXPECT_FALSE(binary_operator_from_name("and"));
}

}  // namespace
}  // namespace veln
