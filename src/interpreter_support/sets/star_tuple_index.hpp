// "The first stored value value-equal to a needle" for tuples and small
// frozensets whose number leaves make value equality intransitive: ints
// beyond 2^53 sharing a double, decimals of that double, and the float of
// it, which equals some of them. EqualValueIndex compares such a float (a
// wildcard there) with every value of its bucket, and gives up on a
// frozenset holding two numbers of one bucket; here each group of numbers
// sharing a double must be a star (EqualValueHasher::star_leaf), which makes
// a match a matter of keys:
//   - a float F matches F or any exact member equal to F;
//   - an exact member e equal to F matches the members of e's exact value,
//     or F;
//   - any other leaf matches the leaves of its key.
// Tuples match position by position. A stored tuple is filed under every
// choice of (its key | its group's members key) at its member positions; a
// needle looks up every choice of (its key | F's key) at its member
// positions and (F's key | the members key) at its float positions.
// A stored frozenset k equals a needle x when they have one size and each
// leaf of k meets some leaf of x: a leaf needs its own key, or F's key (a
// member), or the members key (F), and x provides the keys of its leaves
// plus the members key of each group where it holds a member. So k is filed
// under (its size, the set of keys) of every choice of one need per leaf, and
// x looks up (its size, T) for every subset T of what it provides.
// Every stored value filed under a looked-up key equals the needle, so the
// least position found is the scan's first match (confirmed by a comparison
// all the same, and on a hash collision the literal scan answers).
//
// The choices double per two-way position or leaf, and a frozenset's
// lookups per key it provides, so values past kMaxChoices of them are
// refused (the caller keeps its scan). Nothing better exists in general:
// matching tuples of d such positions against each other encodes the
// orthogonal vectors problem, which has no sub-quadratic method for d near
// log n.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "interpreter_support/sets/equal_value_index.hpp"
#include "values/vm_execution_error.hpp"
#include "values/vm_value.hpp"
#include "values/vm_work_meter.hpp"

namespace veln {

class StarTupleIndex {
 public:
  static constexpr unsigned kMaxChoices = 8;
  // The keys of every value of `universe` (numbered through the spans one
  // after the other), or nothing when a value is not a tuple or frozenset of
  // star leaves (no container inside a frozenset; no frozenset, list or set
  // inside a tuple), has more than kMaxChoices two-way positions, leaves or
  // provided keys, or all of them would be filed under too many keys.
  static std::optional<StarTupleIndex> build(const EqualValueHasher& hasher,
                                             std::span<const std::span<const VmValue>> universe, VmWorkMeter* meter);
  // The number of a value: its place in its span, after the earlier spans.
  uint32_t id(size_t span, size_t at) const { return span_starts_[span] + static_cast<uint32_t>(at); }

  // Stores value `value` at `position`.
  void add(uint32_t position, uint32_t value);
  void add_all(uint32_t first_value, size_t count);
  // The value at `position`, once `before`, is now `after` (equal to it).
  void replace(uint32_t position, uint32_t before, uint32_t after);
  // Starts loading what first_equal will read first for value `value`.
  void prefetch(uint32_t value) const;
  // The first position p for which vm_values_equal(stored[p], needle)
  // holds, `needle` being value `value`.
  VmResult<std::optional<uint32_t>> first_equal(std::span<const VmValue> stored, const VmValue& needle,
                                                uint32_t value, VmWorkMeter* meter);

 private:
  static constexpr uint32_t kEnd = UINT32_MAX;
  // A value's keys: a base and, per choice, what choosing the other key
  // there adds (keys are sums of terms). A frozenset's stored keys are
  // listed instead: a key set's term counts each key once, however many
  // leaves chose it.
  struct Form {
    uint64_t stored_base = 0;
    uint64_t needle_base = 0;
    uint32_t first_delta = 0;  // stored deltas (or keys), then needle deltas
    uint16_t stored_count = 0;
    uint8_t needle_choices = 0;
    bool listed = false;  // stored keys listed
  };
  // Positions filed under one key: ascending in a list, and those filed
  // after a greater one (a replaced value) in a heap. A position replaced
  // since it was filed is skipped where met (its version moved on).
  struct Node {
    uint32_t position;
    uint32_t version;
    uint32_t next;
  };
  struct Filed {
    uint32_t position;
    uint32_t version;
  };
  // A key's slot: its positions filed in order, head to tail (kNone: no
  // node); a free slot has head kEnd. A key with a heap of late positions
  // finds it through late_of_.
  static constexpr uint32_t kNone = kEnd - 1;
  struct Chain {
    uint64_t key = 0;
    uint32_t head = kEnd;
    uint32_t tail = kNone;
  };

  template <class Visit>
  static void each_key(uint64_t base, std::span<const uint64_t> deltas, const Visit& visit);
  template <class Visit>
  void each_stored_key(const Form& f, const Visit& visit) const;
  std::span<const uint64_t> stored_deltas(const Form& f) const { return {deltas_.data() + f.first_delta, f.stored_count}; }
  std::span<const uint64_t> needle_deltas(const Form& f) const {
    return {deltas_.data() + f.first_delta + f.stored_count, f.needle_choices};
  }
  bool current(uint32_t position, uint32_t version) const { return versions_[position] == version; }
  void file(uint64_t key, uint32_t position);
  // The least current position under `c`, or kEnd.
  uint32_t first_current(Chain& c);
  // The keys are sums of seeded hashes already: their high bits place them
  // (a product spreads what low bits share).
  size_t home(uint64_t key) const { return static_cast<size_t>((key * kPlaceMix) >> shift_); }
  // The slot of `key`, or the free slot where it goes.
  Chain& slot(uint64_t key);
  Chain* find(uint64_t key);
  // Room for `count` keys at three quarters full.
  void size_chains(size_t count);

  static constexpr uint64_t kPlaceMix = 0x9e3779b97f4a7c15ULL;

  std::vector<uint32_t> span_starts_;
  std::vector<Form> forms_;
  std::vector<uint64_t> deltas_;
  // Open addressing over a power of two; sized to the values, since most
  // keys are shared by few of them (the table of a few hundred thousand
  // values is megabytes, each page of it fresh memory).
  std::vector<Chain> chains_;
  size_t chains_used_ = 0;
  unsigned shift_ = 64;
  std::vector<Node> nodes_;
  FlatTable<uint32_t> late_of_;  // key -> its heap in late_
  std::vector<std::vector<Filed>> late_;
  std::vector<uint32_t> versions_;  // by position
};

}  // namespace veln
