// Integer kernels: floor division and modulo, narrowing with labels, and the
// float conversions (correct rounding checked against CPython's float(int)).
#include "values/bigint.hpp"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <fstream>
#include <limits>
#include <sstream>

namespace veln {
namespace {

mpz_class Z(const char* s) { return mpz_class(s, 10); }

TEST(Bigint, FloorDivAndModulo) {
  struct Case {
    long a, b, q, r;
  };
  const Case cases[] = {{7, 2, 3, 1},   {-7, 2, -4, 1},  {7, -2, -4, -1}, {-7, -2, 3, -1},
                        {6, -3, -2, 0}, {-7, 3, -3, 2},  {7, -3, -3, -2}, {-6, 3, -2, 0}};
  for (const auto& c : cases) {
    auto q = bigint_floor_div(mpz_class(c.a), mpz_class(c.b));
    auto r = bigint_modulo(mpz_class(c.a), mpz_class(c.b));
    ASSERT_TRUE(q.ok() && r.ok());
    EXPECT_EQ(*q, c.q) << c.a << "//" << c.b;
    EXPECT_EQ(*r, c.r) << c.a << "%" << c.b;
  }
  EXPECT_EQ(bigint_floor_div(5, 0).error().message, "division by zero");
  EXPECT_EQ(bigint_modulo(5, 0).error().message, "division by zero");
}

TEST(Bigint, Narrowing) {
  EXPECT_EQ(*bigint_to_i64(Z("9223372036854775807"), "x"), INT64_MAX);
  EXPECT_EQ(*bigint_to_i64(Z("-9223372036854775808"), "x"), INT64_MIN);
  EXPECT_EQ(bigint_to_i64(Z("9223372036854775808"), "index").error().message,
            "index exceeds the supported i64 range");
  EXPECT_EQ(bigint_to_i64(Z("-9223372036854775809"), "index").error().message,
            "index exceeds the supported i64 range");
  EXPECT_EQ(*bigint_to_u32(Z("4294967295"), "count"), 4294967295u);
  EXPECT_EQ(bigint_to_u32(Z("-1"), "count").error().message, "count must be non-negative");
  EXPECT_EQ(bigint_to_u32(Z("4294967296"), "count").error().message, "count exceeds the supported u32 range");
  EXPECT_EQ(*bigint_to_usize(Z("18446744073709551615"), "n"), UINT64_MAX);
  EXPECT_EQ(bigint_to_usize(Z("18446744073709551616"), "n").error().message, "n exceeds the supported usize range");
  EXPECT_EQ(bigint_to_usize(Z("-5"), "n").error().message, "n must be non-negative");
}

TEST(Bigint, BitLength) {
  EXPECT_EQ(bigint_bit_length(0), 0u);
  EXPECT_EQ(bigint_bit_length(1), 1u);
  EXPECT_EQ(bigint_bit_length(-8), 4u);
  EXPECT_EQ(bigint_bit_length(Z("18446744073709551616")), 65u);
}

TEST(Bigint, ToF64NamedCases) {
  const double inf = std::numeric_limits<double>::infinity();
  mpz_class two1024;
  mpz_ui_pow_ui(two1024.get_mpz_t(), 2, 1024);
  EXPECT_EQ(bigint_to_f64(two1024), inf);
  EXPECT_EQ(bigint_to_f64(-two1024), -inf);
  EXPECT_EQ(bigint_to_f64(Z("9007199254740993")), 9007199254740992.0);  // tie to even
  // 2^64 + 2^11 + 1 lies just above a halfway point: rounds up.
  EXPECT_EQ(bigint_to_f64(Z("18446744073709553665")), 18446744073709555712.0);
  EXPECT_EQ(bigint_to_f64(0), 0.0);
  EXPECT_FALSE(std::signbit(bigint_to_f64(0)));
}

TEST(Bigint, ToF64MatchesCPython) {
  std::ifstream in(VELN_TEST_DATA_DIR "/bigint_f64.txt");
  ASSERT_TRUE(in.good());
  std::string line;
  int n = 0;
  while (std::getline(in, line)) {
    std::istringstream f(line);
    std::string hex, expect;
    f >> hex >> expect;
    const bool neg = hex[0] == '-';
    mpz_class v(neg ? hex.substr(1) : hex, 16);
    if (neg) v = -v;
    const double got = bigint_to_f64(v);
    if (expect == "inf" || expect == "-inf") {
      ASSERT_TRUE(std::isinf(got)) << hex;
      ASSERT_EQ(got < 0, expect[0] == '-') << hex;
    } else {
      ASSERT_EQ(std::bit_cast<uint64_t>(got), std::stoull(expect, nullptr, 16)) << hex;
    }
    ++n;
  }
  EXPECT_GT(n, 5000);
}

TEST(Bigint, F64TruncViaShortestDigits) {
  struct Case {
    double x;
    const char* expect;
  };
  const Case cases[] = {{-3.7, "-3"},
                        {std::ldexp(1.0, 60), "1152921504606847000"},
                        {-0.0, "0"},
                        {0.9, "0"},
                        {-0.9, "0"},
                        {123456.0, "123456"}};
  for (const auto& c : cases) {
    auto r = f64_to_bigint_trunc("value", c.x);
    ASSERT_TRUE(r.ok());
    EXPECT_EQ(r->get_str(), c.expect) << c.x;
  }
  mpz_class e300;
  mpz_ui_pow_ui(e300.get_mpz_t(), 10, 300);
  EXPECT_EQ(*f64_to_bigint_trunc("value", 1e300), e300);
  EXPECT_EQ(f64_to_bigint_trunc("value", std::nan("")).error().message,
            "value must be finite for integer conversion");
  EXPECT_EQ(f64_to_bigint_trunc("x", -std::numeric_limits<double>::infinity()).error().message,
            "x must be finite for integer conversion");
}

}  // namespace
}  // namespace veln
