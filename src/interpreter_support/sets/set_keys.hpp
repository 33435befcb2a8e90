// Set keys: which values may be set items and the total order among them
// that fixes the canonical order of set and frozenset items (kind variant
// first, then numbers numerically, floats by their display text, texts and
// bytes bytewise, date-times chronologically to the microsecond, tuples and
// frozensets lexicographically). A key is a view of its value, never stored
// in a value; it must not outlive the value it was built from.
#pragma once

#include <algorithm>
#include <compare>
#include <cstdint>
#include <optional>
#include <string>

#include "interpreter_support/value_equality.hpp"
#include "values/vm_execution_error.hpp"
#include "values/vm_value.hpp"
#include "values/vm_work_tally.hpp"

namespace veln {

// The variants in key order.
enum class VmSetKeyVariant : uint8_t {
  None,
  Bool,
  Int,
  Decimal,
  Float,
  DateTime,
  TimeDelta,
  String,
  Bytes,
  Tuple,
  FrozenSet,
};

// The variant a value of `kind` keys to, or nothing for kinds that cannot be
// set items (bytearray, set, list, dict, the handle kinds, exception...).
inline std::optional<VmSetKeyVariant> vm_set_key_variant(VmKind kind) {
  switch (kind) {
    case VmKind::None:
      return VmSetKeyVariant::None;
    case VmKind::Bool:
      return VmSetKeyVariant::Bool;
    case VmKind::Int:
      return VmSetKeyVariant::Int;
    case VmKind::Decimal:
      return VmSetKeyVariant::Decimal;
    case VmKind::Float:
      return VmSetKeyVariant::Float;
    case VmKind::DateTime:
      return VmSetKeyVariant::DateTime;
    case VmKind::TimeDelta:
      return VmSetKeyVariant::TimeDelta;
    case VmKind::String:
      return VmSetKeyVariant::String;
    case VmKind::Bytes:
      return VmSetKeyVariant::Bytes;
    case VmKind::Tuple:
      return VmSetKeyVariant::Tuple;
    case VmKind::FrozenSet:
      return VmSetKeyVariant::FrozenSet;
    default:
      return std::nullopt;
  }
}

// Steps of comparing two ints beyond the step the comparison itself counts:
// a step per word they may share, for ints long enough that the words
// outweigh it.
inline uint64_t vm_long_int_compare_steps(const VmValue& a, const VmValue& b) {
  if (a.int_is_small() || b.int_is_small()) return 0;
  const uint64_t shared = std::min(vm_mpz_words(a.big_int()), vm_mpz_words(b.big_int()));
  return shared >= kVmLongTextBytes / kVmTextBytesPerStep ? shared : 0;
}

// "unhashable type: '{}'" when the value, or an item nested in a tuple or
// frozenset, has no key (naming the innermost offending item's type).
VmStatus vm_check_hashable(const VmValue& value);

class VmSetKey {
 public:
  VmSetKeyVariant variant() const { return variant_; }
  const VmValue& value() const { return *value_; }
  static VmOrdering cmp(const VmSetKey& a, const VmSetKey& b);

 private:
  friend VmResult<VmSetKey> vm_set_key(const VmValue& value);
  VmSetKey(const VmValue* value, VmSetKeyVariant variant) : value_(value), variant_(variant) {}
  const VmValue* value_;
  VmSetKeyVariant variant_;
};

// The key of a value, or the unhashable error.
VmResult<VmSetKey> vm_set_key(const VmValue& value);

// Key order of two hashable values without building keys. Every item it
// compares, at every level of nesting, is a step of the running request;
// past the request's allowance it gives up with any answer (the request
// fails at its next charge).
VmOrdering vm_set_key_compare(const VmValue& a, const VmValue& b);

// Appends a byte string whose bytewise order (memcmp, a prefix first) is
// the key order: equal keys give equal strings. False, with `out` partly
// written, for values holding a date-time or a time delta (not encoded),
// and past the request's allowance (each item written is a step).
bool vm_append_set_key_bytes(std::string& out, const VmValue& value);

// The first sixteen of a value's key bytes (vm_append_set_key_bytes), as two
// big-endian words padded with zeros: where two prefixes differ, the keys
// differ the same way (a key that is a prefix of another pads with zeros and
// sorts first); equal prefixes leave the order to vm_set_key_compare. Most
// comparisons of a sort end on them without reading the values. Nothing for
// a value whose first sixteen key bytes pass a date-time or a time delta,
// nor past the request's allowance.
// `scratch` is working space, kept across the values of one sort.
struct VmSetKeyPrefix {
  uint64_t head = 0;
  uint64_t next = 0;
  auto operator<=>(const VmSetKeyPrefix&) const = default;
};
struct VmSetKeyScratch {
  std::string bytes;
  std::optional<double> float_text_of;  // the float whose text float_text holds
  std::string float_text;
};
std::optional<VmSetKeyPrefix> vm_set_key_prefix(const VmValue& value, VmSetKeyScratch& scratch);

// The key text of a float: its display text ("1.0", "1e16", "-0.0", "NaN").
std::string vm_float_key_text(double x);
// Steps of writing a float's key text where the number alone does not give
// it (the shortest digits' search costs several times a copied item).
inline constexpr uint64_t kVmFloatKeyTextSteps = 8;

// Whether a float's display text is positional: zero and magnitudes in
// [1e-4, 1e16), whose integer part is written as that of the double.
// Below 2^53 no integer lies between a double and its shortest digits (both
// round to the double), and beyond, the shortest digits are the double's own
// integer.
bool vm_float_text_positional(double x);
// For a positional float: a word ordering its sign ("-" first) and the
// integer part of its display text as the texts order; floats of one word
// order by magnitude.
uint64_t vm_positional_float_key_word(double x);

// A float met by many float keys in one search: the numbers decide most
// comparisons, and where they cannot, its own text is formatted once (each
// text formatted counts its steps).
class VmFloatKeyProbe {
 public:
  explicit VmFloatKeyProbe(double x);
  // Key order of `item` against the probe's float (<0: item first).
  int compare_item(double item);

 private:
  double x_;
  // The positional key word of x, when its text is positional.
  std::optional<uint64_t> word_;
  std::optional<std::string> text_;
  std::string scratch_;
};

}  // namespace veln
