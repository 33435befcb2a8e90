// Float display and plain texts against CPython-derived expectations.
#include "values/float_text.hpp"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <limits>
#include <sstream>
#include <string>

namespace veln {
namespace {

struct FloatCase {
  double x;
  const char* display;
  const char* plain;
};

TEST(FloatText, NamedCases) {
  const double inf = std::numeric_limits<double>::infinity();
  const FloatCase cases[] = {
      {1.0, "1.0", "1"},
      {-2.5, "-2.5", "-2.5"},
      {0.0, "0.0", "0"},
      {-0.0, "-0.0", "-0"},
      {1e16, "1e16", "10000000000000000"},
      {1.5e16, "1.5e16", "15000000000000000"},
      {9999999999999998.0, "9999999999999998.0", "9999999999999998"},
      {1234567890123456.0, "1234567890123456.0", "1234567890123456"},
      {0.0001, "0.0001", "0.0001"},
      {0.00001, "1e-5", "0.00001"},
      {1e-7, "1e-7", "0.0000001"},
      {1.2345e-7, "1.2345e-7", "0.00000012345"},
      {-3e20, "-3e20", "-300000000000000000000"},
      {1e20, "1e20", "100000000000000000000"},
      {0.1 + 0.2, "0.30000000000000004", "0.30000000000000004"},
      {100.0, "100.0", "100"},
      {std::ldexp(1.0, 60), "1.152921504606847e18", "1152921504606847000"},
      {inf, "inf", "inf"},
      {-inf, "-inf", "-inf"},
      {std::numeric_limits<double>::quiet_NaN(), "NaN", "NaN"},
      {5e-324, "5e-324", nullptr},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(float_display_text(c.x), c.display) << c.display;
    if (c.plain) {
      EXPECT_EQ(float_plain_text(c.x), c.plain) << c.display;
    }
  }
}

TEST(FloatText, AppendsToExistingText) {
  std::string s = "x=";
  append_float_display_text(s, 2.0);
  append_float_plain_text(s, 2.0);
  EXPECT_EQ(s, "x=2.02");
}

TEST(FloatText, MatchesCPythonRepr) {
  std::ifstream in(VELN_TEST_DATA_DIR "/float_text.txt");
  ASSERT_TRUE(in.good());
  std::string line;
  int checked = 0;
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    std::string hex, display, plain;
    fields >> hex >> display >> plain;
    const double x = std::bit_cast<double>(static_cast<uint64_t>(std::stoull(hex, nullptr, 16)));
    ASSERT_EQ(float_display_text(x), display) << hex;
    if (plain != "*") {
      ASSERT_EQ(float_plain_text(x), plain) << hex;
    }
    ++checked;
  }
  EXPECT_GT(checked, 20000);
}

}  // namespace
}  // namespace veln
