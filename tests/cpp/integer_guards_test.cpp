// Integer size guards and repetition limits: CPython results for shifts,
// powers and products inside the limit, and the refusals at and beyond it.
#include "interpreter_support/integer_guards.hpp"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "values/bigint.hpp"

namespace veln {
namespace {

mpz_class pow2(unsigned long n) {
  mpz_class r;
  mpz_ui_pow_ui(r.get_mpz_t(), 2, n);
  return r;
}

// An integer of exactly `bits` bits (top bit and bit 0 set).
mpz_class with_bits(unsigned long bits) {
  mpz_class r = pow2(bits - 1);
  r += 1;
  return r;
}

VmValue big(const mpz_class& v) { return VmValue::integer(v); }
VmValue small(int64_t v) { return VmValue::integer(v); }

std::string text_of(const VmResult<VmValue>& r) {
  if (!r.ok()) return "error: " + r.error().message;
  return bigint_to_string(r->int_to_mpz());
}

const std::string kMulMessage = "integer multiplication exceeds the maximum allowed integer size of 1048576 bits";
const std::string kPowMessage = "integer exponentiation exceeds the maximum allowed integer size of 1048576 bits";
const std::string kShiftMessage = "left shift exceeds the maximum allowed integer size of 1048576 bits";
const std::string kRightShiftMessage =
    "right shift count exceeds the maximum allowed integer size of 1048576 bits";

// Every CPython case through both the GMP entry points and the Int-value
// entry points (which take inline fast paths for small operands).
TEST(IntegerGuards, MatchesCPython) {
  std::ifstream in(std::string(VELN_TEST_DATA_DIR) + "/integer_guards.txt");
  ASSERT_TRUE(in) << "missing data file";
  std::string line;
  size_t count = 0;
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    std::string op, a_text, b_text, expected;
    fields >> op >> a_text >> b_text >> expected;
    const mpz_class a(a_text);
    const mpz_class b(b_text);
    VmResult<VmValue> via_mpz = vm_error("unset");
    VmResult<VmValue> via_value = vm_error("unset");
    if (op == "lshift") {
      via_mpz = checked_left_shift(a, b);
      via_value = checked_int_left_shift(big(a), big(b));
    } else if (op == "rshift") {
      via_mpz = checked_right_shift(a, b);
      via_value = checked_int_right_shift(big(a), big(b));
    } else if (op == "pow") {
      via_mpz = checked_bigint_pow(a, b, kLabelIntegerExponentiation);
      via_value = checked_int_pow(big(a), big(b), kLabelIntegerExponentiation);
    } else if (op == "mul") {
      via_mpz = checked_bigint_mul(a, b);
      via_value = checked_int_mul(big(a), big(b));
    } else {
      FAIL() << "unknown op " << op;
    }
    ASSERT_EQ(text_of(via_mpz), expected) << line;
    ASSERT_EQ(text_of(via_value), expected) << line;
    // Results that fit 64 bits are held inline.
    ASSERT_EQ(via_value->int_is_small(), bigint_fits_i64(mpz_class(expected))) << line;
    ++count;
  }
  EXPECT_GT(count, 10000u);
}

struct GuardCase {
  const char* name;
  VmResult<VmValue> result;
  std::string expected;  // decimal text, or "error: " + message
};

TEST(IntegerGuards, Limits) {
  const mpz_class two_63 = pow2(63);
  const GuardCase cases[] = {
      {"2**1048575", checked_bigint_pow(2, 1048575, kLabelIntegerExponentiation), "bits:1048576"},
      {"2**1048576", checked_bigint_pow(2, 1048576, kLabelIntegerExponentiation), "error: " + kPowMessage},
      {"3**524287", checked_bigint_pow(3, 524287, kLabelIntegerExponentiation), "bits:830976"},
      {"3**524288", checked_bigint_pow(3, 524288, kLabelIntegerExponentiation), "error: " + kPowMessage},
      {"3**524288 own label", checked_bigint_pow(3, 524288, "int()"),
       "error: int() exceeds the maximum allowed integer size of 1048576 bits"},
      {"(-4)**(2**70) fixed label", checked_bigint_pow(-4, pow2(70), "pow()"), "error: " + kPowMessage},
      {"2**(2**70)", checked_bigint_pow(2, pow2(70), "mine"), "error: " + kPowMessage},
      {"2**(2**63) estimate overflow", checked_bigint_pow(3, two_63, "mine"), "error: " + kPowMessage},
      {"0**0", checked_bigint_pow(0, 0, kLabelIntegerExponentiation), "1"},
      {"(-2)**3", checked_bigint_pow(-2, 3, kLabelIntegerExponentiation), "-8"},
      {"1**(2**40)", checked_bigint_pow(1, pow2(40), kLabelIntegerExponentiation),
       "error: pow exponent exceeds the supported u32 range"},
      {"0**(2**40)", checked_bigint_pow(0, pow2(40), kLabelIntegerExponentiation),
       "error: pow exponent exceeds the supported u32 range"},
      {"(-1)**(2**32-1)", checked_bigint_pow(-1, pow2(32) - 1, kLabelIntegerExponentiation), "-1"},
      {"2**-1", checked_bigint_pow(2, -1, kLabelIntegerExponentiation),
       "error: pow exponent must be non-negative"},
      {"0**-1", checked_bigint_pow(0, -1, kLabelIntegerExponentiation),
       "error: pow exponent must be non-negative"},
      {"value 1**(2**40)", checked_int_pow(small(1), big(pow2(40)), kLabelIntegerExponentiation),
       "error: pow exponent exceeds the supported u32 range"},
      {"value 0**(2**32)", checked_int_pow(small(0), small(int64_t{1} << 32), kLabelIntegerExponentiation),
       "error: pow exponent exceeds the supported u32 range"},
      {"value (-1)**(2**32-1)", checked_int_pow(small(-1), small((int64_t{1} << 32) - 1), kLabelIntegerExponentiation),
       "-1"},
      {"value 2**-1", checked_int_pow(small(2), small(-1), kLabelIntegerExponentiation),
       "error: pow exponent must be non-negative"},
      {"value 2**1048576", checked_int_pow(small(2), small(1048576), kLabelIntegerExponentiation),
       "error: " + kPowMessage},
      {"value (-2)**63", checked_int_pow(small(-2), small(63), kLabelIntegerExponentiation),
       "-9223372036854775808"},
      {"value 2**63", checked_int_pow(small(2), small(63), kLabelIntegerExponentiation), "9223372036854775808"},
      {"mul 524289x524289 refused", checked_bigint_mul(with_bits(524289), with_bits(524289)),
       "error: " + kMulMessage},
      {"mul 524289x524288 fits", checked_bigint_mul(pow2(524288), pow2(524287)), "bits:1048576"},
      {"mul 524289x524288 one over", checked_bigint_mul(pow2(524289) - 1, pow2(524288) - 1),
       "error: " + kMulMessage},
      {"mul by zero", checked_bigint_mul(0, with_bits(1048576)), "0"},
      {"value mul refused", checked_int_mul(big(with_bits(524289)), big(with_bits(524289))),
       "error: " + kMulMessage},
      {"value mul one over", checked_int_mul(big(pow2(524289) - 1), big(pow2(524288) - 1)),
       "error: " + kMulMessage},
      {"value mul INT64_MIN*-1", checked_int_mul(small(INT64_MIN), small(-1)), "9223372036854775808"},
      {"1<<1048575", checked_left_shift(1, 1048575), "bits:1048576"},
      {"1<<1048576", checked_left_shift(1, 1048576), "error: " + kShiftMessage},
      {"-1<<1048576", checked_left_shift(-1, 1048576), "error: " + kShiftMessage},
      {"0<<2**63", checked_left_shift(0, two_63), "0"},
      {"0<<2**64-1", checked_left_shift(0, pow2(64) - 1), "0"},
      {"1<<-1", checked_left_shift(1, -1), "error: negative shift count"},
      {"0<<-1", checked_left_shift(0, -1), "error: negative shift count"},
      {"1<<2**64", checked_left_shift(1, pow2(64)), "error: shift count exceeds the supported usize range"},
      {"0<<2**64", checked_left_shift(0, pow2(64)), "error: shift count exceeds the supported usize range"},
      {"1<<2**64-1", checked_left_shift(1, pow2(64) - 1), "error: " + kShiftMessage},
      {"value 1<<1048576", checked_int_left_shift(small(1), small(1048576)), "error: " + kShiftMessage},
      {"value 1<<-1", checked_int_left_shift(small(1), small(-1)), "error: negative shift count"},
      {"value 0<<2**63-1", checked_int_left_shift(small(0), small(INT64_MAX)), "0"},
      {"value -1<<63", checked_int_left_shift(small(-1), small(63)), "-9223372036854775808"},
      {"value INT64_MIN<<1", checked_int_left_shift(small(INT64_MIN), small(1)), "-18446744073709551616"},
      {"x>>1048576", checked_right_shift(with_bits(1048576), 1048576), "0"},
      {"-x>>1048576", checked_right_shift(-with_bits(1048576), 1048576), "-1"},
      {"x>>1048577", checked_right_shift(5, 1048577), "error: " + kRightShiftMessage},
      {"x>>2**64", checked_right_shift(5, pow2(64)), "error: " + kRightShiftMessage},
      {"x>>-1", checked_right_shift(5, -1), "error: negative shift count"},
      {"x>>-(2**70)", checked_right_shift(5, -pow2(70)), "error: negative shift count"},
      {"-1>>3", checked_right_shift(-1, 3), "-1"},
      {"-5>>1", checked_right_shift(-5, 1), "-3"},
      {"5>>0", checked_right_shift(5, 0), "5"},
      {"oversized>>0 unchanged", checked_right_shift(with_bits(1048577), 0), "bits:1048577"},
      {"value x>>1048577", checked_int_right_shift(small(5), small(1048577)), "error: " + kRightShiftMessage},
      {"value x>>1048576", checked_int_right_shift(small(-5), small(1048576)), "-1"},
      {"value INT64_MIN>>63", checked_int_right_shift(small(INT64_MIN), small(63)), "-1"},
      {"value -5>>-1", checked_int_right_shift(small(-5), small(-1)), "error: negative shift count"},
  };
  for (const GuardCase& c : cases) {
    if (c.expected.rfind("bits:", 0) == 0) {
      ASSERT_TRUE(c.result.ok()) << c.name << ": " << c.result.error().message;
      EXPECT_EQ(bigint_bit_length(c.result->int_to_mpz()), std::stoull(c.expected.substr(5))) << c.name;
    } else {
      EXPECT_EQ(text_of(c.result), c.expected) << c.name;
    }
  }
}

TEST(IntegerGuards, CheckedIntValue) {
  EXPECT_TRUE(checked_int_value(pow2(1048576) - 1, "int()").ok());
  const auto refused = checked_int_value(pow2(1048576), "int()");
  ASSERT_FALSE(refused.ok());
  EXPECT_EQ(refused.error().message, "int() exceeds the maximum allowed integer size of 1048576 bits");
  EXPECT_TRUE(ensure_bigint_bits(-(pow2(1048576) - 1), "modular exponentiation modulus").ok());
  const auto status = ensure_bigint_bits(-pow2(1048576), "modular exponentiation modulus");
  ASSERT_FALSE(status.ok());
  EXPECT_EQ(status.error().message,
            "modular exponentiation modulus exceeds the maximum allowed integer size of 1048576 bits");
  EXPECT_TRUE(ensure_int_value_bits(small(INT64_MIN), "x").ok());
  EXPECT_FALSE(ensure_int_value_bits(big(pow2(1048576)), "x").ok());
}

struct RepeatCase {
  std::string text;
  VmValue count;
  std::string expected;  // the result, or "error: " + message
};

TEST(IntegerGuards, RepeatString) {
  const std::string two_byte_char = "\xc3\xa9";
  const RepeatCase cases[] = {
      {"ab", small(65536), std::string(131072, '?')},
      {"ab", small(65537), "error: string repetition exceeds the maximum allowed allocation size"},
      {two_byte_char, small(65537), "error: string repetition exceeds the maximum allowed allocation size"},
      {two_byte_char, small(65536), "ok"},
      {"ab", small(-1), ""},
      {"ab", big(-pow2(100)), ""},
      {"ab", small(0), ""},
      {"ab", small(3), "ababab"},
      {"", small(INT64_MAX), ""},
      {"", big(pow2(64) - 1), ""},
      {"", big(pow2(64)), "error: string repeat count exceeds the supported usize range"},
      {"ab", big(pow2(63)), "error: string repetition exceeds the maximum allowed allocation size"},
      {"ab", big(pow2(64) - 1), "error: string repetition exceeds the maximum allowed allocation size"},
  };
  for (const RepeatCase& c : cases) {
    const auto r = repeat_string(c.text, c.count);
    if (c.expected.rfind("error: ", 0) == 0) {
      ASSERT_FALSE(r.ok()) << c.text;
      EXPECT_EQ("error: " + r.error().message, c.expected);
    } else {
      ASSERT_TRUE(r.ok()) << r.error().message;
      if (c.expected == "ok" || c.expected.find('?') != std::string::npos) {
        EXPECT_EQ(r->size(), c.text.size() * static_cast<size_t>(c.count.small_int()));
      } else {
        EXPECT_EQ(*r, c.expected);
      }
    }
  }
}

TEST(IntegerGuards, RepeatBytes) {
  EXPECT_EQ(*repeat_bytes_like(std::string("\0x", 2), small(2)), std::string("\0x\0x", 4));
  EXPECT_EQ(repeat_bytes_like("abcd", small(32768))->size(), 131072u);
  EXPECT_EQ(repeat_bytes_like("abcd", small(32769)).error().message,
            "binary repetition exceeds the maximum allowed allocation size");
  EXPECT_EQ(repeat_bytes_like("", big(pow2(64))).error().message, "repeat count exceeds the supported usize range");
  EXPECT_TRUE(repeat_bytes_like("abcd", small(-5))->empty());
}

TEST(IntegerGuards, RepeatValues) {
  const std::vector<VmValue> two = {small(1), VmValue::str("x")};
  auto ok = repeat_values(two, small(65536));
  ASSERT_TRUE(ok.ok());
  EXPECT_EQ(ok->size(), 131072u);
  EXPECT_TRUE((*ok)[131071].eq(VmValue::str("x")));
  EXPECT_EQ(repeat_values(two, small(65537)).error().message,
            "sequence repetition exceeds the maximum allowed allocation size");
  EXPECT_TRUE(repeat_values(two, small(-3))->empty());
  EXPECT_TRUE(repeat_values(two, small(0))->empty());
  EXPECT_EQ(repeat_values({}, big(pow2(64))).error().message,
            "sequence repeat count exceeds the supported usize range");
  EXPECT_TRUE(repeat_values({}, big(pow2(64) - 1))->empty());
  // Within the element limit but beyond the value size limit: a text of
  // 100000 bytes repeated 100 times would describe 10 MB of text.
  const std::vector<VmValue> large = {*VmValue::make_str(std::string(100000, 'a'))};
  EXPECT_EQ(repeat_values(large, small(100)).error().message, "value exceeds the maximum allowed allocation size");
  EXPECT_TRUE(repeat_values(large, small(41)).ok());
}

}  // namespace
}  // namespace veln
