// Native methods and container helpers: the cases of support/methods.cases
// and containers.cases, CPython's results for the str, bytes and bytearray
// methods (tests/gen/gen_string_methods.py), and the orders of sorting and of
// a large dict built key by key.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <sstream>

#include "case_file.hpp"
#include "interpreter_support/container_methods.hpp"
#include "interpreter_support/dict_ops.hpp"
#include "interpreter_support/membership.hpp"
#include "interpreter_support/native_method_table.hpp"
#include "interpreter_support/native_methods.hpp"
#include "interpreter_support/sets/set_algebra.hpp"
#include "interpreter_support/value_iteration.hpp"

namespace veln {
namespace {

using namespace cases;

// The result, then the changed receiver when the method changed it; the
// caller's receiver must be left as it was.
Outcome method_outcome(const VmValue& receiver, std::string_view method, const Case& c, size_t first_arg) {
  const std::string before = receiver.diagnostic_text();
  auto r = call_native_method(receiver, method, c.tail(first_arg), c.kwargs);
  if (receiver.diagnostic_text() != before) return vm_error("the caller's receiver changed");
  if (!r.ok()) return r.error();
  if (r->is_mutated()) return outcome(r->value, r->receiver);
  return outcome(r->value);
}

// Items far from those of the cases (after them in key order where the
// kind allows), of the kind of a set's last item.
std::optional<VmValue> padding_item(const VmValue& like, int64_t i) {
  const int64_t far = 1000000000 + 7 * i;
  switch (like.kind()) {
    case VmKind::Int: return VmValue::integer(far);
    case VmKind::Float: return VmValue::float64(static_cast<double>(far));
    case VmKind::Decimal: return VmValue::decimal(VmDecimal::from_i64(far));
    case VmKind::String: return VmValue::str(std::string("z").append(std::to_string(far)));
    case VmKind::Tuple:
    case VmKind::FrozenSet: {
      // Of the same shape: leaf j of the i-th is the (i * size + j)-th of its kind.
      const auto leaves = like.items();
      std::vector<VmValue> items;
      for (size_t j = 0; j < leaves.size(); ++j) {
        std::optional<VmValue> leaf = padding_item(leaves[j], i * static_cast<int64_t>(leaves.size()) + static_cast<int64_t>(j));
        if (!leaf) return std::nullopt;
        items.push_back(*leaf);
      }
      if (like.is(VmKind::FrozenSet)) return *VmValue::make_sequence(VmKind::FrozenSet, *normalize_set_items(std::move(items)));
      return *VmValue::make_tuple(std::move(items));
    }
    default: return std::nullopt;
  }
}

Outcome same_answer(const VmResult<bool>& a, const VmResult<bool>& b) {
  if (a.ok() != b.ok() || (a.ok() ? *a != *b : a.error().message != b.error().message))
    return vm_error("the padded set answers membership otherwise");
  return outcome();
}

// A run of set method calls, each written as a tuple (name, args...), on
// the set as written and on the same set padded to 300 items (where
// additions and removals are held pending). After each call both give the
// same result and answer membership of its arguments alike; in the end the
// padded set without its padding is the other. Copies taken before the run
// and halfway through keep their items. The outcome is the final set.
Outcome set_edits(const Case& c) {
  VmValue small = c[0];
  const std::string small_before = small.diagnostic_text();
  std::vector<VmValue> padding;
  std::vector<VmValue> padded(small.items().begin(), small.items().end());
  for (int64_t i = 0; padded.size() < 300; ++i) {
    std::optional<VmValue> pad = padding_item(small.items().back(), i);
    if (!pad) return vm_error("no padding for this kind");
    padding.push_back(*pad);
    padded.push_back(*pad);
  }
  VmValue large = *VmValue::make_set(*normalize_set_items(std::move(padded)));
  const VmValue large_before = large;
  const std::string large_before_text = large.diagnostic_text();
  VmValue halfway;
  std::string halfway_text;
  for (size_t k = 1; k < c.size(); ++k) {
    const auto call = c[k].items();
    const std::vector<VmValue> args(call.begin() + 1, call.end());
    // A changing method gets the only reference, as the interpreter hands it.
    const std::string_view name = call[0].text();
    const bool changes = name == "add" || name == "discard" || name == "remove" || name == "pop" || name == "clear";
    auto a = call_native_method(small, name, args, {});
    auto b = call_native_method(changes ? std::move(large) : large, name, args, {});
    if (!a.ok()) {
      if (b.ok() || b.error().message != a.error().message) return vm_error("the padded set fails otherwise");
      return std::move(a).error();
    }
    if (!b.ok() || !a->value.eq(b->value)) return vm_error("the padded set gives another result");
    if (a->is_mutated()) small = a->receiver;
    if (b->is_mutated()) large = b->receiver;
    for (const VmValue& x : args) VELN_CHECK(same_answer(contains_value(small, x), contains_value(large, x)));
    if (k == c.size() / 2) {
      halfway = large;
      halfway_text = halfway.diagnostic_text();
    }
  }
  std::vector<VmValue> rest;
  size_t padding_left = 0;
  for (const VmValue& item : large.items()) {
    const bool pad = std::any_of(padding.begin(), padding.end(), [&](const VmValue& p) { return p.eq(item); });
    if (pad) ++padding_left;
    else rest.push_back(item);
  }
  if (padding_left != padding.size() || VmValue::make_set(rest)->diagnostic_text() != small.diagnostic_text())
    return vm_error("the padded set holds other items");
  if (c[0].diagnostic_text() != small_before || large_before.diagnostic_text() != large_before_text ||
      (halfway.is(VmKind::Set) && halfway.diagnostic_text() != halfway_text))
    return vm_error("a copy changed");
  return outcome(small);
}

TEST(NativeMethods, Cases) {
  run_case_file("support/methods.cases",
                {
                    {"edits", set_edits},
                    {"named", [](const Case& c) { return method_outcome(c[0], c[1].text(), c, 2); }},
                    {"*", [](const Case& c) { return method_outcome(c[0], c.op, c, 1); }},
                });
}

// A set whose additions are pending, given itself as a frozenset: reading
// the argument's items merges the shared buffer, which the search must not
// be reading through the pieces (the sanitizer build would see it).
TEST(NativeMethods, SetGivenItselfAsAnItem) {
  std::vector<VmValue> items;
  for (int64_t i = 0; i < 300; ++i) items.push_back(VmValue::integer(2 * i));
  VmValue s = *VmValue::make_set(items);
  s = *set_with_item(std::move(s), VmValue::integer(1));
  ASSERT_FALSE(s.items_view().contiguous());
  const VmValue itself = s.with_kind(VmKind::FrozenSet);
  const VmValue with = *set_with_item(std::move(s), itself);
  ASSERT_EQ(with.item_count(), 302u);
  EXPECT_TRUE(with.items().back().eq(itself));
  EXPECT_TRUE(with.items()[1].eq(VmValue::integer(1)));
  EXPECT_EQ(itself.item_count(), 301u);
}

// A name is resolved once for every receiver kind; the ids then serve each
// kind, and a kind without the method fails as a call by name does.
TEST(NativeMethods, OneResolvedNameServesEveryReceiverKind) {
  const NativeMethodIds pop = resolve_native_method("pop");
  const auto call = [&](std::string_view receiver, std::vector<VmValue> args) {
    return call_native_method(V(receiver), "pop", pop, args, {});
  };
  EXPECT_TRUE(call("[1, 2]", {})->value.eq(V("2")));
  EXPECT_TRUE(call("{1: 'a'}", {V("1")})->value.eq(V("'a'")));
  EXPECT_TRUE(call("{3}", {})->value.eq(V("3")));
  EXPECT_EQ(call("frozenset({3})", {}).error().message, "unsupported frozenset method 'pop()'");
  EXPECT_EQ(call("'ab'", {}).error().message, "unsupported str method 'pop()'");
  EXPECT_EQ(call("1", {}).error().message, "value of type int has no native method 'pop()'");
  for (uint8_t id : resolve_native_method("no_such_method").ids) EXPECT_EQ(id, kNoNativeMethod);
}

TEST(Containers, Cases) {
  run_case_file("support/containers.cases",
                {
                    {"dict_set",
                     [](const Case& c) -> Outcome {
                       const std::string before = c[0].diagnostic_text();
                       auto r = dict_set(c[0], c[1], c[2]);
                       if (c[0].diagnostic_text() != before) return vm_error("the input dict changed");
                       return outcome(r);
                     }},
                    {"dict_set_deep",
                     [](const Case& c) {
                       VmValue deep = V("[]");
                       while (deep.depth() < kVmMaxDepth) deep = *VmValue::make_list({deep});
                       return outcome(dict_set(c[0], c[1], deep));
                     }},
                    {"iterate", [](const Case& c) { return outcome(iterate_value(c[0])); }},
                    {"sorted",
                     [](const Case& c) {
                       return outcome(sorted_values(std::vector<VmValue>(c[0].items().begin(), c[0].items().end())));
                     }},
                });
}

TEST(Containers, LargeDictBuiltKeyByKeyKeepsItsOrder) {
  VmValue d = V("{}");
  for (int64_t i = 0; i < 5000; ++i) d = *dict_set(std::move(d), VmValue::integer(i), VmValue::integer(i));
  for (int64_t i = 0; i < 5000; i += 7) d = *dict_set(std::move(d), VmValue::integer(i), VmValue::integer(-i));
  ASSERT_EQ(d.dict_size(), 5000u);
  for (int64_t i = 0; i < 5000; ++i) {
    ASSERT_TRUE(d.dict_pairs()[i].key.eq(VmValue::integer(i)));
    ASSERT_TRUE(d.dict_pairs()[i].value.eq(VmValue::integer(i % 7 == 0 ? -i : i)));
  }
}

// The one-kind fast path must give exactly the stable order.
TEST(Containers, SortingOneKindIsStable) {
  std::mt19937_64 rng(7);
  std::vector<VmValue> ints;
  std::vector<int64_t> expected;
  for (int k = 0; k < 2000; ++k) {
    const int64_t v = static_cast<int64_t>(rng() % 200) - 100;
    ints.push_back(VmValue::integer(v));
    expected.push_back(v);
  }
  std::stable_sort(expected.begin(), expected.end());
  const auto sorted = *sorted_values(ints);
  ASSERT_EQ(sorted.size(), expected.size());
  for (size_t k = 0; k < expected.size(); ++k) EXPECT_EQ(sorted[k].small_int(), expected[k]);
}

// A value of gen_string_methods.py's token form: "n" (None), "s:<hex>",
// "i:<int>", "B:<0|1>", "y:<hex>" (bytes), "Y:<hex>" (bytearray), and
// "t<k>:<hex>|..." / "l<k>:<hex>|..." (tuple or list of k strs), "L<k>:<int>|..."
// (list of ints).
VmValue token_value(std::string_view t) {
  if (t == "n") return VmValue::none();
  const char tag = t[0];
  const size_t colon = t.find(':');
  const std::string body(t.substr(colon + 1));
  switch (tag) {
    case 's': return *VmValue::make_str(unhex(body));
    case 'i': return VmValue::integer(mpz_class(body));
    case 'B': return VmValue::boolean(body == "1");
    case 'y': return *VmValue::make_bytes(unhex(body));
    case 'Y': return *VmValue::make_bytearray(unhex(body));
    default: {
      std::vector<VmValue> items;
      for (size_t n = std::stoul(std::string(t.substr(1, colon - 1))), from = 0; n > 0; --n) {
        const size_t bar = std::min(body.find('|', from), body.size());
        const std::string item = body.substr(from, bar - from);
        items.push_back(tag == 'L' ? VmValue::integer(mpz_class(item)) : *VmValue::make_str(unhex(item)));
        from = bar + 1;
      }
      return *VmValue::make_sequence(tag == 't' ? VmKind::Tuple : VmKind::List, std::move(items));
    }
  }
}

// "<method>\t<receiver>\t<args separated by spaces>\t<result>" where the
// result is a token, or "m:<hex>/<token>" for a bytearray changed to <hex>.
TEST(NativeMethods, StringMethodsMatchCPython) {
  size_t checked = 0;
  for (const auto& row : data_rows("string_methods.txt", '\t')) {
    std::vector<VmValue> args;
    std::istringstream parts(row[2]);
    for (std::string a; parts >> a;) args.push_back(token_value(a));
    const auto r = call_native_method(token_value(row[1]), row[0], std::move(args), {});
    ASSERT_TRUE(r.ok()) << row[0] << " " << row[1] << ": " << r.error().message;
    const std::string_view expected = row[3];
    if (expected.starts_with("m:")) {
      const size_t slash = expected.find('/');
      ASSERT_TRUE(r->is_mutated()) << row[0] << " " << row[1];
      EXPECT_TRUE(r->receiver.eq(*VmValue::make_bytearray(unhex(expected.substr(2, slash - 2))))) << row[1];
      EXPECT_TRUE(r->value.eq(token_value(expected.substr(slash + 1)))) << row[0] << " " << row[1];
    } else {
      EXPECT_FALSE(r->is_mutated()) << row[0] << " " << row[1];
      EXPECT_TRUE(r->value.eq(token_value(expected))) << row[0] << " " << row[1] << " " << r->value.diagnostic_text();
    }
    ++checked;
  }
  EXPECT_GT(checked, 10000u);
}

}  // namespace
}  // namespace veln
