// VmRequestBudget: the memory the values of one request hold and the work
// its operations do, counted with fixed weights so that the point where a
// request is refused follows from its values and operations alone (no
// allocator, address, hash seed, build or timing enters the count).
//
// A buffer is made and freed far from anything that knows the request (a
// copy-on-write edit, the last release of a nested item), so the values
// layer reaches the budget through the thread's current pointer, set and put
// back only by VmRequestBudgetScope, strictly nested. A request that host
// code starts inside another on the same thread joins the outer one's
// budget. Code running outside any request (tests of the support library,
// benchmarks) counts nothing. This file must not know about hosts, meters or
// Python: a request hands in its raw charge count and the charge limit to
// trip as plain numbers.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "values/vm_execution_error.hpp"

namespace veln {

inline constexpr uint64_t kVmMaxRequestMemory = uint64_t{1} << 30;
inline constexpr uint64_t kVmBaseWorkSteps = uint64_t{1} << 22;
inline constexpr uint64_t kVmWorkStepsPerChi = uint64_t{1} << 16;
inline constexpr uint64_t kVmRawCostPerChi = 1000;
inline constexpr std::string_view kVmMemoryMessage = "execution exceeds the maximum allowed memory";
inline constexpr std::string_view kVmWorkMessage = "execution exceeds the maximum allowed work";

// Storage weights. A buffer counts its header, then what it holds: 16 per
// container item, 32 per dict entry (its key and its value), the bytes of
// its texts, 8 per 64-bit word of a big integer. A dict's index weighs 4
// per slot (a slot run at most half full) and 8 per entry (its hash): 16 or
// more per entry, up to 24 just after the slots doubled. The header weight
// keeps a list of many one-byte texts from holding five times its count.
// A container's items, and the bytes of a text longer than a buffer keeps
// in place, lie in a block of their own, which weighs its header too: a
// list of one-item tuples or of 16-byte texts occupies about a third more
// than its items and bytes.
inline constexpr uint64_t kVmBufferWeight = 64;
inline constexpr uint64_t kVmBlockWeight = 16;
inline constexpr uint64_t kVmInPlaceTextBytes = 15;
inline constexpr uint64_t kVmItemWeight = 16;
inline constexpr uint64_t kVmEntryWeight = 32;
inline constexpr uint64_t kVmIndexSlotWeight = 4;
inline constexpr uint64_t kVmWordWeight = 8;
// A side structure of a set or dict: 8 per slot of its hash table, a buffer
// and an item per entry of its node-based maps.
inline constexpr uint64_t kVmSlotWeight = 8;
inline constexpr uint64_t kVmNodeWeight = kVmBufferWeight + kVmItemWeight;
// Work: one step per item or word made, one per 8 bytes of text, and four
// for each buffer made.
inline constexpr uint64_t kVmTextBytesPerStep = 8;
inline constexpr uint64_t kVmBufferSteps = 4;

enum class VmBudgetFailure : uint8_t { None, Memory, Work };

class VmRequestBudget {
 public:
  // One metered request of the chain: its raw charge count (read when the
  // allowance is worked out) and the charge limit the interpreter compares
  // every charge with (set to 0 when the budget fails, so the next charge
  // of any running code reaches the host, which reports the failure).
  struct Link {
    const uint64_t* raw_cost = nullptr;  // null: the request is not metered
    uint64_t* charge_limit = nullptr;
    Link* outer = nullptr;
  };

  explicit VmRequestBudget(bool metered) : step_limit_(metered ? kVmBaseWorkSteps : UINT64_MAX), metered_(metered) {}
  VmRequestBudget(const VmRequestBudget&) = delete;
  VmRequestBudget& operator=(const VmRequestBudget&) = delete;

  // Takes `weight` of storage; false (nothing taken, the budget failed)
  // when the count would pass the cap. `weight` is one buffer's or one
  // edit's, far below 2^32, so the sum cannot overflow.
  [[gnu::always_inline]] bool take_memory(uint64_t weight) {
    const uint64_t held = memory_ + weight;  // no overflow: both stay far below 2^63
    if (held > memory_limit_) [[unlikely]]
      return refuse_memory();
    memory_ = held;
    return true;
  }
  // Gives back storage taken before.
  [[gnu::always_inline]] void give_memory(uint64_t weight) { memory_ -= weight < memory_ ? weight : memory_; }
  // Counts `n` steps; false once they pass the allowance (the budget failed).
  [[gnu::always_inline]] bool take_steps(uint64_t n) {
    steps_ += n;
    if (steps_ > step_limit_) [[unlikely]]
      return steps_passed();
    return true;
  }
  // Whether `n` more steps would stay within the allowance, counting
  // nothing: for an operation that knows its work before it starts.
  bool steps_fit(uint64_t n);
  // Whether `weight` more storage would stay within the cap.
  bool memory_fits(uint64_t weight) const { return weight <= memory_limit_ && memory_ <= memory_limit_ - weight; }

  VmBudgetFailure failure() const { return failure_; }
  bool failed() const { return failure_ != VmBudgetFailure::None; }
  VmExecutionError error() const;
  uint64_t memory() const { return memory_; }
  uint64_t steps() const { return steps_; }
  bool metered() const { return metered_; }

  // Fails the budget (the first failure names it) and trips every linked
  // charge limit.
  void fail(VmBudgetFailure failure);

  // Requests of the chain join and leave strictly nested.
  void attach(Link& link);
  void detach(Link& link);

 private:
  bool refuse_memory();
  bool steps_passed();
  // The allowance for the raw cost charged so far by the chain's metered
  // requests (those running and those finished).
  uint64_t allowance() const;

  uint64_t memory_ = 0;
  uint64_t steps_ = 0;
  uint64_t memory_limit_ = kVmMaxRequestMemory;  // 0 once the budget failed
  uint64_t step_limit_;     // the allowance when last worked out; passing it works it out again
  uint64_t finished_raw_ = 0;  // raw cost of the metered requests that left
  Link* links_ = nullptr;      // innermost first
  VmBudgetFailure failure_ = VmBudgetFailure::None;
  bool metered_;
};

namespace detail {
// The budget of the request running on this thread, or null. Written only
// by VmRequestBudgetScope.
inline constinit thread_local VmRequestBudget* tl_request_budget __attribute__((tls_model("initial-exec"))) = nullptr;
}  // namespace detail

inline VmRequestBudget* vm_request_budget() { return detail::tl_request_budget; }

// Counts `n` steps of work on the running request; the failure, once the
// allowance is passed, surfaces at the request's next charge (or right away
// through vm_take_work).
[[gnu::always_inline]] inline void vm_count_work(uint64_t n) {
  if (VmRequestBudget* b = detail::tl_request_budget) b->take_steps(n);
}
// The same, failing with the work message once the allowance is passed.
[[gnu::always_inline]] inline VmStatus vm_take_work(uint64_t n) {
  VmRequestBudget* b = detail::tl_request_budget;
  if (b == nullptr || b->take_steps(n)) [[likely]]
    return Ok{};
  return b->error();
}
// Fails, counting nothing, when an operation that knows beforehand that it
// will make `steps` steps and hold `weight` more storage would pass either
// bound: it is refused before it starts.
inline VmStatus vm_check_budget(uint64_t steps, uint64_t weight = 0) {
  VmRequestBudget* b = detail::tl_request_budget;
  if (b == nullptr) return Ok{};
  if (!b->memory_fits(weight)) {
    b->fail(VmBudgetFailure::Memory);
    return b->error();
  }
  if (!b->steps_fit(steps)) {
    b->fail(VmBudgetFailure::Work);
    return b->error();
  }
  return Ok{};
}
// The running request's failure, if its budget failed.
inline VmStatus vm_budget_status() {
  VmRequestBudget* b = detail::tl_request_budget;
  if (b == nullptr || !b->failed()) [[likely]]
    return Ok{};
  return b->error();
}

// Enters a request on this thread: the outermost request gets a budget of
// its own (metered or not as it is); a request started inside another
// joins the budget running there.
class VmRequestBudgetScope {
 public:
  explicit VmRequestBudgetScope(bool metered);
  ~VmRequestBudgetScope();
  VmRequestBudgetScope(const VmRequestBudgetScope&) = delete;
  VmRequestBudgetScope& operator=(const VmRequestBudgetScope&) = delete;

  VmRequestBudget& budget() { return *budget_; }
  // The request's charges count towards the allowance (when `raw_cost` is
  // given) and its charge limit is tripped on failure, from now until
  // leave(), which must come before either number dies.
  void join(const uint64_t* raw_cost, uint64_t* charge_limit);
  void leave();

 private:
  VmRequestBudget own_;
  VmRequestBudget* budget_;
  VmRequestBudget* outer_;
  VmRequestBudget::Link link_;
  bool joined_ = false;
};

}  // namespace veln
