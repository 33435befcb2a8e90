// VmValue: the runtime value of contract code, a 16-byte tagged value with 23
// kinds, plus the payload records of its handle kinds. Scalars (None, Bool,
// Float, TimeDelta, integers that fit 64 bits) are inline; everything else sits
// in one intrusively reference-counted buffer with copy-on-write, so a copy is
// O(1) and never observable as sharing. Buffers cache the value's size in units
// and its nesting depth so the safety limits are O(1) checks.
// This file must not grow operator semantics (arithmetic across kinds, value
// equality, ordering): those belong to the support library.
#pragma once

#include <gmpxx.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "values/bigint.hpp"
#include "values/debug_checks.hpp"
#include "values/vm_execution_error.hpp"
#include "values/vm_limits.hpp"
#include "values/vm_work_meter.hpp"

namespace veln {

class VmDecimal;
class VmDateTime;
struct VmTimeDelta;
struct VmContractHandle;
struct VmStorageRef;
struct VmForeignStorageRef;
struct VmEventDefinition;
struct VmException;
class VmValue;
struct VmDictPair;
class BoundedText;
class VmItemsView;

// The 23 kinds in their declared order.
enum class VmKind : uint8_t {
  None,
  Bool,
  Int,
  Float,
  Decimal,
  DateTime,
  TimeDelta,
  String,
  Bytes,
  ByteArray,
  Set,
  FrozenSet,
  List,
  Tuple,
  Dict,
  ContractHandle,
  StorageRef,
  ForeignStorageRef,
  EventRef,
  Builtin,
  FunctionRef,
  TypeMarker,
  Exception,
};
inline constexpr size_t kVmKindCount = 23;

// Type name of a kind ("none", "int", "foreign_storage_ref", ...).
std::string_view vm_kind_type_name(VmKind kind);

// Kinds whose payload is a byte text: String, Bytes, ByteArray, Builtin,
// FunctionRef, TypeMarker.
constexpr bool vm_kind_is_text(VmKind k) {
  return k == VmKind::String || k == VmKind::Bytes || k == VmKind::ByteArray ||
         k == VmKind::Builtin || k == VmKind::FunctionRef || k == VmKind::TypeMarker;
}
// Kinds whose payload is an item sequence: Set, FrozenSet, List, Tuple.
constexpr bool vm_kind_is_sequence(VmKind k) {
  return k == VmKind::Set || k == VmKind::FrozenSet || k == VmKind::List || k == VmKind::Tuple;
}

// A cache that the support library keeps in a container's buffer: an index
// over a set's items or a dict's keys, built on demand and owned by the
// buffer. It describes the buffer's current contents only: a copied buffer
// starts without one, every edit of the items drops it, and appending a pair
// to a dict keeps it (`covered` says how many pairs it has seen). `lookups`
// counts the lookups made while there was none, so that a cache is built
// only for containers that are searched repeatedly.
struct VmSideCache {
  std::shared_ptr<void> data;
  size_t covered = 0;
  uint32_t lookups = 0;
  // The storage weight of what `data` holds, for the request's count (set
  // through VmValue::charge_side_cache).
  uint64_t weight = 0;
};

namespace detail {

enum class VmHeapType : uint8_t {
  BigInt,
  Decimal,
  DateTime,
  Text,
  Sequence,
  Dict,
  ContractHandle,
  StorageRef,
  ForeignStorageRef,
  EventRef,
  Exception,
};

// Header of every shared buffer. While alive, `refs` counts the VmValues that
// point here; after death the same bytes chain dead buffers for iterative
// destruction.
struct VmHeap {
  union {
    struct {
      uint32_t refs;
      uint32_t units;  // size in units, saturated at kVmMaxUnits + 1
    } live;
    VmHeap* next_dead;
  };
  uint16_t depth;  // nesting depth (0 for non-containers)
  VmHeapType type;
  // A text grown in place (vm_block_capacity.hpp): its bytes lie in a block
  // of 2^block_log2 bytes; 0 for every other buffer and for a text whose
  // block holds exactly its bytes.
  uint8_t block_log2 = 0;
  // The storage weight this buffer holds on the budget of the request it
  // was counted on (vm_request_budget.hpp); given back when it dies.
  uint32_t charged = 0;

  VmHeap(VmHeapType t, uint64_t u, uint32_t d) : depth(static_cast<uint16_t>(d)), type(t) {
    live.refs = 1;
    set_units(u);
  }
  void set_units(uint64_t u) { live.units = static_cast<uint32_t>(u > kVmMaxUnits ? kVmMaxUnits + 1 : u); }
};

static_assert(sizeof(VmHeap) == 16, "a buffer header is 16 bytes");

struct VmTextHeap;
struct VmSequenceHeap;
struct VmDictHeap;

}  // namespace detail

// In the sanitizer build a payload accessor checks the kind it reads.
#define VELN_EXPECT_KIND(condition) VELN_DEBUG_CHECK(condition, vm_kind_type_name(kind_))

// ---------------------------------------------------------------------------
class VmValue {
 public:
  // --- construction ------------------------------------------------------
  VmValue() noexcept : kind_(VmKind::None), heap_(0) { u_.i = 0; }
  VmValue(const VmValue& o) noexcept : u_(o.u_), kind_(o.kind_), heap_(o.heap_) {
    if (heap_) ++u_.p->live.refs;
  }
  VmValue(VmValue&& o) noexcept : u_(o.u_), kind_(o.kind_), heap_(o.heap_) {
    o.heap_ = 0;
    o.kind_ = VmKind::None;
  }
  VmValue& operator=(const VmValue& o) noexcept {
    if (o.heap_) ++o.u_.p->live.refs;
    release();
    u_ = o.u_;
    kind_ = o.kind_;
    heap_ = o.heap_;
    return *this;
  }
  VmValue& operator=(VmValue&& o) noexcept {
    if (this != &o) {
      release();
      u_ = o.u_;
      kind_ = o.kind_;
      heap_ = o.heap_;
      o.heap_ = 0;
      o.kind_ = VmKind::None;
    }
    return *this;
  }
  ~VmValue() { release(); }

  // The deep copy of the value model. Copy-on-write makes it O(1).
  VmValue clone() const { return *this; }

  static VmValue none() { return VmValue(); }
  static VmValue boolean(bool b) {
    VmValue v;
    v.kind_ = VmKind::Bool;
    v.u_.b = b;
    return v;
  }
  static VmValue integer(int64_t i) {
    VmValue v;
    v.kind_ = VmKind::Int;
    v.u_.i = i;
    return v;
  }
  // Normalising: goes inline when the integer fits 64 bits.
  static VmValue integer(const mpz_class& i);
  static VmValue integer(mpz_class&& i);
  static VmValue float64(double f) {
    VmValue v;
    v.kind_ = VmKind::Float;
    v.u_.f = f;
    return v;
  }
  static VmValue decimal(VmDecimal d);
  static VmValue datetime(VmDateTime d);
  static VmValue timedelta(VmTimeDelta d);
  static VmValue timedelta_seconds(int64_t raw_seconds) {
    VmValue v;
    v.kind_ = VmKind::TimeDelta;
    v.u_.i = raw_seconds;
    return v;
  }

  // Texts and byte sequences, checked against the size limit.
  static VmResult<VmValue> make_str(std::string text);
  static VmResult<VmValue> make_bytes(std::string bytes);
  static VmResult<VmValue> make_bytearray(std::string bytes);
  static VmResult<VmValue> make_text(VmKind text_kind, std::string bytes);
  // Unchecked text construction, for texts whose size is bounded by their
  // origin (names, literals of the module IR, fixed messages). `text_kind`
  // must satisfy vm_kind_is_text.
  static VmValue text_unchecked(VmKind text_kind, std::string bytes);
  static VmValue str(std::string_view text) { return text_unchecked(VmKind::String, std::string(text)); }
  static VmValue builtin(std::string_view name) { return text_unchecked(VmKind::Builtin, std::string(name)); }
  static VmValue function_ref(std::string_view name) {
    return text_unchecked(VmKind::FunctionRef, std::string(name));
  }
  static VmValue type_marker(std::string_view name) {
    return text_unchecked(VmKind::TypeMarker, std::string(name));
  }

  // Containers, checked against the depth and size limits (depth first).
  static VmResult<VmValue> make_sequence(VmKind sequence_kind, std::vector<VmValue> items);
  static VmResult<VmValue> make_list(std::vector<VmValue> items) {
    return make_sequence(VmKind::List, std::move(items));
  }
  static VmResult<VmValue> make_tuple(std::vector<VmValue> items) {
    return make_sequence(VmKind::Tuple, std::move(items));
  }
  // Items must already be in canonical set order; this does not sort.
  static VmResult<VmValue> make_set(std::vector<VmValue> items) {
    return make_sequence(VmKind::Set, std::move(items));
  }
  static VmResult<VmValue> make_frozenset(std::vector<VmValue> items) {
    return make_sequence(VmKind::FrozenSet, std::move(items));
  }
  // The pairs are stored unchanged (duplicates included); lookups take the
  // first structurally equal key.
  static VmResult<VmValue> make_dict(std::vector<VmDictPair> pairs);
  // An empty dict with room for `entries` pairs, weighed as such (a dict
  // display about to append its entries).
  static VmResult<VmValue> make_dict_with_room(size_t entries);
  static VmResult<VmValue> make_exception(VmException exception);
  static VmResult<VmValue> make_event_ref(VmEventDefinition definition);

  // Handles count the bytes of their texts. The checked forms refuse a
  // handle past the size limit; the plain ones are for names bounded by
  // their origin (the module IR, the host).
  static VmResult<VmValue> make_contract_handle(VmContractHandle handle);
  static VmResult<VmValue> make_storage_ref(VmStorageRef ref);
  static VmResult<VmValue> make_foreign_storage_ref(VmForeignStorageRef ref);
  static VmValue contract_handle(VmContractHandle handle);
  static VmValue storage_ref(VmStorageRef ref);
  static VmValue foreign_storage_ref(VmForeignStorageRef ref);

  // --- kind and basic queries ---------------------------------------------
  VmKind kind() const { return kind_; }
  bool is(VmKind k) const { return kind_ == k; }
  std::string_view type_name() const { return vm_kind_type_name(kind_); }
  bool truthy() const;
  // Structural equality: same kind and equal payload; allocation-free, stops
  // at the first difference.
  bool eq(const VmValue& other) const {
    if (kind_ != other.kind_) return false;
    if (heap_ | other.heap_) return eq_slow(other);
    switch (kind_) {
      case VmKind::None:
        return true;
      case VmKind::Bool:
        return u_.b == other.u_.b;
      case VmKind::Float:
        return u_.f == other.u_.f;
      default:  // small Int, TimeDelta
        return u_.i == other.u_.i;
    }
  }

  // Whether the value holds a reference to a shared buffer (a release that
  // does something).
  bool holds_buffer() const { return heap_ != 0; }
  // Whether this value is the only holder of its buffer: an edit then
  // changes the buffer in place instead of copying it.
  bool holds_only_reference() const { return heap_ && u_.p->live.refs == 1; }
  // Nesting depth (0 for every non-container) and size in units.
  uint32_t depth() const { return heap_ ? u_.p->depth : 0; }
  uint64_t units() const { return heap_ ? u_.p->live.units : 1; }

  // --- payload access (the caller has checked the kind; the sanitizer
  // build checks it again, see debug_checks.hpp) ---------------------------
  bool bool_value() const {
    VELN_EXPECT_KIND(is(VmKind::Bool));
    return u_.b;
  }
  double float_value() const {
    VELN_EXPECT_KIND(is(VmKind::Float));
    return u_.f;
  }
  int64_t timedelta_raw_seconds() const {
    VELN_EXPECT_KIND(is(VmKind::TimeDelta));
    return u_.i;
  }
  VmTimeDelta timedelta_value() const;

  bool int_is_small() const {
    VELN_EXPECT_KIND(is(VmKind::Int));
    return !heap_;
  }
  int64_t small_int() const {
    VELN_EXPECT_KIND(is(VmKind::Int) && !heap_);
    return u_.i;
  }
  const mpz_class& big_int() const;  // only when !int_is_small()
  mpz_class int_to_mpz() const;
  int int_sign() const;

  const VmDecimal& decimal_value() const;
  // The decimal of a Decimal value that alone holds its buffer, for an
  // arithmetic result written over it; null when the buffer is shared.
  VmDecimal* unshared_decimal();
  const VmDateTime& datetime_value() const;

  // Text kinds.
  std::string_view text() const;
  size_t text_size() const;
  bool text_is_ascii() const;
  // Number of code points of a String (cached after the first call).
  size_t text_code_points() const;
  // Byte offset of code point `index` of a String (index <= code point
  // count; the count gives the byte length). O(1) for ASCII text, else a
  // short scan from a cached checkpoint.
  size_t text_byte_offset(size_t index) const;

  // Sequence kinds. items() gives the items in one span, merging the
  // pending edits of a large set first (see seq_insert); items_view()
  // (vm_items_view.hpp) and item_count() read them where they lie.
  std::span<const VmValue> items() const;
  VmItemsView items_view() const;
  size_t item_count() const;
  // Starts loading the shared buffer, for loops that will read it shortly.
  void prefetch() const {
    if (heap_) __builtin_prefetch(u_.p);
  }
  const VmValue& item(size_t i) const { return items()[i]; }

  // Dict.
  std::span<const VmDictPair> dict_pairs() const;
  size_t dict_size() const;
  // Index of the first pair whose key is structurally equal to `key`.
  std::optional<size_t> dict_find_structural(const VmValue& key) const;
  // The pairs of a dict whose buffer no other value shares, taken whole
  // (this value becomes None); nullopt, the dict untouched, when shared.
  std::optional<std::vector<VmDictPair>> take_unshared_dict_pairs();

  // The side cache of a Set, FrozenSet or Dict buffer (created empty on
  // first use). Reading a value may fill it: it never changes a result.
  VmSideCache& side_cache() const;
  // The side cache now weighs `weight` (vm_request_budget.hpp): the
  // buffer's storage weight follows.
  void charge_side_cache(uint64_t weight) const;
  // Facts the support library keeps about a Set's or FrozenSet's items, as
  // bits of its own (0: none known). Removing an item keeps them, so they
  // must be facts that every subset of the items shares; any other edit
  // drops them, and a copied buffer takes them along.
  uint8_t set_facts() const;
  void note_set_facts(uint8_t facts) const;

  const VmContractHandle& contract_handle_value() const;
  const VmStorageRef& storage_ref_value() const;
  const VmForeignStorageRef& foreign_storage_ref_value() const;
  const VmEventDefinition& event_ref_value() const;
  const VmException& exception_value() const;

  // The same payload under another kind of the same family (Set <->
  // FrozenSet <-> List <-> Tuple, String <-> Bytes <-> ByteArray): shares the
  // buffer, copies nothing.
  VmValue with_kind(VmKind same_family_kind) const;

  // --- copy-on-write mutation (each copies the buffer only when shared) ---
  // Texts: the byte text is replaced/extended; caches follow.
  VmStatus text_append(std::string_view more);
  VmStatus text_assign(std::string bytes);
  // Sets one byte of a Bytes/ByteArray (index in range).
  void bytes_set(size_t index, uint8_t byte);

  // Sequences. Growth is checked against the limits before it happens.
  // On a large Set, seq_insert and seq_remove leave the items where they lie
  // and record the edit beside them (pieces of the stored items and the
  // added ones, in order); the next items() merges them in one pass. So a
  // run of additions and removals costs O(sqrt n) each instead of moving
  // the tail of the items every time. A meter counts the items and pieces
  // moved.
  VmStatus seq_push(VmValue item);
  VmStatus seq_insert(size_t index, VmValue item, VmWorkMeter* meter = nullptr);  // index <= count
  VmStatus seq_extend(std::span<const VmValue> more);
  VmStatus seq_set(size_t index, VmValue item);                  // index < count
  VmValue seq_remove(size_t index, VmWorkMeter* meter = nullptr);  // index < count
  void seq_clear();
  // Reordering in place (sort, reverse): the callback must only permute.
  template <class F>
  void seq_permute(F&& f) {
    VELN_EXPECT_KIND(vm_kind_is_sequence(kind_));
    f(seq_items_mut_unchecked());
  }
  // Arbitrary edit of the items; caches are recomputed and the limits checked
  // afterwards (on failure the value is left edited: discard it).
  template <class F>
  VmStatus seq_edit(F&& f) {
    VELN_EXPECT_KIND(vm_kind_is_sequence(kind_));
    f(seq_items_mut_unchecked());
    return seq_refresh_caches();
  }

  // Dict primitives (dict_set semantics are built on top of these).
  VmStatus dict_push_pair(VmValue key, VmValue value);  // appends, no key check
  // The first pair with a structurally equal key takes the value (keeping
  // its key), else the pair is appended: one hash of the key for both the
  // search and the index.
  VmStatus dict_set_key(VmValue key, VmValue value);
  VmStatus dict_set_value(size_t index, VmValue value);
  VmDictPair dict_remove_at(size_t index);
  void dict_clear();

  // --- text forms -----------------------------------------------------------
  // The display text, or the size message when it would pass the limit of a
  // str value; nothing longer is built. Every text that contract code can
  // see or make large goes through the bounded forms.
  VmResult<std::string> bounded_python_repr() const;
  void append_python_repr(BoundedText& out) const;
  // Field-by-field diagnostic form ("Int(5)", "List([Int(1)])"), bounded.
  VmResult<std::string> bounded_diagnostic_text() const;
  void append_diagnostic_text(BoundedText& out) const;
  // Unbounded forms, only for values whose texts are known to be small
  // (constants, tests): a value within the size limit can still have a
  // display text many times that size.
  std::string python_repr() const;
  void append_python_repr(std::string& out) const;
  // Appends the display text while `out` stays within `max_size` bytes;
  // false (discard `out`) when it would pass.
  bool append_python_repr_bounded(std::string& out, size_t max_size) const;
  std::string diagnostic_text() const;
  void append_diagnostic_text(std::string& out) const;

  // --- conversions ------------------------------------------------------------
  VmResult<int64_t> as_i64() const;
  VmResult<mpz_class> as_bigint() const;
  VmResult<std::string> as_string() const;
  VmResult<VmContractHandle> as_contract_handle() const;

 private:
  friend struct VmValueAccess;
  union Payload {
    bool b;
    int64_t i;
    double f;
    detail::VmHeap* p;
  };
  Payload u_;
  VmKind kind_;
  uint8_t heap_;  // 1 when u_.p owns a reference to a buffer

  void release() noexcept {
    if (heap_ && --u_.p->live.refs == 0) destroy_heap(u_.p);
  }
  static void destroy_heap(detail::VmHeap* h) noexcept;
  bool eq_slow(const VmValue& other) const;
  static VmValue from_heap(VmKind kind, detail::VmHeap* h) {
    VmValue v;
    v.kind_ = kind;
    v.u_.p = h;
    v.heap_ = 1;
    return v;
  }
  detail::VmHeap* heap_ptr() const { return u_.p; }
  // dict_push_pair, given the hash of a key known to be absent (or null).
  VmStatus dict_append(VmValue key, VmValue value, const uint64_t* absent_key_hash);
  // Makes the buffer unshared (cloning it when shared) and returns it.
  detail::VmHeap* make_unique_heap();
  // make_unique_heap for a sequence about to change: its side cache goes,
  // and its pending edits are merged unless `keep_edits`.
  detail::VmSequenceHeap& sequence_for_edit(bool keep_edits = false, bool keep_facts = false);
  std::vector<VmValue>& seq_items_mut_unchecked();
  VmStatus seq_refresh_caches();
};

static_assert(sizeof(VmValue) == 16, "VmValue must stay 16 bytes");
static_assert(sizeof(VmResult<VmValue>) == 24, "a value result is the value plus one error pointer");

struct VmDictPair {
  VmValue key;
  VmValue value;
};

// ---------------------------------------------------------------------------
// Payload records of the handle kinds.
struct VmContractHandle {
  std::string module;
  std::string origin;  // "static_import" or "dynamic_import"
};

struct VmStorageRef {
  std::string binding;
  std::string storage_type;
};

struct VmForeignStorageRef {
  std::string contract;
  std::string binding;
  bool is_hash = false;
};

struct VmEventDefinition {
  std::string binding;
  std::string event_name;
  VmValue params;
};

struct VmException {
  std::string name;
  std::vector<VmValue> args;

  // "Exception()" or "Name(arg, ...)" with arguments in their quoting form;
  // the plain form is unbounded.
  std::string python_repr() const;
  void append_python_repr(BoundedText& out) const;
};

// ---------------------------------------------------------------------------
// Text forms of Python-style display.
std::string python_set_repr(std::span<const VmValue> items);
std::string python_bytes_repr(std::string_view bytes);
void append_python_bytes_repr(std::string& out, std::string_view bytes);
void append_python_bytes_repr(BoundedText& out, std::string_view bytes);
std::string python_exception_arg_repr(const VmValue& value);

// A structural hash consistent with VmValue::eq (equal values hash equally).
uint64_t vm_structural_hash(const VmValue& value, uint64_t seed);
// The seed of every hash index over contract values: random per process, so
// that contract code cannot precompute colliding keys. Never observable.
uint64_t vm_hash_seed();
// A 64-bit word mixed with the seed (for indexes keyed by numbers).
uint64_t vm_hash_word(uint64_t word);
// The same with the seed given: vm_hash_word(w) == vm_hash_word(w,
// vm_hash_seed()); for hot loops, which read the seed once.
inline uint64_t vm_hash_word(uint64_t word, uint64_t seed) {
  uint64_t k = word ^ seed;
  k ^= k >> 33;
  k *= 0xff51afd7ed558ccdULL;
  k ^= k >> 33;
  k *= 0xc4ceb9fe1a85ec53ULL;
  k ^= k >> 33;
  return k;
}

// A read-only GMP view of an Int value, for GMP calls without copying the
// operand: a small integer is viewed through one limb held in the view. The
// view must not outlive the value, nor be copied.
class VmIntView {
 public:
  explicit VmIntView(const VmValue& v) {
    if (!v.int_is_small()) {  // checks the kind in the sanitizer build
      src_ = v.big_int().get_mpz_t();
      return;
    }
    const int64_t i = v.small_int();
    // The magnitude as unsigned: well defined for INT64_MIN too.
    limb_ = i < 0 ? 0 - static_cast<uint64_t>(i) : static_cast<uint64_t>(i);
    src_ = mpz_roinit_n(tmp_, &limb_, i == 0 ? 0 : (i < 0 ? -1 : 1));
  }
  VmIntView(const VmIntView&) = delete;
  VmIntView& operator=(const VmIntView&) = delete;
  mpz_srcptr get() const { return src_; }

 private:
  mp_limb_t limb_ = 0;
  mpz_t tmp_;
  mpz_srcptr src_;
};

// ---------------------------------------------------------------------------
// Integer helpers. The vm_int_* functions take two Int values; small operands
// compute inline without allocating and fall back to GMP on overflow; results
// are normalised (inline when they fit 64 bits). Size limits are the caller's.
VmValue vm_int_add_slow(const VmValue& a, const VmValue& b);
VmValue vm_int_sub_slow(const VmValue& a, const VmValue& b);
VmValue vm_int_mul_slow(const VmValue& a, const VmValue& b);

inline VmValue vm_int_add(const VmValue& a, const VmValue& b) {
  int64_t r;
  if (a.int_is_small() && b.int_is_small() && !__builtin_add_overflow(a.small_int(), b.small_int(), &r))
    return VmValue::integer(r);
  return vm_int_add_slow(a, b);
}
inline VmValue vm_int_sub(const VmValue& a, const VmValue& b) {
  int64_t r;
  if (a.int_is_small() && b.int_is_small() && !__builtin_sub_overflow(a.small_int(), b.small_int(), &r))
    return VmValue::integer(r);
  return vm_int_sub_slow(a, b);
}
inline VmValue vm_int_mul(const VmValue& a, const VmValue& b) {
  int64_t r;
  if (a.int_is_small() && b.int_is_small() && !__builtin_mul_overflow(a.small_int(), b.small_int(), &r))
    return VmValue::integer(r);
  return vm_int_mul_slow(a, b);
}
VmValue vm_int_neg(const VmValue& a);
// Python's floor division and modulo on Int values ("division by zero").
VmResult<VmValue> vm_int_floor_div(const VmValue& a, const VmValue& b);
VmResult<VmValue> vm_int_modulo(const VmValue& a, const VmValue& b);


}  // namespace veln
