// Type annotations from tests/data/interpreter/type_annotations.txt, one case a line:
//   parse <text> -> <source text> | None
//   check <annotation text> <value> -> ok | error: message   (label Argument 'x')
//   return <annotation text> | None <value> -> ok | error: message
#include "interpreter/type_annotations.hpp"

#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "builtin_expressions.hpp"

namespace veln {
namespace {

class NoCalls : public VmValueCaller {
 public:
  VmResult<VmValue> call_callable_value(VmValue, VmArgList, VmKwargList) override {
    return vm_error("no calls in annotation tests");
  }
};

void expect_status(const VmStatus& status, std::string_view expected) {
  if (expected == "ok") {
    EXPECT_TRUE(status.ok()) << status.error().message;
  } else {
    ASSERT_FALSE(status.ok());
    ASSERT_TRUE(expected.starts_with("error: ")) << expected;
    EXPECT_EQ(status.error().message, expected.substr(7));
  }
}

void run_case(std::string_view line) {
  const size_t verb_end = line.find(' ');
  const std::string_view verb = line.substr(0, verb_end);
  const size_t arrow = line.find(" -> ");
  ASSERT_NE(arrow, std::string_view::npos);
  const std::string_view expected = line.substr(arrow + 4);
  NoCalls caller;
  BuiltinExpressions expressions(caller);
  notation::NotationReader reader(line.substr(verb_end + 1, arrow - verb_end - 1), &expressions);
  VmResult<VmValue> text = reader.term();
  ASSERT_TRUE(text.ok()) << text.error().message;
  if (verb == "parse") {
    ASSERT_TRUE(reader.at_end());
    const std::optional<TypeAnnotation> parsed = parse_type_annotation(text->text());
    if (expected == "None") {
      EXPECT_FALSE(parsed.has_value()) << parsed->source();
    } else {
      ASSERT_TRUE(parsed.has_value());
      EXPECT_EQ(parsed->source(), notation::parse_value(expected, &expressions)->text());
    }
    return;
  }
  VmResult<VmValue> value = reader.term();
  ASSERT_TRUE(value.ok()) << value.error().message;
  ASSERT_TRUE(reader.at_end());
  if (verb == "check") {
    const std::optional<TypeAnnotation> annotation = parse_type_annotation(text->text());
    ASSERT_TRUE(annotation.has_value());
    expect_status(check_typed_value(*value, *annotation, "Argument 'x'"), expected);
  } else {
    ASSERT_EQ(verb, "return");
    std::optional<std::string> returns;
    if (text->is(VmKind::String)) returns = std::string(text->text());
    expect_status(check_function_return(returns, *value), expected);
  }
}

TEST(TypeAnnotations, Cases) {
  std::ifstream in(std::string(VELN_TEST_DATA_DIR) + "/interpreter/type_annotations.txt");
  ASSERT_TRUE(in);
  std::string line;
  int number = 0;
  while (std::getline(in, line)) {
    ++number;
    if (line.empty() || line.starts_with("#")) continue;
    SCOPED_TRACE(std::to_string(number) + ": " + line.substr(0, 200));
    run_case(line);
  }
}

// Annotations built by hand carry no resolved kind: checks look the name up.
TEST(TypeAnnotations, HandBuiltAnnotationsResolveTheirNames) {
  const TypeAnnotation list_of_int{"list", {TypeAnnotation{"int", {}}}};
  const VmValue items = *VmValue::make_list({VmValue::integer(1), VmValue::str("a")});
  EXPECT_EQ(check_typed_value(items, list_of_int, "v").error().message,
            "TypeError(\"v[1] must be <class 'int'>, got str!\")");
  EXPECT_EQ(typecheck_error("v", list_of_int, VmValue::none()).message,
            "TypeError(\"v must be list[int], got NoneType!\")");
  EXPECT_EQ(typecheck_error("v", TypeAnnotation{"Foo", {}}, VmValue::none()).message,
            "TypeError(\"v must be <class 'Foo'>, got NoneType!\")");
}

}  // namespace
}  // namespace veln
