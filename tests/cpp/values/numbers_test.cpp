// Numbers: the cases of values/decimal.cases, bigint.cases and
// float_text.cases, and CPython's results for decimals (gen_decimal.py),
// int-to-float conversion (gen_bigint_f64.py) and float texts
// (gen_float_text.py).
#include <gtest/gtest.h>

#include <bit>
#include <cstdlib>
#include <cmath>
#include <cstring>
#include <random>

#include "case_file.hpp"
#include "gmp_printing.hpp"
#include "values/bigint.hpp"
#include "values/decimal_from_value.hpp"
#include "values/float_text.hpp"
#include "values/vm_decimal.hpp"

namespace veln {
namespace {

using namespace cases;

// A decimal operand: a literal (str) or an int.
VmResult<VmDecimal> dec(const VmValue& v) {
  if (v.is(VmKind::Int)) return VmDecimal::from_bigint(v.int_to_mpz());
  return VmDecimal::from_str_literal(v.text());
}

Outcome plain(const VmResult<VmDecimal>& r) {
  if (!r.ok()) return r.error();
  return outcome(r->to_string());
}

using DecimalOp = VmResult<VmDecimal> (*)(const VmDecimal&, const VmDecimal&);

CaseFunction binary(DecimalOp op) {
  return [op](const Case& c) -> Outcome {
    VELN_TRY(const VmDecimal a, dec(c[0]));
    VELN_TRY(const VmDecimal b, dec(c[1]));
    return plain(op(a, b));
  };
}

template <class F>
CaseFunction unary(F f) {
  return [f](const Case& c) -> Outcome {
    VELN_TRY(const VmDecimal a, dec(c[0]));
    return f(a, c);
  };
}

TEST(VmDecimal, Cases) {
  run_case_file(
      "values/decimal.cases",
      {
          {"lit", [](const Case& c) { return plain(VmDecimal::from_str_literal(c.text(0))); }},
          {"scaled", unary([](const VmDecimal& d, const Case&) { return outcome(d.scaled()); })},
          {"from_bool", [](const Case& c) { return plain(VmDecimal::from_bool(c[0].bool_value())); }},
          {"from_i64", [](const Case& c) { return plain(VmDecimal::from_i64(c.i64(0))); }},
          {"from_bigint", [](const Case& c) { return plain(VmDecimal::from_bigint(c.mpz(0))); }},
          {"from_f64", [](const Case& c) { return plain(VmDecimal::from_f64(c[0].float_value())); }},
          {"from_value", [](const Case& c) { return plain(decimal_from_vm_value(c[0])); }},
          {"to_bigint", unary([](const VmDecimal& d, const Case&) { return outcome(d.to_bigint()); })},
          {"to_i64", unary([](const VmDecimal& d, const Case&) { return outcome(d.to_i64()); })},
          {"to_f64", unary([](const VmDecimal& d, const Case&) { return outcome(d.to_f64()); })},
          {"texts", unary([](const VmDecimal& d, const Case&) { return outcome(d.to_string(), d.python_repr()); })},
          {"neg", unary([](const VmDecimal& d, const Case&) { return plain(d.negated()); })},
          {"pow_integer",
           unary([](const VmDecimal& d, const Case& c) { return plain(VmDecimal::pow_integer(d, c.mpz(1))); })},
          {"add", binary(VmDecimal::add)},
          {"sub", binary(VmDecimal::sub)},
          {"mul", binary(VmDecimal::mul)},
          {"div", binary(VmDecimal::div)},
          {"floordiv", binary(VmDecimal::floor_div)},
          {"mod", binary(VmDecimal::modulo)},
          {"pow", binary(VmDecimal::pow)},
      });
}

// Python's float.hex() form, e.g. "-0x1.8p+3", which the C library reads
// exactly (hexadecimal digits are binary; the test runs in the "C" locale).
double parse_hex_double(const std::string& text) { return std::strtod(text.c_str(), nullptr); }

// "<op> <a> <b> <expected>": "ok:<plain>|<display>" or "err:<message>" (the
// message runs to the end of the line), a float.hex() text, or an int.
TEST(VmDecimal, AgainstCPython) {
  const std::map<std::string, DecimalOp, std::less<>> ops = {
      {"add", VmDecimal::add}, {"sub", VmDecimal::sub},        {"mul", VmDecimal::mul},   {"div", VmDecimal::div},
      {"fdiv", VmDecimal::floor_div}, {"mod", VmDecimal::modulo}, {"pow", VmDecimal::pow}};
  size_t checked = 0;
  for (const auto& row : data_rows("decimal_cases.txt")) {
    std::string expected = row[3];
    for (size_t i = 4; i < row.size(); ++i) expected += " " + row[i];
    const auto a = VmDecimal::from_str_literal(row[1]);
    VmResult<VmDecimal> r = vm_error("unset");
    if (row[0] == "tof") {
      EXPECT_EQ(a->to_f64(), parse_hex_double(expected)) << row[1];
    } else if (row[0] == "toint") {
      EXPECT_EQ(a->to_bigint().get_str(), expected) << row[1];
    } else {
      if (row[0] == "fromf") r = VmDecimal::from_f64(parse_hex_double(row[1]));
      else if (row[0] == "lit") r = a;
      else if (row[0] == "sqrt") r = VmDecimal::sqrt(*a);
      else r = ops.at(row[0])(*a, *VmDecimal::from_str_literal(row[2]));
      EXPECT_EQ(r.ok() ? "ok:" + r->to_string() + "|" + r->python_repr() : "err:" + r.error().message, expected)
          << row[0] << " " << row[1] << " " << row[2];
    }
    ++checked;
  }
  EXPECT_GT(checked, 5000u);
}

// Whole floats below 2^53 are read without their text; the reading of the
// text must give the same decimal at every magnitude and sign.
TEST(VmDecimal, WholeFloatsReadAsTheirText) {
  for (int bits = 0; bits <= 53; ++bits) {
    for (const double x : {std::ldexp(1.0, bits) - 1.0, std::ldexp(1.0, bits), std::ldexp(0.6180339887, bits)}) {
      for (const double v : {std::trunc(x), -std::trunc(x)}) {
        const auto direct = VmDecimal::from_f64(v);
        const auto through_text = VmDecimal::from_str_literal(float_plain_text(v));
        ASSERT_TRUE(direct.ok() && through_text.ok()) << v;
        EXPECT_EQ(direct->scaled(), through_text->scaled()) << v;
      }
    }
  }
}

// Other floats are read from their shortest digits: the same decimal as
// their text, or the same range error, from the tiniest to the largest.
TEST(VmDecimal, FloatsReadAsTheirText) {
  std::mt19937_64 rng(7);
  for (int i = 0; i < 20000; ++i) {
    // Random bit patterns, then values near the range edge and the 30th place.
    double v;
    const uint64_t bits = rng();
    std::memcpy(&v, &bits, sizeof v);
    if (i % 3 == 1) v = std::ldexp(static_cast<double>(rng() >> 11), static_cast<int>(rng() % 300) - 150);
    if (i % 3 == 2) v = static_cast<double>(rng() >> 11) * std::pow(10.0, static_cast<double>(rng() % 110) - 80);
    if (i % 2 == 1) v = -v;
    if (!std::isfinite(v)) continue;
    const auto direct = VmDecimal::from_f64(v);
    const auto through_text = VmDecimal::from_str_literal(float_plain_text(v));
    ASSERT_EQ(direct.ok(), through_text.ok()) << v;
    if (direct.ok()) {
      EXPECT_EQ(direct->scaled(), through_text->scaled()) << v;
    } else {
      EXPECT_EQ(direct.error().message, through_text.error().message) << v;
    }
  }
}

TEST(Bigint, Cases) {
  const auto label = [](const Case& c) { return std::string_view(c[1].text()); };
  run_case_file("values/bigint.cases",
                {
                    {"divmod", [](const Case& c) -> Outcome {
                       VELN_TRY(const mpz_class q, bigint_floor_div(c.mpz(0), c.mpz(1)));
                       VELN_TRY(const mpz_class r, bigint_modulo(c.mpz(0), c.mpz(1)));
                       return outcome(q, r);
                     }},
                    {"floordiv", [](const Case& c) { return outcome(bigint_floor_div(c.mpz(0), c.mpz(1))); }},
                    {"mod", [](const Case& c) { return outcome(bigint_modulo(c.mpz(0), c.mpz(1))); }},
                    {"to_i64", [=](const Case& c) { return outcome(bigint_to_i64(c.mpz(0), label(c))); }},
                    {"to_u32", [=](const Case& c) { return outcome(bigint_to_u32(c.mpz(0), label(c))); }},
                    {"to_usize", [=](const Case& c) { return outcome(bigint_to_usize(c.mpz(0), label(c))); }},
                    {"bit_length", [](const Case& c) { return outcome(bigint_bit_length(c.mpz(0))); }},
                    {"to_f64", [](const Case& c) { return outcome(bigint_to_f64(c.mpz(0))); }},
                    {"trunc", [](const Case& c) { return outcome(f64_to_bigint_trunc(c[0].text(), c[1].float_value())); }},
                });
}

// "<hex int> <hex bits of the double>" (or "inf" / "-inf").
TEST(Bigint, ToF64MatchesCPython) {
  size_t checked = 0;
  for (const auto& row : data_rows("bigint_f64.txt")) {
    const bool neg = row[0][0] == '-';
    const mpz_class magnitude(neg ? row[0].substr(1) : row[0], 16);
    const double got = bigint_to_f64(neg ? mpz_class(-magnitude) : magnitude);
    const double want = row[1] == "inf"    ? HUGE_VAL
                        : row[1] == "-inf" ? -HUGE_VAL
                                           : std::bit_cast<double>(std::stoull(row[1], nullptr, 16));
    ASSERT_EQ(std::bit_cast<uint64_t>(got), std::bit_cast<uint64_t>(want)) << row[0];
    ++checked;
  }
  EXPECT_GT(checked, 5000u);
}

TEST(FloatText, Cases) {
  run_case_file("values/float_text.cases",
                {
                    {"texts",
                     [](const Case& c) {
                       std::string plain;
                       append_float_plain_text(plain, c[0].float_value());
                       return outcome(float_display_text(c[0].float_value()), plain);
                     }},
                    {"display", [](const Case& c) { return outcome(float_display_text(c[0].float_value())); }},
                });
}

// "<hex bits> <display> <plain or *>".
TEST(FloatText, MatchesCPythonRepr) {
  size_t checked = 0;
  for (const auto& row : data_rows("float_text.txt")) {
    const double x = std::bit_cast<double>(static_cast<uint64_t>(std::stoull(row[0], nullptr, 16)));
    ASSERT_EQ(float_display_text(x), row[1]) << row[0];
    if (row[2] != "*") {
      ASSERT_EQ(float_plain_text(x), row[2]) << row[0];
    }
    ++checked;
  }
  EXPECT_GT(checked, 20000u);
}

}  // namespace
}  // namespace veln
