// Runs every module IR fixture under tests/data/module_ir through
// parse_module_ir: documents under valid/ must pass, each document under
// invalid/ must fail with exactly the message in its .expected file. The
// fixtures are written by tests/gen/gen_module_ir_fixtures.py.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "lib/module_validation.hpp"
#include "lib/parse_module_ir.hpp"

namespace veln {
namespace {

namespace fs = std::filesystem;

struct Fixture {
  std::string name;
  fs::path document;
  bool valid = true;
  std::string expected;  // the failure message of an invalid fixture
};

void PrintTo(const Fixture& fixture, std::ostream* out) { *out << fixture.document.string(); }

std::string read_file(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

std::vector<Fixture> load_fixtures() {
  const fs::path root = fs::path(VELN_TEST_DATA_DIR) / "module_ir";
  std::vector<Fixture> fixtures;
  for (const bool valid : {true, false}) {
    const fs::path dir = root / (valid ? "valid" : "invalid");
    if (!fs::is_directory(dir)) continue;
    for (const auto& entry : fs::directory_iterator(dir)) {
      if (entry.path().extension() != ".json") continue;
      Fixture fixture;
      fixture.name = (valid ? "valid_" : "invalid_") + entry.path().stem().string();
      fixture.document = entry.path();
      fixture.valid = valid;
      if (!valid) {
        fs::path expected = entry.path();
        expected.replace_extension(".expected");
        fixture.expected = read_file(expected);
      }
      fixtures.push_back(std::move(fixture));
    }
  }
  std::sort(fixtures.begin(), fixtures.end(), [](const Fixture& a, const Fixture& b) { return a.name < b.name; });
  return fixtures;
}

const std::vector<Fixture>& fixtures() {
  static const std::vector<Fixture> loaded = load_fixtures();
  return loaded;
}

class ModuleIrFixture : public ::testing::TestWithParam<Fixture> {};

TEST_P(ModuleIrFixture, ParsesWithExpectedOutcome) {
  const Fixture& fixture = GetParam();
  const std::string text = read_file(fixture.document);
  const auto parsed = parse_module_ir(text);
  if (fixture.valid) {
    ASSERT_TRUE(parsed.ok()) << parsed.error();
    // A module that passed once passes again: the interpreter revalidates.
    EXPECT_TRUE(validate_module_ir(parsed.value()).ok());
  } else {
    ASSERT_FALSE(parsed.ok()) << "expected: " << fixture.expected;
    EXPECT_EQ(parsed.error(), fixture.expected);
  }
}

INSTANTIATE_TEST_SUITE_P(Fixtures, ModuleIrFixture, ::testing::ValuesIn(fixtures()),
                         [](const ::testing::TestParamInfo<Fixture>& info) { return info.param.name; });

TEST(ModuleIrFixtures, DirectoryIsPopulated) {
  std::size_t valid = 0;
  for (const Fixture& fixture : fixtures()) valid += fixture.valid ? 1 : 0;
  EXPECT_GE(valid, 30u);
  EXPECT_GE(fixtures().size() - valid, 250u);
}

}  // namespace
}  // namespace veln
