// Differential target for set normalisation and set algebra: fuzzer-chosen
// item sequences (often of one kind, so the sorted paths run, often long
// enough for the sorted probes) must give exactly the results and errors of
// the defining scans, and membership in the canonical result must agree with
// a scan.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <string>
#include <vector>

#include "../tests/cpp/support/set_scan_reference.hpp"
#include "interpreter_support/sets/set_algebra.hpp"
#include "interpreter_support/sets/set_edits.hpp"
#include "fuzz_input.hpp"
#include "values/vm_datetime.hpp"
#include "values/vm_decimal.hpp"

namespace {

using namespace veln;
using namespace veln::set_scan_reference;

using Input = FuzzInput;

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

// A value of `kind`, or for the tuple and list markers a short container.
VmValue item(Input& in, uint8_t kind_byte) {
  const uint8_t selector = kind_byte % 13;
  if (selector < 10) return scalar(kScalarKinds[selector], in.byte());
  std::vector<VmValue> items;
  for (uint8_t k = in.byte() % 3; k > 0; --k) items.push_back(scalar(kScalarKinds[in.byte() % 5], in.byte()));
  if (selector == 10) return *VmValue::make_tuple(std::move(items));
  if (selector == 11) {
    auto canonical = reference_normalize(std::move(items));
    return *VmValue::make_frozenset(canonical.ok() ? std::move(canonical).value() : std::vector<VmValue>());
  }
  return *VmValue::make_list(std::move(items));
}

std::vector<VmValue> sequence(Input& in) {
  const uint8_t header = in.byte();
  const size_t n = header % 40;
  const bool one_kind = header & 0x80;
  const uint8_t kind = in.byte();
  std::vector<VmValue> out;
  for (size_t i = 0; i < n; ++i) out.push_back(item(in, one_kind ? kind : in.byte()));
  return out;
}

// Identity of results at any depth: the field-by-field form tells -0.0
// from 0.0 and shows NaN as itself (structural equality would not).
bool same(const VmValue& a, const VmValue& b) { return a.diagnostic_text() == b.diagnostic_text(); }

void check(const VmResult<std::vector<VmValue>>& got, const VmResult<std::vector<VmValue>>& want) {
  if (got.ok() != want.ok()) std::abort();
  if (!got.ok()) {
    if (got.error().message != want.error().message) std::abort();
    return;
  }
  if (got->size() != want->size()) std::abort();
  for (size_t i = 0; i < got->size(); ++i)
    if (!same((*got)[i], (*want)[i])) std::abort();
}

void check(const VmResult<bool>& got, const VmResult<bool>& want) {
  if (got.ok() != want.ok()) std::abort();
  if (!got.ok() ? got.error().message != want.error().message : *got != *want) std::abort();
}

// add: the items normalised again with x; discard: the difference with [x].
void check_add_and_discard(const std::vector<VmValue>& items, const VmValue& x) {
  if (auto at = set_insertion(items, x)) {
    std::vector<VmValue> grown = items;
    grown.push_back(x);
    VmResult<std::vector<VmValue>> got = at->ok() ? VmResult<std::vector<VmValue>>(items) : at->error();
    if (at->ok() && (*at)->kind == SetInsertion::Kind::Replace) got->erase(got->begin() + static_cast<std::ptrdiff_t>((*at)->from));
    if (at->ok() && (*at)->kind != SetInsertion::Kind::Present) got->insert(got->begin() + static_cast<std::ptrdiff_t>((*at)->to), x);
    check(got, reference_normalize(std::move(grown)));
  }
  if (auto at = set_removal_position(items, x)) {
    std::vector<VmValue> rest = items;
    if (*at) rest.erase(rest.begin() + static_cast<std::ptrdiff_t>(**at));
    check(VmResult<std::vector<VmValue>>(std::move(rest)), reference_difference(items, std::span<const VmValue>(&x, 1)));
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Input in{data, size};
  const std::vector<VmValue> a = sequence(in);
  const std::vector<VmValue> b = sequence(in);
  const auto normalized_a = normalize_set_items(a);
  check(normalized_a, reference_normalize(a));
  const auto normalized_b = normalize_set_items(b);
  check(normalized_b, reference_normalize(b));
  // The algebra on canonical operands (as the operators use it) and on raw
  // sequences (it must not depend on canonical form).
  const std::vector<VmValue>& left = normalized_a.ok() && (in.byte() & 1) ? *normalized_a : a;
  const std::vector<VmValue>& right = normalized_b.ok() && (in.byte() & 1) ? *normalized_b : b;
  check(set_difference_values(left, right), reference_difference(left, right));
  check(set_intersection_values(left, right), reference_intersection(left, right));
  check(set_symmetric_difference_values(left, right), reference_symmetric(left, right));
  check(set_is_subset(left, right), reference_subset(left, right));
  if (normalized_b.ok()) {
    for (const VmValue& needle : a) {
      check(set_contains(*normalized_b, needle), reference_in(*normalized_b, needle));
      check_add_and_discard(*normalized_b, needle);
    }
    if (normalized_a.ok()) {
      const auto want = normalized_a->size() != normalized_b->size() ? VmResult<bool>(false)
                                                                      : reference_subset(*normalized_a, *normalized_b);
      check(set_items_equal(*normalized_a, *normalized_b), want);
    }
  }
  return 0;
}
