// Short builders of runtime values for table-driven tests. Test code only:
// every builder assumes its input is valid and dereferences the result.
#pragma once

#include <gmpxx.h>

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "values/vm_datetime.hpp"
#include "values/vm_decimal.hpp"
#include "values/vm_value.hpp"

namespace veln::value_builders {

inline VmValue I(int64_t v) { return VmValue::integer(v); }
inline VmValue Ibig(const char* digits) { return VmValue::integer(mpz_class(digits)); }
inline VmValue F(double v) { return VmValue::float64(v); }
inline VmValue B(bool v) { return VmValue::boolean(v); }
inline VmValue D(const char* text) { return VmValue::decimal(*VmDecimal::from_str_literal(text)); }
inline VmValue S(std::string_view text) { return VmValue::str(text); }
inline VmValue Bytes(std::string_view b) { return *VmValue::make_bytes(std::string(b)); }
inline VmValue ByteArray(std::string_view b) { return *VmValue::make_bytearray(std::string(b)); }
inline VmValue List(std::vector<VmValue> items) { return *VmValue::make_list(std::move(items)); }
inline VmValue Tuple(std::vector<VmValue> items) { return *VmValue::make_tuple(std::move(items)); }
inline VmValue Set(std::vector<VmValue> items) { return *VmValue::make_set(std::move(items)); }
inline VmValue FrozenSet(std::vector<VmValue> items) { return *VmValue::make_frozenset(std::move(items)); }
inline VmValue Dict(std::vector<VmDictPair> pairs) { return *VmValue::make_dict(std::move(pairs)); }
inline VmValue Dt(int32_t y, uint32_t mo, uint32_t d, uint32_t h = 0, uint32_t mi = 0, uint32_t s = 0,
                  uint32_t us = 0) {
  return VmValue::datetime(*VmDateTime::make(y, mo, d, h, mi, s, us));
}
// A date-time from a day number, seconds of the day and nanoseconds.
inline VmValue DtNanos(int64_t day, uint32_t secs, uint32_t nanos) {
  return VmValue::datetime(*VmDateTime::from_day_time(day, secs, nanos));
}
inline VmValue Td(int64_t s) { return VmValue::timedelta_seconds(s); }

}  // namespace veln::value_builders
