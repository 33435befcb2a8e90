// The work of the set algorithms: each step counts where the loop that
// makes it runs (a comparison of a sort or a merge, a probe, a visit of an
// item), on the operation's meter and on the running request, and once the
// request's allowance has passed the operation stops at once: the step
// throws SetWorkRefused, which the operation's public entry turns into the
// request's failure. Only values of the operation's own (copies, probes,
// sorted views) may be in a moved state when it throws; the engine's sorts
// put every element back, and nothing here edits a set in place. Internal
// to the set algorithms: the exception must never leave them.
#pragma once

#include <cstdint>
#include <optional>
#include <type_traits>

#include "values/vm_execution_error.hpp"
#include "values/vm_request_budget.hpp"
#include "values/vm_sort.hpp"
#include "values/vm_work_meter.hpp"
#include "values/vm_work_tally.hpp"

namespace veln {

// Thrown by a step past the running request's allowance.
struct SetWorkRefused {};

[[noreturn, gnu::cold, gnu::noinline]] inline void refuse_set_work() { throw SetWorkRefused{}; }

// Takes `n` steps, more than a batch, that stand for work about to be done
// (a scan of many items, a table to fill): refused before the work, and
// counting nothing, when they would pass the allowance.
[[gnu::noinline]] inline void take_set_work(uint64_t n) {
  if (!vm_check_budget(n).ok()) refuse_set_work();
  vm_count_work(n);
}

// Counts `n` steps on `meter` (when given) and on the running request; past
// the request's allowance (or once its budget failed) the operation stops.
[[gnu::always_inline]] inline void set_step(VmWorkMeter* meter, uint64_t n = 1) {
  if (meter != nullptr) meter->steps += n;
  if (n > kVmWorkBatch) [[unlikely]] {
    take_set_work(n);
  } else if (!vm_step_work(n)) [[unlikely]] {
    refuse_set_work();
  }
}

// A comparison that counts one step per call.
template <class Less>
auto set_counted(Less less, VmWorkMeter* meter) {
  return [less, meter](const auto& a, const auto& b) {
    set_step(meter);
    return less(a, b);
  };
}

// Steps that come one at a time in a tight loop (a walk over nested items),
// on `meter` at once and on the request in batches; past the allowance the
// operation stops.
class SetSteps {
 public:
  explicit SetSteps(VmWorkMeter* meter = nullptr) : tally_(meter), meter_(meter) {}
  [[gnu::always_inline]] void step(uint64_t n = 1) {
    if (n > kVmWorkBatch) [[unlikely]] {
      take(n);
    } else if (!tally_.add(n)) [[unlikely]] {
      refuse_set_work();
    }
  }

 private:
  // Many steps at once (the items of a long sequence) are taken as
  // set_step takes them, after those pending.
  [[gnu::noinline]] void take(uint64_t n) {
    if (!tally_.hand_over()) refuse_set_work();
    set_step(meter_, n);
  }

  VmWorkTally tally_;
  VmWorkMeter* meter_;
};

// Runs `sort(less)`, a sort of `n` items by the engine's own algorithms,
// each comparison a step. Where the sort is short (a batch of steps at
// most) or the request can afford the most comparisons such a sort makes,
// they are counted in a plain local and handed over at the end; otherwise
// each is counted as it is made. The count is the same either way.
template <class Less, class Sort>
void set_counted_sort(VmWorkMeter* meter, size_t n, Less less, Sort sort) {
  SetSteps steps(meter);
  const uint64_t bound = vm_sort_comparison_bound(n);
  VmRequestBudget* const budget = vm_request_budget();
  if (bound <= kVmWorkBatch || budget == nullptr || budget->steps_fit(bound)) {
    uint64_t compared = 0;
    sort([&compared, &less](const auto& a, const auto& b) {
      ++compared;
      return less(a, b);
    });
    steps.step(compared);
  } else {
    sort([&steps, &less](const auto& a, const auto& b) {
      steps.step();
      return less(a, b);
    });
  }
}

namespace detail {
template <class T>
struct IsVmResult : std::false_type {};
template <class T>
struct IsVmResult<VmResult<T>> : std::true_type {};
template <class T>
struct IsVmResult<std::optional<VmResult<T>>> : std::true_type {};
}  // namespace detail

// The public entry of a set operation: its result, or the request's failure
// when a step passed the allowance, or when the budget failed while it ran
// (a key comparison then gives up with any answer, which must not be taken
// for the operation's).
template <class Operation>
auto within_set_work(Operation&& operation) -> decltype(operation()) {
  using Result = decltype(operation());
  static_assert(detail::IsVmResult<Result>::value, "an entry without a result takes a fallback");
  try {
    Result result = operation();
    if (vm_work_failed()) [[unlikely]]
      return Result(VmWorkTally::error());
    return result;
  } catch (const SetWorkRefused&) {
    return Result(VmWorkTally::error());
  }
}

// The same for an entry that answers without an error (a fact about a set):
// `fallback` once the allowance passed.
template <class Operation, class Fallback>
auto within_set_work(Operation&& operation, Fallback fallback) -> decltype(operation()) {
  try {
    auto result = operation();
    if (vm_work_failed()) [[unlikely]]
      return fallback;
    return result;
  } catch (const SetWorkRefused&) {
    return fallback;
  }
}

}  // namespace veln
