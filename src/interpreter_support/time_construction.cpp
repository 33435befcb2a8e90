// Date-time and time-delta construction from call arguments. Argument lookup
// (position first, then the first keyword of the name; unknown keywords and
// surplus positions ignored) is the argument readers'; the calendar rules are
// VmDateTime's; the text grammar is the format parser's.
#include "interpreter_support/time_construction.hpp"

#include <array>
#include <cstdint>
#include <limits>
#include <string_view>

#include "interpreter_support/datetime_format_parser.hpp"
#include "values/vm_datetime.hpp"

namespace veln {
namespace {

constexpr std::array<std::string_view, 4> kTimeComponentNames = {"hour", "minute", "second", "microsecond"};

struct TimeDeltaPart {
  std::string_view name;
  int64_t seconds_per_unit;
};
constexpr std::array<TimeDeltaPart, 5> kTimeDeltaParts = {{
    {"weeks", 604800}, {"days", 86400}, {"hours", 3600}, {"minutes", 60}, {"seconds", 1}}};

bool fits_u32(int64_t v) { return v >= 0 && v <= std::numeric_limits<uint32_t>::max(); }
bool fits_i32(int64_t v) { return v >= std::numeric_limits<int32_t>::min() && v <= std::numeric_limits<int32_t>::max(); }

}  // namespace

VmResult<VmDateTime> datetime_from_components(int64_t year, int64_t month, int64_t day, int64_t hour,
                                              int64_t minute, int64_t second, int64_t microsecond) {
  // A component too wide for its 32-bit slot is invalid within its group,
  // and the date is judged before the time of day.
  if (!fits_i32(year) || !fits_u32(month) || !fits_u32(day)) return vm_error("invalid datetime date");
  const auto y = static_cast<int32_t>(year);
  const auto m = static_cast<uint32_t>(month), d = static_cast<uint32_t>(day);
  if (!fits_u32(hour) || !fits_u32(minute) || !fits_u32(second) || !fits_u32(microsecond)) {
    VELN_TRY(VmDateTime midnight, VmDateTime::make(y, m, d, 0, 0, 0, 0));
    (void)midnight;
    return vm_error("invalid datetime time");
  }
  return VmDateTime::make(y, m, d, static_cast<uint32_t>(hour), static_cast<uint32_t>(minute),
                          static_cast<uint32_t>(second), static_cast<uint32_t>(microsecond));
}

VmResult<VmValue> time_datetime_new(VmPositionalArgs args, VmKeywordArgs kwargs) {
  VELN_TRY(int64_t year, positional_or_keyword_i64(args, kwargs, 0, "year"));
  VELN_TRY(int64_t month, positional_or_keyword_i64(args, kwargs, 1, "month"));
  VELN_TRY(int64_t day, positional_or_keyword_i64(args, kwargs, 2, "day"));
  std::array<int64_t, kTimeComponentNames.size()> time{};
  for (std::size_t i = 0; i < kTimeComponentNames.size(); ++i) {
    VELN_TRY(std::optional<int64_t> v, optional_positional_or_keyword_i64(args, kwargs, 3 + i, kTimeComponentNames[i]));
    time[i] = v.value_or(0);
  }
  VELN_TRY(VmDateTime dt, datetime_from_components(year, month, day, time[0], time[1], time[2], time[3]));
  return VmValue::datetime(dt);
}

VmResult<VmValue> time_timedelta_new(VmPositionalArgs args, VmKeywordArgs kwargs) {
  std::array<int64_t, kTimeDeltaParts.size()> parts{};
  for (std::size_t i = 0; i < kTimeDeltaParts.size(); ++i) {
    VELN_TRY(std::optional<int64_t> v, optional_positional_or_keyword_i64(args, kwargs, i, kTimeDeltaParts[i].name));
    parts[i] = v.value_or(0);
  }
  int64_t total = 0;
  for (std::size_t i = 0; i < kTimeDeltaParts.size(); ++i) {
    int64_t seconds = 0;
    if (__builtin_mul_overflow(parts[i], kTimeDeltaParts[i].seconds_per_unit, &seconds) ||
        __builtin_add_overflow(total, seconds, &total)) {
      return vm_error("timedelta overflow");
    }
  }
  return VmValue::timedelta_seconds(total);
}

VmResult<VmValue> time_datetime_strptime(VmPositionalArgs args, VmKeywordArgs kwargs) {
  VELN_CHECK(expect_positional_count(args, kwargs, 2, "datetime.datetime.strptime() expects two positional arguments"));
  VELN_TRY(std::string_view text, string_arg(args[0]));
  VELN_TRY(std::string_view format, string_arg(args[1]));
  std::optional<VmDateTime> dt = parse_datetime_with_format(text, format);
  if (!dt) return vm_error("datetime.strptime() failed");
  return VmValue::datetime(*dt);
}

}  // namespace veln
