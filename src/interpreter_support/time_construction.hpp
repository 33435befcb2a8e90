// The date-time and time-delta construction system calls of contract code:
// "time.datetime.new" (components by position or keyword), "time.timedelta.new"
// (weeks first, whole seconds) and "time.datetime.strptime" (text and format).
// Pure functions of their arguments; they never read the clock.
#pragma once

#include "interpreter_support/ir_argument_readers.hpp"
#include "values/vm_datetime.hpp"
#include "values/vm_execution_error.hpp"
#include "values/vm_value.hpp"

namespace veln {

// A date-time from 64-bit components: "invalid datetime date" when the date
// is not a calendar date (a component wider than its field included), then
// "invalid datetime time" likewise for the time of day.
VmResult<VmDateTime> datetime_from_components(int64_t year, int64_t month, int64_t day, int64_t hour,
                                              int64_t minute, int64_t second, int64_t microsecond);

// year, month, day (required), hour, minute, second, microsecond (default 0).
VmResult<VmValue> time_datetime_new(VmPositionalArgs args, VmKeywordArgs kwargs);
// weeks, days, hours, minutes, seconds (default 0), summed in checked 64-bit
// arithmetic: "timedelta overflow".
VmResult<VmValue> time_timedelta_new(VmPositionalArgs args, VmKeywordArgs kwargs);
// Exactly two positional str arguments, the text then the format; any parse
// failure is "datetime.strptime() failed". Keeps the fraction to the nanosecond.
VmResult<VmValue> time_datetime_strptime(VmPositionalArgs args, VmKeywordArgs kwargs);

}  // namespace veln
