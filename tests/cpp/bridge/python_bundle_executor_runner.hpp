// Runs executor scripts from tests/data: each "executor" line starts a
// request on a fresh in-memory host, "host" lines set the host up, "op"
// lines call the executor and compare the outcome, "calls" lines compare
// (and clear) the host's call log. Test code.
//
//   executor on|off <budget> <tx size> [<bundle JSON text>]  (default {})
//   host var <contract> <name> <value>      host row <contract> <hash> <key> <value>
//   host module <name> <path under the project>   host module_text <name> <text>
//   host owner <contract> <owner>           host fail <method> <message>
//   host iter                               host unfiltered
//   host syscall_result <value>
//   host rows <contract> <hash> <count>     (keys k000000..., values 1)
//   op record <key> <value>                 op recorded <key>
//   op read_var <c> <name>                  op read_hash <c> <name> <key value>
//   op scan <c> <hash> <prefix|->           op scan_metered <c> <hash> <prefix|->
//   op scan_metered_count <c> <hash> <prefix|->     (the number of entries)
//   op charge <n>                           op syscall <name> <args list value>
//   op read_charge <key> <value>            op write_charge <key> <value>
//   op emit <contract> <event>              op events
//   op ensure <module>                      op call <module> <function> [caller] [signer]
//   op live <module>                        (whether the module has a stored instance)
//   op entry <module> <function>            check raw=<n> writes=<n> rows=<n>
#pragma once

#include <gtest/gtest.h>

#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "memory_host.hpp"
#include "operator_test_values.hpp"
#include "python_bindings/python_bundle_executor.hpp"
#include "case_file.hpp"

namespace veln::executor_runner {

inline std::string read_file(const std::string& path) {
  std::ifstream in(path);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

inline std::string project_file(const std::string& relative) {
  return read_file(std::string(VELN_TEST_DATA_DIR) + "/../../" + relative);
}

inline std::string show(const VmStatus& s) { return s.ok() ? "ok" : "error: " + s.error().message; }
inline std::string show_value(const VmValue& v) { return test_values::show(v); }
inline std::string show(const VmResult<std::optional<VmValue>>& r) {
  if (!r.ok()) return "error: " + r.error().message;
  return r->has_value() ? show_value(**r) : "absent";
}
inline std::string show(const VmResult<VmValue>& r) {
  return r.ok() ? show_value(*r) : "error: " + r.error().message;
}
inline std::string show(const VmResult<std::vector<VmHashEntry>>& r) {
  if (!r.ok()) return "error: " + r.error().message;
  if (r->empty()) return "(empty)";
  std::string out;
  for (const VmHashEntry& e : *r) {
    if (!out.empty()) out += ' ';
    out += e.key;
    out += '=';
    out += show_value(e.value);
  }
  return out;
}
inline std::string show(const BundleExecutionResult& r) {
  std::string out = "status=" + std::to_string(r.status_code) + " result=" + show_value(r.result) +
                    " raw=" + std::to_string(r.raw_cost) + " chi=" + std::to_string(r.chi_used) + " costs=";
  for (const auto& [name, cost] : r.contract_costs) out += name + ":" + std::to_string(cost) + ",";
  out += " writes=" + std::to_string(r.storage_writes.size()) + " events=" + std::to_string(r.events.size()) +
         " snapshots=" + std::to_string(r.snapshots.size());
  return out;
}

// The words of a line: the first `count` blank-separated words, then the rest.
inline std::vector<std::string> words(const std::string& text, size_t count) {
  std::vector<std::string> out;
  size_t pos = 0;
  while (out.size() < count && pos <= text.size()) {
    const size_t sp = text.find(' ', pos);
    if (sp == std::string::npos) {
      out.push_back(text.substr(pos));
      pos = text.size() + 1;
    } else {
      out.push_back(text.substr(pos, sp - pos));
      pos = sp + 1;
    }
  }
  out.resize(count);
  out.push_back(pos <= text.size() ? text.substr(pos) : "");
  return out;
}

struct Request {
  memory_host::MemoryHost host;
  VmMeterSettings settings;
  std::string bundle = "{}";
  std::optional<PythonBundleExecutor> executor;

  // The executor is built at the first op, after the host is set up.
  PythonBundleExecutor& get() {
    if (!executor) {
      auto made = PythonBundleExecutor::create(bundle, host, settings);
      EXPECT_TRUE(made.ok()) << made.error().message;
      executor.emplace(std::move(made).value());
    }
    return *executor;
  }
};

inline std::string value_prefix(const std::string& p) { return p == "-" ? "" : p; }

inline void setup_host(Request& r, const std::string& rest) {
  auto w = words(rest, 1);
  const std::string& what = w[0];
  if (what == "var") {
    auto a = words(w[1], 2);
    r.host.variables[variable_storage_key(a[0], a[1])] = cases::V(a[2]);
  } else if (what == "row") {
    auto a = words(w[1], 3);
    r.host.hashes[variable_storage_key(a[0], a[1])].push_back({a[2], cases::V(a[3])});
  } else if (what == "rows") {
    auto a = words(w[1], 3);
    auto& rows = r.host.hashes[variable_storage_key(a[0], a[1])];
    const int count = std::stoi(a[2]);
    for (int i = 0; i < count; ++i) {
      std::string digits = std::to_string(i);
      std::string key = "k";
      key.append(6 - digits.size(), '0');
      key += digits;
      rows.push_back({std::move(key), VmValue::integer(1)});
    }
  } else if (what == "module") {
    auto a = words(w[1], 1);
    r.host.modules[a[0]] = project_file(a[1]);
  } else if (what == "module_text") {
    auto a = words(w[1], 1);
    r.host.modules[a[0]] = a[1];
  } else if (what == "owner") {
    auto a = words(w[1], 1);
    r.host.owners[a[0]] = a[1];
  } else if (what == "fail") {
    auto a = words(w[1], 1);
    r.host.failures[a[0]] = a[1];
  } else if (what == "iter") {
    r.host.has_iter = true;
  } else if (what == "unfiltered") {
    r.host.filter_by_prefix = false;
  } else if (what == "syscall_result") {
    r.host.syscall_result = cases::V(w[1]);
  } else {
    ADD_FAILURE() << "unknown host setup: " << rest;
  }
}

inline std::string apply(Request& r, const std::string& call) {
  auto w = words(call, 1);
  const std::string& op = w[0];
  PythonBundleExecutor& ex = r.get();
  if (op == "record") {
    auto a = words(w[1], 1);
    return show(ex.record_storage_write(a[0], cases::V(a[1])));
  }
  if (op == "recorded") {
    auto got = ex.read_recorded_storage_write(w[1]);
    return got ? show_value(*got) : "absent";
  }
  if (op == "read_var") {
    auto a = words(w[1], 1);
    return show(ex.read_variable(a[0], a[1]));
  }
  if (op == "read_hash") {
    auto a = words(w[1], 2);
    return show(ex.read_hash(a[0], a[1], cases::V(a[2])));
  }
  if (op == "scan" || op == "scan_metered") {
    auto a = words(w[1], 2);
    return show(op == "scan" ? ex.scan_hash_entries(a[0], a[1], value_prefix(a[2]))
                             : ex.scan_hash_entries_metered(a[0], a[1], value_prefix(a[2])));
  }
  if (op == "scan_metered_count") {
    auto a = words(w[1], 2);
    auto got = ex.scan_hash_entries_metered(a[0], a[1], value_prefix(a[2]));
    return got.ok() ? std::to_string(got->size()) : "error: " + got.error().message;
  }
  if (op == "charge") return show(ex.charge_execution_cost(std::stoull(w[1])));
  if (op == "read_charge" || op == "write_charge") {
    auto a = words(w[1], 1);
    const VmValue v = cases::V(a[1]);
    return show(op == "read_charge" ? ex.charge_storage_read(a[0], v) : ex.charge_storage_write(a[0], v));
  }
  if (op == "syscall") {
    auto a = words(w[1], 1);
    const VmValue args = cases::V(a[1]);
    return show(ex.handle_syscall(a[0], VmArgList(args.items().begin(), args.items().end()), {}));
  }
  if (op == "emit") {
    auto a = words(w[1], 1);
    VmEvent e;
    e.contract = VmValue::str(a[0]);
    e.event = VmValue::str(a[1]);
    return show(ex.emit_event(std::move(e)));
  }
  if (op == "events") {
    std::string out;
    for (const VmEvent& e : ex.events()) {
      if (!out.empty()) out += ' ';
      out += e.contract.text();
      out += '.';
      out += e.event.text();
    }
    return out;
  }
  if (op == "ensure") return show(ex.ensure_module(w[1]));
  if (op == "live") return ex.has_live_instance(w[1]) ? "yes" : "no";
  if (op == "call") {
    auto a = words(w[1], 3);
    VmContractCall c;
    c.target.variant = VmStaticImportTarget{a[0], a[0]};
    c.function = a[1];
    if (!a[2].empty() && a[2] != "-") c.caller = a[2];
    if (!a[3].empty() && a[3] != "-") c.signer = a[3];
    return show(ex.call_contract(std::move(c)));
  }
  if (op == "entry") {
    auto a = words(w[1], 1);
    return show(ex.execute_entry(a[0], a[1], {}, {}, {}));
  }
  ADD_FAILURE() << "unknown op: " << call;
  return {};
}

inline void check_state(Request& r, const std::string& checks, const std::string& line) {
  std::istringstream in(checks);
  std::string check;
  while (in >> check) {
    const size_t eq = check.find('=');
    const std::string name = check.substr(0, eq);
    const uint64_t want = std::stoull(check.substr(eq + 1));
    const VmMeter& m = r.get().meter();
    const uint64_t got = name == "raw" ? m.raw_cost() : name == "writes" ? m.write_bytes() : r.host.rows_taken;
    EXPECT_EQ(got, want) << name << " after " << line;
  }
}

inline void run_script_file(const std::string& file, int min_ops) {
  std::ifstream in(std::string(VELN_TEST_DATA_DIR) + "/" + file);
  ASSERT_TRUE(in) << file;
  std::optional<Request> req;
  std::string line;
  int ops = 0;
  while (std::getline(in, line)) {
    auto w = words(line, 1);
    const std::string& tag = w[0];
    if (tag.empty() || tag[0] == '#') continue;
    if (tag == "executor") {
      auto a = words(w[1], 3);
      req.emplace();
      req->settings = {a[0] == "on", std::stoull(a[1]), std::stoull(a[2])};
      if (!a[3].empty()) req->bundle = a[3];
      continue;
    }
    ASSERT_TRUE(req.has_value()) << line;
    if (tag == "host") {
      setup_host(*req, w[1]);
      continue;
    }
    const size_t arrow = line.find(" => ");
    std::string expected = arrow == std::string::npos ? "" : line.substr(arrow + 4);
    const std::string body = line.substr(tag.size() + 1, arrow - tag.size() - 1);
    if (tag == "check") {
      check_state(*req, body, line);
    } else if (tag == "calls") {
      EXPECT_EQ(req->host.call_log(), expected) << line;
      req->host.calls.clear();
    } else if (tag == "op") {
      std::string checks;
      if (const size_t bar = expected.find(" | "); bar != std::string::npos) {
        checks = expected.substr(bar + 3);
        expected.resize(bar);
      }
      EXPECT_EQ(apply(*req, body), expected) << line;
      check_state(*req, checks, line);
      ++ops;
    } else {
      ADD_FAILURE() << "unknown line: " << line;
    }
  }
  EXPECT_GE(ops, min_ops) << file;
}

}  // namespace veln::executor_runner
