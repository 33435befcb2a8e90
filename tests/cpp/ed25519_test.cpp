#include "interpreter_support/ed25519.hpp"

#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "lib/hex_codec.hpp"

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

// --- the two system calls -----------------------------------------------------

std::string outcome(const VmResult<VmValue>& r) {
  if (!r.ok()) return "error: " + r.error().message;
  if (!r->is(VmKind::Bool)) return "not a bool";
  return r->bool_value() ? "True" : "False";
}

std::string verify(std::vector<VmValue> args, std::vector<VmKeywordArg> kwargs = {}) {
  return outcome(crypto_ed25519_verify(args, kwargs));
}

std::string verify(std::string_view key, std::string_view message, std::string_view signature) {
  return verify({VmValue::str(key), VmValue::str(message), VmValue::str(signature)});
}

// The text with its first characters replaced by `head`.
std::string replace_head(const std::string& text, std::string_view head) {
  std::string out(text);
  out.replace(0, head.size(), head);
  return out;
}

bool valid_utf8(const std::vector<std::uint8_t>& b) {
  std::size_t i = 0;
  while (i < b.size()) {
    const std::uint8_t c = b[i];
    std::size_t n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
    if (n == 0 || i + n > b.size()) return false;
    for (std::size_t k = 1; k < n; ++k) {
      if ((b[i + k] & 0xC0) != 0x80) return false;
    }
    i += n;
  }
  return true;
}

TEST(Ed25519Calls, VectorsThroughTheCall) {
  int checked = 0;
  for (const auto& v : load_vectors()) {
    if (!valid_utf8(v.message)) continue;  // the call takes the message as text
    const std::string message(v.message.begin(), v.message.end());
    std::string key = hex_encode_lower(v.key), sig = hex_encode_lower(v.signature);
    EXPECT_EQ(verify(key, message, sig), v.verdict ? "True" : "False") << v.name;
    // Hex digits of either case decode alike.
    for (auto& ch : key) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    EXPECT_EQ(verify(key, message, sig), v.verdict ? "True" : "False") << v.name << " (upper-case key)";
    ++checked;
  }
  EXPECT_GT(checked, 500);
}

TEST(Ed25519Calls, FailuresThatReturnFalseAndFailuresThatRaise) {
  const auto vectors = load_vectors();
  const Vector& good = vectors[1];  // RFC 8032 test 2: message "r"
  ASSERT_EQ(good.name, "rfc8032_test2");
  const std::string key = hex_encode_lower(good.key), sig = hex_encode_lower(good.signature);
  const std::string msg(good.message.begin(), good.message.end());
  ASSERT_EQ(verify(key, msg, sig), "True");

  // S replaced by S + L: the same scalar, not reduced.
  std::vector<std::uint8_t> s_plus_l(good.signature);
  {
    unsigned carry = 0;
    static constexpr std::uint8_t kL[32] = {0xed, 0xd3, 0xf5, 0x5c, 0x1a, 0x63, 0x12, 0x58, 0xd6, 0x9c, 0xf7,
                                            0xa2, 0xde, 0xf9, 0xde, 0x14, 0,    0,    0,    0,    0,    0,
                                            0,    0,    0,    0,    0,    0,    0,    0,    0,    0x10};
    for (int i = 0; i < 32; ++i) {
      const unsigned sum = s_plus_l[32 + i] + kL[i] + carry;
      s_plus_l[32 + i] = static_cast<std::uint8_t>(sum);
      carry = sum >> 8;
    }
    ASSERT_EQ(carry, 0u);
  }
  struct Case {
    std::string key, message, signature, expected;
  };
  const std::string bad_point_key = "0200000000000000000000000000000000000000000000000000000000000000";
  const Case cases[] = {
      {key, msg, sig, "True"},
      {key, msg + "x", sig, "False"},
      {key, msg, hex_encode_lower(s_plus_l), "False"},
      {key, msg, sig.substr(0, 126), "False"},                  // 63 bytes
      {key, msg, sig + "00", "False"},                          // 65 bytes
      {key, msg, "", "False"},
      {key, msg, sig.substr(0, 127), "False"},                  // odd length: not hex
      {key, msg, replace_head(sig, "zz"), "False"},
      {key, msg, replace_head(sig, "0x"), "False"},
      {key.substr(0, 63), msg, sig, "False"},                   // odd-length key: not hex
      {key.substr(0, 62), msg, sig, "error: invalid verify key length"},
      {key + "00", msg, sig, "error: invalid verify key length"},
      {key.substr(0, 62), msg, "zz", "False"},                  // the signature's decoding fails first
      {key.substr(0, 62), msg, "", "error: invalid verify key length"},
      {"", msg, "", "error: invalid verify key length"},        // both decode to zero bytes
      {"", msg, sig, "error: invalid verify key length"},
      {replace_head(key, "g"), msg, sig, "False"},
      {replace_head(key, " "), msg, sig, "False"},
      {bad_point_key, msg, sig, "False"},                       // y = 2 has no x
      {bad_point_key, msg, "", "False"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(verify(c.key, c.message, c.signature), c.expected) << c.key << " / " << c.signature;
  }
}

TEST(Ed25519Calls, ArityAndKinds) {
  const VmValue s = VmValue::str("00");
  const std::string arity = "error: crypto.verify() expects three positional arguments";
  EXPECT_EQ(verify({s, s}), arity);
  EXPECT_EQ(verify({s, s, s, s}), arity);
  EXPECT_EQ(verify({s, s, s}, {{"strict", VmValue::boolean(true)}}), arity);
  EXPECT_EQ(verify({VmValue::integer(1), VmValue::none(), *VmValue::make_bytes("")}),
            "error: expected string value, got int");
  EXPECT_EQ(verify({s, VmValue::none(), *VmValue::make_bytes("")}), "error: expected string value, got none");
  EXPECT_EQ(verify({s, s, *VmValue::make_bytes("")}), "error: expected string value, got bytes");
}

TEST(Ed25519Calls, KeyIsValidChecksOnlyTheText) {
  struct Case {
    VmValue key;
    std::string expected;
  };
  const std::string digits64(64, 'a');
  const Case cases[] = {
      {VmValue::str(digits64), "True"},
      {VmValue::str(std::string(64, 'F')), "True"},
      {VmValue::str("0200000000000000000000000000000000000000000000000000000000000000"), "True"},  // not a point
      {VmValue::str(std::string(63, 'a')), "False"},
      {VmValue::str(std::string(65, 'a')), "False"},
      {VmValue::str(std::string(63, 'a') + "g"), "False"},
      {VmValue::str(""), "False"},
      {VmValue::str(std::string(62, 'a') + "\xc3\xa9"), "False"},
      {*VmValue::make_bytes(digits64), "error: expected string value, got bytes"},
      {VmValue::integer(0), "error: expected string value, got int"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(outcome(crypto_key_is_valid(std::vector<VmValue>{c.key}, {})), c.expected);
  }
  const std::string arity = "error: crypto.key_is_valid() expects one argument";
  EXPECT_EQ(outcome(crypto_key_is_valid({}, {})), arity);
  EXPECT_EQ(outcome(crypto_key_is_valid(std::vector<VmValue>{VmValue::str(digits64), VmValue::str(digits64)}, {})),
            arity);
  EXPECT_EQ(outcome(crypto_key_is_valid({}, std::vector<VmKeywordArg>{{"key", VmValue::str(digits64)}})), arity);
}

}  // namespace
}  // namespace veln
