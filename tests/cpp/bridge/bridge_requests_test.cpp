// Whole requests through the bundle executor (tests/data/bridge_requests.json,
// written by tests/gen/gen_bridge_requests.py): a bundle of contracts, an
// in-memory host, one entry call, and the report checked field by field
// (only the fields a request names).
#include <gtest/gtest.h>

#include <map>
#include <span>
#include <string>
#include <vector>

#include "lib/json_reader.hpp"
#include "memory_host.hpp"
#include "python_bundle_executor_runner.hpp"
#include "python_bindings/python_bundle_executor.hpp"
#include "values/sanitized_build.hpp"
#include "case_file.hpp"

namespace veln {
namespace {

using executor_runner::show_value;

std::string join(const std::vector<std::string>& parts, std::string_view separator) {
  std::string out;
  for (const std::string& p : parts) {
    if (!out.empty()) out += separator;
    out += p;
  }
  return out;
}

std::string show_pairs(std::span<const VmDictPair> fields) {
  std::vector<std::string> parts;
  for (const VmDictPair& f : fields) parts.push_back(std::string(f.key.text()) + "=" + show_value(f.value));
  std::string out = "[";
  out += join(parts, ", ");
  out += ']';
  return out;
}

std::string show_event(const VmEvent& e) {
  return std::string(e.contract.text()) + "." + std::string(e.event.text()) + " signer=" + show_value(e.signer) + " caller=" + show_value(e.caller) +
         " indexed=" + show_pairs(e.fields.indexed()) + " data=" + show_pairs(e.fields.data());
}

std::string show_snapshot(const VmModuleStorageSnapshot& s) {
  std::string out = s.module_name;
  if (!s.variables.empty()) {
    std::vector<std::string> parts;
    for (const VmVariableSnapshot& v : s.variables) {
      parts.push_back(v.binding + " default=" + show_value(v.default_value) +
                      " value=" + (v.value ? show_value(*v.value) : "unset"));
    }
    out += " variables=[" + join(parts, ", ") + "]";
  }
  if (!s.hashes.empty()) {
    std::vector<std::string> parts;
    for (const VmHashSnapshot& h : s.hashes) {
      std::vector<std::string> entries;
      for (const auto& [key, value] : h.entries) entries.push_back(key + "=" + show_value(value));
      parts.push_back(h.binding + " default=" + show_value(h.default_value) + " {" + join(entries, ", ") + "}");
    }
    out += " hashes=[" + join(parts, ", ") + "]";
  }
  return out;
}

uint64_t number(const JsonValue& n) { return n.is_u64() ? n.as_u64() : static_cast<uint64_t>(n.as_i64()); }

VmExecutionContext context_of(const JsonValue& c) {
  VmExecutionContext context;
  if (const JsonText* s = c.find_string("caller")) context.caller = *s;
  if (const JsonText* s = c.find_string("signer")) context.signer = *s;
  if (const JsonText* s = c.find_string("owner")) context.owner = *s;
  return context;
}

void run_request(const JsonValue& contracts, const JsonValue& r) {
  const std::string& name = *r.find_string("name");
  SCOPED_TRACE(name);
  memory_host::MemoryHost host;
  std::string bundle = "{";
  for (const JsonValue& member : r.find("bundle")->as_array()) {
    if (bundle.size() > 1) bundle += ", ";
    append_json_string_literal(bundle, member.as_string());
    bundle += ": ";
    contracts.find(member.as_string())->append_compact_json(bundle);
  }
  bundle += "}";
  for (const JsonValue& module : r.find("host_modules")->as_array()) {
    host.modules[module.as_string()] = contracts.find(module.as_string())->to_compact_json();
  }
  for (const auto& [module, source] : r.find("host_texts")->as_object()) {
    host.modules[module] = contracts.find(source.as_string())->to_compact_json();
  }
  for (const auto& [contract, owner] : r.find("owners")->as_object()) host.owners[contract] = owner.as_string();
  for (const auto& [key, value] : r.find("storage")->as_object()) {
    host.set_storage(key, cases::V(value.as_string()));
  }
  if (const JsonValue::Array* rows = r.find_array("host_rows")) {
    const std::string hash = (*rows)[0].as_string().str() + "." + (*rows)[1].as_string().str();
    for (uint64_t i = 0; i < number((*rows)[2]); ++i) {
      std::string digits = std::to_string(i);
      std::string key = "k";
      key.append(6 - digits.size(), '0');
      key += digits;
      host.set_storage(hash + ":" + key, VmValue::integer(1));
    }
  }
  const JsonValue::Array& meter = *r.find_array("meter");
  const VmMeterSettings settings{meter[0].as_bool(), number(meter[1]), number(meter[2])};
  auto executor = PythonBundleExecutor::create(bundle, host, settings);
  ASSERT_TRUE(executor.ok()) << executor.error().message;

  const VmValue args = cases::V(*r.find_string("args"));
  const VmValue kwargs = cases::V(*r.find_string("kwargs"));
  VmKwargList keywords;
  for (const VmDictPair& p : kwargs.dict_pairs()) keywords.push_back({std::string(p.key.text()), p.value});
  const JsonValue::Array& entry = *r.find_array("entry");
  const BundleExecutionResult report =
      executor->execute_entry(entry[0].as_string(), entry[1].as_string(),
                              VmArgList(args.items().begin(), args.items().end()), std::move(keywords),
                              context_of(*r.find("context")));

  // Each named field of the report as text, against the expected text.
  std::map<std::string, std::string> got = {{"writes", ""}, {"events", ""}, {"snapshots", ""}};
  got["status"] = std::to_string(report.status_code);
  got["result"] = show_value(report.result);
  got["raw"] = std::to_string(report.raw_cost);
  got["chi"] = std::to_string(report.chi_used);
  for (const auto& [contract, cost] : report.contract_costs) got["costs"] += contract + ":" + std::to_string(cost) + " ";
  for (const auto& [key, value] : report.storage_writes) got["writes"] += key + "=" + show_value(value) + " ";
  for (const VmEvent& e : report.events) got["events"] += show_event(e) + "\n";
  for (const VmModuleStorageSnapshot& snap : report.snapshots) got["snapshots"] += show_snapshot(snap) + "\n";
  got["host_calls"] = join(host.calls, "\n");
  std::map<std::string, std::string> want;
  for (const auto& [field, v] : r.find("expect")->as_object()) {
    std::string& text = want[field];
    if (v.is_string()) {
      text = v.as_string();
    } else if (v.is_array()) {
      for (const JsonValue& item : v.as_array()) text += item.as_string().str() + "\n";
      if (field == "host_calls" && !text.empty()) text.pop_back();
    } else if (v.is_object()) {
      for (const auto& [key, item] : v.as_object()) {
        text += key.str() + (field == "costs" ? ":" : "=") + (item.is_string() ? item.as_string().str() : std::to_string(number(item))) + " ";
      }
    } else {
      text = std::to_string(number(v));
    }
  }
  for (auto it = got.begin(); it != got.end();) it = want.count(it->first) ? std::next(it) : got.erase(it);
  EXPECT_EQ(got, want);
  // The stack the system calls of the deepest and the shallowest call saw:
  // the call limit must be reached well within the native stack.
  if (const JsonValue* limit = r.find("stack_limit_bytes"); limit != nullptr && !limit->is_null()) {
    ASSERT_LE(host.lowest_stack, host.highest_stack);
    const uint64_t used = host.highest_stack - host.lowest_stack;
    ::testing::Test::RecordProperty(name + "_stack_bytes", std::to_string(used));
#ifdef VELN_ADDRESS_SANITIZED
    // Sanitizer frames are about three times larger (2.7 MB here).
    EXPECT_LT(used, 3 * number(*limit));
#else
    EXPECT_LT(used, number(*limit));
#endif
  }
}

TEST(BridgeRequests, DataCases) {
  auto doc = read_json_value(executor_runner::read_file(std::string(VELN_TEST_DATA_DIR) + "/bridge_requests.json"));
  ASSERT_TRUE(doc.ok()) << doc.error();
  const JsonValue& contracts = *doc->find("contracts");
  const JsonValue::Array& requests = *doc->find_array("requests");
  ASSERT_GT(requests.size(), 30u);
  for (const JsonValue& r : requests) run_request(contracts, r);
}

}  // namespace
}  // namespace veln
