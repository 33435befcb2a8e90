#include "values/vm_execution_error.hpp"

#include <gtest/gtest.h>

namespace veln {
namespace {

VmResult<int> halve(int x) {
  if (x % 2 != 0) return vm_error("odd");
  return x / 2;
}

VmResult<int> quarter(int x) {
  VELN_TRY(int h, halve(x));
  VELN_TRY(int q, halve(h));
  return q;
}

TEST(VmExecutionError, DisplaysExactlyItsMessage) {
  EXPECT_EQ(VmExecutionError::make("division by zero").display(), "division by zero");
}

TEST(VmResult, PropagatesTheFirstError) {
  EXPECT_EQ(*quarter(8), 2);
  auto r = quarter(6);
  ASSERT_FALSE(r.ok());
  EXPECT_EQ(r.error().message, "odd");
}

}  // namespace
}  // namespace veln
