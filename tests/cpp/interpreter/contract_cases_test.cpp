// Runs the contract cases of tests/data/contracts/*.json: each builds a
// module instance with the in-memory test host, calls functions, and checks
// the result or error, the raw cost, and where given the execution charges
// in order, the host operations, the trace lines and the canonical encoding
// of a result.
#include <gtest/gtest.h>

#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>
#include <limits>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "interpreter/vm_instance.hpp"
#include "interpreter_support/canonical_encoding.hpp"
#include "interpreter_support/sets/set_algebra.hpp"
#include "lib/hex_codec.hpp"
#include "lib/json_reader.hpp"
#include "lib/parse_module_ir.hpp"
#include "contract_shelf.hpp"
#include "test_host.hpp"
#include "values/vm_decimal.hpp"

namespace veln {
namespace {

std::string read_file(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream buffer;
  buffer << in.rdbuf();
  return buffer.str();
}

// Test values: JSON scalars and arrays (lists), or {"tuple"|"set"|"dict"|
// "int"|"float"|"decimal"|"bytes"|"bytearray": ...}.
VmValue decode_value(const JsonValue& v) {
  switch (v.kind()) {
    case JsonKind::null: return VmValue();
    case JsonKind::boolean: return VmValue::boolean(v.as_bool());
    case JsonKind::u64: return VmValue::integer(mpz_class(static_cast<unsigned long>(v.as_u64())));
    case JsonKind::i64: return VmValue::integer(v.as_i64());
    case JsonKind::f64: return VmValue::float64(v.as_f64());
    case JsonKind::string: return VmValue::str(v.as_string());
    case JsonKind::array: {
      std::vector<VmValue> items;
      for (const JsonValue& item : v.as_array()) items.push_back(decode_value(item));
      return *VmValue::make_list(std::move(items));
    }
    case JsonKind::object: break;
  }
  const auto& [tag, payload] = v.as_object().front();
  if (tag == "int") return VmValue::integer(mpz_class(payload.as_string()));
  if (tag == "float") {  // "inf", "-inf" or "nan"
    const std::string& text = payload.as_string();
    const double x = text == "nan" ? std::numeric_limits<double>::quiet_NaN() : std::numeric_limits<double>::infinity();
    return VmValue::float64(text.starts_with('-') ? -x : x);
  }
  if (tag == "decimal") return VmValue::decimal(*VmDecimal::from_str_literal(payload.as_string()));
  if (tag == "bytes" || tag == "bytearray") {
    const auto bytes = *hex_decode_pairs(payload.as_string());
    return *VmValue::make_text(tag == "bytes" ? VmKind::Bytes : VmKind::ByteArray, std::string(bytes.begin(), bytes.end()));
  }
  std::vector<VmValue> items;
  if (tag == "dict") {
    std::vector<VmDictPair> pairs;
    for (const JsonValue& pair : payload.as_array()) {
      pairs.push_back(VmDictPair{decode_value(pair.as_array()[0]), decode_value(pair.as_array()[1])});
    }
    return *VmValue::make_dict(std::move(pairs));
  }
  for (const JsonValue& item : payload.as_array()) items.push_back(decode_value(item));
  if (tag == "set") return *VmValue::make_set(*normalize_set_items(std::move(items)));
  return *VmValue::make_tuple(std::move(items));
}

std::string show(const VmResult<VmValue>& r) {
  if (!r.ok()) return "error: " + r.error().message;
  return std::string(r->type_name()) + ":" + r->python_repr();
}

std::string expected_outcome(const JsonValue& c) {
  if (const JsonText* error = c.find_string("error")) return "error: " + error->str();
  return *c.find_string("result");
}

VmExecutionContext decode_context(const JsonValue* c) {
  VmExecutionContext context;
  if (c == nullptr) return context;
  if (const JsonText* s = c->find_string("caller")) context.caller = *s;
  if (const JsonText* s = c->find_string("signer")) context.signer = *s;
  if (const JsonText* s = c->find_string("this")) context.this_contract = *s;
  if (const JsonValue::Array* e = c->find_array("entry")) context.entry.emplace((*e)[0].as_string(), (*e)[1].as_string());
  if (const JsonValue* now = c->find("now")) context.now = decode_value(*now);
  if (const JsonText* s = c->find_string("submission_name")) context.submission_name = *s;
  return context;
}

// Environment switches set for one case and cleared afterwards.
class ScopedEnvironment {
 public:
  explicit ScopedEnvironment(const JsonValue* names) {
    if (names == nullptr) return;
    for (const JsonValue& name : names->as_array()) {
      names_.push_back(name.as_string());
      setenv(names_.back().c_str(), "", 1);
    }
  }
  ~ScopedEnvironment() {
    for (const std::string& name : names_) unsetenv(name.c_str());
  }

 private:
  std::vector<std::string> names_;
};

std::vector<uint64_t> numbers(const JsonValue& array) {
  std::vector<uint64_t> out;
  for (const JsonValue& n : array.as_array()) out.push_back(n.is_u64() ? n.as_u64() : static_cast<uint64_t>(n.as_i64()));
  return out;
}

std::vector<std::string> texts(const JsonValue& array) {
  std::vector<std::string> out;
  for (const JsonValue& s : array.as_array()) out.push_back(s.as_string());
  return out;
}

uint64_t number(const JsonValue& n) { return n.is_u64() ? n.as_u64() : static_cast<uint64_t>(n.as_i64()); }

void run_case(const JsonValue& c) {
  const std::string name = *c.find_string("name");
  SCOPED_TRACE(name);
  testing::TestHost host;
  host.record_charges = true;
  if (const JsonValue* budget = c.find("budget")) host.budget = number(*budget);
  if (const JsonValue* storage = c.find("storage")) {
    for (const auto& [key, value] : storage->as_object()) host.storage.emplace(key, decode_value(value));
  }
  if (const JsonValue* answers = c.find("syscall_answers")) {
    for (const auto& [id, list] : answers->as_object()) {
      for (const JsonValue& answer : list.as_array()) {
        testing::TestHost::SyscallAnswer scripted;
        if (const JsonText* error = answer.find_string("error")) {
          scripted.error = *error;
        } else {
          scripted.value = decode_value(*answer.find("value"));
        }
        host.syscall_answers[id].push_back(std::move(scripted));
      }
    }
  }
  // Cross-contract calls answer from a script too, in order.
  std::deque<testing::TestHost::SyscallAnswer> contract_answers;
  if (const JsonValue* answers = c.find("contract_answers")) {
    for (const JsonValue& answer : answers->as_array()) {
      testing::TestHost::SyscallAnswer scripted;
      if (const JsonText* error = answer.find_string("error")) {
        scripted.error = *error;
      } else {
        scripted.value = decode_value(*answer.find("value"));
      }
      contract_answers.push_back(std::move(scripted));
    }
    host.on_call_contract = [&contract_answers](VmContractCall) -> VmResult<VmValue> {
      if (contract_answers.empty()) return vm_error("no contract to call");
      testing::TestHost::SyscallAnswer answer = std::move(contract_answers.front());
      contract_answers.pop_front();
      if (answer.error) return vm_error(*answer.error);
      return answer.value;
    };
  }
  const std::string module_text =
      c.find_string("module_text") ? *c.find_string("module_text") : c.find("module")->to_compact_json();
  Result<ModuleIr, std::string> module = read_module_ir(module_text);
  ASSERT_TRUE(module.ok()) << module.error();
  // Or they reach real contracts, each call a new instance of its target.
  std::optional<testing::ContractShelf> contracts;
  if (const JsonValue* others = c.find("contracts")) {
    contracts.emplace(*module, *others);
    contracts->serve(host);
  }

  ScopedEnvironment env(c.find("env"));
  // Traces are compared where given, else kept out of the test's output.
  const bool capture_stderr = c.contains("stderr") || c.contains("env");
  if (capture_stderr) ::testing::internal::CaptureStderr();
  VmResult<VmInstance> instance =
      VmInstance::new_with_host(std::move(module).value(), decode_context(c.find("context")), host);
  std::string outcome;
  if (!instance.ok()) {
    outcome = "build error: " + instance.error().message;
  } else {
    for (const JsonValue& call : c.find("calls")->as_array()) {
      // What other contracts of the request changed meanwhile: host storage
      // and recorded writes.
      if (const JsonValue* storage = call.find("storage")) {
        for (const auto& [key, value] : storage->as_object()) host.storage.insert_or_assign(key, decode_value(value));
      }
      if (const JsonValue* removed = call.find("storage_removed")) {
        for (const JsonValue& key : removed->as_array()) host.storage.erase(key.as_string());
      }
      if (const JsonValue* recorded = call.find("recorded")) {
        for (const auto& [key, value] : recorded->as_object()) host.recorded.insert_or_assign(key, decode_value(value));
      }
      VmArgList args;
      if (const JsonValue::Array* a = call.find_array("args")) {
        for (const JsonValue& v : *a) args.push_back(decode_value(v));
      }
      VmKwargList kwargs;
      if (const JsonValue::Array* k = call.find_array("kwargs")) {
        for (const JsonValue& pair : *k) {
          kwargs.push_back(VmKeywordArg{pair.as_array()[0].as_string(), decode_value(pair.as_array()[1])});
        }
      }
      VmResult<VmValue> result =
          instance->call_function(host, *call.find_string("function"), std::move(args), std::move(kwargs));
      EXPECT_EQ(show(result), expected_outcome(call)) << "calling " << *call.find_string("function");
      // The canonical encoding of the result, or its error.
      if (const JsonText* encoded = call.find_string("encoded"); encoded != nullptr && result.ok()) {
        VmResult<std::string> text = encode_vm_value(*result);
        EXPECT_EQ(text.ok() ? *text : "error: " + text.error().message, *encoded);
        if (text.ok()) {
          EXPECT_EQ(*encoded_vm_value_length(*result), text->size());
        }
      }
    }
  }
  if (capture_stderr) {
    const std::string traced = ::testing::internal::GetCapturedStderr();
    if (const JsonText* expected = c.find_string("stderr")) {
      EXPECT_EQ(traced, *expected);
    }
  }
  if (const JsonText* build_error = c.find_string("build_error")) {
    EXPECT_EQ(outcome, "build error: " + build_error->str());
  } else {
    EXPECT_EQ(outcome, "");
  }
  EXPECT_EQ(host.raw_cost, number(*c.find("raw_cost")));
  if (const JsonValue* charges = c.find("charges")) {
    EXPECT_EQ(host.charges, numbers(*charges));
  }
  if (const JsonValue* calls = c.find("host_calls")) {
    EXPECT_EQ(host.host_calls, texts(*calls));
  }
}

// One test over every case file, so a new file needs no new discovery.
TEST(ContractCases, AllFiles) {
  std::vector<std::filesystem::path> files;
  for (const auto& entry :
       std::filesystem::directory_iterator(std::filesystem::path(VELN_TEST_DATA_DIR) / "contracts")) {
    if (entry.path().extension() == ".json") files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  ASSERT_FALSE(files.empty());
  for (const std::filesystem::path& path : files) {
    SCOPED_TRACE(path.filename().string());
    Result<JsonValue, std::string> doc = read_json_value(read_file(path));
    ASSERT_TRUE(doc.ok()) << doc.error();
    for (const JsonValue& c : doc->find("cases")->as_array()) run_case(c);
  }
}

}  // namespace
}  // namespace veln
