#include "interpreter_support/storage_keys.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "values/vm_datetime.hpp"
#include "values/vm_decimal.hpp"

namespace veln {
namespace {

VmValue tuple(std::vector<VmValue> items) { return *VmValue::make_tuple(std::move(items)); }
VmValue list(std::vector<VmValue> items) { return *VmValue::make_list(std::move(items)); }
VmValue dec(std::string_view literal) { return VmValue::decimal(*VmDecimal::from_str_literal(literal)); }
VmValue i(int64_t v) { return VmValue::integer(v); }
VmValue s(std::string_view v) { return VmValue::str(v); }

struct KeyCase {
  const char* name;
  VmValue key;
  const char* expected;  // key text, or the error message when `fails`
  bool fails;
};

TEST(StorageKeys, HashKeyTextsAndRefusals) {
  std::vector<VmValue> seventeen(17, i(1));
  std::vector<VmValue> sixteen(16, i(1));
  std::vector<VmValue> seventeen_bad(17, s("a:b"));
  const std::vector<KeyCase> cases = {
      {"none", VmValue::none(), "None", false},
      {"str None", s("None"), "None", false},
      {"int", i(5), "5", false},
      {"negative int", i(-42), "-42", false},
      {"big int", VmValue::integer(mpz_class("-123456789012345678901234567890")),
       "-123456789012345678901234567890", false},
      {"str digits", s("5"), "5", false},
      {"true", VmValue::boolean(true), "True", false},
      {"false", VmValue::boolean(false), "False", false},
      {"one-tuple", tuple({s("a")}), "a", false},
      {"empty tuple", tuple({}), "", false},
      {"two parts", tuple({s("alice"), s("bob")}), "alice:bob", false},
      {"list is one part", list({i(1), i(2)}), "[1, 2]", false},
      {"tuple of ints", tuple({i(1), i(2)}), "1:2", false},
      {"nested tuple", tuple({tuple({i(1), i(2)}), i(3)}), "(1, 2):3", false},
      {"sixteen parts", tuple(sixteen), "1:1:1:1:1:1:1:1:1:1:1:1:1:1:1:1", false},
      {"seventeen parts", tuple(seventeen), "Too many dimensions (17) for hash. Max is 16", true},
      {"dimensions before items", tuple(seventeen_bad), "Too many dimensions (17) for hash. Max is 16", true},
      {"delimiter", s("a:b"), "Illegal delimiter in key.", true},
      {"separator", s("a.b"), "Illegal separator in key.", true},
      {"both", s("a.b:c"), "Illegal delimiter in key.", true},
      {"float 1.0", VmValue::float64(1.0), "Illegal separator in key.", true},
      {"float 1e16", VmValue::float64(1e16), "1e16", false},
      {"float nan", VmValue::float64(std::numeric_limits<double>::quiet_NaN()), "NaN", false},
      {"float inf", VmValue::float64(-std::numeric_limits<double>::infinity()), "-inf", false},
      {"decimal 1000", dec("1000"), "1E+3", false},
      {"decimal 10", dec("10"), "10", false},
      {"decimal 1.5", dec("1.5"), "Illegal separator in key.", true},
      {"decimal tiny", dec("0.0000001"), "100E-9", false},
      {"datetime", VmValue::datetime(*VmDateTime::make(2024, 1, 2, 3, 4, 5, 0)), "Illegal delimiter in key.", true},
      {"timedelta", VmValue::timedelta_seconds(5), "Illegal delimiter in key.", true},
      {"empty dict", *VmValue::make_dict({}), "{}", false},
      {"dict", *VmValue::make_dict({VmDictPair{i(1), i(2)}}), "Illegal delimiter in key.", true},
      {"bytes", *VmValue::make_bytes("ab"), "b'ab'", false},
      {"builtin", VmValue::builtin("len"), "Illegal delimiter in key.", true},
      {"type marker", VmValue::type_marker("Any"), "Any", false},
      {"first bad item wins", tuple({s("ok"), s("a.b"), s("c:d")}), "Illegal separator in key.", true},
      {"1024 bytes", s(std::string(1024, 'x')), nullptr, false},
      {"1025 bytes", s(std::string(1025, 'x')), "Key is too long (1025). Max is 1024.", true},
      {"1200 bytes of 3-byte chars", s([] {
         std::string t;
         for (int k = 0; k < 400; ++k) t += "\xe2\x82\xac";
         return t;
       }()),
       "Key is too long (1200). Max is 1024.", true},
      {"joined length counts", tuple({s(std::string(512, 'a')), s(std::string(512, 'b'))}),
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
  EXPECT_EQ(*hash_storage_key("token", "balances", s("alice")), "token.balances:alice");
  EXPECT_EQ(*hash_storage_key("token", "balances", tuple({s("alice"), s("bob")})), "token.balances:alice:bob");
  EXPECT_EQ(*hash_storage_key("c", "h", tuple({})), "c.h:");
  EXPECT_EQ(hash_storage_key_from_normalized("c", "h", "a:b"), "c.h:a:b");
  auto bad = hash_storage_key("c", "h", s("x:y"));
  ASSERT_FALSE(bad.ok());
  EXPECT_EQ(bad.error().message, "Illegal delimiter in key.");
}

TEST(StorageKeys, Prefixes) {
  EXPECT_EQ(*normalize_hash_prefix({}), "");
  std::vector<VmValue> one = {s("alice")};
  EXPECT_EQ(*normalize_hash_prefix(one), "alice");
  std::vector<VmValue> two = {s("alice"), i(7)};
  EXPECT_EQ(*normalize_hash_prefix(two), "alice:7");
  std::vector<VmValue> many(17, i(0));
  EXPECT_EQ(normalize_hash_prefix(many).error().message, "Too many dimensions (17) for hash. Max is 16");
}

TEST(StorageKeys, StorageKeyPartIsOnePart) {
  EXPECT_EQ(*storage_key_part(tuple({i(1), i(2)})), "(1, 2)");
  EXPECT_EQ(*storage_key_part(s("")), "");
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
