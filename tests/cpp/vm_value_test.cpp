// VmValue: type names, truth, structural equality, copy independence, the
// Python-style texts (against CPython where they imitate it), the diagnostic
// form, conversions, integer fast paths, the size/depth limits and the dict
// index (differentially against a linear scan).
#include "values/vm_value.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <limits>
#include <random>
#include <sstream>

#include "values/vm_contract_target.hpp"
#include "values/vm_datetime.hpp"
#include "values/vm_event.hpp"
#include "values/vm_execution_context.hpp"
#include "values/vm_decimal.hpp"
#include "values/vm_timedelta.hpp"
#include "value_builders.hpp"

namespace veln {
namespace {

using namespace value_builders;

VmValue Exc(std::string name, std::vector<VmValue> args) {
  return *VmValue::make_exception(VmException{std::move(name), std::move(args)});
}
VmValue Event(std::string binding, std::string name, VmValue params) {
  return *VmValue::make_event_ref(VmEventDefinition{std::move(binding), std::move(name), std::move(params)});
}
VmValue Handle(std::string module, std::string origin) {
  return VmValue::contract_handle(VmContractHandle{std::move(module), std::move(origin)});
}
VmValue Foreign(std::string c, std::string b, bool h) {
  return VmValue::foreign_storage_ref(VmForeignStorageRef{std::move(c), std::move(b), h});
}

// One value of every kind, in kind order.
std::vector<VmValue> one_of_each() {
  return {VmValue::none(),
          B(true),
          I(1),
          F(1.0),
          D("1"),
          VmValue::datetime(*VmDateTime::make(2024, 1, 2, 3, 4, 5, 0)),
          VmValue::timedelta_seconds(5),
          S("a"),
          Bytes("a"),
          *VmValue::make_bytearray("a"),
          Set({I(1)}),
          FrozenSet({I(1)}),
          List({I(1)}),
          Tuple({I(1)}),
          Dict({{S("k"), I(1)}}),
          Handle("currency", "static_import"),
          VmValue::storage_ref(VmStorageRef{"balances", "hash"}),
          Foreign("token", "balances", true),
          Event("Transfer", "transfer", Dict({})),
          VmValue::builtin("len"),
          VmValue::function_ref("f"),
          VmValue::type_marker("int"),
          Exc("Exception", {})};
}

TEST(VmValue, SixteenBytes) { EXPECT_EQ(sizeof(VmValue), 16u); }

TEST(VmValue, TypeNamesInKindOrder) {
  const char* names[] = {"none",  "bool",      "int",       "float",           "decimal",     "datetime",
                         "timedelta", "str",   "bytes",     "bytearray",       "set",         "frozenset",
                         "list",  "tuple",     "dict",      "contract_handle", "storage_ref", "foreign_storage_ref",
                         "event_ref", "builtin", "function_ref", "type_marker", "exception"};
  auto values = one_of_each();
  ASSERT_EQ(values.size(), kVmKindCount);
  for (size_t i = 0; i < values.size(); ++i) {
    EXPECT_EQ(static_cast<size_t>(values[i].kind()), i);
    EXPECT_EQ(values[i].type_name(), names[i]);
  }
}

TEST(VmValue, Truth) {
  struct Case {
    VmValue v;
    bool truth;
  };
  const Case cases[] = {
      {VmValue::none(), false},
      {S(""), false},
      {Bytes(""), false},
      {Dict({}), false},
      {Set({}), false},
      {Tuple({}), false},
      {List({}), false},
      {VmValue::timedelta_seconds(0), false},
      {D("0"), false},
      {I(0), false},
      {F(-0.0), false},
      {F(0.0), false},
      {B(false), false},
      {F(std::nan("")), true},
      {Ibig("-100000000000000000000000"), true},
      {VmValue::datetime(*VmDateTime::make(-262143, 1, 1, 0, 0, 0, 0)), true},
      {Exc("Exception", {}), true},
      {S(" "), true},
      {List({VmValue::none()}), true},
      {VmValue::timedelta_seconds(-1), true},
      {D("0.000000000000000000000000000001"), true},
  };
  for (const auto& c : cases) EXPECT_EQ(c.v.truthy(), c.truth) << c.v.diagnostic_text();
}

TEST(VmValue, StructuralEquality) {
  const double nan = std::nan("");
  struct Case {
    VmValue a, b;
    bool equal;
  };
  const Case cases[] = {
      {I(1), F(1.0), false},
      {I(1), B(true), false},
      {I(1), D("1"), false},
      {F(nan), F(nan), false},
      {F(0.0), F(-0.0), true},
      {List({I(1)}), Tuple({I(1)}), false},
      {Set({I(1)}), FrozenSet({I(1)}), false},
      {Dict({{S("a"), I(1)}, {S("b"), I(2)}}), Dict({{S("b"), I(2)}, {S("a"), I(1)}}), false},
      {Dict({{S("a"), I(1)}, {S("b"), I(2)}}), Dict({{S("a"), I(1)}, {S("b"), I(2)}}), true},
      {Handle("m", "static_import"), Handle("m", "dynamic_import"), false},
      {Foreign("t", "b", true), Foreign("t", "b", false), false},
      {Foreign("t", "b", true), Foreign("t", "b", true), true},
      {S("ab"), S("ab"), true},
      {S("ab"), Bytes("ab"), false},
      {Bytes("ab"), *VmValue::make_bytearray("ab"), false},
      {VmValue::builtin("len"), VmValue::builtin("len"), true},
      {VmValue::builtin("len"), VmValue::function_ref("len"), false},
      {Ibig("123456789012345678901234567890"), Ibig("123456789012345678901234567890"), true},
      {Ibig("123456789012345678901234567890"), Ibig("123456789012345678901234567891"), false},
      {D("1.10"), D("1.1"), true},
      {Exc("E", {S("x")}), Exc("E", {S("x")}), true},
      {Exc("E", {S("x")}), Exc("F", {S("x")}), false},
      {Event("a", "b", List({I(1)})), Event("a", "b", List({I(1)})), true},
      {Event("a", "b", List({I(1)})), Event("a", "b", List({I(2)})), false},
      {List({I(1), List({S("x")})}), List({I(1), List({S("x")})}), true},
      {List({I(1)}), List({I(1), I(2)}), false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.a.eq(c.b), c.equal) << c.a.diagnostic_text() << " vs " << c.b.diagnostic_text();
    EXPECT_EQ(c.b.eq(c.a), c.equal);
  }
  // A NaN item makes a list unequal even to a copy of itself.
  VmValue with_nan = List({F(nan)});
  VmValue copy = with_nan;
  EXPECT_FALSE(with_nan.eq(copy));
}

TEST(VmValue, CopiesAreIndependent) {
  VmValue inner = List({I(1), I(2)});
  VmValue outer = List({inner, S("x")});
  VmValue copy = outer.clone();
  VmValue inner_copy = copy.item(0);
  ASSERT_TRUE(inner_copy.seq_push(I(3)).ok());
  ASSERT_TRUE(copy.seq_set(0, inner_copy).ok());
  EXPECT_EQ(outer.python_repr(), "[[1, 2], x]");
  EXPECT_EQ(copy.python_repr(), "[[1, 2, 3], x]");
  VmValue text = S("ab");
  VmValue text_copy = text;
  ASSERT_TRUE(text_copy.text_append("c").ok());
  EXPECT_EQ(text.text(), "ab");
  EXPECT_EQ(text_copy.text(), "abc");
}

TEST(VmValue, PythonRepr) {
  const double inf = std::numeric_limits<double>::infinity();
  struct Case {
    VmValue v;
    const char* text;
  };
  const Case cases[] = {
      {VmValue::none(), "None"},
      {B(true), "True"},
      {B(false), "False"},
      {I(-5), "-5"},
      {I(INT64_MIN), "-9223372036854775808"},
      {F(1.0), "1.0"},
      {F(1e16), "1e16"},
      {F(0.00001), "1e-5"},
      {F(0.1 + 0.2), "0.30000000000000004"},
      {F(std::nan("")), "NaN"},
      {F(-inf), "-inf"},
      {D("1000"), "1E+3"},
      {D("-0.5"), "-0.5"},
      {VmValue::datetime(*VmDateTime::make(2024, 1, 2, 3, 4, 5, 250000)), "2024-01-02 03:04:05.250000"},
      {VmValue::timedelta_seconds(93784), "1 day, 2:03:04"},
      {VmValue::timedelta_seconds(-5), "-0:00:05"},
      {S("a'b"), "a'b"},
      {List({S("a'b")}), "[a'b]"},
      {List({I(1), S("a"), VmValue::none()}), "[1, a, None]"},
      {List({}), "[]"},
      {List({I(1)}), "[1]"},
      {Tuple({I(1)}), "(1,)"},
      {Tuple({I(1), I(2)}), "(1, 2)"},
      {Tuple({}), "()"},
      {Set({}), "set()"},
      {Set({I(1), I(2)}), "{1, 2}"},
      {FrozenSet({}), "frozenset()"},
      {FrozenSet({I(1), I(2)}), "frozenset({1, 2})"},
      {Dict({}), "{}"},
      {Dict({{S("a"), I(1)}, {I(2), List({S("x")})}}), "{a: 1, 2: [x]}"},
      {Dict({{S("k"), Tuple({S("v")})}}), "{k: (v,)}"},
      {Bytes("ab"), "b'ab'"},
      {*VmValue::make_bytearray("ab"), "bytearray(b'ab')"},
      {Bytes(std::string("\x00\x27\x5c\x7f", 4)), "b'\\x00\\'\\\\\\x7f'"},
      {Handle("currency", "static_import"), "<contract:currency>"},
      {VmValue::storage_ref(VmStorageRef{"balances", "hash"}), "<storage:balances>"},
      {Foreign("token", "balances", true), "<foreign-storage:token.balances>"},
      {Foreign("token", "balances", false), "<foreign-storage:token.balances>"},
      {Event("Transfer", "transfer", Dict({})), "<event:transfer>"},
      {VmValue::builtin("len"), "<builtin:len>"},
      {VmValue::function_ref("f"), "<function:f>"},
      {VmValue::type_marker("int"), "int"},
      {Exc("Exception", {}), "Exception()"},
      {Exc("Exception", {S("bad value"), I(3)}), "Exception('bad value', 3)"},
      {Exc("Exception", {List({S("a"), S("b")})}), "Exception([a, b])"},
      {Exc("E", {S("a'b")}), "E('a\\'b')"},
      {Exc("E", {S("a\\b\n")}), "E('a\\\\b\n')"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.v.python_repr(), c.text) << c.v.diagnostic_text();
  EXPECT_EQ(python_bytes_repr(std::string("\x00\x27\x5c\x7f", 4)).size(), 15u);
  EXPECT_EQ(python_set_repr({}), "set()");
}

std::string unhex(const std::string& h) {
  if (h == "-") return "";
  std::string out;
  for (size_t i = 0; i + 1 < h.size(); i += 2) out += static_cast<char>(std::stoi(h.substr(i, 2), nullptr, 16));
  return out;
}

TEST(VmValue, TextsMatchCPython) {
  std::ifstream in(VELN_TEST_DATA_DIR "/value_text.txt");
  ASSERT_TRUE(in.good());
  std::string line;
  int counts[3] = {0, 0, 0};
  while (std::getline(in, line)) {
    std::istringstream f(line);
    std::string tag, input, expect_hex;
    f >> tag >> input >> expect_hex;
    const std::string expect = unhex(expect_hex);
    if (tag == "int") {
      const bool neg = input[0] == '-';
      mpz_class z(neg ? input.substr(1) : input, 16);
      if (neg) z = -z;
      VmValue v = VmValue::integer(z);
      ASSERT_EQ(v.int_is_small(), bigint_fits_i64(z));
      ASSERT_EQ(v.python_repr(), expect) << input;
      ++counts[0];
    } else if (tag == "bytes") {
      ASSERT_EQ(Bytes(unhex(input)).python_repr(), expect) << input;
      ++counts[1];
    } else {
      ASSERT_EQ(python_exception_arg_repr(S(unhex(input))), expect) << input;
      ++counts[2];
    }
  }
  EXPECT_GT(counts[0], 1000);
  EXPECT_GT(counts[1], 1000);
  EXPECT_GT(counts[2], 1000);
}

TEST(VmValue, DiagnosticForm) {
  struct Case {
    VmValue v;
    const char* text;
  };
  const Case cases[] = {
      {VmValue::none(), "None"},
      {VmValue::builtin("len"), "Builtin(\"len\")"},
      {S(std::string("a\t\0'\"\\\r\n", 8)), "String(\"a\\t\\0'\\\"\\\\\\r\\n\")"},
      {I(-5), "Int(-5)"},
      {List({}), "List([])"},
      {I(5), "Int(5)"},
      {B(true), "Bool(true)"},
      {F(1.0), "Float(1.0)"},
      {F(1e-5), "Float(1e-5)"},
      {Bytes("\x01\x02"), "Bytes([1, 2])"},
      {List({I(1), I(2)}), "List([Int(1), Int(2)])"},
      {Dict({{I(1), I(2)}}), "Dict([(Int(1), Int(2))])"},
      {VmValue::timedelta_seconds(5), "TimeDelta(VmTimeDelta { raw_seconds: 5 })"},
      {D("1.5"), "Decimal(VmDecimal { scaled: 1500000000000000000000000000000 })"},
      {Ibig("-18446744073709551616"), "Int(-18446744073709551616)"},
      {Handle("m", "static_import"), "ContractHandle(VmContractHandle { module: \"m\", origin: \"static_import\" })"},
      {VmValue::storage_ref(VmStorageRef{"b", "hash"}), "StorageRef(VmStorageRef { binding: \"b\", storage_type: \"hash\" })"},
      {Foreign("t", "b", false),
       "ForeignStorageRef(VmForeignStorageRef { contract: \"t\", binding: \"b\", is_hash: false })"},
      {Event("T", "t", List({S("x")})),
       "EventRef(VmEventDefinition { binding: \"T\", event_name: \"t\", params: List([String(\"x\")]) })"},
      {Exc("E", {I(1)}), "Exception(VmException { name: \"E\", args: [Int(1)] })"},
      {VmValue::datetime(*VmDateTime::make(2024, 1, 2, 3, 4, 5, 0)),
       "DateTime(VmDateTime { value: 2024-01-02T03:04:05 })"},
      // Combining acute (Grapheme_Extend), zero-width joiner (Cf), no-break
      // space (Zs), line separator (Zl), private use (Co), unassigned (Cn),
      // DEL (Cc); ordinary letters, the space and emoji stay.
      {S("e\xCC\x81"), "String(\"e\\u{301}\")"},
      {S("a\xE2\x80\x8D" "b"), "String(\"a\\u{200d}b\")"},
      {S("\xC2\xA0 x"), "String(\"\\u{a0} x\")"},
      {S("\xE2\x80\xA8"), "String(\"\\u{2028}\")"},
      {S("\xEE\x80\x80"), "String(\"\\u{e000}\")"},
      {S("\xCD\xB8"), "String(\"\\u{378}\")"},
      {S("\x7f\x1b"), "String(\"\\u{7f}\\u{1b}\")"},
      {S("\xC3\xA9\xF0\x9F\x98\x80"), "String(\"\xC3\xA9\xF0\x9F\x98\x80\")"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.v.diagnostic_text(), c.text);
}

TEST(VmValue, Conversions) {
  EXPECT_EQ(*B(true).as_i64(), 1);
  EXPECT_EQ(*I(INT64_MAX).as_i64(), INT64_MAX);
  EXPECT_EQ(*I(INT64_MIN).as_i64(), INT64_MIN);
  EXPECT_EQ(Ibig("9223372036854775808").as_i64().error().message, "integer value exceeds the supported i64 range");
  EXPECT_EQ(*D("-2.9").as_i64(), -2);
  EXPECT_EQ(D("100000000000000000000").as_i64().error().message,
            "decimal value 100000000000000000000 exceeds the supported i64 range");
  EXPECT_EQ(S("5").as_i64().error().message, "expected int-compatible value, got str");
  EXPECT_EQ(F(1.0).as_i64().error().message, "expected int-compatible value, got float");
  EXPECT_EQ(F(1.0).as_bigint().error().message, "expected int-compatible value, got float");
  EXPECT_EQ(*D("123.999").as_bigint(), 123);
  EXPECT_EQ(*D("-0.5").as_bigint(), 0);
  EXPECT_EQ(*B(false).as_bigint(), 0);
  EXPECT_EQ(*Ibig("-18446744073709551616").as_bigint(), mpz_class("-18446744073709551616"));
  EXPECT_EQ(VmValue::none().as_string().error().message, "expected string value, got none");
  EXPECT_EQ(*S("x").as_string(), "x");
  EXPECT_EQ(S("x").as_contract_handle().error().message, "expected contract handle, got str");
  EXPECT_EQ(Handle("m", "dynamic_import").as_contract_handle()->origin, "dynamic_import");
}

TEST(VmValue, IntegerFastPathsNormalise) {
  VmValue max = I(INT64_MAX);
  VmValue sum = vm_int_add(max, I(1));
  EXPECT_FALSE(sum.int_is_small());
  EXPECT_EQ(sum.python_repr(), "9223372036854775808");
  VmValue back = vm_int_sub(sum, I(1));
  EXPECT_TRUE(back.int_is_small());
  EXPECT_EQ(back.small_int(), INT64_MAX);
  EXPECT_EQ(vm_int_neg(I(INT64_MIN)).python_repr(), "9223372036854775808");
  EXPECT_TRUE(vm_int_neg(vm_int_neg(I(INT64_MIN))).int_is_small());
  EXPECT_EQ(vm_int_mul(I(INT64_MIN), I(-1)).python_repr(), "9223372036854775808");
  EXPECT_EQ(vm_int_mul(I(1 << 30), I(1 << 30)).small_int(), int64_t{1} << 60);
  struct DivCase {
    int64_t a, b, q, r;
  };
  const DivCase cases[] = {{7, 2, 3, 1}, {-7, 2, -4, 1}, {7, -2, -4, -1}, {-7, -2, 3, -1}, {6, -3, -2, 0},
                           {-7, 3, -3, 2}, {7, -3, -3, -2}, {-6, 3, -2, 0}, {INT64_MIN, 1, INT64_MIN, 0}};
  for (const auto& c : cases) {
    EXPECT_EQ(vm_int_floor_div(I(c.a), I(c.b))->small_int(), c.q);
    EXPECT_EQ(vm_int_modulo(I(c.a), I(c.b))->small_int(), c.r);
  }
  EXPECT_EQ(vm_int_floor_div(I(INT64_MIN), I(-1))->python_repr(), "9223372036854775808");
  EXPECT_EQ(vm_int_modulo(I(INT64_MIN), I(-1))->small_int(), 0);
  EXPECT_EQ(vm_int_floor_div(I(1), I(0)).error().message, "division by zero");
  EXPECT_EQ(vm_int_modulo(Ibig("100000000000000000000"), I(0)).error().message, "division by zero");
  EXPECT_EQ(vm_int_floor_div(Ibig("-100000000000000000001"), I(10))->python_repr(), "-10000000000000000001");
}

TEST(VmValue, IntegerArithmeticAgreesWithGmp) {
  const char* edges[] = {"0", "1", "-1", "9223372036854775807", "-9223372036854775808", "9223372036854775808",
                         "-9223372036854775809", "18446744073709551616", "-18446744073709551615",
                         "4611686018427387904", "-4611686018427387904", "3037000500", "-3037000500",
                         "340282366920938463463374607431768211457"};
  for (const char* x : edges) {
    for (const char* y : edges) {
      const mpz_class a(x, 10), b(y, 10);
      const VmValue va = VmValue::integer(a), vb = VmValue::integer(b);
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
    ASSERT_EQ(vm_int_neg(VmValue::integer(mpz_class(x, 10))).int_to_mpz(), -mpz_class(x, 10));
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
    VmValue v = S(text);
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

TEST(VmValue, CallRecordsCopyDeeply) {
  const VmContractTarget targets[] = {{VmStaticImportTarget{"b", "token"}}, {VmDynamicImportTarget{"token"}},
                                      {VmLocalHandleTarget{"h", "token"}}, {VmFactoryCallTarget{"f", "token"}}};
  for (const auto& t : targets) EXPECT_EQ(t.module(), "token");
  VmExecutionContext ctx;
  ctx.this_contract = "con";
  ctx.entry = std::make_pair(std::string("con"), std::string("run"));
  ctx.now = List({S("t")});
  VmExecutionContext copy = ctx;
  VmValue now = copy.now;
  ASSERT_TRUE(now.seq_push(I(1)).ok());
  copy.now = now;
  copy.entry->second = "other";
  EXPECT_EQ(ctx.now.python_repr(), "[t]");
  EXPECT_EQ(ctx.entry->second, "run");
  VmEvent event{"con", "Transfer", S("alice"), VmValue::none(), {{"to", S("bob")}}, {{"amount", I(5)}}};
  VmEvent event_copy = event;
  event_copy.data[0].second = I(6);
  EXPECT_EQ(event.data[0].second.small_int(), 5);
}

// ---- limits ---------------------------------------------------------------------

TEST(VmValueLimits, DepthLimitOnBuildersAndPush) {
  VmValue v = List({});
  for (uint32_t d = 2; d <= kVmMaxDepth; ++d) {
    auto r = VmValue::make_list({v});
    ASSERT_TRUE(r.ok()) << d;
    v = *r;
    ASSERT_EQ(v.depth(), d);
  }
  EXPECT_EQ(VmValue::make_list({v}).error().message, kVmDepthMessage);
  EXPECT_EQ(VmValue::make_tuple({v}).error().message, kVmDepthMessage);
  EXPECT_EQ(VmValue::make_dict({{S("k"), v}}).error().message, kVmDepthMessage);
  EXPECT_EQ(VmValue::make_exception(VmException{"E", {v}}).error().message, kVmDepthMessage);
  VmValue holder = List({});
  EXPECT_EQ(holder.seq_push(v).error().message, kVmDepthMessage);
  EXPECT_EQ(holder.seq_insert(0, v).error().message, kVmDepthMessage);
  EXPECT_EQ(holder.python_repr(), "[]");  // unchanged on failure
  VmValue d = Dict({});
  EXPECT_EQ(d.dict_push_pair(S("k"), v).error().message, kVmDepthMessage);
  EXPECT_EQ(d.dict_size(), 0u);
}

TEST(VmValueLimits, SizeLimit) {
  EXPECT_TRUE(VmValue::make_str(std::string(kVmMaxUnits - 1, 'a')).ok());
  EXPECT_EQ(VmValue::make_str(std::string(kVmMaxUnits, 'a')).error().message, kVmSizeMessage);
  VmValue big = *VmValue::make_bytes(std::string(kVmMaxUnits / 2, 'a'));
  EXPECT_EQ(big.units(), kVmMaxUnits / 2 + 1);
  VmValue pair = List({big});  // 1 + half + 1
  EXPECT_EQ(pair.units(), kVmMaxUnits / 2 + 2);
  EXPECT_EQ(VmValue::make_list({big, big}).error().message, kVmSizeMessage);  // shared, counted twice
  EXPECT_EQ(pair.seq_push(big).error().message, kVmSizeMessage);
  VmValue text = *VmValue::make_str(std::string(kVmMaxUnits - 2, 'a'));
  EXPECT_TRUE(text.text_append("b").ok());
  EXPECT_EQ(text.text_append("c").error().message, kVmSizeMessage);
  EXPECT_EQ(text.text_size(), kVmMaxUnits - 1);
  // A big integer counts its 64-bit words.
  EXPECT_EQ(Ibig("340282366920938463463374607431768211456").units(), 4u);  // 2^128: three limbs
}

TEST(VmValueLimits, CachesFollowMutation) {
  VmValue deep = List({List({List({})})});  // depth 3
  VmValue v = List({I(1), deep});
  EXPECT_EQ(v.depth(), 4u);
  EXPECT_EQ(v.units(), 5u);
  VmValue removed = v.seq_remove(1);
  EXPECT_EQ(v.depth(), 1u);
  EXPECT_EQ(v.units(), 2u);
  ASSERT_TRUE(v.seq_set(0, deep).ok());
  EXPECT_EQ(v.depth(), 4u);
  ASSERT_TRUE(v.seq_set(0, S("abc")).ok());
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
  VmValue v = List({});
  for (int i = 0; i < 1000000; ++i) {
    VmValue outer = List({});
    (void)outer.seq_edit([&](std::vector<VmValue>& items) { items.push_back(std::move(v)); });
    v = std::move(outer);
  }
  v = VmValue::none();
  SUCCEED();
}

// ---- dict -------------------------------------------------------------------------

// Built with append: g++ 12 warns falsely (-Wrestrict) on literal + string.
std::string numbered(const char* prefix, uint64_t n) {
  std::string s(prefix);
  s.append(std::to_string(n));
  return s;
}

std::optional<size_t> scan(const VmValue& d, const VmValue& key) {
  auto pairs = d.dict_pairs();
  for (size_t i = 0; i < pairs.size(); ++i)
    if (pairs[i].key.eq(key)) return i;
  return std::nullopt;
}

TEST(VmValueDict, KeysAreStructural) {
  std::vector<VmDictPair> pairs = {{I(1), S("int")}, {F(1.0), S("float")}, {B(true), S("bool")},
                                   {D("1"), S("decimal")}, {F(-0.0), S("zero")}};
  for (int i = 0; i < 20; ++i) pairs.push_back({S(numbered("pad", i)), I(i)});
  VmValue d = Dict(pairs);
  EXPECT_EQ(*d.dict_find_structural(I(1)), 0u);
  EXPECT_EQ(*d.dict_find_structural(F(1.0)), 1u);
  EXPECT_EQ(*d.dict_find_structural(B(true)), 2u);
  EXPECT_EQ(*d.dict_find_structural(D("1.0")), 3u);
  EXPECT_EQ(*d.dict_find_structural(F(0.0)), 4u);  // 0.0 and -0.0 are one key
  EXPECT_FALSE(d.dict_find_structural(I(2)).has_value());
  VmValue with_nan = Dict({{F(std::nan("")), I(1)}});
  EXPECT_FALSE(with_nan.dict_find_structural(F(std::nan(""))).has_value());
}

TEST(VmValueDict, DuplicatesFirstWins) {
  std::vector<VmDictPair> pairs;
  for (int i = 0; i < 30; ++i) pairs.push_back({I(i % 10), I(i)});
  VmValue d = Dict(pairs);
  EXPECT_EQ(*d.dict_find_structural(I(3)), 3u);
  d.dict_remove_at(3);
  EXPECT_EQ(*d.dict_find_structural(I(3)), 12u);  // the former pair 13
  EXPECT_EQ(d.dict_pairs()[12].value.small_int(), 13);
}

TEST(VmValueDict, IndexAgreesWithScanUnderRandomEdits) {
  std::mt19937_64 rng(42);
  auto random_key = [&]() -> VmValue {
    switch (rng() % 6) {
      case 0: return I(static_cast<int64_t>(rng() % 50));
      case 1: return F(static_cast<double>(rng() % 50));
      case 2: return S(numbered("k", rng() % 50));
      case 3: return Tuple({I(static_cast<int64_t>(rng() % 5)), S("x")});
      case 4: return B(rng() % 2 == 0);
      default: return Ibig(numbered("1", 0).append(20 + rng() % 3, '0').c_str());
    }
  };
  VmValue d = Dict({});
  VmValue snapshot;
  for (int step = 0; step < 20000; ++step) {
    VmValue key = random_key();
    const auto expect = scan(d, key);
    ASSERT_EQ(d.dict_find_structural(key), expect) << step;
    const auto op = rng() % 10;
    if (op < 5) {
      if (expect) ASSERT_TRUE(d.dict_set_value(*expect, I(step)).ok());
      else ASSERT_TRUE(d.dict_push_pair(key, I(step)).ok());
    } else if (op < 7 && expect) {
      d.dict_remove_at(*expect);
    } else if (op == 7) {
      ASSERT_TRUE(d.dict_push_pair(key, I(-step)).ok());  // possible duplicate
    } else if (op == 8 && rng() % 50 == 0) {
      snapshot = d;  // shared buffer: later edits must not show in the snapshot
    } else if (op == 9 && rng() % 400 == 0) {
      d.dict_clear();
    }
  }
  if (snapshot.is(VmKind::Dict)) {
    for (const auto& p : snapshot.dict_pairs()) ASSERT_EQ(snapshot.dict_find_structural(p.key), scan(snapshot, p.key));
  }
}

TEST(VmValueDict, StructuralHashAgreesWithEquality) {
  const uint64_t seed = 99;
  EXPECT_EQ(vm_structural_hash(F(0.0), seed), vm_structural_hash(F(-0.0), seed));
  EXPECT_EQ(vm_structural_hash(List({S("a"), I(1)}), seed), vm_structural_hash(List({S("a"), I(1)}), seed));
  EXPECT_NE(vm_structural_hash(I(1), seed), vm_structural_hash(F(1.0), seed));
  EXPECT_EQ(vm_structural_hash(vm_int_sub(vm_int_add(I(INT64_MAX), I(5)), I(5)), seed),
            vm_structural_hash(I(INT64_MAX), seed));
}

}  // namespace
}  // namespace veln
