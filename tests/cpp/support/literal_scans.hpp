// The literal scans behind sorting and dict membership, transcribed from
// their definitions, and a generator of hostile value mixes: numbers of every
// kind around the points where int/float equality stops being transitive
// (2^53, 2^60), beyond the decimal range, NaN, tiny floats, next to strs,
// None and tuples. Test code only: the oracle for the fast paths.
#pragma once

#include <cmath>
#include <cstdlib>
#include <random>
#include <vector>

#include "interpreter_support/sets/set_algebra.hpp"
#include "interpreter_support/value_equality.hpp"
#include "values/decimal_from_value.hpp"
#include "values/vm_decimal.hpp"
#include "values/vm_value.hpp"

namespace veln::literal_scans {

inline VmResult<std::vector<VmValue>> insertion_sort(std::vector<VmValue> values) {
  std::vector<VmValue> placed;
  for (VmValue& v : values) {
    size_t at = placed.size();
    for (size_t j = 0; j < placed.size(); ++j) {
      VELN_TRY(VmOrdering ord, compare_vm_values(v, placed[j]));
      if (ord == VmOrdering::Less) {
        at = j;
        break;
      }
    }
    placed.insert(placed.begin() + static_cast<std::ptrdiff_t>(at), std::move(v));
  }
  return placed;
}

inline VmResult<bool> dict_contains(const VmValue& dict, const VmValue& needle) {
  for (const VmDictPair& pair : dict.dict_pairs()) {
    VELN_TRY(bool equal, vm_values_equal(pair.key, needle));
    if (equal) return true;
  }
  return false;
}

// Dict equality: for each entry of a, the first entry of b with a
// value-equal key (failed key comparisons are mismatches), whose value must
// be value-equal.
inline VmResult<bool> dicts_equal(const VmValue& a, const VmValue& b) {
  if (a.dict_size() != b.dict_size()) return false;
  for (const VmDictPair& entry : a.dict_pairs()) {
    const VmValue* match = nullptr;
    for (const VmDictPair& other : b.dict_pairs()) {
      auto equal = vm_values_equal(entry.key, other.key);
      if (equal.ok() && *equal) {
        match = &other.value;
        break;
      }
    }
    if (match == nullptr) return false;
    VELN_TRY(const bool values_equal, vm_values_equal(entry.value, *match));
    if (!values_equal) return false;
  }
  return true;
}

// Random values; `numbers_only` keeps to bools, ints, floats and decimals.
class HostileValues {
 public:
  explicit HostileValues(uint32_t seed) : rng_(seed) {}

  VmValue number() {
    static const char* const kDecimals[] = {"0", "1", "0.5", "-2", "9007199254740992", "9007199254740993",
                                            "1152921504606846976", "0.000000000000000000000000000001", "1e60"};
    const mpz_class two53 = mpz_class(1) << 53, two60 = mpz_class(1) << 60;
    switch (pick(11)) {
      case 10: {
        // Around 2^53, where int/float equality stops being transitive.
        static const char* const kHot[] = {"9007199254740992", "9007199254740993", "9007199254740994"};
        const char* text = kHot[pick(3)];
        switch (pick(3)) {
          case 0:
            return VmValue::integer(mpz_class(text));
          case 1:
            return VmValue::float64(std::strtod(text, nullptr));
          default:
            return VmValue::decimal(*VmDecimal::from_str_literal(text));
        }
      }
      case 0:
        return VmValue::boolean(pick(2) == 1);
      case 1:
        return VmValue::integer(static_cast<int64_t>(pick(7)) - 3);
      case 2:
        return VmValue::integer(mpz_class(two53 + static_cast<long>(pick(9)) - 4));
      case 3:
        return VmValue::integer(mpz_class(two60 + static_cast<long>(pick(600)) - 300));
      case 4:
        return VmValue::integer(mpz_class(pick(2) == 0 ? "10000000000000000000000000000000000000000000000000000000000000"
                                                       : "-99999999999999999999999999999999999999999999999999999999999999999"));
      case 5: {
        static const double kFloats[] = {0.0, -0.0, 1.0, -3.0, 0.5, 9007199254740992.0, 9007199254740994.0,
                                         1152921504606846976.0, 1e-40, 2e-40, 1e-30, 1e61, 1e300};
        return VmValue::float64(kFloats[pick(13)]);
      }
      case 6: {
        static const double kOdd[] = {INFINITY, -INFINITY, NAN};
        return pick(4) == 0 ? VmValue::float64(kOdd[pick(3)]) : VmValue::float64(std::ldexp(1.0, 60) + 256.0 * (pick(5) - 2.0));
      }
      case 7:
        return VmValue::float64(static_cast<double>(pick(7)) - 3.0);
      default:
        return VmValue::decimal(*VmDecimal::from_str_literal(kDecimals[pick(9)]));
    }
  }

  VmValue any() {
    switch (pick(12)) {
      case 0:
        return VmValue::str(pick(2) == 0 ? "a" : "b");
      case 1:
        return VmValue::none();
      case 2:
        return *VmValue::make_tuple({number()});
      case 3: {
        // Frozensets of small ints or bools: True and 1 are one item.
        std::vector<VmValue> items;
        for (uint32_t i = pick(3); i > 0; --i) items.push_back(pick(3) == 0 ? VmValue::boolean(pick(2) == 1) : VmValue::integer(pick(3)));
        return *VmValue::make_frozenset(*normalize_set_items(std::move(items)));
      }
      default:
        return number();
    }
  }

  // A tuple of one to three numbers (sometimes a frozenset of them in its
  // place, or inside it): containers whose leaves mix number kinds. Tame
  // numbers all have a decimal (no comparison among them can fail).
  VmValue container_of_numbers(bool tame) {
    std::vector<VmValue> leaves(1 + pick(3));
    for (VmValue& v : leaves) {
      do {
        v = number();
      } while (tame && !decimal_from_vm_value(v).ok());
    }
    auto frozen = [](std::vector<VmValue> items) {
      auto normalized = normalize_set_items(std::move(items));
      return normalized.ok() ? *VmValue::make_frozenset(*normalized) : VmValue::str("x");
    };
    switch (pick(6)) {
      case 0:
        return frozen(std::move(leaves));
      case 1:
        leaves.back() = frozen({leaves.back(), VmValue::integer(pick(3))});
        break;
      default:
        break;
    }
    return *VmValue::make_tuple(std::move(leaves));
  }

  // A list of up to `max` values; with small probability `any()` ones.
  // Kept out of line: inlined into a large test body, it draws a false
  // "may be used uninitialized" from GCC 12.
  [[gnu::noinline]] std::vector<VmValue> list(size_t max, bool numbers_only, bool allow_nan) {
    std::vector<VmValue> out(pick(static_cast<uint32_t>(max) + 1));
    for (VmValue& v : out) {
      do {
        v = numbers_only || pick(8) != 0 ? number() : any();
      } while (!allow_nan && v.is(VmKind::Float) && std::isnan(v.float_value()));
    }
    return out;
  }

  uint32_t pick(uint32_t n) { return static_cast<uint32_t>(rng_() % n); }

 private:
  std::mt19937 rng_;
};

}  // namespace veln::literal_scans
