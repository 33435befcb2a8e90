// Indexes that answer "scan these values in order for one value-equal to the
// needle" without the scan. The scan stops at the first value-equal item or
// at the first comparison that fails, so its answer is two positions: the
// first equal item and the first failing comparison.
//
// Value equality is not structural equality (1, 1.0, True and the decimal 1
// are equal; bytes equals bytearray) and across ints and floats it is not
// even transitive (2^53 + 1 equals 2.0^53 which equals 2^53). So a numeric
// needle is answered by probing a structural index with each value it
// equals (its "equal forms": the int, the bool, the float of the same number,
// the decimal), plus a few positions that no probe can find: NaN floats and
// decimal-range misfits (where comparisons fail), ints beyond 2^53 grouped by
// their nearest double (which a float needle equals), and floats whose
// decimal conversion truncates (which a decimal needle equals). Needles that
// are containers (other than tuples of plainly compared leaves) are left to
// the scan.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <span>
#include <unordered_map>
#include <vector>

#include "values/vm_decimal.hpp"
#include "values/vm_execution_error.hpp"
#include "values/vm_value.hpp"
#include "values/vm_work_meter.hpp"

namespace veln {

// What the scan would meet first: a value-equal item, a failing comparison,
// or neither.
struct VmScanMatch {
  std::optional<uint32_t> equal;
  std::optional<uint32_t> failure;
};

// The scan's outcome from its match: true when the equal item comes first,
// the error of the failing comparison when that comes first (recomputed
// from `failing_item`, the item at m.failure, so the message is the scan's),
// else false.
VmResult<bool> vm_scan_outcome(const VmScanMatch& m, const VmValue* failing_item, const VmValue& needle);

// The first position holding an item structurally equal to `form`.
using VmStructuralProbe = std::optional<uint32_t> (*)(const void* context, const VmValue& form);

// Where value equality across number kinds changes nature.
inline constexpr double kTwoTo53 = 9007199254740992.0;
// Ints up to this magnitude are doubles exactly; beyond, several share one.
inline constexpr int64_t kExactIntLimit = int64_t{1} << 53;
// Floats at or beyond this magnitude have no decimal (62 integer digits).
inline constexpr double kDecimalFloatLimit = 1e61;
// Floats below this magnitude may have more than 30 fraction digits.
inline constexpr double kTinyFloatLimit = 1e-13;

// Whether the decimal conversion of a float drops digits (beyond the 30
// fraction digits a decimal keeps); only nonzero floats below kTinyFloatLimit can.
bool vm_decimal_conversion_truncates(double f);

// The integer a decimal equals, when it is a whole number.
std::optional<mpz_class> vm_decimal_whole_value(const VmDecimal& d);

// How a needle's value equality can be decided.
enum class NeedleClass : uint8_t {
  Numeric,     // bool, int, float, decimal: equal forms and hazards
  Structural,  // equal exactly to the structurally equal values; never fails
  BytesLike,   // equal to bytes and bytearray values with the same bytes
  Opaque,      // containers compared item by item: only the scan can tell
};
NeedleClass vm_needle_class(const VmValue& needle);

// Positions of a sequence whose numeric items no structural probe answers.
class NumericHazards {
 public:
  // Items of other kinds are ignored. A removal must be followed by an add
  // at the same position (a replacement): the first numeric position is
  // kept across it.
  void add(uint32_t position, const VmValue& item);
  void remove(uint32_t position, const VmValue& item);

  // The storage weight of the positions held (vm_request_budget.hpp).
  uint64_t weight() const;

  // The scan's match for a numeric needle; `probe` finds the equal forms.
  VmScanMatch match(const VmValue& needle, VmStructuralProbe probe, const void* context) const;

  // Positions that share one key: the least apart, the others unordered
  // (they are few: items with one key are mostly value-equal, so a set keeps
  // one of them).
  class Positions {
   public:
    void insert(uint32_t p);
    void erase(uint32_t p);
    std::optional<uint32_t> first() const;

   private:
    static constexpr uint32_t kNone = UINT32_MAX;
    uint32_t first_ = kNone;
    std::vector<uint32_t> rest_;
  };

 private:
  struct MixHash {
    size_t operator()(uint64_t bits) const;
  };
  struct ValueHash {
    size_t operator()(const VmValue& v) const;
  };
  struct ValueEq {
    bool operator()(const VmValue& a, const VmValue& b) const { return a.eq(b); }
  };
  size_t* kind_count(const VmValue& item);
  static std::optional<uint32_t> first_of(const std::set<uint32_t>& s) {
    return s.empty() ? std::nullopt : std::optional<uint32_t>(*s.begin());
  }

  std::optional<uint32_t> first_number_;  // a NaN needle fails here
  size_t bools_ = 0;                       // forms of kinds that are absent are not probed
  size_t ints_ = 0;
  size_t floats_ = 0;
  std::set<uint32_t> nans_;           // NaN floats: every numeric comparison fails
  std::set<uint32_t> decimals_;       // fail against numbers beyond the decimal range
  std::set<uint32_t> wide_ints_;      // ints of 62 digits or more: fail against decimals
  std::set<uint32_t> wide_floats_;    // infinite or >= 1e61: fail against decimals
  std::unordered_map<uint64_t, Positions, MixHash> ints_by_double_;        // ints beyond 2^53
  std::unordered_map<VmValue, Positions, ValueHash, ValueEq> tiny_floats_;  // by their truncated decimal
};

// An index over a sequence of values that answers the scan for every needle
// but opaque ones. The values must outlive it, unchanged.
class ValueMatchIndex {
 public:
  explicit ValueMatchIndex(std::span<const VmValue> items);
  // The storage weight of the index (vm_request_budget.hpp).
  uint64_t weight() const;
  // The scan's match, or nothing when only the scan can tell.
  std::optional<VmScanMatch> find(const VmValue& needle, VmWorkMeter* meter = nullptr) const;

 private:
  std::optional<uint32_t> first_structural(const VmValue& form) const;
  static std::optional<uint32_t> probe(const void* self, const VmValue& form);

  std::span<const VmValue> items_;
  // Open addressing over the first item of each structural class: the
  // hash's high half, and the position + 1 (0 is empty).
  std::vector<uint64_t> slots_;
  NumericHazards hazards_;
};

// The scan of a dict's keys (in insertion order) for a needle, answered from
// the dict's structural index and a side cache of its numeric hazards; nothing
// when only the scan can tell.
std::optional<VmScanMatch> vm_dict_key_match(const VmValue& dict, const VmValue& needle,
                                             VmWorkMeter* meter = nullptr);

// The scan of a set's items for a needle, answered from an index kept in the
// set's side cache once the set has been searched a few times; nothing when
// there is no index yet or only the scan can tell.
std::optional<VmScanMatch> vm_set_item_match(const VmValue& set, const VmValue& needle,
                                             VmWorkMeter* meter = nullptr);

}  // namespace veln
