#include "interpreter_support/hashing.hpp"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "lib/hex_codec.hpp"

namespace veln {
namespace {

struct HashVector {
  std::string kind;   // "hex" or "text"
  std::string input;  // hex text as passed, or the UTF-8 bytes of the text
  std::string sha256, sha3;
};

std::vector<HashVector> load_hash_vectors() {
  std::ifstream in(std::string(VELN_TEST_DATA_DIR) + "/hash_vectors.txt");
  std::vector<HashVector> out;
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    HashVector v;
    std::getline(fields, v.kind, '\t');
    std::getline(fields, v.input, '\t');
    std::getline(fields, v.sha256, '\t');
    std::getline(fields, v.sha3, '\t');
    if (v.kind == "text") {
      auto bytes = *hex_decode_pairs(v.input);
      v.input.assign(bytes.begin(), bytes.end());
    }
    out.push_back(std::move(v));
  }
  return out;
}

std::span<const std::uint8_t> as_bytes(const std::string& s) {
  return {reinterpret_cast<const std::uint8_t*>(s.data()), s.size()};
}

TEST(Hashing, MatchesHashlibOnGeneratedInputs) {
  auto vectors = load_hash_vectors();
  ASSERT_GT(vectors.size(), 550u);
  for (const auto& v : vectors) {
    std::vector<std::uint8_t> bytes;
    if (v.kind == "hex") {
      auto decoded = strict_hash_hex_bytes(v.input);
      ASSERT_TRUE(decoded.ok()) << v.input;
      bytes = std::move(*decoded);
    } else {
      bytes.assign(v.input.begin(), v.input.end());
    }
    EXPECT_EQ(hex_encode_lower(*sha256_digest(bytes)), v.sha256) << v.kind << " " << v.input.size();
    EXPECT_EQ(hex_encode_lower(*sha3_256_digest(bytes)), v.sha3) << v.kind << " " << v.input.size();
  }
}

TEST(Hashing, KnownDigestsOfEmptyAndAbc) {
  EXPECT_EQ(hex_encode_lower(*sha256_digest({})), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  // FIPS 202 SHA3-256, not Keccak-256 (which would be c5d2460186f7...).
  EXPECT_EQ(hex_encode_lower(*sha3_256_digest({})), "a7ffc6f8bf1ed76651c14756a061d662f580ff4de43b49fa82d80a4b80f8434a");
  EXPECT_EQ(hex_encode_lower(*sha256_digest(as_bytes("abc"))),
            "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  EXPECT_EQ(hex_encode_lower(*sha3_256_digest(as_bytes("abc"))),
            "3a985da74fe225b2045c172d6bd390bd855f086e3e9d525b46bfe24511431532");
}

TEST(Hashing, StrictHexDecodingMessages) {
  struct Case {
    const char* text;
    const char* error;  // nullptr: decodes
  };
  const Case cases[] = {
      {"", nullptr},
      {"ABCD", nullptr},
      {"abcd", nullptr},
      {"abc", "hash hex input must contain whole bytes"},
      {"0x00", "hash hex input must be unprefixed hexadecimal"},
      {"zz", "hash hex input must be unprefixed hexadecimal"},
      {"0 ", "hash hex input must be unprefixed hexadecimal"},
      {"\xc3\xa9", "hash hex input must be unprefixed hexadecimal"},
      {"\xc3\xa9" "0", "hash hex input must contain whole bytes"},
  };
  for (const auto& c : cases) {
    auto got = strict_hash_hex_bytes(c.text);
    if (c.error == nullptr) {
      EXPECT_TRUE(got.ok()) << c.text;
    } else {
      ASSERT_FALSE(got.ok()) << c.text;
      EXPECT_EQ(got.error().message, c.error) << c.text;
    }
  }
  EXPECT_EQ(*strict_hash_hex_bytes("ABCD"), *strict_hash_hex_bytes("abcd"));
}

// --- the digest system calls ------------------------------------------------

using DigestCall = VmResult<VmValue> (*)(VmPositionalArgs, VmKeywordArgs);

struct CallSpec {
  DigestCall call;
  const char* arity_message;
  bool hex_input;
  bool sha3;
};

const CallSpec kCalls[] = {
    {hash_sha256_hex, "hashlib.sha256_hex() expects one argument", true, false},
    {hash_sha256_text, "hashlib.sha256_text() expects one argument", false, false},
    {hash_sha3_256_hex, "hashlib.sha3_hex() expects one argument", true, true},
    {hash_sha3_256_text, "hashlib.sha3_text() expects one argument", false, true},
};

std::string call_text(const CallSpec& c, std::vector<VmValue> args, std::vector<VmKeywordArg> kwargs = {}) {
  auto r = c.call(args, kwargs);
  if (!r.ok()) return "error: " + r.error().message;
  EXPECT_TRUE(r->is(VmKind::String));
  return std::string(r->text());
}

TEST(DigestCalls, MatchHashlibThroughTheirArguments) {
  for (const auto& v : load_hash_vectors()) {
    for (const auto& c : kCalls) {
      if (c.hex_input != (v.kind == "hex")) continue;
      EXPECT_EQ(call_text(c, {VmValue::str(v.input)}), c.sha3 ? v.sha3 : v.sha256) << c.arity_message;
    }
  }
}

TEST(DigestCalls, ArityAndArgumentKindsAreCheckedFirst) {
  for (const auto& c : kCalls) {
    const std::string arity = std::string("error: ") + c.arity_message;
    EXPECT_EQ(call_text(c, {}), arity);
    EXPECT_EQ(call_text(c, {VmValue::str(""), VmValue::str("")}), arity);
    EXPECT_EQ(call_text(c, {}, {{"data", VmValue::str("00")}}), arity);
    EXPECT_EQ(call_text(c, {VmValue::str("00")}, {{"data", VmValue::str("00")}}), arity);
    EXPECT_EQ(call_text(c, {VmValue::integer(5)}, {{"x", VmValue::none()}}), arity);  // arity before kind
    EXPECT_EQ(call_text(c, {VmValue::integer(5)}), "error: expected string value, got int");
    EXPECT_EQ(call_text(c, {VmValue::none()}), "error: expected string value, got none");
    EXPECT_EQ(call_text(c, {*VmValue::make_bytes("00")}), "error: expected string value, got bytes");
    EXPECT_EQ(call_text(c, {*VmValue::make_bytearray("00")}), "error: expected string value, got bytearray");
  }
}

TEST(DigestCalls, HexInputRules) {
  const CallSpec& sha256_hex = kCalls[0];
  const CallSpec& sha3_hex = kCalls[2];
  const std::string empty256 = "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855";
  EXPECT_EQ(call_text(sha256_hex, {VmValue::str("")}), empty256);
  EXPECT_EQ(call_text(sha256_hex, {VmValue::str("ABCD")}), call_text(sha256_hex, {VmValue::str("abcd")}));
  for (const CallSpec* c : {&sha256_hex, &sha3_hex}) {
    EXPECT_EQ(call_text(*c, {VmValue::str("0x00")}), "error: hash hex input must be unprefixed hexadecimal");
    EXPECT_EQ(call_text(*c, {VmValue::str("abc")}), "error: hash hex input must contain whole bytes");
    EXPECT_EQ(call_text(*c, {VmValue::str("zz")}), "error: hash hex input must be unprefixed hexadecimal");
    EXPECT_EQ(call_text(*c, {VmValue::str("00 11")}), "error: hash hex input must contain whole bytes");
    EXPECT_EQ(call_text(*c, {VmValue::str("00 1")}), "error: hash hex input must be unprefixed hexadecimal");
  }
}

TEST(DigestCalls, TextInputIsUtf8) {
  // "é" digests its two UTF-8 bytes C3 A9.
  EXPECT_EQ(call_text(kCalls[1], {VmValue::str("\xc3\xa9")}), call_text(kCalls[0], {VmValue::str("c3a9")}));
  EXPECT_EQ(call_text(kCalls[3], {VmValue::str("\xc3\xa9")}), call_text(kCalls[2], {VmValue::str("C3A9")}));
  // Text "00" is the two bytes 0x30 0x30, not one zero byte.
  EXPECT_EQ(call_text(kCalls[1], {VmValue::str("00")}), call_text(kCalls[0], {VmValue::str("3030")}));
}

}  // namespace
}  // namespace veln
