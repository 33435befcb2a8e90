// Keys of tuples are sums of one term per leaf (its key mixed with its
// place) plus a term for the nesting shape, so that changing the key chosen
// at one place changes the sum by a known amount and the keys of all
// choices are walked one change at a time. Keys of frozensets are sums of
// one term per distinct key plus a term for the size, so a needle walks the
// subsets of what it provides the same way.
#include "interpreter_support/sets/star_tuple_index.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <utility>

#include "interpreter_support/stoppable_work.hpp"
#include "interpreter_support/value_equality.hpp"
#include "values/vm_sort.hpp"

namespace veln {
namespace {

// Keys filed for all values together at most (a node and at most a table
// slot each, some 36 bytes): the choices of a value multiply, and a list of
// a few hundred thousand size units could otherwise ask for gigabytes.
constexpr uint64_t kMaxFiled = uint64_t{1} << 21;

constexpr size_t kWalkAhead = 8;

constexpr uint64_t kTupleTag = 0x7475706cu;
constexpr uint64_t kLeafTag = 0x6c656166u;
constexpr uint64_t kPlaceStep = 0x9e3779b97f4a7c15ULL;
constexpr uint64_t kSetTag = 0x73657473u;

struct FormWalk {
  FormWalk(const EqualValueHasher& h, uint64_t s) : hasher(h), seed(s) {}
  const EqualValueHasher& hasher;
  uint64_t seed;
  EqualValueHasher::StarLeafMemo memo;
  uint64_t shape = 0;
  uint64_t stored = 0;
  uint64_t needle = 0;
  uint32_t places = 0;
  std::vector<uint64_t> stored_deltas;
  std::vector<uint64_t> needle_deltas;

  uint64_t mix(uint64_t h, uint64_t x) const { return vm_hash_word(h * kPlaceStep + x, seed); }
  uint64_t term(uint64_t key, uint32_t place) const { return vm_hash_word(key + (uint64_t{place} + 1) * kPlaceStep, seed); }

  // Depth is bounded by the nesting limit.
  bool walk(const VmValue& v) {
    if (v.is(VmKind::Tuple)) {
      const auto items = v.items();
      shape = mix(shape, kTupleTag + items.size());
      for (const VmValue& item : items)
        if (!walk(item)) return false;
      return true;
    }
    const std::optional<EqualValueHasher::StarLeaf> leaf = hasher.star_leaf(v, memo);
    if (!leaf) return false;
    shape = mix(shape, kLeafTag);
    const uint32_t place = places++;
    const uint64_t own = term(leaf->key, place);
    stored += own;
    needle += own;
    switch (leaf->role) {
      case EqualValueHasher::StarRole::Plain:
        break;
      case EqualValueHasher::StarRole::Member:
        stored_deltas.push_back(term(leaf->members_key, place) - own);
        needle_deltas.push_back(term(leaf->float_key, place) - own);
        break;
      case EqualValueHasher::StarRole::Float:
        needle_deltas.push_back(term(leaf->members_key, place) - own);
        break;
    }
    return true;
  }
};

// The keys of a frozenset of star leaves: its stored keys (sorted, distinct)
// into `stored`, its needle's base and per provided key deltas; false when
// a leaf is not a star leaf or the frozenset has more than kMaxChoices
// leaves or provided keys.
bool set_form(const EqualValueHasher& hasher, EqualValueHasher::StarLeafMemo& memo, uint64_t seed, const VmValue& v,
              std::vector<uint64_t>& stored, uint64_t& needle_base, std::vector<uint64_t>& needle_deltas) {
  constexpr unsigned kMax = StarTupleIndex::kMaxChoices;
  const auto items = v.items();
  if (items.size() > kMax) return false;
  // Written before read, and left unset (zeroing them was a tenth of the
  // walk).
  std::array<uint64_t, kMax> own;
  std::array<uint64_t, kMax> other;  // the other need of a two-way leaf
  std::array<uint64_t, 2 * kMax> provided;
  size_t provided_count = 0;
  uint32_t two_way = 0;
  for (size_t i = 0; i < items.size(); ++i) {
    const std::optional<EqualValueHasher::StarLeaf> leaf = hasher.star_leaf(items[i], memo);
    if (!leaf) return false;
    own[i] = leaf->key;
    provided[provided_count++] = leaf->key;
    switch (leaf->role) {
      case EqualValueHasher::StarRole::Plain:
        break;
      case EqualValueHasher::StarRole::Member:
        other[i] = leaf->float_key;
        two_way |= uint32_t{1} << i;
        provided[provided_count++] = leaf->members_key;
        break;
      case EqualValueHasher::StarRole::Float:
        other[i] = leaf->members_key;
        two_way |= uint32_t{1} << i;
        break;
    }
  }
  vm_stable_sort(provided.begin(), provided.begin() + static_cast<std::ptrdiff_t>(provided_count));
  provided_count = static_cast<size_t>(std::unique(provided.begin(), provided.begin() + static_cast<std::ptrdiff_t>(provided_count)) -
                                       provided.begin());
  if (provided_count > kMax) return false;
  const auto term = [seed](uint64_t key) { return vm_hash_word(key, seed + kSetTag); };
  needle_base = vm_hash_word(kSetTag * kPlaceStep + items.size(), seed);
  for (size_t j = 0; j < provided_count; ++j) needle_deltas.push_back(term(provided[j]));
  // The distinct keys of the leaves' needs, numbered, each term mixed once:
  // a choice is then the set of its keys' numbers (a key chosen twice
  // counts once), and its key the sum of their terms.
  std::array<uint64_t, 2 * kMax> keys;
  std::array<uint64_t, 2 * kMax> terms;
  size_t key_count = 0;
  const auto number = [&](uint64_t key) {
    for (size_t j = 0; j < key_count; ++j)
      if (keys[j] == key) return uint32_t{1} << j;
    keys[key_count] = key;
    terms[key_count] = term(key);
    return uint32_t{1} << key_count++;
  };
  std::array<uint32_t, kMax> own_number;
  std::array<uint32_t, kMax> other_number;
  for (size_t i = 0; i < items.size(); ++i) {
    own_number[i] = number(own[i]);
    if (two_way >> i & 1) other_number[i] = number(other[i]);
  }
  // Every choice: the masks over the two-way leaves.
  const size_t first = stored.size();
  for (uint32_t mask = two_way;; mask = (mask - 1) & two_way) {
    uint32_t chosen = 0;
    for (size_t i = 0; i < items.size(); ++i) chosen |= mask >> i & 1 ? other_number[i] : own_number[i];
    uint64_t key = needle_base;
    for (; chosen != 0; chosen &= chosen - 1) key += terms[static_cast<size_t>(std::countr_zero(chosen))];
    stored.push_back(key);
    if (mask == 0) break;
  }
  vm_stable_sort(stored.begin() + static_cast<std::ptrdiff_t>(first), stored.end());
  stored.erase(std::unique(stored.begin() + static_cast<std::ptrdiff_t>(first), stored.end()), stored.end());
  return true;
}

}  // namespace

std::optional<StarTupleIndex> StarTupleIndex::build(const EqualValueHasher& hasher,
                                                    std::span<const std::span<const VmValue>> universe,
                                                    VmWorkMeter* meter) {
  StarTupleIndex index;
  FormWalk walk(hasher, vm_hash_seed());
  uint64_t filed = 0;
  size_t total = 0;
  for (const auto values : universe) total += values.size();
  index.forms_.reserve(total);
  index.deltas_.reserve(4 * total);  // two two-way places a value, say
  for (const auto values : universe) {
    index.span_starts_.push_back(static_cast<uint32_t>(index.forms_.size()));
    for (size_t i = 0; i < values.size(); ++i) {
      // Loading the containers' buffers, then their leaves', bounds the
      // walk: started ahead, as the hasher's walk does.
      if (i + 2 * kWalkAhead < values.size()) values[i + 2 * kWalkAhead].prefetch();
      if (i + kWalkAhead < values.size() &&
          (values[i + kWalkAhead].is(VmKind::Tuple) || values[i + kWalkAhead].is(VmKind::FrozenSet)))
        for (const VmValue& leaf : values[i + kWalkAhead].items()) leaf.prefetch();
      const VmValue& v = values[i];
      // The walk visits every leaf (about the value's units), and each key
      // of a choice is worked out and filed.
      work_step(meter, 1 + vm_key_read_steps(v));
      Form f;
      f.first_delta = static_cast<uint32_t>(index.deltas_.size());
      if (v.is(VmKind::FrozenSet)) {
        walk.needle_deltas.clear();
        if (!set_form(hasher, walk.memo, walk.seed, v, index.deltas_, f.needle_base, walk.needle_deltas)) return std::nullopt;
        f.listed = true;
        f.stored_count = static_cast<uint16_t>(index.deltas_.size() - f.first_delta);
        filed += f.stored_count;
        work_step(meter, f.stored_count * v.item_count());
      } else {
        if (!v.is(VmKind::Tuple)) return std::nullopt;
        walk.shape = walk.stored = walk.needle = 0;
        walk.places = 0;
        walk.stored_deltas.clear();
        walk.needle_deltas.clear();
        if (!walk.walk(v) || walk.needle_deltas.size() > kMaxChoices) return std::nullopt;
        filed += uint64_t{1} << walk.stored_deltas.size();
        work_step(meter, uint64_t{1} << walk.stored_deltas.size());
        f.stored_base = walk.shape + walk.stored;
        f.needle_base = walk.shape + walk.needle;
        f.stored_count = static_cast<uint16_t>(walk.stored_deltas.size());
        index.deltas_.insert(index.deltas_.end(), walk.stored_deltas.begin(), walk.stored_deltas.end());
      }
      if (filed > kMaxFiled) return std::nullopt;
      f.needle_choices = static_cast<uint8_t>(walk.needle_deltas.size());
      index.deltas_.insert(index.deltas_.end(), walk.needle_deltas.begin(), walk.needle_deltas.end());
      index.forms_.push_back(f);
    }
  }
  // Values mostly share the keys of their choices: about one key per value.
  index.size_chains(index.forms_.size());
  index.nodes_.reserve(static_cast<size_t>(filed));
  return index;
}

void StarTupleIndex::size_chains(size_t count) {
  const size_t size = std::max<size_t>(64, std::bit_ceil(count + count / 3 + 1));
  std::vector<Chain> old = std::exchange(chains_, std::vector<Chain>(size));
  shift_ = static_cast<unsigned>(64 - std::countr_zero(size));
  for (const Chain& c : old)
    if (c.head != kEnd) slot(c.key) = c;
}

StarTupleIndex::Chain& StarTupleIndex::slot(uint64_t key) {
  const size_t mask = chains_.size() - 1;
  for (size_t i = home(key);; i = (i + 1) & mask)
    if (chains_[i].head == kEnd || chains_[i].key == key) return chains_[i];
}

StarTupleIndex::Chain* StarTupleIndex::find(uint64_t key) {
  Chain& c = slot(key);
  return c.head == kEnd ? nullptr : &c;
}

// Every key of the choices, in Gray-code order: one delta added or taken
// back per step.
template <class Visit>
void StarTupleIndex::each_key(uint64_t base, std::span<const uint64_t> deltas, const Visit& visit) {
  uint64_t key = base;
  visit(key);
  uint32_t chosen = 0;
  const uint32_t count = uint32_t{1} << deltas.size();
  for (uint32_t step = 1; step < count; ++step) {
    const int bit = std::countr_zero(step);
    key = chosen >> bit & 1 ? key - deltas[bit] : key + deltas[bit];
    chosen ^= uint32_t{1} << bit;
    visit(key);
  }
}

template <class Visit>
void StarTupleIndex::each_stored_key(const Form& f, const Visit& visit) const {
  if (!f.listed) return each_key(f.stored_base, stored_deltas(f), visit);
  for (const uint64_t key : stored_deltas(f)) visit(key);
}

void StarTupleIndex::file(uint64_t key, uint32_t position) {
  Chain* c = &slot(key);
  if (c->head == kEnd) {
    if (4 * (chains_used_ + 1) > 3 * chains_.size()) {
      size_chains(2 * chains_used_ + 2);
      c = &slot(key);
    }
    ++chains_used_;
    c->key = key;
    c->head = c->tail = kNone;
  }
  const uint32_t version = versions_[position];
  if (c->tail == kNone || nodes_[c->tail].position <= position) {
    const auto node = static_cast<uint32_t>(nodes_.size());
    nodes_.push_back(Node{position, version, kEnd});
    (c->tail == kNone ? c->head : nodes_[c->tail].next) = node;
    c->tail = node;
    return;
  }
  uint32_t late;
  if (const uint32_t* known = late_of_.find(key)) {
    late = *known;
  } else {
    late = late_of_[key] = static_cast<uint32_t>(late_.size());
    late_.emplace_back();
  }
  std::vector<Filed>& heap = late_[late];
  heap.push_back(Filed{position, version});
  std::push_heap(heap.begin(), heap.end(), [](const Filed& a, const Filed& b) { return a.position > b.position; });
}

void StarTupleIndex::add(uint32_t position, uint32_t value) {
  if (versions_.size() <= position) versions_.resize(std::max<size_t>(position + 1, 2 * versions_.size()), 0);
  const Form& f = forms_[value];
  each_stored_key(f, [&](uint64_t key) { file(key, position); });
}

void StarTupleIndex::add_all(uint32_t first_value, size_t count) {
  for (size_t p = 0; p < count; ++p) add(static_cast<uint32_t>(p), first_value + static_cast<uint32_t>(p));
}

void StarTupleIndex::replace(uint32_t position, uint32_t before, uint32_t after) {
  const Form& b = forms_[before];
  const Form& a = forms_[after];
  const auto bd = stored_deltas(b), ad = stored_deltas(a);
  if (b.listed == a.listed && b.stored_base == a.stored_base && std::equal(bd.begin(), bd.end(), ad.begin(), ad.end()))
    return;
  ++versions_[position];
  add(position, after);
}

uint32_t StarTupleIndex::first_current(Chain& c) {
  uint32_t head = c.head;
  while (head != kNone && !current(nodes_[head].position, nodes_[head].version)) {
    head = nodes_[head].next;
    if (head == kEnd) head = c.tail = kNone;
  }
  c.head = head;
  uint32_t first = head == kNone ? kEnd : nodes_[head].position;
  const uint32_t* late = late_.empty() ? nullptr : late_of_.find(c.key);
  if (late != nullptr) {
    std::vector<Filed>& heap = late_[*late];
    const auto later = [](const Filed& a, const Filed& b) { return a.position > b.position; };
    while (!heap.empty() && !current(heap.front().position, heap.front().version)) {
      std::pop_heap(heap.begin(), heap.end(), later);
      heap.pop_back();
    }
    if (!heap.empty()) first = std::min(first, heap.front().position);
  }
  return first;
}

void StarTupleIndex::prefetch(uint32_t value) const {
  const Form& f = forms_[value];
  const auto load = [this](uint64_t key) { prefetch_opaque(&chains_[home(key)]); };
  each_key(f.needle_base, needle_deltas(f), load);
  // A value without an equal is filed next, under its own keys.
  each_stored_key(f, load);
}

VmResult<std::optional<uint32_t>> StarTupleIndex::first_equal(std::span<const VmValue> stored, const VmValue& needle,
                                                              uint32_t value, VmWorkMeter* meter) {
  const Form& f = forms_[value];
  uint32_t first = kEnd;
  each_key(f.needle_base, needle_deltas(f), [&](uint64_t key) {
    work_step(meter);
    if (Chain* c = find(key)) first = std::min(first, first_current(*c));
  });
  if (first == kEnd) return std::optional<uint32_t>();
  work_step(meter);
  VELN_TRY(const bool equal, vm_values_equal(stored[first], needle));
  if (equal) return std::optional<uint32_t>(first);
  // Two keys collided: the scan itself answers. Collisions depend on the
  // process's hash seed, so this scan is not counted against the cap (the
  // count must depend on the values alone); being rare, it cannot stall.
  for (uint32_t p = 0; p < stored.size(); ++p) {
    work_step(meter);
    VELN_TRY(const bool match, vm_values_equal(stored[p], needle));
    if (match) return std::optional<uint32_t>(p);
  }
  return std::optional<uint32_t>();
}

}  // namespace veln
