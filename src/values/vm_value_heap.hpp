// Layouts of the shared buffers behind VmValue, for the value model's own
// source files only. Other code goes through the VmValue interface and must not
// include this file: the caches here are kept right only by VmValue's methods.
#pragma once

#include <memory>

#include "values/vm_block_capacity.hpp"
#include "values/vm_buffer_charge.hpp"
#include "values/vm_pending_edits.hpp"
#include "values/vm_value.hpp"

namespace veln::detail {

struct VmBigIntHeap : VmHeap {
  mpz_class value;
  explicit VmBigIntHeap(mpz_class v)
      : VmHeap(VmHeapType::BigInt, 1 + mpz_size(v.get_mpz_t()), 0), value(std::move(v)) {}
};

// Texts stay far below 2^32 bytes (the value size limit), so counts and
// byte offsets of a text fit 32 bits; the caches below use that to keep the
// buffer small (a text is the most common buffer).
inline constexpr uint32_t kUnknownCodePoints = static_cast<uint32_t>(-1);
inline constexpr size_t kCodePointStride = 64;

struct VmTextHeap : VmHeap {
  std::string bytes;
  uint32_t code_points;  // kUnknownCodePoints until first asked
  bool ascii;
  // The structural hash of the text as a value of kind `hashed_kind` (with_kind
  // shares the buffer between kinds, and the kind enters the hash), computed
  // on the first dict or set lookup and dropped by every edit.
  bool hashed = false;
  VmKind hashed_kind = VmKind::None;
  uint64_t hash = 0;
  // Byte offset of every kCodePointStride-th code point of a non-ASCII text,
  // built on the first positional lookup, dropped by every edit.
  std::unique_ptr<std::vector<uint32_t>> checkpoints;
  VmTextHeap(std::string&& b, bool is_ascii)
      : VmHeap(VmHeapType::Text, vm_text_units(b.size()), 0),
        bytes(std::move(b)),
        code_points(is_ascii ? static_cast<uint32_t>(bytes.size()) : kUnknownCodePoints),
        ascii(is_ascii) {
    fit();
  }
  // The bytes the text has room for (vm_block_capacity.hpp), which the
  // buffer is weighed by: its bytes, or a block of 2^block_log2.
  uint64_t capacity() const { return block_log2 != 0 ? uint64_t{1} << block_log2 : bytes.size(); }
  // Takes `b` as the text's bytes, in the room a text of their size is
  // made with.
  void adopt(std::string&& b) {
    bytes = std::move(b);
    fit();
  }
  void fit() {
    vm_fit_text_block(bytes);
    const uint64_t room = vm_text_block(bytes.size());
    block_log2 = room > bytes.size() ? static_cast<uint8_t>(std::countr_zero(room)) : 0;
  }
  uint64_t capacity_for(size_t needed) const { return vm_text_capacity_for(capacity(), needed); }
  // Makes room for `needed` bytes by the engine's rule; the block is
  // reallocated to that room when the bytes do not fit the one they have.
  void make_room(size_t needed) {
    if (needed > capacity() && needed > kVmInPlaceTextBytes)
      block_log2 = static_cast<uint8_t>(std::countr_zero(capacity_for(needed)));
    if (needed > bytes.capacity()) [[unlikely]]
      vm_reallocate_block(bytes, capacity());
  }
};

struct VmSequenceHeap : VmHeap {
  std::vector<VmValue> items;
  std::unique_ptr<VmSideCache> side;  // dropped by every edit, never cloned
  std::unique_ptr<VmPendingEdits> edits;  // a set's pending edits, or none
  uint8_t facts = 0;  // see VmValue::set_facts
  // The room reserved for `items` (vm_block_capacity.hpp), which the buffer
  // is weighed by: the items it was made with, then as it grows and shrinks.
  uint32_t capacity;
  VmSequenceHeap(std::vector<VmValue> it, uint64_t units, uint32_t depth)
      : VmHeap(VmHeapType::Sequence, units, depth), items(std::move(it)) {
    vm_fit_block(items);
    capacity = static_cast<uint32_t>(items.size());
  }
  void make_room(size_t needed) { vm_make_room(items, capacity, needed); }
  // Brings the pending edits into `items`, then gives room back as after
  // any removal.
  void merge_edits(VmWorkMeter* meter = nullptr) {
    if (!edits) return;
    make_room(edits->size());
    edits->merge_into(items, meter);
    edits.reset();
    give_back_room();
  }
  // A block used below a quarter gives its room back: a copy of the items,
  // counted as one.
  void give_back_room() {
    if (!vm_block_is_sparse(items.size(), capacity)) [[likely]]
      return;
    capacity = static_cast<uint32_t>(vm_shrunk_capacity(items.size()));
    vm_reallocate_block(items, capacity);
    vm_count_work(item_steps(items.size()));
  }
};

// Open-addressing index over the pairs of a large dict: slots hold pair
// index + 1 (0 is empty), linear probing, at most half full. Only the first
// pair of a run of structurally equal keys is indexed.
struct VmDictIndex {
  std::vector<uint32_t> slots;
  std::vector<uint64_t> hashes;  // per pair, in room for as many as the pairs have
  bool has_duplicates = false;
};

// Dicts with at most this many pairs are scanned; larger ones get an index.
inline constexpr size_t kDictIndexThreshold = 8;

struct VmDictHeap : VmHeap {
  std::vector<VmDictPair> pairs;
  std::unique_ptr<VmDictIndex> index;  // lazily built, dropped when stale
  // The pair an indexed lookup found last: `d[k] op= v`, `k in d` then
  // `d[k]`, `d.get(k)` then `d[k] = ...` look the same key up again, and a
  // key equal to this pair's (in an index without duplicate keys) is found
  // without hashing. Checked on every use, so any edit may leave it stale.
  uint32_t last_found = 0;
  // The room reserved for `pairs`, and for the index's hashes while there
  // is an index (vm_block_capacity.hpp): what the entries are weighed by.
  uint32_t capacity;
  std::unique_ptr<VmSideCache> side;   // kept by appends, dropped by other key edits, never cloned
  VmDictHeap(std::vector<VmDictPair> p, uint64_t units, uint32_t depth)
      : VmHeap(VmHeapType::Dict, units, depth), pairs(std::move(p)) {
    vm_fit_block(pairs);
    capacity = static_cast<uint32_t>(pairs.size());
  }
  void make_room(size_t needed) {
    if (needed <= capacity) [[likely]]
      return;
    vm_make_room(pairs, capacity, needed);
    if (index) index->hashes.reserve(capacity);
  }
};

// Units of a value holding two texts: one for itself and their bytes.
inline uint64_t vm_record_units(std::string_view a, std::string_view b) { return 1 + uint64_t{a.size()} + b.size(); }

struct VmContractHandleHeap : VmHeap {
  VmContractHandle value;
  explicit VmContractHandleHeap(VmContractHandle v)
      : VmHeap(VmHeapType::ContractHandle, vm_record_units(v.module, v.origin), 0), value(std::move(v)) {}
};

struct VmStorageRefHeap : VmHeap {
  VmStorageRef value;
  explicit VmStorageRefHeap(VmStorageRef v)
      : VmHeap(VmHeapType::StorageRef, vm_record_units(v.binding, v.storage_type), 0), value(std::move(v)) {}
};

struct VmForeignStorageRefHeap : VmHeap {
  VmForeignStorageRef value;
  explicit VmForeignStorageRefHeap(VmForeignStorageRef v)
      : VmHeap(VmHeapType::ForeignStorageRef, vm_record_units(v.contract, v.binding), 0), value(std::move(v)) {}
};

struct VmEventRefHeap : VmHeap {
  VmEventDefinition value;
  VmEventRefHeap(VmEventDefinition v, uint64_t units, uint32_t depth)
      : VmHeap(VmHeapType::EventRef, units, depth), value(std::move(v)) {}
};

struct VmExceptionHeap : VmHeap {
  VmException value;
  VmExceptionHeap(VmException v, uint64_t units, uint32_t depth)
      : VmHeap(VmHeapType::Exception, units, depth), value(std::move(v)) {}
};

// Internal access to a value's buffer for the value model's source files.
}  // namespace veln::detail

namespace veln {
struct VmValueAccess {
  static detail::VmHeap* heap(const VmValue& v) { return v.heap_ ? v.u_.p : nullptr; }
  template <class H>
  static const H& as(const VmValue& v) {
    return *static_cast<const H*>(v.u_.p);
  }
};
}  // namespace veln
