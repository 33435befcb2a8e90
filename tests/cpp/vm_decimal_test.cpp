// Fixed-point decimal: literal parsing at the edges, arithmetic truncation,
// powers, the square root, the plain and display texts, and the messages.
// CPython's decimal module (tests/gen/gen_decimal.py) supplies most expected
// results through tests/data/decimal_cases.txt.
#include "values/vm_decimal.hpp"

#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <fstream>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

namespace veln {
namespace {

VmDecimal dec(std::string_view text) {
  auto r = VmDecimal::from_str_literal(text);
  EXPECT_TRUE(r.ok()) << text << ": " << (r.ok() ? "" : r.error().message);
  return r.ok() ? *r : VmDecimal();
}

// "ok:<plain text>" or "err:<message>".
template <class T>
std::string outcome(const VmResult<T>& r) {
  if (!r.ok()) return "err:" + r.error().message;
  return "ok:" + r->to_string();
}

std::string scaled_text(const VmDecimal& d) { return d.scaled().get_str(); }

TEST(VmDecimal, Constants) {
  EXPECT_EQ(VmDecimal::scale_factor().get_str(), "1" + std::string(30, '0'));
  EXPECT_EQ(VmDecimal::max_scaled().get_str(), std::string(91, '9'));
  EXPECT_EQ(VmDecimal::half_scale_factor().get_str(), "5" + std::string(29, '0'));
  // Built once: the same object every time.
  EXPECT_EQ(&VmDecimal::scale_factor(), &VmDecimal::scale_factor());
}

struct LiteralCase {
  const char* text;
  const char* expected;  // outcome()
};

TEST(VmDecimal, LiteralParsing) {
  const std::string big61(61, '9');
  const std::string big62 = "1" + std::string(61, '0');
  const LiteralCase cases[] = {
      {"1.5", "ok:1.5"},
      {"  -0.50  ", "ok:-0.5"},
      {"+2", "ok:2"},
      {"1e3", "ok:1000"},
      {"1E-3", "ok:0.001"},
      {".5", "ok:0.5"},
      {"5.", "ok:5"},
      {".", "err:invalid decimal literal '.'"},
      {"   ", "err:decimal() requires a value"},
      {"", "err:decimal() requires a value"},
      {"\xE2\x80\x83\xE3\x80\x80 7 \xC2\xA0", "ok:7"},  // em space, ideographic space, no-break space
      {"\xC2\x85" "1\xE2\x80\xA8", "ok:1"},              // NEL and line separator are white space
      {"\xE2\x80\x8B" "1", "err:invalid decimal literal '\xE2\x80\x8B" "1'"},  // zero width space is not
      {"1e", "err:invalid decimal exponent '1e'"},
      {"1e+", "err:invalid decimal exponent '1e+'"},
      {"1e-", "err:invalid decimal exponent '1e-'"},
      {"1e+-1", "err:invalid decimal exponent '1e+-1'"},
      {"1e1.5", "err:invalid decimal exponent '1e1.5'"},
      {"1e99999999999999999999", "err:invalid decimal exponent '1e99999999999999999999'"},
      {"1e9223372036854775808", "err:invalid decimal exponent '1e9223372036854775808'"},
      {"1e9223372036854775807", "err:decimal value 1e9223372036854775807 exceeds the supported decimal range"},
      {"1e-9223372036854775808", "ok:0"},
      {"0e-9223372036854775808", "ok:0"},
      {"0e9223372036854775807", "err:decimal value 0e9223372036854775807 exceeds the supported decimal range"},
      {"-1e-9223372036854775807", "ok:0"},
      {"1.2.3", "err:invalid decimal literal '1.2.3'"},
      {"1_000", "err:invalid decimal literal '1_000'"},
      {"--1", "err:invalid decimal literal '--1'"},
      {"+-1", "err:invalid decimal literal '+-1'"},
      {"1 000", "err:invalid decimal literal '1 000'"},
      {"abc", "err:invalid decimal literal 'abc'"},
      {"NaN", "err:invalid decimal literal 'NaN'"},
      {"inf", "err:invalid decimal literal 'inf'"},
      {"-inf", "err:invalid decimal literal '-inf'"},
      {"x1e5", "err:invalid decimal literal 'x1e5'"},
      {"1.2.3e", "err:invalid decimal exponent '1.2.3e'"},  // the exponent is judged first
      {"e5", "err:invalid decimal literal 'e5'"},
      {"-", "err:invalid decimal literal '-'"},
      {"\xD9\xA1", "err:invalid decimal literal '\xD9\xA1'"},  // Arabic-Indic digit one
      {"0.0000000000000000000000000000019", "ok:0.000000000000000000000000000001"},
      {"1e-31", "ok:0"},
      {"1e-30", "ok:0.000000000000000000000000000001"},
      {"-0", "ok:0"},
      {"0e5", "ok:0"},
      {"-0.000", "ok:0"},
      {"0e61", "ok:0"},
      {"0e62", "err:decimal value 0e62 exceeds the supported decimal range"},
      {"0.00e62", "ok:0"},
      {"000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000001", "ok:1"},
      {"1e60", "ok:1000000000000000000000000000000000000000000000000000000000000"},
      {"1e61", "err:decimal value 1e61 exceeds the supported decimal range"},
      {"-1e61", "err:decimal value -1e61 exceeds the supported decimal range"},
      {"10e59", "ok:1000000000000000000000000000000000000000000000000000000000000"},
      {"0.1e62", "err:decimal value 0.1e62 exceeds the supported decimal range"},
      {"0.1e61", "ok:1000000000000000000000000000000000000000000000000000000000000"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(outcome(VmDecimal::from_str_literal(c.text)), c.expected) << c.text;
  }
  EXPECT_EQ(outcome(VmDecimal::from_str_literal(big61)), "ok:" + big61);
  EXPECT_EQ(outcome(VmDecimal::from_str_literal("-" + big62)),
            "err:decimal value -" + big62 + " exceeds the supported decimal range");
  // At shift 30 exactly no zeros are appended; the range check then quotes
  // the plain text of the value, not the literal.
  const std::string wide = "1" + std::string(91, '0');
  EXPECT_EQ(outcome(VmDecimal::from_str_literal(wide + "e-30")),
            "err:decimal value 1" + std::string(61, '0') + " exceeds the supported decimal range");
  // More than 30 fraction digits beyond the range: truncation first, then
  // the plain-text message.
  EXPECT_EQ(outcome(VmDecimal::from_str_literal("1" + std::string(61, '0') + ".12345678901234567890123456789012")),
            "err:decimal value 1" + std::string(61, '0') +
                ".12345678901234567890123456789 exceeds the supported decimal range");
  EXPECT_EQ(scaled_text(dec("1.5")), "15" + std::string(29, '0'));
  // A huge literal is judged without building a huge integer.
  EXPECT_EQ(outcome(VmDecimal::from_str_literal("0." + std::string(100000, '0') + "1")), "ok:0");
}

TEST(VmDecimal, Conversions) {
  EXPECT_EQ(VmDecimal::from_bool(true).to_string(), "1");
  EXPECT_EQ(VmDecimal::from_bool(false).to_string(), "0");
  EXPECT_EQ(VmDecimal::from_i64(INT64_MIN).to_string(), "-9223372036854775808");
  EXPECT_EQ(VmDecimal::from_i64(INT64_MAX).to_string(), "9223372036854775807");
  const mpz_class max_int(std::string(61, '9'));
  EXPECT_EQ(outcome(VmDecimal::from_bigint(max_int)), "ok:" + std::string(61, '9'));
  EXPECT_EQ(outcome(VmDecimal::from_bigint(-max_int)), "ok:-" + std::string(61, '9'));
  const mpz_class too_big = max_int + 1;
  EXPECT_EQ(outcome(VmDecimal::from_bigint(-too_big)),
            "err:decimal value -1" + std::string(61, '0') + " exceeds the supported decimal range");

  struct FloatCase {
    double x;
    const char* expected;
  };
  const double inf = std::numeric_limits<double>::infinity();
  const FloatCase floats[] = {
      {0.1, "ok:0.1"},
      {1.0, "ok:1"},
      {-0.0, "ok:0"},
      {1e20, "ok:100000000000000000000"},
      {1e-7, "ok:0.0000001"},
      {1e-40, "ok:0"},
      {1e-30, "ok:0.000000000000000000000000000001"},
      {-2.5e-30, "ok:-0.000000000000000000000000000002"},
      {1e60, "ok:1000000000000000000000000000000000000000000000000000000000000"},
      {1e61, "err:decimal value 10000000000000000000000000000000000000000000000000000000000000 exceeds the supported decimal range"},
      {std::nan(""), "err:invalid decimal literal 'NaN'"},
      {inf, "err:invalid decimal literal 'inf'"},
      {-inf, "err:invalid decimal literal '-inf'"},
  };
  for (const auto& c : floats) {
    EXPECT_EQ(outcome(VmDecimal::from_f64(c.x)), c.expected) << c.x;
  }

  EXPECT_EQ(dec("-2.7").to_bigint().get_str(), "-2");
  EXPECT_EQ(dec("123.999").to_bigint().get_str(), "123");
  EXPECT_EQ(dec("-0.5").to_bigint().get_str(), "0");
  EXPECT_EQ(*dec("-2.9").to_i64(), -2);
  EXPECT_EQ(*dec("9223372036854775807.9").to_i64(), INT64_MAX);
  EXPECT_EQ(*dec("-9223372036854775808.9").to_i64(), INT64_MIN);
  EXPECT_EQ(dec("1e20").to_i64().error().message,
            "decimal value 100000000000000000000 exceeds the supported i64 range");
  EXPECT_EQ(dec("10000000000000000000.5").to_i64().error().message,
            "decimal value 10000000000000000000.5 exceeds the supported i64 range");
  EXPECT_EQ(dec("0.1").to_f64(), 0.1);
  EXPECT_EQ(dec("-0.000000000000000000000000000001").to_f64(), -1e-30);
  EXPECT_EQ(dec(std::string(61, '9')).to_f64(), 1e61);
  EXPECT_EQ(VmDecimal().to_f64(), 0.0);
  EXPECT_EQ(VmDecimal::not_decimal_compatible("list").message,
            "expected decimal-compatible value, got list");
}

TEST(VmDecimal, Texts) {
  struct TextCase {
    const char* literal;
    const char* plain;
    const char* display;
  };
  const TextCase cases[] = {
      {"0", "0", "0"},
      {"1", "1", "1"},
      {"1.10", "1.1", "1.1"},
      {"10", "10", "10"},
      {"100", "100", "100"},
      {"120", "120", "120"},
      {"1000", "1000", "1E+3"},
      {"100000", "100000", "100E+3"},
      {"1500", "1500", "1.5E+3"},
      {"12000", "12000", "12E+3"},
      {"1234000", "1234000", "1.234E+6"},
      {"1e60", "1000000000000000000000000000000000000000000000000000000000000", "1E+60"},
      {"0.0000001", "0.0000001", "100E-9"},
      {"0.00000012", "0.00000012", "120E-9"},
      {"0.000001", "0.000001", "0.000001"},
      {"1e-30", "0.000000000000000000000000000001", "1E-30"},
      {"-2000", "-2000", "-2E+3"},
      {"-0.5", "-0.5", "-0.5"},
      {"123.456", "123.456", "123.456"},
      {"12345", "12345", "12345"},
      {"0.001", "0.001", "0.001"},
  };
  for (const auto& c : cases) {
    const VmDecimal d = dec(c.literal);
    EXPECT_EQ(d.to_string(), c.plain) << c.literal;
    EXPECT_EQ(d.python_repr(), c.display) << c.literal;
  }
  std::string diag;
  dec("1.5").append_diagnostic(diag);
  EXPECT_EQ(diag, "VmDecimal { scaled: 1500000000000000000000000000000 }");
  diag.clear();
  dec("-1e-30").append_diagnostic(diag);
  EXPECT_EQ(diag, "VmDecimal { scaled: -1 }");
}

enum class Op { Add, Sub, Mul, Div, FloorDiv, Mod, Pow };

VmResult<VmDecimal> apply(Op op, const VmDecimal& a, const VmDecimal& b) {
  switch (op) {
    case Op::Add: return VmDecimal::add(a, b);
    case Op::Sub: return VmDecimal::sub(a, b);
    case Op::Mul: return VmDecimal::mul(a, b);
    case Op::Div: return VmDecimal::div(a, b);
    case Op::FloorDiv: return VmDecimal::floor_div(a, b);
    case Op::Mod: return VmDecimal::modulo(a, b);
    case Op::Pow: return VmDecimal::pow(a, b);
  }
  return vm_error("unreachable");
}

TEST(VmDecimal, NamedArithmetic) {
  struct ArithCase {
    Op op;
    const char* a;
    const char* b;
    const char* expected;
  };
  const std::string max = std::string(61, '9') + "." + std::string(30, '9');
  const std::string neg_max = "-" + max;
  const ArithCase cases[] = {
      {Op::Div, "1", "3", "ok:0.333333333333333333333333333333"},
      {Op::Div, "-1", "3", "ok:-0.333333333333333333333333333333"},
      {Op::Div, "2", "3", "ok:0.666666666666666666666666666666"},
      {Op::Mul, "0.000000000000000000000000000001", "0.5", "ok:0"},
      {Op::Mul, "-0.000000000000000000000000000001", "0.5", "ok:0"},
      {Op::FloorDiv, "-7", "2", "ok:-3"},
      {Op::Mod, "-7", "2", "ok:-1"},
      {Op::Mod, "-7", "3", "ok:-1"},
      {Op::Mod, "7", "-3", "ok:1"},
      {Op::Mod, "7.5", "2", "ok:1.5"},
      {Op::Mod, "7", "0", "err:modulo by zero"},
      {Op::FloorDiv, "7", "0", "err:division by zero"},
      {Op::Div, "7", "0", "err:division by zero"},
      {Op::Div, "0", "0", "err:division by zero"},
      {Op::Pow, "2", "0.5", "ok:1.414213562373095048801688724209"},
      {Op::Pow, "-4", "0.5", "err:cannot take square root of a negative decimal"},
      {Op::Pow, "0", "0.5", "ok:0"},
      {Op::Pow, "0", "0", "ok:1"},
      {Op::Pow, "-5", "0", "ok:1"},
      {Op::Pow, "2", "-1", "ok:0.5"},
      {Op::Pow, "3", "-1", "ok:0.333333333333333333333333333333"},
      {Op::Pow, "0", "-1", "err:0 cannot be raised to a negative power"},
      {Op::Pow, "2", "1.5", "err:unsupported decimal exponent 1.5"},
      {Op::Pow, "2", "0.25", "err:unsupported decimal exponent 0.25"},
      {Op::Pow, "4", "-0.5", "err:unsupported decimal exponent -0.5"},
      {Op::Pow, "10", "61", "err:decimal value 10000000000000000000000000000000000000000000000000000000000000 exceeds the supported decimal range"},
      {Op::Pow, "10", "60", "ok:1000000000000000000000000000000000000000000000000000000000000"},
      {Op::Pow, "10", "-61", "err:decimal value 10000000000000000000000000000000000000000000000000000000000000 exceeds the supported decimal range"},
      {Op::Pow, "10", "-31", "ok:0"},
      {Op::Pow, "10", "-30", "ok:0.000000000000000000000000000001"},
      {Op::Pow, "0.0000000001", "-4", "err:division by zero"},  // the power truncates to 0
      {Op::Pow, "-1", "1000000000000000000000000000000000000000000000000000000000001", "ok:-1"},
      {Op::Pow, "-1", "1000000000000000000000000000000000000000000000000000000000000", "ok:1"},
      {Op::Pow, "1", "-999999999999999999999999999999999999999999999999999999999999", "ok:1"},
      {Op::Pow, "0.5", "999999999999999999999999999999999999999999999999999999999999", "ok:0"},
      {Op::Pow, "0", "5", "ok:0"},
      {Op::Pow, "-2", "3", "ok:-8"},
      {Op::Pow, "1.000000000000000000000000000001", "999999999999999999999999999999999999999999999999999999999999",
       nullptr},  // overflows: checked below for the message form only
      {Op::Add, max.c_str(), "0.000000000000000000000000000001",
       "err:decimal value 10000000000000000000000000000000000000000000000000000000000000 exceeds the supported decimal range"},
      {Op::Sub, neg_max.c_str(), "0.000000000000000000000000000001",
       "err:decimal value -10000000000000000000000000000000000000000000000000000000000000 exceeds the supported decimal range"},
      {Op::Add, max.c_str(), "0", nullptr},
      {Op::Mul, max.c_str(), max.c_str(), nullptr},
      {Op::Div, max.c_str(), "0.000000000000000000000000000001", nullptr},
      {Op::FloorDiv, max.c_str(), "0.1", nullptr},
  };
  for (const auto& c : cases) {
    const auto r = apply(c.op, dec(c.a), dec(c.b));
    if (c.expected) {
      EXPECT_EQ(outcome(r), c.expected) << c.a << " op " << c.b;
    } else if (!r.ok()) {
      EXPECT_NE(r.error().message.find("exceeds the supported decimal range"), std::string::npos);
    }
  }
  EXPECT_EQ(outcome(VmDecimal::add(dec(max), VmDecimal())), "ok:" + max);
  EXPECT_FALSE(VmDecimal::mul(dec(max), dec(max)).ok());
  EXPECT_FALSE(VmDecimal::div(dec(max), dec("1e-30")).ok());
  EXPECT_FALSE(VmDecimal::floor_div(dec(max), dec("0.1")).ok());
  EXPECT_FALSE(VmDecimal::pow(dec("1.000000000000000000000000000001"),
                              dec("999999999999999999999999999999999999999999999999999999999999"))
                   .ok());
  // The negation of the largest magnitude stays in range.
  EXPECT_EQ(dec(max).negated().to_string(), "-" + max);
}

TEST(VmDecimal, PowerTruncatesAtEveryStep) {
  // Each product of the binary exponentiation truncates, so the last digits
  // fall below those of the exactly computed power (shown on the right).
  struct PowCase {
    const char* base;
    long exponent;
    const char* stepwise;
    const char* exact;
  };
  const PowCase cases[] = {
      {"0.333333333333333333333333333333", 5, "0.004115226337448559670781893003",
       "0.004115226337448559670781893004"},
      {"1.1", 100, "13780.612339822270184118337172089151", "13780.612339822270184118337172089636"},
      {"1.414213562373095048801688724209", 10, "31.99999999999999999999999999984",
       "31.999999999999999999999999999842"},
  };
  for (const auto& c : cases) {
    const auto r = VmDecimal::pow_integer(dec(c.base), mpz_class(c.exponent));
    ASSERT_TRUE(r.ok());
    EXPECT_EQ(r->to_string(), c.stepwise) << c.base;
    EXPECT_NE(r->to_string(), c.exact);
  }
  const VmDecimal third = *VmDecimal::div(dec("1"), dec("3"));
  EXPECT_EQ(VmDecimal::pow_integer(third, mpz_class(2))->to_string(), "0.11111111111111111111111111111");
  EXPECT_EQ(VmDecimal::pow_integer(dec("-0.5"), mpz_class(-3))->to_string(), "-8");
  EXPECT_EQ(VmDecimal::pow_integer(dec("0"), mpz_class(-1)).error().message,
            "0 cannot be raised to a negative power");
}

// Python's float.hex() form, e.g. "-0x1.8p+3".
double parse_hex_double(std::string_view text) {
  bool negative = false;
  if (!text.empty() && text[0] == '-') {
    negative = true;
    text.remove_prefix(1);
  }
  if (text.substr(0, 2) == "0x") text.remove_prefix(2);
  double out = 0.0;
  const auto res = std::from_chars(text.data(), text.data() + text.size(), out, std::chars_format::hex);
  EXPECT_EQ(res.ptr, text.data() + text.size()) << text;
  return negative ? -out : out;
}

// Cases from CPython's decimal module: "<op> <a> <b> <expected>" where
// expected is "ok:<plain>|<display>" or "err:<message>" (spaces in messages
// kept: the message is the rest of the line).
TEST(VmDecimal, AgainstCPython) {
  std::ifstream in(std::string(VELN_TEST_DATA_DIR) + "/decimal_cases.txt");
  ASSERT_TRUE(in) << "missing decimal_cases.txt";
  std::string line;
  int checked = 0;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream ss(line);
    std::string op, a, b;
    ss >> op >> a >> b;
    std::string expected;
    std::getline(ss, expected);
    if (!expected.empty() && expected[0] == ' ') expected.erase(0, 1);
    VmResult<VmDecimal> r = VmDecimal();
    if (op == "tof") {
      EXPECT_EQ(dec(a).to_f64(), parse_hex_double(expected)) << line;
      ++checked;
      continue;
    }
    if (op == "toint") {
      EXPECT_EQ(dec(a).to_bigint().get_str(), expected) << line;
      ++checked;
      continue;
    }
    if (op == "fromf") {
      r = VmDecimal::from_f64(parse_hex_double(a));
    } else if (op == "lit") {
      r = VmDecimal::from_str_literal(a);
    } else if (op == "sqrt") {
      r = VmDecimal::sqrt(dec(a));
    } else {
      static const std::pair<const char*, Op> kOps[] = {
          {"add", Op::Add}, {"sub", Op::Sub}, {"mul", Op::Mul},     {"div", Op::Div},
          {"fdiv", Op::FloorDiv}, {"mod", Op::Mod}, {"pow", Op::Pow},
      };
      bool found = false;
      for (const auto& [name, o] : kOps) {
        if (op == name) {
          r = apply(o, dec(a), dec(b));
          found = true;
        }
      }
      ASSERT_TRUE(found) << line;
    }
    std::string got = r.ok() ? "ok:" + r->to_string() + "|" + r->python_repr() : "err:" + r.error().message;
    EXPECT_EQ(got, expected) << line;
    ++checked;
  }
  EXPECT_GT(checked, 5000);
}

}  // namespace
}  // namespace veln
