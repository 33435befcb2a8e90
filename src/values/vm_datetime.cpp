// Date-time construction, movement by time deltas and the two texts, on
// 64-bit day numbers with our own proleptic Gregorian conversions (exact for
// every day number of the supported range; divisions are floored by hand so
// that years before 0 work).
#include "values/vm_datetime.hpp"

#include <algorithm>

#include "values/integer_text.hpp"

namespace veln {

namespace {

constexpr int64_t kSecondsPerDay = 86400;
// Years (and, times 366, day numbers) beyond which the calendar conversions
// clamp their argument instead of overflowing.
constexpr int64_t kCalendarLimit = int64_t{1} << 40;
constexpr uint32_t kNanos = VmDateTime::kNanosPerSecond;

int64_t floor_div(int64_t a, int64_t b) {
  const int64_t q = a / b;
  return (a % b != 0 && ((a < 0) != (b < 0))) ? q - 1 : q;
}

// Years 0..9999 as four digits, any other year signed and padded to four.
void append_year(std::string& out, int64_t year) {
  if (year >= 0 && year <= 9999) {
    append_zero_padded(out, static_cast<uint64_t>(year), 4);
    return;
  }
  out += year < 0 ? '-' : '+';
  const uint64_t mag = year < 0 ? uint64_t{0} - static_cast<uint64_t>(year) : static_cast<uint64_t>(year);
  append_zero_padded(out, mag, 4);
}

// Date and clock time with the leap second shown as second 60; sep is the
// character between date and time.
void append_date_clock(std::string& out, const VmDateTime& dt, char sep) {
  const CivilDate d = dt.date();
  append_year(out, d.year);
  out += '-';
  append_zero_padded(out, d.month, 2);
  out += '-';
  append_zero_padded(out, d.day, 2);
  out += sep;
  append_zero_padded(out, dt.hour(), 2);
  out += ':';
  append_zero_padded(out, dt.minute(), 2);
  out += ':';
  append_zero_padded(out, dt.second() + (dt.in_leap_second() ? 1 : 0), 2);
}

VmExecutionError datetime_overflow() { return vm_error("datetime overflow"); }

}  // namespace

bool is_leap_year(int64_t year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

uint32_t days_in_month(int64_t year, uint32_t month) {
  static constexpr uint8_t kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 1 || month > 12) return 0;
  if (month == 2 && is_leap_year(year)) return 29;
  return kDays[month - 1];
}

int64_t days_from_civil(int64_t year, uint32_t month, uint32_t day) {
  // Far outside any valid year the arithmetic below would overflow; a
  // clamped year still lands far outside the date range, so range checks on
  // the result reject it just the same.
  year = std::clamp<int64_t>(year, -kCalendarLimit, kCalendarLimit);
  month = std::clamp<uint32_t>(month, 1, 12);
  day = std::min<uint32_t>(day, 31);
  const int64_t y = year - (month <= 2 ? 1 : 0);
  const int64_t era = floor_div(y, 400);
  const int64_t yoe = y - era * 400;  // [0, 399]
  const int64_t mp = month > 2 ? month - 3 : month + 9;
  const int64_t doy = (153 * mp + 2) / 5 + day - 1;  // [0, 365]
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

CivilDate civil_from_days(int64_t days) {
  days = std::clamp<int64_t>(days, -kCalendarLimit * 366, kCalendarLimit * 366);
  const int64_t z = days + 719468;
  const int64_t era = floor_div(z, 146097);
  const int64_t doe = z - era * 146097;  // [0, 146096]
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  CivilDate out;
  out.day = static_cast<uint32_t>(doy - (153 * mp + 2) / 5 + 1);
  out.month = static_cast<uint32_t>(mp < 10 ? mp + 3 : mp - 9);
  out.year = yoe + era * 400 + (out.month <= 2 ? 1 : 0);
  return out;
}

int64_t VmDateTime::min_day_number() { return days_from_civil(kMinYear, 1, 1); }
int64_t VmDateTime::max_day_number() { return days_from_civil(kMaxYear, 12, 31); }

VmResult<VmDateTime> VmDateTime::make(int32_t year, uint32_t month, uint32_t day, uint32_t hour,
                                      uint32_t minute, uint32_t second, uint32_t microsecond) {
  if (year < kMinYear || year > kMaxYear || day < 1 || day > days_in_month(year, month)) {
    return vm_error("invalid datetime date");
  }
  const bool time_ok = hour < 24 && minute < 60 && second < 60 &&
                       (microsecond < 1'000'000 || (second == 59 && microsecond < 2'000'000));
  if (!time_ok) return vm_error("invalid datetime time");
  return VmDateTime(days_from_civil(year, month, day), hour * 3600 + minute * 60 + second,
                    microsecond * 1000);
}

std::optional<VmDateTime> VmDateTime::from_day_time(int64_t day_number, uint32_t seconds_of_day,
                                                    uint32_t nanos) {
  if (day_number < min_day_number() || day_number > max_day_number()) return std::nullopt;
  if (seconds_of_day >= kSecondsPerDay) return std::nullopt;
  if (nanos >= kNanos && (nanos >= 2 * kNanos || seconds_of_day % 60 != 59)) return std::nullopt;
  return VmDateTime(day_number, seconds_of_day, nanos);
}

VmResult<VmDateTime> VmDateTime::add_timedelta(const VmDateTime& dt, VmTimeDelta delta) {
  const int64_t d = delta.raw_seconds;
  if (d > kMaxDeltaSeconds || d < -kMaxDeltaSeconds) return datetime_overflow();
  if (d == 0) return dt;
  int64_t secs = dt.secs_;
  uint32_t nanos = dt.nanos_;
  // Leaving a leap second: moving forward passes the rest of it, moving back
  // lands in second 59 first, so the extra second counts in both directions.
  if (nanos >= kNanos) {
    nanos -= kNanos;
    if (d < 0) secs += 1;
  }
  // |days| < 2^27 and |d| < 2^54: no overflow.
  const int64_t total = dt.days_ * kSecondsPerDay + secs + d;
  const int64_t days = floor_div(total, kSecondsPerDay);
  if (days < min_day_number() || days > max_day_number()) return datetime_overflow();
  return VmDateTime(days, static_cast<uint32_t>(total - days * kSecondsPerDay), nanos);
}

int64_t VmDateTime::seconds_between(const VmDateTime& a, const VmDateTime& b) {
  int64_t secs = (a.days_ - b.days_) * kSecondsPerDay + (int64_t{a.secs_} - int64_t{b.secs_});
  // A leap second between the two whole seconds counts once: the inverse of
  // add_timedelta, so (x + d) - x == d for every x.
  const bool a_later = a.days_ != b.days_ ? a.days_ > b.days_ : a.secs_ > b.secs_;
  const bool a_earlier = a.days_ != b.days_ ? a.days_ < b.days_ : a.secs_ < b.secs_;
  if (a_later && b.nanos_ >= kNanos) secs += 1;
  if (a_earlier && a.nanos_ >= kNanos) secs -= 1;
  const int64_t frac = int64_t{a.nanos_} - int64_t{b.nanos_};  // (-2e9, 2e9)
  const int64_t frac_secs = floor_div(frac, kNanos);
  const int64_t frac_rest = frac - frac_secs * kNanos;  // [0, 1e9)
  secs += frac_secs;
  // Truncate toward zero: a negative whole part with a positive fraction is
  // one second closer to zero.
  if (secs < 0 && frac_rest > 0) secs += 1;
  return secs;
}

void VmDateTime::append_text(std::string& out) const {
  append_date_clock(out, *this, ' ');
  if (nanos_ < 1000) return;
  out += '.';
  append_zero_padded(out, (nanos_ % kNanos) / 1000, 6);
}

std::string VmDateTime::to_string() const {
  std::string out;
  append_text(out);
  return out;
}

void VmDateTime::append_diagnostic(std::string& out) const {
  out += "VmDateTime { value: ";
  append_date_clock(out, *this, 'T');
  const uint32_t frac = nanos_ % kNanos;
  if (frac != 0) {
    out += '.';
    if (frac % 1'000'000 == 0) {
      append_zero_padded(out, frac / 1'000'000, 3);
    } else if (frac % 1000 == 0) {
      append_zero_padded(out, frac / 1000, 6);
    } else {
      append_zero_padded(out, frac, 9);
    }
  }
  out += " }";
}

}  // namespace veln
