// The set operators in one pass. Normalising the raw result replays a scan
// over it; for canonical inputs whose value equality is an equivalence (a
// transitive EqualValueHasher over both sets) that scan's outcome is known
// from which items have an equal on the other side:
//   - a & b and a - b keep some of a's items in a's order, which is already
//     key order, so normalising changes nothing unless two kept items are
//     equal (a set built under a non-transitive mix can hold such a pair);
//   - a ^ b is the items of a without an equal in b, then those of b without
//     one in a: two key-sorted runs with no equal pair across them, merged;
//   - a | b is the scan over a then b: an item of b equal to a kept one
//     replaces it when its key is less, else it is dropped; the result is
//     a's untouched items, the replacing items and b's new items, three
//     key-sorted runs, merged.
// Merging relies on no two results sharing a key, which holds without
// date-times (keys stop at the microsecond). Any doubt (a pair found equal
// where the argument needs none) sends the operation the long way.
#include "interpreter_support/sets/set_operators.hpp"

#include <algorithm>
#include <optional>

#include "interpreter_support/comparison_budget.hpp"
#include "interpreter_support/sets/equal_value_index.hpp"
#include "interpreter_support/sets/set_algebra.hpp"
#include "interpreter_support/sets/set_keys.hpp"
#include "interpreter_support/stoppable_work.hpp"

namespace veln {
namespace {

using Items = std::span<const VmValue>;
using Result = VmResult<std::vector<VmValue>>;
using Hashes = std::vector<EqualValueHashes>;

// Below this many items in all, the scans cost less than the hashing.
constexpr size_t kMinItems = 16;
// How far ahead of its probe a hash's slot is loaded.
constexpr size_t kLookAhead = 8;

bool key_less(const VmValue& a, const VmValue& b) { return vm_set_key_compare(a, b) == VmOrdering::Less; }

// Canonical items are sorted by key variant first, and tuples and
// frozensets are the last two variants: a container first means containers
// throughout.
bool of_containers(Items items) { return items.front().is(VmKind::Tuple) || items.front().is(VmKind::FrozenSet); }

std::vector<VmValue> copies(const std::vector<const VmValue*>& values) {
  std::vector<VmValue> out;
  out.reserve(values.size());
  for (const VmValue* v : values) out.push_back(*v);
  return out;
}

// After this many items in a row from one run, a merge gallops.
constexpr size_t kGallopAfter = 7;

// The end of the prefix of run[from..] whose items `before` holds for:
// steps of growing length, then a binary search in the last one.
template <class Before>
size_t gallop(const std::vector<const VmValue*>& run, size_t from, const Before& before) {
  size_t lo = from;  // run[from .. lo) hold
  size_t step = 1;
  size_t hi = from;
  while (hi < run.size() && before(*run[hi])) {
    lo = hi + 1;
    hi = lo + step;
    step *= 2;
  }
  hi = std::min(hi, run.size());
  while (lo < hi) {
    const size_t mid = lo + (hi - lo) / 2;
    if (before(*run[mid])) {
      lo = mid + 1;
    } else {
      hi = mid;
    }
  }
  return lo;
}

// Two key-sorted runs whose keys are all distinct, merged. The runs of set
// operations mostly interleave in long blocks (the items under one tuple
// prefix, say), which galloping crosses in logarithmically many key
// comparisons; item by item, it costs a few comparisons more.
std::vector<const VmValue*> merge(const std::vector<const VmValue*>& x, const std::vector<const VmValue*>& y,
                                  VmWorkMeter* meter) {
  std::vector<const VmValue*> out;
  out.reserve(x.size() + y.size());
  const auto less = step_counted(key_less, meter);
  size_t i = 0;
  size_t j = 0;
  size_t streak = 0;
  bool last_y = false;
  while (i < x.size() && j < y.size()) {
    const bool take_y = less(*y[j], *x[i]);
    streak = take_y == last_y ? streak + 1 : 1;
    last_y = take_y;
    out.push_back(take_y ? y[j++] : x[i++]);
    if (streak < kGallopAfter || i == x.size() || j == y.size()) continue;
    if (take_y) {
      const VmValue& bound = *x[i];
      const size_t end = gallop(y, j, [&](const VmValue& v) { return less(v, bound); });
      out.insert(out.end(), y.begin() + static_cast<std::ptrdiff_t>(j), y.begin() + static_cast<std::ptrdiff_t>(end));
      j = end;
    } else {
      const VmValue& bound = *y[j];
      const size_t end = gallop(x, i, [&](const VmValue& v) { return less(v, bound); });
      out.insert(out.end(), x.begin() + static_cast<std::ptrdiff_t>(i), x.begin() + static_cast<std::ptrdiff_t>(end));
      i = end;
    }
    streak = 0;
  }
  out.insert(out.end(), x.begin() + static_cast<std::ptrdiff_t>(i), x.end());
  out.insert(out.end(), y.begin() + static_cast<std::ptrdiff_t>(j), y.end());
  return out;
}

class HashedOperator {
 public:
  HashedOperator(Items a, Items b, const Hashes& ha, const Hashes& hb, VmWorkMeter* meter)
      : a_(a), b_(b), ha_(ha), hb_(hb), meter_(meter) {}

  std::optional<Result> intersection() {
    EquivalenceIndex index(b_.size());
    const auto in_b = [this](uint32_t q) -> const VmValue& { return b_[q]; };
    auto added = add_b(index, in_b);
    if (!added.ok()) return Result(std::move(added).error());
    std::vector<bool> met(b_.size());
    std::vector<VmValue> out;
    for (size_t i = 0; i < a_.size(); ++i) {
      if (i + kLookAhead < a_.size()) index.prefetch(ha_[i + kLookAhead].refined);
      auto q = index.find(ha_[i].refined, a_[i], in_b, meter_);
      if (!q.ok()) return Result(std::move(q).error());
      if (!*q) continue;
      if (met[**q]) return std::nullopt;  // two of a's items equal: kept both, normalised to one
      met[**q] = true;
      out.push_back(a_[i]);
    }
    return Result(std::move(out));
  }

  // a's items without an equal in b, and with `b_met`, which of b's items
  // met one of a's; nothing when two of a's items left over are equal.
  std::optional<VmResult<std::vector<const VmValue*>>> a_without_b(std::vector<bool>* b_met, bool b_distinct) {
    // b's items take positions 0 .. |b| - 1, a's the positions after them.
    const size_t m = b_.size();
    EquivalenceIndex index(m + a_.size());
    const auto at = [this, m](uint32_t q) -> const VmValue& { return q < m ? b_[q] : a_[q - m]; };
    auto distinct = add_b(index, at);
    if (!distinct.ok()) return VmResult<std::vector<const VmValue*>>(std::move(distinct).error());
    if (b_distinct && !*distinct) return std::nullopt;
    std::vector<const VmValue*> out;
    for (size_t i = 0; i < a_.size(); ++i) {
      if (i + kLookAhead < a_.size()) index.prefetch(ha_[i + kLookAhead].refined);
      auto q = index.find_or_add(ha_[i].refined, a_[i], static_cast<uint32_t>(m + i), at, meter_);
      if (!q.ok()) return VmResult<std::vector<const VmValue*>>(std::move(q).error());
      if (!*q) {
        out.push_back(&a_[i]);
      } else if (**q >= m) {
        return std::nullopt;  // equal to an earlier one of a's items left over
      } else if (b_met != nullptr) {
        (*b_met)[**q] = true;
      }
    }
    return VmResult<std::vector<const VmValue*>>(std::move(out));
  }

  std::optional<Result> difference() {
    auto rest = a_without_b(nullptr, false);
    if (!rest) return std::nullopt;
    if (!rest->ok()) return Result(std::move(*rest).error());
    return Result(copies(**rest));
  }

  std::optional<Result> symmetric_difference() {
    std::vector<bool> b_met(b_.size());
    auto rest = a_without_b(&b_met, true);
    if (!rest) return std::nullopt;
    if (!rest->ok()) return Result(std::move(*rest).error());
    std::vector<const VmValue*> b_rest;
    for (size_t j = 0; j < b_.size(); ++j)
      if (!b_met[j]) b_rest.push_back(&b_[j]);
    return Result(copies(merge(**rest, b_rest, meter_)));
  }

  std::optional<Result> union_() {
    const size_t n = a_.size();
    const size_t total = n + b_.size();
    const auto item = [this, n](size_t s) -> const VmValue& { return s < n ? a_[s] : b_[s - n]; };
    const auto hash = [this, n](size_t s) { return s < n ? ha_[s].refined : hb_[s - n].refined; };
    // The kept entries, each by the position of its item in a then b.
    std::vector<uint32_t> kept;
    kept.reserve(total);
    const auto kept_at = [&](uint32_t q) -> const VmValue& { return item(kept[q]); };
    EquivalenceIndex index(total);
    size_t from_a = 0;  // the entries a's items made, which come first
    for (size_t s = 0; s < total; ++s) {
      if (s + kLookAhead < total) index.prefetch(hash(s + kLookAhead));
      const VmValue& x = item(s);
      auto q = index.find_or_add(hash(s), x, static_cast<uint32_t>(kept.size()), kept_at, meter_);
      if (!q.ok()) return Result(std::move(q).error());
      if (!*q) {
        kept.push_back(static_cast<uint32_t>(s));
        if (s < n) from_a = kept.size();
        continue;
      }
      // Equal values share a hash, so the index holds for the new item.
      work_step(meter_);
      if (key_less(x, kept_at(**q))) kept[**q] = static_cast<uint32_t>(s);
    }
    std::vector<const VmValue*> untouched, replacing, added;
    std::vector<bool> replaces(b_.size());
    for (size_t q = 0; q < from_a; ++q) {
      if (kept[q] < n) {
        untouched.push_back(&a_[kept[q]]);
      } else {
        replaces[kept[q] - n] = true;
      }
    }
    for (size_t j = 0; j < b_.size(); ++j)
      if (replaces[j]) replacing.push_back(&b_[j]);
    for (size_t q = from_a; q < kept.size(); ++q) added.push_back(&item(kept[q]));
    return Result(copies(merge(merge(untouched, replacing, meter_), added, meter_)));
  }

 private:
  // Adds b's items at positions 0 .. |b| - 1 (an item equal to an earlier
  // one is not added): whether no two were equal.
  template <class At>
  VmResult<bool> add_b(EquivalenceIndex& index, const At& at) {
    bool distinct = true;
    for (size_t j = 0; j < b_.size(); ++j) {
      if (j + kLookAhead < b_.size()) index.prefetch(hb_[j + kLookAhead].refined);
      VELN_TRY(const std::optional<uint32_t> q,
               index.find_or_add(hb_[j].refined, b_[j], static_cast<uint32_t>(j), at, meter_));
      distinct &= !q;
    }
    return distinct;
  }

  Items a_;
  Items b_;
  const Hashes& ha_;
  const Hashes& hb_;
  VmWorkMeter* meter_;
};

std::optional<Result> by_hash(SetOperator op, Items a, Items b, VmWorkMeter* meter) {
  if (a.empty() || b.empty() || a.size() + b.size() < kMinItems) return std::nullopt;
  if (!of_containers(a) || !of_containers(b)) return std::nullopt;
  const Items universe[] = {a, b};
  // Where equality is not transitive the hashes are of no use here: left
  // unrefined.
  const std::optional<EqualValueHasher> hasher = EqualValueHasher::build(universe, meter, true, true);
  if (!hasher || !hasher->transitive()) return std::nullopt;
  const bool merges = op == SetOperator::Union || op == SetOperator::SymmetricDifference;
  if (merges && hasher->holds_datetime()) return std::nullopt;
  HashedOperator hashed(a, b, hasher->hashes(0), hasher->hashes(1), meter);
  switch (op) {
    case SetOperator::Union:
      return hashed.union_();
    case SetOperator::Intersection:
      return hashed.intersection();
    case SetOperator::Difference:
      return hashed.difference();
    case SetOperator::SymmetricDifference:
      return hashed.symmetric_difference();
  }
  return std::nullopt;
}

Result raw_algebra(SetOperator op, Items a, Items b, VmWorkMeter* meter) {
  VmWorkMeter unused;
  VmWorkMeter& m = meter != nullptr ? *meter : unused;
  switch (op) {
    case SetOperator::Union:
      return set_union_values(a, b);
    case SetOperator::Intersection:
      return set_intersection_values(a, b, m);
    case SetOperator::Difference:
      return set_difference_values(a, b, m);
    case SetOperator::SymmetricDifference:
      break;
  }
  return set_symmetric_difference_values(a, b, m);
}

Result operator_items(SetOperator op, Items a, Items b, VmWorkMeter* meter) {
  if (auto result = by_hash(op, a, b, meter)) return *std::move(result);
  VELN_TRY(std::vector<VmValue> raw, raw_algebra(op, a, b, meter));
  return normalize_set_items(std::move(raw), *meter);
}

}  // namespace

VmResult<std::vector<VmValue>> set_operator_items(SetOperator op, std::span<const VmValue> a,
                                                  std::span<const VmValue> b, VmWorkMeter* meter) {
  return within_work(
      [&] { return capped_set_operation(meter, [&](VmWorkMeter* m) { return operator_items(op, a, b, m); }); });
}

}  // namespace veln
