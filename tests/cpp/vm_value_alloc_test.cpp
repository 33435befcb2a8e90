// Allocation behaviour of VmValue: copies share buffers and small-integer
// arithmetic stays inline. Counts allocations through a replaced global
// operator new, which is why these tests live in their own executable.
#include <gtest/gtest.h>

#include "allocation_counter.hpp"
#include "values/vm_value.hpp"


namespace veln {
namespace {

using allocation_counter::allocations_during;

VmValue thousand_item_list() {
  std::vector<VmValue> items;
  for (int i = 0; i < 1000; ++i) {
    std::vector<VmValue> pair = {VmValue::integer(i), VmValue::str("item")};
    items.push_back(*VmValue::make_tuple(std::move(pair)));
  }
  return *VmValue::make_list(std::move(items));
}

TEST(VmValueAllocations, CopyingAThousandItemListAllocatesNothing) {
  VmValue list = thousand_item_list();
  size_t n = allocations_during([&] {
    VmValue copy = list;
    VmValue clone = list.clone();
    EXPECT_EQ(copy.item_count(), 1000u);
    EXPECT_TRUE(clone.eq(list));
  });
  EXPECT_EQ(n, 0u);
}

TEST(VmValueAllocations, SmallIntArithmeticAllocatesNothing) {
  size_t n = allocations_during([] {
    VmValue acc = VmValue::integer(1);
    for (int i = 0; i < 1000; ++i) {
      acc = vm_int_add(acc, VmValue::integer(i));
      acc = vm_int_mul(acc, VmValue::integer(1));
      acc = vm_int_sub(acc, VmValue::integer(3));
      acc = *vm_int_floor_div(acc, VmValue::integer(1));
      acc = *vm_int_modulo(acc, VmValue::integer(1000003));
    }
    EXPECT_TRUE(acc.int_is_small());
  });
  EXPECT_EQ(n, 0u);
}

TEST(VmValueAllocations, MutatingAnUnsharedListDoesNotCopyIt) {
  VmValue list = thousand_item_list();
  // A shared buffer is copied once; afterwards the value owns its buffer.
  VmValue copy = list;
  ASSERT_TRUE(copy.seq_set(0, VmValue::integer(1)).ok());
  size_t n = allocations_during([&] {
    for (int i = 0; i < 100; ++i) ASSERT_TRUE(copy.seq_set(static_cast<size_t>(i), VmValue::integer(i)).ok());
  });
  EXPECT_EQ(n, 0u);
  EXPECT_EQ(list.item(0).python_repr(), "(0, item)");
}

}  // namespace
}  // namespace veln
