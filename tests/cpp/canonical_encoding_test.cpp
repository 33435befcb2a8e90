// The canonical encoding against tests/data/canonical_encoding.txt: the text
// of every case, and the counted length against the text's byte length.
#include "interpreter_support/canonical_encoding.hpp"

#include <gtest/gtest.h>

#include "operator_test_values.hpp"
#include "value_literal.hpp"

namespace veln {
namespace {

std::string show(const VmResult<std::string>& r) { return r.ok() ? *r : "error: " + r.error().message; }
std::string show(const VmResult<uint64_t>& r) {
  return r.ok() ? std::to_string(*r) : "error: " + r.error().message;
}

TEST(CanonicalEncoding, DataCases) {
  const auto lines = test_values::data_lines("canonical_encoding.txt", "encode");
  ASSERT_GT(lines.size(), 50u);
  for (const std::string& line : lines) {
    const size_t arrow = line.find(" => ");
    ASSERT_NE(arrow, std::string::npos) << line;
    const VmValue value = value_literal::parse(std::string_view(line).substr(7, arrow - 7));
    const std::string expected = line.substr(arrow + 4);
    EXPECT_EQ(show(encode_vm_value(value)), expected) << line;
    const bool is_error = expected.rfind("error: ", 0) == 0;
    EXPECT_EQ(show(encoded_vm_value_length(value)), is_error ? expected : std::to_string(expected.size())) << line;
  }
}

// The JSON library's nesting limit does not apply: values nest to their own
// limit and encode at every depth.
TEST(CanonicalEncoding, DeepestValue) {
  VmValue v = VmValue::integer(1);
  for (uint32_t d = 0; d < kVmMaxDepth; ++d) v = *VmValue::make_list({v});
  const std::string text = *encode_vm_value(v);
  EXPECT_EQ(text.size(), 2 * kVmMaxDepth + 1);
  EXPECT_EQ(*encoded_vm_value_length(v), text.size());
}

}  // namespace
}  // namespace veln
