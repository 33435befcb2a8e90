#include "interpreter_support/native_attributes.hpp"

#include <array>
#include <string>

#include "values/vm_datetime.hpp"

namespace veln {
namespace {

using DateTimeField = int64_t (*)(const VmDateTime&);
using TimeDeltaDivisor = int64_t;

struct DateTimeAttribute {
  std::string_view name;
  DateTimeField read;
};

constexpr std::array<DateTimeAttribute, 7> kDateTimeAttributes = {{
    {"year", [](const VmDateTime& d) -> int64_t { return d.year(); }},
    {"month", [](const VmDateTime& d) -> int64_t { return d.month(); }},
    {"day", [](const VmDateTime& d) -> int64_t { return d.day(); }},
    {"hour", [](const VmDateTime& d) -> int64_t { return d.hour(); }},
    {"minute", [](const VmDateTime& d) -> int64_t { return d.minute(); }},
    {"second", [](const VmDateTime& d) -> int64_t { return d.second(); }},
    {"microsecond", [](const VmDateTime& d) -> int64_t { return d.microsecond(); }},
}};

struct TimeDeltaAttribute {
  std::string_view name;
  TimeDeltaDivisor seconds_per_unit;
};

// The whole duration in each unit, truncated toward zero.
constexpr std::array<TimeDeltaAttribute, 5> kTimeDeltaAttributes = {{
    {"seconds", 1},
    {"minutes", 60},
    {"hours", 3600},
    {"days", 86400},
    {"weeks", 604800},
}};

}  // namespace

VmResult<VmValue> native_attribute_value(const VmValue& value, std::string_view name) {
  if (value.is(VmKind::DateTime)) {
    for (const auto& attr : kDateTimeAttributes) {
      if (attr.name == name) return VmValue::integer(attr.read(value.datetime_value()));
    }
    return vm_error("datetime has no attribute '" + std::string(name) + "'");
  }
  if (value.is(VmKind::TimeDelta)) {
    for (const auto& attr : kTimeDeltaAttributes) {
      // C++ division truncates toward zero, the rounding of these fields; no divisor is -1.
      if (attr.name == name) return VmValue::integer(value.timedelta_raw_seconds() / attr.seconds_per_unit);
    }
    return vm_error("timedelta has no attribute '" + std::string(name) + "'");
  }
  return vm_error("value of type " + std::string(value.type_name()) + " has no native attribute '" +
                  std::string(name) + "'");
}

}  // namespace veln
