// Subscripts and slices: index normalisation and its wording, characters of
// str (not bytes), structural dict lookup, item assignment (index before
// value, copy-on-write, depth limit), 64-bit slice arithmetic at its edges,
// and slice positions for every step sign checked against CPython.
#include "interpreter_support/subscripts.hpp"

#include <gtest/gtest.h>

#include <sstream>

#include "lib/hex_codec.hpp"
#include "operator_test_values.hpp"

namespace veln {
namespace {

using namespace test_values;

std::string show_bytes(const VmResult<std::string>& r) {
  if (!r.ok()) return "error: " + r.error().message;
  return hex_encode_lower({reinterpret_cast<const uint8_t*>(r->data()), r->size()});
}

std::optional<VmValue> opt(std::optional<int64_t> v) {
  if (!v) return std::nullopt;
  return I(*v);
}
VmSliceArgs args(std::optional<int64_t> lo, std::optional<int64_t> hi, std::optional<int64_t> st) {
  return VmSliceArgs{opt(lo), opt(hi), opt(st)};
}
constexpr std::nullopt_t _ = std::nullopt;

TEST(Subscripts, Indexing) {
  const VmValue hello = S("h\xC3\xA9llo");
  const VmValue list3 = List({I(10), I(20), I(30)});
  struct Case {
    VmValue container;
    VmValue index;
    std::string expected;
  } cases[] = {
      {hello, I(1), "str:\xC3\xA9"},
      {hello, I(-1), "str:o"},
      {hello, I(5), "error: sequence index out of bounds"},
      {S("abc"), I(-3), "str:a"},
      {Bytes("ab"), I(0), "int:97"},
      {ByteArray("ab"), I(-2), "int:97"},
      {Bytes("\xff"), I(0), "int:255"},
      {list3, I(3), "error: sequence index out of bounds"},
      {list3, I(-4), "error: sequence index out of bounds"},
      {List({}), I(0), "error: sequence index out of bounds"},
      {list3, B(true), "int:20"},
      {list3, D("1.9"), "int:20"},
      {list3, D("-0.5"), "int:10"},
      {list3, Pow2(64), "error: sequence index out of bounds"},
      {list3, Ibig("-9223372036854775808"), "error: sequence index out of bounds"},
      {list3, S("1"), "error: expected int-compatible value, got str"},
      {list3, F(1.0), "error: expected int-compatible value, got float"},
      {Tuple({I(1), S("x")}), I(1), "str:x"},
      {Dict({{I(1), S("one")}}), I(1), "str:one"},
      {Dict({{I(1), S("one")}}), B(true), "error: missing dict key True"},
      {Dict({{I(1), S("one")}}), F(1.0), "error: missing dict key 1.0"},
      {Dict({{S("k"), I(1)}}), S("missing"), "error: missing dict key missing"},
      {Dict({{Tuple({I(1), I(2)}), I(3)}}), Tuple({I(1), I(2)}), "int:3"},
      {SetOf({I(1)}), I(0), "error: subscript access is not supported for set"},
      {None(), I(0), "error: subscript access is not supported for none"},
      {I(5), I(0), "error: subscript access is not supported for int"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(show(subscript_value(c.container, c.index)), c.expected) << show(c.container) << "[" << show(c.index)
                                                                      << "]";
  }
}

TEST(Subscripts, Assignment) {
  struct Case {
    VmValue container;
    VmValue index;
    VmValue value;
    std::string expected;
  } cases[] = {
      {List({I(1), I(2)}), I(-1), S("x"), "list:[1, x]"},
      {List({I(1), I(2)}), I(2), S("x"), "error: sequence index out of bounds"},
      {ByteArray("ab"), I(0), I(255), "bytearray:bytearray(b'\\xffb')"},
      {ByteArray("ab"), I(1), B(true), "bytearray:bytearray(b'a\\x01')"},
      {ByteArray("a"), I(0), I(256), "error: byte must be in range(0, 256)"},
      {ByteArray("a"), I(0), I(-1), "error: byte must be in range(0, 256)"},
      {ByteArray("a"), I(5), S("x"), "error: sequence index out of bounds"},
      {ByteArray("a"), I(0), S("x"), "error: a bytes-like object is required, not 'str'"},
      {Dict({{I(1), S("a")}}), I(2), S("b"), "dict:{1: a, 2: b}"},
      {Dict({{I(1), S("a")}, {I(2), S("b")}}), I(1), S("z"), "dict:{1: z, 2: b}"},
      {Dict({{I(1), S("a")}}), B(true), S("t"), "dict:{1: a, True: t}"},
      {Tuple({I(1)}), I(0), I(2), "error: subscript assignment is not supported for tuple"},
      {S("a"), I(0), S("b"), "error: subscript assignment is not supported for str"},
      {Bytes("a"), I(0), I(1), "error: subscript assignment is not supported for bytes"},
      {SetOf({}), I(0), I(1), "error: subscript assignment is not supported for set"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(show(assign_subscript(c.container, c.index, c.value)), c.expected)
        << show(c.container) << "[" << show(c.index) << "] = " << show(c.value);
  }
}

TEST(Subscripts, AssignmentLeavesOtherCopiesAlone) {
  const VmValue original = List({I(1), List({I(2)})});
  auto changed = assign_subscript(original, I(0), S("x"));
  ASSERT_TRUE(changed.ok());
  EXPECT_EQ(show(*changed), "list:[x, [2]]");
  EXPECT_EQ(show(original), "list:[1, [2]]");
  const VmValue bytes = ByteArray("ab");
  auto b = assign_subscript(bytes, I(0), I(0x7a));
  EXPECT_EQ(show(b), "bytearray:bytearray(b'zb')");
  EXPECT_EQ(show(bytes), "bytearray:bytearray(b'ab')");
}

TEST(Subscripts, AssignmentRespectsDepthLimit) {
  // A list nested 255 levels deep may hold a scalar but not another list
  // of the same depth.
  VmValue deep = List({I(0)});
  for (int i = 1; i < 256; ++i) deep = List({deep});
  ASSERT_EQ(deep.depth(), 256u);
  EXPECT_TRUE(assign_subscript(List({I(0)}), I(0), I(1)).ok());
  EXPECT_EQ(show(assign_subscript(List({I(0)}), I(0), deep)),
            "error: value exceeds the maximum allowed nesting depth");
  EXPECT_EQ(show(assign_subscript(Dict({}), S("k"), deep)),
            "error: value exceeds the maximum allowed nesting depth");
}

TEST(Slices, Table) {
  const VmValue l5 = List({I(0), I(1), I(2), I(3), I(4)});
  const VmValue l3 = List({I(10), I(20), I(30)});
  constexpr int64_t kMax = INT64_MAX;
  struct Case {
    VmValue container;
    VmSliceArgs args;
    std::string expected;
  } cases[] = {
      {l5, args(_, _, -1), "list:[4, 3, 2, 1, 0]"},
      {l5, args(10, _, -1), "list:[4, 3, 2, 1, 0]"},
      {l5, args(-10, 2, _), "list:[0, 1]"},
      {l5, args(1, 4, 2), "list:[1, 3]"},
      {l5, args(_, _, _), "list:[0, 1, 2, 3, 4]"},
      {List({I(0), I(1), I(2)}), args(5, _, _), "list:[]"},
      {l3, args(1, _, kMax), "error: slice position out of bounds"},
      {l3, args(0, _, kMax), "list:[10]"},
      {l3, args(3, _, kMax), "list:[]"},
      {l3, args(_, _, 0), "error: slice step cannot be zero"},
      {l3, args(_, _, INT64_MIN), "list:[30]"},
      {l3, args(INT64_MIN, INT64_MAX, _), "list:[10, 20, 30]"},
      {l3, args(INT64_MAX, INT64_MIN, -1), "list:[30, 20, 10]"},
      {S("abc"), args(_, _, -1), "str:cba"},
      {S("h\xC3\xA9llo"), args(1, 3, _), "str:\xC3\xA9l"},
      {S("h\xC3\xA9llo"), args(_, _, -1), "str:oll\xC3\xA9" "h"},
      {Bytes("abcd"), args(1, _, 2), "bytes:b'bd'"},
      {ByteArray("abcd"), args(_, 2, _), "bytearray:bytearray(b'ab')"},
      {Tuple({I(1), I(2), I(3)}), args(-2, _, _), "tuple:(2, 3)"},
      {Dict({}), args(_, _, _), "error: slice access is not supported for dict"},
      {SetOf({I(1)}), args(_, _, _), "error: slice access is not supported for set"},
      {I(5), args(_, _, _), "error: slice access is not supported for int"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(show(subscript_slice_value(c.container, c.args)), c.expected) << show(c.container);
  }
}

TEST(Slices, SixtyFourBitLimits) {
  const VmValue l3 = List({I(10), I(20), I(30)});
  const mpz_class two63 = mpz_class(1) << 63;
  EXPECT_EQ(show(subscript_slice_value(l3, std::nullopt, std::nullopt, two63)),
            "error: slice step exceeds the supported i64 range");
  EXPECT_EQ(show(subscript_slice_value(l3, std::nullopt, std::nullopt, mpz_class(-two63))), "list:[30]");
  EXPECT_EQ(show(subscript_slice_value(l3, two63, std::nullopt, std::nullopt)),
            "error: slice bound exceeds the supported i64 range");
  EXPECT_EQ(show(subscript_slice_value(l3, std::nullopt, mpz_class(-two63 - 1), std::nullopt)),
            "error: slice bound exceeds the supported i64 range");
  // The step is checked before the bounds, lower before upper.
  EXPECT_EQ(show(subscript_slice_value(l3, two63, two63, mpz_class(0))), "error: slice step cannot be zero");
  VmSliceArgs bad_lower{S("x"), I(1), std::nullopt};
  EXPECT_EQ(show(subscript_slice_value(l3, bad_lower)), "error: expected int-compatible value, got str");
  VmSliceArgs decimal_bounds{D("0.9"), D("2.5"), B(true)};
  EXPECT_EQ(show(subscript_slice_value(l3, decimal_bounds)), "list:[10, 20]");
}

TEST(Slices, ByteConversions) {
  EXPECT_EQ(show_bytes(clone_as_bytes_like(List({I(1), B(true), I(255)}))), "0101ff");
  EXPECT_EQ(show_bytes(clone_as_bytes_like(Tuple({}))), "");
  EXPECT_EQ(show_bytes(clone_as_bytes_like(List({I(1), S("a")}))),
            "error: a bytes-like object is required, not 'str'");
  EXPECT_EQ(show_bytes(clone_as_bytes_like(List({I(300)}))), "error: byte must be in range(0, 256)");
  EXPECT_EQ(show_bytes(clone_as_bytes_like(I(5))), "error: int is not bytes-like");
  EXPECT_EQ(show_bytes(clone_as_bytes_like(None())), "error: none is not bytes-like");
  EXPECT_EQ(show_bytes(clone_as_bytes_like(Dict({}))), "error: dict is not bytes-like");
  EXPECT_EQ(show_bytes(clone_as_bytes_like(S("\xC3\xA9"))), "c3a9");
  EXPECT_EQ(show_bytes(clone_as_bytes_like(ByteArray("ab"))), "6162");
  EXPECT_EQ(show(slice_bytes_like("abc", args(_, _, -1), true)), "bytearray:bytearray(b'cba')");
  EXPECT_EQ(show(slice_bytes_like("abc", args(_, _, -1), false)), "bytes:b'cba'");
}

std::optional<mpz_class> oracle_part(const std::string& text) {
  if (text == "_") return std::nullopt;
  return mpz_class(text);
}

// "-" stands for the empty text; a malformed field decodes to a marker that
// no expectation matches.
std::string from_hex(const std::string& hex) {
  if (hex == "-") return {};
  const auto bytes = hex_decode_pairs(hex);
  if (!bytes) return "<malformed hex " + hex + ">";
  return std::string(bytes->begin(), bytes->end());
}

// The texts of a range's elements joined by single spaces.
template <class Range, class F>
std::string joined(const Range& range, F&& text_of) {
  std::string out;
  for (const auto& x : range) {
    if (!out.empty()) out += ' ';
    out += text_of(x);
  }
  return out;
}

TEST(Slices, PositionsMatchCPython) {
  const auto lines = data_lines("operator_cases.txt", "slc");
  ASSERT_GT(lines.size(), 20000u);
  for (const std::string& line : lines) {
    std::istringstream in(line);
    std::string tag, n, lo, hi, st, colon;
    in >> tag >> n >> lo >> hi >> st >> colon;
    std::vector<std::string> parts;
    for (std::string p; in >> p;) parts.push_back(p);
    const std::string expected = joined(parts, [](const std::string& p) { return p; });
    const size_t length = std::stoul(n);
    auto positions = slice_positions(length, oracle_part(lo), oracle_part(hi), oracle_part(st));
    ASSERT_TRUE(positions.ok()) << line << ": " << positions.error().message;
    EXPECT_EQ(joined(*positions, [](size_t p) { return std::to_string(p); }), expected) << line;

    // The list slice visits the same positions.
    std::vector<VmValue> items;
    for (size_t i = 0; i < length; ++i) items.push_back(I(static_cast<int64_t>(i)));
    auto sliced = subscript_slice_value(List(std::move(items)), oracle_part(lo), oracle_part(hi), oracle_part(st));
    ASSERT_TRUE(sliced.ok()) << line;
    EXPECT_EQ(joined(sliced->items(), [](const VmValue& v) { return std::to_string(v.small_int()); }), expected)
        << line;
  }
}

TEST(Slices, StrSlicesMatchCPython) {
  const auto lines = data_lines("operator_cases.txt", "str");
  ASSERT_GT(lines.size(), 1000u);
  for (const std::string& line : lines) {
    std::istringstream in(line);
    std::string tag, text, lo, hi, st, expected;
    in >> tag >> text >> lo >> hi >> st >> expected;
    auto sliced = subscript_slice_value(S(from_hex(text)), oracle_part(lo), oracle_part(hi), oracle_part(st));
    ASSERT_TRUE(sliced.ok()) << line;
    EXPECT_EQ(std::string(sliced->text()), from_hex(expected)) << line;
  }
}

}  // namespace
}  // namespace veln
