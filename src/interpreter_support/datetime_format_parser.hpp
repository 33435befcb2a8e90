// The strftime-style date-time parser behind contract code's strptime: reads
// a text against a format of "%" directives (numeric fields, English month
// and weekday names, fractions to the nanosecond, offsets that are read and
// ignored, composite forms such as %F and %+) and resolves the fields into a
// date-time without time zone. Parsing only; it never formats and never
// consults a locale or the time zone of the process.
#pragma once

#include <optional>
#include <string_view>

#include "values/vm_datetime.hpp"

namespace veln {

// The date-time the text denotes under the format, or nothing when the text
// does not match, the format is invalid, a field is out of range or given
// inconsistently, or the fields do not determine a date and a time.
std::optional<VmDateTime> parse_datetime_with_format(std::string_view text, std::string_view format);

}  // namespace veln
