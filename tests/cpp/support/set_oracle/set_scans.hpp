// The reference scans over set items: bringing any item sequence into set
// form (one survivor per group of value-equal items, the one with the least
// key, then a stable sort by key), the subset test, and union, difference,
// intersection and symmetric difference. Every comparison is made in the
// order the scans make it, since that order decides which of two equal items
// survives and which comparison error comes first. Quadratic by design.
// Test code only; shares nothing with the engine's set code.
#pragma once

#include <algorithm>
#include <span>
#include <utility>
#include <vector>

#include "set_key.hpp"

namespace veln::set_oracle {

using Items = std::vector<VmValue>;

inline VmResult<Items> normalize(std::span<const VmValue> items) {
  // 1. An empty list of (value, key) pairs.
  std::vector<std::pair<VmValue, Key>> pairs;
  // 2. Each item in input order:
  for (const VmValue& item : items) {
    // 2.1 its key (a failure ends the call);
    VELN_TRY(Key key, key_of(item));
    // 2.2 the pairs scanned from the first for a stored value equal to it;
    bool matched = false;
    for (auto& [stored, stored_key] : pairs) {
      VELN_TRY(const bool same, equal(stored, item));
      if (!same) continue;
      // 2.3 the first equal one stops the scan: a lesser key replaces it in
      // place, otherwise the item is dropped.
      if (key_cmp(key, stored_key) == Ord::Less) {
        stored = item;
        stored_key = std::move(key);
      }
      matched = true;
      break;
    }
    // 2.4 no equal value: the pair is appended.
    if (!matched) pairs.emplace_back(item, std::move(key));
  }
  // 3. A stable sort by key.
  std::stable_sort(pairs.begin(), pairs.end(),
                   [](const auto& x, const auto& y) { return key_cmp(x.second, y.second) == Ord::Less; });
  // 4. The values.
  Items out;
  for (auto& pair : pairs) out.push_back(std::move(pair.first));
  return out;
}

// Whether some item of `in` is equal to `needle`, tested as
// equal(item of in, needle) in stored order up to the first match.
inline VmResult<bool> found_in(std::span<const VmValue> in, const VmValue& needle) {
  for (const VmValue& item : in) {
    VELN_TRY(const bool same, equal(item, needle));
    if (same) return true;
  }
  return false;
}

inline VmResult<bool> is_subset(std::span<const VmValue> a, std::span<const VmValue> b) {
  if (a.empty()) return true;
  if (b.empty()) return false;
  for (const VmValue& x : a) {
    VELN_TRY(const bool found, found_in(b, x));
    if (!found) return false;
  }
  return true;
}

inline Items union_of(std::span<const VmValue> a, std::span<const VmValue> b) {
  Items out(a.begin(), a.end());
  out.insert(out.end(), b.begin(), b.end());
  return out;
}

inline VmResult<Items> difference(std::span<const VmValue> a, std::span<const VmValue> b) {
  Items out;
  for (const VmValue& x : a) {
    VELN_TRY(const bool found, found_in(b, x));
    if (!found) out.push_back(x);
  }
  return out;
}

inline VmResult<Items> intersection(std::span<const VmValue> a, std::span<const VmValue> b) {
  Items out;
  if (a.empty() || b.empty()) return out;
  for (const VmValue& x : a) {
    VELN_TRY(const bool found, found_in(b, x));
    if (found) out.push_back(x);
  }
  return out;
}

inline VmResult<Items> symmetric_difference(std::span<const VmValue> a, std::span<const VmValue> b) {
  VELN_TRY(Items out, difference(a, b));
  for (const VmValue& y : b) {
    VELN_TRY(const bool found, found_in(a, y));
    if (!found) out.push_back(y);
  }
  return out;
}

}  // namespace veln::set_oracle
