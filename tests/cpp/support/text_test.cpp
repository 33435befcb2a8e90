// Texts and times: the cases of support/formatting, strptime and
// time_construction, and CPython's radix texts and ascii() (formatting_*.txt)
// and strftime outputs read back (strptime_cases.txt).
#include <gtest/gtest.h>

#include <cstdio>

#include "case_file.hpp"
#include "interpreter_support/datetime_format_parser.hpp"
#include "interpreter_support/formatting.hpp"
#include "interpreter_support/time_construction.hpp"

namespace veln {
namespace {

using namespace cases;

// "YYYY-MM-DD HH:MM:SS.nnnnnnnnn" with the fraction as held (a leap second
// shows second 59 and a fraction of ten digits), or "fail".
std::string describe(const std::optional<VmDateTime>& dt) {
  if (!dt) return "fail";
  char buf[96];
  std::snprintf(buf, sizeof buf, "%04d-%02u-%02u %02u:%02u:%02u.%09u", dt->year(), dt->month(), dt->day(), dt->hour(),
                dt->minute(), dt->second(), dt->nanos());
  return buf;
}

Outcome parsed(const std::optional<VmDateTime>& dt) {
  return dt ? outcome(describe(dt)) : outcome(VmValue::none());
}

// A date-time as its display text, a time delta as its raw seconds.
Outcome constructed(const VmResult<VmValue>& r) {
  if (r.ok() && r->is(VmKind::DateTime)) return outcome(r->datetime_value().to_string());
  if (r.ok() && r->is(VmKind::TimeDelta)) return outcome(r->timedelta_raw_seconds());
  return outcome(r);
}

TEST(Formatting, Cases) {
  run_case_file("support/formatting.cases",
                {
                    {"format", [](const Case& c) { return outcome(format_builtin_value(c[0], c[1].text())); }},
                    {"render", [](const Case& c) { return outcome(render_simple_format(c[0].text(), c.tail(1))); }},
                    {"round",
                     [](const Case& c) {
                       std::optional<int32_t> ndigits;
                       if (!c[1].is(VmKind::None)) ndigits = static_cast<int32_t>(c.i64(1));
                       return outcome(round_builtin_value(c[0], ndigits));
                     }},
                    {"round_to_factor", [](const Case& c) { return outcome(round_bigint_to_factor(c.mpz(0), c.mpz(1))); }},
                    {"ascii_repr", [](const Case& c) { return outcome(ascii_string_repr(c[0].text())); }},
                    {"ascii_render", [](const Case& c) { return outcome(ascii_render(c[0].text())); }},
                });
}

// "<n> <bin> <oct> <hex>" and "<hex of the text or -> <ascii()>".
TEST(Formatting, RadixAndAsciiTextsMatchCPython) {
  size_t radix = 0;
  for (const auto& row : data_rows("formatting_radix.txt")) {
    const mpz_class n(row[0]);
    EXPECT_EQ(format_integer_builtin(n, 2, "0b"), row[1]);
    EXPECT_EQ(format_integer_builtin(n, 8, "0o"), row[2]);
    EXPECT_EQ(format_integer_builtin(n, 16, "0x"), row[3]);
    ++radix;
  }
  EXPECT_GT(radix, 400u);
  size_t ascii = 0;
  for (const auto& row : data_rows("formatting_ascii.txt", '\n')) {
    const size_t space = row[0].find(' ');
    EXPECT_EQ(ascii_string_repr(unhex(row[0].substr(0, space))), row[0].substr(space + 1)) << row[0];
    ++ascii;
  }
  EXPECT_EQ(ascii, 400u);
}

TEST(DatetimeFormatParser, Cases) {
  run_case_file("support/strptime.cases",
                {
                    {"parse", [](const Case& c) { return parsed(parse_datetime_with_format(c.text(0), c.text(1))); }},
                    {"invalid_format",
                     [](const Case& c) {
                       for (const char* text : {"2024-01-05 07:08 x", "2024-01-05 07:08 ", "2024-01-05 07:08"}) {
                         if (auto dt = parse_datetime_with_format(text, c.text(0))) return parsed(dt);
                       }
                       return outcome(VmValue::none());
                     }},
                });
}

// Texts written by CPython's strftime for random date-times and formats of
// the shared directives: "<text>\t<format>\t<expected or fail>".
TEST(DatetimeFormatParser, ReadsWhatCPythonWrites) {
  size_t checked = 0, failures = 0;
  for (const auto& row : data_rows("strptime_cases.txt", '\t')) {
    const std::string got = describe(parse_datetime_with_format(row[0], row[1]));
    if (got != row[2] && ++failures <= 20) ADD_FAILURE() << row[0] << " / " << row[1] << ": got " << got;
    ++checked;
  }
  EXPECT_EQ(failures, 0u);
  EXPECT_GE(checked, 1000u);
}

TEST(TimeConstruction, Cases) {
  run_case_file("support/time_construction.cases",
                {
                    {"datetime_new", [](const Case& c) { return constructed(time_datetime_new(c.args, c.kwargs)); }},
                    {"timedelta_new", [](const Case& c) { return constructed(time_timedelta_new(c.args, c.kwargs)); }},
                    {"strptime", [](const Case& c) { return constructed(time_datetime_strptime(c.args, c.kwargs)); }},
                    {"strptime_nanos",
                     [](const Case& c) -> Outcome {
                       VELN_TRY(const VmValue dt, time_datetime_strptime(c.args, c.kwargs));
                       return outcome(dt.datetime_value().nanos());
                     }},
                });
}

}  // namespace
}  // namespace veln
