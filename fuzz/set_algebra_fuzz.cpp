// Differential target for set building, set algebra, subset tests,
// equality, membership and single edits against the standalone reference
// of tests/cpp/support/set_oracle. Fuzzer-chosen item sequences (often of
// one kind, so the sorted paths run, often long enough for the sorted
// probes) become sets through the set() and frozenset() builtins, and every
// call on them goes through the doors contract code goes through: the
// operators - | & ^, the compare operators and membership, and the set
// methods, add, discard and remove among them, which search by key order
// only where the set's own facts allow it. The algebra helpers, which take
// any item sequences, also run on the raw sequences. Every outcome must be
// the same value (kinds, item order, -0.0 and NaN told apart) or the same
// first error; a disagreement is printed and aborts.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "../tests/cpp/support/hostile_set_items.hpp"
#include "fuzz_input.hpp"
#include "interpreter_support/binary_operators.hpp"
#include "interpreter_support/compare_operators.hpp"
#include "interpreter_support/sets/set_algebra.hpp"
#include "values/vm_datetime.hpp"
#include "values/vm_decimal.hpp"

namespace {

using namespace veln;
namespace oracle = veln::set_oracle;
using set_differential::brief;
using set_differential::shown;

using Input = FuzzInput;
using Items = std::vector<VmValue>;

VmValue scalar(VmKind kind, uint8_t b) {
  switch (kind) {
    case VmKind::None:
      return VmValue::none();
    case VmKind::Bool:
      return VmValue::boolean(b & 1);
    case VmKind::Int:
      if (b >= 240) {
        mpz_class big(static_cast<long>(b) - 248);
        big <<= 64 + (b & 3);
        return VmValue::integer(big);
      }
      return VmValue::integer(static_cast<int64_t>(b % 16) - 8);
    case VmKind::Float: {
      const double pool[] = {0.0, -0.0, 1.0, -1.0, 0.5, 2.0, 10.0, 9.0, 1e16, 1e-5,
                             std::numeric_limits<double>::infinity(), -2.5, 3.0, 8.0, 100.0,
                             std::numeric_limits<double>::quiet_NaN()};
      return VmValue::float64(pool[b % 16]);
    }
    case VmKind::Decimal: {
      const char* pool[] = {"0", "1", "-1", "0.5", "2", "3", "10", "9007199254740993"};
      return VmValue::decimal(*VmDecimal::from_str_literal(pool[b % 8]));
    }
    case VmKind::DateTime:
      return VmValue::datetime(*VmDateTime::from_day_time(b % 3, (b >> 2) % 2, (b >> 3) * 400));
    case VmKind::TimeDelta:
      return VmValue::timedelta_seconds(static_cast<int64_t>(b % 8) - 4);
    case VmKind::String:
      return VmValue::str(std::string(b % 3, static_cast<char>('a' + (b >> 2) % 3)));
    case VmKind::Bytes:
      return *VmValue::make_bytes(std::string(b % 3, static_cast<char>('a' + (b >> 2) % 3)));
    case VmKind::ByteArray:
      return *VmValue::make_bytearray(std::string(b % 2, 'a'));
    default:
      return VmValue::none();
  }
}

constexpr VmKind kScalarKinds[] = {VmKind::None,      VmKind::Bool,   VmKind::Int,   VmKind::Float,
                                   VmKind::Decimal,   VmKind::DateTime, VmKind::TimeDelta, VmKind::String,
                                   VmKind::Bytes,     VmKind::ByteArray};

// A value of `kind`, or for the tuple, frozenset and list markers a short
// container. A frozenset is what frozenset() makes of its items (an empty
// one where they cannot be built into one).
VmValue item(Input& in, uint8_t kind_byte) {
  const uint8_t selector = kind_byte % 13;
  if (selector < 10) return scalar(kScalarKinds[selector], in.byte());
  Items items;
  for (uint8_t k = in.byte() % 3; k > 0; --k) items.push_back(scalar(kScalarKinds[in.byte() % 5], in.byte()));
  if (selector == 10) return *VmValue::make_tuple(std::move(items));
  if (selector == 11) {
    auto canonical = normalize_set_items(std::move(items));
    return *VmValue::make_frozenset(canonical.ok() ? std::move(canonical).value() : Items());
  }
  return *VmValue::make_list(std::move(items));
}

Items sequence(Input& in) {
  const uint8_t header = in.byte();
  const size_t n = header % 40;
  const bool one_kind = header & 0x80;
  const uint8_t kind = in.byte();
  Items out;
  for (size_t i = 0; i < n; ++i) out.push_back(item(in, one_kind ? kind : in.byte()));
  return out;
}

std::string shown(const VmResult<Items>& r) {
  if (!r.ok()) return "error: " + r.error().message;
  std::string text = "[";
  for (const VmValue& v : *r) text += v.diagnostic_text() + ", ";
  return text + "]";
}

// Aborts unless the engine's outcome and the reference's are the same;
// `what` gives the call's text for the report.
template <class What, class Engine, class Oracle>
void agree(const What& what, const Engine& engine, const Oracle& reference) {
  const std::string e = shown(engine), o = shown(reference);
  if (e == o) return;
  std::fprintf(stderr, "%s\n  engine: %s\n  oracle: %s\n", what().c_str(), e.c_str(), o.c_str());
  std::abort();
}

std::string call_text(const VmValue& receiver, std::string_view name, std::span<const VmValue> args) {
  std::string text = brief(receiver) + "." + std::string(name) + "(";
  for (const VmValue& a : args) text += brief(a) + ", ";
  return text + ")";
}

// set(items) or frozenset(items), the items handed over in a list or a
// tuple; the engine's set when both sides built it.
std::optional<VmValue> built(const char* name, const Items& items, bool in_tuple) {
  const VmValue arg = *VmValue::make_sequence(in_tuple ? VmKind::Tuple : VmKind::List, items);
  set_differential::Pool::NoCalls no_calls;
  std::vector<VmValue> args{arg};
  const auto got = call_builtin(name, args, {}, no_calls);
  agree([&] { return std::string(name) + "(" + brief(arg) + ")"; }, got,
        oracle::builtin(name, std::span<const VmValue>(&arg, 1)));
  if (!got.ok()) return std::nullopt;
  return *got;
}

// The algebra helpers on any two item sequences.
void check_algebra(const Items& left, const Items& right) {
  const auto what = [&](const char* op) {
    return [&, op] { return std::string(op) + " of " + shown(VmResult<Items>(left)) + " and " + shown(VmResult<Items>(right)); };
  };
  agree(what("difference"), set_difference_values(left, right), oracle::difference(left, right));
  agree(what("intersection"), set_intersection_values(left, right), oracle::intersection(left, right));
  agree(what("symmetric difference"), set_symmetric_difference_values(left, right),
        oracle::symmetric_difference(left, right));
  agree(what("subset"), set_is_subset(left, right), oracle::is_subset(left, right));
}

// The operators, comparisons and methods of two sets; `other` stands in
// for b where a method takes any iterable (it normalises it first).
void check_two_sets(const VmValue& a, const VmValue& b, const VmValue& other) {
  for (const char* op : {"sub", "bitor", "bitand", "bitxor"}) {
    agree([&] { return brief(a) + " " + op + " " + brief(b); }, apply_binary_operator(op, a, b), oracle::binary(op, a, b));
    agree([&] { return brief(b) + " " + op + " " + brief(a); }, apply_binary_operator(op, b, a), oracle::binary(op, b, a));
  }
  for (const char* op : {"eq", "lt", "lt_e", "gt", "gt_e"}) {
    agree([&] { return brief(a) + " " + op + " " + brief(b); }, apply_compare_operator(op, a, b),
          oracle::compare(op, a, b));
  }
  agree([&] { return brief(b) + " eq " + brief(a); }, apply_compare_operator("eq", b, a), oracle::compare("eq", b, a));
  for (const char* name : {"union", "difference", "intersection", "symmetric_difference", "issubset", "issuperset",
                           "isdisjoint"}) {
    const std::span<const VmValue> args(&other, 1);
    agree([&] { return call_text(a, name, args); }, call_native_method(a, name, args, {}),
          oracle::call_method(a, name, args));
  }
}

const char* const kEdits[] = {"add", "discard", "remove"};

// Membership of each needle in set s, and each single edit of s by it.
void check_needles(const VmValue& s, const Items& needles) {
  for (const VmValue& x : needles) {
    agree([&] { return brief(x) + " in " + brief(s); }, apply_compare_operator("in", x, s), oracle::compare("in", x, s));
    const std::span<const VmValue> args(&x, 1);
    for (const char* name : kEdits)
      agree([&] { return call_text(s, name, args); }, call_native_method(s, name, args, {}),
            oracle::call_method(s, name, args));
  }
}

// A run of edits of one set by the needles in turn (the edit read from the
// input), its only holder handing it over as contract code does, so that
// each edit starts from the facts the last one left; membership is asked
// before each edit. A failed edit ends the run, as it ends the contract call.
void check_edit_run(Input& in, VmValue s, const Items& needles) {
  VmValue reference = oracle::set_value(VmKind::Set, Items(s.items().begin(), s.items().end()));
  std::string history = brief(reference);
  for (const VmValue& x : needles) {
    agree([&] { return brief(x) + " in " + history; }, apply_compare_operator("in", x, s),
          oracle::compare("in", x, reference));
    const char* name = kEdits[in.byte() % 3];
    history += std::string(".") + name + "(" + brief(x) + ")";
    const std::span<const VmValue> args(&x, 1);
    auto want = oracle::call_method(reference, name, args);
    auto got = call_native_method(std::move(s), name, args, {});
    agree([&] { return history; }, got, want);
    if (!got.ok()) return;
    s = std::move(got->receiver);
    reference = std::move(want->receiver);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Input in{data, size};
  const Items a = sequence(in);
  const Items b = sequence(in);
  const uint8_t flags = in.byte();
  const std::optional<VmValue> sa = built(flags & 4 ? "frozenset" : "set", a, flags & 8);
  std::optional<VmValue> sb = built("set", b, flags & 16);
  // The helpers on canonical items (as the operators hand them) or on the
  // raw sequences.
  check_algebra(sa && (flags & 1) ? Items(sa->items().begin(), sa->items().end()) : a,
                sb && (flags & 2) ? Items(sb->items().begin(), sb->items().end()) : b);
  if (sa && sb) check_two_sets(*sa, *sb, flags & 32 ? *VmValue::make_list(b) : *sb);
  if (sb) {
    check_needles(*sb, a);
    check_edit_run(in, *std::move(sb), a);
  }
  return 0;
}
