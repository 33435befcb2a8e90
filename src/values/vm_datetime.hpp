// VmDateTime: a calendar date and time of day without time zone, the
// fraction of the second in nanoseconds, for years -262143 to 262142 of the
// proleptic Gregorian calendar. Our own calendar arithmetic on 64-bit day
// numbers (std::chrono's year type cannot hold this range). Construction with
// validation, moving by a time delta with overflow detection, differences,
// ordering and the texts. Must not depend on VmValue.
//
// A leap second is held as second 59 with a fraction of one second or more
// (23:59:59 + 1.5 s shows as 23:59:60.500000); it counts as one extra second
// of the day when a time delta moves the value.
#pragma once

#include <compare>
#include <cstdint>
#include <optional>
#include <string>

#include "values/vm_execution_error.hpp"
#include "values/vm_timedelta.hpp"

namespace veln {

// Proleptic Gregorian calendar on day numbers counted from 1970-01-01. Exact
// for years within +-2^40 (month 1..12, day 1..31); beyond that the argument
// is clamped, which keeps the result far outside the date range rather than
// overflowing.
struct CivilDate {
  int64_t year = 1970;
  uint32_t month = 1;  // 1..12
  uint32_t day = 1;    // 1..31
};
int64_t days_from_civil(int64_t year, uint32_t month, uint32_t day);
CivilDate civil_from_days(int64_t days);
bool is_leap_year(int64_t year);
uint32_t days_in_month(int64_t year, uint32_t month);

class VmDateTime {
 public:
  static constexpr int32_t kMinYear = -262143;
  static constexpr int32_t kMaxYear = 262142;
  static constexpr uint32_t kNanosPerSecond = 1'000'000'000;
  // The largest delta magnitude a date-time accepts before any range test.
  static constexpr int64_t kMaxDeltaSeconds = 9'223'372'036'854'775;

  // 1970-01-01 00:00:00.
  VmDateTime() = default;

  // From components, checked in this order: the date ("invalid datetime
  // date"), then the time of day ("invalid datetime time"). A second of 59
  // admits microseconds up to 1999999 (a leap second).
  static VmResult<VmDateTime> make(int32_t year, uint32_t month, uint32_t day, uint32_t hour,
                                   uint32_t minute, uint32_t second, uint32_t microsecond);
  // From a day number (days since 1970-01-01), the seconds of the day and a
  // nanosecond fraction, as a text parser produces them; nullopt when the day
  // lies outside the year range, the seconds are not below 86400, or the
  // fraction is not below one second (two seconds in a leap second, which
  // needs the seconds to end in 59).
  static std::optional<VmDateTime> from_day_time(int64_t day_number, uint32_t seconds_of_day,
                                                 uint32_t nanos);
  static int64_t min_day_number();
  static int64_t max_day_number();

  // Moves by raw_seconds seconds: "datetime overflow" when the result leaves
  // the year range or the delta's magnitude exceeds kMaxDeltaSeconds.
  static VmResult<VmDateTime> add_timedelta(const VmDateTime& dt, VmTimeDelta delta);
  // a - b in whole seconds, the sub-second part dropped toward zero; a leap
  // second lying between the two counts, so that (x + d) - x == d. Cannot
  // overflow: the year range spans far less than 2^63 seconds.
  static int64_t seconds_between(const VmDateTime& a, const VmDateTime& b);

  // Calendar fields.
  int64_t day_number() const { return days_; }
  uint32_t seconds_of_day() const { return secs_; }
  // The fraction of the second; at least one second inside a leap second.
  uint32_t nanos() const { return nanos_; }
  CivilDate date() const { return civil_from_days(days_); }
  int32_t year() const { return static_cast<int32_t>(date().year); }
  uint32_t month() const { return date().month; }
  uint32_t day() const { return date().day; }
  uint32_t hour() const { return secs_ / 3600; }
  uint32_t minute() const { return (secs_ / 60) % 60; }
  uint32_t second() const { return secs_ % 60; }
  // Whole microseconds of the fraction (up to 1999999 in a leap second).
  uint32_t microsecond() const { return nanos_ / 1000; }
  bool in_leap_second() const { return nanos_ >= kNanosPerSecond; }

  // Display text: "2024-01-02 03:04:05", with ".ffffff" (6 digits) unless the
  // fraction is below a microsecond; the leap second shows as second 60.
  std::string to_string() const;
  void append_text(std::string& out) const;
  // Field form of the record: "VmDateTime { value: 2024-01-02T03:04:05.250 }".
  void append_diagnostic(std::string& out) const;

  // Chronological order: day, then seconds of the day, then the full fraction.
  friend bool operator==(const VmDateTime&, const VmDateTime&) = default;
  friend auto operator<=>(const VmDateTime&, const VmDateTime&) = default;

 private:
  VmDateTime(int64_t days, uint32_t secs, uint32_t nanos) : days_(days), secs_(secs), nanos_(nanos) {}
  int64_t days_ = 0;
  uint32_t secs_ = 0;
  uint32_t nanos_ = 0;
};

}  // namespace veln
