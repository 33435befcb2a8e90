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

#include <gmpxx.h>

#include "interpreter_support/binary_operators.hpp"
#include "interpreter_support/compare_operators.hpp"
#include "interpreter_support/set_algebra.hpp"
#include "interpreter_support/subscripts.hpp"
#include "interpreter_support/unary_operators.hpp"
#include "values/vm_datetime.hpp"
#include "values/vm_decimal.hpp"

namespace {

using veln::VmKind;
using veln::VmValue;

constexpr size_t kMaxStack = 12;

class Reader {
 public:
  Reader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  bool done() const { return pos_ >= size_; }
  uint8_t byte() { return pos_ < size_ ? data_[pos_++] : 0; }
  int64_t small() { return static_cast<int8_t>(byte()); }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
};

VmValue constant(Reader& in) {
  switch (in.byte() % 16) {
    case 0:
      return VmValue::none();
    case 1:
      return VmValue::boolean(in.byte() & 1);
    case 2:
      return VmValue::integer(in.small());
    case 3: {
      const int64_t edges[] = {INT64_MIN, INT64_MAX, INT64_MIN + 1, 1LL << 62, -(1LL << 53) - 1, 255, 256};
      return VmValue::integer(edges[in.byte() % 7]);
    }
    case 4: {
      mpz_class big = 1;
      big <<= (in.byte() % 4 == 0) ? 1048575 : in.byte() * 8;
      if (in.byte() & 1) big = -big;
      big += static_cast<long>(in.small());
      return VmValue::integer(big);
    }
    case 5: {
      const double f[] = {0.0, -0.0, 1.5, -2.0, std::numeric_limits<double>::quiet_NaN(),
                          std::numeric_limits<double>::infinity(), 1e300, 9007199254740992.0};
      return VmValue::float64(f[in.byte() % 8]);
    }
    case 6: {
      const char* d[] = {"0", "1", "-2.5", "0.5", "1E+60", "0.000000000000000000000000000001", "-7", "3"};
      return VmValue::decimal(*veln::VmDecimal::from_str_literal(d[in.byte() % 8]));
    }
    case 7: {
      const char* s[] = {"", "a", "abc", "1.5", "h\xC3\xA9llo", "\xF0\x9D\x84\x9E", "nan", "k"};
      return VmValue::str(s[in.byte() % 8]);
    }
    case 8:
      return *VmValue::make_bytes(std::string(in.byte() % 5, static_cast<char>(in.byte())));
    case 9:
      return *VmValue::make_bytearray(std::string(in.byte() % 5, static_cast<char>(in.byte())));
    case 10:
      return VmValue::datetime(*veln::VmDateTime::make(2024, 1 + in.byte() % 12, 1, in.byte() % 24, 0, 59,
                                                        in.byte() * 3917u));
    case 11:
      return VmValue::timedelta_seconds(in.byte() & 1 ? in.small() * 86399 : INT64_MAX - in.byte());
    case 12:
      return VmValue::integer(int64_t{in.byte()} * 65536);
    default:
      return VmValue::integer(in.small() % 4);
  }
}

VmValue pop(std::vector<VmValue>& stack) {
  if (stack.empty()) return VmValue::integer(int64_t{1});
  VmValue v = std::move(stack.back());
  stack.pop_back();
  return v;
}

void push(std::vector<VmValue>& stack, VmValue v) {
  if (stack.size() >= kMaxStack) stack.erase(stack.begin());
  stack.push_back(std::move(v));
}

void check(bool invariant) {
  if (!invariant) std::abort();
}

void step(Reader& in, std::vector<VmValue>& stack) {
  const uint8_t op = in.byte();
  switch (op % 9) {
    case 0:
    case 1:
      push(stack, constant(in));
      return;
    case 2: {  // container of the top n values
      const size_t n = in.byte() % 5;
      std::vector<VmValue> items;
      for (size_t i = 0; i < n; ++i) items.push_back(pop(stack));
      const VmKind kinds[] = {VmKind::List, VmKind::Tuple, VmKind::Set, VmKind::FrozenSet};
      const VmKind kind = kinds[in.byte() % 4];
      if (kind == VmKind::Set || kind == VmKind::FrozenSet) {
        auto canonical = veln::normalize_set_items(std::move(items));
        if (!canonical.ok()) return;
        items = std::move(*canonical);
      }
      auto made = VmValue::make_sequence(kind, std::move(items));
      if (made.ok()) push(stack, std::move(*made));
      return;
    }
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
  Reader in(data, size);
  std::vector<VmValue> stack;
  for (int steps = 0; steps < 64 && !in.done(); ++steps) step(in, stack);
  return 0;
}
