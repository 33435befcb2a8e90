// A hash index answering "the first of these values that is value-equal to
// a needle" for containers whose number leaves mix kinds (tuples and
// frozensets holding bools, ints, floats and decimals), where sorting by set
// key cannot decide equality. It must not be used where a comparison among
// the values can fail: `EqualValueHasher::build` refuses such a universe
// (a NaN, a decimal beside a number outside the decimal range) and the
// caller keeps its literal scan.
//
// Value equality is not an equivalence across number kinds: an int meets a
// float through the nearest double (2^53 + 1 equals 2.0^53, which equals
// 2^53), a decimal meets a float through the float's shortest text. Every
// number is therefore hashed by its group double, which all numbers equal to
// it share. Where the numbers of one group are all equal to one another the
// group double is the whole story; where they are not (ints beyond 2^53
// sharing a double, a decimal one digit away from a float's text), ints and
// decimals also carry a refined hash of their exact value and floats become
// wildcards, compared with every value of their coarse bucket. Candidates
// are always confirmed with value equality, in position order, so the index
// gives exactly the scan's first match.
#pragma once

#include <algorithm>
#include <bit>
#include <cstdint>
#include <optional>
#include <span>
#include <utility>
#include <vector>

#include "interpreter_support/value_equality.hpp"
#include "values/vm_execution_error.hpp"
#include "values/vm_value.hpp"
#include "interpreter_support/stoppable_work.hpp"
#include "values/vm_work_meter.hpp"

namespace veln {

struct EqualValueHashes {
  uint64_t coarse = 0;   // equal for any two value-equal values
  uint64_t refined = 0;  // equal for value-equal values that are not wild
  bool wild = false;     // holds a float of a group whose members differ
};

// Starts loading the cache line at `p` (a lookup in a large table is a
// cache miss; callers that know their next keys hide it). GCC drops a
// prefetch whose address it computed inline; the empty asm makes the
// address opaque.
inline void prefetch_opaque(const void* p) {
  asm volatile("" : "+r"(p));
  __builtin_prefetch(p);
}

// A table from 64-bit keys to small records, open addressing over a power
// of two, for the hot paths here (a node-based map allocates per key).
template <class V>
class FlatTable {
 public:
  V& operator[](uint64_t key) {
    if (2 * (used_ + 1) > slots_.size()) grow();
    Slot& s = probe(slots_, key);
    if (!s.used) {
      s = Slot{key, V{}, true};
      ++used_;
    }
    return s.value;
  }
  size_t size() const { return used_; }
  const V* find(uint64_t key) const {
    if (slots_.empty()) return nullptr;
    const Slot& s = probe(slots_, key);
    return s.used ? &s.value : nullptr;
  }
  V* find(uint64_t key) { return const_cast<V*>(std::as_const(*this).find(key)); }
  // Room for `count` keys without growing.
  void reserve(size_t count) {
    const size_t wanted = std::max<size_t>(64, std::bit_ceil(2 * count + 2));
    if (wanted > slots_.size()) rehash(wanted);
  }
  // Starts loading the slot where `key` is looked for (a lookup in a large
  // table is a cache miss; callers that know their next keys hide it).
  void prefetch(uint64_t key) const {
    if (slots_.empty()) return;
    prefetch_opaque(&slots_[static_cast<size_t>(vm_hash_word(key, seed_)) & (slots_.size() - 1)]);
  }
  template <class F>
  void for_each(F f) {
    for (Slot& s : slots_)
      if (s.used) f(s.value);
  }

 private:
  struct Slot {
    uint64_t key = 0;
    V value{};
    bool used = false;
  };
  // The slot of `key`, or the free slot where it goes. Keys are mixed with
  // the process seed: the bits of doubles (and chosen keys) cluster.
  template <class Slots>
  auto& probe(Slots& slots, uint64_t key) const {
    const size_t mask = slots.size() - 1;
    for (size_t i = static_cast<size_t>(vm_hash_word(key, seed_)) & mask;; i = (i + 1) & mask)
      if (!slots[i].used || slots[i].key == key) return slots[i];
  }
  void grow() { rehash(slots_.empty() ? 64 : 2 * slots_.size()); }
  void rehash(size_t size) {
    std::vector<Slot> bigger(size);
    for (Slot& s : slots_)
      if (s.used) probe(bigger, s.key) = std::move(s);
    slots_ = std::move(bigger);
  }
  std::vector<Slot> slots_;
  size_t used_ = 0;
  uint64_t seed_ = vm_hash_seed();
};

// Hashes for one universe of values (every value that will be stored or
// looked up). The universe is read once to find the groups whose members
// are not all equal.
class EqualValueHasher {
 public:
  // Nothing when a comparison among the values could fail, or when a
  // frozenset among them holds two items of one bucket where a wild value
  // could meet them (its hash could not be told from its items), or two
  // items of one refined hash; the hashes of each span's values otherwise.
  // `set_items`: the values are to be set items, so a value that is not
  // hashable (a list, a set, a dict, ..., anywhere inside) refuses too.
  // `defer_wild`: where a group is wild (not transitive()), the hashes are
  // left unrefined until refine() is called (star_leaf needs only the
  // survey).
  static std::optional<EqualValueHasher> build(std::span<const std::span<const VmValue>> universe,
                                               VmWorkMeter* meter, bool set_items = false, bool defer_wild = false);
  // The hashes of the same universe, refined; false where build() would
  // have refused.
  bool refine(std::span<const std::span<const VmValue>> universe, VmWorkMeter* meter);
  const std::vector<EqualValueHashes>& hashes(size_t span) const {
    VELN_DEBUG_CHECK(refined_, "hashes read before refine");
    return hashes_[span];
  }
  bool any_wild() const { return any_wild_; }
  // No float in a group whose members differ: value equality is an
  // equivalence over the universe and equal values share their refined
  // hashes (none is wild).
  bool transitive() const { return transitive_; }
  // A date-time in the universe: two of its values may share a set key
  // (keys stop at the microsecond) without being equal.
  bool holds_datetime() const { return holds_datetime_; }

  // How a leaf of a tuple meets the leaves at its position in other tuples
  // when each group whose members differ holds floats of one double at most
  // (a star: the float in the middle, equal to some of the exact members,
  // which equal one another only by exact value).
  enum class StarRole : uint8_t {
    Plain,   // equal exactly to the leaves of its key
    Member,  // an exact number equal to its group's float too
    Float,   // the float of its group, equal to every member
  };
  struct StarLeaf {
    StarRole role = StarRole::Plain;
    uint64_t key = 0;          // equal for equal Plain or Member leaves; the float's own
    uint64_t float_key = 0;    // Member, Float: the key of the group's float
    uint64_t members_key = 0;  // Member, Float: the key shared by the group's members
  };

 private:
  struct Group;

 public:
  // The group star_leaf met last and its keys: neighbouring leaves mostly
  // share their group, whose lookup and keys then cost nothing. One per
  // walk, used with one hasher.
  class StarLeafMemo {
    friend class EqualValueHasher;
    uint64_t bits_ = 0;
    const Group* group_ = nullptr;  // the wild group of bits_, or nothing yet
    uint64_t float_key_ = 0;
    uint64_t members_key_ = 0;
  };
  // Nothing for a container, or a number of a group that is not a star.
  std::optional<StarLeaf> star_leaf(const VmValue& leaf, StarLeafMemo& memo) const;

 private:
  struct Group {
    const VmValue* first_exact = nullptr;    // the first bool, int or decimal
    const VmValue* first_int = nullptr;      // the first bool or int
    const VmValue* first_decimal = nullptr;  // meets floats apart from the ints
    const VmValue* first_float = nullptr;
    double float_value = 0.0;  // that of the first float
    bool clean = true;  // every member equal to every other
    bool wild = false;  // not clean, with a float
    bool star = true;   // floats of one double at most, each its own group double
  };
  // What the first walk learns: the group doubles of the number leaves in
  // walk order, the groups that hold a number that is not plain, and
  // whether a leaf refuses the universe.
  struct FirstWalk {
    std::vector<double> groups;
    FlatTable<Group> mixed;  // the groups that may hold unequal members
    VmWorkMeter* meter = nullptr;
    bool set_items = false;
    bool decimal = false;
    bool misfit = false;  // a number without a decimal
    bool datetime = false;
    bool bucket_shared = false;  // a set holding two items of one hash
    // The group last noted mixed: neighbouring leaves mostly share theirs.
    std::optional<uint64_t> last_mixed;
  };
  // The group add_to_groups met last (the table is not grown meanwhile).
  struct LastGroup {
    uint64_t bits = 0;
    Group* group = nullptr;
  };
  // `leaf_groups`: the group doubles of v's number leaves, in walk order;
  // advanced past them; `end` ends them all.
  bool add_to_groups(const VmValue& v, const double*& leaf_groups, const double* end, LastGroup& last);
  // With `first`, also surveys v's leaves (nothing for a leaf that refuses
  // the universe) and records its number leaves.
  std::optional<EqualValueHashes> hash_of(const VmValue& v, FirstWalk* first = nullptr) const;
  EqualValueHashes number_hashes(const VmValue& v, uint64_t bits, const Group* g) const;
  uint64_t mix(uint64_t h, uint64_t x) const { return vm_hash_word(h * 0x9e3779b97f4a7c15ULL + x, seed_); }

  // Groups that may hold unequal members, by the bits of the group double;
  // the others are equal throughout and not kept.
  FlatTable<Group> groups_;
  std::vector<std::vector<EqualValueHashes>> hashes_;
  bool any_wild_ = false;
  bool transitive_ = true;
  bool wild_groups_ = false;  // a float in a group whose members differ
  bool holds_datetime_ = false;
  bool refined_ = true;
  uint64_t seed_ = vm_hash_seed();
};

// Positions of values by hash, for a universe where value equality is an
// equivalence and equal values share their hash (that of a transitive
// EqualValueHasher): one probe finds a value's first equal or adds it.
// Positions are added in ascending order; the values are read through the
// caller's `value_at(position)`.
class EquivalenceIndex {
 public:
  // Room for `capacity` hashes without growing.
  explicit EquivalenceIndex(size_t capacity)
      : slots_(std::max<size_t>(16, std::bit_ceil(capacity + capacity / 2 + 1)), Slot{}) {}
  template <class ValueAt>
  VmResult<std::optional<uint32_t>> find_or_add(uint64_t hash, const VmValue& v, uint32_t p, const ValueAt& value_at,
                                                VmWorkMeter* meter) {
    work_step(meter);
    Slot* s = &probe(hash);
    if (s->head == kEnd) {
      if (3 * (used_ + 1) > 2 * slots_.size()) {
        grow();
        s = &probe(hash);
      }
      *s = Slot{hash, p, p};
      ++used_;
      return std::optional<uint32_t>();
    }
    VELN_TRY(const std::optional<uint32_t> q, first_equal(s->head, v, value_at, meter));
    if (q) return q;
    // Another value of this hash (rare): chained after the last one.
    if (next_.size() <= p) next_.resize(std::max<size_t>(p + 1, 2 * next_.size()), kEnd);
    next_[s->tail] = p;
    s->tail = p;
    return std::optional<uint32_t>();
  }
  template <class ValueAt>
  VmResult<std::optional<uint32_t>> find(uint64_t hash, const VmValue& v, const ValueAt& value_at,
                                         VmWorkMeter* meter) const {
    work_step(meter);
    const Slot& s = probe(hash);
    if (s.head == kEnd) return std::optional<uint32_t>();
    return first_equal(s.head, v, value_at, meter);
  }
  void prefetch(uint64_t hash) const {
    prefetch_opaque(&slots_[static_cast<size_t>(hash) & (slots_.size() - 1)]);
  }

 private:
  static constexpr uint32_t kEnd = UINT32_MAX;
  // The hashes are seeded mixes already, so their low bits place them.
  struct Slot {
    uint64_t hash = 0;
    uint32_t head = kEnd;  // kEnd: a free slot
    uint32_t tail = kEnd;
  };
  template <class Slots>
  static auto& probe_in(Slots& slots, uint64_t hash) {
    const size_t mask = slots.size() - 1;
    for (size_t i = static_cast<size_t>(hash) & mask;; i = (i + 1) & mask)
      if (slots[i].head == kEnd || slots[i].hash == hash) return slots[i];
  }
  Slot& probe(uint64_t hash) { return probe_in(slots_, hash); }
  const Slot& probe(uint64_t hash) const { return probe_in(slots_, hash); }
  void grow() {
    std::vector<Slot> bigger(2 * slots_.size(), Slot{});
    for (const Slot& s : slots_)
      if (s.head != kEnd) probe_in(bigger, s.hash) = s;
    slots_ = std::move(bigger);
  }
  template <class ValueAt>
  VmResult<std::optional<uint32_t>> first_equal(uint32_t q, const VmValue& v, const ValueAt& value_at,
                                                VmWorkMeter* meter) const {
    for (; q != kEnd; q = q < next_.size() ? next_[q] : kEnd) {
      work_step(meter);
      VELN_TRY(const bool equal, vm_values_equal(value_at(q), v));
      if (equal) return std::optional<uint32_t>(q);
    }
    return std::optional<uint32_t>();
  }
  std::vector<Slot> slots_;
  size_t used_ = 0;
  std::vector<uint32_t> next_;  // by position: the next of its hash, once any hash has two
};

// Positions of stored values by their hashes. Positions are added in
// ascending order; a stored value may be replaced by a value-equal one.
class EqualValueIndex {
 public:
  // `any_wild`: whether a wild value may be stored or looked up; without
  // one the refined hashes alone are kept.
  explicit EqualValueIndex(bool any_wild) : any_wild_(any_wild) {}
  // Positions 0 .. hashes.size() - 1 in one go.
  void add_all(std::span<const EqualValueHashes> hashes);
  void add(uint32_t position, const EqualValueHashes& h);
  void replace(uint32_t position, const EqualValueHashes& before, const EqualValueHashes& after);
  // Starts loading what first_equal will read first for these hashes.
  void prefetch(const EqualValueHashes& h) const {
    if (h.wild) {
      by_coarse_.by_key.prefetch(h.coarse);
    } else {
      by_refined_.by_key.prefetch(h.refined);
    }
  }
  // The first position p for which vm_values_equal(stored[p], needle) holds.
  VmResult<std::optional<uint32_t>> first_equal(std::span<const VmValue> stored, const VmValue& needle,
                                                const EqualValueHashes& h, VmWorkMeter* meter) const;

 private:
  static constexpr uint32_t kEnd = UINT32_MAX;
  // Positions of one key, ascending, as a list threaded through `next`.
  struct Chain {
    uint32_t head = kEnd;
    uint32_t tail = kEnd;
  };
  struct Chains {
    FlatTable<Chain> by_key;
    std::vector<uint32_t> next;  // by position
    void push(uint64_t key, uint32_t p);
    void erase(uint64_t key, uint32_t p);
    void insert(uint64_t key, uint32_t p);
    uint32_t head(uint64_t key) const;
  };

  bool any_wild_;
  Chains by_refined_;      // values that are not wild
  Chains wild_by_coarse_;  // wild values
  Chains by_coarse_;       // all values
};

}  // namespace veln
