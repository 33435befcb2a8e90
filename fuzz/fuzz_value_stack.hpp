// The value stack shared by the fuzz targets that drive operations with
// input bytes: a byte reader, constants of every operand kind with their
// edges (huge integers, NaN, decimals at the range, non-ASCII text, dates),
// a bounded stack and containers built from its top values.
#pragma once

#include <gmpxx.h>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <vector>

#include "interpreter_support/sets/set_algebra.hpp"
#include "values/vm_datetime.hpp"
#include "values/vm_decimal.hpp"
#include "values/vm_value.hpp"

namespace veln::fuzz_values {

inline constexpr size_t kMaxStack = 12;

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

inline VmValue constant(Reader& in) {
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

inline VmValue pop(std::vector<VmValue>& stack) {
  if (stack.empty()) return VmValue::integer(int64_t{1});
  VmValue v = std::move(stack.back());
  stack.pop_back();
  return v;
}

inline void push(std::vector<VmValue>& stack, VmValue v) {
  if (stack.size() >= kMaxStack) stack.erase(stack.begin());
  stack.push_back(std::move(v));
}

inline void check(bool invariant) {
  if (!invariant) std::abort();
}

// A list, tuple, set or frozenset of the top n values (n from the input).
inline void push_container(Reader& in, std::vector<VmValue>& stack) {
  const size_t n = in.byte() % 5;
  std::vector<VmValue> items;
  for (size_t i = 0; i < n; ++i) items.push_back(pop(stack));
  const VmKind kinds[] = {VmKind::List, VmKind::Tuple, VmKind::Set, VmKind::FrozenSet};
  const VmKind kind = kinds[in.byte() % 4];
  if (kind == VmKind::Set || kind == VmKind::FrozenSet) {
    auto canonical = normalize_set_items(std::move(items));
    if (!canonical.ok()) return;
    items = std::move(*canonical);
  }
  auto made = VmValue::make_sequence(kind, std::move(items));
  if (made.ok()) push(stack, std::move(*made));
}

// Up to 64 steps, each reading its operation from the input.
template <class Step>
void run_steps(const uint8_t* data, size_t size, Step step) {
  Reader in(data, size);
  std::vector<VmValue> stack;
  for (int steps = 0; steps < 64 && !in.done(); ++steps) step(in, stack);
}

}  // namespace veln::fuzz_values
