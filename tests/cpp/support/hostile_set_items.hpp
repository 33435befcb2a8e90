// The values the set differential draws from, and the source of its
// choices: a round's small alphabet of numbers that meet (around 0 with
// tiny and subnormal floats, decimals, False and -0.0; around 2^53, 2^60
// and 2^100 with the floats of their doubles and their decimals; NaN, the
// infinities, ints past the decimal and the double range), short texts,
// date-times and time deltas, wrapped alike in one-item tuples, frozensets
// or pairs so that equal numbers make equal containers; families of
// distinct items for sets large enough to keep their edits pending,
// including the shapes that match only by scanning; now and then an item
// no set may hold. Also the texts by which outcomes are compared.
// Test and fuzz code only.
#pragma once

#include <gmpxx.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "interpreter/builtins.hpp"
#include "interpreter_support/native_methods.hpp"
#include "set_oracle/set_calls.hpp"
#include "values/vm_datetime.hpp"
#include "values/vm_decimal.hpp"

namespace veln::set_differential {

namespace oracle = set_oracle;

// The source of every choice. A run of zeros (the end of a fuzz input)
// means small, plain choices: no large set, no NaN.
class Choices {
 public:
  virtual ~Choices() = default;
  virtual uint32_t next() = 0;
  // Whether the source has no more choices of its own to give.
  virtual bool spent() const { return false; }
  uint32_t pick(uint32_t n) { return n == 0 ? 0 : next() % n; }
  bool one_in(uint32_t n) { return pick(n) == n - 1; }
};

// One value as both sides hold it: sets built by the engine and by the
// oracle are kept apart, items shared.
struct Both {
  VmValue engine;
  VmValue oracle;
};

// --- shown outcomes: equal texts mean equal outcomes ---------------------------

inline std::string shown(const VmValue& v) { return v.diagnostic_text(); }
template <class T>
std::string shown_error(const VmResult<T>& r) {
  return "error: " + r.error().message;
}
inline std::string shown(const VmResult<VmValue>& r) { return r.ok() ? shown(*r) : shown_error(r); }
inline std::string shown(const VmResult<bool>& r) { return r.ok() ? (*r ? "true" : "false") : shown_error(r); }
inline std::string shown(const VmResult<NativeMethodOutcome>& r) {
  if (!r.ok()) return shown_error(r);
  return (r->is_mutated() ? "mutated to " + shown(r->receiver) + ", " : "") + "gives " + shown(r->value);
}
inline std::string shown(const VmResult<oracle::MethodOutcome>& r) {
  if (!r.ok()) return shown_error(r);
  return (r->mutated ? "mutated to " + shown(r->receiver) + ", " : "") + "gives " + shown(r->value);
}

// A short text of an input for reports (define the limit larger to see
// whole inputs while reducing a case).
#ifndef SET_DIFFERENTIAL_BRIEF_LIMIT
#define SET_DIFFERENTIAL_BRIEF_LIMIT 400
#endif
inline std::string brief(const VmValue& v) {
  std::string text = v.diagnostic_text();
  if (text.size() <= SET_DIFFERENTIAL_BRIEF_LIMIT) return text;
  text.resize(SET_DIFFERENTIAL_BRIEF_LIMIT);
  return vm_kind_is_sequence(v.kind()) ? text + "...(" + std::to_string(v.item_count()) + " items)" : text + "...";
}

// --- hostile values --------------------------------------------------------------

inline VmValue pow2_plus(unsigned bits, long delta) {
  mpz_class v;
  mpz_ui_pow_ui(v.get_mpz_t(), 2, bits);
  v += delta;
  return VmValue::integer(v);
}
inline VmValue dec(const std::string& text) { return VmValue::decimal(*VmDecimal::from_str_literal(text)); }
inline VmValue dec_of_pow2(unsigned bits, long delta) { return dec(pow2_plus(bits, delta).python_repr()); }

class Pool {
 public:
  Pool(Choices& c, std::vector<std::string>& faults) : c_(c), faults_(faults) {}

  // Whether this round's numbers all chain.
  bool chains() const { return chains_; }

  // This round's alphabet: a few numbers, mostly from one neighbourhood,
  // and a few other scalars, so that the items drawn meet each other often.
  void choose_alphabet() {
    static const uint8_t kThemes[] = {0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 4, 4, 4};
    theme_ = kThemes[c_.pick(20)];
    wrap_ = c_.pick(8);
    alphabet_.clear();
    chains_ = false;
    if (c_.one_in(3)) {
      // Nothing but numbers that chain: each equal to some of the others,
      // so normalising leaves value-equal items side by side.
      for (uint32_t n = 4 + c_.pick(4); n > 0; --n) alphabet_.push_back(theme_ == 1 ? near_pow2(53) : zero_like());
      chains_ = true;
      return;
    }
    for (uint32_t n = 3 + c_.pick(6); n > 0; --n) alphabet_.push_back(c_.one_in(5) ? fresh_scalar() : number());
  }

  VmValue number() {
    switch (c_.one_in(3) ? c_.pick(5) : theme_) {
      case 0:
        return zero_like();
      case 1:
        return near_pow2(53);
      case 2:
        return near_pow2(c_.one_in(2) ? 60 : 100);
      case 3:
        return one_like();
      default:
        return odd_number();
    }
  }

  VmValue scalar() {
    if (!c_.one_in(4)) return alphabet_[c_.pick(static_cast<uint32_t>(alphabet_.size()))];
    return fresh_scalar();
  }

  VmValue fresh_scalar() {
    switch (c_.pick(12)) {
      case 0: {
        static const char* const kTexts[] = {"", "a", "b", "ab", "\xc3\xa9", "1.5", "0"};
        return VmValue::str(kTexts[c_.pick(7)]);
      }
      case 1: {
        static const char* const kBytes[] = {"", "a", "ab", "0"};
        return *VmValue::make_bytes(kBytes[c_.pick(4)]);
      }
      case 2:
        switch (c_.pick(4)) {
          case 0:
            return VmValue::none();
          case 1:
            // Two date-times one nanosecond apart: one key, two values.
            return VmValue::datetime(*VmDateTime::from_day_time(19000, 3600, 1000 + c_.pick(2)));
          default:
            return VmValue::timedelta_seconds(static_cast<int64_t>(c_.pick(3)) - 1);
        }
      default:
        return number();
    }
  }

  // A hashable value: a scalar, or a tuple or frozenset of such, nested.
  VmValue item(int depth = 0) {
    const uint32_t r = c_.pick(10);
    if (depth >= 3 || r < 6) return scalar();
    std::vector<VmValue> items;
    const uint32_t n = c_.one_in(3) ? 1 : c_.pick(c_.one_in(4) ? 7 : 3);
    for (uint32_t i = 0; i < n; ++i) items.push_back(item(depth + 1));
    if (r < 8) return *VmValue::make_tuple(std::move(items));
    return frozen(items);
  }

  // An item in this round's wrapping: the scalar itself, in a one-item
  // tuple or frozenset, in a pair behind 0 or 1, or any item: equal
  // scalars make equal wrapped items, so their chains carry over.
  VmValue wrapped() {
    switch (wrap_) {
      case 0:
      case 1:
      case 2:
        return scalar();
      case 3:
        return *VmValue::make_tuple({scalar()});
      case 4:
        return frozen({scalar()});
      case 5:
        return c_.one_in(2) ? *VmValue::make_tuple({VmValue::integer(c_.pick(2)), scalar()})
                            : frozen({scalar(), scalar()});
      default:
        return item();
    }
  }

  // Now and then an item no set may hold.
  VmValue any_item() {
    if (!c_.one_in(40)) return wrapped();
    switch (c_.pick(4)) {
      case 0:
        return *VmValue::make_list({item()});
      case 1:
        return *VmValue::make_bytearray("a");
      case 2:
        return *VmValue::make_tuple({scalar(), *VmValue::make_list({})});
      default: {
        std::vector<VmValue> items;
        for (uint32_t n = c_.pick(3); n > 0; --n) items.push_back(wrapped());
        return frozen(items).with_kind(VmKind::Set);
      }
    }
  }

  // A frozenset item made by both sides from `items`; one with NaNs that
  // cannot be built is an empty one.
  VmValue frozen(const std::vector<VmValue>& items) {
    const auto want = oracle::normalize(items);
    NoCalls none;
    std::vector<VmValue> args{*VmValue::make_tuple(items)};
    const auto got = call_builtin("frozenset", args, {}, none);
    const VmResult<VmValue> expected =
        want.ok() ? VmResult<VmValue>(oracle::set_value(VmKind::FrozenSet, *want)) : VmResult<VmValue>(want.error());
    if (shown(got) != shown(expected))
      faults_.push_back("frozenset(" + brief(args[0]) + "): engine " + shown(got) + ", oracle " + shown(expected));
    return got.ok() ? *got : *VmValue::make_frozenset({});
  }

  // Distinct items of one family, for sets large enough to keep their edits
  // pending, with the round's numbers between them.
  std::vector<VmValue> many(size_t n) {
    std::vector<VmValue> out;
    const uint32_t family = c_.pick(12);
    for (size_t i = 0; i < n; ++i) {
      if (c_.one_in(8)) {
        out.push_back(item());
        continue;
      }
      out.push_back(member_of(family, static_cast<long>(i)));
    }
    return out;
  }

  // Numbers of one of the numeric families, with the round's numbers
  // between them: what sorting must order by the doubles they share.
  std::vector<VmValue> many_numbers(size_t n) {
    static const uint8_t kNumeric[] = {0, 1, 2, 5, 9};
    const uint32_t family = kNumeric[c_.pick(5)];
    std::vector<VmValue> out;
    for (size_t i = 0; i < n; ++i) out.push_back(c_.one_in(6) ? number() : member_of(family, static_cast<long>(i)));
    return out;
  }

  // The k-th of a family of distinct items: plain ints, floats, strs, ints
  // past 2^53 beside the floats between them, and the shapes that match
  // only by scanning: frozensets and long tuples where two ints of one
  // double meet its float, one-item tuples of distinct tiny floats,
  // decimals beside the ints and floats of 2^53.
  VmValue member_of(uint32_t family, long k) {
    const VmValue big_float = VmValue::float64(std::ldexp(1.0, 60));
    switch (family) {
      case 0:
        return VmValue::integer(k * 3 - 200);
      case 1:
        return VmValue::float64(static_cast<double>(k) * 0.25 - 30);
      case 2:
        return pow2_plus(53, k - 150);
      case 3:
        return VmValue::str("s" + std::to_string(k));
      case 4:
        return *VmValue::make_tuple({VmValue::integer(k), number()});
      case 5:
        return k % 2 ? VmValue::float64(std::ldexp(1.0, 53) + 2.0 * static_cast<double>(k)) : pow2_plus(53, 2 * k + 1);
      case 6: {
        std::vector<VmValue> items{VmValue::integer(k), pow2_plus(60, 1 + k % 3), pow2_plus(60, -1), big_float};
        for (long j = 0; j < 6; ++j) items.push_back(VmValue::integer(1000 + j + (k & j)));
        return frozen(items);
      }
      case 7: {
        std::vector<VmValue> items{VmValue::integer(k)};
        for (int j = 0; j < 8; ++j) items.push_back(j % 3 == 2 ? big_float : pow2_plus(60, (k >> j) & 1));
        return *VmValue::make_tuple(std::move(items));
      }
      case 10: {
        // Date-times a second apart, some a nanosecond after another (one
        // key, two values).
        const long second = k % 7 == 3 ? k - 1 : k;
        return VmValue::datetime(*VmDateTime::from_day_time(19000 + second / 50, static_cast<uint32_t>(second % 50),
                                                            k % 7 == 3 ? 1 : 0));
      }
      case 11:
        return k % 5 ? VmValue::timedelta_seconds(k - 100) : *VmValue::make_tuple({VmValue::timedelta_seconds(k)});
      case 8:
        if (k % 16 == 0) return *VmValue::make_tuple({zero_like()});
        return *VmValue::make_tuple({VmValue::float64(static_cast<double>(k) * 1e-40)});
      default:
        switch (k % 3) {
          case 0:
            return dec_of_pow2(53, k);
          case 1:
            return pow2_plus(53, k);
          default:
            return VmValue::float64(std::ldexp(1.0, 53) + 2.0 * static_cast<double>(k));
        }
    }
  }

  // A list of items of the given size class.
  std::vector<VmValue> items(bool large) {
    if (large) return many(256 + c_.pick(64));
    std::vector<VmValue> out;
    const uint32_t n = c_.one_in(4) ? c_.pick(24) : c_.pick(10);
    for (uint32_t i = 0; i < n; ++i) out.push_back(any_item());
    return out;
  }

  // Any value, to meet a set as an operand or an argument.
  VmValue partner() {
    switch (c_.pick(8)) {
      case 0:
        return VmValue::integer(static_cast<int64_t>(c_.pick(5)));
      case 1:
        return dec("1.5");
      case 2:
        return VmValue::boolean(c_.one_in(2));
      case 3:
        return VmValue::none();
      case 4:
        return *VmValue::make_list(items(false));
      case 5:
        return VmValue::str("ab");
      case 6:
        return *VmValue::make_tuple(items(false));
      default:
        return VmValue::float64(0.5);
    }
  }

  class NoCalls : public VmValueCaller {
   public:
    VmResult<VmValue> call_callable_value(VmValue, VmArgList, VmKwargList) override {
      return vm_error("no callable values in this test");
    }
  };

 private:
  VmValue zero_like() {
    switch (c_.pick(10)) {
      case 0:
        return VmValue::integer(0);
      case 1:
        return VmValue::boolean(false);
      case 2:
        return VmValue::float64(0.0);
      case 3:
        return VmValue::float64(-0.0);
      case 4:
        return dec("0");
      case 5:
        return dec("0.000000000000000000000000000001");
      default: {
        static const double kTiny[] = {1e-40, 1e-31, 1.5e-31, -1e-40, 1e-30, 9.9e-14, 1e-13,
                                       std::numeric_limits<double>::denorm_min(), 1e-310};
        return VmValue::float64(kTiny[c_.pick(c_.one_in(2) ? 3 : 9)]);
      }
    }
  }

  VmValue near_pow2(unsigned bits) {
    const long delta = static_cast<long>(c_.pick(bits == 60 ? 7 : 5)) - 2;
    const long spread = bits == 60 ? 128 : 1;
    switch (c_.pick(4)) {
      case 0:
      case 1:
        return pow2_plus(bits, delta * spread);
      case 2:
        return VmValue::float64(std::ldexp(1.0, static_cast<int>(bits)) + static_cast<double>(delta * 2 * spread));
      default:
        return dec_of_pow2(bits, delta);
    }
  }

  VmValue one_like() {
    switch (c_.pick(6)) {
      case 0:
        return VmValue::integer(1);
      case 1:
        return VmValue::boolean(true);
      case 2:
        return VmValue::float64(1.0);
      case 3:
        return dec("1");
      case 4:
        return VmValue::float64(1.0000000000000002);
      default:
        return dec("1.0000000000000002");
    }
  }

  VmValue odd_number() {
    switch (c_.pick(10)) {
      case 0:
        return VmValue::float64(c_.one_in(6) ? std::numeric_limits<double>::quiet_NaN()
                                             : std::numeric_limits<double>::infinity());
      case 1:
        return VmValue::float64(-std::numeric_limits<double>::infinity());
      case 2: {
        // Beyond the decimal range (comparing it with a decimal fails), or
        // beyond the double range (it equals a float infinity).
        mpz_class big;
        mpz_ui_pow_ui(big.get_mpz_t(), 10, c_.one_in(2) ? 400 : 61);
        return VmValue::integer(c_.one_in(3) ? mpz_class(-big) : big);
      }
      case 3:
        return VmValue::float64(c_.one_in(2) ? 1e61 : 1e300);
      case 4:
        return dec("0.5");
      case 5:
        return VmValue::float64(0.5);
      case 6:
        return VmValue::integer(-1);
      default:
        return VmValue::integer(static_cast<int64_t>(c_.pick(4)) + 2);
    }
  }

  Choices& c_;
  std::vector<std::string>& faults_;
  uint32_t theme_ = 0;
  uint32_t wrap_ = 0;
  bool chains_ = false;
  std::vector<VmValue> alphabet_;
};

}  // namespace veln::set_differential
