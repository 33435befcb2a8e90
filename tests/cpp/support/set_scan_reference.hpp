// The defining scans of set normalisation and set algebra, transcribed
// plainly from their definitions (keys through VmSetKey, every comparison in
// scan order). Test and fuzz code only: the oracle for the library's sorted
// paths, quadratic by design.
#pragma once

#include <algorithm>
#include <span>
#include <vector>

#include "interpreter_support/sets/set_keys.hpp"
#include "interpreter_support/value_equality.hpp"
#include "values/vm_value.hpp"

namespace veln::set_scan_reference {

inline VmResult<std::vector<VmValue>> reference_normalize(std::vector<VmValue> items) {
  std::vector<VmValue> kept;
  for (VmValue& item : items) {
    VELN_TRY(const VmSetKey item_key, vm_set_key(item));
    bool matched = false;
    for (VmValue& stored : kept) {
      VELN_TRY(const bool equal, vm_values_equal(stored, item));
      if (equal) {
        VELN_TRY(const VmSetKey stored_key, vm_set_key(stored));
        if (VmSetKey::cmp(item_key, stored_key) == VmOrdering::Less) stored = item;
        matched = true;
        break;
      }
    }
    if (!matched) kept.push_back(item);
  }
  std::stable_sort(kept.begin(), kept.end(), [](const VmValue& a, const VmValue& b) {
    return VmSetKey::cmp(*vm_set_key(a), *vm_set_key(b)) == VmOrdering::Less;
  });
  return kept;
}

// Scans `in` in order for an item value-equal to needle, as
// vm_values_equal(item of in, needle).
inline VmResult<bool> reference_in(std::span<const VmValue> in, const VmValue& needle) {
  for (const VmValue& item : in) {
    VELN_TRY(const bool equal, vm_values_equal(item, needle));
    if (equal) return true;
  }
  return false;
}

inline VmResult<std::vector<VmValue>> reference_difference(std::span<const VmValue> a, std::span<const VmValue> b) {
  std::vector<VmValue> out;
  for (const VmValue& x : a) {
    VELN_TRY(const bool found, reference_in(b, x));
    if (!found) out.push_back(x);
  }
  return out;
}

inline VmResult<std::vector<VmValue>> reference_intersection(std::span<const VmValue> a, std::span<const VmValue> b) {
  std::vector<VmValue> out;
  if (b.empty()) return out;
  for (const VmValue& x : a) {
    VELN_TRY(const bool found, reference_in(b, x));
    if (found) out.push_back(x);
  }
  return out;
}

inline VmResult<std::vector<VmValue>> reference_symmetric(std::span<const VmValue> a, std::span<const VmValue> b) {
  VELN_TRY(std::vector<VmValue> out, reference_difference(a, b));
  for (const VmValue& y : b) {
    VELN_TRY(const bool found, reference_in(a, y));
    if (!found) out.push_back(y);
  }
  return out;
}

inline VmResult<bool> reference_subset(std::span<const VmValue> a, std::span<const VmValue> b) {
  if (a.empty()) return true;
  if (b.empty()) return false;
  for (const VmValue& x : a) {
    VELN_TRY(const bool found, reference_in(b, x));
    if (!found) return false;
  }
  return true;
}

}  // namespace veln::set_scan_reference
