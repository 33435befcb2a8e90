// What allocates nothing in the value model: copies share buffers, small-int
// arithmetic stays inline, and comparing or copying big integers needs no
// temporaries. Counts operator new and GMP's allocations (allocation_counter.hpp,
// which only this file of the suite includes).
#include <gtest/gtest.h>

#include "allocation_counter.hpp"
#include "case_file.hpp"
#include "values/vm_value.hpp"

namespace veln {
namespace {

using allocation_counter::allocations_during;

VmValue thousand_item_list() {
  std::vector<VmValue> items;
  for (int i = 0; i < 1000; ++i) items.push_back(*VmValue::make_tuple({VmValue::integer(i), VmValue::str("item")}));
  return *VmValue::make_list(std::move(items));
}

TEST(ValueAllocations, CopyingAThousandItemListAllocatesNothing) {
  const VmValue list = thousand_item_list();
  EXPECT_EQ(allocations_during([&] {
              const VmValue copy = list;
              const VmValue clone = list.clone();
              EXPECT_EQ(copy.item_count(), 1000u);
              EXPECT_TRUE(clone.eq(list));
            }),
            0u);
}

TEST(ValueAllocations, SmallIntArithmeticAllocatesNothing) {
  EXPECT_EQ(allocations_during([] {
              VmValue acc = VmValue::integer(1);
              for (int i = 0; i < 1000; ++i) {
                acc = vm_int_add(acc, VmValue::integer(i));
                acc = vm_int_mul(acc, VmValue::integer(1));
                acc = vm_int_sub(acc, VmValue::integer(3));
                acc = *vm_int_floor_div(acc, VmValue::integer(1));
                acc = *vm_int_modulo(acc, VmValue::integer(1000003));
              }
              EXPECT_TRUE(acc.int_is_small());
            }),
            0u);
}

TEST(ValueAllocations, BigIntegersCompareAndCopyWithoutTemporaries) {
  const VmValue a = cases::V("2**200 + 1"), b = cases::V("2**200 + 2");
  EXPECT_EQ(allocations_during([&] {
              const VmValue copy = a;
              EXPECT_TRUE(copy.eq(a));
              EXPECT_FALSE(a.eq(b));
              EXPECT_EQ(a.int_sign(), 1);
              EXPECT_NE(vm_structural_hash(a, 1), vm_structural_hash(b, 1));
            }),
            0u);
  // The counter sees GMP: a product of two big integers allocates its limbs.
  EXPECT_GT(allocations_during([&] { EXPECT_FALSE(vm_int_mul(a, b).int_is_small()); }), 0u);
}

TEST(ValueAllocations, MutatingAnUnsharedListDoesNotCopyIt) {
  const VmValue list = thousand_item_list();
  // A shared buffer is copied once; afterwards the value owns its buffer.
  VmValue copy = list;
  ASSERT_TRUE(copy.seq_set(0, VmValue::integer(1)).ok());
  EXPECT_EQ(allocations_during([&] {
              for (int i = 0; i < 100; ++i) ASSERT_TRUE(copy.seq_set(static_cast<size_t>(i), VmValue::integer(i)).ok());
            }),
            0u);
  EXPECT_EQ(list.item(0).python_repr(), "(0, item)");
}

}  // namespace
}  // namespace veln
