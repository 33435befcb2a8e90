// Scan answers from indexes. A numeric needle equals exactly these items
// (value equality, Part of the ordering rules: ints meet floats through the
// nearest double, decimals meet everything through the decimal conversion):
//   int or bool k: the int k, the bool of k (0 or 1), every float equal to
//     the double nearest k, the decimal k (if k is in the decimal range;
//     otherwise every decimal comparison fails);
//   float f: every float == f (0.0 and -0.0 alike), the bool of f, every int
//     whose nearest double is f (the int f itself below 2^53, a run of ints
//     beyond), the decimal of f (if f converts; otherwise every decimal
//     comparison fails);
//   decimal d: the decimal d, the int d, the bool d, every float whose
//     decimal conversion is d (the double nearest d when its shortest text is
//     d, and floats below 1e-13 whose conversion truncates to d); ints and
//     floats beyond the decimal range fail against it.
// NaN fails against every number. Items structurally equal to a form are
// found by the caller's structural index; the rest are kept here by position.
#include "interpreter_support/value_match_index.hpp"

#include <cmath>
#include <cstring>

#include "values/decimal_from_value.hpp"
#include "values/float_text.hpp"
#include "values/vm_decimal.hpp"
#include "values/vm_request_budget.hpp"
#include "interpreter_support/value_equality.hpp"

namespace veln {
namespace {

uint64_t double_key(double x) {
  if (x == 0.0) x = 0.0;  // one key for 0.0 and -0.0
  uint64_t bits;
  std::memcpy(&bits, &x, sizeof bits);
  return bits;
}


}  // namespace

bool vm_decimal_conversion_truncates(double f) {
  const ShortestDigits d = shortest_digits(f);
  return d.count - d.decimal_point > VmDecimal::kFractionDigits;
}

std::optional<mpz_class> vm_decimal_whole_value(const VmDecimal& d) {
  if (!mpz_divisible_p(d.scaled().get_mpz_t(), VmDecimal::scale_factor().get_mpz_t())) return std::nullopt;
  mpz_class k;
  mpz_divexact(k.get_mpz_t(), d.scaled().get_mpz_t(), VmDecimal::scale_factor().get_mpz_t());
  return k;
}

namespace {

void keep_least(std::optional<uint32_t>& slot, std::optional<uint32_t> p) {
  if (p && (!slot || *p < *slot)) slot = p;
}

bool is_structural_leaf(const VmValue& v) {
  switch (v.kind()) {
    case VmKind::None:
    case VmKind::DateTime:
    case VmKind::TimeDelta:
    case VmKind::String:
    case VmKind::ContractHandle:
    case VmKind::StorageRef:
    case VmKind::ForeignStorageRef:
    case VmKind::EventRef:
    case VmKind::Builtin:
    case VmKind::FunctionRef:
    case VmKind::TypeMarker:
    case VmKind::Exception:
      return true;
    case VmKind::Tuple:
      // Depth is bounded by the nesting limit.
      for (const VmValue& item : v.items())
        if (!is_structural_leaf(item)) return false;
      return true;
    default:
      return false;
  }
}

}  // namespace

VmResult<bool> vm_scan_outcome(const VmScanMatch& m, const VmValue* failing_item, const VmValue& needle) {
  if (m.failure && (!m.equal || *m.failure < *m.equal)) return vm_values_equal(*failing_item, needle);
  return m.equal.has_value();
}

NeedleClass vm_needle_class(const VmValue& needle) {
  switch (needle.kind()) {
    case VmKind::Bool:
    case VmKind::Int:
    case VmKind::Float:
    case VmKind::Decimal:
      return NeedleClass::Numeric;
    case VmKind::Bytes:
    case VmKind::ByteArray:
      return NeedleClass::BytesLike;
    default:
      return is_structural_leaf(needle) ? NeedleClass::Structural : NeedleClass::Opaque;
  }
}

// ---- hazards -------------------------------------------------------------------

void NumericHazards::Positions::insert(uint32_t p) {
  if (first_ == kNone) {
    first_ = p;
  } else if (p < first_) {
    rest_.push_back(first_);
    first_ = p;
  } else {
    rest_.push_back(p);
  }
}

void NumericHazards::Positions::erase(uint32_t p) {
  if (p != first_) {
    for (size_t i = 0; i < rest_.size(); ++i) {
      if (rest_[i] == p) {
        rest_[i] = rest_.back();
        rest_.pop_back();
        return;
      }
    }
    return;
  }
  if (rest_.empty()) {
    first_ = kNone;
    return;
  }
  size_t least = 0;
  for (size_t i = 1; i < rest_.size(); ++i)
    if (rest_[i] < rest_[least]) least = i;
  first_ = rest_[least];
  rest_[least] = rest_.back();
  rest_.pop_back();
}

std::optional<uint32_t> NumericHazards::Positions::first() const {
  return first_ == kNone ? std::nullopt : std::optional<uint32_t>(first_);
}

size_t NumericHazards::MixHash::operator()(uint64_t bits) const { return static_cast<size_t>(vm_hash_word(bits)); }

size_t NumericHazards::ValueHash::operator()(const VmValue& v) const {
  return static_cast<size_t>(vm_structural_hash(v, vm_hash_seed()));
}

// Applies `op` (insert or erase) to every hazard set `item` belongs to.
template <class Op>
void for_each_hazard(const VmValue& item, Op op, std::set<uint32_t>& nans, std::set<uint32_t>& decimals,
                     std::set<uint32_t>& wide_ints, std::set<uint32_t>& wide_floats,
                     auto& ints_by_double, auto& tiny_floats) {
  switch (item.kind()) {
    case VmKind::Int:
      if (!item.int_is_small() || item.small_int() > kExactIntLimit || item.small_int() < -kExactIntLimit) {
        op(ints_by_double[double_key(vm_int_to_f64(item))]);
        if (!item.int_is_small() && !decimal_from_vm_value(item).ok()) op(wide_ints);
      }
      return;
    case VmKind::Float: {
      const double f = item.float_value();
      if (std::isnan(f)) {
        op(nans);
        return;
      }
      if (!(std::fabs(f) < kDecimalFloatLimit)) op(wide_floats);
      if (f != 0.0 && std::fabs(f) < kTinyFloatLimit && vm_decimal_conversion_truncates(f)) {
        auto d = VmDecimal::from_f64(f);
        if (d.ok()) op(tiny_floats[VmValue::decimal(std::move(*d))]);
      }
      return;
    }
    case VmKind::Decimal:
      op(decimals);
      return;
    default:
      return;
  }
}

size_t* NumericHazards::kind_count(const VmValue& item) {
  switch (item.kind()) {
    case VmKind::Bool:
      return &bools_;
    case VmKind::Int:
      return &ints_;
    case VmKind::Float:
      return &floats_;
    default:
      return nullptr;
  }
}

void NumericHazards::add(uint32_t position, const VmValue& item) {
  if (vm_needle_class(item) != NeedleClass::Numeric) return;
  keep_least(first_number_, position);
  if (size_t* count = kind_count(item)) ++*count;
  struct Insert {
    uint32_t p;
    void operator()(std::set<uint32_t>& s) const { s.insert(p); }
    void operator()(Positions& s) const { s.insert(p); }
  };
  for_each_hazard(item, Insert{position}, nans_, decimals_, wide_ints_, wide_floats_, ints_by_double_, tiny_floats_);
}

void NumericHazards::remove(uint32_t position, const VmValue& item) {
  if (size_t* count = kind_count(item)) --*count;
  struct Erase {
    uint32_t p;
    void operator()(std::set<uint32_t>& s) const { s.erase(p); }
    void operator()(Positions& s) const { s.erase(p); }
  };
  for_each_hazard(item, Erase{position}, nans_, decimals_, wide_ints_, wide_floats_, ints_by_double_, tiny_floats_);
}

uint64_t NumericHazards::weight() const {
  const uint64_t nodes = nans_.size() + decimals_.size() + wide_ints_.size() + wide_floats_.size() +
                         ints_by_double_.size() + tiny_floats_.size();
  return kVmNodeWeight * nodes;
}

VmScanMatch NumericHazards::match(const VmValue& needle, VmStructuralProbe probe, const void* context) const {
  VmScanMatch m;
  const auto form = [&](const VmValue& v) {
    const bool present = v.is(VmKind::Bool)    ? bools_ != 0
                         : v.is(VmKind::Int)   ? ints_ != 0
                         : v.is(VmKind::Float) ? floats_ != 0
                                               : !decimals_.empty();
    if (present) keep_least(m.equal, probe(context, v));
  };
  const auto fails_at = [&](const std::set<uint32_t>& s) { keep_least(m.failure, first_of(s)); };
  const bool has_decimals = !decimals_.empty();
  // The decimal a number equals, or every decimal failing when it has none.
  const auto decimal_form = [&](VmResult<VmDecimal> d) {
    if (d.ok()) {
      form(VmValue::decimal(std::move(*d)));
    } else {
      fails_at(decimals_);
    }
  };
  switch (needle.kind()) {
    case VmKind::Bool:
    case VmKind::Int: {
      const VmValue k = needle.is(VmKind::Bool) ? VmValue::integer(needle.bool_value() ? 1 : 0) : needle;
      form(k);
      if (k.int_is_small() && (k.small_int() == 0 || k.small_int() == 1)) form(VmValue::boolean(k.small_int() == 1));
      form(VmValue::float64(vm_int_to_f64(k)));
      if (has_decimals) decimal_form(decimal_from_vm_value(k));
      break;
    }
    case VmKind::Float: {
      const double f = needle.float_value();
      if (std::isnan(f)) {
        m.failure = first_number_;
        return m;
      }
      form(needle);
      if (f == 0.0 || f == 1.0) form(VmValue::boolean(f == 1.0));
      if (std::isfinite(f) && f == std::trunc(f)) form(VmValue::integer(mpz_class(f)));
      if (!(std::fabs(f) < kTwoTo53)) {
        if (auto it = ints_by_double_.find(double_key(f)); it != ints_by_double_.end()) keep_least(m.equal, it->second.first());
      }
      if (has_decimals) decimal_form(VmDecimal::from_f64(f));
      break;
    }
    case VmKind::Decimal: {
      const VmDecimal& d = needle.decimal_value();
      form(needle);
      if (std::optional<mpz_class> k = vm_decimal_whole_value(d)) {
        if (*k == 0 || *k == 1) form(VmValue::boolean(*k == 1));
        form(VmValue::integer(*std::move(k)));
      }
      const double g = d.to_f64();
      if (auto back = VmDecimal::from_f64(g); back.ok() && *back == d) form(VmValue::float64(g));
      if (auto it = tiny_floats_.find(needle); it != tiny_floats_.end()) keep_least(m.equal, it->second.first());
      fails_at(wide_ints_);
      fails_at(wide_floats_);
      break;
    }
    default:
      return m;
  }
  fails_at(nans_);
  return m;
}

// ---- an index over a sequence ---------------------------------------------------

namespace {

size_t table_capacity(size_t n) {
  size_t cap = 16;
  while (cap < 2 * n + 2) cap *= 2;
  return cap;
}

struct ProbeContext {
  const ValueMatchIndex* index;
  VmWorkMeter* meter;
};

}  // namespace

// A slot holds the high half of the item's hash beside its position + 1,
// so a probe compares hashes without touching the items.
ValueMatchIndex::ValueMatchIndex(std::span<const VmValue> items) : items_(items) {
  const uint64_t seed = vm_hash_seed();
  slots_.assign(table_capacity(items.size()), 0);
  const size_t mask = slots_.size() - 1;
  for (uint32_t p = 0; p < items.size(); ++p) {
    const uint64_t h = vm_structural_hash(items[p], seed);
    hazards_.add(p, items[p]);
    size_t i = h & mask;
    bool seen = false;
    for (; slots_[i] != 0; i = (i + 1) & mask) {
      if ((slots_[i] >> 32) == (h >> 32) && items[static_cast<uint32_t>(slots_[i]) - 1].eq(items[p])) {
        seen = true;  // only the first of structurally equal items is kept
        break;
      }
    }
    if (!seen) slots_[i] = (h >> 32 << 32) | (uint64_t{p} + 1);
  }
}

std::optional<uint32_t> ValueMatchIndex::first_structural(const VmValue& form) const {
  const uint64_t h = vm_structural_hash(form, vm_hash_seed());
  const size_t mask = slots_.size() - 1;
  for (size_t i = h & mask; slots_[i] != 0; i = (i + 1) & mask) {
    const uint32_t p = static_cast<uint32_t>(slots_[i]) - 1;
    if ((slots_[i] >> 32) == (h >> 32) && items_[p].eq(form)) return p;
  }
  return std::nullopt;
}

std::optional<uint32_t> ValueMatchIndex::probe(const void* context, const VmValue& form) {
  const auto* c = static_cast<const ProbeContext*>(context);
  vm_tick(c->meter);
  return c->index->first_structural(form);
}

namespace {

// The scan's match for a needle that is not numeric: no hazard applies.
std::optional<VmScanMatch> match_beside_numbers(NeedleClass needle_class, const VmValue& needle,
                                                VmStructuralProbe probe, const void* context) {
  VmScanMatch m;
  switch (needle_class) {
    case NeedleClass::Numeric:
      break;
    case NeedleClass::Structural:
      m.equal = probe(context, needle);
      return m;
    case NeedleClass::BytesLike:
      m.equal = probe(context, needle.with_kind(VmKind::Bytes));
      keep_least(m.equal, probe(context, needle.with_kind(VmKind::ByteArray)));
      return m;
    case NeedleClass::Opaque:
      break;
  }
  return std::nullopt;
}

// The scan's match from a structural probe and the numeric hazards.
std::optional<VmScanMatch> match_by_class(const VmValue& needle, const NumericHazards& hazards,
                                          VmStructuralProbe probe, const void* context) {
  const NeedleClass needle_class = vm_needle_class(needle);
  if (needle_class == NeedleClass::Numeric) return hazards.match(needle, probe, context);
  return match_beside_numbers(needle_class, needle, probe, context);
}

}  // namespace

uint64_t ValueMatchIndex::weight() const { return kVmSlotWeight * slots_.size() + hazards_.weight(); }

std::optional<VmScanMatch> ValueMatchIndex::find(const VmValue& needle, VmWorkMeter* meter) const {
  const ProbeContext context{this, meter};
  return match_by_class(needle, hazards_, &ValueMatchIndex::probe, &context);
}

// ---- dicts and sets -------------------------------------------------------------

namespace {

struct DictProbe {
  const VmValue* dict;
  VmWorkMeter* meter;
  static std::optional<uint32_t> first(const void* context, const VmValue& form) {
    const auto* c = static_cast<const DictProbe*>(context);
    vm_tick(c->meter);
    auto at = c->dict->dict_find_structural(form);
    return at ? std::optional<uint32_t>(static_cast<uint32_t>(*at)) : std::nullopt;
  }
};

// A dict's hazards, extended over the pairs appended since they were built.
const NumericHazards& dict_hazards(const VmValue& dict) {
  VmSideCache& cache = dict.side_cache();
  if (!cache.data) {
    cache.data = std::make_shared<NumericHazards>();
    cache.covered = 0;
  }
  auto& hazards = *static_cast<NumericHazards*>(cache.data.get());
  const auto pairs = dict.dict_pairs();
  if (cache.covered < pairs.size()) {
    vm_count_work(pairs.size() - cache.covered);
    for (; cache.covered < pairs.size(); ++cache.covered)
      hazards.add(static_cast<uint32_t>(cache.covered), pairs[cache.covered].key);
    dict.charge_side_cache(hazards.weight());
  }
  return hazards;
}

// Sets larger than this that are searched this many times get an index.
constexpr size_t kScannedSetSize = 8;
constexpr uint32_t kLookupsBeforeIndex = 4;

}  // namespace

std::optional<VmScanMatch> vm_dict_key_match(const VmValue& dict, const VmValue& needle, VmWorkMeter* meter) {
  const DictProbe context{&dict, meter};
  const NeedleClass needle_class = vm_needle_class(needle);
  if (needle_class == NeedleClass::Numeric) return dict_hazards(dict).match(needle, &DictProbe::first, &context);
  return match_beside_numbers(needle_class, needle, &DictProbe::first, &context);
}

std::optional<VmScanMatch> vm_set_item_match(const VmValue& set, const VmValue& needle, VmWorkMeter* meter) {
  if (set.item_count() <= kScannedSetSize) return std::nullopt;
  VmSideCache& cache = set.side_cache();
  if (!cache.data) {
    if (++cache.lookups < kLookupsBeforeIndex) return std::nullopt;
    vm_count_work(set.item_count());
    auto index = std::make_shared<ValueMatchIndex>(set.items());
    set.charge_side_cache(index->weight());
    cache.data = std::move(index);
  }
  return static_cast<const ValueMatchIndex*>(cache.data.get())->find(needle, meter);
}

}  // namespace veln
