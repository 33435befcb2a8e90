// Free JSON values: the cases of ir/json_reader.cases, CPython's number and
// string readings (gen_json_numbers.py, gen_json_strings.py), hostile
// nesting, and the value type's lookups, ordering and copies.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "case_file.hpp"
#include "lib/json_float_text.hpp"
#include "lib/json_reader.hpp"
#include "lib/json_value.hpp"

namespace veln {
namespace {

using namespace cases;

TEST(ReadJsonValue, Cases) {
  run_case_file("ir/json_reader.cases",
                {
                    {"read",
                     [](const Case& c) -> Outcome {
                       const auto r = read_json_value(c[0].text());
                       if (!r.ok()) return vm_error(r.error());
                       return outcome(r->to_compact_json());
                     }},
                    {"number_kind",
                     [](const Case& c) {
                       constexpr const char* kNames[] = {"null", "boolean", "u64", "i64", "f64", "string", "array", "object"};
                       return outcome(kNames[static_cast<int>(read_json_value(c[0].text())->kind())]);
                     }},
                    {"float_text", [](const Case& c) { return outcome(json_float_text(c[0].float_value())); }},
                    {"float_json", [](const Case& c) { return outcome(JsonValue::make_f64(c[0].float_value()).to_compact_json()); }},
                    {"describe", [](const Case& c) { return outcome(describe_json_value(*read_json_value(c[0].text()))); }},
                });
}

// "<literal>\t<compact text or ERR>" against CPython's int()/float().
TEST(ReadJsonValue, NumbersMatchCPython) {
  size_t checked = 0;
  for (const auto& row : data_rows("json_numbers.txt", '\t')) {
    const auto r = read_json_value(row[0]);
    const std::string want = row[1] == "ERR" ? "number out of range at line 1 column " + std::to_string(row[0].size())
                                             : row[1];
    EXPECT_EQ(r.ok() ? r->to_compact_json() : r.error(), want) << row[0];
    ++checked;
  }
  EXPECT_GT(checked, 1000u);
}

// Escapes, surrogate pairs, key order and the writer's escapes against
// CPython's json module: "<given>\t<compact>".
TEST(ReadJsonValue, StringsMatchCPython) {
  size_t checked = 0;
  for (const auto& row : data_rows("json_strings.txt", '\t')) {
    const auto r = read_json_value(row[0]);
    EXPECT_EQ(r.ok() ? r->to_compact_json() : r.error(), row[1]) << row[0];
    ++checked;
  }
  EXPECT_GT(checked, 500u);
}

std::string nested(size_t depth, std::string_view open, std::string_view close) {
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
  objects.append("1").append(127, '}');
  EXPECT_TRUE(read_json_value(objects).ok());
  EXPECT_EQ(read_json_value(std::string("[").append(objects).append("]")).error(), "recursion limit exceeded at line 1 column 632");
  EXPECT_EQ(read_json_value(nested(1000000, "[", "]")).error(), "recursion limit exceeded at line 1 column 128");
}

TEST(JsonValue, LookupByExactKeyBytes) {
  const auto v = read_json_value(
      "{\"a\":1,\"a\\u0000\":2,\"A\":3,\"k0\":0,\"k1\":1,\"k2\":2,\"k3\":3,\"k4\":4,\"k5\":5,\"k6\":6,\"k7\":7}");
  ASSERT_TRUE(v.ok());
  EXPECT_EQ(v->find("a")->as_u64(), 1u);
  EXPECT_EQ(v->find(std::string_view("a\0", 2))->as_u64(), 2u);
  EXPECT_EQ(v->find("A")->as_u64(), 3u);
  EXPECT_EQ(v->find("k7")->as_u64(), 7u);
  EXPECT_EQ(v->find("b"), nullptr);
  EXPECT_EQ(v->find_string("a"), nullptr);
  EXPECT_EQ(JsonValue::make_u64(1).find("a"), nullptr);
  EXPECT_EQ(*read_json_value("{\"k\":1,\"k\":\"two\"}")->find_string("k"), "two");  // the last repeat wins
}

TEST(JsonValue, MakeObjectSortsAndKeepsTheLastRepeat) {
  JsonValue::Members members;
  for (int i = 40; i >= 0; --i) members.emplace_back(std::string("k").append(std::to_string(i % 20)), JsonValue::make_i64(i));
  const JsonValue v = JsonValue::make_object(std::move(members));
  ASSERT_EQ(v.as_object().size(), 20u);
  for (size_t i = 1; i < v.as_object().size(); ++i) EXPECT_LT(v.as_object()[i - 1].first, v.as_object()[i].first);
  EXPECT_EQ(v.find("k0")->as_i64(), 0);
  EXPECT_EQ(v.find("k19")->as_i64(), 19);
}

// A read object may keep its text order inside; every reader sees one
// member per key, and a listing sees them sorted.
TEST(JsonValue, ReadObjectsListSortedAndVisitEachKeyOnce) {
  const auto read = read_json_value("{\"line\":1,\"col\":2,\"end_line\":3,\"end_col\":4}");
  ASSERT_TRUE(read.ok());
  const auto visited_keys = [](const JsonValue& object) {
    std::vector<std::string> keys;
    object.for_each_member([&](std::string_view key, const JsonValue&) { keys.emplace_back(key); });
    std::sort(keys.begin(), keys.end());
    return keys;
  };
  EXPECT_EQ(visited_keys(*read), (std::vector<std::string>{"col", "end_col", "end_line", "line"}));
  EXPECT_EQ(read->find("end_line")->as_u64(), 3u);
  const JsonValue built = JsonValue::make_object({{"end_col", JsonValue::make_u64(4)},
                                                  {"line", JsonValue::make_u64(1)},
                                                  {"end_line", JsonValue::make_u64(3)},
                                                  {"col", JsonValue::make_u64(2)}});
  EXPECT_EQ(*read, built);
  EXPECT_EQ(read->as_object().front().first, "col");
  const auto repeated = read_json_value("{\"b\":1,\"a\":2,\"b\":3}");
  ASSERT_TRUE(repeated.ok());
  EXPECT_EQ(visited_keys(*repeated), (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(repeated->find("b")->as_u64(), 3u);
}

TEST(JsonValue, CopiesAreDeepAndIndependent) {
  const auto parsed = read_json_value("{\"a\":[1,\"long string beyond the small buffer\",{\"b\":null}],\"c\":-2.5}");
  ASSERT_TRUE(parsed.ok());
  const JsonValue original = *parsed;
  JsonValue copy = original;
  EXPECT_EQ(copy, original);
  JsonValue::Elements items = copy.find("a")->elements_copy();
  items[1] = JsonValue::make_string(items[1].as_string().str() + "!");
  items.push_back(JsonValue::make_bool(true));
  JsonValue::Members members = copy.members_copy();
  members.front().second = JsonValue::make_array(std::move(items));
  copy = JsonValue::make_sorted_object(std::move(members));
  EXPECT_NE(copy, original);
  EXPECT_EQ(original.to_compact_json(), parsed->to_compact_json());
  // A copy owns its storage: it outlives the value it was taken from.
  auto source = std::make_unique<JsonValue>(original);
  const JsonValue survivor = *source;
  source.reset();
  EXPECT_EQ(survivor, original);
  JsonValue assigned;
  assigned = original;
  assigned = assigned;  // self-assignment keeps the value
  EXPECT_EQ(assigned, original);
  const JsonValue moved = std::move(assigned);
  EXPECT_EQ(moved, original);
  assigned = JsonValue::make_u64(7);  // a moved-from value can be reused
  EXPECT_EQ(assigned.as_u64(), 7u);
  EXPECT_NE(JsonValue::make_u64(1), JsonValue::make_i64(1));
  EXPECT_NE(JsonValue::make_u64(1), JsonValue::make_f64(1.0));
}

TEST(JsonValueDeathTest, WrongKindAccessAborts) { EXPECT_DEATH((void)JsonValue::make_u64(1).as_string(), ""); }

}  // namespace
}  // namespace veln
