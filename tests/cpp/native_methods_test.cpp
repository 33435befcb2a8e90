#include "interpreter_support/native_methods.hpp"

#include <gtest/gtest.h>

#include "interpreter_support/search_bounds.hpp"
#include "values/vm_decimal.hpp"

namespace veln {
namespace {

VmValue i(int64_t v) { return VmValue::integer(v); }

TEST(NativeMethods, KeywordArgumentsAreRefusedFirst) {
  const std::vector<VmKeywordArg> kwargs = {{"x", i(1)}};
  // Refused before the receiver kind or the name is looked at.
  for (const VmValue& receiver : {VmValue::str("a"), i(3), VmValue::none()}) {
    auto r = call_native_method(receiver, "upper", {}, kwargs);
    ASSERT_FALSE(r.ok());
    EXPECT_EQ(r.error().message, "native method 'upper()' does not accept keyword arguments");
  }
  auto r = call_native_method(i(1), "no_such", {}, kwargs);
  ASSERT_FALSE(r.ok());
  EXPECT_EQ(r.error().message, "native method 'no_such()' does not accept keyword arguments");
}

TEST(NativeMethods, KindsWithoutMethods) {
  const std::vector<VmValue> receivers = {
      VmValue::none(), VmValue::boolean(true), i(1), VmValue::float64(1.0), VmValue::timedelta_seconds(3),
      *VmValue::make_tuple({i(1)}), VmValue::builtin("len"), VmValue::function_ref("f"),
      VmValue::type_marker("int"), VmValue::storage_ref({"balances", "Hash"}),
      VmValue::contract_handle({"token", "static_import"}),
  };
  for (const VmValue& v : receivers) {
    auto r = call_native_method(v, "count", {}, {});
    ASSERT_FALSE(r.ok());
    EXPECT_EQ(r.error().message, "value of type " + std::string(v.type_name()) + " has no native method 'count()'");
  }
}

struct BoundsCase {
  size_t n;
  std::optional<VmValue> start, end;
  size_t want_start, want_end;
};

TEST(SearchBounds, ClampsOnArbitraryIntegers) {
  const VmValue huge = VmValue::integer(mpz_class("100000000000000000000000000000"));
  const VmValue neg_huge = VmValue::integer(mpz_class("-100000000000000000000000000000"));
  const VmValue min64 = i(INT64_MIN);
  const std::vector<BoundsCase> cases = {
      {3, std::nullopt, std::nullopt, 0, 3},
      {3, i(-1), std::nullopt, 2, 3},
      {3, i(5), std::nullopt, 3, 3},
      {3, i(2), i(1), 2, 2},
      {3, i(-10), i(-1), 0, 2},
      {3, huge, neg_huge, 3, 3},
      {3, neg_huge, huge, 0, 3},
      {3, min64, min64, 0, 0},
      {0, i(0), i(0), 0, 0},
      {3, VmValue::boolean(true), std::nullopt, 1, 3},
      {5, VmValue::decimal(*VmDecimal::from_str_literal("-1.9")), std::nullopt, 4, 5},
  };
  for (const auto& c : cases) {
    auto r = normalize_search_bounds(c.n, c.start ? &*c.start : nullptr, c.end ? &*c.end : nullptr);
    ASSERT_TRUE(r.ok()) << r.error().message;
    EXPECT_EQ(r->start, c.want_start);
    EXPECT_EQ(r->end, c.want_end);
  }
  const VmValue none;
  auto r = normalize_search_bounds(3, &none, nullptr);
  ASSERT_FALSE(r.ok());
  EXPECT_EQ(r.error().message, "expected int-compatible value, got none");
  const VmValue s = VmValue::str("1");
  r = normalize_search_bounds(3, &s, &none);
  ASSERT_FALSE(r.ok());
  EXPECT_EQ(r.error().message, "expected int-compatible value, got str");
}

}  // namespace
}  // namespace veln
