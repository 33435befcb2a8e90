// The meter against the scripts of tests/data/meter_cases.txt.
#include "python_bindings/metering/vm_meter.hpp"

#include <gtest/gtest.h>

#include <fstream>
#include <optional>
#include <sstream>

#include "value_literal.hpp"

namespace veln {
namespace {

std::string show(const VmStatus& s) { return s.ok() ? "ok" : "error: " + s.error().message; }

std::string show(const VmContractCosts& costs) {
  std::string out;
  for (const auto& [name, cost] : costs) out += (out.empty() ? "" : " ") + name + ":" + std::to_string(cost);
  return out;
}

// Splits "key value" at the first blank.
std::pair<std::string, std::string> key_and_value(const std::string& args) {
  const size_t sp = args.find(' ');
  return {args.substr(0, sp), args.substr(sp + 1)};
}

std::string apply(VmMeter& meter, const std::string& op, const std::string& args) {
  if (op == "charge") return show(meter.charge(std::stoull(args)));
  if (op == "read") {
    auto [key, value] = key_and_value(args);
    return show(meter.charge_read(key, value_literal::parse(value)));
  }
  if (op == "write") {
    auto [key, value] = key_and_value(args);
    return show(meter.charge_write(key, value_literal::parse(value)));
  }
  if (op == "return") return show(meter.charge_return_value(value_literal::parse(args)));
  if (op == "begin") meter.begin_contract_metering(args);
  if (op == "enter") meter.enter_contract_metering(args);
  if (op == "exit") meter.exit_contract_metering();
  if (op == "finalize") return show(meter.finalize_contracts(args));
  return "ok";
}

void check_state(const VmMeter& meter, const std::string& checks, const std::string& line) {
  std::istringstream in(checks);
  std::string check;
  while (in >> check) {
    const size_t eq = check.find('=');
    const std::string name = check.substr(0, eq);
    const uint64_t want = std::stoull(check.substr(eq + 1));
    EXPECT_EQ(name == "raw" ? meter.raw_cost() : meter.write_bytes(), want) << line;
  }
}

TEST(VmMeter, Scripts) {
  std::ifstream in(std::string(VELN_TEST_DATA_DIR) + "/meter_cases.txt");
  std::optional<VmMeter> meter;
  std::string line;
  int ops = 0;
  while (std::getline(in, line)) {
    std::istringstream words(line);
    std::string tag;
    words >> tag;
    if (tag == "meter") {
      std::string on;
      VmMeterSettings s;
      words >> on >> s.chi_budget >> s.transaction_size_bytes;
      s.enabled = on == "on";
      meter.emplace(s);
    } else if (tag == "op") {
      ASSERT_TRUE(meter.has_value()) << line;
      const size_t arrow = line.find(" => ");
      const std::string call = line.substr(3, arrow - 3);
      std::string expected = line.substr(arrow + 4);
      std::string checks;
      if (const size_t bar = expected.find(" | "); bar != std::string::npos) {
        checks = expected.substr(bar + 3);
        expected.resize(bar);
      }
      const size_t sp = call.find(' ');
      const std::string op = call.substr(0, sp);
      const std::string args = sp == std::string::npos ? "" : call.substr(sp + 1);
      EXPECT_EQ(apply(*meter, op, args), expected) << line;
      check_state(*meter, checks, line);
      ++ops;
    } else if (tag == "chi") {
      uint64_t raw, budget, want;
      std::string arrow;
      words >> raw >> budget >> arrow >> want;
      EXPECT_EQ(chi_used_for(raw, budget), want) << line;
    }
  }
  EXPECT_GT(ops, 50);
}

}  // namespace
}  // namespace veln
