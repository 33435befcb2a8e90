// The cap on the value comparisons one set operation (or sort) makes where
// no keyed search serves: the literal scans that remain, and the buckets a
// wild float is compared with. Each pair of values compared counts, leaves
// of tuples and frozensets included; past the cap the operation fails. The
// count rides on the VmWorkMeter the operation is handed (a local one when
// none is), so it depends on the values alone and nothing is kept between
// operations. Keyed searches must not charge here.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "values/vm_execution_error.hpp"
#include "values/vm_work_meter.hpp"

namespace veln {

inline constexpr uint64_t kVmMaxSetComparisons = 4194304;
inline constexpr std::string_view kVmSetComparisonMessage =
    "set operation exceeds the maximum allowed comparison count";

inline VmExecutionError set_comparison_error() { return vm_error(std::string(kVmSetComparisonMessage)); }

// Counts `n` comparisons against the operation under way on `meter`; fails
// once the count passes the cap. Nothing is counted outside an operation.
inline VmStatus charge_set_comparisons(VmWorkMeter* meter, uint64_t n = 1) {
  if (meter == nullptr || !meter->comparing) return Ok{};
  vm_count_work(n);  // also work of the running request
  meter->compared += n;
  if (meter->compared > kVmMaxSetComparisons) return set_comparison_error();
  return Ok{};
}

// Whether the operation under way on `meter` has passed the cap.
inline bool set_comparisons_exceeded(const VmWorkMeter* meter) {
  return meter != nullptr && meter->compared > kVmMaxSetComparisons;
}

// One capped operation: opened on the caller's meter (or a meter of its
// own), unless an enclosing operation is already counting on it, whose
// count then goes on. Errors met inside can be swallowed on the way out (a
// refused index, a comparison taken as a mismatch), so the operation's
// result passes through `finish`, which puts the cap's error in its place.
class SetComparisonScope {
 public:
  explicit SetComparisonScope(VmWorkMeter* meter)
      : meter_(meter != nullptr ? meter : &own_), opened_(!meter_->comparing) {
    if (opened_) {
      meter_->comparing = true;
      meter_->compared = 0;
    }
  }
  ~SetComparisonScope() {
    if (opened_) meter_->comparing = false;
  }
  SetComparisonScope(const SetComparisonScope&) = delete;
  SetComparisonScope& operator=(const SetComparisonScope&) = delete;

  VmWorkMeter* meter() const { return meter_; }
  bool exceeded() const { return set_comparisons_exceeded(meter_); }
  template <class T>
  VmResult<T> finish(VmResult<T> result) const {
    if (exceeded()) return set_comparison_error();
    return result;
  }

 private:
  VmWorkMeter own_;
  VmWorkMeter* meter_;
  bool opened_;
};

// Runs `operation(meter)` as one capped operation on `meter` (a meter of its
// own when null): the meter it is handed counts, and its result is the cap's
// error once the count has passed the cap.
template <class Operation>
auto capped_set_operation(VmWorkMeter* meter, Operation&& operation) {
  const SetComparisonScope scope(meter);
  return scope.finish(operation(scope.meter()));
}

}  // namespace veln
