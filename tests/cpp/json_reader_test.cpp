// Reading free JSON values: every syntax message with its position, the
// number kinds, hostile nesting and escapes, and the compact serialiser.
#include "lib/json_reader.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <string>

#include "lib/json_float_text.hpp"
#include "lib/json_value.hpp"

namespace veln {
namespace {

struct ReadCase {
  std::string text;
  std::string expected;  // the compact re-serialisation, or the message
  bool ok;
};

std::string outcome(const std::string& text) {
  auto r = read_json_value(text);
  return r.ok() ? r->to_compact_json() : r.error();
}

class ReadJsonValue : public ::testing::TestWithParam<ReadCase> {};

TEST_P(ReadJsonValue, GivesTheExpectedValueOrMessage) {
  const ReadCase& c = GetParam();
  auto r = read_json_value(c.text);
  ASSERT_EQ(r.ok(), c.ok) << c.text << " -> " << outcome(c.text);
  EXPECT_EQ(outcome(c.text), c.expected) << c.text;
}

const ReadCase kReadCases[] = {
    // Positions: empty text is column 0, otherwise the column of the byte
    // looked at, or of the last byte consumed.
    {"", "EOF while parsing a value at line 1 column 0", false},
    {"   \n  ", "EOF while parsing a value at line 2 column 2", false},
    {"[", "EOF while parsing a list at line 1 column 1", false},
    {"[1", "EOF while parsing a list at line 1 column 2", false},
    {"[1,", "EOF while parsing a value at line 1 column 3", false},
    {"{", "EOF while parsing an object at line 1 column 1", false},
    {"{\"a\"", "EOF while parsing an object at line 1 column 4", false},
    {"{\"a\":", "EOF while parsing a value at line 1 column 5", false},
    {"{\"a\":1,", "EOF while parsing a value at line 1 column 7", false},
    {"\"abc", "EOF while parsing a string at line 1 column 4", false},
    {"\"ab\\", "EOF while parsing a string at line 1 column 4", false},
    {"\"\\u12", "EOF while parsing a string at line 1 column 5", false},
    {"@", "expected value at line 1 column 1", false},
    {"[1,@]", "expected value at line 1 column 4", false},
    {"]", "expected value at line 1 column 1", false},
    {"tru", "EOF while parsing a value at line 1 column 3", false},
    {"trux", "expected ident at line 1 column 4", false},
    {"nul", "EOF while parsing a value at line 1 column 3", false},
    {"nulx", "expected ident at line 1 column 4", false},
    {"fals", "EOF while parsing a value at line 1 column 4", false},
    {"{\"a\" 1}", "expected `:` at line 1 column 6", false},
    {"[1 2]", "expected `,` or `]` at line 1 column 4", false},
    {"{\"a\":1 \"b\":2}", "expected `,` or `}` at line 1 column 8", false},
    {"{1:2}", "key must be a string at line 1 column 2", false},
    {"{,}", "key must be a string at line 1 column 2", false},
    {"[1,]", "trailing comma at line 1 column 4", false},
    {"[1, \n ]", "trailing comma at line 2 column 2", false},
    {"{\"a\":1,}", "trailing comma at line 1 column 8", false},
    {"[1] x", "trailing characters at line 1 column 5", false},
    {"{} {}", "trailing characters at line 1 column 4", false},
    {"01", "invalid number at line 1 column 2", false},
    {"-01", "invalid number at line 1 column 3", false},
    {"1.", "EOF while parsing a value at line 1 column 2", false},
    {"1.x", "invalid number at line 1 column 3", false},
    {"1e", "EOF while parsing a value at line 1 column 2", false},
    {"1e+", "EOF while parsing a value at line 1 column 3", false},
    {"1ex", "invalid number at line 1 column 3", false},
    {"-", "EOF while parsing a value at line 1 column 1", false},
    {"-x", "invalid number at line 1 column 2", false},
    {"+1", "expected value at line 1 column 1", false},
    {".5", "expected value at line 1 column 1", false},
    {"1e400", "number out of range at line 1 column 5", false},
    {"-1e400", "number out of range at line 1 column 6", false},
    {"[1.8e308]", "number out of range at line 1 column 8", false},
    {"1e99999999999999999999", "number out of range at line 1 column 12", false},
    {"\"\\x\"", "invalid escape at line 1 column 3", false},
    {"\"\\u12G4\"", "invalid escape at line 1 column 7", false},
    {"\"a\x01\"", "control character (\\u0000-\\u001F) found while parsing a string at line 1 column 3", false},
    {"\"a\nb\"", "control character (\\u0000-\\u001F) found while parsing a string at line 2 column 0", false},
    {"\"\\ud800\"", "unexpected end of hex escape at line 1 column 8", false},
    {"\"\\ud800\\n\"", "unexpected end of hex escape at line 1 column 9", false},
    {"\"\\ud800", "EOF while parsing a string at line 1 column 7", false},
    {"\"\\udc00\"", "lone leading surrogate in hex escape at line 1 column 7", false},
    {"\"\\ud800\\u0041\"", "lone leading surrogate in hex escape at line 1 column 13", false},
    {"\"\\ud800\\ud800\"", "lone leading surrogate in hex escape at line 1 column 13", false},
    {"\"\xff\"", "invalid unicode code point at line 1 column 2", false},
    {"\"\xed\xa0\x80\"", "invalid unicode code point at line 1 column 2", false},
    {"[\n1,\n@]", "expected value at line 3 column 1", false},
    // Values and their kinds.
    {" null ", "null", true},
    {"true", "true", true},
    {"[false]", "[false]", true},
    {"0", "0", true},
    {"-0", "-0.0", true},
    {"-0.0", "-0.0", true},
    {"1.0", "1.0", true},
    {"1e0", "1.0", true},
    {"1E2", "100.0", true},
    {"1e-400", "0.0", true},
    {"-1e-400", "-0.0", true},
    {"0e99999999999999999999", "0.0", true},
    {"4.9e-324", "5e-324", true},
    {"1e-310", "1e-310", true},
    {"1.7976931348623157e308", "1.7976931348623157e308", true},
    {"18446744073709551615", "18446744073709551615", true},
    {"18446744073709551616", "1.8446744073709552e19", true},
    {"-9223372036854775808", "-9223372036854775808", true},
    {"-9223372036854775809", "-9.223372036854776e18", true},
    {"-18446744073709551616", "-1.8446744073709552e19", true},
    {"123456789012345678901234567890", "1.2345678901234568e29", true},
    {"0.1", "0.1", true},
    {"1e16", "1e16", true},
    {"1e15", "1000000000000000.0", true},
    {"0.00001", "0.00001", true},
    {"0.000001", "1e-6", true},
    {"1.5e-7", "1.5e-7", true},
    {"\"\\u0000\"", "\"\\u0000\"", true},
    {"\"\\\"\\\\\\/\\b\\f\\n\\r\\t\"", "\"\\\"\\\\/\\b\\f\\n\\r\\t\"", true},
    {"\"\\u001f\\u007f\"", "\"\\u001f\x7f\"", true},
    {"\"\\ud83d\\ude00\"", "\"\xf0\x9f\x98\x80\"", true},
    {"\"\xc3\xa9\"", "\"\xc3\xa9\"", true},
    {"{\"b\":1,\"a\":2,\"b\":3}", "{\"a\":2,\"b\":3}", true},
    {"{\"a\\u0000b\":1,\"a\":2,\"\\u00e9\":0,\"B\":4}", "{\"B\":4,\"a\":2,\"a\\u0000b\":1,\"\xc3\xa9\":0}", true},
    {"{\"a\":{\"y\":1,\"x\":[]},\"a\":[{}]}", "{\"a\":[{}]}", true},
    {" [ 1 , { \"k\" : [ ] } ] \r\n\t", "[1,{\"k\":[]}]", true},
};

INSTANTIATE_TEST_SUITE_P(Table, ReadJsonValue, ::testing::ValuesIn(kReadCases));

TEST(ReadJsonValue, NumberKinds) {
  auto kind_of = [](const char* text) { return read_json_value(text)->kind(); };
  EXPECT_EQ(kind_of("1"), JsonKind::u64);
  EXPECT_EQ(kind_of("-1"), JsonKind::i64);
  EXPECT_EQ(kind_of("-0"), JsonKind::f64);
  EXPECT_EQ(kind_of("1.0"), JsonKind::f64);
  EXPECT_EQ(kind_of("18446744073709551616"), JsonKind::f64);
  auto z = read_json_value("-0");
  EXPECT_TRUE(std::signbit(z->as_f64()));
  auto big = read_json_value("18446744073709551616");
  EXPECT_EQ(big->as_f64(), 18446744073709551616.0);
}

// Calls check(input, expected) for each "input<TAB>expected" line of a
// data file written by a generator under tests/gen; returns the line count.
template <class Check>
size_t for_each_reference_line(const char* file, Check check) {
  std::ifstream in(std::string(VELN_TEST_DATA_DIR) + "/" + file);
  EXPECT_TRUE(in.good()) << file;
  std::string line;
  size_t lines = 0;
  while (std::getline(in, line)) {
    const size_t tab = line.find('\t');
    EXPECT_NE(tab, std::string::npos) << line;
    if (tab == std::string::npos) continue;
    check(line.substr(0, tab), line.substr(tab + 1));
    ++lines;
  }
  return lines;
}

// Number literals against CPython's int()/float() (tests/gen/gen_json_numbers.py).
TEST(ReadJsonValue, NumbersMatchCPythonReference) {
  const size_t checked = for_each_reference_line("json_numbers.txt", [](const std::string& literal,
                                                                        const std::string& expected) {
    auto r = read_json_value(literal);
    if (expected == "ERR") {
      ASSERT_FALSE(r.ok()) << literal;
      EXPECT_EQ(r.error(), "number out of range at line 1 column " + std::to_string(literal.size())) << literal;
    } else {
      ASSERT_TRUE(r.ok()) << literal << ": " << r.error();
      EXPECT_EQ(r->to_compact_json(), expected) << literal;
    }
  });
  EXPECT_GT(checked, 1000u);
}

// Escapes, surrogate pairs, key order and the serialiser's escapes against
// CPython's json module (tests/gen/gen_json_strings.py).
TEST(ReadJsonValue, StringsMatchCPythonReference) {
  const size_t checked =
      for_each_reference_line("json_strings.txt", [](const std::string& given, const std::string& expected) {
        auto r = read_json_value(given);
        ASSERT_TRUE(r.ok()) << given << ": " << r.error();
        EXPECT_EQ(r->to_compact_json(), expected) << given;
      });
  EXPECT_GT(checked, 500u);
}

std::string nested(size_t depth, const char* open, const char* close) {
  std::string s;
  for (size_t i = 0; i < depth; ++i) s += open;
  for (size_t i = 0; i < depth; ++i) s += close;
  return s;
}

TEST(ReadJsonValue, NestingLimitIs127Levels) {
  EXPECT_TRUE(read_json_value(nested(127, "[", "]")).ok());
  EXPECT_EQ(read_json_value(nested(128, "[", "]")).error(), "recursion limit exceeded at line 1 column 128");
  std::string objects;
  for (int i = 0; i < 127; ++i) objects += "{\"a\":";
  objects += "1";
  for (int i = 0; i < 127; ++i) objects += "}";
  EXPECT_TRUE(read_json_value(objects).ok());
  EXPECT_EQ(read_json_value("[" + objects + "]").error(), "recursion limit exceeded at line 1 column 632");
}

TEST(ReadJsonValue, HugeNestingFailsWithoutCrashing) {
  EXPECT_EQ(read_json_value(nested(1000000, "[", "]")).error(), "recursion limit exceeded at line 1 column 128");
}

TEST(ReadJsonValue, LastRepeatedKeyWins) {
  auto v = read_json_value("{\"k\":1,\"k\":\"two\"}");
  ASSERT_TRUE(v.ok());
  ASSERT_EQ(v->as_object().size(), 1u);
  EXPECT_EQ(*v->find_string("k"), "two");
}

TEST(JsonValue, LookupByExactKeyBytes) {
  auto v = read_json_value(
      "{\"a\":1,\"a\\u0000\":2,\"A\":3,\"k0\":0,\"k1\":1,\"k2\":2,\"k3\":3,\"k4\":4,\"k5\":5,\"k6\":6,\"k7\":7}");
  ASSERT_TRUE(v.ok());
  EXPECT_EQ(v->find("a")->as_u64(), 1u);
  EXPECT_EQ(v->find(std::string_view("a\0", 2))->as_u64(), 2u);
  EXPECT_EQ(v->find("A")->as_u64(), 3u);
  EXPECT_EQ(v->find("k7")->as_u64(), 7u);
  EXPECT_EQ(v->find("b"), nullptr);
  EXPECT_EQ(v->find_string("a"), nullptr);
  EXPECT_EQ(JsonValue::make_u64(1).find("a"), nullptr);
}

TEST(JsonValue, MakeObjectSortsAndKeepsTheLastRepeat) {
  JsonValue::Object members;
  for (int i = 40; i >= 0; --i) {
    std::string key = "k";
    key += std::to_string(i % 20);
    members.emplace_back(std::move(key), JsonValue::make_i64(i));
  }
  const JsonValue v = JsonValue::make_object(std::move(members));
  ASSERT_EQ(v.as_object().size(), 20u);
  for (size_t i = 1; i < v.as_object().size(); ++i) EXPECT_LT(v.as_object()[i - 1].first, v.as_object()[i].first);
  EXPECT_EQ(v.find("k0")->as_i64(), 0);
  EXPECT_EQ(v.find("k19")->as_i64(), 19);
}

TEST(JsonValue, CopiesAreDeepAndIndependent) {
  auto parsed = read_json_value("{\"a\":[1,\"long string beyond the small buffer\",{\"b\":null}],\"c\":-2.5}");
  ASSERT_TRUE(parsed.ok());
  JsonValue original = *parsed;
  JsonValue copy = original;
  EXPECT_EQ(copy, original);
  JsonValue::Array& items = const_cast<JsonValue::Array&>(*copy.find_array("a"));
  items[1].as_string() += "!";
  items.push_back(JsonValue::make_bool(true));
  EXPECT_NE(copy, original);
  EXPECT_EQ(original.to_compact_json(), parsed->to_compact_json());
  JsonValue assigned;
  assigned = original;
  assigned = assigned;  // self-assignment keeps the value
  EXPECT_EQ(assigned, original);
  JsonValue moved = std::move(assigned);
  EXPECT_EQ(moved, original);
  assigned = JsonValue::make_u64(7);  // a moved-from value can be reused
  EXPECT_EQ(assigned.as_u64(), 7u);
  EXPECT_NE(JsonValue::make_u64(1), JsonValue::make_i64(1));
  EXPECT_NE(JsonValue::make_u64(1), JsonValue::make_f64(1.0));
}

TEST(JsonValueDeathTest, WrongKindAccessAborts) {
  EXPECT_DEATH((void)JsonValue::make_u64(1).as_string(), "");
}

TEST(JsonValue, NonFiniteFloatsSerialiseAsNull) {
  EXPECT_EQ(JsonValue::make_f64(INFINITY).to_compact_json(), "null");
  EXPECT_EQ(JsonValue::make_f64(NAN).to_compact_json(), "null");
}

TEST(JsonFloatText, ShortestRoundTripLayout) {
  const std::pair<double, const char*> cases[] = {
      {0.0, "0.0"}, {-0.0, "-0.0"}, {3.0, "3.0"}, {1.5, "1.5"}, {123.456, "123.456"},
      {1e16, "1e16"}, {1.5e16, "1.5e16"}, {9007199254740993.0, "9007199254740992.0"},
      {18446744073709551616.0, "1.8446744073709552e19"}, {1e300, "1e300"}, {0.0001, "0.0001"},
      {0.00001, "0.00001"}, {0.000012345, "0.000012345"}, {1e-6, "1e-6"}, {5e-324, "5e-324"},
      {-2.5e-10, "-2.5e-10"}, {1.7976931348623157e308, "1.7976931348623157e308"}, {100.0, "100.0"},
  };
  for (const auto& [d, text] : cases) EXPECT_EQ(json_float_text(d), text);
}

TEST(DescribeJsonValue, FoundValueTexts) {
  EXPECT_EQ(describe_json_value(JsonValue()), "null");
  EXPECT_EQ(describe_json_value(JsonValue::make_bool(false)), "boolean `false`");
  EXPECT_EQ(describe_json_value(JsonValue::make_i64(-3)), "integer `-3`");
  EXPECT_EQ(describe_json_value(JsonValue::make_f64(3.0)), "floating point `3.0`");
  EXPECT_EQ(describe_json_value(JsonValue::make_string("a\"b\\c\n\x01\xc2\x85\xc3\xa9")),
            "string \"a\\\"b\\\\c\\n\\u{1}\\u{85}\xc3\xa9\"");
  EXPECT_EQ(describe_json_value(JsonValue::make_array({})), "sequence");
  EXPECT_EQ(describe_json_value(JsonValue::make_object({})), "map");
}

}  // namespace
}  // namespace veln
