// Date-times and time deltas: the cases of values/datetime.cases, the
// calendar over the whole year range, moves across a leap second, and
// CPython's datetime module (tests/gen/gen_datetime.py).
#include "values/vm_datetime.hpp"

#include <gtest/gtest.h>

#include <sstream>

#include "case_file.hpp"

namespace veln {
namespace {

using namespace cases;

Outcome text_of(const VmResult<VmDateTime>& r) {
  if (!r.ok()) return r.error();
  return outcome(r->to_string());
}

VmTimeDelta td(const Case& c, size_t i) { return VmTimeDelta{c.i64(i)}; }

Outcome seconds_of(const VmResult<VmTimeDelta>& r) {
  if (!r.ok()) return r.error();
  return outcome(r->raw_seconds);
}

VmResult<VmDateTime> make(const std::vector<int64_t>& f, size_t at = 0) {
  return VmDateTime::make(static_cast<int32_t>(f[at]), static_cast<uint32_t>(f[at + 1]),
                          static_cast<uint32_t>(f[at + 2]), static_cast<uint32_t>(f[at + 3]),
                          static_cast<uint32_t>(f[at + 4]), static_cast<uint32_t>(f[at + 5]),
                          static_cast<uint32_t>(f[at + 6]));
}

TEST(VmDateTime, Cases) {
  run_case_file(
      "values/datetime.cases",
      {
          {"make",
           [](const Case& c) {
             std::vector<int64_t> f;
             for (const VmValue& v : c.args) f.push_back(v.small_int());
             return text_of(make(f));
           }},
          {"fields",
           [](const Case& c) {
             const VmDateTime& d = c[0].datetime_value();
             return outcome(d.year(), d.month(), d.day(), d.hour(), d.minute(), d.second(), d.microsecond(),
                            d.nanos(), d.in_leap_second(), d.day_number());
           }},
          {"diag",
           [](const Case& c) {
             std::string out;
             c[0].datetime_value().append_diagnostic(out);
             return outcome(out);
           }},
          {"add",
           [](const Case& c) { return text_of(VmDateTime::add_timedelta(c[0].datetime_value(), td(c, 1))); }},
          {"diff",
           [](const Case& c) {
             return outcome(VmDateTime::seconds_between(c[0].datetime_value(), c[1].datetime_value()));
           }},
          {"lt", [](const Case& c) { return outcome(c[0].datetime_value() < c[1].datetime_value()); }},
          {"from_day_time",
           [](const Case& c) {
             const auto d = VmDateTime::from_day_time(c.i64(0), static_cast<uint32_t>(c.i64(1)),
                                                      static_cast<uint32_t>(c.i64(2)));
             return d ? outcome(d->to_string()) : outcome(VmValue::none());
           }},
          {"td_text", [](const Case& c) { return outcome(td(c, 0).to_string()); }},
          {"td_add", [](const Case& c) { return seconds_of(VmTimeDelta::add(td(c, 0), td(c, 1))); }},
          {"td_sub", [](const Case& c) { return seconds_of(VmTimeDelta::sub(td(c, 0), td(c, 1))); }},
          {"td_mul", [](const Case& c) { return seconds_of(VmTimeDelta::mul(td(c, 0), c.i64(1))); }},
      });
}

// Every year of the range: consecutive years meet without a gap, each year
// has 365 or 366 days by the leap rule, and day numbers convert back.
TEST(VmDateTime, CalendarOverTheWholeYearRange) {
  int64_t expected_first = days_from_civil(VmDateTime::kMinYear, 1, 1);
  for (int64_t y = VmDateTime::kMinYear; y <= VmDateTime::kMaxYear; ++y) {
    const int64_t first = days_from_civil(y, 1, 1);
    ASSERT_EQ(first, expected_first) << y;
    const int64_t last = days_from_civil(y, 12, 31);
    ASSERT_EQ(last - first + 1, is_leap_year(y) ? 366 : 365) << y;
    const int64_t mar1 = days_from_civil(y, 3, 1);
    ASSERT_EQ(mar1 - days_from_civil(y, 2, 28), is_leap_year(y) ? 2 : 1) << y;
    for (int64_t dn : {first, last, mar1, mar1 - 1}) {
      const CivilDate c = civil_from_days(dn);
      ASSERT_EQ(days_from_civil(c.year, c.month, c.day), dn) << y;
      ASSERT_EQ(c.year, y);
    }
    expected_first = last + 1;
  }
  EXPECT_EQ(days_from_civil(2000, 3, 1), 11017);
  EXPECT_EQ(days_from_civil(0, 1, 1), -719528);
  EXPECT_FALSE(is_leap_year(-100));
  EXPECT_TRUE(is_leap_year(-400));
  // Extreme arguments (a parser may hand over any 64-bit year) stay defined
  // and far outside the date range.
  EXPECT_LT(days_from_civil(INT64_MIN, 1, 1), VmDateTime::min_day_number());
  EXPECT_GT(days_from_civil(INT64_MAX, 12, 31), VmDateTime::max_day_number());
  EXPECT_LT(civil_from_days(INT64_MIN).year, VmDateTime::kMinYear);
  EXPECT_GT(civil_from_days(INT64_MAX).year, VmDateTime::kMaxYear);
}

// (x + d) - x == d, also across a leap second.
TEST(VmDateTime, MovesAcrossALeapSecondRoundTrip) {
  for (uint32_t us : {1000000u, 1500000u}) {
    const VmDateTime x = *VmDateTime::make(2016, 12, 31, 23, 59, 59, us);
    for (int64_t d : {-86401, -3, -2, -1, 1, 2, 3, 86400, 86401}) {
      const auto moved = VmDateTime::add_timedelta(x, VmTimeDelta{d});
      ASSERT_TRUE(moved.ok());
      EXPECT_EQ(VmDateTime::seconds_between(*moved, x), d) << d;
      EXPECT_EQ(VmDateTime::seconds_between(x, *moved), -d) << d;
    }
  }
}

// "<tag> <ints>|<expected>": dt (fields|text|day number), add, diff, td.
TEST(VmDateTime, AgainstCPython) {
  size_t checked = 0;
  for (const auto& row : data_rows("datetime_cases.txt", '|')) {
    std::istringstream head(row[0]);
    std::string kind;
    head >> kind;
    std::vector<int64_t> f;
    for (int64_t v; head >> v;) f.push_back(v);
    if (kind == "dt") {
      const VmDateTime dt = *make(f);
      EXPECT_EQ(dt.to_string(), row[1]) << row[0];
      EXPECT_EQ(std::to_string(dt.day_number()), row[2]) << row[0];
      EXPECT_EQ(dt.year(), f[0]);
      EXPECT_EQ(dt.month(), f[1]);
      EXPECT_EQ(dt.day(), f[2]);
    } else if (kind == "add") {
      const auto moved = VmDateTime::add_timedelta(*make(f), VmTimeDelta{f[7]});
      EXPECT_EQ(moved.ok() ? moved->to_string() : "err:" + moved.error().message, row[1]) << row[0];
    } else if (kind == "diff") {
      EXPECT_EQ(std::to_string(VmDateTime::seconds_between(*make(f), *make(f, 7))), row[1]) << row[0];
    } else {
      ASSERT_EQ(kind, "td");
      EXPECT_EQ(VmTimeDelta{f[0]}.to_string(), row[1]) << row[0];
    }
    ++checked;
  }
  EXPECT_GT(checked, 5000u);
}

}  // namespace
}  // namespace veln
