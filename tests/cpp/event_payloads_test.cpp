#include "interpreter_support/event_payloads.hpp"

#include <gtest/gtest.h>

namespace veln {
namespace {

VmValue s(std::string_view t) { return VmValue::str(t); }
VmValue i(int64_t v) { return VmValue::integer(v); }
VmValue dict(std::vector<VmDictPair> pairs) { return *VmValue::make_dict(std::move(pairs)); }
std::string field_name(int k) {
  std::string name = "f";
  name += std::to_string(k);
  return name;
}
VmValue indexed_marker() { return dict({{s("idx"), VmValue::boolean(true)}}); }

// "indexed [a=1] data [b=2]" or the error message.
std::string normalize(const VmValue& schema, VmValue payload) {
  auto r = normalize_event_payload(schema, std::move(payload));
  if (!r.ok()) return r.error().message;
  std::string out = "indexed [";
  for (const auto& [name, v] : r->indexed) out += name + "=" + v.python_repr() + " ";
  out += "] data [";
  for (const auto& [name, v] : r->data) out += name + "=" + v.python_repr() + " ";
  return out + "]";
}

TEST(EventPayloads, SplitsInSchemaOrder) {
  const VmValue schema = dict({{s("a"), indexed_marker()}, {s("b"), VmValue::type_marker("int")}});
  struct Case {
    VmValue payload;
    const char* expected;
  };
  const Case cases[] = {
      {dict({{s("b"), i(2)}, {s("a"), i(1)}}), "indexed [a=1 ] data [b=2 ]"},
      {dict({{s("a"), i(1)}, {s("b"), i(2)}}), "indexed [a=1 ] data [b=2 ]"},
      {dict({{s("a"), i(1)}}), "event payload is missing key 'b'"},
      {dict({{s("a"), i(1)}, {s("b"), i(2)}, {s("c"), i(3)}}), "event payload has unexpected keys"},
      {dict({{s("a"), i(1)}, {*VmValue::make_bytes("b"), i(2)}}), "event payload is missing key 'b'"},  // bytes is not str
      {dict({}), "event payload is missing key 'a'"},
      {*VmValue::make_list({}), "event payload must be a dict, got list"},
      {VmValue::none(), "event payload must be a dict, got none"},
  };
  for (const auto& c : cases) EXPECT_EQ(normalize(schema, c.payload), c.expected);
}

TEST(EventPayloads, WhatCountsAsIndexed) {
  struct Case {
    VmValue description;
    bool indexed;
  };
  const Case cases[] = {
      {indexed_marker(), true},
      {dict({{s("idx"), i(1)}}), false},  // 1 is not True
      {dict({{s("idx"), VmValue::boolean(false)}}), false},
      {dict({{s("idx"), VmValue::float64(1.0)}}), false},
      {dict({{s("type"), VmValue::type_marker("int")}}), false},
      {dict({{s("type"), s("int")}, {s("idx"), VmValue::boolean(true)}}), true},
      {dict({{*VmValue::make_bytes("idx"), VmValue::boolean(true)}}), false},
      {dict({{s("idx"), VmValue::boolean(false)}, {s("idx"), VmValue::boolean(true)}}), false},  // the first key wins
      {VmValue::type_marker("int"), false},
      {s("idx"), false},
      {VmValue::boolean(true), false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(event_field_is_indexed(c.description), c.indexed) << c.description.diagnostic_text();
    const VmValue schema = dict({{s("f"), c.description}});
    EXPECT_EQ(normalize(schema, dict({{s("f"), i(7)}})), c.indexed ? "indexed [f=7 ] data []" : "indexed [] data [f=7 ]");
  }
}

TEST(EventPayloads, SchemaShapes) {
  EXPECT_EQ(normalize(dict({}), dict({})), "indexed [] data []");
  EXPECT_EQ(normalize(dict({}), dict({{s("a"), i(1)}})), "event payload has unexpected keys");
  EXPECT_EQ(normalize(*VmValue::make_list({}), dict({})), "event schema must be a dict, got list");
  EXPECT_EQ(normalize(VmValue::none(), VmValue::none()), "event schema must be a dict, got none");  // schema first
  EXPECT_EQ(normalize(dict({{i(1), indexed_marker()}}), dict({{i(1), i(1)}})),
            "event schema keys must be strings, got int");
  // A key is checked when its entry is reached: a missing earlier key wins.
  EXPECT_EQ(normalize(dict({{s("z"), s("")}, {i(1), s("")}}), dict({})), "event payload is missing key 'z'");
}

TEST(EventPayloads, ManyFields) {
  std::vector<VmDictPair> schema_pairs, payload_pairs;
  for (int k = 0; k < 2000; ++k) {
    schema_pairs.push_back({s(field_name(k)), k % 3 == 0 ? indexed_marker() : s("int")});
    payload_pairs.push_back({s(field_name(1999 - k)), i(1999 - k)});
  }
  auto r = normalize_event_payload(dict(std::move(schema_pairs)), dict(std::move(payload_pairs)));
  ASSERT_TRUE(r.ok());
  ASSERT_EQ(r->indexed.size() + r->data.size(), 2000u);
  EXPECT_EQ(r->indexed[1].first, "f3");
  EXPECT_EQ(r->indexed[1].second.small_int(), 3);
  EXPECT_EQ(r->data[0].first, "f1");
  EXPECT_EQ(r->data[0].second.small_int(), 1);
}

}  // namespace
}  // namespace veln
