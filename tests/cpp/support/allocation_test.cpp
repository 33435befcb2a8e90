// What allocates nothing among the operators: small ints through every
// operator and index, comparisons of big integers; and concatenation onto an
// unshared left operand grows its buffer instead of copying it. Counts
// operator new and GMP's allocations (allocation_counter.hpp, which only this
// file of the suite includes).
#include <gtest/gtest.h>

#include "allocation_counter.hpp"
#include "case_file.hpp"
#include "interpreter_support/binary_operators.hpp"
#include "interpreter_support/compare_operators.hpp"
#include "interpreter_support/subscripts.hpp"
#include "interpreter_support/unary_operators.hpp"

namespace veln {
namespace {

using allocation_counter::allocations_during;

TEST(OperatorAllocations, SmallIntOperatorsAllocateNothing) {
  EXPECT_EQ(allocations_during([] {
              for (size_t op = 0; op < kBinaryOperatorCount; ++op) {
                for (int64_t a : {-7, 0, 5, 100}) {
                  for (int64_t b : {1, 2, 3, 7}) {
                    const auto r = apply_binary_operator(static_cast<BinaryOperator>(op), VmValue::integer(a),
                                                         VmValue::integer(b));
                    // Division gives a float, inline too.
                    if (r.ok() && r->is(VmKind::Int)) {
                      EXPECT_TRUE(r->int_is_small());
                    }
                  }
                }
              }
              for (size_t op = 0; op < kCompareOperatorCount; ++op) {
                const auto c = static_cast<CompareOperator>(op);
                if (c == CompareOperator::In || c == CompareOperator::NotIn) continue;
                EXPECT_TRUE(apply_compare_operator(c, VmValue::integer(3), VmValue::integer(-4)).ok());
              }
              for (size_t op = 0; op < kUnaryOperatorCount; ++op) {
                EXPECT_TRUE(apply_unary_operator(static_cast<UnaryOperator>(op), VmValue::integer(-9)).ok());
              }
            }),
            0u);
}

TEST(OperatorAllocations, BigIntegerComparisonsAllocateNothing) {
  const VmValue big = cases::V("2**100 + 3"), other = cases::V("-(2**90)"), small = VmValue::integer(5);
  EXPECT_EQ(allocations_during([&] {
              for (const CompareOperator op : {CompareOperator::Eq, CompareOperator::Lt, CompareOperator::GtE}) {
                EXPECT_TRUE(apply_compare_operator(op, big, other).ok());
                EXPECT_TRUE(apply_compare_operator(op, big, small).ok());
                EXPECT_TRUE(apply_compare_operator(op, small, big).ok());
              }
            }),
            0u);
}

TEST(OperatorAllocations, IndexingWithSmallIntsAllocatesNothing) {
  std::vector<VmValue> items;
  for (int i = 0; i < 100; ++i) items.push_back(VmValue::integer(i));
  const VmValue list = *VmValue::make_list(std::move(items));
  EXPECT_EQ(allocations_during([&] {
              for (int64_t i = -100; i < 100; ++i) EXPECT_TRUE(subscript_value(list, VmValue::integer(i)).ok());
            }),
            0u);
}

TEST(OperatorAllocations, UnsharedAccumulatorGrowsInPlace) {
  // s = s + "x" a thousand times: amortised growth of one buffer, not a
  // copy per step.
  VmValue s = VmValue::str("start");
  const VmValue piece = VmValue::str("x");
  EXPECT_LT(allocations_during([&] {
              for (int i = 0; i < 1000; ++i) s = *apply_binary_operator(BinaryOperator::Add, std::move(s), piece);
            }),
            40u);
  EXPECT_EQ(s.text_size(), 1005u);
  VmValue list = cases::V("[0]");
  const VmValue tail = cases::V("[1]");
  // At most the extend's own scratch copy per step plus growth.
  EXPECT_LT(allocations_during([&] {
              for (int i = 0; i < 1000; ++i) list = *apply_binary_operator(BinaryOperator::Add, std::move(list), tail);
            }),
            1100u);
  EXPECT_EQ(list.item_count(), 1001u);
}

}  // namespace
}  // namespace veln
