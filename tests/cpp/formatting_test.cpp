#include "interpreter_support/formatting.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <limits>
#include <sstream>

#include "interpreter_support/hex_codec.hpp"
#include "values/vm_decimal.hpp"

namespace veln {
namespace {

VmValue i(int64_t v) { return VmValue::integer(v); }
VmValue dec(std::string_view literal) { return VmValue::decimal(*VmDecimal::from_str_literal(literal)); }

struct FormatCase {
  VmValue value;
  const char* spec;
  const char* expected;
  bool fails;
};

TEST(Formatting, FormatBuiltinValue) {
  const std::vector<FormatCase> cases = {
      {i(255), "x", "ff", false},
      {i(255), "X", "FF", false},
      {i(255), "08b", "11111111", false},
      {i(5), "05d", "00005", false},
      {i(-5), "05d", "-0005", false},
      {i(-5), "5d", "   -5", false},
      {i(5), "+3d", "  5", false},
      {i(5), "+05d", "    5", false},
      {i(5), "0x", "5", false},
      {i(5), "d", "5", false},
      {i(-42), "", "-42", false},
      {i(-255), "X", "-FF", false},
      {i(-255), "06x", "-000ff", false},
      {i(12345), "3d", "12345", false},
      {i(5), "0d", "5", false},
      {VmValue::integer(mpz_class("-123456789012345678901234567890")), "o",
       "-143564417755415637016711617605322", false},
      {i(5), "-3d", "unsupported integer format spec '-3d'", true},
      {i(5), "3", "unsupported integer format spec '3'", true},
      {i(5), ".2f", "unsupported integer format spec '.2f'", true},
      {i(5), "+d", "unsupported integer format spec '+d'", true},
      {i(5), "18446744073709551616d", "unsupported integer format spec '18446744073709551616d'", true},
      {i(5), "1 d", "unsupported integer format spec '1 d'", true},
      {i(5), "99999999d", "value exceeds the maximum allowed allocation size", true},
      {VmValue::str("abc"), "", "abc", false},
      {VmValue::str("abc"), "s", "format() does not support str with spec 's'", true},
      {VmValue::float64(1.5), "", "1.5", false},
      {VmValue::float64(1.5), ".2f", "format() does not support float with spec '.2f'", true},
      {VmValue::boolean(true), "", "True", false},
      {dec("1000"), "", "1E+3", false},
      {*VmValue::make_bytes("a'"), "", "b'a\\''", false},
      {VmValue::none(), "", "format() does not support none with spec ''", true},
      {*VmValue::make_list({}), "", "format() does not support list with spec ''", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.value.type_name()) + " spec=" + c.spec);
    auto r = format_builtin_value(c.value, c.spec);
    if (c.fails) {
      ASSERT_FALSE(r.ok()) << *r;
      EXPECT_EQ(r.error().message, c.expected);
    } else {
      ASSERT_TRUE(r.ok()) << r.error().message;
      EXPECT_EQ(*r, c.expected);
    }
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
      {"{} and {}", {i(1), i(2)}, "1 and 2", false},
      {"{1}{0}", {VmValue::str("a"), VmValue::str("b")}, "ba", false},
      {"{0}{}", {VmValue::str("a"), VmValue::str("b")}, "aa", false},
      {"{{x}}", {}, "{x}", false},
      {"{+1}", {i(1), i(2)}, "2", false},
      {"{}", {*VmValue::make_list({VmValue::str("s")})}, "[s]", false},
      {"{}", {VmValue::float64(1e16)}, "1e16", false},
      {"unused {0}", {i(1), i(2)}, "unused 1", false},
      {"{name}", {i(1)}, "unsupported str.format() field 'name'", true},
      {"{0:d}", {i(1)}, "unsupported str.format() field '0:d'", true},
      {"{+}", {i(1)}, "unsupported str.format() field '+'", true},
      {"{-1}", {i(1)}, "unsupported str.format() field '-1'", true},
      {"{99999999999999999999}", {i(1)}, "unsupported str.format() field '99999999999999999999'", true},
      {"{2}", {i(1), i(2)}, "str.format() placeholder index out of range", true},
      {"{}{}", {i(1)}, "str.format() placeholder index out of range", true},
      {"abc{", {}, "str.format() missing closing '}'", true},
      {"{0", {i(1)}, "str.format() missing closing '}'", true},
      {"a}b", {}, "str.format() unmatched '}'", true},
      {"}", {}, "str.format() unmatched '}'", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.templ);
    auto r = render_simple_format(c.templ, c.args);
    if (c.fails) {
      ASSERT_FALSE(r.ok()) << *r;
      EXPECT_EQ(r.error().message, c.expected);
    } else {
      ASSERT_TRUE(r.ok()) << r.error().message;
      EXPECT_EQ(*r, c.expected);
    }
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
      {i(25), -1, i(30)},
      {i(-25), -1, i(-30)},
      {i(24), -1, i(20)},
      {i(-35), -1, i(-40)},
      {i(7), 2, i(7)},
      {i(7), std::nullopt, i(7)},
      {i(499), -3, i(0)},
      {i(500), -3, i(1000)},
      {i(123), std::numeric_limits<int32_t>::min(), i(0)},
      {VmValue::float64(2.5), std::nullopt, i(3)},
      {VmValue::float64(-2.5), std::nullopt, i(-3)},
      {VmValue::float64(0.4), std::nullopt, i(0)},
      {VmValue::float64(2.675), 2, VmValue::float64(2.68)},
      {VmValue::float64(1.5), 0, VmValue::float64(2.0)},
      {VmValue::float64(1234.5), -2, VmValue::float64(1200.0)},
      {VmValue::float64(1.5), 400, VmValue::float64(1.5)},
      {VmValue::float64(1.5), std::numeric_limits<int32_t>::max(), VmValue::float64(1.5)},
      {VmValue::float64(-1.5), -400, VmValue::float64(-0.0)},
      {VmValue::float64(1e300), 300, VmValue::float64(1e300)},
      {VmValue::float64(inf), 2, VmValue::float64(inf)},
      {dec("2.675"), 2, dec("2.68")},
      {dec("-2.675"), 2, dec("-2.68")},
      {dec("-2.5"), std::nullopt, i(-3)},
      {dec("1234.5678"), 30, dec("1234.5678")},
      {dec("1234.5678"), -2, dec("1200")},
      {dec("1234.5678"), std::numeric_limits<int32_t>::min(), dec("0")},
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
