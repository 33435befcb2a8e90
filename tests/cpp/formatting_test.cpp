#include "interpreter_support/formatting.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <limits>
#include <sstream>

#include "lib/hex_codec.hpp"
#include "values/vm_decimal.hpp"
#include "value_builders.hpp"

namespace veln {
namespace {

using namespace value_builders;

// The text a call gives or, when it is expected to fail, its error message.
void expect_text_or_error(const VmResult<std::string>& r, const char* expected, bool fails) {
  if (fails) {
    ASSERT_FALSE(r.ok()) << *r;
    EXPECT_EQ(r.error().message, expected);
  } else {
    ASSERT_TRUE(r.ok()) << r.error().message;
    EXPECT_EQ(*r, expected);
  }
}

struct FormatCase {
  VmValue value;
  const char* spec;
  const char* expected;
  bool fails;
};

TEST(Formatting, FormatBuiltinValue) {
  const std::vector<FormatCase> cases = {
      {I(255), "x", "ff", false},
      {I(255), "X", "FF", false},
      {I(255), "08b", "11111111", false},
      {I(5), "05d", "00005", false},
      {I(-5), "05d", "-0005", false},
      {I(-5), "5d", "   -5", false},
      {I(5), "+3d", "  5", false},
      {I(5), "+05d", "    5", false},
      {I(5), "0x", "5", false},
      {I(5), "d", "5", false},
      {I(-42), "", "-42", false},
      {I(-255), "X", "-FF", false},
      {I(-255), "06x", "-000ff", false},
      {I(12345), "3d", "12345", false},
      {I(5), "0d", "5", false},
      {VmValue::integer(mpz_class("-123456789012345678901234567890")), "o",
       "-143564417755415637016711617605322", false},
      {I(5), "-3d", "unsupported integer format spec '-3d'", true},
      {I(5), "3", "unsupported integer format spec '3'", true},
      {I(5), ".2f", "unsupported integer format spec '.2f'", true},
      {I(5), "+d", "unsupported integer format spec '+d'", true},
      {I(5), "18446744073709551616d", "unsupported integer format spec '18446744073709551616d'", true},
      {I(5), "1 d", "unsupported integer format spec '1 d'", true},
      {I(5), "99999999d", "value exceeds the maximum allowed allocation size", true},
      {VmValue::str("abc"), "", "abc", false},
      {VmValue::str("abc"), "s", "format() does not support str with spec 's'", true},
      {VmValue::float64(1.5), "", "1.5", false},
      {VmValue::float64(1.5), ".2f", "format() does not support float with spec '.2f'", true},
      {VmValue::boolean(true), "", "True", false},
      {D("1000"), "", "1E+3", false},
      {*VmValue::make_bytes("a'"), "", "b'a\\''", false},
      {VmValue::none(), "", "format() does not support none with spec ''", true},
      {*VmValue::make_list({}), "", "format() does not support list with spec ''", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.value.type_name()) + " spec=" + c.spec);
    expect_text_or_error(format_builtin_value(c.value, c.spec), c.expected, c.fails);
  }
}

TEST(Formatting, RadixTextsMatchCPython) {
  std::ifstream in(std::string(VELN_TEST_DATA_DIR) + "/formatting_radix.txt");
  ASSERT_TRUE(in) << "missing data file";
  std::string n, b, o, x;
  int count = 0;
  while (in >> n >> b >> o >> x) {
    const mpz_class value(n);
    EXPECT_EQ(format_integer_builtin(value, 2, "0b"), b);
    EXPECT_EQ(format_integer_builtin(value, 8, "0o"), o);
    EXPECT_EQ(format_integer_builtin(value, 16, "0x"), x);
    ++count;
  }
  EXPECT_GT(count, 400);
}

TEST(Formatting, AsciiStringReprMatchesCPython) {
  std::ifstream in(std::string(VELN_TEST_DATA_DIR) + "/formatting_ascii.txt");
  ASSERT_TRUE(in) << "missing data file";
  std::string line;
  int count = 0;
  while (std::getline(in, line)) {
    const size_t space = line.find(' ');
    const std::string hex = line.substr(0, space);
    std::string text;
    if (hex != "-") {
      const auto bytes = *hex_decode_pairs(hex);
      text.assign(bytes.begin(), bytes.end());
    }
    EXPECT_EQ(ascii_string_repr(text), line.substr(space + 1)) << hex;
    ++count;
  }
  EXPECT_EQ(count, 400);
}

TEST(Formatting, AsciiFormsOfQuotesAndNonAscii) {
  EXPECT_EQ(ascii_string_repr("it's \xc3\xa9"), "'it\\'s \\xe9'");
  EXPECT_EQ(ascii_string_repr("say \"hi\""), "'say \"hi\"'");
  EXPECT_EQ(ascii_render("[it's \xc3\xa9]"), "[it's \\u{e9}]");
  EXPECT_EQ(ascii_render("\xf0\x9f\x98\x80"), "\\u{1f600}");
  EXPECT_EQ(ascii_render("\xc2\x80"), "\\u{80}");
}

struct TemplateCase {
  const char* templ;
  std::vector<VmValue> args;
  const char* expected;
  bool fails;
};

TEST(Formatting, RenderSimpleFormat) {
  const std::vector<TemplateCase> cases = {
      {"{} and {}", {I(1), I(2)}, "1 and 2", false},
      {"{1}{0}", {VmValue::str("a"), VmValue::str("b")}, "ba", false},
      {"{0}{}", {VmValue::str("a"), VmValue::str("b")}, "aa", false},
      {"{{x}}", {}, "{x}", false},
      {"{+1}", {I(1), I(2)}, "2", false},
      {"{}", {*VmValue::make_list({VmValue::str("s")})}, "[s]", false},
      {"{}", {VmValue::float64(1e16)}, "1e16", false},
      {"unused {0}", {I(1), I(2)}, "unused 1", false},
      {"{name}", {I(1)}, "unsupported str.format() field 'name'", true},
      {"{0:d}", {I(1)}, "unsupported str.format() field '0:d'", true},
      {"{+}", {I(1)}, "unsupported str.format() field '+'", true},
      {"{-1}", {I(1)}, "unsupported str.format() field '-1'", true},
      {"{99999999999999999999}", {I(1)}, "unsupported str.format() field '99999999999999999999'", true},
      {"{2}", {I(1), I(2)}, "str.format() placeholder index out of range", true},
      {"{}{}", {I(1)}, "str.format() placeholder index out of range", true},
      {"abc{", {}, "str.format() missing closing '}'", true},
      {"{0", {I(1)}, "str.format() missing closing '}'", true},
      {"a}b", {}, "str.format() unmatched '}'", true},
      {"}", {}, "str.format() unmatched '}'", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.templ);
    expect_text_or_error(render_simple_format(c.templ, c.args), c.expected, c.fails);
  }
}

TEST(Formatting, RenderSimpleFormatStopsAtTheSizeLimit) {
  auto big = *VmValue::make_str(std::string(3'000'000, 'x'));
  auto r = render_simple_format("{}{}", std::vector<VmValue>{big, big});
  ASSERT_FALSE(r.ok());
  EXPECT_EQ(r.error().message, "value exceeds the maximum allowed allocation size");
}

struct RoundCase {
  VmValue value;
  std::optional<int32_t> ndigits;
  VmValue expected;
};

TEST(Formatting, RoundResults) {
  const double inf = std::numeric_limits<double>::infinity();
  const std::vector<RoundCase> cases = {
      {I(25), -1, I(30)},
      {I(-25), -1, I(-30)},
      {I(24), -1, I(20)},
      {I(-35), -1, I(-40)},
      {I(7), 2, I(7)},
      {I(7), std::nullopt, I(7)},
      {I(499), -3, I(0)},
      {I(500), -3, I(1000)},
      {I(123), std::numeric_limits<int32_t>::min(), I(0)},
      {VmValue::float64(2.5), std::nullopt, I(3)},
      {VmValue::float64(-2.5), std::nullopt, I(-3)},
      {VmValue::float64(0.4), std::nullopt, I(0)},
      {VmValue::float64(2.675), 2, VmValue::float64(2.68)},
      {VmValue::float64(1.5), 0, VmValue::float64(2.0)},
      {VmValue::float64(1234.5), -2, VmValue::float64(1200.0)},
      {VmValue::float64(1.5), 400, VmValue::float64(1.5)},
      {VmValue::float64(1.5), std::numeric_limits<int32_t>::max(), VmValue::float64(1.5)},
      {VmValue::float64(-1.5), -400, VmValue::float64(-0.0)},
      {VmValue::float64(1e300), 300, VmValue::float64(1e300)},
      // The last digit rounds up past the largest double: the value stays.
      {VmValue::float64(1.7976931348623157e308), -308, VmValue::float64(1.7976931348623157e308)},
      {VmValue::float64(-1.7976931348623157e308), -308, VmValue::float64(-1.7976931348623157e308)},
      {VmValue::float64(inf), 2, VmValue::float64(inf)},
      {D("2.675"), 2, D("2.68")},
      {D("-2.675"), 2, D("-2.68")},
      {D("-2.5"), std::nullopt, I(-3)},
      {D("1234.5678"), 30, D("1234.5678")},
      {D("1234.5678"), -2, D("1200")},
      {D("1234.5678"), std::numeric_limits<int32_t>::min(), D("0")},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.value.python_repr() + " ndigits=" + (c.ndigits ? std::to_string(*c.ndigits) : "none"));
    auto r = round_builtin_value(c.value, c.ndigits);
    ASSERT_TRUE(r.ok()) << r.error().message;
    EXPECT_TRUE(r->eq(c.expected)) << r->python_repr();
    if (r->is(VmKind::Float) && c.expected.is(VmKind::Float)) {
      EXPECT_EQ(std::signbit(r->float_value()), std::signbit(c.expected.float_value()));
    }
  }
}

TEST(Formatting, RoundRefusals) {
  EXPECT_EQ(round_builtin_value(VmValue::boolean(true), std::nullopt).error().message,
            "round() does not support bool");
  EXPECT_EQ(round_builtin_value(VmValue::str("1"), 1).error().message, "round() does not support str");
  EXPECT_EQ(round_builtin_value(VmValue::float64(std::numeric_limits<double>::infinity()), std::nullopt)
                .error()
                .message,
            "round() input must be finite for integer conversion");
  EXPECT_EQ(round_bigint_to_factor(mpz_class(5), mpz_class(0)).error().message, "round() factor cannot be zero");
  // Rounding up past the decimal range is refused by the range check.
  auto top = VmValue::decimal(*VmDecimal::from_str_literal(std::string(61, '9')));
  auto r = round_builtin_value(top, -1);
  ASSERT_FALSE(r.ok());
  EXPECT_NE(r.error().message.find("exceeds the supported decimal range"), std::string::npos);
}

}  // namespace
}  // namespace veln
