// Work that stops at the allowance: each step of a sort, a set algorithm or
// a walk over nested items counts where the loop that makes it runs (a
// comparison, a probe, a visit of an item), on the operation's meter and on
// the running request, and once the request's allowance has passed the
// operation stops at once: the step throws WorkRefused, which the
// operation's public entry (within_work) turns into the request's failure.
// Only values of the operation's own (copies, probes, sorted views) may be
// in a moved state when it throws; the engine's sorts put every element
// back, and nothing that throws edits a value in place. The exception must
// never leave the operation that threw it.
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
struct WorkRefused {};

[[noreturn, gnu::cold, gnu::noinline]] inline void refuse_work() { throw WorkRefused{}; }

// Takes `n` steps, more than a batch, that stand for work about to be done
// (a scan of many items, a table to fill): refused before the work, and
// counting nothing, when they would pass the allowance.
[[gnu::noinline]] inline void take_work_ahead(uint64_t n) {
  if (!vm_check_budget(n).ok()) refuse_work();
  vm_count_work(n);
}

// Counts `n` steps on `meter` (when given) and on the running request; past
// the request's allowance (or once its budget failed) the operation stops.
[[gnu::always_inline]] inline void work_step(VmWorkMeter* meter, uint64_t n = 1) {
  if (meter != nullptr) meter->steps += n;
  if (n > kVmWorkBatch) [[unlikely]] {
    take_work_ahead(n);
  } else if (!vm_step_work(n)) [[unlikely]] {
    refuse_work();
  }
}

// A comparison that counts one step per call.
template <class Less>
auto step_counted(Less less, VmWorkMeter* meter) {
  return [less, meter](const auto& a, const auto& b) {
    work_step(meter);
    return less(a, b);
  };
}

// Steps that come one at a time in a tight loop (a walk over nested items),
// on `meter` at once and on the request in batches; past the allowance the
// operation stops.
class StoppableSteps {
 public:
  explicit StoppableSteps(VmWorkMeter* meter = nullptr) : tally_(meter), meter_(meter) {}
  [[gnu::always_inline]] void step(uint64_t n = 1) {
    if (n > kVmWorkBatch) [[unlikely]] {
      take(n);
    } else if (!tally_.add(n)) [[unlikely]] {
      refuse_work();
    }
  }

  // A comparison that counts one step per call.
  template <class Less>
  auto counted(Less less) {
    return [this, less](const auto& a, const auto& b) {
      step();
      return less(a, b);
    };
  }

  // Runs `sort(less)`, a sort of `n` items by the engine's own algorithms,
  // each comparison a step. Where the sort is short (a batch of steps at
  // most) or the request can afford the most comparisons such a sort makes,
  // they are counted in a plain local and handed over at the end; otherwise
  // each is counted as it is made. The count is the same either way.
  template <class Less, class Sort>
  void sort(size_t n, Less less, Sort sort) {
    const uint64_t bound = vm_sort_comparison_bound(n);
    if (bound <= kVmWorkBatch || tally_.can_afford(bound)) {
      uint64_t compared = 0;
      sort([&compared, &less](const auto& a, const auto& b) {
        ++compared;
        return less(a, b);
      });
      step(compared);
    } else {
      sort(counted(less));
    }
  }

  // The tally underneath, for code that reports a refusal instead of
  // throwing it.
  VmWorkTally& tally() { return tally_; }

 private:
  // Many steps at once (the items of a long sequence) are taken as
  // work_step takes them, after those pending.
  [[gnu::noinline]] void take(uint64_t n) {
    if (!tally_.hand_over()) refuse_work();
    work_step(meter_, n);
  }

  VmWorkTally tally_;
  VmWorkMeter* meter_;
};

// The same for a sort of its own.
template <class Less, class Sort>
void stoppable_sort(VmWorkMeter* meter, size_t n, Less less, Sort sort) {
  StoppableSteps(meter).sort(n, less, sort);
}

namespace detail {
template <class T>
struct IsVmResult : std::false_type {};
template <class T>
struct IsVmResult<VmResult<T>> : std::true_type {};
template <class T>
struct IsVmResult<std::optional<VmResult<T>>> : std::true_type {};
}  // namespace detail

// The public entry of a stoppable operation: its result, or the request's failure
// when a step passed the allowance, or when the budget failed while it ran
// (a key comparison then gives up with any answer, which must not be taken
// for the operation's).
template <class Operation>
auto within_work(Operation&& operation) -> decltype(operation()) {
  using Result = decltype(operation());
  static_assert(detail::IsVmResult<Result>::value, "an entry without a result takes a fallback");
  try {
    Result result = operation();
    if (vm_work_failed()) [[unlikely]]
      return Result(VmWorkTally::error());
    return result;
  } catch (const WorkRefused&) {
    return Result(VmWorkTally::error());
  }
}

// The same for an entry that answers without an error (a fact about a set):
// `fallback` once the allowance passed.
template <class Operation, class Fallback>
auto within_work(Operation&& operation, Fallback fallback) -> decltype(operation()) {
  try {
    auto result = operation();
    if (vm_work_failed()) [[unlikely]]
      return fallback;
    return result;
  } catch (const WorkRefused&) {
    return fallback;
  }
}

}  // namespace veln
