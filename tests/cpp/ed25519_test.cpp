#include "interpreter_support/ed25519.hpp"

#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "interpreter_support/hex_codec.hpp"

namespace veln {
namespace {

struct Vector {
  std::string name;
  std::vector<std::uint8_t> key, message, signature;
  bool verdict;
};

std::vector<Vector> load_vectors() {
  std::ifstream in(std::string(VELN_TEST_DATA_DIR) + "/ed25519_vectors.txt");
  std::vector<Vector> out;
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream fields(line);
    std::string name, key, msg, sig, verdict;
    std::getline(fields, name, '\t');
    std::getline(fields, key, '\t');
    std::getline(fields, msg, '\t');
    std::getline(fields, sig, '\t');
    std::getline(fields, verdict, '\t');
    out.push_back({name, *hex_decode_pairs(key), *hex_decode_pairs(msg), *hex_decode_pairs(sig), verdict == "true"});
  }
  return out;
}

// OpenSSL's own decision, without any check of ours in front of it.
bool raw_openssl_verdict(const Vector& v) {
  EVP_PKEY* pkey = EVP_PKEY_new_raw_public_key(EVP_PKEY_ED25519, nullptr, v.key.data(), v.key.size());
  EVP_MD_CTX* ctx = EVP_MD_CTX_new();
  bool ok = pkey && ctx && EVP_DigestVerifyInit(ctx, nullptr, nullptr, nullptr, pkey) == 1 &&
            EVP_DigestVerify(ctx, v.signature.data(), v.signature.size(), v.message.data(), v.message.size()) == 1;
  EVP_MD_CTX_free(ctx);
  EVP_PKEY_free(pkey);
  return ok;
}

TEST(Ed25519, VectorsFileIsLoaded) {
  auto vectors = load_vectors();
  ASSERT_GT(vectors.size(), 500u);
  int accepted = 0;
  for (const auto& v : vectors) accepted += v.verdict;
  EXPECT_GT(accepted, 80);
}

// Every reference verdict (RFC 8032 vectors, corruptions, unreduced S,
// small-order and mixed-order keys, non-canonical y, keys off the curve) is
// reproduced both by our verifier and by OpenSSL alone.
TEST(Ed25519, AgreesWithReferenceAndOpenSslOnEveryVector) {
  for (const auto& v : load_vectors()) {
    ASSERT_EQ(v.key.size(), 32u) << v.name;
    auto got = ed25519_verify_bytes(std::span<const std::uint8_t, 32>(v.key.data(), 32), v.message, v.signature);
    ASSERT_TRUE(got.ok()) << v.name;
    EXPECT_EQ(*got, v.verdict) << v.name;
    EXPECT_EQ(raw_openssl_verdict(v), v.verdict) << v.name << " (OpenSSL alone)";
  }
}

TEST(Ed25519, SignatureOfAnyOtherLengthIsFalse) {
  auto vectors = load_vectors();
  const Vector& good = vectors.front();  // RFC 8032 test 1, verifies
  ASSERT_TRUE(good.verdict);
  std::span<const std::uint8_t, 32> key(good.key.data(), 32);
  for (std::size_t len : {0u, 1u, 32u, 63u, 65u, 128u}) {
    std::vector<std::uint8_t> sig(good.signature);
    sig.resize(len, 0);
    EXPECT_FALSE(*ed25519_verify_bytes(key, good.message, sig)) << len;
  }
  EXPECT_TRUE(*ed25519_verify_bytes(key, good.message, good.signature));
}

TEST(Ed25519, ScalarReductionBoundary) {
  struct Case {
    const char* s_hex;  // little-endian
    bool reduced;
  };
  const Case cases[] = {
      {"0000000000000000000000000000000000000000000000000000000000000000", true},
      {"ecd3f55c1a631258d69cf7a2def9de1400000000000000000000000000000010", true},   // L - 1
      {"edd3f55c1a631258d69cf7a2def9de1400000000000000000000000000000010", false},  // L
      {"eed3f55c1a631258d69cf7a2def9de1400000000000000000000000000000010", false},  // L + 1
      {"ffffffffffffffffffffffffffffffff0000000000000000000000000000000f", true},
      {"0000000000000000000000000000000000000000000000000000000000000011", false},
      {"ffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffff", false},
      {"0000000000000000000000000000000001000000000000000000000000000010", false},
  };
  for (const auto& c : cases) {
    auto s = *hex_decode_pairs(c.s_hex);
    EXPECT_EQ(ed25519_scalar_is_reduced(std::span<const std::uint8_t, 32>(s.data(), 32)), c.reduced) << c.s_hex;
  }
}

}  // namespace
}  // namespace veln
