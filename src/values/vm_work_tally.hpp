// The work of operations that read values: how many steps reading a text,
// a big integer or a key takes, and the counting of long scans, which hand
// their steps to the running request in batches.
//
// A scan (an equality of two lists, a membership test, a sort) counts about
// one step per item it visits. Handing every step to the request's budget
// would reach the thread's budget once per item; a scan reaches it once a
// batch, and for its last batch when it ends, so the total is the same, and
// a scan that passes the allowance stops within a batch of passing it. The
// batch boundaries follow from the steps alone, so where a scan stops does
// too.
#pragma once

#include <algorithm>
#include <bit>
#include <cstdint>

#include "values/vm_execution_error.hpp"
#include "values/vm_request_budget.hpp"
#include "values/vm_value.hpp"
#include "values/vm_work_meter.hpp"

namespace veln {

inline constexpr uint64_t kVmWorkBatch = 4096;

// Every loop that makes steps hands them over at least this often, so a
// request stops within this many steps of its allowance, inside one long
// comparison or search too. kVmWorkBatch is far below it.
inline constexpr uint64_t kVmWorkCheckInterval = uint64_t{1} << 16;
static_assert(kVmWorkBatch <= kVmWorkCheckInterval);

// Whether the running request's budget has failed. A primitive that reads
// values (a comparison, an equality, a hash, a search) gives up at once when
// it has, with any answer: the request fails at its next charge (and its
// end reports the budget's message whatever the operation returned), so the
// answer is never seen. Giving up at once is what keeps the rest of an
// operation cheap once one of its primitives passed the allowance.
[[gnu::always_inline]] inline bool vm_work_failed() {
  const VmRequestBudget* b = vm_request_budget();
  return b != nullptr && b->failed();
}

// Counts `n` steps made by a primitive's loop; false once the allowance has
// passed (the primitive then gives up as above).
[[gnu::always_inline]] inline bool vm_step_work(uint64_t n) {
  VmRequestBudget* b = vm_request_budget();
  return b == nullptr || b->take_steps(n);
}

// Steps of reading `bytes` bytes of text.
constexpr uint64_t vm_text_read_steps(uint64_t bytes) { return bytes / kVmTextBytesPerStep; }

// Steps of writing one number as text, whichever form writes it (a display
// text, a format field, the canonical encoding), beyond the bytes it writes:
// finding a float's shortest digits or laying out a decimal, a date-time or
// a time delta takes as long as copying several items; an int of one word
// as long as one. A big integer counts its conversion instead
// (vm_bigint_digits_steps).
inline constexpr uint64_t kVmNumberTextSteps = 4;
inline constexpr uint64_t kVmIntTextSteps = 1;
// Steps of one decimal operation (a coercion of the other operand
// included): a few products and quotients of 100-digit integers, whose time
// is that of writing a number as text.
inline constexpr uint64_t kVmDecimalSteps = kVmNumberTextSteps;

// Steps of one of the many comparisons of two texts a sort or an ordered
// merge makes, beyond the step the comparison itself counts: a step per 8
// bytes they may share, for texts long enough that the bytes outweigh it.
inline constexpr uint64_t kVmLongTextBytes = 64;
constexpr uint64_t vm_long_text_compare_steps(uint64_t a_bytes, uint64_t b_bytes) {
  const uint64_t shared = a_bytes < b_bytes ? a_bytes : b_bytes;
  return shared >= kVmLongTextBytes ? shared / kVmTextBytesPerStep : 0;
}

// Counts the reading of `bytes` bytes of text on the running request. Texts
// shorter than a step count nothing, so short keys and names cost no visit
// to the budget.
[[gnu::always_inline]] inline void vm_count_text_read(uint64_t bytes) {
  if (bytes >= kVmTextBytesPerStep) vm_count_work(bytes / kVmTextBytesPerStep);
}

// Steps of a big-integer multiplication, division or power over `words`
// 64-bit words (the operands', or the result's for a power): the words
// times their count's log2, which is how the fast algorithms grow.
constexpr uint64_t vm_bigint_work_steps(uint64_t words) {
  return words * std::max<uint64_t>(1, static_cast<uint64_t>(std::bit_width(words)) - 1);
}

// Steps of a decimal conversion of a big integer of `words` words, to
// digits or from them: several times a multiplication's, as the divide and
// conquer over powers of ten costs.
constexpr uint64_t vm_bigint_digits_steps(uint64_t words) { return 4 * vm_bigint_work_steps(words); }

// 64-bit words of a magnitude, and of an Int value's (an inline int is one).
inline uint64_t vm_mpz_words(const mpz_class& z) { return mpz_size(z.get_mpz_t()); }
inline uint64_t vm_int_words(const VmValue& v) { return v.int_is_small() ? 1 : vm_mpz_words(v.big_int()); }

// Counts a big-integer multiplication, division, power or conversion over
// `words` words on the running request; one word is too few to count.
[[gnu::always_inline]] inline void vm_count_bigint_work(uint64_t words) {
  if (words > 1) vm_count_work(vm_bigint_work_steps(words));
}
// The same for an operation about to start: refused, before it starts,
// once the count passes the allowance.
inline VmStatus vm_take_bigint_work(uint64_t words) {
  if (words <= 1) return Ok{};
  return vm_take_work(vm_bigint_work_steps(words));
}
// Counts a decimal conversion of a big integer of `words` words.
[[gnu::always_inline]] inline void vm_count_bigint_digits(uint64_t words) {
  if (words > 1) vm_count_work(vm_bigint_digits_steps(words));
}

// Steps of reading a value whole to hash or compare it as a key, from the
// size in units its buffer keeps (so this is O(1)): a step per 8 bytes of a
// text, a step per word of a big integer, a container's units (an item, a
// word or a byte of text each). Keys of a few units (scalars, short texts,
// small tuples) take none.
inline uint64_t vm_key_read_steps(const VmValue& v) {
  const uint64_t units = v.units();
  if (units <= kVmTextBytesPerStep) return 0;
  switch (v.kind()) {
    case VmKind::String:
    case VmKind::Bytes:
    case VmKind::ByteArray:
      return vm_text_read_steps(units - 1);
    case VmKind::Int:
      return units - 1;
    case VmKind::List:
    case VmKind::Tuple:
    case VmKind::Set:
    case VmKind::FrozenSet:
    case VmKind::Dict:
      return units;
    default:
      return 0;
  }
}

// Steps of finding one key of a container in another's hashed index, beyond
// the probe's own step: hashing the key, a probe that lands anywhere in a
// table of the other's size, and reading the entry found. An equality of
// two dicts makes one such search per entry.
inline constexpr uint64_t kVmKeySearchSteps = 4;

// Counts the reading of a key on the running request, before it is read:
// false once the allowance has passed, and the lookup then gives up (a key
// is read whole, so this is where its steps are made). Every lookup comes
// here: the keys too small to take a step leave at once.
[[gnu::noinline]] inline bool vm_count_long_key_read(const VmValue& key) {
  if (const uint64_t steps = vm_key_read_steps(key)) return vm_step_work(steps);
  return true;
}
[[gnu::always_inline]] inline bool vm_count_key_read(const VmValue& key) {
  if (key.units() > kVmTextBytesPerStep) [[unlikely]]
    return vm_count_long_key_read(key);
  return true;
}

// A scan over positions 0, 1, ... visits position `i` next: at the last
// position of each batch the whole batch is handed over; false once the
// allowance has passed (VmWorkTally::error() is then the failure).
[[gnu::always_inline]] inline bool vm_scan_step(size_t i) {
  if (i % kVmWorkBatch == kVmWorkBatch - 1) [[unlikely]] {
    VmRequestBudget* b = vm_request_budget();
    return b == nullptr || b->take_steps(kVmWorkBatch);
  }
  return true;
}
// A scan that visited `visited` positions ends: the steps of its batch
// under way.
[[gnu::always_inline]] inline void vm_scan_done(size_t visited) {
  if (const size_t rest = visited % kVmWorkBatch) vm_count_work(rest);
}

// The steps of a scan whose steps come unevenly (a sort's comparisons, a
// walk over nested values), kept in a local count and handed over as
// above.
class VmWorkTally {
 public:
  // With a meter, each step also counts on it at once (the growth tests
  // read it after the operation).
  explicit VmWorkTally(VmWorkMeter* meter = nullptr) : meter_(meter) {}
  ~VmWorkTally() {
    if (pending_ != 0) vm_count_work(pending_);
  }
  VmWorkTally(const VmWorkTally&) = delete;
  VmWorkTally& operator=(const VmWorkTally&) = delete;

  // Counts `n` steps; false once the running request's allowance has
  // passed (seen when a batch is handed over).
  [[gnu::always_inline]] bool add(uint64_t n = 1) {
    if (meter_ != nullptr) meter_->steps += n;
    pending_ += n;
    if (pending_ >= kVmWorkBatch) [[unlikely]]
      return hand_over();
    return true;
  }

  // Hands the pending steps over now; false once the allowance has passed.
  // Out of line: scans call it once a batch, and keep `add` small.
  [[gnu::noinline]] bool hand_over() {
    const uint64_t n = pending_;
    pending_ = 0;
    VmRequestBudget* b = vm_request_budget();
    return b == nullptr || b->take_steps(n);
  }

  // Whether the running request can take `n` more steps beyond those
  // pending, counting nothing.
  bool can_afford(uint64_t n) const {
    VmRequestBudget* b = vm_request_budget();
    return b == nullptr || b->steps_fit(pending_ + n);
  }

  // The running request's failure, once add or hand_over returned false.
  static VmExecutionError error() { return vm_request_budget()->error(); }

 private:
  VmWorkMeter* meter_;
  uint64_t pending_ = 0;
};

}  // namespace veln
