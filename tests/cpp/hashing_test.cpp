#include "interpreter_support/hashing.hpp"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "interpreter_support/hex_codec.hpp"

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

}  // namespace
}  // namespace veln
