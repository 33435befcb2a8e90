// Cases of the mended faults (tests/data/support/mended_faults.jsonl, one JSON array
// per line): `round` of floats whose IEEE steps overflow, and the positions
// and reasons of two module IR reading faults.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <string>

#include "interpreter_support/formatting.hpp"
#include "lib/json_reader.hpp"
#include "lib/module_ir.hpp"
#include "values/float_text.hpp"

namespace veln {
namespace {

std::string outcome(const JsonValue::Array& c) {
  const std::string& kind = c[0].as_string();
  if (kind == "round") {
    const double x = std::strtod(c[1].as_string().str().c_str(), nullptr);
    auto r = round_builtin_value(VmValue::float64(x), std::stoi(c[2].as_string()));
    return r.ok() ? float_display_text(r->float_value()) : "error: " + r.error().message;
  }
  auto r = read_module_ir(c[1].as_string());
  return r.ok() ? "OK" : r.error();
}

TEST(MendedFaults, EachCaseGivesItsOutcome) {
  std::ifstream in(std::string(VELN_TEST_DATA_DIR) + "/support/mended_faults.jsonl");
  std::string line;
  int cases = 0;
  while (std::getline(in, line)) {
    auto c = read_json_value(line);
    ASSERT_TRUE(c.ok()) << line;
    const JsonValue::Array& fields = c->as_array();
    EXPECT_EQ(outcome(fields), fields.back().as_string()) << line;
    ++cases;
  }
  EXPECT_GT(cases, 10);
}

}  // namespace
}  // namespace veln
