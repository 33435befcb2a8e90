// Allocation behaviour of the operators: small ints never allocate through
// any operator, and concatenation onto an unshared left operand grows its
// buffer instead of copying it. Counts allocations through a replaced global
// operator new, which is why these tests live in their own executable.
#include <gtest/gtest.h>

#include "allocation_counter.hpp"
#include "interpreter_support/binary_operators.hpp"
#include "interpreter_support/compare_operators.hpp"
#include "interpreter_support/subscripts.hpp"
#include "interpreter_support/unary_operators.hpp"

namespace veln {
namespace {

using allocation_counter::allocations_during;

TEST(OperatorAllocations, SmallIntOperatorsAllocateNothing) {
  const size_t n = allocations_during([] {
    for (size_t op = 0; op < kBinaryOperatorCount; ++op) {
      if (static_cast<BinaryOperator>(op) == BinaryOperator::Div) continue;  // gives a float, still inline
      for (int64_t a : {-7, 0, 5, 100}) {
        for (int64_t b : {1, 2, 3, 7}) {
          auto r = apply_binary_operator(static_cast<BinaryOperator>(op), VmValue::integer(a), VmValue::integer(b));
          if (r.ok()) {
            EXPECT_TRUE(r->is(VmKind::Int));
            EXPECT_TRUE(r->int_is_small());
          }
        }
      }
    }
    auto q = apply_binary_operator(BinaryOperator::Div, VmValue::integer(int64_t{7}), VmValue::integer(int64_t{2}));
    EXPECT_TRUE(q.ok());
    for (size_t op = 0; op < kCompareOperatorCount; ++op) {
      if (static_cast<CompareOperator>(op) == CompareOperator::In ||
          static_cast<CompareOperator>(op) == CompareOperator::NotIn)
        continue;
      auto r = apply_compare_operator(static_cast<CompareOperator>(op), VmValue::integer(int64_t{3}),
                                      VmValue::integer(int64_t{-4}));
      EXPECT_TRUE(r.ok());
    }
    for (size_t op = 0; op < kUnaryOperatorCount; ++op) {
      auto r = apply_unary_operator(static_cast<UnaryOperator>(op), VmValue::integer(int64_t{-9}));
      EXPECT_TRUE(r.ok());
    }
  });
  EXPECT_EQ(n, 0u);
}

TEST(OperatorAllocations, IndexingWithSmallIntsAllocatesNothing) {
  std::vector<VmValue> items;
  for (int i = 0; i < 100; ++i) items.push_back(VmValue::integer(int64_t{i}));
  const VmValue list = *VmValue::make_list(std::move(items));
  const size_t n = allocations_during([&] {
    for (int64_t i = -100; i < 100; ++i) {
      auto r = subscript_value(list, VmValue::integer(i));
      EXPECT_TRUE(r.ok());
    }
  });
  EXPECT_EQ(n, 0u);
}

TEST(OperatorAllocations, UnsharedAccumulatorGrowsInPlace) {
  // s = s + "x" a thousand times: amortised growth of one buffer, not a
  // copy per step.
  VmValue s = VmValue::str("start");
  const VmValue piece = VmValue::str("x");
  const size_t n = allocations_during([&] {
    for (int i = 0; i < 1000; ++i) s = *apply_binary_operator(BinaryOperator::Add, std::move(s), piece);
  });
  EXPECT_EQ(s.text_size(), 1005u);
  EXPECT_LT(n, 40u);

  std::vector<VmValue> seed;
  seed.push_back(VmValue::integer(int64_t{0}));
  VmValue list = *VmValue::make_list(std::move(seed));
  std::vector<VmValue> one;
  one.push_back(VmValue::integer(int64_t{1}));
  const VmValue tail = *VmValue::make_list(std::move(one));
  const size_t m = allocations_during([&] {
    for (int i = 0; i < 1000; ++i) list = *apply_binary_operator(BinaryOperator::Add, std::move(list), tail);
  });
  EXPECT_EQ(list.item_count(), 1001u);
  EXPECT_LT(m, 1100u);  // at most the extend's own scratch copy per step plus growth
}

}  // namespace
}  // namespace veln
