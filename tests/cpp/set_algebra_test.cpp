// Set keys, canonical set form and set algebra. The sorted paths for one
// kind of item are checked against a plain transcription of the scans
// (which comparisons run, which item survives, which error comes first) on
// many generated inputs, and the float order against CPython-derived data.
#include "interpreter_support/set_algebra.hpp"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <fstream>
#include <limits>
#include <random>
#include <sstream>
#include <string>

#include "interpreter_support/set_keys.hpp"
#include "interpreter_support/value_equality.hpp"
#include "values/vm_datetime.hpp"
#include "set_scan_reference.hpp"
#include "value_builders.hpp"
#include "values/vm_decimal.hpp"

namespace veln {
namespace {

using namespace value_builders;
using namespace set_scan_reference;

const double kNan = std::numeric_limits<double>::quiet_NaN();

// Identity of results at any depth: the field-by-field form tells -0.0
// from 0.0 and shows NaN as itself (structural equality would not).
bool same(const VmValue& a, const VmValue& b) { return a.diagnostic_text() == b.diagnostic_text(); }

std::string show(const std::vector<VmValue>& items) {
  std::string out = "[";
  for (size_t i = 0; i < items.size(); ++i) {
    if (i) out += ", ";
    out += items[i].type_name();
    out += ":";
    out += items[i].python_repr();
  }
  return out + "]";
}
std::string show(const VmResult<std::vector<VmValue>>& r) {
  return r.ok() ? show(*r) : "error: " + r.error().message;
}
std::string show(const VmResult<bool>& r) { return r.ok() ? (*r ? "true" : "false") : "error: " + r.error().message; }

void expect_same(const VmResult<std::vector<VmValue>>& got, const VmResult<std::vector<VmValue>>& want,
                 const std::string& context) {
  ASSERT_EQ(got.ok(), want.ok()) << context << "\n got " << show(got) << "\nwant " << show(want);
  if (!got.ok()) {
    ASSERT_EQ(got.error().message, want.error().message) << context;
    return;
  }
  ASSERT_EQ(got->size(), want->size()) << context << "\n got " << show(got) << "\nwant " << show(want);
  for (size_t i = 0; i < got->size(); ++i)
    ASSERT_TRUE(same((*got)[i], (*want)[i])) << context << " at " << i << "\n got " << show(got) << "\nwant "
                                            << show(want);
}

void expect_same(const VmResult<bool>& got, const VmResult<bool>& want, const std::string& context) {
  ASSERT_EQ(show(got), show(want)) << context;
}

// --- tables --------------------------------------------------------------

struct NormalizeCase {
  const char* name;
  std::vector<VmValue> input;
  std::string expected;
};

TEST(NormalizeSetItems, Table) {
  const NormalizeCase cases[] = {
      {"ints", {I(3), I(1), I(2)}, "[int:1, int:2, int:3]"},
      {"floats by text", {F(10.0), F(9.0), F(-1.0), F(0.5)}, "[float:-1.0, float:0.5, float:10.0, float:9.0]"},
      {"float texts", {F(2.0), F(1e16), F(-2.0), F(-1.0), F(9.0)},
       "[float:-1.0, float:-2.0, float:1e16, float:2.0, float:9.0]"},
      {"decimals numeric", {D("-1"), D("2"), D("0.5")}, "[decimal:-1, decimal:0.5, decimal:2]"},
      {"mixed variant order", {I(2), S("a"), VmValue::none(), F(1.5), Tuple({I(1)}), Bytes("x"), B(true)},
       "[none:None, bool:True, int:2, float:1.5, str:a, bytes:b'x', tuple:(1,)]"},
      {"1, True", {I(1), B(true)}, "[bool:True]"},
      {"True, 1", {B(true), I(1)}, "[bool:True]"},
      {"1, 1.0", {I(1), F(1.0)}, "[int:1]"},
      {"1.0, 1", {F(1.0), I(1)}, "[int:1]"},
      {"1.0, decimal 1", {F(1.0), D("1")}, "[decimal:1]"},
      {"0.0, -0.0", {F(0.0), F(-0.0)}, "[float:-0.0]"},
      {"-0.0, 0.0", {F(-0.0), F(0.0)}, "[float:-0.0]"},
      {"1.0, 1, True", {F(1.0), I(1), B(true)}, "[bool:True]"},
      {"list item", {I(1), List({})}, "error: unhashable type: 'list'"},
      {"tuple with bytearray", {Tuple({I(1), ByteArray("x")})}, "error: unhashable type: 'bytearray'"},
      {"tuple with list in tuple", {Tuple({Tuple({List({})})})}, "error: unhashable type: 'list'"},
      {"set of sets", {Set({})}, "error: unhashable type: 'set'"},
      {"frozenset item", {FrozenSet({I(1)}), FrozenSet({})}, "[frozenset:frozenset(), frozenset:frozenset({1})]"},
      {"single NaN", {F(kNan)}, "[float:NaN]"},
      {"NaN, 1", {F(kNan), I(1)}, "error: cannot compare NaN values"},
      {"1, NaN", {I(1), F(kNan)}, "error: cannot compare NaN values"},
      {"NaN, NaN", {F(kNan), F(kNan)}, "error: cannot compare NaN values"},
      {"1.0, NaN", {F(1.0), F(kNan)}, "error: cannot compare NaN values"},
      {"NaN, a", {F(kNan), S("a")}, "[float:NaN, str:a]"},
      // The first failing scan decides, whichever kinds it involves.
      {"NaN, (1,), (NaN,), 1.0", {F(kNan), Tuple({D("1")}), Tuple({F(kNan)}), F(1.0)},
       "error: invalid decimal literal 'NaN'"},
      {"NaN, (1,), 1.0, (NaN,)", {F(kNan), Tuple({D("1")}), F(1.0), Tuple({F(kNan)})},
       "error: cannot compare NaN values"},
      {"a, 1, b, list", {S("a"), I(1), S("b"), List({})}, "error: unhashable type: 'list'"},
      {"a, 1, b, None, a, 1.0", {S("a"), I(1), S("b"), VmValue::none(), S("a"), F(1.0)},
       "[none:None, int:1, str:a, str:b]"},
      {"unhashable before NaN", {F(kNan), F(1.0), List({})}, "error: cannot compare NaN values"},
      {"NaN after unhashable", {List({}), F(kNan), F(1.0)}, "error: unhashable type: 'list'"},
      {"tuples", {Tuple({I(1), I(3)}), Tuple({I(1), I(2), I(0)}), Tuple({I(1), I(2)}), Tuple({})},
       "[tuple:(), tuple:(1, 2), tuple:(1, 2, 0), tuple:(1, 3)]"},
      {"strs bytewise", {S("a\xcc\x88"), S("a"), S("B")}, "[str:B, str:a, str:a\xcc\x88]"},
      {"datetimes", {Dt(2024, 1, 2), Dt(2023, 5, 1, 12), Dt(2024, 1, 1, 23, 59, 59, 999999)},
       "[datetime:2023-05-01 12:00:00, datetime:2024-01-01 23:59:59.999999, datetime:2024-01-02 00:00:00]"},
      {"timedeltas", {Td(5), Td(-7), Td(0), Td(5)}, "[timedelta:-0:00:07, timedelta:0:00:00, timedelta:0:00:05]"},
      {"bools", {B(true), B(false), B(true)}, "[bool:False, bool:True]"},
      {"nones", {VmValue::none(), VmValue::none()}, "[none:None]"},
      {"bytes", {Bytes("b"), Bytes("a"), Bytes("ab"), Bytes("a")}, "[bytes:b'a', bytes:b'ab', bytes:b'b']"},
      {"bytearray items", {ByteArray("a"), ByteArray("b")}, "error: unhashable type: 'bytearray'"},
      {"big ints", {Ibig("-100000000000000000000000"), I(0), Ibig("100000000000000000000000"), I(0)},
       "[int:-100000000000000000000000, int:0, int:100000000000000000000000]"},
      // Value equality is not transitive here; the first-equal rule decides.
      {"2^53+1, 2.0^53, decimal 2^53+1", {Ibig("9007199254740993"), F(9007199254740992.0), D("9007199254740993")},
       "[int:9007199254740993]"},
      {"2.0^53, decimal 2^53+1, 2^53+1", {F(9007199254740992.0), D("9007199254740993"), Ibig("9007199254740993")},
       "[int:9007199254740993, decimal:9007199254740993]"},
      {"empty", {}, "[]"},
  };
  for (const NormalizeCase& c : cases) {
    EXPECT_EQ(show(normalize_set_items(c.input)), c.expected) << c.name;
    expect_same(normalize_set_items(c.input), reference_normalize(c.input), c.name);
  }
}

TEST(SetKeys, OrderAndHashability) {
  EXPECT_EQ(vm_set_key_compare(Tuple({}), Tuple({I(1), I(2)})), VmOrdering::Less);
  EXPECT_EQ(vm_set_key_compare(Tuple({I(1), I(2)}), Tuple({I(1), I(2), I(0)})), VmOrdering::Less);
  EXPECT_EQ(vm_set_key_compare(Tuple({I(1), I(2), I(0)}), Tuple({I(1), I(3)})), VmOrdering::Less);
  EXPECT_EQ(vm_set_key_compare(S("B"), S("a")), VmOrdering::Less);
  EXPECT_EQ(vm_set_key_compare(F(-0.0), F(0.0)), VmOrdering::Less);
  EXPECT_EQ(vm_set_key_compare(F(kNan), F(kNan)), VmOrdering::Equal);
  EXPECT_EQ(vm_set_key_compare(F(1e16), F(2.0)), VmOrdering::Less);
  EXPECT_EQ(vm_set_key_compare(D("100"), F(0.0)), VmOrdering::Less);
  // Keys stop at the microsecond.
  EXPECT_EQ(vm_set_key_compare(DtNanos(0, 0, 1000), DtNanos(0, 0, 1999)), VmOrdering::Equal);
  EXPECT_EQ(vm_set_key_compare(DtNanos(0, 0, 999), DtNanos(0, 0, 1000)), VmOrdering::Less);
  EXPECT_EQ(vm_set_key_compare(FrozenSet({I(1)}), Tuple({I(2)})), VmOrdering::Greater);
  EXPECT_EQ(vm_float_key_text(-0.0), "-0.0");
  EXPECT_EQ(vm_float_key_text(1e-5), "1e-5");
  const auto key = vm_set_key(Tuple({I(1), S("x")}));
  ASSERT_TRUE(key.ok());
  EXPECT_EQ(key->variant(), VmSetKeyVariant::Tuple);
  const VmKind unhashable[] = {VmKind::ByteArray, VmKind::Set, VmKind::List, VmKind::Dict, VmKind::ContractHandle,
                               VmKind::StorageRef, VmKind::ForeignStorageRef, VmKind::EventRef, VmKind::Builtin,
                               VmKind::FunctionRef, VmKind::TypeMarker, VmKind::Exception};
  for (VmKind k : unhashable) EXPECT_FALSE(vm_set_key_variant(k).has_value()) << vm_kind_type_name(k);
  EXPECT_EQ(vm_set_key(VmValue::builtin("len")).error().message, "unhashable type: 'builtin'");
  EXPECT_EQ(vm_check_hashable(FrozenSet({Tuple({I(1), FrozenSet({})})})).ok(), true);
}

TEST(NormalizeSetItems, DateTimesBelowTheMicrosecond) {
  // Same microsecond key, different values: both stay, in arrival order.
  const VmValue a = DtNanos(10, 5, 1500);
  const VmValue b = DtNanos(10, 5, 1200);
  const VmValue c = DtNanos(10, 5, 999);
  const std::vector<VmValue> input = {a, b, a, c, b};
  const auto got = normalize_set_items(input);
  ASSERT_TRUE(got.ok());
  ASSERT_EQ(got->size(), 3u);
  EXPECT_TRUE((*got)[0].eq(c));
  EXPECT_TRUE((*got)[1].eq(a));
  EXPECT_TRUE((*got)[2].eq(b));
  expect_same(got, reference_normalize(input), "datetimes");
}

struct AlgebraCase {
  const char* name;
  std::vector<VmValue> a;
  std::vector<VmValue> b;
  std::string expected;
};

TEST(SetAlgebra, Table) {
  EXPECT_EQ(show(set_is_subset({}, {})), "true");
  EXPECT_EQ(show(set_is_subset(std::vector{I(1)}, {})), "false");
  EXPECT_EQ(show(set_is_subset(std::vector{F(1.0)}, std::vector{I(1)})), "true");
  EXPECT_EQ(show(set_is_subset(std::vector{F(kNan)}, std::vector{I(1)})), "error: cannot compare NaN values");
  EXPECT_EQ(show(set_is_subset(std::vector{I(2), F(kNan)}, std::vector{I(1)})), "false");

  const std::vector<VmValue> one_two = {I(1), I(2)};
  EXPECT_EQ(show(normalize_set_items(*set_union_values(one_two, std::vector{F(2.0)}))), "[int:1, int:2]");
  EXPECT_EQ(show(normalize_set_items(*set_union_values(std::vector{F(1.0)}, std::vector{I(1)}))), "[int:1]");
  EXPECT_EQ(show(set_union_values(one_two, std::vector{F(2.0)})), "[int:1, int:2, float:2.0]");

  const AlgebraCase intersections[] = {
      {"[1.0] & [1]", {F(1.0)}, {I(1)}, "[float:1.0]"},
      {"[1] & [1.0]", {I(1)}, {F(1.0)}, "[int:1]"},
      {"empty b", {I(1)}, {}, "[]"},
      {"NaN", {I(1)}, {F(kNan)}, "error: cannot compare NaN values"},
  };
  for (const auto& c : intersections) EXPECT_EQ(show(set_intersection_values(c.a, c.b)), c.expected) << c.name;
  const AlgebraCase differences[] = {
      {"[1,2,3] - [2.0]", {I(1), I(2), I(3)}, {F(2.0)}, "[int:1, int:3]"},
      {"b empty keeps NaN", {F(kNan)}, {}, "[float:NaN]"},
      {"a empty", {}, {F(kNan)}, "[]"},
      {"NaN in b", {I(1)}, {F(kNan)}, "error: cannot compare NaN values"},
      {"match before NaN", {I(1)}, {I(1), F(kNan)}, "[]"},
  };
  for (const auto& c : differences) EXPECT_EQ(show(set_difference_values(c.a, c.b)), c.expected) << c.name;
  EXPECT_EQ(show(set_symmetric_difference_values(one_two, std::vector{F(2.0), I(3)})), "[int:1, int:3]");
  EXPECT_EQ(show(set_symmetric_difference_values({}, std::vector{F(kNan)})), "[float:NaN]");
}

// Long enough for the sorted probe: the scan's NaN error depends on where
// the NaN stands relative to the first match.
TEST(SetAlgebra, NanPositionInLongOperands) {
  std::vector<VmValue> a;
  std::vector<VmValue> b;
  for (int i = 0; i < 12; ++i) {
    a.push_back(F(i));
    b.push_back(F(i));
  }
  std::vector<VmValue> nan_last = b;
  nan_last.push_back(F(kNan));
  std::vector<VmValue> nan_first = b;
  nan_first.insert(nan_first.begin(), F(kNan));
  std::vector<VmValue> nan_middle = b;
  nan_middle.insert(nan_middle.begin() + 6, F(kNan));
  EXPECT_EQ(show(set_difference_values(a, nan_last)), "[]");
  EXPECT_EQ(show(set_difference_values(a, nan_first)), "error: cannot compare NaN values");
  EXPECT_EQ(show(set_difference_values(a, nan_middle)), "error: cannot compare NaN values");
  EXPECT_EQ(show(set_is_subset(a, nan_last)), "true");
  std::vector<VmValue> a_missing = a;
  a_missing[0] = F(100.0);
  EXPECT_EQ(show(set_is_subset(a_missing, nan_last)), "error: cannot compare NaN values");
  EXPECT_EQ(show(set_intersection_values(a, nan_last)), show(std::vector<VmValue>(a)));
  expect_same(set_intersection_values(a, nan_middle), reference_intersection(a, nan_middle), "middle");
  // -0.0 in a finds 0.0 in b.
  std::vector<VmValue> zeros = a;
  zeros[0] = F(-0.0);
  EXPECT_EQ(show(set_difference_values(zeros, b)), "[]");
}

// The size limit holds for the set that is built, after normalisation.
TEST(SetAlgebra, SizeLimit) {
  const std::vector<VmValue> a = {*VmValue::make_str(std::string(2500000, 'a'))};
  const std::vector<VmValue> b = {*VmValue::make_str(std::string(2500000, 'b'))};
  auto same_twice = normalize_set_items(*set_union_values(a, a));
  ASSERT_TRUE(same_twice.ok());
  EXPECT_TRUE(VmValue::make_set(std::move(same_twice).value()).ok());
  auto both = normalize_set_items(*set_union_values(a, b));
  ASSERT_TRUE(both.ok());
  EXPECT_EQ(VmValue::make_set(std::move(both).value()).error().message,
            "value exceeds the maximum allowed allocation size");
  auto symmetric = normalize_set_items(*set_symmetric_difference_values(a, b));
  EXPECT_EQ(VmValue::make_frozenset(std::move(symmetric).value()).error().message,
            "value exceeds the maximum allowed allocation size");
}

TEST(SetContains, Table) {
  const auto ints = *normalize_set_items({I(5), I(1), I(3), Ibig("100000000000000000000")});
  EXPECT_EQ(show(set_contains(ints, I(3))), "true");
  EXPECT_EQ(show(set_contains(ints, I(4))), "false");
  EXPECT_EQ(show(set_contains(ints, Ibig("100000000000000000000"))), "true");
  EXPECT_EQ(show(set_contains(ints, F(3.0))), "true");
  EXPECT_EQ(show(set_contains(ints, B(true))), "true");
  EXPECT_EQ(show(set_contains(ints, D("5"))), "true");
  EXPECT_EQ(show(set_contains(ints, F(kNan))), "error: cannot compare NaN values");
  EXPECT_EQ(show(set_contains(ints, S("3"))), "false");
  EXPECT_EQ(show(set_contains(ints, List({I(1)}))), "false");
  // Ints meet floats through the nearest double.
  const auto near_2_53 = *normalize_set_items({Ibig("9007199254740993"), I(5)});
  EXPECT_EQ(show(set_contains(near_2_53, F(9007199254740992.0))), "true");
  EXPECT_EQ(show(set_contains(near_2_53, F(9007199254740994.0))), "false");
  EXPECT_EQ(show(set_contains(*normalize_set_items({F(9007199254740992.0)}), Ibig("9007199254740993"))), "true");
  EXPECT_EQ(show(set_contains(*normalize_set_items({F(1e308), F(std::numeric_limits<double>::infinity())}),
                              VmValue::integer(mpz_class(1) << 1400))),
            "true");
  EXPECT_EQ(show(set_contains(*normalize_set_items({F(1.0), F(0.5)}), B(true))), "true");
  EXPECT_EQ(show(set_contains(*normalize_set_items({F(-0.0)}), B(false))), "true");
  const auto floats = *normalize_set_items({F(-0.0), F(2.5), F(1e16)});
  EXPECT_EQ(show(set_contains(floats, F(0.0))), "true");
  EXPECT_EQ(show(set_contains(floats, F(1e16))), "true");
  EXPECT_EQ(show(set_contains(floats, F(3.0))), "false");
  EXPECT_EQ(show(set_contains(floats, F(kNan))), "error: cannot compare NaN values");
  EXPECT_EQ(show(set_contains(floats, I(0))), "true");
  const std::vector<VmValue> nan_set = {F(kNan)};
  EXPECT_EQ(show(set_contains(nan_set, F(1.0))), "error: cannot compare NaN values");
  EXPECT_EQ(show(set_contains(nan_set, S("a"))), "false");
  EXPECT_EQ(show(set_contains({}, F(kNan))), "false");
  const auto strs = *normalize_set_items({S("b"), S("a")});
  EXPECT_EQ(show(set_contains(strs, S("a"))), "true");
  EXPECT_EQ(show(set_contains(strs, Bytes("a"))), "false");
  const auto bytes = *normalize_set_items({Bytes("b"), Bytes("a")});
  EXPECT_EQ(show(set_contains(bytes, ByteArray("a"))), "true");
  const auto dts = *normalize_set_items({DtNanos(3, 0, 1500), DtNanos(3, 0, 1200)});
  EXPECT_EQ(show(set_contains(dts, DtNanos(3, 0, 1200))), "true");
  EXPECT_EQ(show(set_contains(dts, DtNanos(3, 0, 1000))), "false");
  const auto mixed = *normalize_set_items({I(1), S("x"), Tuple({I(2)})});
  EXPECT_EQ(show(set_contains(mixed, Tuple({F(2.0)}))), "true");
  EXPECT_EQ(show(set_contains(mixed, F(1.0))), "true");
}

TEST(SetItemsEqual, Table) {
  EXPECT_EQ(show(set_items_equal(*normalize_set_items({I(1), I(2)}), *normalize_set_items({F(2.0), F(1.0)}))),
            "true");
  EXPECT_EQ(show(set_items_equal(*normalize_set_items({I(1), I(2)}), *normalize_set_items({I(1), I(3)}))), "false");
  EXPECT_EQ(show(set_items_equal({}, {})), "true");
}

// CPython-derived canonical order of float sets.
TEST(NormalizeSetItems, FloatSetsMatchCPythonOrder) {
  std::ifstream in(std::string(VELN_TEST_DATA_DIR) + "/value_ordering.txt");
  ASSERT_TRUE(in) << "missing data file";
  const auto parse = [](const std::string& list) {
    std::vector<VmValue> out;
    std::istringstream parts(list);
    std::string bits;
    while (std::getline(parts, bits, ','))
      out.push_back(F(std::bit_cast<double>(std::stoull(bits, nullptr, 16))));
    return out;
  };
  std::string line;
  size_t count = 0;
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    std::string kind, input, expected;
    fields >> kind >> input >> expected;
    if (kind != "floatset") continue;
    const auto got = normalize_set_items(parse(input));
    if (expected == "error") {
      ASSERT_FALSE(got.ok()) << line;
      ASSERT_EQ(got.error().message, "cannot compare NaN values");
    } else {
      expect_same(got, parse(expected), line);
    }
    ++count;
  }
  EXPECT_GT(count, 1000u);
}

// --- generated inputs: sorted paths against the scans --------------------

class Generator {
 public:
  explicit Generator(uint32_t seed) : rng_(seed) {}

  size_t below(size_t n) { return std::uniform_int_distribution<size_t>(0, n - 1)(rng_); }

  VmValue item(VmKind kind, size_t spread) {
    switch (kind) {
      case VmKind::None:
        return VmValue::none();
      case VmKind::Bool:
        return B(below(2) == 1);
      case VmKind::Int: {
        const int64_t v = static_cast<int64_t>(below(spread)) - static_cast<int64_t>(spread / 2);
        if (below(8) == 0) {
          mpz_class big(v);
          big <<= 70;
          return VmValue::integer(big + v);
        }
        return I(v);
      }
      case VmKind::Decimal: {
        const std::string text = std::to_string(static_cast<int64_t>(below(spread)) - 20) + "." + std::to_string(below(4));
        return VmValue::decimal(*VmDecimal::from_str_literal(text));
      }
      case VmKind::Float: {
        const double pool[] = {0.0, -0.0, 1.0, -1.0, 0.5, 2.0, 10.0, 9.0, 1e16, 1e-5, 1.5e300, -2.5, 100.0, 3.25};
        if (below(3) == 0) return F(pool[below(std::size(pool))]);
        return F((static_cast<double>(below(spread)) - static_cast<double>(spread / 2)) / 4.0);
      }
      case VmKind::DateTime:
        return DtNanos(static_cast<int64_t>(below(4)), static_cast<uint32_t>(below(3)),
                       static_cast<uint32_t>(below(spread) * 700));
      case VmKind::TimeDelta:
        return Td(static_cast<int64_t>(below(spread)) - static_cast<int64_t>(spread / 2));
      case VmKind::String:
      case VmKind::Bytes: {
        std::string text;
        const size_t n = below(4);
        for (size_t i = 0; i < n; ++i) text.push_back(static_cast<char>("aAb\xc3\xa9\x01"[below(6)]));
        return kind == VmKind::String ? S(text) : Bytes(text);
      }
      default:
        return VmValue::none();
    }
  }

  std::vector<VmValue> items(VmKind kind, size_t n, size_t spread) {
    std::vector<VmValue> out;
    for (size_t i = 0; i < n; ++i) out.push_back(item(kind, spread));
    return out;
  }

 private:
  std::mt19937 rng_;
};

constexpr VmKind kPlainKinds[] = {VmKind::None,      VmKind::Bool,   VmKind::Int,  VmKind::Decimal, VmKind::Float,
                                  VmKind::DateTime, VmKind::TimeDelta, VmKind::String, VmKind::Bytes};

TEST(NormalizeSetItems, OneKindMatchesTheScan) {
  Generator gen(7);
  for (VmKind kind : kPlainKinds) {
    for (int round = 0; round < 150; ++round) {
      const size_t n = gen.below(40);
      std::vector<VmValue> input = gen.items(kind, n, 1 + gen.below(30));
      if (kind == VmKind::Float && gen.below(20) == 0) input.insert(input.begin() + gen.below(n + 1), F(kNan));
      const std::string context = std::string(vm_kind_type_name(kind)) + " " + show(input);
      expect_same(normalize_set_items(input), reference_normalize(input), context);
    }
  }
}

TEST(NormalizeSetItems, TuplesMatchTheScan) {
  Generator gen(23);
  // One shape per round (sorted path), or shapes mixing kinds at a position
  // (the scan: (1,) and (True,) or (1.0,) are value-equal with other keys).
  const std::vector<std::vector<VmKind>> shapes = {
      {VmKind::Int, VmKind::String}, {VmKind::Bytes}, {VmKind::Decimal, VmKind::TimeDelta, VmKind::Bool},
      {VmKind::None, VmKind::Int}, {}, {VmKind::Float, VmKind::Int}, {VmKind::DateTime}, {VmKind::Int}};
  const auto tuple_of = [&](const std::vector<VmKind>& shape, size_t spread, bool nested) {
    std::vector<VmValue> items;
    for (VmKind k : shape) items.push_back(gen.item(k, spread));
    if (!shape.empty() && nested) items[0] = Tuple({items[0]});
    return Tuple(std::move(items));
  };
  for (int round = 0; round < 300; ++round) {
    std::vector<VmValue> input;
    const size_t n = gen.below(30);
    const bool mixed = round % 3 == 0;
    const auto& shape = shapes[gen.below(shapes.size())];
    const bool nested = gen.below(4) == 0;
    for (size_t i = 0; i < n; ++i) {
      if (mixed) {
        input.push_back(Tuple({gen.item(kPlainKinds[gen.below(std::size(kPlainKinds))], 3)}));
      } else {
        input.push_back(tuple_of(shape, 4, nested));
      }
    }
    expect_same(normalize_set_items(input), reference_normalize(input), show(input));
    // Algebra with a second operand of the same shape (the sorted probe), and
    // needles of other shapes mixed in.
    std::vector<VmValue> other;
    for (size_t i = gen.below(30); i > 0; --i) other.push_back(tuple_of(shape, 4, nested));
    if (round % 4 == 1 && !input.empty()) other.push_back(Tuple({F(1.0)}));
    if (round % 4 == 2) other.push_back(I(1));
    const std::string context = "\n a " + show(other) + "\n b " + show(input);
    expect_same(set_difference_values(other, input), reference_difference(other, input), "difference" + context);
    expect_same(set_intersection_values(other, input), reference_intersection(other, input),
                "intersection" + context);
    expect_same(set_symmetric_difference_values(other, input), reference_symmetric(other, input),
                "symmetric" + context);
    expect_same(set_is_subset(other, input), reference_subset(other, input), "subset" + context);
  }
}

TEST(NormalizeSetItems, BoolsAndIntsMatchTheScan) {
  Generator gen(19);
  for (int round = 0; round < 400; ++round) {
    std::vector<VmValue> input;
    for (size_t i = gen.below(20); i > 0; --i) input.push_back(gen.item(gen.below(3) ? VmKind::Int : VmKind::Bool, 6));
    expect_same(normalize_set_items(input), reference_normalize(input), show(input));
  }
  EXPECT_EQ(show(normalize_set_items({I(1), I(0), B(true), I(2)})), "[bool:True, int:0, int:2]");
  EXPECT_EQ(show(normalize_set_items({B(false), I(1), I(0), Ibig("100000000000000000000")})),
            "[bool:False, int:1, int:100000000000000000000]");
}

TEST(NormalizeSetItems, MixedNumbersMatchTheScan) {
  Generator gen(11);
  const VmKind numeric[] = {VmKind::Bool, VmKind::Int, VmKind::Decimal, VmKind::Float};
  for (int round = 0; round < 400; ++round) {
    std::vector<VmValue> input;
    const size_t n = gen.below(12);
    for (size_t i = 0; i < n; ++i) input.push_back(gen.item(numeric[gen.below(4)], 8));
    expect_same(normalize_set_items(input), reference_normalize(input), show(input));
  }
}

TEST(SetAlgebra, OneKindMatchesTheScans) {
  Generator gen(13);
  for (VmKind kind : kPlainKinds) {
    for (int round = 0; round < 120; ++round) {
      const size_t spread = 1 + gen.below(40);
      std::vector<VmValue> a = *reference_normalize(gen.items(kind, gen.below(60), spread));
      std::vector<VmValue> b = *reference_normalize(gen.items(kind, gen.below(60), spread));
      if (round % 5 == 0) a = gen.items(kind, gen.below(60), spread);  // any sequence, not only sets
      if (round % 4 == 1) {  // a inside b, so that every needle finds its match
        a.clear();
        for (const VmValue& item : b)
          if (gen.below(2) == 0) a.push_back(item);
      }
      if (kind == VmKind::Float && round % 3 == 0) {
        const size_t at[] = {0, b.size(), gen.below(b.size() + 1)};
        b.insert(b.begin() + at[gen.below(3)], F(kNan));
      }
      if (kind == VmKind::Float && round % 11 == 0) a.insert(a.begin() + gen.below(a.size() + 1), F(kNan));
      const std::string context = std::string(vm_kind_type_name(kind)) + "\n a " + show(a) + "\n b " + show(b);
      expect_same(set_difference_values(a, b), reference_difference(a, b), "difference " + context);
      expect_same(set_intersection_values(a, b), reference_intersection(a, b), "intersection " + context);
      expect_same(set_symmetric_difference_values(a, b), reference_symmetric(a, b), "symmetric " + context);
      expect_same(set_is_subset(a, b), reference_subset(a, b), "subset " + context);
      // Needles of every plain kind against a canonical one-kind set.
      const auto canonical = normalize_set_items(b);
      if (canonical.ok()) {
        for (VmKind needle_kind : kPlainKinds) {
          const VmValue needle = gen.item(needle_kind, spread);
          expect_same(set_contains(*canonical, needle), reference_in(*canonical, needle),
                      "contains " + needle.python_repr() + " " + context);
        }
        const auto other = normalize_set_items(a);
        if (other.ok()) {
          const auto want = other->size() != canonical->size() ? VmResult<bool>(false)
                                                                 : reference_subset(*other, *canonical);
          expect_same(set_items_equal(*other, *canonical), want, "equal " + context);
        }
      }
    }
  }
}

TEST(SetAlgebra, MixedKindsMatchTheScans) {
  Generator gen(17);
  for (int round = 0; round < 1500; ++round) {
    std::vector<VmValue> a;
    std::vector<VmValue> b;
    for (size_t i = gen.below(20); i > 0; --i) a.push_back(gen.item(kPlainKinds[gen.below(9)], 6));
    for (size_t i = gen.below(20); i > 0; --i) b.push_back(gen.item(kPlainKinds[gen.below(9)], 6));
    // Errors in one class or another, and unhashable items, at any position.
    if (round % 3 == 0) a.insert(a.begin() + gen.below(a.size() + 1), F(kNan));
    if (round % 5 == 0) a.insert(a.begin() + gen.below(a.size() + 1), gen.below(2) ? List({}) : ByteArray("a"));
    if (round % 7 == 0) a.insert(a.begin() + gen.below(a.size() + 1), Tuple({F(kNan)}));
    if (round % 4 == 0) a.insert(a.begin() + gen.below(a.size() + 1), Tuple({I(1), S("x")}));
    if (round % 4 == 1) a.insert(a.begin() + gen.below(a.size() + 1), FrozenSet({I(1)}));
    const std::string context = "\n a " + show(a) + "\n b " + show(b);
    expect_same(set_difference_values(a, b), reference_difference(a, b), "difference " + context);
    expect_same(set_intersection_values(a, b), reference_intersection(a, b), "intersection " + context);
    expect_same(set_symmetric_difference_values(a, b), reference_symmetric(a, b), "symmetric " + context);
    expect_same(set_is_subset(a, b), reference_subset(a, b), "subset " + context);
    expect_same(normalize_set_items(a), reference_normalize(a), "normalize " + context);
  }
}

}  // namespace
}  // namespace veln
