// Date-times and time deltas: validation order, the calendar over the whole
// year range, movement with overflow detection, leap seconds, differences,
// ordering and both texts. CPython's datetime module supplies the bulk of the
// expected values (tests/gen/gen_datetime.py -> tests/data/datetime_cases.txt).
#include "values/vm_datetime.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <sstream>
#include <string>

namespace veln {
namespace {

VmDateTime make(int32_t y, uint32_t mo, uint32_t d, uint32_t h = 0, uint32_t mi = 0, uint32_t s = 0,
                uint32_t us = 0) {
  auto r = VmDateTime::make(y, mo, d, h, mi, s, us);
  EXPECT_TRUE(r.ok()) << y << "-" << mo << "-" << d << " " << h << ":" << mi << ":" << s << "." << us;
  return r.ok() ? *r : VmDateTime();
}

std::string make_outcome(int32_t y, uint32_t mo, uint32_t d, uint32_t h, uint32_t mi, uint32_t s,
                         uint32_t us) {
  auto r = VmDateTime::make(y, mo, d, h, mi, s, us);
  return r.ok() ? r->to_string() : "err:" + r.error().message;
}

std::string add_outcome(const VmDateTime& dt, int64_t seconds) {
  auto r = VmDateTime::add_timedelta(dt, VmTimeDelta{seconds});
  return r.ok() ? r->to_string() : "err:" + r.error().message;
}

TEST(VmDateTime, ConstructionChecksDateThenTime) {
  struct Case {
    int32_t y;
    uint32_t mo, d, h, mi, s, us;
    const char* expected;
  };
  const Case cases[] = {
      {2024, 2, 29, 0, 0, 0, 0, "2024-02-29 00:00:00"},
      {2023, 2, 29, 0, 0, 0, 0, "err:invalid datetime date"},
      {2000, 2, 29, 0, 0, 0, 0, "2000-02-29 00:00:00"},
      {1900, 2, 29, 0, 0, 0, 0, "err:invalid datetime date"},
      {0, 2, 29, 0, 0, 0, 0, "0000-02-29 00:00:00"},  // year 0 is a leap year
      {-4, 2, 29, 0, 0, 0, 0, "-0004-02-29 00:00:00"},
      {-100, 2, 29, 0, 0, 0, 0, "err:invalid datetime date"},
      {2024, 0, 1, 24, 0, 0, 0, "err:invalid datetime date"},  // date judged first
      {2024, 13, 1, 99, 99, 99, 0, "err:invalid datetime date"},
      {2024, 1, 0, 0, 0, 0, 5000000, "err:invalid datetime date"},
      {2024, 4, 31, 0, 0, 0, 0, "err:invalid datetime date"},
      {2024, 1, 32, 0, 0, 0, 0, "err:invalid datetime date"},
      {2024, 1, 1, 24, 0, 0, 0, "err:invalid datetime time"},
      {2024, 1, 1, 0, 60, 0, 0, "err:invalid datetime time"},
      {2024, 1, 1, 0, 0, 60, 0, "err:invalid datetime time"},
      {2024, 1, 1, 0, 0, 0, 999999, "2024-01-01 00:00:00.999999"},
      {2024, 1, 1, 0, 0, 0, 1000000, "err:invalid datetime time"},
      {2024, 1, 1, 0, 0, 58, 1000000, "err:invalid datetime time"},
      {2016, 12, 31, 23, 59, 59, 1000000, "2016-12-31 23:59:60.000000"},
      {2016, 12, 31, 23, 59, 59, 1500000, "2016-12-31 23:59:60.500000"},
      {2016, 12, 31, 23, 59, 59, 1999999, "2016-12-31 23:59:60.999999"},
      {2016, 12, 31, 23, 59, 59, 2000000, "err:invalid datetime time"},
      {2024, 1, 1, 12, 30, 59, 1000000, "2024-01-01 12:30:60.000000"},  // any minute's 59th second
      {2024, 1, 1, 0xFFFFFFFFu, 0, 0, 0, "err:invalid datetime time"},
      {2024, 0xFFFFFFFFu, 1, 0, 0, 0, 0, "err:invalid datetime date"},
      {-262143, 1, 1, 0, 0, 0, 0, "-262143-01-01 00:00:00"},
      {262142, 12, 31, 23, 59, 59, 999999, "+262142-12-31 23:59:59.999999"},
      {-262144, 12, 31, 0, 0, 0, 0, "err:invalid datetime date"},
      {262143, 1, 1, 0, 0, 0, 0, "err:invalid datetime date"},
      {INT32_MIN, 1, 1, 0, 0, 0, 0, "err:invalid datetime date"},
      {INT32_MAX, 1, 1, 0, 0, 0, 0, "err:invalid datetime date"},
      {10000, 1, 1, 0, 0, 0, 0, "+10000-01-01 00:00:00"},
      {9999, 12, 31, 0, 0, 0, 0, "9999-12-31 00:00:00"},
      {-1, 12, 31, 0, 0, 0, 0, "-0001-12-31 00:00:00"},
      {99, 3, 1, 0, 0, 0, 0, "0099-03-01 00:00:00"},
      {2024, 1, 2, 0, 0, 0, 1, "2024-01-02 00:00:00.000001"},
      {2024, 1, 2, 3, 4, 5, 250000, "2024-01-02 03:04:05.250000"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(make_outcome(c.y, c.mo, c.d, c.h, c.mi, c.s, c.us), c.expected)
        << c.y << "-" << c.mo << "-" << c.d;
  }
}

TEST(VmDateTime, Fields) {
  const VmDateTime leap = make(2016, 12, 31, 23, 59, 59, 1500000);
  EXPECT_EQ(leap.year(), 2016);
  EXPECT_EQ(leap.month(), 12u);
  EXPECT_EQ(leap.day(), 31u);
  EXPECT_EQ(leap.hour(), 23u);
  EXPECT_EQ(leap.minute(), 59u);
  EXPECT_EQ(leap.second(), 59u);
  EXPECT_EQ(leap.microsecond(), 1500000u);
  EXPECT_EQ(leap.nanos(), 1500000000u);
  EXPECT_TRUE(leap.in_leap_second());
  const VmDateTime early = make(-262143, 1, 1);
  EXPECT_EQ(early.year(), -262143);
  EXPECT_EQ(early.day_number(), VmDateTime::min_day_number());
  EXPECT_EQ(make(262142, 12, 31).day_number(), VmDateTime::max_day_number());
  EXPECT_EQ(make(1970, 1, 1).day_number(), 0);
  EXPECT_EQ(VmDateTime().to_string(), "1970-01-01 00:00:00");
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
  // Extreme arguments (a parser may hand over any 64-bit year) stay defined
  // and far outside the date range.
  EXPECT_LT(days_from_civil(INT64_MIN, 1, 1), VmDateTime::min_day_number());
  EXPECT_GT(days_from_civil(INT64_MAX, 12, 31), VmDateTime::max_day_number());
  EXPECT_LT(civil_from_days(INT64_MIN).year, VmDateTime::kMinYear);
  EXPECT_GT(civil_from_days(INT64_MAX).year, VmDateTime::kMaxYear);
  EXPECT_EQ(days_from_civil(0, 1, 1), -719528);
  EXPECT_TRUE(is_leap_year(0));
  EXPECT_TRUE(is_leap_year(-4));
  EXPECT_FALSE(is_leap_year(-100));
  EXPECT_TRUE(is_leap_year(-400));
}

TEST(VmDateTime, AddTimedelta) {
  const VmDateTime new_year_eve = make(2024, 12, 31, 23);
  EXPECT_EQ(add_outcome(new_year_eve, 3600), "2025-01-01 00:00:00");
  EXPECT_EQ(add_outcome(new_year_eve, -86400 * 366), "2023-12-31 23:00:00");
  EXPECT_EQ(add_outcome(new_year_eve, 0), "2024-12-31 23:00:00");
  EXPECT_EQ(add_outcome(new_year_eve, 10'000'000'000'000'000), "err:datetime overflow");
  EXPECT_EQ(add_outcome(new_year_eve, -10'000'000'000'000'000), "err:datetime overflow");
  EXPECT_EQ(add_outcome(new_year_eve, INT64_MIN), "err:datetime overflow");
  EXPECT_EQ(add_outcome(new_year_eve, INT64_MAX), "err:datetime overflow");
  EXPECT_EQ(add_outcome(new_year_eve, VmDateTime::kMaxDeltaSeconds + 1), "err:datetime overflow");
  EXPECT_EQ(add_outcome(new_year_eve, VmDateTime::kMaxDeltaSeconds), "err:datetime overflow");

  // The ends of the range: the last second is reachable, one more is not.
  const VmDateTime last = make(262142, 12, 31, 23, 59, 59, 999999);
  EXPECT_EQ(add_outcome(last, 1), "err:datetime overflow");
  EXPECT_EQ(add_outcome(last, -1), "+262142-12-31 23:59:58.999999");
  const VmDateTime first = make(-262143, 1, 1);
  EXPECT_EQ(add_outcome(first, -1), "err:datetime overflow");
  EXPECT_EQ(add_outcome(first, 1), "-262143-01-01 00:00:01");
  const int64_t span = VmDateTime::seconds_between(make(262142, 12, 31, 23, 59, 59), first);
  EXPECT_EQ(add_outcome(first, span), "+262142-12-31 23:59:59");
  EXPECT_EQ(add_outcome(first, span + 1), "err:datetime overflow");
  EXPECT_EQ(add_outcome(make(9999, 12, 31, 23, 59, 59), 1), "+10000-01-01 00:00:00");
  EXPECT_EQ(add_outcome(make(0, 1, 1), -1), "-0001-12-31 23:59:59");
  // The operand is unchanged by a failure.
  EXPECT_EQ(last.to_string(), "+262142-12-31 23:59:59.999999");
}

TEST(VmDateTime, LeapSecondMovesAsAnExtraSecond) {
  const VmDateTime leap = make(2016, 12, 31, 23, 59, 59, 1500000);  // 23:59:60.5
  EXPECT_EQ(add_outcome(leap, 0), "2016-12-31 23:59:60.500000");
  EXPECT_EQ(add_outcome(leap, 1), "2017-01-01 00:00:00.500000");
  EXPECT_EQ(add_outcome(leap, 2), "2017-01-01 00:00:01.500000");
  EXPECT_EQ(add_outcome(leap, -1), "2016-12-31 23:59:59.500000");
  EXPECT_EQ(add_outcome(leap, -2), "2016-12-31 23:59:58.500000");
  const VmDateTime leap_start = make(2016, 12, 31, 23, 59, 59, 1000000);  // 23:59:60
  EXPECT_EQ(add_outcome(leap_start, 1), "2017-01-01 00:00:00");
  EXPECT_EQ(add_outcome(leap_start, -1), "2016-12-31 23:59:59");
  // (x + d) - x == d, also across the leap second.
  for (int64_t d : {-86401, -3, -2, -1, 1, 2, 3, 86400, 86401}) {
    for (const VmDateTime& x : {leap, leap_start}) {
      const auto moved = VmDateTime::add_timedelta(x, VmTimeDelta{d});
      ASSERT_TRUE(moved.ok());
      EXPECT_EQ(VmDateTime::seconds_between(*moved, x), d) << d;
      EXPECT_EQ(VmDateTime::seconds_between(x, *moved), -d) << d;
    }
  }
  // Order: the leap second lies after 23:59:59.999999 and before midnight.
  EXPECT_LT(make(2016, 12, 31, 23, 59, 59, 999999), leap_start);
  EXPECT_LT(leap_start, leap);
  EXPECT_LT(leap, make(2017, 1, 1));
  EXPECT_LT(leap, make(2016, 12, 31, 23, 59, 59, 1500001));
}

TEST(VmDateTime, DifferencesTruncateTowardZero) {
  const VmDateTime a = make(2024, 1, 1, 0, 0, 0);
  EXPECT_EQ(VmDateTime::seconds_between(make(2024, 1, 1, 0, 1, 30), a), 90);
  EXPECT_EQ(VmDateTime::seconds_between(a, make(2024, 1, 1, 0, 0, 1, 500000)), -1);
  EXPECT_EQ(VmDateTime::seconds_between(a, make(2024, 1, 1, 0, 0, 0, 500000)), 0);
  EXPECT_EQ(VmDateTime::seconds_between(make(2024, 1, 1, 0, 0, 1, 500000), a), 1);
  EXPECT_EQ(VmDateTime::seconds_between(make(262142, 12, 31, 23, 59, 59, 999999), make(-262143, 1, 1)),
            (VmDateTime::max_day_number() - VmDateTime::min_day_number() + 1) * 86400 - 1);
}

TEST(VmDateTime, ParsedValuesKeepNanoseconds) {
  const auto dt = VmDateTime::from_day_time(0, 5, 123456789);
  ASSERT_TRUE(dt.has_value());
  EXPECT_EQ(dt->microsecond(), 123456u);
  EXPECT_EQ(dt->to_string(), "1970-01-01 00:00:05.123456");
  std::string diag;
  dt->append_diagnostic(diag);
  EXPECT_EQ(diag, "VmDateTime { value: 1970-01-01T00:00:05.123456789 }");
  // Below a microsecond the display shows no fraction; the order still sees it.
  const auto tiny = VmDateTime::from_day_time(0, 5, 999);
  ASSERT_TRUE(tiny.has_value());
  EXPECT_EQ(tiny->to_string(), "1970-01-01 00:00:05");
  EXPECT_LT(*VmDateTime::from_day_time(0, 5, 0), *tiny);
  EXPECT_NE(*VmDateTime::from_day_time(0, 5, 0), *tiny);
  EXPECT_FALSE(VmDateTime::from_day_time(0, 86400, 0).has_value());
  EXPECT_FALSE(VmDateTime::from_day_time(0, 58, 1000000000).has_value());
  EXPECT_TRUE(VmDateTime::from_day_time(0, 59, 1999999999).has_value());
  EXPECT_FALSE(VmDateTime::from_day_time(0, 59, 2000000000).has_value());
  EXPECT_FALSE(VmDateTime::from_day_time(VmDateTime::max_day_number() + 1, 0, 0).has_value());
  EXPECT_FALSE(VmDateTime::from_day_time(VmDateTime::min_day_number() - 1, 0, 0).has_value());
  EXPECT_TRUE(VmDateTime::from_day_time(VmDateTime::min_day_number(), 0, 0).has_value());
}

TEST(VmDateTime, DiagnosticForm) {
  struct Case {
    VmDateTime dt;
    const char* expected;
  };
  const Case cases[] = {
      {make(2024, 1, 2, 3, 4, 5), "2024-01-02T03:04:05"},
      {make(2024, 1, 2, 3, 4, 5, 250000), "2024-01-02T03:04:05.250"},
      {make(2024, 1, 2, 3, 4, 5, 250001), "2024-01-02T03:04:05.250001"},
      {make(10000, 1, 1), "+10000-01-01T00:00:00"},
      {make(-1, 1, 1), "-0001-01-01T00:00:00"},
      {make(2016, 12, 31, 23, 59, 59, 1000000), "2016-12-31T23:59:60"},
      {make(2016, 12, 31, 23, 59, 59, 1500000), "2016-12-31T23:59:60.500"},
  };
  for (const auto& c : cases) {
    std::string out;
    c.dt.append_diagnostic(out);
    EXPECT_EQ(out, std::string("VmDateTime { value: ") + c.expected + " }");
  }
}

TEST(VmTimeDelta, TextAndArithmetic) {
  struct Case {
    int64_t s;
    const char* text;
  };
  const Case cases[] = {
      {0, "0:00:00"},
      {59, "0:00:59"},
      {3600, "1:00:00"},
      {86400, "1 day, 0:00:00"},
      {90061, "1 day, 1:01:01"},
      {172800, "2 days, 0:00:00"},
      {-1, "-0:00:01"},
      {-5, "-0:00:05"},
      {-90061, "-1 day, 1:01:01"},
      {-172799, "-1 day, 23:59:59"},
      {INT64_MAX, "106751991167300 days, 15:30:07"},
      {INT64_MIN, "-106751991167300 days, 15:30:08"},
      {INT64_MIN + 1, "-106751991167300 days, 15:30:07"},
  };
  for (const auto& c : cases) EXPECT_EQ(VmTimeDelta{c.s}.to_string(), c.text) << c.s;

  EXPECT_EQ(VmTimeDelta::add({INT64_MAX}, {1}).error().message, "timedelta overflow");
  EXPECT_EQ(VmTimeDelta::add({INT64_MIN}, {-1}).error().message, "timedelta overflow");
  EXPECT_EQ(VmTimeDelta::add({INT64_MAX}, {INT64_MIN})->raw_seconds, -1);
  EXPECT_EQ(VmTimeDelta::sub({INT64_MIN}, {1}).error().message, "timedelta overflow");
  EXPECT_EQ(VmTimeDelta::sub({0}, {INT64_MIN}).error().message, "timedelta overflow");
  EXPECT_EQ(VmTimeDelta::sub({-1}, {INT64_MIN})->raw_seconds, INT64_MAX);
  EXPECT_EQ(VmTimeDelta::mul({3}, 4)->raw_seconds, 12);
  EXPECT_EQ(VmTimeDelta::mul({INT64_MIN}, -1).error().message, "timedelta overflow");
  EXPECT_EQ(VmTimeDelta::mul({INT64_MAX / 2 + 1}, 2).error().message, "timedelta overflow");
  EXPECT_EQ(VmTimeDelta::mul({INT64_MIN / 2}, 2)->raw_seconds, INT64_MIN);
  std::string diag;
  VmTimeDelta{5}.append_diagnostic(diag);
  EXPECT_EQ(diag, "VmTimeDelta { raw_seconds: 5 }");
  diag.clear();
  VmTimeDelta{INT64_MIN}.append_diagnostic(diag);
  EXPECT_EQ(diag, "VmTimeDelta { raw_seconds: -9223372036854775808 }");
  EXPECT_LT(VmTimeDelta{-5}, VmTimeDelta{3});
}

std::vector<int64_t> read_ints(std::istringstream& in, int n) {
  std::vector<int64_t> out(static_cast<size_t>(n));
  for (auto& v : out) in >> v;
  return out;
}

VmDateTime make_from(const std::vector<int64_t>& f, size_t at) {
  return make(static_cast<int32_t>(f[at]), static_cast<uint32_t>(f[at + 1]), static_cast<uint32_t>(f[at + 2]),
              static_cast<uint32_t>(f[at + 3]), static_cast<uint32_t>(f[at + 4]),
              static_cast<uint32_t>(f[at + 5]), static_cast<uint32_t>(f[at + 6]));
}

TEST(VmDateTime, AgainstCPython) {
  std::ifstream in(std::string(VELN_TEST_DATA_DIR) + "/datetime_cases.txt");
  ASSERT_TRUE(in) << "missing datetime_cases.txt";
  std::string line;
  int checked = 0;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    const size_t bar = line.find('|');
    ASSERT_NE(bar, std::string::npos) << line;
    std::istringstream head(line.substr(0, bar));
    const std::string rest = line.substr(bar + 1);
    std::string kind;
    head >> kind;
    if (kind == "dt") {
      const auto f = read_ints(head, 7);
      const VmDateTime dt = make_from(f, 0);
      const size_t bar2 = rest.find('|');
      EXPECT_EQ(dt.to_string(), rest.substr(0, bar2)) << line;
      EXPECT_EQ(std::to_string(dt.day_number()), rest.substr(bar2 + 1)) << line;
      EXPECT_EQ(dt.year(), f[0]);
      EXPECT_EQ(dt.month(), f[1]);
      EXPECT_EQ(dt.day(), f[2]);
    } else if (kind == "add") {
      const auto f = read_ints(head, 8);
      EXPECT_EQ(add_outcome(make_from(f, 0), f[7]), rest) << line;
    } else if (kind == "diff") {
      const auto f = read_ints(head, 14);
      EXPECT_EQ(std::to_string(VmDateTime::seconds_between(make_from(f, 0), make_from(f, 7))), rest) << line;
    } else if (kind == "td") {
      const auto f = read_ints(head, 1);
      EXPECT_EQ(VmTimeDelta{f[0]}.to_string(), rest) << line;
    } else {
      FAIL() << line;
    }
    ++checked;
  }
  EXPECT_GT(checked, 5000);
}

}  // namespace
}  // namespace veln
