// Reading module IR documents into their records: the object and array
// forms, fault order, duplicate and missing fields with their positions,
// skipped members, the nesting limit, and Span read from a value tree.
#include "lib/module_ir.hpp"

#include <gtest/gtest.h>

#include <string>

#include "lib/json_reader.hpp"

namespace veln {
namespace {

// A minimal module whose members are in field order; `replace` swaps one
// member's text for another.
const std::string kMinimal =
    R"({"ir_version":"veln_ir_v1","vm_profile":"veln_vm_v1","host_catalog_version":"veln_vm_v1_host_v1",)"
    R"("module_name":"m","source_hash":"h","imports":[],"global_declarations":[],"functions":[],)"
    R"("module_body":[],"host_dependencies":[]})";

std::string replace(std::string text, const std::string& from, const std::string& to) {
  const size_t at = text.find(from);
  EXPECT_NE(at, std::string::npos) << from;
  if (at != std::string::npos) text.replace(at, from.size(), to);
  return text;
}

std::string with_function(const std::string& function) {
  return replace(kMinimal, R"("functions":[])", R"("functions":[)" + function + "]");
}

const std::string kSpan = R"({"line":1,"col":0,"end_line":1,"end_col":5})";

std::string function_with(const std::string& span, const std::string& extra = "") {
  return R"({"node":"function","span":)" + span + R"(,"name":"f","visibility":"export",)" + extra +
         R"("parameters":[],"body":[]})";
}

// Column of the first byte after `marker`'s first occurrence (line 1 texts).
std::string at_after(const std::string& text, const std::string& marker) {
  const size_t at = text.find(marker);
  EXPECT_NE(at, std::string::npos) << marker;
  return " at line 1 column " + std::to_string(at + marker.size());
}

std::string message_of(const std::string& text) {
  auto r = read_module_ir(text);
  return r.ok() ? std::string("OK") : r.error();
}

struct ModuleCase {
  const char* name;
  std::string text;
  std::string expected;  // "OK" or the message
};

class ReadModuleIr : public ::testing::TestWithParam<ModuleCase> {};

TEST_P(ReadModuleIr, GivesTheExpectedOutcome) {
  const ModuleCase& c = GetParam();
  EXPECT_EQ(message_of(c.text), c.expected) << c.text;
}

std::vector<ModuleCase> module_cases() {
  std::vector<ModuleCase> cases;
  const auto add = [&](const char* name, std::string text, std::string expected) {
    cases.push_back({name, std::move(text), std::move(expected)});
  };
  add("Empty", "", "EOF while parsing a value at line 1 column 0");
  add("EmptyObject", "{}", "missing field `ir_version` at line 1 column 2");
  add("Minimal", kMinimal, "OK");
  add("TrailingWhitespace", kMinimal + " \n\t\r\n", "OK");
  add("TrailingCharacters", kMinimal + " x", "trailing characters" + at_after(kMinimal + " x", " x"));
  add("NotAStruct", "\"module\"", "invalid type: string \"module\", expected struct ModuleIr at line 1 column 8");
  add("NumberInsteadOfStruct", "12", "invalid type: integer `12`, expected struct ModuleIr at line 1 column 2");
  add("NullInsteadOfStruct", " null", "invalid type: null, expected struct ModuleIr at line 1 column 5");
  {
    const std::string t = replace(kMinimal, R"("imports":[],)", "");
    add("MissingImports", t, "missing field `imports` at line 1 column " + std::to_string(t.size()));
  }
  {
    const std::string t = replace(kMinimal, R"("imports":[],)", R"("imports":[],"imports":[],)");
    add("DuplicateImports", t, "duplicate field `imports`" + at_after(t, R"("imports":[],"imports")"));
  }
  {
    // The duplicate is reported before its (bad) value is looked at, and
    // before a later missing field.
    const std::string t = R"({"docstring":null,"docstring" : 5})";
    add("DuplicateOptionalAfterNull", t, "duplicate field `docstring`" + at_after(t, R"(null,"docstring")"));
  }
  {
    const std::string t = R"({"module_name":5,"imports":{}})";
    add("FirstBadValueWins", t, "invalid type: integer `5`, expected a string" + at_after(t, ":5"));
  }
  {
    const std::string t = R"({"functions":{}})";
    add("FunctionsAsMap", t, "invalid type: map, expected a sequence at line 1 column 13");
  }
  add("FunctionAsString", with_function("\"f\""),
      "invalid type: string \"f\", expected struct FunctionIr" + at_after(with_function("\"f\""), "[\"f\""));
  add("UnknownMembersSkipped",
      replace(kMinimal, R"("imports":[],)", R"("zzz":{"a":[1,2,{"b":null}],"imports":1},"imports":[],"x":"\ud800",)"),
      "OK");
  add("RepeatedUnknownMember", replace(kMinimal, R"("imports":[],)", R"("x":1,"x":2,"imports":[],)"), "OK");
  add("UnknownMemberBadSyntax", R"({"x":[1,}])", "expected value at line 1 column 9");
  add("UnknownMemberHugeNumber", replace(kMinimal, R"("imports":[],)", R"("x":1e999,"imports":[],)"), "OK");
  add("KeyWithEscapeMatchesField",
      replace(kMinimal, R"("ir_version")", R"("ir\u005fversion")"), "OK");
  add("KeyCaseMatters", replace(kMinimal, R"("ir_version")", R"("IR_version")"),
      "missing field `ir_version` at line 1 column " + std::to_string(kMinimal.size()));
  add("DocstringNull", replace(kMinimal, R"("imports":[],)", R"("docstring":null,"imports":[],)"), "OK");
  add("DocstringNumber", R"({"docstring":1})", "invalid type: integer `1`, expected a string at line 1 column 14");
  add("ImportsElementNotStruct", replace(kMinimal, R"("imports":[])", R"("imports":[true])"),
      "invalid type: boolean `true`, expected struct ImportIr" +
          at_after(replace(kMinimal, R"("imports":[])", R"("imports":[true])"), "[true"));
  add("ImportAliasNull",
      replace(kMinimal, R"("imports":[])",
              R"("imports":[{"node":"import","span":[1,0,1,8],"module":"a","alias":null}])"),
      "OK");
  {
    const std::string t = replace(kMinimal, R"("imports":[])", R"("imports":[{"node":"import","span":[1,0,1,8]}])");
    add("ImportMissingModule", t, "missing field `module`" + at_after(t, "1,8]}"));
  }
  add("SpanArrayForm", with_function(function_with("[3,4,3,10]")), "OK");
  {
    const std::string t = with_function(function_with("[3,4,3]"));
    add("SpanArrayTooShort", t, "invalid length 3, expected struct Span with 4 elements" + at_after(t, "[3,4,3]"));
  }
  {
    const std::string t = with_function(function_with("[3,4,3,10,11]"));
    add("SpanArrayTooLong", t, "trailing characters" + at_after(t, "[3,4,3,10,1"));
  }
  {
    const std::string t = with_function(function_with("[3,4,3,10,]"));
    add("SpanArrayTrailingComma", t, "trailing comma" + at_after(t, "[3,4,3,10,]"));
  }
  {
    const std::string t = with_function(function_with("[]"));
    add("SpanArrayEmpty", t, "invalid length 0, expected struct Span with 4 elements" + at_after(t, R"("span":[])"));
  }
  const std::pair<const char*, const char*> bad_lines[] = {
      {"-1", "invalid value: integer `-1`, expected u64"},
      {"1.0", "invalid type: floating point `1.0`, expected u64"},
      {"-0", "invalid type: floating point `-0.0`, expected u64"},
      {"1e16", "invalid type: floating point `1e16`, expected u64"},
      {"18446744073709551616", "invalid type: floating point `1.8446744073709552e19`, expected u64"},
      {"\"3\"", "invalid type: string \"3\", expected u64"},
      {"null", "invalid type: null, expected u64"},
      {"false", "invalid type: boolean `false`, expected u64"},
  };
  for (const auto& [value, message] : bad_lines) {
    const std::string span = std::string(R"({"line":)") + value + R"(,"col":0,"end_line":1,"end_col":5})";
    const std::string t = with_function(function_with(span));
    cases.push_back({"BadSpanLine", t, std::string(message) + at_after(t, std::string(R"("line":)") + value)});
  }
  {
    const std::string t = with_function(function_with(R"({"line":[1],"col":0,"end_line":1,"end_col":5})"));
    add("SpanLineArray", t, "invalid type: sequence, expected u64" + at_after(t, R"("line":)"));
  }
  {
    const std::string t = with_function(function_with(R"({"line":1e400})"));
    add("SpanLineOutOfRange", t, "number out of range" + at_after(t, "1e400"));
  }
  add("SpanMaxLine", with_function(function_with(R"({"line":18446744073709551615,"col":0,"end_line":1,"end_col":5})")),
      "OK");
  add("SpanUnknownMember", with_function(function_with(R"({"line":1,"col":0,"end_line":1,"end_col":5,"file":[]})")),
      "OK");
  add("DecoratorNull", with_function(function_with(kSpan, R"("decorator":null,"returns":null,"docstring":null,)")),
      "OK");
  {
    const std::string t = with_function(function_with(kSpan, R"("decorator":[],)"));
    add("DecoratorEmptyArray", t,
        "invalid length 0, expected struct DecoratorIr with 5 elements" + at_after(t, R"("decorator":[])"));
  }
  {
    const std::string params = R"("parameters":{"a":1},)";
    const std::string t = with_function(R"({"node":"function",)" + params + "\"span\":1}");
    add("ParametersAsMap", t, "invalid type: map, expected a sequence" + at_after(t, R"("parameters":)"));
  }
  return cases;
}

INSTANTIATE_TEST_SUITE_P(Table, ReadModuleIr, ::testing::ValuesIn(module_cases()),
                         [](const auto& info) { return std::string(info.param.name) + std::to_string(info.index); });

TEST(ReadModuleIr, ReadsEveryRecordAndField) {
  const std::string text =
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
      R"("host_dependencies":[{"binding":"ctx","id":"ctx.caller","kind":"context_field","category":"context"}]})";
  auto r = read_module_ir(text);
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

TEST(ReadModuleIr, WholeDocumentAsArray) {
  auto r = read_module_ir(
      R"(["veln_ir_v1","veln_vm_v1","veln_vm_v1_host_v1","m","h",null,[],[],[],[{"node":"pass"}],[]])");
  ASSERT_TRUE(r.ok()) << r.error();
  EXPECT_EQ(r->module_name, "m");
  EXPECT_FALSE(r->docstring.has_value());
  EXPECT_EQ(r->module_body.size(), 1u);
  EXPECT_EQ(message_of(R"(["veln_ir_v1","veln_vm_v1"])"),
            "invalid length 2, expected struct ModuleIr with 11 elements at line 1 column 27");
  // Optional fields must still be given in the array form.
  EXPECT_EQ(message_of(R"(["a","b","c","d","e"])"),
            "invalid length 5, expected struct ModuleIr with 11 elements at line 1 column 21");
}

std::string deep_body(size_t levels_inside_body) {
  // The outer object, "functions" array, function object and "body" array
  // are four levels; each extra level here is one array.
  std::string inner;
  for (size_t i = 0; i < levels_inside_body; ++i) inner += "[";
  for (size_t i = 0; i < levels_inside_body; ++i) inner += "]";
  return with_function(function_with(kSpan).replace(function_with(kSpan).find(R"("body":[])"), 9,
                                                     R"("body":[)" + inner + "]"));
}

TEST(ReadModuleIr, NestingLimitCountsTheWholeDocument) {
  EXPECT_EQ(message_of(deep_body(123)), "OK");
  const std::string deep = deep_body(124);
  // The 128th level is the 124th bracket inside the body.
  const size_t at = deep.find(R"("body":[)") + 8 + 123;
  EXPECT_EQ(message_of(deep), "recursion limit exceeded at line 1 column " + std::to_string(at + 1));
}

TEST(ReadModuleIr, SkippedMemberHasNoNestingLimit) {
  std::string skipped(1000000, '[');
  skipped += std::string(1000000, ']');
  EXPECT_EQ(message_of(replace(kMinimal, R"("imports":[],)", R"("deep":)" + skipped + R"(,"imports":[],)")), "OK");
  // Unclosed: a syntax fault, still no crash.
  std::string unclosed(1000000, '{');
  EXPECT_EQ(message_of(R"({"deep":)" + unclosed),
            "key must be a string at line 1 column 10");
  std::string open_arrays(1000000, '[');
  EXPECT_EQ(message_of(R"({"deep":)" + open_arrays),
            "EOF while parsing a list at line 1 column " + std::to_string(8 + open_arrays.size()));
}

TEST(ReadModuleIr, KnownMemberNestedTooDeep) {
  std::string deep(128, '[');
  EXPECT_EQ(message_of(R"({"module_body":)" + deep), "recursion limit exceeded at line 1 column 142");
}

TEST(SpanFromJsonValue, ReadsObjectsAndArrays) {
  const auto span_of = [](const char* json) {
    auto v = read_json_value(json);
    EXPECT_TRUE(v.ok()) << json;
    auto s = span_from_json_value(*v);
    return s.ok() ? std::string("OK ") + std::to_string(s->line) + "," + std::to_string(s->col) + "," +
                        std::to_string(s->end_line) + "," + std::to_string(s->end_col)
                  : s.error();
  };
  EXPECT_EQ(span_of(R"({"line":1,"col":2,"end_line":3,"end_col":4,"x":null})"), "OK 1,2,3,4");
  EXPECT_EQ(span_of("[1,2,3,4]"), "OK 1,2,3,4");
  EXPECT_EQ(span_of(R"({"line":1,"col":2,"end_line":3})"), "missing field `end_col`");
  EXPECT_EQ(span_of(R"({"col":2})"), "missing field `line`");
  EXPECT_EQ(span_of("[1,1,1,1,1]"), "invalid length 5, expected fewer elements in array");
  EXPECT_EQ(span_of("[1,-1,1,1,1]"), "invalid value: integer `-1`, expected u64");
  EXPECT_EQ(span_of("[1,1,1]"), "invalid length 3, expected struct Span with 4 elements");
  EXPECT_EQ(span_of("[1,1.0]"), "invalid type: floating point `1.0`, expected u64");
  EXPECT_EQ(span_of("\"x\""), "invalid type: string \"x\", expected struct Span");
  EXPECT_EQ(span_of("null"), "invalid type: null, expected struct Span");
  EXPECT_EQ(span_of("7"), "invalid type: integer `7`, expected struct Span");
  // Members are visited in key order: "col" before "line".
  EXPECT_EQ(span_of(R"({"line":-1,"col":"a"})"), "invalid type: string \"a\", expected u64");
  EXPECT_EQ(span_of(R"({"line":-1,"end_col":2.5})"), "invalid type: floating point `2.5`, expected u64");
  EXPECT_EQ(span_of(R"({"line":-1})"), "invalid value: integer `-1`, expected u64");
  EXPECT_EQ(span_of(R"({"line":{}})"), "invalid type: map, expected u64");
}

}  // namespace
}  // namespace veln
