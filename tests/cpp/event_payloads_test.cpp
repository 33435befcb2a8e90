#include "interpreter_support/event_payloads.hpp"

#include <gtest/gtest.h>

#include "value_builders.hpp"

namespace veln {
namespace {

using namespace value_builders;

std::string field_name(int k) {
  std::string name = "f";
  name += std::to_string(k);
  return name;
}
VmValue indexed_marker() { return Dict({{S("idx"), VmValue::boolean(true)}}); }

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
  const VmValue schema = Dict({{S("a"), indexed_marker()}, {S("b"), VmValue::type_marker("int")}});
  struct Case {
    VmValue payload;
    const char* expected;
  };
  const Case cases[] = {
      {Dict({{S("b"), I(2)}, {S("a"), I(1)}}), "indexed [a=1 ] data [b=2 ]"},
      {Dict({{S("a"), I(1)}, {S("b"), I(2)}}), "indexed [a=1 ] data [b=2 ]"},
      {Dict({{S("a"), I(1)}}), "event payload is missing key 'b'"},
      {Dict({{S("a"), I(1)}, {S("b"), I(2)}, {S("c"), I(3)}}), "event payload has unexpected keys"},
      {Dict({{S("a"), I(1)}, {*VmValue::make_bytes("b"), I(2)}}), "event payload is missing key 'b'"},  // bytes is not str
      {Dict({}), "event payload is missing key 'a'"},
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
      {Dict({{S("idx"), I(1)}}), false},  // 1 is not True
      {Dict({{S("idx"), VmValue::boolean(false)}}), false},
      {Dict({{S("idx"), VmValue::float64(1.0)}}), false},
      {Dict({{S("type"), VmValue::type_marker("int")}}), false},
      {Dict({{S("type"), S("int")}, {S("idx"), VmValue::boolean(true)}}), true},
      {Dict({{*VmValue::make_bytes("idx"), VmValue::boolean(true)}}), false},
      {Dict({{S("idx"), VmValue::boolean(false)}, {S("idx"), VmValue::boolean(true)}}), false},  // the first key wins
      {VmValue::type_marker("int"), false},
      {S("idx"), false},
      {VmValue::boolean(true), false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(event_field_is_indexed(c.description), c.indexed) << c.description.diagnostic_text();
    const VmValue schema = Dict({{S("f"), c.description}});
    EXPECT_EQ(normalize(schema, Dict({{S("f"), I(7)}})), c.indexed ? "indexed [f=7 ] data []" : "indexed [] data [f=7 ]");
  }
}

TEST(EventPayloads, SchemaShapes) {
  EXPECT_EQ(normalize(Dict({}), Dict({})), "indexed [] data []");
  EXPECT_EQ(normalize(Dict({}), Dict({{S("a"), I(1)}})), "event payload has unexpected keys");
  EXPECT_EQ(normalize(*VmValue::make_list({}), Dict({})), "event schema must be a dict, got list");
  EXPECT_EQ(normalize(VmValue::none(), VmValue::none()), "event schema must be a dict, got none");  // schema first
  EXPECT_EQ(normalize(Dict({{I(1), indexed_marker()}}), Dict({{I(1), I(1)}})),
            "event schema keys must be strings, got int");
  // A key is checked when its entry is reached: a missing earlier key wins.
  EXPECT_EQ(normalize(Dict({{S("z"), S("")}, {I(1), S("")}}), Dict({})), "event payload is missing key 'z'");
}

TEST(EventPayloads, ManyFields) {
  std::vector<VmDictPair> schema_pairs, payload_pairs;
  for (int k = 0; k < 2000; ++k) {
    schema_pairs.push_back({S(field_name(k)), k % 3 == 0 ? indexed_marker() : S("int")});
    payload_pairs.push_back({S(field_name(1999 - k)), I(1999 - k)});
  }
  auto r = normalize_event_payload(Dict(std::move(schema_pairs)), Dict(std::move(payload_pairs)));
  ASSERT_TRUE(r.ok());
  ASSERT_EQ(r->indexed.size() + r->data.size(), 2000u);
  EXPECT_EQ(r->indexed[1].first, "f3");
  EXPECT_EQ(r->indexed[1].second.small_int(), 3);
  EXPECT_EQ(r->data[0].first, "f1");
  EXPECT_EQ(r->data[0].second.small_int(), 1);
}

}  // namespace
}  // namespace veln
