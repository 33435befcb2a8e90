// Hashes consistent with value equality. A number's group double:
//   bool: 0.0 or 1.0; int: its nearest double (ties to even), which is what
//   a float meets; float: itself (-0.0 as 0.0), except a float below 1e-13
//   whose decimal conversion drops digits, which takes the group double of
//   that decimal (the decimal it equals); decimal: the nearest double of its
//   exact value, which is the float whose shortest text it is, and the
//   nearest double of the int it equals.
// So value-equal numbers share a group double. Containers fold their items'
// hashes (frozensets over their items' sorted hashes, which value-equal
// frozensets share when no two items of one share a hash).
#include "interpreter_support/sets/equal_value_index.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <string>

#include "interpreter_support/comparison_budget.hpp"
#include "interpreter_support/sets/set_keys.hpp"
#include "interpreter_support/stoppable_work.hpp"
#include "interpreter_support/value_equality.hpp"
#include "interpreter_support/value_match_index.hpp"
#include "values/vm_decimal.hpp"
#include "values/vm_sort.hpp"

namespace veln {
namespace {

bool is_number_leaf(const VmValue& v) { return vm_needle_class(v) == NeedleClass::Numeric; }

// How many values ahead of the hashing walk their buffers are loaded.
constexpr size_t kWalkAhead = 8;

constexpr uint64_t kNumberTag = 0x6e756d62u;
constexpr uint64_t kExactTag = 0x65786163u;
constexpr uint64_t kTupleTag = 0x7475706cu;
constexpr uint64_t kListTag = 0x6c697374u;
constexpr uint64_t kSetTag = 0x73657473u;
constexpr uint64_t kDictTag = 0x64696374u;
constexpr uint64_t kFloatTag = 0x666c6f61u;
constexpr uint64_t kMembersTag = 0x6d656d62u;

uint64_t double_bits(double x) {
  if (x == 0.0) x = 0.0;
  uint64_t bits;
  std::memcpy(&bits, &x, sizeof bits);
  return bits;
}

// `whole`: set when d is a whole number of at most 2^53 (its double exactly).
double decimal_double(const VmDecimal& d, bool* whole = nullptr) {
  // A whole number below 2^53 is its double exactly; others are read from
  // their text, rounding to nearest like the int and float paths.
  if (const std::optional<mpz_class> k = vm_decimal_whole_value(d)) {
    if (mpz_fits_slong_p(k->get_mpz_t())) {
      const long v = mpz_get_si(k->get_mpz_t());
      if (v <= kExactIntLimit && v >= -kExactIntLimit) {
        if (whole != nullptr) *whole = true;
        return static_cast<double>(v);
      }
    }
  }
  return d.to_f64();
}

// The nearest double of an int (ties to even). Ints of two limbs, the usual
// ones beyond 2^53, convert in one rounding step of the compiler's 128-bit
// conversion, without counting bits.
double int_double(const VmValue& v) {
  if (v.int_is_small()) return vm_int_to_f64(v);
  static_assert(GMP_NUMB_BITS == 64);
  const mpz_srcptr z = v.big_int().get_mpz_t();
  if (mpz_size(z) > 2) return vm_int_to_f64(v);
  const auto magnitude = static_cast<unsigned __int128>(mpz_getlimbn(z, 1)) << 64 | mpz_getlimbn(z, 0);
  const auto x = static_cast<double>(magnitude);
  return mpz_sgn(z) < 0 ? -x : x;
}

// Not NaN. `plain`: cleared for a number that can share its group double
// with an unequal number: an int or float at or beyond 2^53, a nonzero float
// below 1e-13, a decimal that is not a whole number below 2^53. A group of
// plain numbers holds one value (below 2^53 an int is its double exactly, and
// a whole float there reads as the decimal of its integer), so it is equal
// throughout.
double group_double(const VmValue& v, bool* plain = nullptr) {
  bool dummy = true;
  bool& is_plain = plain != nullptr ? *plain : dummy;
  is_plain = true;
  switch (v.kind()) {
    case VmKind::Bool:
      return v.bool_value() ? 1.0 : 0.0;
    case VmKind::Int: {
      const double x = int_double(v);
      is_plain = std::fabs(x) < kTwoTo53;
      return x;
    }
    case VmKind::Float: {
      const double f = v.float_value();
      const bool tiny = f != 0.0 && std::fabs(f) < kTinyFloatLimit;
      is_plain = !tiny && std::fabs(f) < kTwoTo53;
      if (tiny && vm_decimal_conversion_truncates(f)) {
        if (auto d = VmDecimal::from_f64(f); d.ok()) return decimal_double(*d);
      }
      return f;
    }
    default: {
      bool whole = false;
      const double x = decimal_double(v.decimal_value(), &whole);
      is_plain = whole && std::fabs(x) < kTwoTo53;
      return x;
    }
  }
}

// A number that the decimal conversion refuses.
bool decimal_misfit(const VmValue& v) {
  if (v.is(VmKind::Float)) return !(std::fabs(v.float_value()) < kDecimalFloatLimit);
  if (!v.is(VmKind::Int) || v.int_is_small()) return false;
  // Below 2^202 < 10^61 an int has at most 61 digits and fits; only longer
  // ones pay for the conversion.
  const mpz_srcptr z = v.big_int().get_mpz_t();
  if (mpz_size(z) <= 3 || mpz_sizeinbase(z, 2) <= 202) return false;
  return !VmDecimal::from_bigint(v.big_int()).ok();
}

// The exact value of an int: its words mixed in turn (an int is small
// exactly when it fits one: no value has both forms).
uint64_t int_token(const VmValue& v, uint64_t seed) {
  if (v.int_is_small()) return vm_hash_word(static_cast<uint64_t>(v.small_int()), seed);
  const mpz_srcptr z = v.big_int().get_mpz_t();
  uint64_t h = vm_hash_word(static_cast<uint64_t>(mpz_sgn(z) + 2) * 0x9e3779b97f4a7c15ULL, seed);
  for (size_t i = 0, n = mpz_size(z); i < n; ++i) h = vm_hash_word(h * 0x9e3779b97f4a7c15ULL + mpz_getlimbn(z, static_cast<mp_size_t>(i)), seed);
  return h;
}

// The exact value of a bool, int or decimal: equal for equal values.
uint64_t exact_token(const VmValue& v) {
  const uint64_t seed = vm_hash_seed();
  if (v.is(VmKind::Int)) return int_token(v, seed);
  if (v.is(VmKind::Bool)) return int_token(VmValue::integer(v.bool_value() ? 1 : 0), seed);
  if (v.is(VmKind::Decimal)) {
    if (std::optional<mpz_class> k = vm_decimal_whole_value(v.decimal_value())) {
      return int_token(VmValue::integer(*std::move(k)), seed);
    }
  }
  return vm_structural_hash(v, seed);
}

// Calls `leaf` on every value inside `v` that is not a tuple, list, set or
// frozenset (the containers whose items value equality compares); stops at
// the first false.
template <class Leaf>
bool walk_leaves(const VmValue& v, Leaf& leaf) {
  switch (v.kind()) {
    case VmKind::Tuple:
    case VmKind::List:
    case VmKind::Set:
    case VmKind::FrozenSet:
      // Depth is bounded by the nesting limit.
      for (const VmValue& item : v.items())
        if (!walk_leaves(item, leaf)) return false;
      return true;
    default:
      return leaf(v);
  }
}

}  // namespace


bool EqualValueHasher::add_to_groups(const VmValue& v, const double*& leaf_groups, const double* end,
                                     LastGroup& last) {
  constexpr ptrdiff_t kLookAhead = 8;
  auto leaf = [&](const VmValue& x) {
    if (!is_number_leaf(x)) return true;
    if (end - leaf_groups > kLookAhead) groups_.prefetch(double_bits(leaf_groups[kLookAhead]));
    const double group = *leaf_groups++;
    const uint64_t bits = double_bits(group);
    if (last.group == nullptr || last.bits != bits) {
      Group* tracked = groups_.find(bits);
      if (tracked == nullptr) return true;
      last = LastGroup{bits, tracked};
    }
    Group& g = *last.group;
    if (x.is(VmKind::Float)) {
      // A tiny float standing for the decimal it truncates to meets that
      // group's members through another double than its own.
      if (group != x.float_value()) g.star = false;
      if (g.first_float == nullptr) {
        g.first_float = &x;
        g.float_value = x.float_value();
      } else if (g.float_value != x.float_value()) {
        g.clean = false;
        g.star = false;
      }
      return true;
    }
    const VmValue*& first_of_kind = x.is(VmKind::Decimal) ? g.first_decimal : g.first_int;
    if (first_of_kind == nullptr) first_of_kind = &x;
    if (g.first_exact == nullptr) {
      g.first_exact = &x;
      return true;
    }
    if (!g.clean) return true;
    auto equal = vm_values_equal(*g.first_exact, x);
    if (!equal.ok()) return false;
    g.clean = *equal;
    return true;
  };
  return walk_leaves(v, leaf);
}

std::optional<EqualValueHasher> EqualValueHasher::build(std::span<const std::span<const VmValue>> universe,
                                                        VmWorkMeter* meter, bool set_items, bool defer_wild) {
  EqualValueHasher hasher;
  // Each value is surveyed and hashed in one walk, as if every group were
  // equal throughout; hashed again below if not. The group doubles of the
  // number leaves (a decimal's costs a division) are kept in walk order for
  // the grouping pass.
  FirstWalk leaves;
  leaves.meter = meter;
  leaves.set_items = set_items;
  hasher.hashes_.resize(universe.size());
  for (size_t s = 0; s < universe.size(); ++s) {
    hasher.hashes_[s].resize(universe[s].size());
    // The walk is bound by loading the values' buffers: each is started
    // well ahead, and a container's items once its buffer has arrived.
    const std::span<const VmValue> values = universe[s];
    for (size_t i = 0; i < values.size(); ++i) {
      if (i + 2 * kWalkAhead < values.size()) values[i + 2 * kWalkAhead].prefetch();
      if (i + kWalkAhead < values.size() && vm_kind_is_sequence(values[i + kWalkAhead].kind()))
        __builtin_prefetch(values[i + kWalkAhead].items().data());
      auto h = hasher.hash_of(values[i], &leaves);
      if (!h) return std::nullopt;
      hasher.hashes_[s][i] = *h;
    }
  }
  if (leaves.decimal && leaves.misfit) return std::nullopt;
  hasher.holds_datetime_ = leaves.datetime;
  // Only the groups that hold a number that is not plain may hold unequal
  // members.
  if (leaves.mixed.size() == 0) return leaves.bucket_shared ? std::nullopt : std::optional(std::move(hasher));
  hasher.groups_ = std::move(leaves.mixed);
  const std::vector<double>& leaf_groups = leaves.groups;
  const double* next_group = leaf_groups.data();
  LastGroup last;
  for (const auto values : universe) {
    for (const VmValue& v : values) {
      // The walk visits every leaf: about the value's units.
      work_step(meter, 1 + vm_key_read_steps(v));
      if (!hasher.add_to_groups(v, next_group, leaf_groups.data() + leaf_groups.size(), last)) return std::nullopt;
    }
  }
  bool failed = false;
  bool any_unclean = false;
  bool wild_groups = false;
  hasher.groups_.for_each([&](Group& g) {
    // The exact members are equal to one another; the floats (one double)
    // must meet an int of the group and a decimal of it alike.
    for (const VmValue* exact : {g.first_int, g.first_decimal}) {
      if (!g.clean || exact == nullptr || g.first_float == nullptr) continue;
      auto equal = vm_values_equal(*g.first_float, *exact);
      failed |= !equal.ok();
      g.clean = equal.ok() && *equal;
    }
    any_unclean |= !g.clean;
    g.wild = !g.clean && g.first_float != nullptr;
    wild_groups |= g.wild;
    g.first_exact = g.first_int = g.first_decimal = g.first_float = nullptr;  // the universe may go; only `clean` stays
  });
  if (failed) return std::nullopt;
  // With every group equal throughout, the first hashes stand (and a set
  // with two items of one hash has no hash of its own).
  if (!any_unclean) return leaves.bucket_shared ? std::nullopt : std::optional(std::move(hasher));
  // Groups of ints and decimals alone are equal by exact value, which the
  // refined hashes follow: only their floats make a group intransitive.
  hasher.wild_groups_ = wild_groups;
  hasher.transitive_ = !wild_groups;
  if (wild_groups && defer_wild) {
    // The first hashes are of no use now (refine() writes them all anew):
    // their memory goes back before the caller's next tables are built.
    hasher.hashes_ = std::vector<std::vector<EqualValueHashes>>(universe.size());
    hasher.refined_ = false;
    return hasher;
  }
  if (!hasher.refine(universe, meter)) return std::nullopt;
  return hasher;
}

bool EqualValueHasher::refine(std::span<const std::span<const VmValue>> universe, VmWorkMeter* meter) {
  for (size_t s = 0; s < universe.size(); ++s) {
    hashes_[s].resize(universe[s].size());
    for (size_t i = 0; i < universe[s].size(); ++i) {
      // The walk visits every leaf: about the value's units.
      work_step(meter, 1 + vm_key_read_steps(universe[s][i]));
      auto h = hash_of(universe[s][i]);
      if (!h) return false;
      hashes_[s][i] = *h;
      any_wild_ |= h->wild;
    }
  }
  refined_ = true;
  return true;
}

std::optional<EqualValueHashes> EqualValueHasher::hash_of(const VmValue& v, FirstWalk* first) const {
  if (first != nullptr) {
    work_step(first->meter);
    switch (v.kind()) {
      case VmKind::Int:
        first->misfit |= decimal_misfit(v);
        break;
      case VmKind::Float:
        if (std::isnan(v.float_value())) return std::nullopt;
        first->misfit |= decimal_misfit(v);
        break;
      case VmKind::Decimal:
        first->decimal = true;
        break;
      case VmKind::DateTime:
        first->datetime = true;
        break;
      case VmKind::Dict:
        return std::nullopt;  // a dict's values could compare with an error
      default:
        break;
    }
    if (first->set_items && !vm_set_key_variant(v.kind())) return std::nullopt;
  }
  switch (v.kind()) {
    case VmKind::Bool:
    case VmKind::Int:
    case VmKind::Float:
    case VmKind::Decimal: {
      bool plain = true;
      const double group = group_double(v, &plain);
      const uint64_t bits = double_bits(group);
      if (first != nullptr) {
        first->groups.push_back(group);
        if (!plain && first->last_mixed != bits) {
          first->mixed[bits];
          first->last_mixed = bits;
        }
      }
      return number_hashes(v, bits, groups_.find(bits));
    }
    case VmKind::Bytes:
    case VmKind::ByteArray: {
      const uint64_t h = vm_structural_hash(v.with_kind(VmKind::Bytes), vm_hash_seed());
      return EqualValueHashes{h, h, false};
    }
    case VmKind::Tuple:
    case VmKind::List: {
      const auto items = v.items();
      EqualValueHashes out;
      out.coarse = out.refined = mix(v.is(VmKind::Tuple) ? kTupleTag : kListTag, items.size());
      for (const VmValue& item : items) {
        const auto h = hash_of(item, first);
        if (!h) return std::nullopt;
        // Mostly the two hashes agree throughout: one mix serves both.
        const bool agreed = out.coarse == out.refined && h->coarse == h->refined;
        out.coarse = mix(out.coarse, h->coarse);
        out.refined = agreed ? out.coarse : mix(out.refined, h->refined);
        out.wild |= h->wild;
      }
      return out;
    }
    case VmKind::Set:
    case VmKind::FrozenSet: {
      const auto items = v.items();
      // Small sets (the usual items) sort their hashes on the stack.
      constexpr size_t kInline = 16;
      std::array<uint64_t, 2 * kInline> inline_hashes;
      std::vector<uint64_t> heap_hashes;
      if (items.size() > kInline) heap_hashes.resize(2 * items.size());
      const std::span<uint64_t> all = items.size() > kInline ? std::span<uint64_t>(heap_hashes)
                                                             : std::span<uint64_t>(inline_hashes).first(2 * items.size());
      const std::span<uint64_t> coarse = all.first(items.size());
      const std::span<uint64_t> refined = all.last(items.size());
      bool wild = false;
      bool agreed = true;  // every item's two hashes equal: one sort serves both
      for (size_t i = 0; i < items.size(); ++i) {
        const auto h = hash_of(items[i], first);
        if (!h) return std::nullopt;
        coarse[i] = h->coarse;
        refined[i] = h->refined;
        wild |= h->wild;
        agreed &= h->coarse == h->refined;
      }
      // Two items of one bucket, where a wild value could meet them: an
      // equal frozenset may hold other buckets. Two of one refined hash:
      // an equal frozenset may hold other items. The first walk, which
      // takes every group as equal throughout, only notes either.
      const auto sort_hashes = [meter = first != nullptr ? first->meter : nullptr](std::span<uint64_t> hashes) {
        stoppable_sort(meter, hashes.size(), std::less<uint64_t>(),
                         [hashes](auto&& less) { vm_stable_sort(hashes.begin(), hashes.end(), less); });
      };
      sort_hashes(coarse);
      if (!agreed) sort_hashes(refined);
      const bool shared_bucket = std::adjacent_find(coarse.begin(), coarse.end()) != coarse.end();
      const bool shared_hash =
          !wild && (agreed ? shared_bucket : std::adjacent_find(refined.begin(), refined.end()) != refined.end());
      if (first != nullptr) {
        first->bucket_shared |= shared_bucket || shared_hash;
      } else if ((shared_bucket && wild_groups_) || shared_hash) {
        return std::nullopt;
      }
      EqualValueHashes out;
      out.coarse = out.refined = mix(kSetTag, items.size());
      for (const uint64_t h : coarse) out.coarse = mix(out.coarse, h);
      if (agreed) {
        out.refined = out.coarse;
      } else {
        for (const uint64_t h : refined) out.refined = mix(out.refined, h);
      }
      out.wild = wild;
      return out;
    }
    case VmKind::Dict: {
      const uint64_t h = mix(kDictTag, v.dict_size());
      return EqualValueHashes{h, h, false};
    }
    default: {
      const uint64_t h = vm_structural_hash(v, vm_hash_seed());
      return EqualValueHashes{h, h, false};
    }
  }
}

// `g`: v's group, where kept (only the groups of mixed members are).
EqualValueHashes EqualValueHasher::number_hashes(const VmValue& v, uint64_t bits, const Group* g) const {
  const uint64_t coarse = mix(kNumberTag, bits);
  if (g == nullptr || g->clean) return EqualValueHashes{coarse, coarse, false};
  if (v.is(VmKind::Float)) return EqualValueHashes{coarse, coarse, true};
  return EqualValueHashes{coarse, mix(kExactTag, exact_token(v)), false};
}

std::optional<EqualValueHasher::StarLeaf> EqualValueHasher::star_leaf(const VmValue& leaf, StarLeafMemo& memo) const {
  switch (leaf.kind()) {
    case VmKind::Tuple:
    case VmKind::List:
    case VmKind::Set:
    case VmKind::FrozenSet:
    case VmKind::Dict:
      return std::nullopt;
    case VmKind::Bool:
    case VmKind::Int:
    case VmKind::Float:
    case VmKind::Decimal:
      break;
    default:
      return StarLeaf{StarRole::Plain, hash_of(leaf)->refined, 0, 0};
  }
  const uint64_t bits = double_bits(group_double(leaf));
  if (memo.group_ == nullptr || memo.bits_ != bits) {
    const Group* g = groups_.find(bits);
    if (g == nullptr || !g->wild) return StarLeaf{StarRole::Plain, number_hashes(leaf, bits, g).refined, 0, 0};
    if (!g->star) return std::nullopt;
    memo.bits_ = bits;
    memo.group_ = g;
    memo.float_key_ = mix(kFloatTag, bits);
    memo.members_key_ = mix(kMembersTag, bits);
  }
  const Group* g = memo.group_;
  const uint64_t float_key = memo.float_key_;
  const uint64_t members_key = memo.members_key_;
  if (leaf.is(VmKind::Float)) return StarLeaf{StarRole::Float, float_key, float_key, members_key};
  // An int or bool meets the float through its nearest double, which is
  // the group's: equal. A decimal meets it through the float's shortest
  // text, which the comparison itself decides.
  bool equal = !leaf.is(VmKind::Decimal);
  if (!equal) {
    auto compared = vm_values_equal(leaf, VmValue::float64(g->float_value));
    if (!compared.ok()) return std::nullopt;
    equal = *compared;
  }
  const uint64_t key = mix(kExactTag, exact_token(leaf));
  return equal ? StarLeaf{StarRole::Member, key, float_key, members_key} : StarLeaf{StarRole::Plain, key, 0, 0};
}

// ---- the index ------------------------------------------------------------------

void EqualValueIndex::Chains::push(uint64_t key, uint32_t p) {
  if (next.size() <= p) next.resize(std::max<size_t>(p + 1, 2 * next.size()), kEnd);
  next[p] = kEnd;
  Chain& c = by_key[key];
  if (c.head == kEnd) {
    c.head = p;
  } else {
    next[c.tail] = p;
  }
  c.tail = p;
}

void EqualValueIndex::Chains::erase(uint64_t key, uint32_t p) {
  Chain& c = by_key[key];
  uint32_t before = kEnd;
  for (uint32_t q = c.head; q != p; q = next[q]) before = q;
  (before == kEnd ? c.head : next[before]) = next[p];
  if (c.tail == p) c.tail = before;
}

void EqualValueIndex::Chains::insert(uint64_t key, uint32_t p) {
  if (next.size() <= p) next.resize(std::max<size_t>(p + 1, 2 * next.size()), kEnd);
  Chain& c = by_key[key];
  uint32_t before = kEnd;
  for (uint32_t q = c.head; q != kEnd && q < p; q = next[q]) before = q;
  uint32_t& link = before == kEnd ? c.head : next[before];
  next[p] = link;
  link = p;
  if (next[p] == kEnd) c.tail = p;
}

uint32_t EqualValueIndex::Chains::head(uint64_t key) const {
  const Chain* c = by_key.find(key);
  return c == nullptr ? kEnd : c->head;
}

void EqualValueIndex::add_all(std::span<const EqualValueHashes> hashes) {
  // Sized once, so that each key's slot can be loaded a few keys ahead.
  constexpr size_t kLookAhead = 8;
  by_refined_.by_key.reserve(hashes.size());
  by_refined_.next.resize(std::max(by_refined_.next.size(), hashes.size()), kEnd);
  for (size_t p = 0; p < hashes.size(); ++p) {
    if (p + kLookAhead < hashes.size() && !hashes[p + kLookAhead].wild)
      by_refined_.by_key.prefetch(hashes[p + kLookAhead].refined);
    add(static_cast<uint32_t>(p), hashes[p]);
  }
}

void EqualValueIndex::add(uint32_t position, const EqualValueHashes& h) {
  if (h.wild) {
    wild_by_coarse_.push(h.coarse, position);
  } else {
    by_refined_.push(h.refined, position);
  }
  if (any_wild_) by_coarse_.push(h.coarse, position);
}

void EqualValueIndex::replace(uint32_t position, const EqualValueHashes& before, const EqualValueHashes& after) {
  if (before.wild == after.wild && before.refined == after.refined) return;
  if (before.wild) {
    wild_by_coarse_.erase(before.coarse, position);
  } else {
    by_refined_.erase(before.refined, position);
  }
  if (after.wild) {
    wild_by_coarse_.insert(after.coarse, position);
  } else {
    by_refined_.insert(after.refined, position);
  }
}

VmResult<std::optional<uint32_t>> EqualValueIndex::first_equal(std::span<const VmValue> stored, const VmValue& needle,
                                                               const EqualValueHashes& h, VmWorkMeter* meter) const {
  // A wild needle may equal anything of its bucket; another needle only the
  // values of its refined hash and the wild ones of its bucket.
  const Chains& first_chains = h.wild ? by_coarse_ : by_refined_;
  uint32_t i = first_chains.head(h.wild ? h.coarse : h.refined);
  uint32_t j = h.wild || !any_wild_ ? kEnd : wild_by_coarse_.head(h.coarse);
  while (i != kEnd || j != kEnd) {
    const bool take_first = j == kEnd || (i != kEnd && i < j);
    const uint32_t p = take_first ? i : j;
    if (take_first) {
      i = first_chains.next[i];
    } else {
      j = wild_by_coarse_.next[j];
    }
    work_step(meter);
    // A wild value on either side stands for its whole bucket: those
    // comparisons are a scan, the others confirm a key.
    VELN_TRY(const bool equal, h.wild || !take_first ? scanned_values_equal(stored[p], needle, meter)
                                                     : vm_values_equal(stored[p], needle));
    if (equal) return std::optional<uint32_t>(p);
  }
  return std::optional<uint32_t>();
}

}  // namespace veln
