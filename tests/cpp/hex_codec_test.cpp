#include "lib/hex_codec.hpp"

#include <gtest/gtest.h>

namespace veln {
namespace {

TEST(HexCodec, EncodesLowerCase) {
  const std::uint8_t bytes[] = {0x00, 0x0f, 0xa0, 0xff, 0x5c};
  EXPECT_EQ(hex_encode_lower(bytes), "000fa0ff5c");
  EXPECT_EQ(hex_encode_lower({}), "");
}

TEST(HexCodec, DecodesPairsOfEitherCase) {
  struct Case {
    const char* text;
    bool ok;
    std::vector<std::uint8_t> bytes;
  };
  const Case cases[] = {
      {"", true, {}},
      {"00", true, {0x00}},
      {"aBcD", true, {0xab, 0xcd}},
      {"FF10", true, {0xff, 0x10}},
      {"abc", false, {}},
      {"0x00", false, {}},
      {"zz", false, {}},
      {" 0", false, {}},
      {"0 ", false, {}},
      {"\xc3\xa9", false, {}},
      {"g0", false, {}},
      {"0G", false, {}},
  };
  for (const auto& c : cases) {
    auto got = hex_decode_pairs(c.text);
    ASSERT_EQ(got.has_value(), c.ok) << c.text;
    if (c.ok) {
      EXPECT_EQ(*got, c.bytes) << c.text;
    }
  }
}

TEST(HexCodec, AllHexDigits) {
  EXPECT_TRUE(is_all_hex_digits(""));
  EXPECT_TRUE(is_all_hex_digits("0123456789abcdefABCDEF"));
  EXPECT_FALSE(is_all_hex_digits("0123g"));
  EXPECT_FALSE(is_all_hex_digits(std::string_view("12\0" "3", 4)));
}

}  // namespace
}  // namespace veln
