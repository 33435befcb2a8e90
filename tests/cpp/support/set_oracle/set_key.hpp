// The reference set key: which values may be set items, and the total order
// that fixes where each item stands in a set (variant first, then payload:
// numbers numerically, floats by their display text, texts and bytes
// bytewise, tuples and frozensets lexicographically over their items' keys).
// Test code only; like value_rules.hpp it shares nothing with the engine's
// set code.
#pragma once

#include <gmpxx.h>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "value_rules.hpp"

namespace veln::set_oracle {

struct Key {
  // The variant's place in the key order: None, Bool, Int, Decimal, Float,
  // DateTime, TimeDelta, String, Bytes, Tuple, FrozenSet.
  enum Variant : uint8_t { None, Bool, Int, Decimal, Float, DateTime, TimeDelta, String, Bytes, Tuple, FrozenSet };
  Variant variant = None;
  bool flag = false;                 // Bool
  mpz_class number;                  // Int, Decimal (scaled), TimeDelta (seconds)
  std::string text;                  // Float (key text), String, Bytes
  std::array<int64_t, 7> fields{};   // DateTime: year, month, day, hour, minute, second, microsecond
  std::vector<Key> items;            // Tuple, FrozenSet
};

inline VmResult<Key> key_of(const VmValue& v) {
  Key k;
  switch (v.kind()) {
    case VmKind::None:
      k.variant = Key::None;
      return k;
    case VmKind::Bool:
      k.variant = Key::Bool;
      k.flag = v.bool_value();
      return k;
    case VmKind::Int:
      k.variant = Key::Int;
      k.number = v.int_to_mpz();
      return k;
    case VmKind::Decimal:
      k.variant = Key::Decimal;
      k.number = v.decimal_value().scaled();
      return k;
    case VmKind::Float:
      k.variant = Key::Float;
      k.text = float_key_text(v.float_value());
      return k;
    case VmKind::DateTime: {
      const VmDateTime& d = v.datetime_value();
      k.variant = Key::DateTime;
      k.fields = {d.year(), d.month(), d.day(), d.hour(), d.minute(), d.second(), d.microsecond()};
      return k;
    }
    case VmKind::TimeDelta:
      k.variant = Key::TimeDelta;
      k.number = static_cast<long>(v.timedelta_raw_seconds());
      return k;
    case VmKind::String:
      k.variant = Key::String;
      k.text = v.text();
      return k;
    case VmKind::Bytes:
      k.variant = Key::Bytes;
      k.text = v.text();
      return k;
    case VmKind::Tuple:
    case VmKind::FrozenSet:
      k.variant = v.is(VmKind::Tuple) ? Key::Tuple : Key::FrozenSet;
      for (const VmValue& item : v.items()) {
        VELN_TRY(Key item_key, key_of(item));
        k.items.push_back(std::move(item_key));
      }
      return k;
    default:
      return vm_error("unhashable type: '" + std::string(v.type_name()) + "'");
  }
}

inline Ord key_cmp(const Key& a, const Key& b) {
  if (a.variant != b.variant) return ord_of(a.variant, b.variant);
  switch (a.variant) {
    case Key::None:
      return Ord::Equal;
    case Key::Bool:
      return ord_of(a.flag, b.flag);
    case Key::Int:
    case Key::Decimal:
    case Key::TimeDelta:
      return ord_of_mpz(a.number, b.number);
    case Key::Float:
    case Key::String:
    case Key::Bytes:
      return ord_of_bytes(a.text, b.text);
    case Key::DateTime:
      return ord_of(a.fields, b.fields);
    case Key::Tuple:
    case Key::FrozenSet:
      for (size_t i = 0; i < a.items.size() && i < b.items.size(); ++i) {
        const Ord o = key_cmp(a.items[i], b.items[i]);
        if (o != Ord::Equal) return o;
      }
      return ord_of(a.items.size(), b.items.size());
  }
  return Ord::Equal;
}

}  // namespace veln::set_oracle
