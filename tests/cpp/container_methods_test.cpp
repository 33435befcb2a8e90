#include "interpreter_support/container_methods.hpp"

#include <gtest/gtest.h>

#include <limits>

#include "interpreter_support/set_algebra.hpp"
#include "values/vm_decimal.hpp"

namespace veln {
namespace {

VmValue i(int64_t v) { return VmValue::integer(v); }
VmValue s(std::string_view v) { return VmValue::str(v); }
VmValue t(bool v) { return VmValue::boolean(v); }
VmValue f(double v) { return VmValue::float64(v); }
VmValue list(std::vector<VmValue> items) { return *VmValue::make_list(std::move(items)); }
VmValue tuple(std::vector<VmValue> items) { return *VmValue::make_tuple(std::move(items)); }
VmValue set(std::vector<VmValue> items) { return *VmValue::make_set(*normalize_set_items(std::move(items))); }
VmValue frozenset(std::vector<VmValue> items) {
  return *VmValue::make_frozenset(*normalize_set_items(std::move(items)));
}
VmValue dict(std::vector<std::pair<VmValue, VmValue>> pairs) {
  std::vector<VmDictPair> out;
  for (auto& [k, v] : pairs) out.push_back(VmDictPair{k, v});
  return *VmValue::make_dict(std::move(out));
}

struct MethodCase {
  const char* name;
  VmValue receiver;
  const char* method;
  std::vector<VmValue> args;
  // Expected result value, and the receiver after the call when mutated.
  VmValue result;
  std::optional<VmValue> changed;
  const char* error = nullptr;
};

VmResult<NativeMethodOutcome> call(const VmValue& receiver, std::string_view method, std::vector<VmValue> args) {
  switch (receiver.kind()) {
    case VmKind::List: return call_list_method(receiver, method, std::move(args));
    case VmKind::Dict: return call_dict_method(receiver, method, std::move(args));
    default: return call_set_method(receiver, method, std::move(args));
  }
}

void run_cases(const std::vector<MethodCase>& cases) {
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const VmValue before = c.receiver;
    const std::string before_text = before.diagnostic_text();
    auto r = call(c.receiver, c.method, c.args);
    // The caller's receiver is never changed in place.
    EXPECT_EQ(c.receiver.diagnostic_text(), before_text);
    if (c.error != nullptr) {
      ASSERT_FALSE(r.ok()) << r->value.diagnostic_text();
      EXPECT_EQ(r.error().message, c.error);
      continue;
    }
    ASSERT_TRUE(r.ok()) << r.error().message;
    EXPECT_EQ(r->value.diagnostic_text(), c.result.diagnostic_text());
    EXPECT_EQ(r->is_mutated(), c.changed.has_value());
    if (c.changed && r->is_mutated()) {
      EXPECT_EQ(r->receiver.diagnostic_text(), c.changed->diagnostic_text());
    }
  }
}

const VmValue kNone = VmValue::none();

TEST(ListMethods, Table) {
  const VmValue l12 = list({i(1), i(2)});
  const VmValue l1232 = list({i(1), i(2), i(3), i(2)});
  run_cases({
      {"append", l12, "append", {s("x")}, kNone, list({i(1), i(2), s("x")})},
      {"append arity", l12, "append", {}, kNone, std::nullopt, "list.append() expects one argument"},
      {"extend str", l12, "extend", {s("ab")}, kNone, list({i(1), i(2), s("a"), s("b")})},
      {"extend not iterable", l12, "extend", {i(5)}, kNone, std::nullopt, "value of type int is not iterable"},
      {"insert front", l12, "insert", {i(-100), s("x")}, kNone, list({s("x"), i(1), i(2)})},
      {"insert end", l12, "insert", {i(100), s("x")}, kNone, list({i(1), i(2), s("x")})},
      {"insert -1", l12, "insert", {i(-1), s("x")}, kNone, list({i(1), s("x"), i(2)})},
      {"insert bool index", l12, "insert", {t(true), s("x")}, kNone, list({i(1), s("x"), i(2)})},
      {"insert huge", l12, "insert", {VmValue::integer(mpz_class("1" + std::string(40, '0'))), s("x")}, kNone,
       list({i(1), i(2), s("x")})},
      {"insert None", l12, "insert", {kNone, s("x")}, kNone, std::nullopt, "expected int-compatible value, got none"},
      {"insert arity", l12, "insert", {i(1)}, kNone, std::nullopt, "list.insert() expects two arguments"},
      {"remove", l1232, "remove", {i(2)}, kNone, list({i(1), i(3), i(2)})},
      {"remove structural", l12, "remove", {t(true)}, kNone, std::nullopt, "list.remove(x): x not in list"},
      {"remove float", l12, "remove", {f(1.0)}, kNone, std::nullopt, "list.remove(x): x not in list"},
      {"pop last", l12, "pop", {}, i(2), list({i(1)})},
      {"pop -1", l12, "pop", {i(-1)}, i(2), list({i(1)})},
      {"pop 0", l12, "pop", {i(0)}, i(1), list({i(2)})},
      {"pop empty", list({}), "pop", {}, kNone, std::nullopt, "pop from empty list"},
      {"pop index empty", list({}), "pop", {i(0)}, kNone, std::nullopt, "sequence index out of bounds"},
      {"pop arity", l12, "pop", {i(0), i(1)}, kNone, std::nullopt, "list.pop() accepts at most one argument"},
      {"clear", l12, "clear", {}, kNone, list({})},
      {"clear arity", l12, "clear", {i(1)}, kNone, std::nullopt, "list.clear() expects no arguments"},
      {"copy", l12, "copy", {}, l12, std::nullopt},
      {"count value equality", list({i(1), t(true), f(1.0), i(2)}), "count", {i(1)}, i(3), std::nullopt},
      {"count float", l12, "count", {f(1.0)}, i(1), std::nullopt},
      {"count nan fails", list({f(std::numeric_limits<double>::quiet_NaN())}), "count", {i(1)}, kNone, std::nullopt, "cannot compare NaN values"},
      {"index True", l12, "index", {t(true)}, i(0), std::nullopt},
      {"index start -2", l1232, "index", {i(2), i(-2)}, i(3), std::nullopt},
      {"index empty window", l1232, "index", {i(2), i(3), i(1)}, kNone, std::nullopt, "list.index(x): x not in list"},
      {"index missing", l12, "index", {i(5)}, kNone, std::nullopt, "list.index(x): x not in list"},
      {"index four args", l12, "index", {i(1), i(0), i(1), i(2)}, kNone, std::nullopt,
       "list.index() expects between one and three arguments"},
      {"index no args", l12, "index", {}, kNone, std::nullopt, "list.index() expects between one and three arguments"},
      {"index bad start", l12, "index", {i(1), s("a")}, kNone, std::nullopt, "expected int-compatible value, got str"},
      {"sort unknown", l12, "sort", {}, kNone, std::nullopt, "unsupported list method 'sort()'"},
      {"reverse unknown", l12, "reverse", {}, kNone, std::nullopt, "unsupported list method 'reverse()'"},
  });
}

TEST(DictMethods, Table) {
  const VmValue d1 = dict({{i(1), s("one")}});
  const VmValue dab = dict({{s("a"), i(1)}, {s("b"), i(2)}});
  run_cases({
      {"keys", dab, "keys", {}, list({s("a"), s("b")}), std::nullopt},
      {"values", dab, "values", {}, list({i(1), i(2)}), std::nullopt},
      {"items", dict({{s("a"), i(1)}}), "items", {}, list({tuple({s("a"), i(1)})}), std::nullopt},
      {"empty keys", dict({}), "keys", {}, list({}), std::nullopt},
      {"empty items", dict({}), "items", {}, list({}), std::nullopt},
      {"keys arity", dab, "keys", {i(1)}, kNone, std::nullopt, "dict.keys() expects no arguments"},
      {"get int", d1, "get", {i(1)}, s("one"), std::nullopt},
      {"get float", d1, "get", {f(1.0)}, kNone, std::nullopt},
      {"get bool", d1, "get", {t(true)}, kNone, std::nullopt},
      {"get default", d1, "get", {i(2), s("d")}, s("d"), std::nullopt},
      {"get arity", d1, "get", {}, kNone, std::nullopt, "dict.get() expects one or two arguments"},
      {"pop hit", dab, "pop", {s("a")}, i(1), dict({{s("b"), i(2)}})},
      {"pop default is mutating", d1, "pop", {i(2), i(0)}, i(0), d1},
      {"pop missing str", d1, "pop", {s("k")}, kNone, std::nullopt, "missing dict key k"},
      {"pop missing tuple", d1, "pop", {tuple({s("a")})}, kNone, std::nullopt, "missing dict key (a,)"},
      {"clear", dab, "clear", {}, kNone, dict({})},
      {"copy", dab, "copy", {}, dab, std::nullopt},
      {"update unknown", dab, "update", {}, kNone, std::nullopt, "unsupported dict method 'update()'"},
      {"setdefault unknown", dab, "setdefault", {i(1)}, kNone, std::nullopt,
       "unsupported dict method 'setdefault()'"},
  });
}

TEST(SetMethods, Table) {
  const VmValue s123 = set({i(3), i(1), i(2)});
  const VmValue fs12 = frozenset({i(1), i(2)});
  run_cases({
      {"add present", s123, "add", {i(2)}, kNone, s123},
      {"add new", set({i(1)}), "add", {i(0)}, kNone, set({i(0), i(1)})},
      {"add True replaces 1", set({i(1)}), "add", {t(true)}, kNone, *VmValue::make_set({t(true)})},
      {"add list", s123, "add", {list({})}, kNone, std::nullopt, "unhashable type: 'list'"},
      {"discard list", s123, "discard", {list({})}, kNone, s123},
      {"discard value-equal", s123, "discard", {f(2.0)}, kNone, set({i(1), i(3)})},
      {"remove missing", s123, "remove", {s("a")}, kNone, std::nullopt, "a"},
      {"remove hit", s123, "remove", {i(1)}, kNone, set({i(2), i(3)})},
      {"pop smallest", s123, "pop", {}, i(1), set({i(2), i(3)})},
      {"pop empty", set({}), "pop", {}, kNone, std::nullopt, "pop from an empty set"},
      {"clear", s123, "clear", {}, kNone, set({})},
      {"copy", s123, "copy", {}, s123, std::nullopt},
      {"union none", s123, "union", {}, s123, std::nullopt},
      {"union frozen list", fs12, "union", {list({i(5), i(1)})}, frozenset({i(1), i(2), i(5)}), std::nullopt},
      {"union two", set({i(1)}), "union", {list({i(2)}), s("ab")}, set({i(1), i(2), s("a"), s("b")}),
       std::nullopt},
      {"difference two", s123, "difference", {list({i(1)}), list({i(3)})}, set({i(2)}), std::nullopt},
      {"intersection", s123, "intersection", {list({i(2), i(3), i(9)})}, set({i(2), i(3)}), std::nullopt},
      {"intersection bad arg", s123, "intersection", {i(1)}, kNone, std::nullopt, "value of type int is not iterable"},
      {"symmetric difference", s123, "symmetric_difference", {list({i(3), i(4)})}, set({i(1), i(2), i(4)}),
       std::nullopt},
      {"issubset empty", set({}), "issubset", {list({})}, t(true), std::nullopt},
      {"issubset", set({i(1)}), "issubset", {s123}, t(true), std::nullopt},
      {"issuperset", s123, "issuperset", {list({i(1), i(3)})}, t(true), std::nullopt},
      {"isdisjoint empty", s123, "isdisjoint", {list({})}, t(true), std::nullopt},
      {"isdisjoint false", s123, "isdisjoint", {list({f(3.0)})}, t(false), std::nullopt},
      {"set arity", s123, "issubset", {}, kNone, std::nullopt, "set.issubset() expects one argument"},
      {"frozen arity", fs12, "isdisjoint", {}, kNone, std::nullopt, "frozenset.isdisjoint() expects one argument"},
      {"frozen add unknown", fs12, "add", {i(1)}, kNone, std::nullopt, "unsupported frozenset method 'add()'"},
      {"frozen pop unknown", fs12, "pop", {}, kNone, std::nullopt, "unsupported frozenset method 'pop()'"},
      {"update unknown", s123, "update", {}, kNone, std::nullopt, "unsupported set method 'update()'"},
  });
}

TEST(ListMethods, GrowthRespectsTheSizeLimit) {
  VmValue big = *VmValue::make_str(std::string(3'000'000, 'x'));
  VmValue xs = list({big});
  auto r = call_list_method(xs, "append", {big});
  ASSERT_FALSE(r.ok());
  EXPECT_EQ(r.error().message, "value exceeds the maximum allowed allocation size");
  auto e = call_list_method(xs, "extend", {list({big})});
  ASSERT_FALSE(e.ok());
  EXPECT_EQ(e.error().message, "value exceeds the maximum allowed allocation size");
}

TEST(DictEntries, StructuralKeys) {
  VmValue d = dict({{i(1), s("int")}, {f(1.0), s("float")}, {t(true), s("bool")}});
  EXPECT_EQ(dict_get(d, f(1.0))->python_repr(), "float");
  EXPECT_EQ(dict_get(d, t(true))->python_repr(), "bool");
  EXPECT_FALSE(dict_get(d, i(2)).has_value());
  auto popped = dict_pop(d, f(1.0));
  ASSERT_TRUE(popped.has_value());
  EXPECT_EQ(popped->python_repr(), "float");
  EXPECT_EQ(d.python_repr(), "{1: int, True: bool}");
}

}  // namespace
}  // namespace veln
