#include "interpreter_support/ir_argument_readers.hpp"

#include <gtest/gtest.h>

#include <cmath>

#include "lib/json_reader.hpp"
#include "values/vm_decimal.hpp"

namespace veln {
namespace {

JsonValue json(std::string_view text) {
  auto r = read_json_value(text);
  EXPECT_TRUE(r.ok()) << text;
  return r.ok() ? std::move(r).value() : JsonValue();
}

template <class T>
std::string error_of(const VmResult<T>& r) {
  return r.ok() ? std::string("ok") : r.error().message;
}

TEST(IrFieldReaders, KindsAndMessages) {
  const JsonValue obj = json(
      R"({"s":"text","n":5,"null":null,"arr":[1,2],"obj":{},"f":2.5,"neg":-9223372036854775808,)"
      R"("big":18446744073709551615,"t":true})");
  // required_value: any kind, null included; only absence fails.
  ASSERT_TRUE(required_value(obj, "null").ok());
  EXPECT_TRUE((*required_value(obj, "null"))->is_null());
  EXPECT_EQ(error_of(required_value(obj, "id")), "missing field 'id'");
  EXPECT_EQ(error_of(required_value(json("[1]"), "id")), "missing field 'id'");  // not an object

  struct KindCase {
    const char* key;
    bool string, array, f64;
  };
  const KindCase kinds[] = {
      {"s", true, false, false},     {"n", false, false, true},    {"null", false, false, false},
      {"arr", false, true, false},   {"obj", false, false, false}, {"f", false, false, true},
      {"neg", false, false, true},   {"big", false, false, true},  {"t", false, false, false},
      {"absent", false, false, false},
  };
  for (const auto& k : kinds) {
    const std::string key = k.key;
    EXPECT_EQ(error_of(required_string(obj, key)), k.string ? "ok" : "field '" + key + "' must be a string");
    EXPECT_EQ(error_of(required_array(obj, key)), k.array ? "ok" : "field '" + key + "' must be an array");
    EXPECT_EQ(error_of(required_f64(obj, key)), k.f64 ? "ok" : "field '" + key + "' must be a float");
    EXPECT_EQ(optional_string(obj, key).has_value(), k.string) << key;
  }
  EXPECT_EQ(*required_string(obj, "s"), "text");
  EXPECT_EQ(required_array(obj, "arr")->size(), 2u);
  EXPECT_EQ(*optional_string(obj, "s"), "text");
  EXPECT_EQ(error_of(required_string(json(R"({"id":5})"), "id")), "field 'id' must be a string");
  EXPECT_EQ(error_of(required_string(json(R"({})"), "id")), "field 'id' must be a string");
}

TEST(IrFieldReaders, Floats) {
  const JsonValue obj = json(R"({"a":3,"b":18446744073709551615,"c":-5,"d":0.1,"e":"3.0","f":-0.0,"g":1e308})");
  EXPECT_EQ(*required_f64(obj, "a"), 3.0);
  EXPECT_EQ(*required_f64(obj, "b"), 18446744073709551616.0);
  EXPECT_EQ(*required_f64(obj, "c"), -5.0);
  EXPECT_EQ(*required_f64(obj, "d"), 0.1);
  EXPECT_EQ(error_of(required_f64(obj, "e")), "field 'e' must be a float");
  EXPECT_TRUE(std::signbit(*required_f64(obj, "f")));
  EXPECT_EQ(*required_f64(obj, "g"), 1e308);
  // 2^53 + 1 rounds to even.
  EXPECT_EQ(*required_f64(json(R"({"v":9007199254740993})"), "v"), 9007199254740992.0);
}

TEST(IrFieldReaders, BigIntegers) {
  struct Case {
    const char* json_value;
    const char* expected;  // decimal text, or nullptr for the error
  };
  const Case cases[] = {
      {"12", "12"},
      {"0", "0"},
      {"-9223372036854775808", "-9223372036854775808"},
      {"18446744073709551615", "18446744073709551615"},
      {"1.0", nullptr},
      {"1e3", nullptr},
      {"-0.0", nullptr},
      {R"("123456789012345678901234567890")", "123456789012345678901234567890"},
      {R"("-123456789012345678901234567890")", "-123456789012345678901234567890"},
      {R"("+5")", "5"},
      {R"("-0")", "0"},
      {R"("1_000")", "1000"},
      {R"("1__0")", "10"},
      {R"("7_")", "7"},
      {R"("-1_2")", "-12"},
      {R"("-+5")", nullptr},
      {R"("++5")", nullptr},
      {R"("--5")", nullptr},
      {R"("")", nullptr},
      {R"("-")", nullptr},
      {R"("_1")", nullptr},
      {R"("-_1")", nullptr},
      {R"(" 1")", nullptr},
      {R"("1 ")", nullptr},
      {R"("0x10")", nullptr},
      {R"("1.5")", nullptr},
      {R"("١")", nullptr},  // Arabic-Indic digit one
      {"null", nullptr},
      {"true", nullptr},
      {"[1]", nullptr},
  };
  for (const auto& c : cases) {
    const JsonValue obj = json(std::string(R"({"value":)") + c.json_value + "}");
    auto r = required_bigint(obj, "value");
    if (c.expected == nullptr) {
      EXPECT_EQ(error_of(r), "field 'value' must be an int") << c.json_value;
    } else {
      ASSERT_TRUE(r.ok()) << c.json_value;
      EXPECT_EQ(r->get_str(), c.expected) << c.json_value;
    }
  }
  EXPECT_EQ(error_of(required_bigint(json("{}"), "value")), "field 'value' must be an int");
}

TEST(IrFieldReaders, AsObjectQuotesTheValue) {
  struct Case {
    const char* json_value;
    const char* message;
  };
  const Case cases[] = {
      {"[1,2]", "target must be an object, got [1,2]"},
      {"[1, 2]", "target must be an object, got [1,2]"},
      {"null", "target must be an object, got null"},
      {"true", "target must be an object, got true"},
      {R"("x\"y")", R"(target must be an object, got "x\"y")"},
      {"-3", "target must be an object, got -3"},
      {"2.5", "target must be an object, got 2.5"},
      {R"([{"a":[]}])", R"(target must be an object, got [{"a":[]}])"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(error_of(as_object(json(c.json_value), "target")), c.message);
  }
  const JsonValue obj = json(R"({"node":"name"})");
  ASSERT_TRUE(as_object(obj, "target").ok());
  EXPECT_EQ(*as_object(obj, "target"), &obj);
}

TEST(CallArgumentReaders, StringLists) {
  const VmValue a = VmValue::str("a"), b = VmValue::str("b");
  auto tuple = as_string_list(*VmValue::make_tuple({a, b}), "public_inputs");
  ASSERT_TRUE(tuple.ok());
  EXPECT_EQ(*tuple, (std::vector<std::string_view>{"a", "b"}));
  EXPECT_TRUE(as_string_list(*VmValue::make_list({}), "x")->empty());
  const std::string message = "public_inputs must be a list of strings";
  EXPECT_EQ(error_of(as_string_list(*VmValue::make_list({a, VmValue::integer(1)}), "public_inputs")), message);
  EXPECT_EQ(error_of(as_string_list(VmValue::str("ab"), "public_inputs")), message);
  EXPECT_EQ(error_of(as_string_list(*VmValue::make_set({a}), "public_inputs")), message);
  EXPECT_EQ(error_of(as_string_list(*VmValue::make_list({*VmValue::make_bytes("a")}), "public_inputs")), message);
  EXPECT_EQ(error_of(as_string_list(*VmValue::make_list({*VmValue::make_list({a})}), "commitments")),
            "commitments must be a list of strings");
}

TEST(CallArgumentReaders, PositionalOrKeyword) {
  const std::vector<VmValue> two = {VmValue::integer(1), VmValue::integer(2)};
  const std::vector<VmValue> three = {VmValue::integer(1), VmValue::integer(2), VmValue::integer(3)};
  const std::vector<VmKeywordArg> day5 = {{"day", VmValue::integer(5)}};
  EXPECT_EQ(*positional_or_keyword_i64(two, day5, 2, "day"), 5);
  EXPECT_EQ(*positional_or_keyword_i64(three, day5, 2, "day"), 3);
  EXPECT_EQ(error_of(positional_or_keyword_i64(two, {}, 2, "day")), "missing required argument 'day'");
  EXPECT_EQ(error_of(positional_or_keyword_i64(two, std::vector<VmKeywordArg>{{"Day", VmValue::integer(5)}}, 2, "day")),
            "missing required argument 'day'");
  EXPECT_FALSE(optional_positional_or_keyword_i64(two, {}, 2, "day")->has_value());
  EXPECT_EQ(**optional_positional_or_keyword_i64(two, day5, 2, "day"), 5);
  const std::vector<VmKeywordArg> first_wins = {{"day", VmValue::integer(6)}, {"day", VmValue::integer(7)}};
  EXPECT_EQ(*positional_or_keyword_i64({}, first_wins, 0, "day"), 6);

  struct ConvCase {
    VmValue value;
    const char* expected;  // value as text or the message
  };
  mpz_class two63 = mpz_class(1) << 63;
  const ConvCase conversions[] = {
      {VmValue::boolean(true), "1"},
      {VmValue::boolean(false), "0"},
      {VmValue::integer(INT64_MIN), "-9223372036854775808"},
      {VmValue::integer(two63), "integer value exceeds the supported i64 range"},
      {VmValue::decimal(*VmDecimal::from_str_literal("-2.9")), "-2"},
      {VmValue::decimal(*VmDecimal::from_str_literal("10000000000000000000.5")),
       "decimal value 10000000000000000000.5 exceeds the supported i64 range"},
      {VmValue::float64(1.0), "expected int-compatible value, got float"},
      {VmValue::str("5"), "expected int-compatible value, got str"},
      {VmValue::none(), "expected int-compatible value, got none"},
  };
  for (const auto& c : conversions) {
    auto r = positional_or_keyword_i64(std::vector<VmValue>{c.value}, {}, 0, "x");
    EXPECT_EQ(r.ok() ? std::to_string(*r) : r.error().message, c.expected);
    auto o = optional_positional_or_keyword_i64({}, std::vector<VmKeywordArg>{{"x", c.value}}, 0, "x");
    EXPECT_EQ(o.ok() ? std::to_string(**o) : o.error().message, c.expected);
  }
}

TEST(CallArgumentReaders, ContractImportName) {
  const VmValue a = VmValue::str("a"), b = VmValue::str("b"), c = VmValue::str("c");
  struct Case {
    std::vector<VmValue> args;
    std::vector<VmKeywordArg> kwargs;
    const char* expected;
  };
  const Case cases[] = {
      {{a}, {}, "a"},
      {{a, VmValue::integer(5)}, {}, "a"},  // further positions ignored
      {{a}, {{"name", b}}, "b"},
      {{a}, {{"name", b}, {"module", c}}, "c"},
      {{}, {{"module", c}, {"module", a}}, "c"},
      {{}, {{"other", c}}, "contract.import expects a module name"},
      {{}, {}, "contract.import expects a module name"},
      {{VmValue::integer(1)}, {}, "expected string value, got int"},
      {{a}, {{"module", VmValue::none()}}, "expected string value, got none"},
      {{a}, {{"name", *VmValue::make_bytes("x")}}, "expected string value, got bytes"},
  };
  for (const auto& k : cases) {
    auto r = resolve_contract_import_arg(k.args, k.kwargs);
    EXPECT_EQ(r.ok() ? *r : r.error().message, k.expected);
  }
}

TEST(CallArgumentReaders, ArityAndStringArguments) {
  const std::vector<VmValue> one = {VmValue::str("x")};
  EXPECT_TRUE(expect_positional_count(one, {}, 1, "f() expects one argument").ok());
  EXPECT_EQ(error_of(expect_positional_count(one, {}, 2, "f() expects two")), "f() expects two");
  EXPECT_EQ(error_of(expect_positional_count(one, std::vector<VmKeywordArg>{{"", VmValue::none()}}, 1, "m")), "m");
  EXPECT_EQ(*string_arg(VmValue::str("abc")), "abc");
  EXPECT_EQ(error_of(string_arg(VmValue::type_marker("str"))), "expected string value, got type_marker");
  EXPECT_EQ(error_of(string_arg(*VmValue::make_bytearray(""))), "expected string value, got bytearray");
}

TEST(ContextValues, OptionalTexts) {
  EXPECT_TRUE(option_string_value(std::nullopt).is(VmKind::None));
  const VmValue s = option_string_value(std::string("alice"));
  ASSERT_TRUE(s.is(VmKind::String));
  EXPECT_EQ(s.text(), "alice");
  auto none = option_entry_value(std::nullopt);
  ASSERT_TRUE(none.ok());
  EXPECT_TRUE(none->is(VmKind::None));
  auto entry = option_entry_value(std::make_pair(std::string("token"), std::string("transfer")));
  ASSERT_TRUE(entry.ok());
  ASSERT_TRUE(entry->is(VmKind::Tuple));
  ASSERT_EQ(entry->item_count(), 2u);
  EXPECT_TRUE(entry->item(0).is(VmKind::String));
  EXPECT_EQ(entry->item(0).text(), "token");
  EXPECT_EQ(entry->item(1).text(), "transfer");
}

}  // namespace
}  // namespace veln
