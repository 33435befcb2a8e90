#include "interpreter_support/container_methods.hpp"

#include <gtest/gtest.h>

#include <limits>

#include "operator_test_values.hpp"
#include "values/vm_decimal.hpp"
#include "value_builders.hpp"

namespace veln {
namespace {

using namespace value_builders;

using test_values::FrozenSetOf;
using test_values::SetOf;

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
  const VmValue l12 = List({I(1), I(2)});
  const VmValue l1232 = List({I(1), I(2), I(3), I(2)});
  run_cases({
      {"append", l12, "append", {S("x")}, kNone, List({I(1), I(2), S("x")})},
      {"append arity", l12, "append", {}, kNone, std::nullopt, "list.append() expects one argument"},
      {"extend str", l12, "extend", {S("ab")}, kNone, List({I(1), I(2), S("a"), S("b")})},
      {"extend not iterable", l12, "extend", {I(5)}, kNone, std::nullopt, "value of type int is not iterable"},
      {"insert front", l12, "insert", {I(-100), S("x")}, kNone, List({S("x"), I(1), I(2)})},
      {"insert end", l12, "insert", {I(100), S("x")}, kNone, List({I(1), I(2), S("x")})},
      {"insert -1", l12, "insert", {I(-1), S("x")}, kNone, List({I(1), S("x"), I(2)})},
      {"insert bool index", l12, "insert", {B(true), S("x")}, kNone, List({I(1), S("x"), I(2)})},
      {"insert huge", l12, "insert", {VmValue::integer(mpz_class("1" + std::string(40, '0'))), S("x")}, kNone,
       List({I(1), I(2), S("x")})},
      {"insert None", l12, "insert", {kNone, S("x")}, kNone, std::nullopt, "expected int-compatible value, got none"},
      {"insert arity", l12, "insert", {I(1)}, kNone, std::nullopt, "list.insert() expects two arguments"},
      {"remove", l1232, "remove", {I(2)}, kNone, List({I(1), I(3), I(2)})},
      {"remove structural", l12, "remove", {B(true)}, kNone, std::nullopt, "list.remove(x): x not in list"},
      {"remove float", l12, "remove", {F(1.0)}, kNone, std::nullopt, "list.remove(x): x not in list"},
      {"pop last", l12, "pop", {}, I(2), List({I(1)})},
      {"pop -1", l12, "pop", {I(-1)}, I(2), List({I(1)})},
      {"pop 0", l12, "pop", {I(0)}, I(1), List({I(2)})},
      {"pop empty", List({}), "pop", {}, kNone, std::nullopt, "pop from empty list"},
      {"pop index empty", List({}), "pop", {I(0)}, kNone, std::nullopt, "sequence index out of bounds"},
      {"pop arity", l12, "pop", {I(0), I(1)}, kNone, std::nullopt, "list.pop() accepts at most one argument"},
      {"clear", l12, "clear", {}, kNone, List({})},
      {"clear arity", l12, "clear", {I(1)}, kNone, std::nullopt, "list.clear() expects no arguments"},
      {"copy", l12, "copy", {}, l12, std::nullopt},
      {"count value equality", List({I(1), B(true), F(1.0), I(2)}), "count", {I(1)}, I(3), std::nullopt},
      {"count float", l12, "count", {F(1.0)}, I(1), std::nullopt},
      {"count nan fails", List({F(std::numeric_limits<double>::quiet_NaN())}), "count", {I(1)}, kNone, std::nullopt, "cannot compare NaN values"},
      {"index True", l12, "index", {B(true)}, I(0), std::nullopt},
      {"index start -2", l1232, "index", {I(2), I(-2)}, I(3), std::nullopt},
      {"index empty window", l1232, "index", {I(2), I(3), I(1)}, kNone, std::nullopt, "list.index(x): x not in list"},
      {"index missing", l12, "index", {I(5)}, kNone, std::nullopt, "list.index(x): x not in list"},
      {"index four args", l12, "index", {I(1), I(0), I(1), I(2)}, kNone, std::nullopt,
       "list.index() expects between one and three arguments"},
      {"index no args", l12, "index", {}, kNone, std::nullopt, "list.index() expects between one and three arguments"},
      {"index bad start", l12, "index", {I(1), S("a")}, kNone, std::nullopt, "expected int-compatible value, got str"},
      {"sort unknown", l12, "sort", {}, kNone, std::nullopt, "unsupported list method 'sort()'"},
      {"reverse unknown", l12, "reverse", {}, kNone, std::nullopt, "unsupported list method 'reverse()'"},
  });
}

TEST(DictMethods, Table) {
  const VmValue d1 = dict({{I(1), S("one")}});
  const VmValue dab = dict({{S("a"), I(1)}, {S("b"), I(2)}});
  run_cases({
      {"keys", dab, "keys", {}, List({S("a"), S("b")}), std::nullopt},
      {"values", dab, "values", {}, List({I(1), I(2)}), std::nullopt},
      {"items", dict({{S("a"), I(1)}}), "items", {}, List({Tuple({S("a"), I(1)})}), std::nullopt},
      {"empty keys", dict({}), "keys", {}, List({}), std::nullopt},
      {"empty items", dict({}), "items", {}, List({}), std::nullopt},
      {"keys arity", dab, "keys", {I(1)}, kNone, std::nullopt, "dict.keys() expects no arguments"},
      {"get int", d1, "get", {I(1)}, S("one"), std::nullopt},
      {"get float", d1, "get", {F(1.0)}, kNone, std::nullopt},
      {"get bool", d1, "get", {B(true)}, kNone, std::nullopt},
      {"get default", d1, "get", {I(2), S("d")}, S("d"), std::nullopt},
      {"get arity", d1, "get", {}, kNone, std::nullopt, "dict.get() expects one or two arguments"},
      {"pop hit", dab, "pop", {S("a")}, I(1), dict({{S("b"), I(2)}})},
      {"pop default is mutating", d1, "pop", {I(2), I(0)}, I(0), d1},
      {"pop missing str", d1, "pop", {S("k")}, kNone, std::nullopt, "missing dict key k"},
      {"pop missing tuple", d1, "pop", {Tuple({S("a")})}, kNone, std::nullopt, "missing dict key (a,)"},
      {"clear", dab, "clear", {}, kNone, dict({})},
      {"copy", dab, "copy", {}, dab, std::nullopt},
      {"update unknown", dab, "update", {}, kNone, std::nullopt, "unsupported dict method 'update()'"},
      {"setdefault unknown", dab, "setdefault", {I(1)}, kNone, std::nullopt,
       "unsupported dict method 'setdefault()'"},
  });
}

TEST(SetMethods, Table) {
  const VmValue s123 = SetOf({I(3), I(1), I(2)});
  const VmValue fs12 = FrozenSetOf({I(1), I(2)});
  run_cases({
      {"add present", s123, "add", {I(2)}, kNone, s123},
      {"add new", SetOf({I(1)}), "add", {I(0)}, kNone, SetOf({I(0), I(1)})},
      {"add True replaces 1", SetOf({I(1)}), "add", {B(true)}, kNone, *VmValue::make_set({B(true)})},
      {"add list", s123, "add", {List({})}, kNone, std::nullopt, "unhashable type: 'list'"},
      {"discard list", s123, "discard", {List({})}, kNone, s123},
      {"discard value-equal", s123, "discard", {F(2.0)}, kNone, SetOf({I(1), I(3)})},
      {"remove missing", s123, "remove", {S("a")}, kNone, std::nullopt, "a"},
      {"remove hit", s123, "remove", {I(1)}, kNone, SetOf({I(2), I(3)})},
      {"pop smallest", s123, "pop", {}, I(1), SetOf({I(2), I(3)})},
      {"pop empty", SetOf({}), "pop", {}, kNone, std::nullopt, "pop from an empty set"},
      {"clear", s123, "clear", {}, kNone, SetOf({})},
      {"copy", s123, "copy", {}, s123, std::nullopt},
      {"union none", s123, "union", {}, s123, std::nullopt},
      {"union frozen list", fs12, "union", {List({I(5), I(1)})}, FrozenSetOf({I(1), I(2), I(5)}), std::nullopt},
      {"union two", SetOf({I(1)}), "union", {List({I(2)}), S("ab")}, SetOf({I(1), I(2), S("a"), S("b")}),
       std::nullopt},
      {"difference two", s123, "difference", {List({I(1)}), List({I(3)})}, SetOf({I(2)}), std::nullopt},
      {"intersection", s123, "intersection", {List({I(2), I(3), I(9)})}, SetOf({I(2), I(3)}), std::nullopt},
      {"intersection bad arg", s123, "intersection", {I(1)}, kNone, std::nullopt, "value of type int is not iterable"},
      {"symmetric difference", s123, "symmetric_difference", {List({I(3), I(4)})}, SetOf({I(1), I(2), I(4)}),
       std::nullopt},
      {"issubset empty", SetOf({}), "issubset", {List({})}, B(true), std::nullopt},
      {"issubset", SetOf({I(1)}), "issubset", {s123}, B(true), std::nullopt},
      {"issuperset", s123, "issuperset", {List({I(1), I(3)})}, B(true), std::nullopt},
      {"isdisjoint empty", s123, "isdisjoint", {List({})}, B(true), std::nullopt},
      {"isdisjoint false", s123, "isdisjoint", {List({F(3.0)})}, B(false), std::nullopt},
      {"set arity", s123, "issubset", {}, kNone, std::nullopt, "set.issubset() expects one argument"},
      {"frozen arity", fs12, "isdisjoint", {}, kNone, std::nullopt, "frozenset.isdisjoint() expects one argument"},
      {"frozen add unknown", fs12, "add", {I(1)}, kNone, std::nullopt, "unsupported frozenset method 'add()'"},
      {"frozen pop unknown", fs12, "pop", {}, kNone, std::nullopt, "unsupported frozenset method 'pop()'"},
      {"update unknown", s123, "update", {}, kNone, std::nullopt, "unsupported set method 'update()'"},
  });
}

TEST(ListMethods, GrowthRespectsTheSizeLimit) {
  VmValue big = *VmValue::make_str(std::string(3'000'000, 'x'));
  VmValue xs = List({big});
  auto r = call_list_method(xs, "append", {big});
  ASSERT_FALSE(r.ok());
  EXPECT_EQ(r.error().message, "value exceeds the maximum allowed allocation size");
  auto e = call_list_method(xs, "extend", {List({big})});
  ASSERT_FALSE(e.ok());
  EXPECT_EQ(e.error().message, "value exceeds the maximum allowed allocation size");
}

TEST(DictEntries, StructuralKeys) {
  VmValue d = dict({{I(1), S("int")}, {F(1.0), S("float")}, {B(true), S("bool")}});
  EXPECT_EQ(dict_get(d, F(1.0))->python_repr(), "float");
  EXPECT_EQ(dict_get(d, B(true))->python_repr(), "bool");
  EXPECT_FALSE(dict_get(d, I(2)).has_value());
  auto popped = dict_pop(d, F(1.0));
  ASSERT_TRUE(popped.has_value());
  EXPECT_EQ(popped->python_repr(), "float");
  EXPECT_EQ(d.python_repr(), "{1: int, True: bool}");
}

}  // namespace
}  // namespace veln
