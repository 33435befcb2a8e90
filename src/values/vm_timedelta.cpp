// Checked time-delta arithmetic and the time-delta text. The text works on
// the unsigned magnitude so that the most negative count needs no negation.
#include "values/vm_timedelta.hpp"

#include "values/integer_text.hpp"

namespace veln {

namespace {

VmExecutionError timedelta_overflow() { return vm_error("timedelta overflow"); }

void append_two_digits(std::string& out, uint64_t v) {
  out += static_cast<char>('0' + v / 10);
  out += static_cast<char>('0' + v % 10);
}

}  // namespace

VmResult<VmTimeDelta> VmTimeDelta::add(VmTimeDelta a, VmTimeDelta b) {
  int64_t r;
  if (__builtin_add_overflow(a.raw_seconds, b.raw_seconds, &r)) return timedelta_overflow();
  return VmTimeDelta{r};
}

VmResult<VmTimeDelta> VmTimeDelta::sub(VmTimeDelta a, VmTimeDelta b) {
  int64_t r;
  if (__builtin_sub_overflow(a.raw_seconds, b.raw_seconds, &r)) return timedelta_overflow();
  return VmTimeDelta{r};
}

VmResult<VmTimeDelta> VmTimeDelta::mul(VmTimeDelta a, int64_t factor) {
  int64_t r;
  if (__builtin_mul_overflow(a.raw_seconds, factor, &r)) return timedelta_overflow();
  return VmTimeDelta{r};
}

void VmTimeDelta::append_text(std::string& out) const {
  const bool negative = raw_seconds < 0;
  // Two's-complement magnitude: well defined for INT64_MIN as well.
  const uint64_t mag = negative ? uint64_t{0} - static_cast<uint64_t>(raw_seconds)
                                : static_cast<uint64_t>(raw_seconds);
  const uint64_t days = mag / 86400;
  const uint64_t hours = (mag % 86400) / 3600;
  const uint64_t minutes = (mag % 3600) / 60;
  const uint64_t seconds = mag % 60;
  if (negative) out += '-';
  if (days == 1) {
    out += "1 day, ";
  } else if (days > 1) {
    append_integer_text(out, days);
    out += " days, ";
  }
  append_integer_text(out, hours);
  out += ':';
  append_two_digits(out, minutes);
  out += ':';
  append_two_digits(out, seconds);
}

std::string VmTimeDelta::to_string() const {
  std::string out;
  append_text(out);
  return out;
}

void VmTimeDelta::append_diagnostic(std::string& out) const {
  out += "VmTimeDelta { raw_seconds: ";
  append_integer_text(out, raw_seconds);
  out += " }";
}

}  // namespace veln
