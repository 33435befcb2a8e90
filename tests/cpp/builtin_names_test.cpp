#include "interpreter_support/builtin_names.hpp"

#include <gtest/gtest.h>

#include "interpreter_support/native_attributes.hpp"
#include "values/vm_datetime.hpp"
#include "value_builders.hpp"

namespace veln {
namespace {

using namespace value_builders;

VmValue b(std::string_view name) { return VmValue::builtin(name); }
VmValue tm(std::string_view name) { return VmValue::type_marker(name); }

TEST(BuiltinNames, Resolution) {
  const char* builtins[] = {"abs",   "all",     "any",    "ascii", "bin",        "bool",       "bytearray",
                            "bytes", "chr",     "dict",   "divmod", "filter",    "float",      "format",
                            "frozenset", "hex", "int",    "isinstance", "issubclass", "len",  "list",
                            "map",   "max",     "min",    "oct",   "ord",        "pow",        "range",
                            "reversed", "round", "set",   "sorted", "str",       "sum",        "tuple",
                            "zip",   "Exception"};
  EXPECT_EQ(std::size(builtins), 37u);
  for (const char* name : builtins) {
    auto v = builtin_name_value(name);
    ASSERT_TRUE(v.has_value()) << name;
    EXPECT_TRUE(v->eq(b(name))) << name;
  }
  EXPECT_TRUE(builtin_name_value("Any")->eq(tm("Any")));
  EXPECT_TRUE(builtin_name_value("decimal")->eq(tm("decimal")));
  for (const char* name : {"ValueError", "print", "LEN", "", "datetime", "len "}) {
    EXPECT_FALSE(builtin_name_value(name).has_value()) << name;
  }
}

TEST(BuiltinNames, Isinstance) {
  const VmValue dt = VmValue::datetime(VmDateTime());
  struct Case {
    VmValue value;
    VmValue cls;
    bool expected;
  };
  const std::vector<Case> cases = {
      {VmValue::boolean(true), b("int"), false},
      {VmValue::boolean(true), b("bool"), true},
      {VmValue::integer(1), Tuple({b("str"), Tuple({b("bytes"), b("int")})}), true},
      {VmValue::integer(1), Tuple({}), false},
      {VmValue::integer(1), VmValue::integer(5), false},
      {VmValue::integer(1), tm("Any"), true},
      {VmValue::none(), tm("Any"), true},
      {dt, tm("datetime.datetime"), true},
      {dt, tm("datetime"), false},
      {VmValue::timedelta_seconds(1), tm("datetime.timedelta"), true},
      {*VmValue::make_bytearray("x"), b("bytes"), false},
      {*VmValue::make_bytearray("x"), b("bytearray"), true},
      {*VmValue::make_frozenset({}), b("set"), false},
      {VmValue::float64(1.0), b("float"), true},
      {VmValue::str("s"), b("len"), false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(type_matches(c.value, c.cls), c.expected) << c.value.diagnostic_text() << " vs " << c.cls.python_repr();
  }
}

TEST(BuiltinNames, Issubclass) {
  EXPECT_TRUE(*issubclass_matches(b("bool"), b("int")));
  EXPECT_FALSE(*issubclass_matches(b("int"), b("bool")));
  EXPECT_TRUE(*issubclass_matches(Tuple({b("str"), b("int")}), tm("Any")));
  EXPECT_FALSE(*issubclass_matches(Tuple({}), tm("Any")));
  EXPECT_TRUE(*issubclass_matches(b("str"), Tuple({b("int"), Tuple({b("str")})})));
  EXPECT_EQ(issubclass_matches(b("int"), VmValue::integer(5)).error().message,
            "issubclass() arg 1 must be a class or tuple of classes, got int");
  EXPECT_EQ(issubclass_matches(VmValue::str("x"), b("int")).error().message,
            "issubclass() arg 1 must be a class or tuple of classes, got str");
  auto names = type_marker_names(Tuple({b("str"), Tuple({tm("Any")})}));
  ASSERT_TRUE(names.ok());
  EXPECT_EQ(*names, (std::vector<std::string>{"str", "Any"}));
}

TEST(BuiltinNames, CoerceTypeMarker) {
  for (const char* name : {"str", "int", "set", "bool", "list", "dict", "float", "bytes", "tuple", "bytearray",
                           "frozenset"}) {
    EXPECT_TRUE(coerce_type_marker(b(name)).eq(tm(name))) << name;
  }
  EXPECT_TRUE(coerce_type_marker(b("len")).eq(b("len")));
  EXPECT_TRUE(coerce_type_marker(tm("Any")).eq(tm("Any")));
  EXPECT_TRUE(coerce_type_marker(VmValue::str("int")).eq(VmValue::str("int")));
}

TEST(NativeAttributes, DateTimeFields) {
  const VmValue dt = VmValue::datetime(*VmDateTime::make(2024, 2, 29, 13, 14, 15, 123456));
  const std::vector<std::pair<const char*, int64_t>> expected = {
      {"year", 2024}, {"month", 2}, {"day", 29}, {"hour", 13}, {"minute", 14}, {"second", 15}, {"microsecond", 123456}};
  for (const auto& [name, v] : expected) {
    auto r = native_attribute_value(dt, name);
    ASSERT_TRUE(r.ok()) << name;
    EXPECT_TRUE(r->eq(VmValue::integer(v))) << name;
  }
  EXPECT_EQ(native_attribute_value(dt, "weekday").error().message, "datetime has no attribute 'weekday'");
}

TEST(NativeAttributes, TimeDeltaTruncatesTowardZero) {
  struct Case {
    int64_t seconds;
    const char* name;
    int64_t expected;
  };
  const std::vector<Case> cases = {
      {-1, "days", 0},          {-86401, "days", -1},        {-3600, "hours", -1},     {-59, "minutes", 0},
      {-90061, "days", -1},     {-90061, "hours", -25},      {-90061, "minutes", -1501}, {-90061, "seconds", -90061},
      {1209600, "weeks", 2},    {INT64_MIN, "seconds", INT64_MIN}, {INT64_MIN, "weeks", INT64_MIN / 604800},
  };
  for (const auto& c : cases) {
    auto r = native_attribute_value(VmValue::timedelta_seconds(c.seconds), c.name);
    ASSERT_TRUE(r.ok());
    EXPECT_TRUE(r->eq(VmValue::integer(c.expected))) << c.seconds << " " << c.name;
  }
  EXPECT_EQ(native_attribute_value(VmValue::timedelta_seconds(1), "microseconds").error().message,
            "timedelta has no attribute 'microseconds'");
  EXPECT_EQ(native_attribute_value(VmValue::integer(1), "year").error().message,
            "value of type int has no native attribute 'year'");
}

}  // namespace
}  // namespace veln
