// ScanBudget: both limits admit exactly 131072 and refuse the next unit.
#include "python_bindings/storage_scan/scan_budget.hpp"

#include <gtest/gtest.h>

#include <cmath>

namespace veln {
namespace {

std::string show(const VmStatus& s) { return s.ok() ? "ok" : "error: " + s.error().message; }

TEST(ScanBudget, EntryLimit) {
  ScanBudget budget;
  const VmValue five = VmValue::integer(5);  // encodes in one byte
  for (uint64_t i = 0; i < kMaxScanEntries; ++i) ASSERT_TRUE(budget.observe("", five).ok()) << i;
  EXPECT_EQ(budget.bytes, 131072u);
  EXPECT_EQ(show(budget.observe("", five)), "error: hash scan result exceeds allocation limit");
  EXPECT_EQ(budget.entries, 131073u);
}

TEST(ScanBudget, ByteLimit) {
  ScanBudget budget;
  // key 1 byte + 131069 characters between quotes = 131072 bytes.
  EXPECT_EQ(show(budget.observe("k", VmValue::str(std::string(131069, 'x')))), "ok");
  EXPECT_EQ(show(budget.observe("", VmValue::str(""))), "error: hash scan result exceeds allocation limit");
  EXPECT_EQ(budget.bytes, 131074u);
}

TEST(ScanBudget, EncodingErrorCountsNothing) {
  ScanBudget budget;
  EXPECT_EQ(show(budget.observe("k", VmValue::float64(NAN))), "error: cannot encode non-finite float");
  EXPECT_EQ(budget.bytes, 0u);
  EXPECT_EQ(budget.entries, 0u);
}

}  // namespace
}  // namespace veln
