// Canonical-set builders, result texts and data-file reading shared by the
// operator, comparison and subscript tests. A result is shown as "kind:python
// text" or "error: message" so expectations read like the behaviour they pin
// down.
#pragma once

#include <gmpxx.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "interpreter_support/sets/set_algebra.hpp"
#include "value_builders.hpp"
#include "values/vm_value.hpp"

namespace veln::test_values {

using namespace value_builders;

inline VmValue None() { return VmValue::none(); }
inline VmValue Pow2(unsigned long n) {
  mpz_class r;
  mpz_ui_pow_ui(r.get_mpz_t(), 2, n);
  return VmValue::integer(r);
}
// Sets in the canonical form the engine stores them in.
inline VmValue SetOf(std::vector<VmValue> items) { return Set(*normalize_set_items(std::move(items))); }
inline VmValue FrozenSetOf(std::vector<VmValue> items) {
  return FrozenSet(*normalize_set_items(std::move(items)));
}

inline std::string show(const VmValue& v) { return std::string(v.type_name()) + ":" + v.python_repr(); }
inline std::string show(const VmResult<VmValue>& r) {
  return r.ok() ? show(*r) : "error: " + r.error().message;
}
inline std::string show(const VmResult<bool>& r) {
  return r.ok() ? (*r ? "true" : "false") : "error: " + r.error().message;
}

// One application of an operator named as in the module IR.
struct OperatorCase {
  const char* op;
  VmValue left;
  VmValue right;
  std::string expected;
};

// Checks each case's shown result of apply(op, left, right).
template <class Apply>
void expect_operator_cases(const std::vector<OperatorCase>& cases, Apply apply) {
  for (const OperatorCase& c : cases) {
    EXPECT_EQ(show(apply(std::string_view(c.op), c.left, c.right)), c.expected)
        << show(c.left) << " " << c.op << " " << show(c.right);
  }
}

// The lines of a generated data file that start with `tag` and a space.
inline std::vector<std::string> data_lines(const std::string& file, std::string_view tag) {
  std::ifstream in(std::string(VELN_TEST_DATA_DIR) + "/" + file);
  std::vector<std::string> out;
  std::string line;
  while (std::getline(in, line)) {
    if (line.size() > tag.size() && line.compare(0, tag.size(), tag) == 0 && line[tag.size()] == ' ') {
      out.push_back(line);
    }
  }
  return out;
}

}  // namespace veln::test_values
