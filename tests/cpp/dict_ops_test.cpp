// Key-wise dict insertion: structural key match (1, 1.0, True and decimal 1
// are four keys), replacement in place keeping the stored key, appending,
// large dicts through the index, limits, and no sharing with the input.
#include "interpreter_support/dict_ops.hpp"

#include <gtest/gtest.h>

#include <limits>
#include <string>

#include "value_builders.hpp"
#include "values/vm_decimal.hpp"

namespace veln {
namespace {

using namespace value_builders;

VmValue set(VmValue d, VmValue k, VmValue v) {
  auto r = dict_set(std::move(d), std::move(k), std::move(v));
  EXPECT_TRUE(r.ok()) << r.error().message;
  return std::move(r).value();
}

TEST(DictSet, FourDistinctKeys) {
  VmValue d = *VmValue::make_dict({});
  d = set(std::move(d), I(1), S("int"));
  d = set(std::move(d), VmValue::float64(1.0), S("float"));
  d = set(std::move(d), VmValue::boolean(true), S("bool"));
  d = set(std::move(d), VmValue::decimal(*VmDecimal::from_str_literal("1")), S("decimal"));
  EXPECT_EQ(d.python_repr(), "{1: int, 1.0: float, True: bool, 1: decimal}");
  d = set(std::move(d), VmValue::float64(1.0), S("again"));
  EXPECT_EQ(d.python_repr(), "{1: int, 1.0: again, True: bool, 1: decimal}");
}

TEST(DictSet, ReplaceKeepsPositionAndStoredKey) {
  VmValue d = *VmValue::make_dict({{S("a"), I(1)}, {S("b"), I(2)}});
  d = set(std::move(d), S("a"), I(10));
  EXPECT_EQ(d.python_repr(), "{a: 10, b: 2}");
  d = set(std::move(d), S("c"), I(3));
  EXPECT_EQ(d.python_repr(), "{a: 10, b: 2, c: 3}");
  // Pairs handed over whole may repeat a key; the first one is replaced.
  VmValue dup = *VmValue::make_dict({{I(7), I(1)}, {I(7), I(2)}});
  dup = set(std::move(dup), I(7), I(9));
  EXPECT_EQ(dup.python_repr(), "{7: 9, 7: 2}");
}

TEST(DictSet, NanKeysNeverMatch) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  VmValue d = *VmValue::make_dict({});
  d = set(std::move(d), VmValue::float64(nan), I(1));
  d = set(std::move(d), VmValue::float64(nan), I(2));
  EXPECT_EQ(d.dict_size(), 2u);
  d = set(std::move(d), VmValue::float64(-0.0), I(3));
  d = set(std::move(d), VmValue::float64(0.0), I(4));
  EXPECT_EQ(d.dict_size(), 3u);  // 0.0 equals -0.0 structurally (IEEE equality)
}

TEST(DictSet, LargeDictThroughTheIndex) {
  VmValue d = *VmValue::make_dict({});
  for (int64_t i = 0; i < 5000; ++i) d = set(std::move(d), I(i), I(i));
  for (int64_t i = 0; i < 5000; i += 7) d = set(std::move(d), I(i), I(-i));
  ASSERT_EQ(d.dict_size(), 5000u);
  const auto pairs = d.dict_pairs();
  for (int64_t i = 0; i < 5000; ++i) {
    ASSERT_TRUE(pairs[i].key.eq(I(i)));
    ASSERT_TRUE(pairs[i].value.eq(I(i % 7 == 0 ? -i : i)));
  }
}

TEST(DictSet, SharedInputIsNotChanged) {
  const VmValue original = *VmValue::make_dict({{S("a"), I(1)}});
  const VmValue changed = set(original, S("a"), I(2));
  EXPECT_EQ(original.python_repr(), "{a: 1}");
  EXPECT_EQ(changed.python_repr(), "{a: 2}");
}

TEST(DictSet, Limits) {
  VmValue d = *VmValue::make_dict({{S("k"), I(0)}});
  const VmValue big_text = *VmValue::make_str(std::string(3000000, 'x'));
  d = set(std::move(d), S("a"), big_text);
  const auto refused = dict_set(d, S("b"), big_text);
  ASSERT_FALSE(refused.ok());
  EXPECT_EQ(refused.error().message, "value exceeds the maximum allowed allocation size");
  EXPECT_EQ(d.dict_size(), 2u);
  // Replacing the big value with a small one is fine.
  EXPECT_TRUE(dict_set(d, S("a"), I(1)).ok());

  VmValue deep = *VmValue::make_list({});
  for (int i = 0; i < 255; ++i) deep = *VmValue::make_list({deep});
  ASSERT_EQ(deep.depth(), 256u);
  const auto too_deep = dict_set(*VmValue::make_dict({}), S("x"), deep);
  ASSERT_FALSE(too_deep.ok());
  EXPECT_EQ(too_deep.error().message, "value exceeds the maximum allowed nesting depth");
}

}  // namespace
}  // namespace veln
