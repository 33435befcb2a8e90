#include "interpreter_support/time_construction.hpp"

#include <gtest/gtest.h>

#include "values/vm_datetime.hpp"
#include "values/vm_decimal.hpp"
#include "value_builders.hpp"

namespace veln {
namespace {

using namespace value_builders;

using Args = std::vector<VmValue>;
using Kwargs = std::vector<VmKeywordArg>;


// The result as its display text, or "error: " and the message.
std::string show(const VmResult<VmValue>& r) {
  if (!r.ok()) return "error: " + r.error().message;
  if (r->is(VmKind::DateTime)) return r->datetime_value().to_string();
  if (r->is(VmKind::TimeDelta)) return "td " + std::to_string(r->timedelta_raw_seconds());
  return "unexpected kind";
}

TEST(TimeDatetimeNew, ComponentsAndTheirMessages) {
  mpz_class two_to_63 = mpz_class(1) << 63;
  struct Case {
    Args args;
    Kwargs kwargs;
    std::string expected;
  };
  const Case cases[] = {
      {{I(2024), I(2), I(29)}, {}, "2024-02-29 00:00:00"},
      {{I(2023), I(2), I(29)}, {}, "error: invalid datetime date"},
      {{I(2024), I(1), I(1), I(24)}, {}, "error: invalid datetime time"},
      {{I(2024), I(1), I(1), I(-1)}, {}, "error: invalid datetime time"},
      {{I(2024), I(1), I(1), I(23), I(59), I(59), I(999999)}, {}, "2024-01-01 23:59:59.999999"},
      {{I(2024), I(1), I(1), I(23), I(59), I(59), I(1999999)}, {}, "2024-01-01 23:59:60.999999"},
      {{I(2024), I(1), I(1), I(23), I(59), I(58), I(1000000)}, {}, "error: invalid datetime time"},
      {{I(2024), I(1), I(1), I(0), I(60)}, {}, "error: invalid datetime time"},
      {{I(2024), I(1), I(1), I(0), I(0), I(60)}, {}, "error: invalid datetime time"},
      {{I(2024), I(13), I(1), I(99)}, {}, "error: invalid datetime date"},  // date judged first
      {{I(2024), I(0), I(1)}, {}, "error: invalid datetime date"},
      {{I(2024), I(1), I(0)}, {}, "error: invalid datetime date"},
      {{I(1900), I(2), I(29)}, {}, "error: invalid datetime date"},
      {{I(2000), I(2), I(29)}, {}, "2000-02-29 00:00:00"},
      {{I(2024), I(1)}, {}, "error: missing required argument 'day'"},
      {{}, {}, "error: missing required argument 'year'"},
      {{I(2024)}, {{"day", I(1)}}, "error: missing required argument 'month'"},
      {{}, {{"year", I(2024)}, {"month", I(1)}, {"day", I(1)}}, "2024-01-01 00:00:00"},
      {{I(2024), I(1), I(1)}, {{"day", I(5)}}, "2024-01-01 00:00:00"},  // the keyword is ignored
      {{I(2024), I(1)}, {{"day", I(5)}, {"day", I(6)}}, "2024-01-05 00:00:00"},  // the first keyword wins
      {{I(2024), I(1), I(1)}, {{"minute", I(5)}, {"bogus", VmValue::none()}}, "2024-01-01 00:05:00"},
      {{I(2024), I(1), I(1), I(1), I(2), I(3), I(4), I(99), VmValue::none()}, {}, "2024-01-01 01:02:03.000004"},
      {{I(2024), VmValue::float64(1.0), I(1)}, {}, "error: expected int-compatible value, got float"},
      {{I(2024), VmValue::boolean(true), I(1)}, {}, "2024-01-01 00:00:00"},
      {{I(2024), I(1), VmValue::str("1")}, {}, "error: expected int-compatible value, got str"},
      {{VmValue::none(), I(1), VmValue::str("1")}, {}, "error: expected int-compatible value, got none"},
      {{VmValue::integer(two_to_63), I(1), I(1)}, {}, "error: integer value exceeds the supported i64 range"},
      {{VmValue::decimal(*VmDecimal::from_str_literal("2024.9")), I(1), I(1)}, {}, "2024-01-01 00:00:00"},
      {{VmValue::decimal(*VmDecimal::from_str_literal("-0.5")), I(1), I(1)}, {}, "0000-01-01 00:00:00"},
      {{I(2024), I(1), I(1), I(1)}, {{"hour", VmValue::float64(1.5)}}, "2024-01-01 01:00:00"},
      {{I(2024), I(1), I(1)}, {{"hour", VmValue::float64(1.5)}}, "error: expected int-compatible value, got float"},
      // Components wider than their 32-bit slots are invalid in their group.
      {{I(4294967296 + 2024), I(1), I(1)}, {}, "error: invalid datetime date"},
      {{I(-4294967296), I(1), I(1)}, {}, "error: invalid datetime date"},
      {{I(2024), I(4294967297), I(1)}, {}, "error: invalid datetime date"},
      {{I(2024), I(1), I(4294967297)}, {}, "error: invalid datetime date"},
      {{I(2024), I(1), I(1), I(4294967296)}, {}, "error: invalid datetime time"},
      {{I(2023), I(2), I(29), I(4294967296)}, {}, "error: invalid datetime date"},
      {{I(2024), I(1), I(1), I(0), I(0), I(0), I(-1)}, {}, "error: invalid datetime time"},
      {{I(262142), I(12), I(31), I(23), I(59), I(59)}, {}, "+262142-12-31 23:59:59"},
      {{I(262143), I(1), I(1)}, {}, "error: invalid datetime date"},
      {{I(-262143), I(1), I(1)}, {}, "-262143-01-01 00:00:00"},
      {{I(-262144), I(12), I(31)}, {}, "error: invalid datetime date"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(show(time_datetime_new(c.args, c.kwargs)), c.expected) << c.expected;
  }
}

TEST(TimeTimedeltaNew, WeeksFirstAndCheckedSums) {
  struct Case {
    Args args;
    Kwargs kwargs;
    std::string expected;
  };
  const Case cases[] = {
      {{}, {}, "td 0"},
      {{I(1), I(1)}, {}, "td 691200"},
      {{}, {{"hours", I(-1)}}, "td -3600"},
      {{I(0), I(0), I(0), I(0), I(5)}, {{"seconds", I(7)}}, "td 5"},
      {{I(1), I(-7)}, {}, "td 0"},
      {{}, {{"weeks", I(1)}, {"days", I(1)}, {"hours", I(1)}, {"minutes", I(1)}, {"seconds", I(1)}}, "td 694861"},
      {{}, {{"weeks", I(15250284452472)}}, "error: timedelta overflow"},
      {{}, {{"weeks", I(15250284452471)}}, "td 9223372036854460800"},
      {{I(15250284452471), I(3), I(15), I(30), I(7)}, {}, "td 9223372036854775807"},
      {{I(15250284452471), I(3), I(15), I(30), I(8)}, {}, "error: timedelta overflow"},
      {{I(-15250284452471), I(-3), I(-15), I(-30), I(-8)}, {}, "td -9223372036854775808"},
      {{I(-15250284452471), I(-3), I(-15), I(-30), I(-9)}, {}, "error: timedelta overflow"},
      {{I(15250284452471), I(4), I(-86400)}, {}, "error: timedelta overflow"},  // checked step by step
      {{}, {{"seconds", I(INT64_MIN)}}, "td -9223372036854775808"},
      {{}, {{"seconds", I(INT64_MIN)}, {"minutes", I(-1)}}, "error: timedelta overflow"},
      {{}, {{"days", VmValue::float64(1)}}, "error: expected int-compatible value, got float"},
      {{VmValue::str("1")}, {}, "error: expected int-compatible value, got str"},
      {{VmValue::boolean(true)}, {}, "td 604800"},
      {{}, {{"milliseconds", I(5)}}, "td 0"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(show(time_timedelta_new(c.args, c.kwargs)), c.expected) << c.expected;
  }
}

TEST(TimeDatetimeStrptime, ArgumentsAndFailures) {
  struct Case {
    Args args;
    Kwargs kwargs;
    std::string expected;
  };
  const std::string arity = "error: datetime.datetime.strptime() expects two positional arguments";
  const VmValue fmt = VmValue::str("%Y-%m-%d %H:%M:%S");
  const Case cases[] = {
      {{VmValue::str("2024-01-05 07:08:09"), fmt}, {}, "2024-01-05 07:08:09"},
      {{VmValue::str("2024-01-05"), VmValue::str("%Y-%m-%d")}, {}, "error: datetime.strptime() failed"},
      {{VmValue::str("24-01-05 07:08"), VmValue::str("%y-%m-%d %H:%M")}, {}, "2024-01-05 07:08:00"},
      {{VmValue::str("75-01-05 07:08"), VmValue::str("%y-%m-%d %H:%M")}, {}, "1975-01-05 07:08:00"},
      {{VmValue::str("2024-01-05 07:08:09.5"), VmValue::str("%Y-%m-%d %H:%M:%S%.f")}, {}, "2024-01-05 07:08:09.500000"},
      {{VmValue::str("2024-01-05 07:08:09 x"), fmt}, {}, "error: datetime.strptime() failed"},
      {{VmValue::str("2024-01-05  07:08:09"), fmt}, {}, "2024-01-05 07:08:09"},
      {{VmValue::str("2024-01-05 07:08:09"), VmValue::str("%Q")}, {}, "error: datetime.strptime() failed"},
      {{VmValue::str("2024-01-05 07:08:09"), *VmValue::make_bytes("%Y")}, {}, "error: expected string value, got bytes"},
      {{VmValue::integer(1), *VmValue::make_bytes("%Y")}, {}, "error: expected string value, got int"},
      {{VmValue::str("x")}, {}, arity},
      {{VmValue::str("x"), fmt, fmt}, {}, arity},
      {{VmValue::str("x"), fmt}, {{"format", fmt}}, arity},
      {{}, {{"date_string", VmValue::str("x")}, {"format", fmt}}, arity},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(show(time_datetime_strptime(c.args, c.kwargs)), c.expected) << c.expected;
  }
}

TEST(TimeDatetimeStrptime, KeepsNanoseconds) {
  auto r = time_datetime_strptime(Args{VmValue::str("2024-01-05 07:08:09 123456789"), VmValue::str("%F %T %f")}, {});
  ASSERT_TRUE(r.ok());
  EXPECT_EQ(r->datetime_value().nanos(), 123456789u);
  EXPECT_EQ(r->datetime_value().microsecond(), 123456u);
  auto leap = time_datetime_strptime(Args{VmValue::str("2016-12-31 23:59:60.5"), VmValue::str("%F %T%.f")}, {});
  EXPECT_EQ(show(leap), "2016-12-31 23:59:60.500000");
}

}  // namespace
}  // namespace veln
