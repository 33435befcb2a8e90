// Native methods and container helpers: the cases of support/methods.cases
// and containers.cases, CPython's results for the str, bytes and bytearray
// methods (tests/gen/gen_string_methods.py), and the orders of sorting and of
// a large dict built key by key.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <sstream>

#include "case_file.hpp"
#include "interpreter_support/dict_ops.hpp"
#include "interpreter_support/native_method_table.hpp"
#include "interpreter_support/native_methods.hpp"
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

TEST(NativeMethods, Cases) {
  run_case_file("support/methods.cases",
                {
                    {"named", [](const Case& c) { return method_outcome(c[0], c[1].text(), c, 2); }},
                    {"*", [](const Case& c) { return method_outcome(c[0], c.op, c, 1); }},
                });
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
