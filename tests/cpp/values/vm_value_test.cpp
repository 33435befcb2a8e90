// VmValue: the cases of values/vm_value.cases; texts against CPython; copy
// independence; integer kernels against GMP; code point offsets; the size and
// depth limits with their caches; the dict index against a linear scan; the
// pending edits of a large set against plain items; and the kind checks of
// the sanitizer build.
#include "values/vm_value.hpp"

#include <gtest/gtest.h>

#include <random>

#include "case_file.hpp"
#include "gmp_printing.hpp"
#include "values/vm_items_view.hpp"

namespace veln {
namespace {

using namespace cases;

// An int result must be held inline exactly when it fits 64 bits.
Outcome normalised(const VmValue& v) {
  if (v.int_is_small() != bigint_fits_i64(v.int_to_mpz())) return vm_error("not normalised");
  return outcome(v);
}

// g++ 12 warns falsely (-Wrestrict) on a literal + std::string: texts are built with append.
VmValue padded(VmValue dict) {
  for (int i = 0; i < 20; ++i) (void)dict.dict_push_pair(VmValue::str(std::string("pad").append(std::to_string(i))), VmValue::none());
  return dict;
}

TEST(VmValue, Cases) {
  run_case_file("values/vm_value.cases",
                {
                    {"type_name", [](const Case& c) { return outcome(c[0].type_name()); }},
                    {"truth", [](const Case& c) { return outcome(c[0].truthy()); }},
                    {"same",
                     [](const Case& c) {
                       if (c[0].eq(c[1]) != c[1].eq(c[0])) return Outcome(vm_error("not symmetric"));
                       return outcome(c[0].eq(c[1]));
                     }},
                    {"same_as_copy", [](const Case& c) { return outcome(c[0].eq(c[0].clone())); }},
                    {"repr", [](const Case& c) { return outcome(c[0].python_repr()); }},
                    {"set_repr", [](const Case& c) { return outcome(python_set_repr(c[0].items())); }},
                    {"diag", [](const Case& c) { return outcome(c[0].diagnostic_text()); }},
                    {"as_i64", [](const Case& c) { return outcome(c[0].as_i64()); }},
                    {"as_bigint", [](const Case& c) { return outcome(c[0].as_bigint()); }},
                    {"as_string", [](const Case& c) { return outcome(c[0].as_string()); }},
                    {"as_contract_handle",
                     [](const Case& c) -> Outcome {
                       VELN_TRY(VmContractHandle h, c[0].as_contract_handle());
                       return outcome(VmValue::contract_handle(std::move(h)));
                     }},
                    {"int_add", [](const Case& c) { return normalised(vm_int_add(c[0], c[1])); }},
                    {"int_sub", [](const Case& c) { return normalised(vm_int_sub(c[0], c[1])); }},
                    {"int_mul", [](const Case& c) { return normalised(vm_int_mul(c[0], c[1])); }},
                    {"int_neg", [](const Case& c) { return normalised(vm_int_neg(c[0])); }},
                    {"int_floordiv", [](const Case& c) { return outcome(vm_int_floor_div(c[0], c[1])); }},
                    {"int_mod", [](const Case& c) { return outcome(vm_int_modulo(c[0], c[1])); }},
                    {"int_divmod",
                     [](const Case& c) -> Outcome {
                       VELN_TRY(const VmValue q, vm_int_floor_div(c[0], c[1]));
                       VELN_TRY(const VmValue r, vm_int_modulo(c[0], c[1]));
                       VELN_TRY(auto qs, normalised(q));
                       VELN_TRY(auto rs, normalised(r));
                       return outcome(qs[0], rs[0]);
                     }},
                    {"dict_find", [](const Case& c) { return outcome(c[0].dict_find_structural(c[1])); }},
                    {"dict_find_indexed",
                     [](const Case& c) { return outcome(padded(c[0]).dict_find_structural(c[1])); }},
                    {"same_hash",
                     [](const Case& c) { return outcome(vm_structural_hash(c[0], 99) == vm_structural_hash(c[1], 99)); }},
                });
}

// CPython's repr of ints, bytes and exception arguments (tests/gen/gen_value_text.py).
TEST(VmValue, TextsMatchCPython) {
  size_t checked = 0;
  for (const auto& row : data_rows("value_text.txt")) {
    const std::string expect = unhex(row[2]);
    if (row[0] == "int") {
      const bool neg = row[1][0] == '-';
      const mpz_class magnitude(neg ? row[1].substr(1) : row[1], 16);
      const VmValue v = VmValue::integer(mpz_class(neg ? -magnitude : magnitude));
      ASSERT_EQ(v.int_is_small(), bigint_fits_i64(v.int_to_mpz())) << row[1];
      ASSERT_EQ(v.python_repr(), expect) << row[1];
    } else if (row[0] == "bytes") {
      ASSERT_EQ(VmValue::make_bytes(unhex(row[1]))->python_repr(), expect) << row[1];
    } else {
      ASSERT_EQ(python_exception_arg_repr(VmValue::str(unhex(row[1]))), expect) << row[1];
    }
    ++checked;
  }
  EXPECT_GT(checked, 3000u);
}

TEST(VmValue, CopiesAreIndependent) {
  const VmValue outer = V("[[1, 2], 'x']");
  VmValue copy = outer.clone();
  VmValue inner = copy.item(0);
  ASSERT_TRUE(inner.seq_push(VmValue::integer(3)).ok());
  ASSERT_TRUE(copy.seq_set(0, inner).ok());
  EXPECT_EQ(outer.python_repr(), "[[1, 2], x]");
  EXPECT_EQ(copy.python_repr(), "[[1, 2, 3], x]");
  const VmValue numbers = V("[1, 2]");
  VmValue numbers_copy = numbers;
  ASSERT_TRUE(numbers_copy.seq_set(1, VmValue::integer(5)).ok());
  EXPECT_EQ(numbers.python_repr(), "[1, 2]");
  EXPECT_EQ(numbers_copy.python_repr(), "[1, 5]");
  const VmValue text = VmValue::str("ab");
  VmValue text_copy = text;
  ASSERT_TRUE(text_copy.text_append("c").ok());
  EXPECT_EQ(text.text(), "ab");
  EXPECT_EQ(text_copy.text(), "abc");
}

TEST(VmValue, IntegerKernelsAgreeWithGmp) {
  const char* edges[] = {"0", "1", "-1", "9223372036854775807", "-9223372036854775808", "9223372036854775808",
                         "-9223372036854775809", "18446744073709551616", "-18446744073709551615",
                         "4611686018427387904", "-4611686018427387904", "3037000500", "-3037000500",
                         "340282366920938463463374607431768211457"};
  for (const char* x : edges) {
    const mpz_class a(x);
    const VmValue va = VmValue::integer(a);
    ASSERT_EQ(vm_int_neg(va).int_to_mpz(), -a);
    for (const char* y : edges) {
      const mpz_class b(y);
      const VmValue vb = VmValue::integer(b);
      const VmValue results[] = {vm_int_add(va, vb), vm_int_sub(va, vb), vm_int_mul(va, vb)};
      const mpz_class expect[] = {a + b, a - b, a * b};
      for (int k = 0; k < 3; ++k) {
        ASSERT_EQ(results[k].int_to_mpz(), expect[k]) << x << " op" << k << " " << y;
        ASSERT_EQ(results[k].int_is_small(), bigint_fits_i64(expect[k]));
      }
      if (sgn(b) != 0) {
        ASSERT_EQ(vm_int_floor_div(va, vb)->int_to_mpz(), *bigint_floor_div(a, b)) << x << "//" << y;
        ASSERT_EQ(vm_int_modulo(va, vb)->int_to_mpz(), *bigint_modulo(a, b)) << x << "%" << y;
      }
    }
  }
}

TEST(VmValue, CodePointOffsets) {
  const char* pieces[] = {"a", "\xC3\xA9", "\xE6\x97\xA5", "\xF0\x9F\x98\x80", " "};
  std::mt19937_64 rng(7);
  for (int round = 0; round < 50; ++round) {
    std::string text;
    std::vector<size_t> offsets;
    const size_t n = rng() % 400;
    for (size_t i = 0; i < n; ++i) {
      offsets.push_back(text.size());
      text += pieces[rng() % (round % 2 ? 5 : 1)];
    }
    offsets.push_back(text.size());
    const VmValue v = VmValue::str(text);
    ASSERT_EQ(v.text_code_points(), n);
    for (size_t i = 0; i <= n; ++i) ASSERT_EQ(v.text_byte_offset(i), offsets[i]) << round << " " << i;
    // Appending drops the cached checkpoints of the edited copy only.
    VmValue longer = v;
    ASSERT_TRUE(longer.text_append("\xC3\xA9x").ok());
    ASSERT_EQ(longer.text_code_points(), n + 2);
    ASSERT_EQ(longer.text_byte_offset(n + 1), text.size() + 2);
    ASSERT_EQ(v.text_byte_offset(n), text.size());
  }
}

// ---- limits ---------------------------------------------------------------------

TEST(VmValueLimits, DepthLimitOnBuildersAndPush) {
  VmValue v = V("[]");
  for (uint32_t d = 2; d <= kVmMaxDepth; ++d) {
    v = *VmValue::make_list({v});
    ASSERT_EQ(v.depth(), d);
  }
  EXPECT_EQ(VmValue::make_list({v}).error().message, kVmDepthMessage);
  EXPECT_EQ(VmValue::make_tuple({v}).error().message, kVmDepthMessage);
  EXPECT_EQ(VmValue::make_dict({{VmValue::str("k"), v}}).error().message, kVmDepthMessage);
  EXPECT_EQ(VmValue::make_exception(VmException{"E", {v}}).error().message, kVmDepthMessage);
  VmValue holder = V("[]");
  EXPECT_EQ(holder.seq_push(v).error().message, kVmDepthMessage);
  EXPECT_EQ(holder.seq_insert(0, v).error().message, kVmDepthMessage);
  EXPECT_EQ(holder.python_repr(), "[]");  // unchanged on failure
  VmValue d = V("{}");
  EXPECT_EQ(d.dict_push_pair(VmValue::str("k"), v).error().message, kVmDepthMessage);
  EXPECT_EQ(d.dict_size(), 0u);
}

TEST(VmValueLimits, SizeLimit) {
  EXPECT_TRUE(VmValue::make_str(std::string(kVmMaxUnits - 1, 'a')).ok());
  EXPECT_EQ(VmValue::make_str(std::string(kVmMaxUnits, 'a')).error().message, kVmSizeMessage);
  const VmValue big = *VmValue::make_bytes(std::string(kVmMaxUnits / 2, 'a'));
  EXPECT_EQ(big.units(), kVmMaxUnits / 2 + 1);
  VmValue pair = *VmValue::make_list({big});  // 1 + half + 1
  EXPECT_EQ(pair.units(), kVmMaxUnits / 2 + 2);
  EXPECT_EQ(VmValue::make_list({big, big}).error().message, kVmSizeMessage);  // shared, counted twice
  EXPECT_EQ(pair.seq_push(big).error().message, kVmSizeMessage);
  VmValue text = *VmValue::make_str(std::string(kVmMaxUnits - 2, 'a'));
  EXPECT_TRUE(text.text_append("b").ok());
  EXPECT_EQ(text.text_append("c").error().message, kVmSizeMessage);
  EXPECT_EQ(text.text_size(), kVmMaxUnits - 1);
  EXPECT_EQ(V("2**128").units(), 4u);  // a big integer counts its 64-bit words
}

TEST(VmValueLimits, CachesFollowMutation) {
  const VmValue deep = V("[[[]]]");
  VmValue v = *VmValue::make_list({VmValue::integer(1), deep});
  EXPECT_EQ(v.depth(), 4u);
  EXPECT_EQ(v.units(), 5u);
  (void)v.seq_remove(1);
  EXPECT_EQ(v.depth(), 1u);
  EXPECT_EQ(v.units(), 2u);
  ASSERT_TRUE(v.seq_set(0, deep).ok());
  EXPECT_EQ(v.depth(), 4u);
  ASSERT_TRUE(v.seq_set(0, VmValue::str("abc")).ok());
  EXPECT_EQ(v.depth(), 1u);
  EXPECT_EQ(v.units(), 5u);
  ASSERT_TRUE(v.seq_extend(v.items()).ok());  // extend with itself
  EXPECT_EQ(v.python_repr(), "[abc, abc]");
  EXPECT_EQ(v.units(), 9u);
  v.seq_clear();
  EXPECT_EQ(v.units(), 1u);
  EXPECT_EQ(v.depth(), 1u);
}

TEST(VmValueLimits, DestroyingVeryDeepValueDoesNotRecurse) {
  // seq_edit reports the violation but leaves the edit in place, which lets
  // the test build a chain far deeper than any checked builder allows.
  VmValue v = V("[]");
  for (int i = 0; i < 1000000; ++i) {
    VmValue outer = V("[]");
    (void)outer.seq_edit([&](std::vector<VmValue>& items) { items.push_back(std::move(v)); });
    v = std::move(outer);
  }
  v = VmValue::none();
}

// ---- dict -------------------------------------------------------------------------

std::optional<size_t> scan(const VmValue& d, const VmValue& key) {
  const auto pairs = d.dict_pairs();
  for (size_t i = 0; i < pairs.size(); ++i)
    if (pairs[i].key.eq(key)) return i;
  return std::nullopt;
}

TEST(VmValueDict, RemovingTheFirstOfDuplicatesUncoversTheNext) {
  std::vector<VmDictPair> pairs;
  for (int i = 0; i < 30; ++i) pairs.push_back({VmValue::integer(i % 10), VmValue::integer(i)});
  VmValue d = *VmValue::make_dict(pairs);
  EXPECT_EQ(*d.dict_find_structural(VmValue::integer(3)), 3u);
  d.dict_remove_at(3);
  EXPECT_EQ(*d.dict_find_structural(VmValue::integer(3)), 12u);  // the former pair 13
  EXPECT_EQ(d.dict_pairs()[12].value.small_int(), 13);
}

// Only a dict no other value holds gives its pairs up; a holder's copy
// stays whole.
TEST(VmValueDict, OnlyAnUnsharedDictGivesItsPairsUp) {
  VmValue d = *VmValue::make_dict({{VmValue::str("a"), VmValue::integer(1)}, {VmValue::str("b"), VmValue::integer(2)}});
  VmValue held = d;
  EXPECT_FALSE(d.take_unshared_dict_pairs().has_value());
  EXPECT_EQ(d.dict_size(), 2u);
  held = VmValue();
  const std::optional<std::vector<VmDictPair>> taken = d.take_unshared_dict_pairs();
  ASSERT_TRUE(taken.has_value());
  ASSERT_EQ(taken->size(), 2u);
  EXPECT_EQ((*taken)[1].key.text(), "b");
  EXPECT_EQ((*taken)[1].value.small_int(), 2);
  EXPECT_TRUE(d.is(VmKind::None));
}

// A text keeps its hash between lookups; an edit in place, or the same
// buffer seen as another kind, is hashed afresh.
TEST(VmValueDict, KeptTextHashFollowsEditsAndKinds) {
  std::vector<VmDictPair> pairs;
  for (int i = 0; i < 20; ++i) pairs.push_back({*VmValue::make_bytes(std::string("k").append(std::to_string(i))), VmValue::integer(i)});
  const VmValue d = *VmValue::make_dict(pairs);
  VmValue needle = *VmValue::make_bytearray("k1");
  EXPECT_FALSE(d.dict_find_structural(needle));
  EXPECT_EQ(*d.dict_find_structural(needle.with_kind(VmKind::Bytes)), 1u);
  ASSERT_TRUE(needle.text_append("2").ok());  // the only reference: edited in place
  EXPECT_EQ(*d.dict_find_structural(needle.with_kind(VmKind::Bytes)), 12u);
  needle.bytes_set(2, '3');
  EXPECT_EQ(*d.dict_find_structural(needle.with_kind(VmKind::Bytes)), 13u);
  ASSERT_TRUE(needle.text_assign("k4").ok());
  EXPECT_EQ(*d.dict_find_structural(needle.with_kind(VmKind::Bytes)), 4u);
}

TEST(VmValueDict, IndexAgreesWithScanUnderRandomEdits) {
  std::mt19937_64 rng(42);
  const auto random_key = [&]() -> VmValue {
    const int64_t n = static_cast<int64_t>(rng() % 50);
    switch (rng() % 6) {
      case 0: return VmValue::integer(n);
      case 1: return VmValue::float64(static_cast<double>(n));
      case 2: return VmValue::str(std::string("k").append(std::to_string(n)));
      case 3: return *VmValue::make_tuple({VmValue::integer(n % 5), VmValue::str("x")});
      case 4: return VmValue::boolean(n % 2 == 0);
      default: return VmValue::integer(mpz_class(std::string("1").append(20 + n % 3, '0')));
    }
  };
  VmValue d = V("{}");
  VmValue snapshot;
  for (int step = 0; step < 20000; ++step) {
    const VmValue key = random_key();
    const auto expect = scan(d, key);
    ASSERT_EQ(d.dict_find_structural(key), expect) << step;
    const auto op = rng() % 10;
    if (op < 3) {
      if (expect) ASSERT_TRUE(d.dict_set_value(*expect, VmValue::integer(step)).ok());
      else ASSERT_TRUE(d.dict_push_pair(key, VmValue::integer(step)).ok());
    } else if (op < 5) {
      ASSERT_TRUE(d.dict_set_key(key, VmValue::integer(step)).ok());
      const size_t at = expect ? *expect : d.dict_size() - 1;
      ASSERT_EQ(d.dict_find_structural(key), at) << step;
      ASSERT_EQ(d.dict_pairs()[at].value.small_int(), step);
    } else if (op < 7 && expect) {
      d.dict_remove_at(*expect);
    } else if (op == 7) {
      ASSERT_TRUE(d.dict_push_pair(key, VmValue::integer(-step)).ok());  // possible duplicate
    } else if (op == 8 && rng() % 50 == 0) {
      snapshot = d;  // shared buffer: later edits must not show in the snapshot
    } else if (op == 9 && rng() % 400 == 0) {
      d.dict_clear();
    }
  }
  ASSERT_TRUE(snapshot.is(VmKind::Dict));
  for (const auto& p : snapshot.dict_pairs()) ASSERT_EQ(snapshot.dict_find_structural(p.key), scan(snapshot, p.key));
}

// ---- pending edits of a large set -------------------------------------------------

// Positional edits of a Set (the value model leaves the order to the
// caller) against a plain vector: the view, the count, the caches and the
// merged items agree after every step; snapshots and other kinds sharing the
// buffer keep what they saw.
TEST(VmValueSet, PendingEditsAgreeWithPlainItems) {
  std::mt19937_64 rng(7);
  std::vector<VmValue> mirror;
  for (int64_t i = 0; i < 600; ++i) mirror.push_back(i % 7 == 0 ? *VmValue::make_tuple({VmValue::integer(i)}) : VmValue::integer(i));
  VmValue s = *VmValue::make_set(mirror);
  std::vector<std::pair<VmValue, std::vector<VmValue>>> snapshots;
  const auto same = [](const VmValue& v, const std::vector<VmValue>& want) {
    const VmItemsView view = v.items_view();
    if (v.item_count() != want.size() || view.size() != want.size()) return false;
    for (size_t i = 0; i < want.size(); ++i)
      if (!view[i].eq(want[i])) return false;
    return true;
  };
  for (int step = 0; step < 6000; ++step) {
    // Shrinks below the size where edits are held pending, then grows again.
    if (step == 3000) {
      ASSERT_LT(mirror.size(), 256u);
    }
    const size_t op = rng() % 16;
    if (op < (step < 3000 ? 5u : 9u) || mirror.empty()) {
      const size_t at = rng() % (mirror.size() + 1);
      VmValue item = rng() % 3 == 0 ? *VmValue::make_list({VmValue::integer(step)}) : VmValue::integer(step);
      ASSERT_TRUE(s.seq_insert(at, item).ok());
      mirror.insert(mirror.begin() + static_cast<ptrdiff_t>(at), item);
    } else if (op < 14) {
      const size_t at = rng() % mirror.size();
      ASSERT_TRUE(s.seq_remove(at).eq(mirror[at])) << step;
      mirror.erase(mirror.begin() + static_cast<ptrdiff_t>(at));
    } else if (op == 14) {
      snapshots.emplace_back(rng() % 2 == 0 ? s : s.with_kind(VmKind::List), mirror);
    } else {
      ASSERT_EQ(s.truthy(), !mirror.empty());
      const VmValue rebuilt = *VmValue::make_set(mirror);
      ASSERT_EQ(s.units(), rebuilt.units()) << step;
      ASSERT_EQ(s.depth(), rebuilt.depth()) << step;
    }
    ASSERT_TRUE(same(s, mirror)) << step;
  }
  const auto merged = s.items();
  ASSERT_EQ(merged.size(), mirror.size());
  for (size_t i = 0; i < merged.size(); ++i) ASSERT_TRUE(merged[i].eq(mirror[i]));
  for (const auto& [snapshot, seen] : snapshots) {
    ASSERT_TRUE(same(snapshot, seen));
    ASSERT_EQ(snapshot.items().size(), seen.size());
  }
}

// ---- the result type and the sanitizer build's checks ---------------------------

VmResult<int> halve(int x) {
  if (x % 2 != 0) return vm_error("odd");
  return x / 2;
}

VmResult<int> quarter(int x) {
  VELN_TRY(const int h, halve(x));
  VELN_TRY(const int q, halve(h));
  return q;
}

TEST(VmResult, PropagatesTheFirstError) {
  EXPECT_EQ(*quarter(8), 2);
  EXPECT_EQ(quarter(6).error().message, "odd");
  EXPECT_EQ(quarter(2).error().message, "odd");
  // A result whose error box moved out holds nothing, and copies as such.
  VmResult<int> failed = vm_error("x");
  const VmResult<int> taken = std::move(failed);
  const VmResult<int> copy = failed;  // NOLINT: the moved-from state is the point
  EXPECT_FALSE(copy.ok());
  EXPECT_EQ(taken.error().message, "x");
}

#if defined(VELN_DEBUG_CHECKS)
TEST(DebugChecksDeathTest, WrongKindAndWrongSideAbort) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_DEATH((void)VmValue::str("x").items(), "vm_kind_is_sequence.*str");
  EXPECT_DEATH((void)VmValue::integer(1).bool_value(), "bool_value.*int");
  EXPECT_DEATH((void)V("2**64").small_int(), "small_int.*int");
  EXPECT_DEATH((void)quarter(6).value(), "the value of a failed result");
}
#endif

}  // namespace
}  // namespace veln
