#include "interpreter_support/storage_keys.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "values/vm_datetime.hpp"
#include "values/vm_decimal.hpp"
#include "value_builders.hpp"

namespace veln {
namespace {

using namespace value_builders;

struct KeyCase {
  const char* name;
  VmValue key;
  const char* expected;  // key text, or the error message when `fails`
  bool fails;
};

TEST(StorageKeys, HashKeyTextsAndRefusals) {
  std::vector<VmValue> seventeen(17, I(1));
  std::vector<VmValue> sixteen(16, I(1));
  std::vector<VmValue> seventeen_bad(17, S("a:b"));
  const std::vector<KeyCase> cases = {
      {"none", VmValue::none(), "None", false},
      {"str None", S("None"), "None", false},
      {"int", I(5), "5", false},
      {"negative int", I(-42), "-42", false},
      {"big int", VmValue::integer(mpz_class("-123456789012345678901234567890")),
       "-123456789012345678901234567890", false},
      {"str digits", S("5"), "5", false},
      {"true", VmValue::boolean(true), "True", false},
      {"false", VmValue::boolean(false), "False", false},
      {"one-tuple", Tuple({S("a")}), "a", false},
      {"empty tuple", Tuple({}), "", false},
      {"two parts", Tuple({S("alice"), S("bob")}), "alice:bob", false},
      {"list is one part", List({I(1), I(2)}), "[1, 2]", false},
      {"tuple of ints", Tuple({I(1), I(2)}), "1:2", false},
      {"nested tuple", Tuple({Tuple({I(1), I(2)}), I(3)}), "(1, 2):3", false},
      {"sixteen parts", Tuple(sixteen), "1:1:1:1:1:1:1:1:1:1:1:1:1:1:1:1", false},
      {"seventeen parts", Tuple(seventeen), "Too many dimensions (17) for hash. Max is 16", true},
      {"dimensions before items", Tuple(seventeen_bad), "Too many dimensions (17) for hash. Max is 16", true},
      {"delimiter", S("a:b"), "Illegal delimiter in key.", true},
      {"separator", S("a.b"), "Illegal separator in key.", true},
      {"both", S("a.b:c"), "Illegal delimiter in key.", true},
      {"float 1.0", VmValue::float64(1.0), "Illegal separator in key.", true},
      {"float 1e16", VmValue::float64(1e16), "1e16", false},
      {"float nan", VmValue::float64(std::numeric_limits<double>::quiet_NaN()), "NaN", false},
      {"float inf", VmValue::float64(-std::numeric_limits<double>::infinity()), "-inf", false},
      {"decimal 1000", D("1000"), "1E+3", false},
      {"decimal 10", D("10"), "10", false},
      {"decimal 1.5", D("1.5"), "Illegal separator in key.", true},
      {"decimal tiny", D("0.0000001"), "100E-9", false},
      {"datetime", VmValue::datetime(*VmDateTime::make(2024, 1, 2, 3, 4, 5, 0)), "Illegal delimiter in key.", true},
      {"timedelta", VmValue::timedelta_seconds(5), "Illegal delimiter in key.", true},
      {"empty dict", *VmValue::make_dict({}), "{}", false},
      {"dict", *VmValue::make_dict({VmDictPair{I(1), I(2)}}), "Illegal delimiter in key.", true},
      {"bytes", *VmValue::make_bytes("ab"), "b'ab'", false},
      {"builtin", VmValue::builtin("len"), "Illegal delimiter in key.", true},
      {"type marker", VmValue::type_marker("Any"), "Any", false},
      {"first bad item wins", Tuple({S("ok"), S("a.b"), S("c:d")}), "Illegal separator in key.", true},
      {"1024 bytes", S(std::string(1024, 'x')), nullptr, false},
      {"1025 bytes", S(std::string(1025, 'x')), "Key is too long (1025). Max is 1024.", true},
      {"1200 bytes of 3-byte chars", S([] {
         std::string t;
         for (int k = 0; k < 400; ++k) t += "\xe2\x82\xac";
         return t;
       }()),
       "Key is too long (1200). Max is 1024.", true},
      {"joined length counts", Tuple({S(std::string(512, 'a')), S(std::string(512, 'b'))}),
       "Key is too long (1025). Max is 1024.", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto r = normalize_hash_key(c.key);
    if (c.fails) {
      ASSERT_FALSE(r.ok()) << *r;
      EXPECT_EQ(r.error().message, c.expected);
    } else {
      ASSERT_TRUE(r.ok()) << r.error().message;
      if (c.expected != nullptr) {
        EXPECT_EQ(*r, c.expected);
      }
    }
  }
}

TEST(StorageKeys, ComposedKeys) {
  EXPECT_EQ(variable_storage_key("token", "supply"), "token.supply");
  EXPECT_EQ(foreign_storage_key("token", "balances"), "token:balances");
  EXPECT_EQ(*hash_storage_key("token", "balances", S("alice")), "token.balances:alice");
  EXPECT_EQ(*hash_storage_key("token", "balances", Tuple({S("alice"), S("bob")})), "token.balances:alice:bob");
  EXPECT_EQ(*hash_storage_key("c", "h", Tuple({})), "c.h:");
  EXPECT_EQ(hash_storage_key_from_normalized("c", "h", "a:b"), "c.h:a:b");
  auto bad = hash_storage_key("c", "h", S("x:y"));
  ASSERT_FALSE(bad.ok());
  EXPECT_EQ(bad.error().message, "Illegal delimiter in key.");
}

TEST(StorageKeys, Prefixes) {
  EXPECT_EQ(*normalize_hash_prefix({}), "");
  std::vector<VmValue> one = {S("alice")};
  EXPECT_EQ(*normalize_hash_prefix(one), "alice");
  std::vector<VmValue> two = {S("alice"), I(7)};
  EXPECT_EQ(*normalize_hash_prefix(two), "alice:7");
  std::vector<VmValue> many(17, I(0));
  EXPECT_EQ(normalize_hash_prefix(many).error().message, "Too many dimensions (17) for hash. Max is 16");
}

TEST(StorageKeys, StorageKeyPartIsOnePart) {
  EXPECT_EQ(*storage_key_part(Tuple({I(1), I(2)})), "(1, 2)");
  EXPECT_EQ(*storage_key_part(S("")), "");
}

TEST(StorageKeys, SplitForeignKey) {
  auto split = split_foreign_storage_key("a:b:c");
  ASSERT_TRUE(split.ok());
  EXPECT_EQ(split->first, "a");
  EXPECT_EQ(split->second, "b:c");
  auto edge = split_foreign_storage_key(":");
  EXPECT_EQ(edge->first, "");
  EXPECT_EQ(edge->second, "");
  EXPECT_EQ(split_foreign_storage_key("abc").error().message, "invalid foreign storage key 'abc'");
}

}  // namespace
}  // namespace veln
