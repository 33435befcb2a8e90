// Runtime values into decimals: each accepted kind and the refusal message.
#include "values/decimal_from_value.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "values/vm_value.hpp"

namespace veln {
namespace {

std::string outcome(const VmValue& v) {
  auto r = decimal_from_vm_value(v);
  return r.ok() ? "ok:" + r->to_string() : "err:" + r.error().message;
}

TEST(DecimalFromValue, ByKind) {
  const mpz_class big61(std::string(61, '9'));
  const mpz_class big62 = big61 + 1;
  struct Case {
    VmValue value;
    std::string expected;
  };
  const Case cases[] = {
      {VmValue::boolean(true), "ok:1"},
      {VmValue::boolean(false), "ok:0"},
      {VmValue::integer(int64_t{-7}), "ok:-7"},
      {VmValue::integer(INT64_MIN), "ok:-9223372036854775808"},
      {VmValue::integer(big61), "ok:" + big61.get_str()},
      {VmValue::integer(mpz_class(-big62)), "err:decimal value -" + big62.get_str() +
                                                " exceeds the supported decimal range"},
      {VmValue::float64(0.1), "ok:0.1"},
      {VmValue::float64(-0.0), "ok:0"},
      {VmValue::float64(1e-40), "ok:0"},
      {VmValue::float64(1e20), "ok:100000000000000000000"},
      {VmValue::float64(std::nan("")), "err:invalid decimal literal 'NaN'"},
      {VmValue::float64(-INFINITY), "err:invalid decimal literal '-inf'"},
      {VmValue::float64(1e61), "err:decimal value 10000000000000000000000000000000000000000000000000000000000000"
                               " exceeds the supported decimal range"},
      {VmValue::decimal(*VmDecimal::from_str_literal("2.5")), "ok:2.5"},
      {VmValue::str(" 1.25 "), "ok:1.25"},
      {VmValue::str("1.2.3"), "err:invalid decimal literal '1.2.3'"},
      {VmValue::str(""), "err:decimal() requires a value"},
      {VmValue::none(), "err:expected decimal-compatible value, got none"},
      {VmValue::timedelta_seconds(5), "err:expected decimal-compatible value, got timedelta"},
      {*VmValue::make_list({}), "err:expected decimal-compatible value, got list"},
      {*VmValue::make_bytes("1"), "err:expected decimal-compatible value, got bytes"},
  };
  for (const auto& c : cases) EXPECT_EQ(outcome(c.value), c.expected) << c.value.diagnostic_text();
}

}  // namespace
}  // namespace veln
