// The services behind system calls and names: digest calls, Ed25519,
// explicit system-call prices, storage keys, event payloads, builtin names
// and native attributes, and the readers of IR fields and call arguments.
// Cases in support/*.cases; the digest calls against hashlib
// (gen_hash_vectors.py) and Ed25519 against the reference verdicts and
// OpenSSL alone (gen_ed25519_vectors.py).
#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <map>
#include <set>
#include <span>

#include "case_file.hpp"
#include "interpreter_support/builtin_names.hpp"
#include "interpreter_support/ed25519.hpp"
#include "interpreter_support/event_payloads.hpp"
#include "interpreter_support/hashing.hpp"
#include "interpreter_support/module_scope_target.hpp"
#include "interpreter_support/native_attributes.hpp"
#include "interpreter_support/storage_keys.hpp"
#include "interpreter_support/syscall_costs.hpp"
#include "lib/hex_codec.hpp"
#include "lib/json_reader.hpp"

namespace veln {
namespace {

using namespace cases;

using SystemCall = VmResult<VmValue> (*)(VmPositionalArgs, VmKeywordArgs);

CaseFunction system_call(SystemCall call) {
  return [call](const Case& c) { return outcome(call(c.args, c.kwargs)); };
}

std::vector<std::uint8_t> bytes_of(std::string_view text) { return {text.begin(), text.end()}; }

TEST(DigestCalls, Cases) {
  run_case_file("support/hashing.cases",
                {
                    {"strict_hex",
                     [](const Case& c) -> Outcome {
                       VELN_TRY(const auto bytes, strict_hash_hex_bytes(c[0].text()));
                       return outcome(*VmValue::make_bytes(std::string(bytes.begin(), bytes.end())));
                     }},
                    {"sha256_hex", system_call(hash_sha256_hex)},
                    {"sha256_text", system_call(hash_sha256_text)},
                    {"sha3_hex", system_call(hash_sha3_256_hex)},
                    {"sha3_text", system_call(hash_sha3_256_text)},
                });
}

// "<hex|text>\t<input>\t<sha256>\t<sha3-256>"; text inputs are in hex.
TEST(DigestCalls, MatchHashlib) {
  size_t checked = 0;
  for (const auto& row : data_rows("hash_vectors.txt", '\t')) {
    const bool hex = row[0] == "hex";
    const VmValue input = VmValue::str(hex ? row[1] : unhex(row[1]));
    EXPECT_EQ((hex ? hash_sha256_hex : hash_sha256_text)({&input, 1}, {})->text(), row[2]) << row[1];
    EXPECT_EQ((hex ? hash_sha3_256_hex : hash_sha3_256_text)({&input, 1}, {})->text(), row[3]) << row[1];
    ++checked;
  }
  EXPECT_GT(checked, 550u);
}

TEST(Ed25519, Cases) {
  run_case_file("support/ed25519.cases",
                {
                    {"scalar_is_reduced",
                     [](const Case& c) {
                       const auto s = *hex_decode_pairs(c[0].text());
                       return outcome(ed25519_scalar_is_reduced(std::span<const std::uint8_t, 32>(s.data(), 32)));
                     }},
                    {"verify", system_call(crypto_ed25519_verify)},
                    {"key_is_valid", system_call(crypto_key_is_valid)},
                });
}

struct Vector {
  std::string name;
  std::vector<std::uint8_t> key, message, signature;
  bool verdict;
};

std::vector<Vector> load_vectors() {
  std::vector<Vector> out;
  for (const auto& row : data_rows("ed25519_vectors.txt", '\t')) {
    out.push_back({row[0], bytes_of(unhex(row[1])), bytes_of(unhex(row[2])), bytes_of(unhex(row[3])), row[4] == "true"});
  }
  return out;
}

// OpenSSL's own decision, without any check of ours in front of it.
bool raw_openssl_verdict(const Vector& v) {
  EVP_PKEY* pkey = EVP_PKEY_new_raw_public_key(EVP_PKEY_ED25519, nullptr, v.key.data(), v.key.size());
  EVP_MD_CTX* ctx = EVP_MD_CTX_new();
  const bool ok = pkey && ctx && EVP_DigestVerifyInit(ctx, nullptr, nullptr, nullptr, pkey) == 1 &&
                  EVP_DigestVerify(ctx, v.signature.data(), v.signature.size(), v.message.data(), v.message.size()) == 1;
  EVP_MD_CTX_free(ctx);
  EVP_PKEY_free(pkey);
  return ok;
}

bool valid_utf8(const std::vector<std::uint8_t>& b) {
  for (std::size_t i = 0; i < b.size();) {
    const std::uint8_t c = b[i];
    const std::size_t n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
    if (n == 0 || i + n > b.size()) return false;
    for (std::size_t k = 1; k < n; ++k)
      if ((b[i + k] & 0xC0) != 0x80) return false;
    i += n;
  }
  return true;
}

// Every reference verdict (RFC 8032 vectors, corruptions, unreduced S,
// small-order and mixed-order keys, non-canonical y, keys off the curve) is
// reproduced by our verifier, by OpenSSL alone, and through the call (hex of
// either case) when the message is text.
TEST(Ed25519, AgreesWithReferenceAndOpenSslOnEveryVector) {
  const auto vectors = load_vectors();
  size_t accepted = 0, through_call = 0;
  for (const auto& v : vectors) {
    ASSERT_EQ(v.key.size(), 32u) << v.name;
    const auto got = ed25519_verify_bytes(std::span<const std::uint8_t, 32>(v.key.data(), 32), v.message, v.signature);
    ASSERT_TRUE(got.ok()) << v.name;
    EXPECT_EQ(*got, v.verdict) << v.name;
    EXPECT_EQ(raw_openssl_verdict(v), v.verdict) << v.name << " (OpenSSL alone)";
    accepted += v.verdict;
    if (!valid_utf8(v.message)) continue;
    std::string key = hex_encode_lower(v.key);
    for (int upper = 0; upper < 2; ++upper) {
      if (upper) for (char& ch : key) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
      const std::vector<VmValue> args = {VmValue::str(key), VmValue::str(std::string(v.message.begin(), v.message.end())),
                                         VmValue::str(hex_encode_lower(v.signature))};
      EXPECT_EQ(crypto_ed25519_verify(args, {})->bool_value(), v.verdict) << v.name;
    }
    ++through_call;
  }
  EXPECT_GT(vectors.size(), 500u);
  EXPECT_GT(accepted, 80u);
  EXPECT_GT(through_call, 500u);
}

TEST(SyscallCosts, Cases) {
  const auto texts = [](const VmValue& list) {
    std::vector<std::string_view> out;
    for (const VmValue& v : list.items()) out.push_back(v.text());
    return out;
  };
  run_case_file(
      "support/syscall_costs.cases",
      {
          {"cost",
           [](const Case& c) {
             const auto args = c.tail(1);
             return outcome(explicit_syscall_metering_cost(c[0].text(), args, c.kwargs));
           }},
          {"hex_payload_bytes", [](const Case& c) { return outcome(hex_payload_bytes(c[0].text())); }},
          {"payload_cost",
           [=](const Case& c) { return outcome(zk_payload_metering_cost(c[0].text(), c[1].text(), texts(c[2]))); }},
          {"registry_cost",
           [=](const Case& c) {
             return outcome(zk_registry_metering_cost(static_cast<uint64_t>(c.i64(0)), c[1].text(), texts(c[2])));
           }},
      });
}

TEST(StorageKeys, Cases) {
  run_case_file(
      "support/storage_keys.cases",
      {
          {"hash_key", [](const Case& c) { return outcome(normalize_hash_key(c[0])); }},
          {"hash_prefix", [](const Case& c) { return outcome(normalize_hash_prefix(c.args)); }},
          {"append_key",
           [](const Case& c) -> Outcome {
             std::string text(c[0].text());
             VELN_CHECK(append_hash_key(text, c[1]));
             return outcome(text);
           }},
          {"key_part", [](const Case& c) { return outcome(storage_key_part(c[0])); }},
          {"variable_key", [](const Case& c) { return outcome(variable_storage_key(c[0].text(), c[1].text())); }},
          {"foreign_key", [](const Case& c) { return outcome(foreign_storage_key(c[0].text(), c[1].text())); }},
          {"hash_storage_key", [](const Case& c) { return outcome(hash_storage_key(c[0].text(), c[1].text(), c[2])); }},
          {"hash_storage_key_normalized",
           [](const Case& c) { return outcome(hash_storage_key_from_normalized(c[0].text(), c[1].text(), c[2].text())); }},
          {"split_foreign",
           [](const Case& c) -> Outcome {
             VELN_TRY(const auto parts, split_foreign_storage_key(c[0].text()));
             return outcome(parts.first, parts.second);
           }},
      });
}

VmValue fields(std::span<const VmDictPair> named) {
  std::vector<VmValue> out;
  for (const VmDictPair& f : named) out.push_back(*VmValue::make_tuple({f.key, f.value}));
  return *VmValue::make_list(std::move(out));
}

Outcome split_once(const VmValue& schema, VmValue payload) {
  VELN_TRY(const VmEventFields p, normalize_event_payload(schema, std::move(payload)));
  return outcome(fields(p.indexed()), fields(p.data()));
}

std::string shown(const Outcome& o) {
  if (!o.ok()) return "error: " + o.error().message;
  std::string text;
  for (const VmValue& v : *o) text += v.python_repr() + " ";
  return text;
}

// True for the payloads a dict display may give as its keys and values
// unbuilt: a few distinct str keys.
bool splits_as_fields(const VmValue& payload) {
  if (!payload.is(VmKind::Dict)) return false;
  const auto pairs = payload.dict_pairs();
  if (pairs.empty() || pairs.size() > EventFieldOrder::kMaxKeys) return false;
  for (std::size_t i = 0; i < pairs.size(); ++i) {
    if (!pairs[i].key.is(VmKind::String)) return false;
    for (std::size_t j = 0; j < i; ++j) {
      if (pairs[j].key.text() == pairs[i].key.text()) return false;
    }
  }
  return true;
}

// The payload's values, taken over by `order` with the payload's own keys
// (the same key values each time, so a second split may follow the order
// the first one kept).
Outcome split_fields(const VmValue& schema, const VmValue& payload, std::span<const VmValue> keys,
                     EventFieldOrder& order) {
  std::vector<VmValue> values;
  for (const VmDictPair& pair : payload.dict_pairs()) values.push_back(pair.value);
  VELN_TRY(const VmEventFields p, order.normalize(schema, keys, values));
  return outcome(fields(p.indexed()), fields(p.data()));
}

// A payload another value holds is read; one held nowhere else may hand its
// pairs over; one given as its keys and values has them taken over, once
// and again: all must split alike, errors included.
Outcome split_payload(const VmValue& schema, const VmValue& payload) {
  Outcome shared = split_once(schema, payload);
  VmValue alone = payload;
  if (payload.is(VmKind::Dict)) {
    const auto pairs = payload.dict_pairs();
    alone = *VmValue::make_dict(std::vector<VmDictPair>(pairs.begin(), pairs.end()));
  }
  if (shown(shared) != shown(split_once(schema, std::move(alone)))) {
    return vm_error("a payload held nowhere else splits differently");
  }
  if (splits_as_fields(payload)) {
    std::vector<VmValue> keys;
    for (const VmDictPair& pair : payload.dict_pairs()) keys.push_back(pair.key);
    EventFieldOrder order;
    for (int turn = 0; turn < 2; ++turn) {
      if (shown(shared) != shown(split_fields(schema, payload, keys, order))) {
        return vm_error("a payload given as keys and values splits differently");
      }
    }
  }
  return shared;
}

TEST(EventPayloads, Cases) {
  run_case_file("support/event_payloads.cases",
                {
                    {"normalize", [](const Case& c) { return split_payload(c[0], c[1]); }},
                    {"is_indexed",
                     [](const Case& c) -> Outcome {
                       // A schema of this one field splits the payload accordingly.
                       const bool indexed = event_field_is_indexed(c[0]);
                       VELN_TRY(auto split, split_payload(*VmValue::make_dict({{VmValue::str("f"), c[0]}}), V("{'f': 7}")));
                       if (split[indexed ? 0 : 1].item_count() != 1) return vm_error("payload split differs");
                       return outcome(indexed);
                     }},
                });
}

TEST(EventPayloads, ManyFieldsFollowTheSchemaOrder) {
  std::vector<VmDictPair> schema, payload;
  for (int k = 0; k < 2000; ++k) {
    schema.push_back({VmValue::str(std::string("f").append(std::to_string(k))), k % 3 == 0 ? V("{'idx': True}") : VmValue::str("int")});
    payload.push_back({VmValue::str(std::string("f").append(std::to_string(1999 - k))), VmValue::integer(1999 - k)});
  }
  const auto r = normalize_event_payload(*VmValue::make_dict(std::move(schema)), *VmValue::make_dict(std::move(payload)));
  ASSERT_TRUE(r.ok());
  ASSERT_EQ(r->indexed().size() + r->data().size(), 2000u);
  EXPECT_EQ(r->indexed()[1].key.text(), "f3");
  EXPECT_EQ(r->indexed()[1].value.small_int(), 3);
  EXPECT_EQ(r->data()[0].key.text(), "f1");
  EXPECT_EQ(r->data()[0].value.small_int(), 1);
}

TEST(BuiltinNames, Cases) {
  run_case_file("support/builtin_names.cases",
                {
                    {"name", [](const Case& c) { return outcome(builtin_name_value(c[0].text())); }},
                    {"isinstance", [](const Case& c) { return outcome(type_matches(c[0], c[1])); }},
                    {"issubclass", [](const Case& c) { return outcome(issubclass_matches(c[0], c[1])); }},
                    {"marker_names",
                     [](const Case& c) -> Outcome {
                       VELN_TRY(const auto names, type_marker_names(c[0]));
                       std::vector<VmValue> out;
                       for (const auto& n : names) out.push_back(VmValue::str(n));
                       return outcome(std::move(out));
                     }},
                    {"coerce_type_marker", [](const Case& c) { return outcome(coerce_type_marker(c[0])); }},
                    {"attribute", [](const Case& c) { return outcome(native_attribute_value(c[0], c[1].text())); }},
                });
}

const JsonValue& fixed_object() {
  static const JsonValue object =
      *read_json_value(R"({"s":"text","n":5,"null":null,"arr":[1,2],"obj":{},"f":2.5,)"
                       R"("neg":-9223372036854775808,"big":18446744073709551615,"t":true})");
  return object;
}

// The field readers read the fixed object, or the JSON text after the key.
template <class Read>
CaseFunction field(Read read) {
  return [read](const Case& c) -> Outcome {
    JsonValue given;
    if (c.size() > 1) given = *read_json_value(c[1].text());
    return read(c.size() > 1 ? given : fixed_object(), c[0].text());
  };
}

TEST(IrArgumentReaders, Cases) {
  const auto int_arg = [](const Case& c) {
    return std::make_tuple(c[0].items(), static_cast<size_t>(c.i64(1)), std::string(c[2].text()));
  };
  run_case_file(
      "support/ir_readers.cases",
      {
          {"required_value", field([](const JsonValue& o, std::string_view k) -> Outcome {
             VELN_TRY(const JsonValue* v, required_value(o, k));
             return outcome(v->to_compact_json());
           })},
          {"required_string", field([](const JsonValue& o, std::string_view k) { return outcome(required_string(o, k)); })},
          {"required_array", field([](const JsonValue& o, std::string_view k) -> Outcome {
             VELN_TRY(const auto items, required_array(o, k));
             std::vector<VmValue> out;
             for (const JsonValue& item : items) out.push_back(VmValue::str(item.to_compact_json()));
             return outcome(std::move(out));
           })},
          {"required_f64", field([](const JsonValue& o, std::string_view k) { return outcome(required_f64(o, k)); })},
          {"optional_string", field([](const JsonValue& o, std::string_view k) { return outcome(optional_string(o, k)); })},
          {"required_bigint", field([](const JsonValue& o, std::string_view k) { return outcome(required_bigint(o, k)); })},
          {"as_object",
           [](const Case& c) -> Outcome {
             const JsonValue value = *read_json_value(c[0].text());
             VELN_TRY(const JsonValue* object, as_object(value, "target"));
             if (object != &value) return vm_error("not the value itself");
             return outcome(object->to_compact_json());
           }},
          {"string_list", [](const Case& c) { return outcome(as_string_list(c[0], c[1].text())); }},
          {"int_arg",
           [=](const Case& c) {
             const auto [args, index, name] = int_arg(c);
             return outcome(positional_or_keyword_i64(args, c.kwargs, index, name));
           }},
          {"optional_int_arg",
           [=](const Case& c) {
             const auto [args, index, name] = int_arg(c);
             return outcome(optional_positional_or_keyword_i64(args, c.kwargs, index, name));
           }},
          {"import_name", [](const Case& c) { return outcome(resolve_contract_import_arg(c.args, c.kwargs)); }},
          {"expect_count",
           [](const Case& c) {
             return outcome(expect_positional_count(c[0].items(), c.kwargs, static_cast<size_t>(c.i64(1)), c[2].text()));
           }},
          {"string_arg", [](const Case& c) { return outcome(string_arg(c[0])); }},
          {"option_entry",
           [](const Case& c) {
             std::optional<std::pair<std::string, std::string>> entry;
             if (!c[0].is(VmKind::None)) entry.emplace(c[0].item(0).text(), c[0].item(1).text());
             return outcome(option_entry_value(entry));
           }},
          {"module_scope",
           [](const Case& c) {
             std::set<std::string> locals;
             for (const VmValue& v : c[1].items()) locals.insert(std::string(v.text()));
             const std::map<std::string, int> module = {{"x", 1}, {"d", 2}};
             return outcome(target_writes_module_scope(*read_json_value(c[0].text()), locals, module));
           }},
      });
}

TEST(IrArgumentReaders, DeepTargetChainsAreWalkedWithoutRecursion) {
  std::string target = R"({"node":"name","id":"d"})";
  for (int k = 0; k < 120; ++k) target = R"({"node":"subscript","value":)" + target + "}";
  const JsonValue tree = *read_json_value(target);
  const std::map<std::string, int> module = {{"d", 1}}, locals;
  EXPECT_TRUE(*target_writes_module_scope(tree, locals, module));
  EXPECT_EQ(**target_root_name(tree), "d");
}

}  // namespace
}  // namespace veln
