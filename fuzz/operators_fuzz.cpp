// libFuzzer target: a small stack machine driven by the input bytes pushes
// values of every operand kind, builds containers from them and applies the
// binary, compare and unary operators, subscripts, slices and item
// assignment. Refusals are fine; a crash, leak, sanitizer report or broken
// invariant is not. Invariants checked: "not_eq" is the negation of "eq",
// "not_in" of "in", and a value slice with no bounds equals the value.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <vector>

#include "fuzz_value_stack.hpp"
#include "interpreter_support/binary_operators.hpp"
#include "interpreter_support/compare_operators.hpp"
#include "interpreter_support/subscripts.hpp"
#include "interpreter_support/unary_operators.hpp"

namespace {

using namespace veln::fuzz_values;
using veln::VmKind;
using veln::VmValue;

void step(Reader& in, std::vector<VmValue>& stack) {
  const uint8_t op = in.byte();
  switch (op % 9) {
    case 0:
    case 1:
      push(stack, constant(in));
      return;
    case 2:
      push_container(in, stack);
      return;
    case 3: {
      VmValue right = pop(stack);
      VmValue left = pop(stack);
      const auto bop = static_cast<veln::BinaryOperator>(in.byte() % veln::kBinaryOperatorCount);
      auto r = veln::apply_binary_operator(bop, std::move(left), std::move(right));
      if (r.ok()) push(stack, std::move(*r));
      return;
    }
    case 4: {
      const VmValue right = pop(stack);
      const VmValue left = pop(stack);
      const auto cop = static_cast<veln::CompareOperator>(in.byte() % veln::kCompareOperatorCount);
      auto r = veln::apply_compare_operator(cop, left, right);
      auto eq = veln::apply_compare_operator(veln::CompareOperator::Eq, left, right);
      auto ne = veln::apply_compare_operator(veln::CompareOperator::NotEq, left, right);
      check(eq.ok() == ne.ok() && (!eq.ok() || *eq != *ne));
      auto in_r = veln::apply_compare_operator(veln::CompareOperator::In, left, right);
      auto not_in = veln::apply_compare_operator(veln::CompareOperator::NotIn, left, right);
      check(in_r.ok() == not_in.ok() && (!in_r.ok() || *in_r != *not_in));
      if (r.ok()) push(stack, VmValue::boolean(*r));
      push(stack, left);
      return;
    }
    case 5: {
      const auto uop = static_cast<veln::UnaryOperator>(in.byte() % veln::kUnaryOperatorCount);
      auto r = veln::apply_unary_operator(uop, pop(stack));
      if (r.ok()) push(stack, std::move(*r));
      return;
    }
    case 6: {
      const VmValue index = pop(stack);
      VmValue container = pop(stack);
      auto r = veln::subscript_value(container, index);
      push(stack, std::move(container));
      if (r.ok()) push(stack, std::move(*r));
      return;
    }
    case 7: {
      VmValue value = pop(stack);
      const VmValue index = pop(stack);
      auto r = veln::assign_subscript(pop(stack), index, std::move(value));
      if (r.ok()) push(stack, std::move(*r));
      return;
    }
    default: {
      VmValue container = pop(stack);
      const uint8_t mask = in.byte();
      veln::VmSliceArgs args;
      if (mask & 1) args.lower = VmValue::integer(in.small());
      if (mask & 2) args.upper = VmValue::integer(in.small());
      if (mask & 4) args.step = VmValue::integer(mask & 8 ? in.small() : INT64_MIN + in.byte());
      auto r = veln::subscript_slice_value(container, args);
      auto whole = veln::subscript_slice_value(container, veln::VmSliceArgs{});
      if (whole.ok()) check(whole->eq(container) || !container.eq(container));
      if (r.ok()) push(stack, std::move(*r));
      return;
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  run_steps(data, size, step);
  return 0;
}
