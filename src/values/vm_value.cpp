// VmValue core: construction with cached size and depth, copy-on-write,
// iterative destruction, truth, structural equality and hashing, the dict
// index, container mutation primitives and the conversions. Must not recurse
// when destroying (nesting is bounded, but destruction does not rely on it).
#include "values/vm_value.hpp"

#include <algorithm>
#include <cstring>
#include <functional>
#include <random>

#include "values/vm_datetime.hpp"
#include "values/vm_decimal.hpp"
#include "values/vm_buffer_charge.hpp"
#include "values/vm_items_view.hpp"
#include "values/vm_timedelta.hpp"
#include "values/vm_value_heap.hpp"
#include "values/vm_work_tally.hpp"

namespace veln {

using detail::VmBigIntHeap;
using detail::VmContractHandleHeap;
using detail::VmDictHeap;
using detail::VmDictIndex;
using detail::VmEventRefHeap;
using detail::VmExceptionHeap;
using detail::VmForeignStorageRefHeap;
using detail::VmHeap;
using detail::VmHeapType;
using detail::VmSequenceHeap;
using detail::VmStorageRefHeap;
using detail::VmTextHeap;

namespace detail {

struct VmDecimalHeap : VmHeap {
  VmDecimal value;
  explicit VmDecimalHeap(VmDecimal v) : VmHeap(VmHeapType::Decimal, 1, 0), value(std::move(v)) {}
};

struct VmDateTimeHeap : VmHeap {
  VmDateTime value;
  explicit VmDateTimeHeap(VmDateTime v) : VmHeap(VmHeapType::DateTime, 1, 0), value(v) {}
};

}  // namespace detail

using detail::VmDateTimeHeap;
using detail::VmDecimalHeap;

namespace {

constexpr std::string_view kTypeNames[kVmKindCount] = {
    "none",  "bool",      "int",       "float", "decimal", "datetime",        "timedelta",
    "str",   "bytes",     "bytearray", "set",   "frozenset", "list",          "tuple",
    "dict",  "contract_handle", "storage_ref", "foreign_storage_ref", "event_ref", "builtin",
    "function_ref", "type_marker", "exception",
};

template <class H>
H& heap_as(detail::VmHeap* h) {
  return *static_cast<H*>(h);
}

// ---- storage weights (vm_request_budget.hpp) ---------------------------------------

uint64_t items_weight(uint64_t items, uint64_t per_item = kVmItemWeight) {
  return kVmBufferWeight + (items != 0 ? kVmBlockWeight : 0) + per_item * items;
}
uint64_t bytes_weight(uint64_t bytes) {
  return kVmBufferWeight + (bytes > kVmInPlaceTextBytes ? kVmBlockWeight : 0) + bytes;
}
// Blocks are weighed by the room reserved for them (vm_block_capacity.hpp),
// not by what they hold now.
// A dict's index: a slot run at most half full, and room for a hash per
// pair the entries have room for.
uint64_t index_weight(const VmDictIndex* idx, uint64_t capacity) {
  return idx == nullptr ? 0 : kVmIndexSlotWeight * idx->slots.size() + kVmWordWeight * capacity;
}
uint64_t entries_weight(const VmDictHeap& h) {
  return items_weight(h.capacity, kVmEntryWeight) + index_weight(h.index.get(), h.capacity);
}
// Whether an index must double its slots to take pairs up to `pairs`.
bool index_needs_room(const VmDictIndex& idx, size_t pairs) { return 2 * pairs + 2 > idx.slots.size(); }
// What room for `needed` items adds to a block of room for `capacity`.
uint64_t room_growth(uint64_t capacity, uint64_t needed, uint64_t per_item = kVmItemWeight) {
  return items_weight(capacity + detail::vm_room_added(capacity, needed), per_item) - items_weight(capacity, per_item);
}
uint64_t bigint_weight(const mpz_class& v) { return kVmBufferWeight + kVmWordWeight * mpz_size(v.get_mpz_t()); }

// What a buffer weighs as it stands, and the steps of making it, per layout.
uint64_t weight_of(const VmBigIntHeap& h) { return bigint_weight(h.value); }
uint64_t weight_of(const VmDecimalHeap&) { return kVmBufferWeight; }
uint64_t weight_of(const VmDateTimeHeap&) { return kVmBufferWeight; }
uint64_t weight_of(const VmTextHeap& h) { return bytes_weight(h.capacity()); }
uint64_t weight_of(const VmSequenceHeap& h) {
  uint64_t items = h.capacity;
  if (h.edits) items += h.edits->added_capacity + h.edits->pieces_capacity;
  return items_weight(items) + (h.side ? h.side->weight : 0);
}
// The index holds a slot run and a hash per pair.
uint64_t weight_of(const VmDictHeap& h) {
  return entries_weight(h) + (h.side ? h.side->weight : 0);
}
uint64_t weight_of(const VmContractHandleHeap& h) { return bytes_weight(h.value.module.size() + h.value.origin.size()); }
uint64_t weight_of(const VmStorageRefHeap& h) {
  return bytes_weight(h.value.binding.size() + h.value.storage_type.size());
}
uint64_t weight_of(const VmForeignStorageRefHeap& h) {
  return bytes_weight(h.value.contract.size() + h.value.binding.size());
}
uint64_t weight_of(const VmEventRefHeap& h) { return bytes_weight(h.value.binding.size() + h.value.event_name.size()); }
uint64_t weight_of(const VmExceptionHeap& h) {
  return bytes_weight(h.value.name.size()) + kVmItemWeight * h.value.args.size();
}

template <class H>
uint64_t steps_of(const H&) {
  return kVmBufferSteps;
}
uint64_t steps_of(const VmBigIntHeap& h) { return detail::item_steps(mpz_size(h.value.get_mpz_t())); }
uint64_t steps_of(const VmTextHeap& h) { return detail::text_steps(h.bytes.size()); }
// A container's units count its own one besides its items'.
uint64_t sequence_steps(uint64_t items, uint64_t units) {
  return detail::item_steps(items) + detail::held_buffer_steps(items, units - 1);
}
uint64_t dict_steps(uint64_t pairs, uint64_t units) {
  return detail::item_steps(pairs) + detail::held_buffer_steps(2 * pairs, units - 1);
}
uint64_t steps_of(const VmSequenceHeap& h) { return sequence_steps(h.items.size(), h.live.units); }
uint64_t steps_of(const VmDictHeap& h) { return dict_steps(h.pairs.size(), h.live.units); }

// A buffer of layout H made from `args`, charged `weight` and `steps`
// before it is made; null, nothing made, when the request's budget refuses
// (the caller returns budget_refusal()).
template <class H, class... Args>
[[gnu::always_inline]] inline H* checked_heap(uint64_t weight, uint64_t steps, Args&&... args) {
  uint32_t charged;
  if (!detail::charge_new_buffer(weight, steps, charged)) return nullptr;
  H* h = new H(std::forward<Args>(args)...);
  h->charged = charged;
  return h;
}

// A buffer made where no failure can be reported takes its charge.
template <class H>
H* charged_made(H* h) {
  h->charged = detail::charge_made_buffer(weight_of(*h), steps_of(*h));
  return h;
}

// Calls f with the buffer as its own layout.
template <class F>
decltype(auto) visit_heap(VmHeap* h, F&& f) {
  switch (h->type) {
    case VmHeapType::BigInt:
      return f(*static_cast<VmBigIntHeap*>(h));
    case VmHeapType::Decimal:
      return f(*static_cast<VmDecimalHeap*>(h));
    case VmHeapType::DateTime:
      return f(*static_cast<VmDateTimeHeap*>(h));
    case VmHeapType::Text:
      return f(*static_cast<VmTextHeap*>(h));
    case VmHeapType::Sequence:
      return f(*static_cast<VmSequenceHeap*>(h));
    case VmHeapType::Dict:
      return f(*static_cast<VmDictHeap*>(h));
    case VmHeapType::ContractHandle:
      return f(*static_cast<VmContractHandleHeap*>(h));
    case VmHeapType::StorageRef:
      return f(*static_cast<VmStorageRefHeap*>(h));
    case VmHeapType::ForeignStorageRef:
      return f(*static_cast<VmForeignStorageRefHeap*>(h));
    case VmHeapType::EventRef:
      return f(*static_cast<VmEventRefHeap*>(h));
    case VmHeapType::Exception:
      break;
  }
  return f(*static_cast<VmExceptionHeap*>(h));
}

// The same for a copy of a buffer of any layout.
VmHeap* charged_copy(VmHeap* h) {
  return visit_heap(h, [](auto& layout) -> VmHeap* { return charged_made(&layout); });
}

// What a copy of a buffer will weigh and cost: its items in order, in a
// block of their size, without the side cache, which a copy never takes.
uint64_t copy_weight_of(const VmSequenceHeap& h) { return items_weight(h.edits ? h.edits->size() : h.items.size()); }
uint64_t copy_weight_of(const VmDictHeap& h) {
  return items_weight(h.pairs.size(), kVmEntryWeight) + index_weight(h.index.get(), h.pairs.size());
}
uint64_t copy_weight_of(const VmTextHeap& h) { return bytes_weight(detail::vm_text_block(h.bytes.size())); }
template <class H>
uint64_t copy_weight_of(const H& h) {
  return weight_of(h);
}
uint64_t copy_steps_of(const VmSequenceHeap& h) {
  return sequence_steps(h.edits ? h.edits->size() : h.items.size(), h.live.units);
}
template <class H>
uint64_t copy_steps_of(const H& h) {
  return steps_of(h);
}

// An edit that grows a buffer by `weight` in `steps`: refused before
// anything is copied or grown when the buffer is shared and its copy and
// the growth together would pass the request's budget.
[[gnu::noinline]] VmStatus check_shared_edit_slow(VmHeap* h, uint64_t weight, uint64_t steps) {
  if (vm_request_budget() == nullptr) return Ok{};
  return visit_heap(h, [&](const auto& layout) {
    return vm_check_budget(steps + copy_steps_of(layout), weight + copy_weight_of(layout));
  });
}
// Nearly every buffer edited is unshared: then there is no copy to check.
#define VELN_CHECK_SHARED_EDIT(heap, weight, steps)                        \
  do {                                                                     \
    if ((heap)->live.refs != 1) [[unlikely]]                               \
      VELN_CHECK(check_shared_edit_slow(heap, weight, steps));             \
  } while (false)

// The failure of the running request's budget, after it refused.
VmExecutionError budget_refusal() { return vm_request_budget()->error(); }

bool bytes_are_ascii(std::string_view s) {
  const char* p = s.data();
  size_t n = s.size();
  uint64_t acc = 0;
  // Four independent words at a time.
  uint64_t acc1 = 0, acc2 = 0, acc3 = 0;
  while (n >= 32) {
    uint64_t w0, w1, w2, w3;
    std::memcpy(&w0, p, 8);
    std::memcpy(&w1, p + 8, 8);
    std::memcpy(&w2, p + 16, 8);
    std::memcpy(&w3, p + 24, 8);
    acc |= w0;
    acc1 |= w1;
    acc2 |= w2;
    acc3 |= w3;
    p += 32;
    n -= 32;
  }
  acc |= acc1 | acc2 | acc3;
  while (n >= 8) {
    uint64_t w;
    std::memcpy(&w, p, 8);
    acc |= w;
    p += 8;
    n -= 8;
  }
  while (n > 0) {
    acc |= static_cast<unsigned char>(*p++);
    --n;
  }
  return (acc & 0x8080808080808080ULL) == 0;
}

size_t count_code_points(std::string_view s) {
  size_t n = 0;
  for (unsigned char c : s) n += (c & 0xC0) != 0x80;
  return n;
}

// Units and depth of a container from its parts.
struct Caches {
  uint64_t units = 1;
  uint64_t depth = 1;
  void add(const VmValue& v) {
    units = vm_saturating_add(units, v.units());
    depth = std::max<uint64_t>(depth, uint64_t{v.depth()} + 1);
  }
  // The limits' verdict; values within them, nearly all, take no call.
  VmStatus check() const {
    if (units <= kVmMaxUnits && depth <= kVmMaxDepth) [[likely]] return Ok{};
    return vm_check_limits(units, depth);
  }
};

Caches caches_of(std::span<const VmValue> items) {
  Caches c;
  for (const auto& v : items) c.add(v);
  return c;
}

Caches caches_of(std::span<const VmDictPair> pairs) {
  Caches c;
  for (const auto& p : pairs) {
    c.add(p.key);
    c.add(p.value);
  }
  return c;
}

// ---- hashing ----------------------------------------------------------------

inline uint64_t fmix(uint64_t k) { return vm_hash_word(k, 0); }

inline uint64_t mix(uint64_t h, uint64_t v) {
  h ^= v * 0x9E3779B97F4A7C15ULL;
  h = (h << 27) | (h >> 37);
  return h * 0x94D049BB133111EBULL + 0x2545F4914F6CDD1DULL;
}

uint64_t hash_bytes(uint64_t h, std::string_view s) {
  const char* p = s.data();
  size_t n = s.size();
  h = mix(h, n);
  while (n >= 8) {
    uint64_t w;
    std::memcpy(&w, p, 8);
    h = mix(h, w);
    p += 8;
    n -= 8;
  }
  uint64_t tail = 0;
  std::memcpy(&tail, p, n);
  return mix(h, tail);
}

uint64_t hash_mpz(uint64_t h, const mpz_class& z) {
  const size_t n = mpz_size(z.get_mpz_t());
  h = mix(h, static_cast<uint64_t>(mpz_sgn(z.get_mpz_t()) + 1));
  for (size_t i = 0; i < n; ++i) h = mix(h, mpz_getlimbn(z.get_mpz_t(), static_cast<mp_size_t>(i)));
  return h;
}

uint64_t hash_value(uint64_t h, const VmValue& v);

uint64_t hash_items(uint64_t h, std::span<const VmValue> items) {
  h = mix(h, items.size());
  for (const auto& item : items) h = hash_value(h, item);
  return h;
}

uint64_t hash_value(uint64_t h, const VmValue& v) {
  h = mix(h, static_cast<uint64_t>(v.kind()) + 1);
  switch (v.kind()) {
    case VmKind::None:
      return h;
    case VmKind::Bool:
      return mix(h, v.bool_value());
    case VmKind::Int:
      if (v.int_is_small()) return mix(h, static_cast<uint64_t>(v.small_int()));
      return hash_mpz(h, v.big_int());
    case VmKind::Float: {
      double f = v.float_value();
      if (f == 0.0) f = 0.0;  // -0.0 equals 0.0
      uint64_t bits;
      std::memcpy(&bits, &f, 8);
      return mix(h, bits);
    }
    case VmKind::Decimal:
      return hash_mpz(h, v.decimal_value().scaled());
    case VmKind::DateTime: {
      const VmDateTime& d = v.datetime_value();
      h = mix(h, static_cast<uint64_t>(d.day_number()));
      return mix(h, (uint64_t{d.seconds_of_day()} << 32) | d.nanos());
    }
    case VmKind::TimeDelta:
      return mix(h, static_cast<uint64_t>(v.timedelta_raw_seconds()));
    case VmKind::String:
    case VmKind::Bytes:
    case VmKind::ByteArray:
    case VmKind::Builtin:
    case VmKind::FunctionRef:
    case VmKind::TypeMarker:
      return hash_bytes(h, v.text());
    case VmKind::Set:
    case VmKind::FrozenSet:
    case VmKind::List:
    case VmKind::Tuple:
      return hash_items(h, v.items());
    case VmKind::Dict: {
      auto pairs = v.dict_pairs();
      h = mix(h, pairs.size());
      for (const auto& p : pairs) h = hash_value(hash_value(h, p.key), p.value);
      return h;
    }
    case VmKind::ContractHandle: {
      const auto& c = v.contract_handle_value();
      return hash_bytes(hash_bytes(h, c.module), c.origin);
    }
    case VmKind::StorageRef: {
      const auto& s = v.storage_ref_value();
      return hash_bytes(hash_bytes(h, s.binding), s.storage_type);
    }
    case VmKind::ForeignStorageRef: {
      const auto& f = v.foreign_storage_ref_value();
      return mix(hash_bytes(hash_bytes(h, f.contract), f.binding), f.is_hash);
    }
    case VmKind::EventRef: {
      const auto& e = v.event_ref_value();
      return hash_value(hash_bytes(hash_bytes(h, e.binding), e.event_name), e.params);
    }
    case VmKind::Exception: {
      const auto& e = v.exception_value();
      return hash_items(hash_bytes(h, e.name), e.args);
    }
  }
  return h;
}

}  // namespace

uint64_t vm_hash_seed() {
  static const uint64_t seed = [] {
    uint64_t s = 0x6a09e667f3bcc909ULL;
    try {
      std::random_device rd;
      s ^= (uint64_t{rd()} << 32) ^ rd();
    } catch (...) {
      s ^= reinterpret_cast<uintptr_t>(&s);
    }
    return s;
  }();
  return seed;
}

namespace {

uint64_t dict_hash_seed() { return vm_hash_seed(); }

// ---- dict index ---------------------------------------------------------------

size_t index_capacity_for(size_t n) {
  size_t cap = 16;
  while (cap < 2 * n + 2) cap *= 2;
  return cap;
}

// Inserts pair p (whose hash is in idx.hashes) unless a structurally equal key
// is indexed already; returns whether it was inserted.
bool index_insert(VmDictIndex& idx, const std::vector<VmDictPair>& pairs, uint32_t p, bool check_equal) {
  const size_t mask = idx.slots.size() - 1;
  const uint64_t h = idx.hashes[p];
  size_t i = h & mask;
  while (idx.slots[i] != 0) {
    const uint32_t q = idx.slots[i] - 1;
    if (check_equal && idx.hashes[q] == h && pairs[q].key.eq(pairs[p].key)) {
      idx.has_duplicates = true;
      return false;
    }
    i = (i + 1) & mask;
  }
  idx.slots[i] = p + 1;
  return true;
}

void index_rehash(VmDictIndex& idx, const std::vector<VmDictPair>& pairs, size_t capacity) {
  std::vector<uint32_t> old = std::move(idx.slots);
  idx.slots.assign(capacity, 0);
  for (uint32_t s : old)
    if (s != 0) index_insert(idx, pairs, s - 1, false);
}

// False, nothing built, when the request's allowance cannot take the
// hashing: its steps follow from the keys' sizes, so they are counted
// before any key is read.
bool build_index(VmDictHeap& d) {
  uint64_t key_steps = d.pairs.size();  // a hash and an insertion each, beside reading the key
  for (const auto& p : d.pairs) key_steps += vm_key_read_steps(p.key);
  if (!vm_step_work(key_steps)) return false;
  auto idx = std::make_unique<VmDictIndex>();
  const uint64_t seed = dict_hash_seed();
  idx->hashes.reserve(d.capacity);
  for (const auto& p : d.pairs) idx->hashes.push_back(vm_structural_hash(p.key, seed));
  idx->slots.assign(index_capacity_for(d.pairs.size()), 0);
  for (uint32_t p = 0; p < d.pairs.size(); ++p) index_insert(*idx, d.pairs, p, true);
  d.index = std::move(idx);
  return true;
}

// Removes the slot of pair p and shifts later pair numbers down by one.
void index_remove(VmDictIndex& idx, size_t p) {
  const size_t mask = idx.slots.size() - 1;
  size_t i = idx.hashes[p] & mask;
  while (idx.slots[i] != 0 && idx.slots[i] != p + 1) i = (i + 1) & mask;
  if (idx.slots[i] != 0) {
    // Backward-shift deletion keeps every probe chain unbroken.
    size_t hole = i;
    size_t j = i;
    for (;;) {
      j = (j + 1) & mask;
      if (idx.slots[j] == 0) break;
      const size_t home = idx.hashes[idx.slots[j] - 1] & mask;
      const bool movable = hole <= j ? (home <= hole || home > j) : (home <= hole && home > j);
      if (movable) {
        idx.slots[hole] = idx.slots[j];
        hole = j;
      }
    }
    idx.slots[hole] = 0;
  }
  // Every slot is read to renumber the pairs after p: a step per eight,
  // as for the bytes of a text.
  vm_count_work(idx.slots.size() / kVmTextBytesPerStep);
  for (auto& s : idx.slots)
    if (s > p + 1) --s;
  idx.hashes.erase(idx.hashes.begin() + static_cast<ptrdiff_t>(p));
}

VmHeap* clone_heap(const VmHeap* h) {
  switch (h->type) {
    case VmHeapType::BigInt:
      return new VmBigIntHeap(static_cast<const VmBigIntHeap*>(h)->value);
    case VmHeapType::Decimal:
      return new VmDecimalHeap(static_cast<const VmDecimalHeap*>(h)->value);
    case VmHeapType::DateTime:
      return new VmDateTimeHeap(static_cast<const VmDateTimeHeap*>(h)->value);
    case VmHeapType::Text: {
      const auto* t = static_cast<const VmTextHeap*>(h);
      auto* c = new VmTextHeap(std::string(t->bytes), t->ascii);
      c->code_points = t->code_points;
      return c;
    }
    case VmHeapType::Sequence: {
      const auto* s = static_cast<const VmSequenceHeap*>(h);
      // The copy takes the items in order; the shared original keeps its edits.
      auto* c = new VmSequenceHeap(s->edits ? s->edits->copy(s->items) : s->items, s->live.units, s->depth);
      c->facts = s->facts;
      return c;
    }
    case VmHeapType::Dict: {
      const auto* d = static_cast<const VmDictHeap*>(h);
      auto* c = new VmDictHeap(d->pairs, d->live.units, d->depth);
      if (d->index) c->index = std::make_unique<VmDictIndex>(*d->index);
      return c;
    }
    case VmHeapType::ContractHandle:
      return new VmContractHandleHeap(static_cast<const VmContractHandleHeap*>(h)->value);
    case VmHeapType::StorageRef:
      return new VmStorageRefHeap(static_cast<const VmStorageRefHeap*>(h)->value);
    case VmHeapType::ForeignStorageRef:
      return new VmForeignStorageRefHeap(static_cast<const VmForeignStorageRefHeap*>(h)->value);
    case VmHeapType::EventRef: {
      const auto* e = static_cast<const VmEventRefHeap*>(h);
      return new VmEventRefHeap(e->value, e->live.units, e->depth);
    }
    case VmHeapType::Exception: {
      const auto* e = static_cast<const VmExceptionHeap*>(h);
      return new VmExceptionHeap(e->value, e->live.units, e->depth);
    }
  }
  return nullptr;
}

}  // namespace

std::string_view vm_kind_type_name(VmKind kind) {
  const auto i = static_cast<size_t>(kind);
  return i < kVmKindCount ? kTypeNames[i] : std::string_view("unknown");
}

uint64_t vm_structural_hash(const VmValue& value, uint64_t seed) {
  // Text keys are looked up again and again: their hash is kept in the buffer.
  if (vm_kind_is_text(value.kind()) && seed == vm_hash_seed()) {
    detail::VmHeap* heap = VmValueAccess::heap(value);
    if (heap != nullptr && heap->type == VmHeapType::Text) {
      auto& t = *static_cast<VmTextHeap*>(heap);
      if (!t.hashed || t.hashed_kind != value.kind()) {
        t.hash = fmix(hash_value(seed, value));
        t.hashed_kind = value.kind();
        t.hashed = true;
      }
      return t.hash;
    }
  }
  return fmix(hash_value(seed, value));
}

uint64_t vm_hash_word(uint64_t word) { return fmix(word ^ vm_hash_seed()); }

// ---- construction ---------------------------------------------------------------

VmValue VmValue::integer(const mpz_class& i) {
  if (bigint_fits_i64(i)) return integer(bigint_get_i64(i));
  return from_heap(VmKind::Int, charged_made(new VmBigIntHeap(i)));
}

VmValue VmValue::integer(mpz_class&& i) {
  if (bigint_fits_i64(i)) return integer(bigint_get_i64(i));
  return from_heap(VmKind::Int, charged_made(new VmBigIntHeap(std::move(i))));
}

VmValue VmValue::decimal(VmDecimal d) {
  return from_heap(VmKind::Decimal, charged_made(new VmDecimalHeap(std::move(d))));
}

VmValue VmValue::datetime(VmDateTime d) { return from_heap(VmKind::DateTime, charged_made(new VmDateTimeHeap(d))); }

VmValue VmValue::timedelta(VmTimeDelta d) { return timedelta_seconds(d.raw_seconds); }

VmValue VmValue::text_unchecked(VmKind text_kind, std::string bytes) {
  VELN_DEBUG_CHECK(vm_kind_is_text(text_kind), vm_kind_type_name(text_kind));
  const bool ascii = bytes_are_ascii(bytes);
  return from_heap(text_kind, charged_made(new VmTextHeap(std::move(bytes), ascii)));
}

// A text buffer, charged; null when the request's budget refuses it.
[[gnu::always_inline]] inline VmTextHeap* checked_text_heap(std::string& bytes) {
  const size_t n = bytes.size();
  const bool ascii = bytes_are_ascii(bytes);
  return checked_heap<VmTextHeap>(bytes_weight(detail::vm_text_block(n)), detail::text_steps(n), std::move(bytes), ascii);
}

VmResult<VmValue> VmValue::make_text(VmKind text_kind, std::string bytes) {
  VELN_CHECK(vm_check_units(vm_text_units(bytes.size())));
  VmTextHeap* h = checked_text_heap(bytes);
  if (h == nullptr) return budget_refusal();
  return from_heap(text_kind, h);
}

VmResult<VmValue> VmValue::make_str(std::string text) {
  VELN_CHECK(vm_check_units(vm_text_units(text.size())));
  VmTextHeap* h = checked_text_heap(text);
  if (h == nullptr) return budget_refusal();
  return from_heap(VmKind::String, h);
}
VmResult<VmValue> VmValue::make_bytes(std::string bytes) { return make_text(VmKind::Bytes, std::move(bytes)); }
VmResult<VmValue> VmValue::make_bytearray(std::string bytes) {
  return make_text(VmKind::ByteArray, std::move(bytes));
}

VmResult<VmValue> VmValue::make_sequence(VmKind sequence_kind, std::vector<VmValue> items) {
  VELN_DEBUG_CHECK(vm_kind_is_sequence(sequence_kind), vm_kind_type_name(sequence_kind));
  const Caches c = caches_of(items);
  VELN_CHECK(vm_check_limits(c.units, c.depth));
  const size_t n = items.size();
  auto* h = checked_heap<VmSequenceHeap>(items_weight(n), sequence_steps(n, c.units), std::move(items), c.units,
                                         static_cast<uint32_t>(c.depth));
  if (h == nullptr) return budget_refusal();
  return from_heap(sequence_kind, h);
}

VmResult<VmValue> VmValue::make_dict(std::vector<VmDictPair> pairs) {
  const Caches c = caches_of(pairs);
  VELN_CHECK(vm_check_limits(c.units, c.depth));
  const size_t n = pairs.size();
  auto* h = checked_heap<VmDictHeap>(items_weight(n, kVmEntryWeight), dict_steps(n, c.units), std::move(pairs), c.units,
                                     static_cast<uint32_t>(c.depth));
  if (h == nullptr) return budget_refusal();
  return from_heap(VmKind::Dict, h);
}

VmResult<VmValue> VmValue::make_dict_with_room(size_t entries) {
  auto* h = checked_heap<VmDictHeap>(items_weight(entries, kVmEntryWeight), dict_steps(0, 1),
                                     std::vector<VmDictPair>{}, 1, 1);
  if (h == nullptr) return budget_refusal();
  h->pairs.reserve(entries);
  h->capacity = static_cast<uint32_t>(entries);
  return from_heap(VmKind::Dict, h);
}

VmResult<VmValue> VmValue::make_exception(VmException exception) {
  Caches c = caches_of(exception.args);
  c.units = vm_saturating_add(c.units, exception.name.size());
  VELN_CHECK(vm_check_limits(c.units, c.depth));
  VELN_CHECK(vm_budget_status());
  return from_heap(VmKind::Exception,
                   charged_made(new VmExceptionHeap(std::move(exception), c.units, static_cast<uint32_t>(c.depth))));
}

VmResult<VmValue> VmValue::make_event_ref(VmEventDefinition definition) {
  Caches c;
  c.units = detail::vm_record_units(definition.binding, definition.event_name);
  c.add(definition.params);
  VELN_CHECK(vm_check_limits(c.units, c.depth));
  VELN_CHECK(vm_budget_status());
  return from_heap(VmKind::EventRef,
                   charged_made(new VmEventRefHeap(std::move(definition), c.units, static_cast<uint32_t>(c.depth))));
}

VmValue VmValue::contract_handle(VmContractHandle handle) {
  return from_heap(VmKind::ContractHandle, charged_made(new VmContractHandleHeap(std::move(handle))));
}

VmResult<VmValue> VmValue::make_contract_handle(VmContractHandle handle) {
  VELN_CHECK(vm_check_units(detail::vm_record_units(handle.module, handle.origin)));
  return contract_handle(std::move(handle));
}

VmResult<VmValue> VmValue::make_storage_ref(VmStorageRef ref) {
  VELN_CHECK(vm_check_units(detail::vm_record_units(ref.binding, ref.storage_type)));
  return storage_ref(std::move(ref));
}

VmResult<VmValue> VmValue::make_foreign_storage_ref(VmForeignStorageRef ref) {
  VELN_CHECK(vm_check_units(detail::vm_record_units(ref.contract, ref.binding)));
  return foreign_storage_ref(std::move(ref));
}

VmValue VmValue::storage_ref(VmStorageRef ref) {
  return from_heap(VmKind::StorageRef, charged_made(new VmStorageRefHeap(std::move(ref))));
}

VmValue VmValue::foreign_storage_ref(VmForeignStorageRef ref) {
  return from_heap(VmKind::ForeignStorageRef, charged_made(new VmForeignStorageRefHeap(std::move(ref))));
}

VmValue VmValue::with_kind(VmKind same_family_kind) const {
  VELN_EXPECT_KIND((vm_kind_is_sequence(kind_) && vm_kind_is_sequence(same_family_kind)) ||
                   (vm_kind_is_text(kind_) && vm_kind_is_text(same_family_kind)));
  VmValue v = *this;
  v.kind_ = same_family_kind;
  return v;
}

// ---- destruction ------------------------------------------------------------------

// Buffers whose count drops to zero are chained through their headers and
// freed in a loop, so even a deeply nested value is released without
// recursion and without allocating.
void VmValue::destroy_heap(VmHeap* h) noexcept {
  VmRequestBudget* const budget = vm_request_budget();
  h->next_dead = nullptr;
  VmHeap* dead = h;
  auto detach = [&dead](VmValue& child) {
    if (!child.heap_) return;
    child.heap_ = 0;
    VmHeap* c = child.u_.p;
    if (--c->live.refs == 0) {
      c->next_dead = dead;
      dead = c;
    }
  };
  while (dead != nullptr) {
    VmHeap* cur = dead;
    dead = cur->next_dead;
    detail::release_charge(budget, *cur);
    switch (cur->type) {
      case VmHeapType::BigInt:
        delete static_cast<VmBigIntHeap*>(cur);
        break;
      case VmHeapType::Decimal:
        delete static_cast<VmDecimalHeap*>(cur);
        break;
      case VmHeapType::DateTime:
        delete static_cast<VmDateTimeHeap*>(cur);
        break;
      case VmHeapType::Text:
        delete static_cast<VmTextHeap*>(cur);
        break;
      case VmHeapType::Sequence: {
        auto* s = static_cast<VmSequenceHeap*>(cur);
        for (auto& item : s->items) detach(item);
        if (s->edits)
          for (auto& item : s->edits->added) detach(item);
        delete s;
        break;
      }
      case VmHeapType::Dict: {
        auto* d = static_cast<VmDictHeap*>(cur);
        for (auto& p : d->pairs) {
          detach(p.key);
          detach(p.value);
        }
        delete d;
        break;
      }
      case VmHeapType::ContractHandle:
        delete static_cast<VmContractHandleHeap*>(cur);
        break;
      case VmHeapType::StorageRef:
        delete static_cast<VmStorageRefHeap*>(cur);
        break;
      case VmHeapType::ForeignStorageRef:
        delete static_cast<VmForeignStorageRefHeap*>(cur);
        break;
      case VmHeapType::EventRef: {
        auto* e = static_cast<VmEventRefHeap*>(cur);
        detach(e->value.params);
        delete e;
        break;
      }
      case VmHeapType::Exception: {
        auto* e = static_cast<VmExceptionHeap*>(cur);
        for (auto& a : e->value.args) detach(a);
        delete e;
        break;
      }
    }
  }
}

detail::VmSequenceHeap& VmValue::sequence_for_edit(bool keep_edits, bool keep_facts) {
  auto& s = heap_as<VmSequenceHeap>(make_unique_heap());
  if (s.side) {
    s.side.reset();
    detail::charge_reweighed(s, weight_of(s));
  }
  if (!keep_facts) s.facts = 0;
  if (!keep_edits && s.edits) {
    s.merge_edits();
    detail::charge_reweighed(s, weight_of(s));
  }
  return s;
}

uint8_t VmValue::set_facts() const { return heap_ ? heap_as<VmSequenceHeap>(u_.p).facts : 0; }

void VmValue::note_set_facts(uint8_t facts) const {
  if (heap_) heap_as<VmSequenceHeap>(u_.p).facts = facts;
}

VmSideCache& VmValue::side_cache() const {
  std::unique_ptr<VmSideCache>& side =
      kind_ == VmKind::Dict ? heap_as<VmDictHeap>(u_.p).side : heap_as<VmSequenceHeap>(u_.p).side;
  if (!side) side = std::make_unique<VmSideCache>();
  return *side;
}

void VmValue::charge_side_cache(uint64_t weight) const {
  side_cache().weight = weight;
  if (kind_ == VmKind::Dict) detail::charge_reweighed(*u_.p, weight_of(heap_as<VmDictHeap>(u_.p)));
  else detail::charge_reweighed(*u_.p, weight_of(heap_as<VmSequenceHeap>(u_.p)));
}

std::optional<std::vector<VmDictPair>> VmValue::take_unshared_dict_pairs() {
  VELN_EXPECT_KIND(is(VmKind::Dict));
  if (u_.p->live.refs != 1) return std::nullopt;
  std::vector<VmDictPair> pairs = std::move(heap_as<VmDictHeap>(u_.p).pairs);
  *this = VmValue();
  return pairs;
}

namespace {

// Replaces a shared buffer by a copy of its own.
[[gnu::noinline]] VmHeap* unshare(VmHeap*& heap) {
  VmHeap* c = charged_copy(clone_heap(heap));
  --heap->live.refs;  // cannot reach zero: it was shared
  heap = c;
  return c;
}

}  // namespace

// Every edit starts here, and nearly every buffer edited is unshared.
VmHeap* VmValue::make_unique_heap() {
  if (u_.p->live.refs == 1) [[likely]] return u_.p;
  return unshare(u_.p);
}

// ---- queries -------------------------------------------------------------------------

bool VmValue::truthy() const {
  switch (kind_) {
    case VmKind::None:
      return false;
    case VmKind::Bool:
      return u_.b;
    case VmKind::Int:
      return heap_ ? true : u_.i != 0;  // a big integer is never zero
    case VmKind::Float:
      return u_.f != 0.0;
    case VmKind::Decimal:
      return !decimal_value().is_zero();
    case VmKind::TimeDelta:
      return u_.i != 0;
    case VmKind::String:
    case VmKind::Bytes:
    case VmKind::ByteArray:
      return text_size() != 0;
    case VmKind::Set:
    case VmKind::FrozenSet:
    case VmKind::List:
    case VmKind::Tuple:
      return item_count() != 0;
    case VmKind::Dict:
      return dict_size() != 0;
    default:
      return true;
  }
}

namespace {

bool items_eq(std::span<const VmValue> a, std::span<const VmValue> b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (!a[i].eq(b[i])) return false;
  return true;
}

}  // namespace

// Called when at least one side holds a buffer; kinds are equal.
bool VmValue::eq_slow(const VmValue& o) const {
  switch (kind_) {
    case VmKind::None:
      return true;
    case VmKind::Bool:
      return u_.b == o.u_.b;
    case VmKind::Int:
      if (!heap_ && !o.heap_) return u_.i == o.u_.i;
      if (!heap_ || !o.heap_) return false;  // normalised: big never equals small
      return mpz_cmp(big_int().get_mpz_t(), o.big_int().get_mpz_t()) == 0;
    case VmKind::Float:
      return u_.f == o.u_.f;
    case VmKind::Decimal:
      return decimal_value() == o.decimal_value();
    case VmKind::DateTime:
      return datetime_value() == o.datetime_value();
    case VmKind::TimeDelta:
      return u_.i == o.u_.i;
    case VmKind::String:
    case VmKind::Bytes:
    case VmKind::ByteArray:
    case VmKind::Builtin:
    case VmKind::FunctionRef:
    case VmKind::TypeMarker:
      return u_.p == o.u_.p || text() == o.text();
    case VmKind::Set:
    case VmKind::FrozenSet:
    case VmKind::List:
    case VmKind::Tuple:
      // No identity shortcut: a NaN item makes a list unequal to itself.
      return items_eq(items(), o.items());
    case VmKind::Dict: {
      auto a = dict_pairs();
      auto b = o.dict_pairs();
      if (a.size() != b.size()) return false;
      for (size_t i = 0; i < a.size(); ++i)
        if (!a[i].key.eq(b[i].key) || !a[i].value.eq(b[i].value)) return false;
      return true;
    }
    case VmKind::ContractHandle: {
      const auto &a = contract_handle_value(), &b = o.contract_handle_value();
      return a.module == b.module && a.origin == b.origin;
    }
    case VmKind::StorageRef: {
      const auto &a = storage_ref_value(), &b = o.storage_ref_value();
      return a.binding == b.binding && a.storage_type == b.storage_type;
    }
    case VmKind::ForeignStorageRef: {
      const auto &a = foreign_storage_ref_value(), &b = o.foreign_storage_ref_value();
      return a.is_hash == b.is_hash && a.contract == b.contract && a.binding == b.binding;
    }
    case VmKind::EventRef: {
      const auto &a = event_ref_value(), &b = o.event_ref_value();
      return a.binding == b.binding && a.event_name == b.event_name && a.params.eq(b.params);
    }
    case VmKind::Exception: {
      const auto &a = exception_value(), &b = o.exception_value();
      return a.name == b.name && items_eq(a.args, b.args);
    }
  }
  return false;
}

// ---- payload access -------------------------------------------------------------------

VmTimeDelta VmValue::timedelta_value() const {
  VELN_EXPECT_KIND(is(VmKind::TimeDelta));
  return VmTimeDelta{u_.i};
}

const mpz_class& VmValue::big_int() const {
  VELN_EXPECT_KIND(is(VmKind::Int) && heap_);
  return heap_as<VmBigIntHeap>(u_.p).value;
}

mpz_class VmValue::int_to_mpz() const {
  VELN_EXPECT_KIND(is(VmKind::Int));
  if (heap_) return big_int();
  mpz_class z;
  bigint_set_i64(z, u_.i);
  return z;
}

int VmValue::int_sign() const {
  VELN_EXPECT_KIND(is(VmKind::Int));
  if (heap_) return sgn(big_int());
  return (u_.i > 0) - (u_.i < 0);
}

const VmDecimal& VmValue::decimal_value() const {
  VELN_EXPECT_KIND(is(VmKind::Decimal));
  return heap_as<VmDecimalHeap>(u_.p).value;
}

VmDecimal* VmValue::unshared_decimal() {
  VELN_EXPECT_KIND(is(VmKind::Decimal));
  if (!holds_only_reference()) return nullptr;
  return &heap_as<VmDecimalHeap>(u_.p).value;
}

const VmDateTime& VmValue::datetime_value() const {
  VELN_EXPECT_KIND(is(VmKind::DateTime));
  return heap_as<VmDateTimeHeap>(u_.p).value;
}

std::string_view VmValue::text() const {
  VELN_EXPECT_KIND(vm_kind_is_text(kind_));
  return heap_as<VmTextHeap>(u_.p).bytes;
}
size_t VmValue::text_size() const {
  VELN_EXPECT_KIND(vm_kind_is_text(kind_));
  return heap_as<VmTextHeap>(u_.p).bytes.size();
}
bool VmValue::text_is_ascii() const {
  VELN_EXPECT_KIND(vm_kind_is_text(kind_));
  return heap_as<VmTextHeap>(u_.p).ascii;
}

size_t VmValue::text_code_points() const {
  VELN_EXPECT_KIND(vm_kind_is_text(kind_));
  auto& t = heap_as<VmTextHeap>(u_.p);
  if (t.code_points == detail::kUnknownCodePoints) t.code_points = static_cast<uint32_t>(count_code_points(t.bytes));
  return t.code_points;
}

size_t VmValue::text_byte_offset(size_t index) const {
  VELN_EXPECT_KIND(vm_kind_is_text(kind_));
  auto& t = heap_as<VmTextHeap>(u_.p);
  if (t.ascii) return index;
  constexpr size_t kStride = detail::kCodePointStride;
  if (!t.checkpoints) {
    auto checkpoints = std::make_unique<std::vector<uint32_t>>();
    size_t cp = 0;
    for (size_t b = 0; b < t.bytes.size(); ++b) {
      if ((static_cast<unsigned char>(t.bytes[b]) & 0xC0) == 0x80) continue;
      if (cp % kStride == 0) checkpoints->push_back(static_cast<uint32_t>(b));
      ++cp;
    }
    if (checkpoints->empty()) checkpoints->push_back(0);
    t.checkpoints = std::move(checkpoints);
    t.code_points = static_cast<uint32_t>(cp);
  }
  const std::vector<uint32_t>& checkpoints = *t.checkpoints;
  const size_t chunk = std::min(index / kStride, checkpoints.size() - 1);
  size_t b = checkpoints[chunk];
  size_t cp = chunk * kStride;
  for (; b < t.bytes.size(); ++b) {
    if ((static_cast<unsigned char>(t.bytes[b]) & 0xC0) == 0x80) continue;
    if (cp == index) return b;
    ++cp;
  }
  return t.bytes.size();
}

std::span<const VmValue> VmValue::items() const {
  VELN_EXPECT_KIND(vm_kind_is_sequence(kind_));
  // Merging changes how the items lie, never what they are: a shared buffer
  // may be merged by any of its holders.
  auto& s = heap_as<VmSequenceHeap>(u_.p);
  if (s.edits) [[unlikely]] {
    s.merge_edits();
    detail::charge_reweighed(s, weight_of(s));
  }
  return s.items;
}

VmItemsView VmValue::items_view() const {
  VELN_EXPECT_KIND(vm_kind_is_sequence(kind_));
  const auto& s = heap_as<VmSequenceHeap>(u_.p);
  return s.edits ? s.edits->view(s.items) : VmItemsView(s.items);
}

size_t VmValue::item_count() const {
  VELN_EXPECT_KIND(vm_kind_is_sequence(kind_));
  const auto& s = heap_as<VmSequenceHeap>(u_.p);
  return s.edits ? s.edits->size() : s.items.size();
}

std::span<const VmDictPair> VmValue::dict_pairs() const {
  VELN_EXPECT_KIND(is(VmKind::Dict));
  return heap_as<VmDictHeap>(u_.p).pairs;
}
size_t VmValue::dict_size() const {
  VELN_EXPECT_KIND(is(VmKind::Dict));
  return heap_as<VmDictHeap>(u_.p).pairs.size();
}

namespace {

// vm_structural_hash under the dict seed, with the common small ints
// hashed in place.
inline uint64_t key_hash(const VmValue& key) {
  if (key.is(VmKind::Int) && key.int_is_small()) {
    const uint64_t kind = static_cast<uint64_t>(VmKind::Int) + 1;
    return fmix(mix(mix(dict_hash_seed(), kind), static_cast<uint64_t>(key.small_int())));
  }
  return vm_structural_hash(key, dict_hash_seed());
}

// The first pair whose key is structurally equal to `key`. A dict large
// enough for an index gets it, and `hash` the key's hash.
std::optional<size_t> find_pair(VmDictHeap& d, const VmValue& key, std::optional<uint64_t>& hash) {
  // The key is read whole to hash or compare it, whichever path finds it
  // (the last pair found, the index, a scan): the count is the lookup's.
  // Once the request's allowance has passed, the lookup gives up: the
  // request fails at its next charge, whatever is found here.
  if (!vm_count_key_read(key)) [[unlikely]]
    return std::nullopt;
  if (d.pairs.size() <= detail::kDictIndexThreshold) {
    for (size_t i = 0; i < d.pairs.size(); ++i)
      if (d.pairs[i].key.eq(key)) return i;
    return std::nullopt;
  }
  if (!d.index) {
    if (!build_index(d)) return std::nullopt;
    detail::charge_reweighed(d, weight_of(d));
  }
  const VmDictIndex& idx = *d.index;
  if (d.last_found < d.pairs.size() && !idx.has_duplicates && d.pairs[d.last_found].key.eq(key)) {
    return d.last_found;
  }
  const uint64_t h = key_hash(key);
  hash = h;
  const size_t mask = idx.slots.size() - 1;
  for (size_t i = h & mask; idx.slots[i] != 0; i = (i + 1) & mask) {
    const uint32_t p = idx.slots[i] - 1;
    if (idx.hashes[p] == h && d.pairs[p].key.eq(key)) {
      d.last_found = p;
      return p;
    }
  }
  return std::nullopt;
}

}  // namespace

std::optional<size_t> VmValue::dict_find_structural(const VmValue& key) const {
  VELN_EXPECT_KIND(is(VmKind::Dict));
  std::optional<uint64_t> hash;
  return find_pair(heap_as<VmDictHeap>(u_.p), key, hash);
}

const VmContractHandle& VmValue::contract_handle_value() const {
  VELN_EXPECT_KIND(is(VmKind::ContractHandle));
  return heap_as<VmContractHandleHeap>(u_.p).value;
}
const VmStorageRef& VmValue::storage_ref_value() const {
  VELN_EXPECT_KIND(is(VmKind::StorageRef));
  return heap_as<VmStorageRefHeap>(u_.p).value;
}
const VmForeignStorageRef& VmValue::foreign_storage_ref_value() const {
  VELN_EXPECT_KIND(is(VmKind::ForeignStorageRef));
  return heap_as<VmForeignStorageRefHeap>(u_.p).value;
}
const VmEventDefinition& VmValue::event_ref_value() const {
  VELN_EXPECT_KIND(is(VmKind::EventRef));
  return heap_as<VmEventRefHeap>(u_.p).value;
}
const VmException& VmValue::exception_value() const {
  VELN_EXPECT_KIND(is(VmKind::Exception));
  return heap_as<VmExceptionHeap>(u_.p).value;
}

// ---- mutation ----------------------------------------------------------------------

VmStatus VmValue::text_append(std::string_view more) {
  VELN_EXPECT_KIND(vm_kind_is_text(kind_));
  const uint64_t units = vm_saturating_add(this->units(), more.size());
  VELN_CHECK(vm_check_units(units));
  const uint64_t steps = more.size() / kVmTextBytesPerStep;
  // A shared text is copied to the room a text of its size is made with first.
  VELN_CHECK_SHARED_EDIT(u_.p,
                         bytes_weight(detail::vm_text_capacity_for(detail::vm_text_block(text_size()),
                                                                   text_size() + more.size())) -
                             bytes_weight(detail::vm_text_block(text_size())),
                         steps);
  auto& t = heap_as<VmTextHeap>(make_unique_heap());
  const size_t needed = t.bytes.size() + more.size();
  // Nearly every append to a text that grows in a loop finds room.
  const bool grows = needed > t.capacity() || needed > t.bytes.capacity();
  if (!detail::charge_growth(t, grows ? bytes_weight(t.capacity_for(needed)) - bytes_weight(t.capacity()) : 0, steps))
    [[unlikely]] return budget_refusal();
  if (grows) [[unlikely]]
    t.make_room(needed);
  t.bytes.append(more);
  t.checkpoints.reset();
  t.hashed = false;
  const bool more_ascii = bytes_are_ascii(more);
  if (t.code_points != detail::kUnknownCodePoints)
    t.code_points += static_cast<uint32_t>(more_ascii ? more.size() : count_code_points(more));
  t.ascii = t.ascii && more_ascii;
  t.set_units(units);
  return Ok{};
}

VmStatus VmValue::text_assign(std::string bytes) {
  VELN_EXPECT_KIND(vm_kind_is_text(kind_));
  VELN_CHECK(vm_check_units(vm_text_units(bytes.size())));
  VELN_CHECK_SHARED_EDIT(u_.p, 0, 0);
  auto& t = heap_as<VmTextHeap>(make_unique_heap());
  // The new bytes take the room a text of their size is made with, in
  // place of the old block.
  const uint64_t weight = bytes_weight(detail::vm_text_block(bytes.size()));
  const uint64_t now = weight_of(t);
  if (bytes.size() > t.bytes.size() &&
      !detail::charge_growth(t, weight > now ? weight - now : 0, detail::text_steps(bytes.size())))
    return budget_refusal();
  t.ascii = bytes_are_ascii(bytes);
  t.adopt(std::move(bytes));
  detail::charge_reweighed(t, weight);
  t.checkpoints.reset();
  t.hashed = false;
  t.code_points = t.ascii ? static_cast<uint32_t>(t.bytes.size()) : detail::kUnknownCodePoints;
  t.set_units(vm_text_units(t.bytes.size()));
  return Ok{};
}

void VmValue::bytes_set(size_t index, uint8_t byte) {
  VELN_EXPECT_KIND(is(VmKind::Bytes) || is(VmKind::ByteArray));
  auto& t = heap_as<VmTextHeap>(make_unique_heap());
  t.bytes[index] = static_cast<char>(byte);
  t.checkpoints.reset();
  t.hashed = false;
  if (byte >= 0x80) t.ascii = false;
  t.code_points = t.ascii ? static_cast<uint32_t>(t.bytes.size()) : detail::kUnknownCodePoints;
}

std::vector<VmValue>& VmValue::seq_items_mut_unchecked() {
  return sequence_for_edit().items;
}

VmStatus VmValue::seq_refresh_caches() {
  auto& s = heap_as<VmSequenceHeap>(u_.p);
  // The edit may have grown the block the library's way: it takes the
  // engine's room again.
  if (s.items.size() > s.capacity) s.capacity = static_cast<uint32_t>(detail::vm_grown_capacity(s.items.size()));
  detail::vm_reallocate_block(s.items, s.capacity);
  s.give_back_room();
  const Caches c = caches_of(s.items);
  s.set_units(c.units);
  s.depth = static_cast<uint16_t>(std::min<uint64_t>(c.depth, kVmMaxDepth + 1));
  detail::charge_reweighed(s, weight_of(s));
  VELN_CHECK(vm_check_limits(c.units, c.depth));
  return vm_budget_status();
}

VmStatus VmValue::seq_push(VmValue item) {
  VELN_EXPECT_KIND(vm_kind_is_sequence(kind_));
  Caches c{units(), depth()};
  c.add(item);
  VELN_CHECK(c.check());
  // A shared sequence is copied to a block of its size first.
  VELN_CHECK_SHARED_EDIT(u_.p, room_growth(item_count(), item_count() + 1), 1);
  auto& s = sequence_for_edit();
  const size_t n = s.items.size();
  const uint64_t growth = n < s.capacity ? 0 : room_growth(s.capacity, n + 1);
  if (!detail::charge_growth(s, growth, 1)) return budget_refusal();
  s.make_room(n + 1);
  s.items.push_back(std::move(item));
  s.set_units(c.units);
  s.depth = static_cast<uint16_t>(c.depth);
  return Ok{};
}

namespace {

// Sets from this size on keep their insertions and removals pending (below
// it, moving the tail of the items costs less than reading through pieces).
constexpr size_t kDeferredEditMin = 256;

detail::VmPendingEdits& pending_edits(VmSequenceHeap& s) {
  if (!s.edits) s.edits = std::make_unique<detail::VmPendingEdits>(s.items.size());
  return *s.edits;
}

// What inserting into a copy of `n` items adds to the copy's weight: room
// for one more item, or, for a deferred insertion, the pending edits made
// afresh (a piece covering the items) and the room the insertion takes.
uint64_t copy_insert_growth(size_t n, bool deferred) {
  if (!deferred) return room_growth(n, n + 1);
  const uint64_t pieces = detail::vm_room_added(0, 1) + detail::vm_room_added(1, 3);
  return kVmItemWeight * (pieces + detail::vm_room_added(0, 1));
}

}  // namespace

VmStatus VmValue::seq_insert(size_t index, VmValue item, VmWorkMeter* meter) {
  VELN_EXPECT_KIND(vm_kind_is_sequence(kind_));
  Caches c{units(), depth()};
  c.add(item);
  VELN_CHECK(vm_check_limits(c.units, c.depth));
  const bool deferred = kind_ == VmKind::Set && item_count() >= kDeferredEditMin;
  VELN_CHECK_SHARED_EDIT(u_.p, copy_insert_growth(item_count(), deferred), 0);
  auto& s = sequence_for_edit(deferred);
  if (deferred) {
    // The edits made afresh and the room the insertion takes.
    const bool fresh = !s.edits;
    const uint64_t before = weight_of(s);
    detail::VmPendingEdits& edits = pending_edits(s);
    if (!detail::charge_growth(s, weight_of(s) - before + kVmItemWeight * edits.insert_room(), 0)) {
      if (fresh) s.edits.reset();
      return budget_refusal();
    }
  } else if (!detail::charge_growth(s, room_growth(s.capacity, s.items.size() + 1), 0)) {
    return budget_refusal();
  }
  if (deferred) {
    s.edits->insert(index, std::move(item), meter);
    if (s.edits->worth_merging()) s.merge_edits(meter);
    detail::charge_reweighed(s, weight_of(s));
  } else {
    vm_tick(meter, 1 + s.items.size() - index);
    s.make_room(s.items.size() + 1);
    s.items.insert(s.items.begin() + static_cast<ptrdiff_t>(index), std::move(item));
  }
  s.set_units(c.units);
  s.depth = static_cast<uint16_t>(c.depth);
  return Ok{};
}

VmStatus VmValue::seq_extend(std::span<const VmValue> more) {
  VELN_EXPECT_KIND(vm_kind_is_sequence(kind_));
  Caches c{units(), depth()};
  for (const auto& v : more) c.add(v);
  VELN_CHECK(vm_check_limits(c.units, c.depth));
  // `more` may view this very sequence (x.extend(x)): then copy it first,
  // since growing the buffer would move the items under the view.
  const auto own = items();
  const std::less<const VmValue*> before;
  const bool aliased = !more.empty() && !before(more.data(), own.data()) && before(more.data(), own.data() + own.size());
  std::vector<VmValue> copy;
  if (aliased) {
    copy.assign(more.begin(), more.end());
    more = copy;
  }
  const uint64_t steps = more.size() + detail::held_buffer_steps(more.size(), c.units - units());
  const size_t needed = own.size() + more.size();
  VELN_CHECK_SHARED_EDIT(u_.p, room_growth(own.size(), needed), steps);
  auto& s = sequence_for_edit();
  if (!detail::charge_growth(s, room_growth(s.capacity, needed), steps)) return budget_refusal();
  s.make_room(needed);
  s.items.insert(s.items.end(), more.begin(), more.end());
  s.set_units(c.units);
  s.depth = static_cast<uint16_t>(c.depth);
  return Ok{};
}

namespace {

// Depth of a container after one of its parts of depth `removed_depth` left:
// only a recount when that part was the deepest. A leaf never is (an empty
// container has depth 1 already), so taking one from a flat container costs
// no walk over the rest.
template <class Recount>
uint64_t depth_after_removal(uint32_t depth, uint32_t removed_depth, Recount recount) {
  if (removed_depth == 0 || uint64_t{removed_depth} + 1 < depth) return depth;
  return recount();
}

// The depth of a sequence of `items` after an item of depth `removed_depth`,
// one of the deepest, left: the recount stops at an item as deep (items of
// one shape, say tuples, stop it at once).
template <class Items>
uint64_t depth_without(const Items& items, uint32_t removed_depth) {
  Caches c;
  uint64_t visited = 0;
  for (const VmValue& item : items) {
    ++visited;
    if (item.depth() >= removed_depth) {
      vm_count_work(visited);
      return uint64_t{removed_depth} + 1;
    }
    c.add(item);
  }
  vm_count_work(visited);
  return c.depth;
}

// The depth of a container read anew from all its parts: a step per part.
template <class Parts>
uint64_t recounted_depth(const Parts& parts) {
  vm_count_work(parts.size());
  return caches_of(parts).depth;
}

}  // namespace

VmStatus VmValue::seq_set(size_t index, VmValue item) {
  VELN_EXPECT_KIND(vm_kind_is_sequence(kind_));
  VELN_CHECK_SHARED_EDIT(u_.p, 0, 0);
  const VmValue& old = items()[index];
  if (!old.holds_buffer() && !item.holds_buffer()) {
    // One unit in place of another at depth 0: the caches stay right.
    sequence_for_edit().items[index] = std::move(item);
    return Ok{};
  }
  const uint64_t units = vm_saturating_add(this->units() - old.units(), item.units());
  const uint64_t new_depth = uint64_t{item.depth()} + 1;
  const bool recount = new_depth < depth() && uint64_t{old.depth()} + 1 == depth();
  if (!recount) VELN_CHECK(vm_check_limits(units, std::max<uint64_t>(depth(), new_depth)));
  else VELN_CHECK(vm_check_units(units));
  auto& s = sequence_for_edit();
  s.items[index] = std::move(item);
  s.set_units(units);
  if (recount) s.depth = static_cast<uint16_t>(recounted_depth(s.items));
  else s.depth = static_cast<uint16_t>(std::max<uint64_t>(s.depth, new_depth));
  return Ok{};
}

VmValue VmValue::seq_remove(size_t index, VmWorkMeter* meter) {
  VELN_EXPECT_KIND(vm_kind_is_sequence(kind_));
  const bool deferred = kind_ == VmKind::Set && item_count() >= kDeferredEditMin;
  auto& s = sequence_for_edit(deferred, true);
  VmValue out;
  if (deferred) {
    out = pending_edits(s).remove(index, s.items, meter);
  } else {
    vm_tick(meter, s.items.size() - index);
    out = std::move(s.items[index]);
    s.items.erase(s.items.begin() + static_cast<ptrdiff_t>(index));
  }
  s.set_units(s.live.units - out.units());
  s.depth = static_cast<uint16_t>(depth_after_removal(s.depth, out.depth(), [&] {
    return s.edits ? depth_without(s.edits->view(s.items), out.depth()) : depth_without(s.items, out.depth());
  }));
  if (!s.edits) {
    s.give_back_room();
  } else if (s.edits->worth_merging()) {
    s.merge_edits(meter);
  } else if (detail::vm_block_is_sparse(s.edits->size(), s.capacity)) {
    // The items left are brought together to give the room back.
    s.merge_edits();
  }
  detail::charge_reweighed(s, weight_of(s));
  return out;
}

// A cleared container needs none of its storage: a shared buffer is left to
// its other holders (copying it first would cost its whole weight for
// nothing), and an unshared one gives its block back.
void VmValue::seq_clear() {
  VELN_EXPECT_KIND(vm_kind_is_sequence(kind_));
  if (u_.p->live.refs != 1) {
    *this = from_heap(kind_, charged_made(new VmSequenceHeap({}, 1, 1)));
    return;
  }
  auto& s = sequence_for_edit(true);
  s.edits.reset();
  std::vector<VmValue>().swap(s.items);
  s.capacity = 0;
  s.set_units(1);
  s.depth = 1;
  detail::charge_reweighed(s, weight_of(s));
}

namespace {

// What appending a pair adds to a dict whose entries have room for
// `capacity`: the entries' room, the hashes' alongside, and the index's
// slots when they double.
uint64_t append_growth(const VmDictHeap& d, uint64_t capacity) {
  const size_t n = d.pairs.size();
  uint64_t growth = room_growth(capacity, n + 1, kVmEntryWeight);
  if (d.index) {
    growth += kVmWordWeight * detail::vm_room_added(capacity, n + 1);
    if (index_needs_room(*d.index, n + 1)) growth += kVmIndexSlotWeight * d.index->slots.size();
  }
  return growth;
}

// A dict whose entries fill less than a quarter of their room gives it
// back, its index's hashes and slots too: a copy of the entries, counted as
// one, and of the slots.
void give_back_room(VmDictHeap& d) {
  const size_t n = d.pairs.size();
  if (!detail::vm_block_is_sparse(n, d.capacity)) [[likely]]
    return;
  d.capacity = static_cast<uint32_t>(detail::vm_shrunk_capacity(n));
  detail::vm_reallocate_block(d.pairs, d.capacity);
  uint64_t steps = detail::item_steps(n);
  if (d.index) {
    detail::vm_reallocate_block(d.index->hashes, d.capacity);
    const size_t slots = index_capacity_for(n);
    if (slots < d.index->slots.size()) {
      steps += d.index->slots.size();
      index_rehash(*d.index, d.pairs, slots);
    }
  }
  vm_count_work(steps);
}

}  // namespace

VmStatus VmValue::dict_push_pair(VmValue key, VmValue value) {
  if (!vm_count_key_read(key)) [[unlikely]]
    return vm_request_budget()->error();
  return dict_append(std::move(key), std::move(value), nullptr);
}

VmStatus VmValue::dict_append(VmValue key, VmValue value, const uint64_t* absent_key_hash) {
  VELN_EXPECT_KIND(is(VmKind::Dict));
  Caches c{units(), depth()};
  c.add(key);
  c.add(value);
  VELN_CHECK(c.check());
  // A shared dict is copied to blocks of its size first (its index too).
  VELN_CHECK_SHARED_EDIT(u_.p, append_growth(heap_as<VmDictHeap>(u_.p), dict_size()), 1);
  auto& d = heap_as<VmDictHeap>(make_unique_heap());
  const size_t n = d.pairs.size();
  const bool grows = n == d.capacity || (d.index && index_needs_room(*d.index, n + 1));
  if (!detail::charge_growth(d, grows ? append_growth(d, d.capacity) : 0, 1)) [[unlikely]]
    return budget_refusal();
  d.make_room(n + 1);
  d.pairs.push_back(VmDictPair{std::move(key), std::move(value)});
  d.set_units(c.units);
  d.depth = static_cast<uint16_t>(c.depth);
  if (d.index) {
    VmDictIndex& idx = *d.index;
    idx.hashes.push_back(absent_key_hash != nullptr ? *absent_key_hash
                                                    : vm_structural_hash(d.pairs.back().key, dict_hash_seed()));
    if (index_needs_room(idx, d.pairs.size())) index_rehash(idx, d.pairs, idx.slots.size() * 2);
    index_insert(idx, d.pairs, static_cast<uint32_t>(d.pairs.size() - 1), absent_key_hash == nullptr);
  }
  return Ok{};
}

VmStatus VmValue::dict_set_key(VmValue key, VmValue value) {
  VELN_EXPECT_KIND(is(VmKind::Dict));
  auto& d = heap_as<VmDictHeap>(u_.p);
  std::optional<uint64_t> hash;
  if (const std::optional<size_t> at = find_pair(d, key, hash)) return dict_set_value(*at, std::move(value));
  // The key is absent: an indexed dict takes the hash found into the index
  // (a clone carries the index over).
  return dict_append(std::move(key), std::move(value), hash ? &*hash : nullptr);
}

VmStatus VmValue::dict_set_value(size_t index, VmValue value) {
  VELN_EXPECT_KIND(is(VmKind::Dict));
  VELN_CHECK_SHARED_EDIT(u_.p, 0, 0);
  auto& cur = heap_as<VmDictHeap>(u_.p);
  const VmValue& old = cur.pairs[index].value;
  if (!old.holds_buffer() && !value.holds_buffer()) {
    // One unit in place of another at depth 0: the caches stay right.
    heap_as<VmDictHeap>(make_unique_heap()).pairs[index].value = std::move(value);
    return Ok{};
  }
  const uint64_t units = vm_saturating_add(this->units() - old.units(), value.units());
  const uint64_t new_depth = uint64_t{value.depth()} + 1;
  const bool recount = new_depth < depth() && uint64_t{old.depth()} + 1 == depth();
  if (!recount) VELN_CHECK(vm_check_limits(units, std::max<uint64_t>(depth(), new_depth)));
  else VELN_CHECK(vm_check_units(units));
  auto& d = heap_as<VmDictHeap>(make_unique_heap());
  d.pairs[index].value = std::move(value);
  d.set_units(units);
  if (recount) d.depth = static_cast<uint16_t>(recounted_depth(d.pairs));
  else d.depth = static_cast<uint16_t>(std::max<uint64_t>(d.depth, new_depth));
  return Ok{};
}

VmDictPair VmValue::dict_remove_at(size_t index) {
  VELN_EXPECT_KIND(is(VmKind::Dict));
  auto& d = heap_as<VmDictHeap>(make_unique_heap());
  d.side.reset();
  if (d.index) {
    // With duplicate keys a later twin may have to become the indexed one.
    if (d.index->has_duplicates) d.index.reset();
    else index_remove(*d.index, index);
  }
  VmDictPair out = std::move(d.pairs[index]);
  d.pairs.erase(d.pairs.begin() + static_cast<ptrdiff_t>(index));
  vm_count_work(d.pairs.size() - index);
  give_back_room(d);
  detail::charge_reweighed(d, weight_of(d));
  d.set_units(d.live.units - out.key.units() - out.value.units());
  const uint32_t removed = std::max(out.key.depth(), out.value.depth());
  d.depth = static_cast<uint16_t>(depth_after_removal(d.depth, removed, [&] { return recounted_depth(d.pairs); }));
  return out;
}

void VmValue::dict_clear() {
  VELN_EXPECT_KIND(is(VmKind::Dict));
  if (u_.p->live.refs != 1) {
    *this = from_heap(VmKind::Dict, charged_made(new VmDictHeap({}, 1, 1)));
    return;
  }
  auto& d = heap_as<VmDictHeap>(make_unique_heap());
  d.side.reset();
  std::vector<VmDictPair>().swap(d.pairs);
  d.capacity = 0;
  d.index.reset();
  d.set_units(1);
  d.depth = 1;
  detail::charge_reweighed(d, weight_of(d));
}

// ---- conversions ------------------------------------------------------------------

VmResult<int64_t> VmValue::as_i64() const {
  switch (kind_) {
    case VmKind::Bool:
      return int64_t{u_.b ? 1 : 0};
    case VmKind::Int:
      if (heap_) return vm_error("integer value exceeds the supported i64 range");
      return u_.i;
    case VmKind::Decimal:
      return decimal_value().to_i64();
    default:
      return vm_error("expected int-compatible value, got " + std::string(type_name()));
  }
}

VmResult<mpz_class> VmValue::as_bigint() const {
  switch (kind_) {
    case VmKind::Bool:
      return mpz_class(u_.b ? 1 : 0);
    case VmKind::Int:
      return int_to_mpz();
    case VmKind::Decimal:
      return decimal_value().to_bigint();
    default:
      return vm_error("expected int-compatible value, got " + std::string(type_name()));
  }
}

VmResult<std::string> VmValue::as_string() const {
  if (kind_ != VmKind::String) return vm_error("expected string value, got " + std::string(type_name()));
  return std::string(text());
}

VmResult<VmContractHandle> VmValue::as_contract_handle() const {
  if (kind_ != VmKind::ContractHandle)
    return vm_error("expected contract handle, got " + std::string(type_name()));
  return contract_handle_value();
}

// ---- integer arithmetic -----------------------------------------------------------

namespace {

static_assert(sizeof(mp_limb_t) == 8, "one limb must hold a 64-bit magnitude");

template <void (*Op)(mpz_ptr, mpz_srcptr, mpz_srcptr)>
VmValue int_binary(const VmValue& a, const VmValue& b) {
  VmIntView x(a), y(b);
  mpz_class r;
  Op(r.get_mpz_t(), x.get(), y.get());
  return VmValue::integer(std::move(r));
}

}  // namespace

VmValue vm_int_add_slow(const VmValue& a, const VmValue& b) { return int_binary<mpz_add>(a, b); }
VmValue vm_int_sub_slow(const VmValue& a, const VmValue& b) { return int_binary<mpz_sub>(a, b); }
VmValue vm_int_mul_slow(const VmValue& a, const VmValue& b) { return int_binary<mpz_mul>(a, b); }

VmValue vm_int_neg(const VmValue& a) {
  if (a.int_is_small() && a.small_int() != INT64_MIN) return VmValue::integer(-a.small_int());
  mpz_class r = -a.int_to_mpz();
  return VmValue::integer(std::move(r));
}

VmResult<VmValue> vm_int_floor_div(const VmValue& a, const VmValue& b) {
  if (a.int_is_small() && b.int_is_small()) {
    const int64_t x = a.small_int(), y = b.small_int();
    if (y == 0) return vm_error("division by zero");
    if (!(x == INT64_MIN && y == -1)) {
      int64_t q = x / y;
      if (x % y != 0 && ((x % y < 0) != (y < 0))) --q;
      return VmValue::integer(q);
    }
  }
  VELN_TRY(mpz_class q, bigint_floor_div(a.int_to_mpz(), b.int_to_mpz()));
  return VmValue::integer(std::move(q));
}

VmResult<VmValue> vm_int_modulo(const VmValue& a, const VmValue& b) {
  if (a.int_is_small() && b.int_is_small()) {
    const int64_t x = a.small_int(), y = b.small_int();
    if (y == 0) return vm_error("division by zero");
    if (y == -1) return VmValue::integer(0);  // also avoids INT64_MIN % -1
    int64_t r = x % y;
    if (r != 0 && ((r < 0) != (y < 0))) r += y;
    return VmValue::integer(r);
  }
  VELN_TRY(mpz_class r, bigint_modulo(a.int_to_mpz(), b.int_to_mpz()));
  return VmValue::integer(std::move(r));
}

}  // namespace veln
