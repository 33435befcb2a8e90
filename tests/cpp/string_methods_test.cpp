#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "lib/hex_codec.hpp"
#include "interpreter_support/native_methods.hpp"
#include "values/vm_decimal.hpp"

namespace veln {
namespace {

VmValue i(int64_t v) { return VmValue::integer(v); }
VmValue s(std::string_view text) { return VmValue::str(text); }
VmValue b(bool v) { return VmValue::boolean(v); }
VmValue bytearray(std::string bytes) { return *VmValue::make_bytearray(std::move(bytes)); }
VmValue tuple(std::vector<VmValue> items) { return *VmValue::make_tuple(std::move(items)); }
VmValue list(std::vector<VmValue> items) { return *VmValue::make_list(std::move(items)); }
VmValue strs(std::vector<std::string_view> texts) {
  std::vector<VmValue> items;
  for (auto t : texts) items.push_back(s(t));
  return list(std::move(items));
}

VmResult<NativeMethodOutcome> call(const VmValue& receiver, std::string_view method, std::vector<VmValue> args) {
  return call_native_method(receiver, method, std::move(args), {});
}

// ---- CPython-generated cases ------------------------------------------------------

std::string unhex(std::string_view h) {
  auto bytes = hex_decode_pairs(h);
  EXPECT_TRUE(bytes.has_value()) << h;
  return bytes ? std::string(bytes->begin(), bytes->end()) : std::string();
}

std::vector<std::string_view> split_on(std::string_view text, char sep) {
  std::vector<std::string_view> out;
  size_t from = 0;
  while (true) {
    const size_t at = text.find(sep, from);
    out.push_back(text.substr(from, at == std::string_view::npos ? std::string_view::npos : at - from));
    if (at == std::string_view::npos) return out;
    from = at + 1;
  }
}

// Items of "k:<a>|<b>..." (k may be 0).
std::vector<std::string_view> counted_items(std::string_view body) {
  const size_t colon = body.find(':');
  const size_t count = std::stoul(std::string(body.substr(0, colon)));
  if (count == 0) return {};
  auto items = split_on(body.substr(colon + 1), '|');
  EXPECT_EQ(items.size(), count) << body;
  return items;
}

VmValue parse_token(std::string_view t) {
  if (t == "n") return VmValue::none();
  const char tag = t[0];
  const std::string_view body = t.substr(1);
  switch (tag) {
    case 's':
      return *VmValue::make_str(unhex(body.substr(1)));
    case 'i':
      return VmValue::integer(mpz_class(std::string(body.substr(1))));
    case 'B':
      return b(body.substr(1) == "1");
    case 'y':
      return *VmValue::make_bytes(unhex(body.substr(1)));
    case 'Y':
      return bytearray(unhex(body.substr(1)));
    case 't':
    case 'l': {
      std::vector<VmValue> items;
      for (auto h : counted_items(body)) items.push_back(*VmValue::make_str(unhex(h)));
      return tag == 't' ? tuple(std::move(items)) : list(std::move(items));
    }
    case 'L': {
      std::vector<VmValue> items;
      for (auto n : counted_items(body)) items.push_back(i(std::stoll(std::string(n))));
      return list(std::move(items));
    }
    default:
      ADD_FAILURE() << "bad token " << t;
      return VmValue::none();
  }
}

TEST(StringMethods, MatchCPythonGeneratedCases) {
  std::ifstream in(std::string(VELN_TEST_DATA_DIR) + "/string_methods.txt");
  ASSERT_TRUE(in) << "missing data file";
  std::string line;
  int count = 0;
  while (std::getline(in, line)) {
    const auto fields = split_on(line, '\t');
    ASSERT_EQ(fields.size(), 4u) << line;
    const VmValue receiver = parse_token(fields[1]);
    std::vector<VmValue> args;
    if (!fields[2].empty())
      for (auto a : split_on(fields[2], ' ')) args.push_back(parse_token(a));
    SCOPED_TRACE(line);
    auto r = call(receiver, fields[0], std::move(args));
    ASSERT_TRUE(r.ok()) << r.error().message;
    const std::string_view expected = fields[3];
    if (expected.starts_with("m:")) {
      const size_t slash = expected.find('/');
      ASSERT_TRUE(r->is_mutated());
      EXPECT_TRUE(r->receiver.eq(bytearray(unhex(expected.substr(2, slash - 2)))))
          << r->receiver.diagnostic_text();
      EXPECT_TRUE(r->value.eq(parse_token(expected.substr(slash + 1)))) << r->value.diagnostic_text();
    } else {
      EXPECT_FALSE(r->is_mutated());
      EXPECT_TRUE(r->value.eq(parse_token(expected))) << r->value.diagnostic_text();
    }
    ++count;
  }
  EXPECT_GT(count, 10000);
}

// ---- hand-written cases -------------------------------------------------------------

struct Case {
  VmValue receiver;
  const char* method;
  std::vector<VmValue> args;
  VmValue expected;  // ignored when error is set
  const char* error = nullptr;
};

void run_cases(const std::vector<Case>& cases) {
  for (const auto& c : cases) {
    SCOPED_TRACE(c.receiver.python_repr() + "." + c.method);
    auto r = call(c.receiver, c.method, c.args);
    if (c.error) {
      ASSERT_FALSE(r.ok()) << r->value.python_repr();
      EXPECT_EQ(r.error().message, c.error);
    } else {
      ASSERT_TRUE(r.ok()) << r.error().message;
      EXPECT_FALSE(r->is_mutated());
      EXPECT_TRUE(r->value.eq(c.expected)) << r->value.diagnostic_text();
    }
  }
}

const VmValue kNone;
VmValue big(const char* digits) { return VmValue::integer(mpz_class(digits)); }
VmValue dec(std::string_view literal) { return VmValue::decimal(*VmDecimal::from_str_literal(literal)); }

TEST(StringMethods, SearchWindows) {
  run_cases({
      {s("abc"), "find", {s("c"), i(-1)}, i(2)},
      {s("abc"), "find", {s("a"), i(5)}, i(-1)},
      {s("abc"), "find", {s(""), i(5)}, i(3)},
      {s("abc"), "find", {s(""), i(10)}, i(3)},
      {s("abc"), "find", {s(""), i(2), i(1)}, i(2)},
      {s("h\u00e9llo"), "find", {s("l")}, i(2)},
      {s("h\u00e9llo"), "find", {s("o"), i(-1)}, i(4)},
      {s("\U0001F600a\U0001F600a"), "find", {s("a"), i(2)}, i(3)},
      {s("\U0001F600a\U0001F600a"), "find", {s("\U0001F600"), i(1), i(3)}, i(2)},
      {s("abcabc"), "find", {s("c"), big("-100000000000000000000000"), big("100000000000000000000000")}, i(2)},
      {s("abcabc"), "find", {s("b"), b(true)}, i(1)},
      {s("abcabc"), "find", {s("b"), dec("2.9")}, i(4)},
      {s("abc"), "find", {kNone}, kNone, "expected string value, got none"},
      {s("abc"), "find", {s("a"), kNone}, kNone, "expected int-compatible value, got none"},
      {s("abc"), "find", {s("a"), i(0), s("1")}, kNone, "expected int-compatible value, got str"},
      {s("abc"), "startswith", {s(""), i(2), i(1)}, b(true)},
      {s("abc"), "startswith", {s(""), i(7)}, b(true)},
      {s("abc"), "endswith", {s(""), i(7)}, b(true)},
      {s("abc"), "startswith", {tuple({s("x"), s("ab")})}, b(true)},
      {s("abc"), "startswith", {tuple({})}, b(false)},
      {s("abc"), "startswith", {tuple({s("a"), i(1)})}, kNone, "expected string value, got int"},
      {s("abc"), "startswith", {strs({"a"})}, kNone, "expected str or tuple[str, ...], found list"},
      {s("abc"), "endswith", {kNone}, kNone, "expected str or tuple[str, ...], found none"},
      // The bounds are read before the candidates.
      {s("abc"), "endswith", {i(1), kNone}, kNone, "expected int-compatible value, got none"},
      {s("\u00e9t\u00e9"), "endswith", {s("t\u00e9"), i(0), i(3)}, b(true)},
      {s("\u00e9t\u00e9"), "endswith", {s("t"), i(0), i(2)}, b(true)},
      {s("\u00e9t\u00e9"), "startswith", {s("t\u00e9"), i(1)}, b(true)},
  });
}

TEST(StringMethods, Split) {
  run_cases({
      {s("a b"), "split", {kNone}, strs({"a", "b"})},
      {s("a,b,c"), "split", {s(","), i(-5)}, strs({"a", "b", "c"})},
      {s("a,b,c"), "split", {s(","), i(1)}, strs({"a", "b,c"})},
      {s("a,b,c"), "split", {s(","), i(0)}, strs({"a,b,c"})},
      {s("a,,b,"), "split", {s(",")}, strs({"a", "", "b", ""})},
      {s(""), "split", {s(",")}, strs({""})},
      {s(""), "split", {}, strs({})},
      {s("   "), "split", {kNone, i(0)}, strs({})},
      {s("  a  b  "), "split", {}, strs({"a", "b"})},
      {s("  a  b  "), "split", {kNone, i(1)}, strs({"a", "b  "})},
      {s("  a  b  "), "split", {kNone, i(0)}, strs({"a  b  "})},
      {s("a,b"), "split", {s(","), big("100000000000000000000000")}, kNone,
       "str.split maxsplit exceeds the supported usize range"},
      {s("a,b"), "split", {s(","), big("-100000000000000000000000")}, strs({"a", "b"})},
      {s("a,b"), "split", {s("")}, kNone, "empty separator"},
      // The separator is checked before maxsplit is read.
      {s("a,b"), "split", {s(""), kNone}, kNone, "empty separator"},
      {s("a,b"), "split", {s(","), kNone}, kNone, "expected int-compatible value, got none"},
      {s("a,b"), "split", {i(1)}, kNone, "expected string value, got int"},
      // U+001C-001F are not white space; U+0085, U+00A0, U+3000 are.
      {s("a\x1c" "b\x1f" "c"), "split", {}, strs({"a\x1c" "b\x1f" "c"})},
      {s("a\u0085b\u00a0c\u3000d\u2028e"), "split", {}, strs({"a", "b", "c", "d", "e"})},
      {s("a\u200bb"), "split", {}, strs({"a\u200bb"})},  // zero width space is not White_Space
      {s("\u00e9\u2003\u00e9"), "split", {s("\u2003")}, strs({"\u00e9", "\u00e9"})},
  });
}

TEST(StringMethods, Strip) {
  run_cases({
      {s("xxaxx"), "strip", {s("x")}, s("a")},
      {s(" xa "), "strip", {s("")}, s(" xa ")},
      {s("abc"), "strip", {kNone}, kNone, "expected string value, got none"},
      {s("\x1c a \x1f"), "strip", {}, s("\x1c a \x1f")},
      {s("\u3000\u0085a\u00a0\u2029"), "strip", {}, s("a")},
      {s("\u00e9a\u00e9\U0001F600"), "strip", {s("\U0001F600\u00e9")}, s("a")},
      {s("\u00e9\u00e9"), "strip", {s("\u00e9")}, s("")},
      // A strip set of one byte of a multibyte character strips nothing.
      {s("\u00e9a"), "strip", {s("\xc3")}, s("\u00e9a")},
  });
}

TEST(StringMethods, Replace) {
  run_cases({
      {s("aaa"), "replace", {s("a"), s("b"), i(0)}, s("aaa")},
      {s("aaa"), "replace", {s("a"), s("b"), i(-1)}, s("bbb")},
      {s("aaa"), "replace", {s("a"), s("b"), b(true)}, s("baa")},
      {s("ab"), "replace", {s(""), s("-")}, s("-a-b-")},
      {s("ab"), "replace", {s(""), s("-"), i(2)}, s("-a-b")},
      {s(""), "replace", {s(""), s("-")}, s("-")},
      {s("\u00e9\U0001F600"), "replace", {s(""), s("|")}, s("|\u00e9|\U0001F600|")},
      {s("aaaa"), "replace", {s("aa"), s("b")}, s("bb")},
      {s("aaa"), "replace", {s("a"), s("b"), big("100000000000000000000")}, kNone,
       "str.replace count exceeds the supported usize range"},
      // count is read first, then old and new; its range check comes last.
      {s("aaa"), "replace", {i(1), s("b"), kNone}, kNone, "expected int-compatible value, got none"},
      {s("aaa"), "replace", {i(1), s("b"), big("100000000000000000000")}, kNone, "expected string value, got int"},
      {s("aaa"), "replace", {s("a"), kNone, big("100000000000000000000")}, kNone,
       "expected string value, got none"},
  });
}

TEST(StringMethods, JoinAndFormat) {
  VmValue dict = *VmValue::make_dict({{s("k1"), i(1)}, {s("k2"), i(2)}});
  run_cases({
      {s("-"), "join", {s("ab")}, s("a-b")},
      {s("-"), "join", {dict}, s("k1-k2")},
      {s("-"), "join", {strs({})}, s("")},
      {s("-"), "join", {strs({"only"})}, s("only")},
      {s("-"), "join", {list({s("a"), i(1)})}, kNone, "expected string value, got int"},
      {s("-"), "join", {i(1)}, kNone, "value of type int is not iterable"},
      {s("{} and {}"), "format", {i(1), s("x")}, s("1 and x")},
  });
}

TEST(StringMethods, Predicates) {
  run_cases({
      {s(""), "isalpha", {}, b(false)},
      {s(""), "isdigit", {}, b(false)},
      {s(""), "isalnum", {}, b(false)},
      {s(""), "islower", {}, b(false)},
      {s(""), "isascii", {}, b(true)},
      {s("\x7f"), "isascii", {}, b(true)},
      {s("\u0080"), "isascii", {}, b(false)},
      {s("\u00bd\u216b"), "isdigit", {}, b(true)},   // No and Nl count as digits
      {s("\u4e00"), "isdigit", {}, b(false)},         // a numeric ideograph is Lo
      {s("\u216b"), "isalpha", {}, b(true)},          // Nl is Alphabetic
      {s("a\u0345"), "isalpha", {}, b(true)},         // Other_Alphabetic mark
      {s("a\u0301"), "isalpha", {}, b(false)},        // a plain combining accent is not
      {s("x\u00b2"), "isalnum", {}, b(true)},
      {s("x_"), "isalnum", {}, b(false)},
      {s("a1"), "islower", {}, b(true)},
      {s("1"), "islower", {}, b(false)},
      {s("aB"), "islower", {}, b(false)},
      {s("a\u4e2d"), "islower", {}, b(false)},        // an uncased Alphabetic character
      {s("\u00aa\u02b0"), "islower", {}, b(true)},    // Other_Lowercase letters
      {s("\u01c5"), "islower", {}, b(false)},         // title case
  });
}

TEST(StringMethods, CaseMapping) {
  run_cases({
      {s("stra\u00dfe"), "upper", {}, s("STRASSE")},
      {s("\u0130"), "lower", {}, s("i\u0307")},
      {s("\u03a3"), "lower", {}, s("\u03c3")},
      {s("A\u03a3"), "lower", {}, s("a\u03c2")},
      {s("A\u03a3B"), "lower", {}, s("a\u03c3b")},
      {s("A\u03a3'"), "lower", {}, s("a\u03c2'")},
      {s("A'\u03a3"), "lower", {}, s("a'\u03c2")},
      {s("\u03a3A"), "lower", {}, s("\u03c3a")},
      {s("A\u03a3\u0301 b"), "lower", {}, s("a\u03c2\u0301 b")},
      {s("I"), "lower", {}, s("i")},  // root locale: no Turkish dotless i
      {s("i"), "upper", {}, s("I")},
      {s("\ufb03"), "upper", {}, s("FFI")},
      {s("\U00010428"), "upper", {}, s("\U00010400")},
      {s("Hello, World"), "lower", {}, s("hello, world")},
      {s("Hello, World"), "upper", {}, s("HELLO, WORLD")},
  });
}

TEST(StringMethods, ArityAndNames) {
  run_cases({
      {s("a"), "title", {}, kNone, "unsupported str method 'title()'"},
      {s("a"), "Upper", {}, kNone, "unsupported str method 'Upper()'"},
      {s("a"), "", {}, kNone, "unsupported str method '()'"},
      {s("a"), "isascii", {i(1)}, kNone, "str.isascii() expects no arguments"},
      {s("a"), "isalpha", {i(1)}, kNone, "str.isalpha() expects no arguments"},
      {s("a"), "isdigit", {i(1)}, kNone, "str.isdigit() expects no arguments"},
      {s("a"), "isalnum", {i(1)}, kNone, "str.isalnum() expects no arguments"},
      {s("a"), "islower", {i(1)}, kNone, "str.islower() expects no arguments"},
      {s("a"), "lower", {i(1)}, kNone, "str.lower() expects no arguments"},
      {s("a"), "upper", {i(1)}, kNone, "str.upper() expects no arguments"},
      {s("a"), "strip", {kNone, kNone}, kNone, "str.strip() expects zero or one argument"},
      {s("a"), "split", {kNone, kNone, kNone}, kNone, "str.split() expects between zero and two arguments"},
      {s("a"), "replace", {kNone}, kNone, "str.replace() expects two or three arguments"},
      {s("a"), "replace", {kNone, kNone, kNone, kNone}, kNone, "str.replace() expects two or three arguments"},
      {s("a"), "find", {}, kNone, "str.find() expects between one and three arguments"},
      {s("a"), "find", {kNone, kNone, kNone, kNone}, kNone, "str.find() expects between one and three arguments"},
      {s("a"), "startswith", {}, kNone, "str.startswith() expects between one and three arguments"},
      {s("a"), "endswith", {kNone, kNone, kNone, kNone}, kNone,
       "str.endswith() expects between one and three arguments"},
      {s("a"), "join", {}, kNone, "str.join() expects one argument"},
      {s("a"), "join", {kNone, kNone}, kNone, "str.join() expects one argument"},
      {*VmValue::make_bytes("ab"), "hex", {i(1)}, kNone, "bytes.hex() expects no arguments"},
      {*VmValue::make_bytes("ab"), "pop", {}, kNone, "unsupported bytes method 'pop()'"},
      {bytearray("ab"), "hex", {i(1)}, kNone, "bytearray.hex() expects no arguments"},
      {bytearray("ab"), "copy", {i(1)}, kNone, "bytearray.copy() expects no arguments"},
      {bytearray("ab"), "clear", {i(1)}, kNone, "bytearray.clear() expects no arguments"},
      {bytearray("ab"), "append", {}, kNone, "bytearray.append() expects one argument"},
      {bytearray("ab"), "extend", {i(1), i(2)}, kNone, "bytearray.extend() expects one argument"},
      {bytearray("ab"), "pop", {i(1), i(2)}, kNone, "bytearray.pop() accepts at most one argument"},
      {bytearray("ab"), "decode", {}, kNone, "unsupported bytearray method 'decode()'"},
  });
  auto r = call_native_method(s("a"), "upper", {}, std::vector<VmKeywordArg>{{"x", i(1)}});
  ASSERT_FALSE(r.ok());
  EXPECT_EQ(r.error().message, "native method 'upper()' does not accept keyword arguments");
}

TEST(ByteArrayMethods, MutationsAndFailures) {
  const VmValue ab = bytearray("ab");
  auto r = call(ab, "pop", {i(-1)});
  ASSERT_TRUE(r.ok());
  EXPECT_TRUE(r->is_mutated());
  EXPECT_TRUE(r->receiver.eq(bytearray("a")));
  EXPECT_TRUE(r->value.eq(i('b')));
  EXPECT_TRUE(ab.eq(bytearray("ab")));  // the caller's value is untouched

  r = call(ab, "append", {b(true)});
  ASSERT_TRUE(r.ok());
  EXPECT_TRUE(r->receiver.eq(bytearray(std::string("ab\x01", 3))));
  EXPECT_TRUE(r->value.eq(kNone));

  r = call(ab, "copy", {});
  ASSERT_TRUE(r.ok());
  EXPECT_FALSE(r->is_mutated());
  EXPECT_TRUE(r->value.eq(ab));

  run_cases({
      {bytearray(""), "pop", {}, kNone, "pop from empty bytearray"},
      {bytearray(""), "pop", {i(0)}, kNone, "sequence index out of bounds"},
      {bytearray("ab"), "pop", {i(2)}, kNone, "sequence index out of bounds"},
      {bytearray("ab"), "pop", {i(-3)}, kNone, "sequence index out of bounds"},
      {bytearray("ab"), "pop", {kNone}, kNone, "expected int-compatible value, got none"},
      {bytearray("ab"), "extend", {list({i(1), i(300)})}, kNone, "byte must be in range(0, 256)"},
      {bytearray("ab"), "extend", {list({i(1), s("x")})}, kNone, "a bytes-like object is required, not 'str'"},
      {bytearray("ab"), "extend", {i(3)}, kNone, "value of type int is not iterable"},
      {bytearray("ab"), "append", {i(-1)}, kNone, "byte must be in range(0, 256)"},
      {bytearray("ab"), "append", {kNone}, kNone, "a bytes-like object is required, not 'none'"},
      {bytearray("\x01\xff"), "hex", {}, s("01ff")},
  });
}

TEST(StringMethods, SizeLimitsRefuseBeforeBuilding) {
  const std::string mega(1 << 20, 'a');
  const VmValue big_text = *VmValue::make_str(mega);
  const VmValue five(s("aaaaa"));
  auto expect_size_error = [](VmResult<NativeMethodOutcome> r) {
    ASSERT_FALSE(r.ok());
    EXPECT_EQ(r.error().message, "value exceeds the maximum allowed allocation size");
  };
  // 1 MiB of "a" each replaced by five: 5 MiB.
  expect_size_error(call(big_text, "replace", {s("a"), five}));
  expect_size_error(call(big_text, "replace", {s(""), s("xxxx")}));
  // Within the limit with a count.
  auto ok = call(big_text, "replace", {s("a"), five, i(10)});
  ASSERT_TRUE(ok.ok());
  EXPECT_EQ(ok->value.text_size(), mega.size() + 40);
  // A 1 MiB separator between eight items.
  expect_size_error(call(big_text, "join", {s("abcdefgh")}));
  expect_size_error(call(big_text, "join", {strs({"", "", "", "", ""})}));
  ok = call(big_text, "join", {strs({"", "", ""})});
  ASSERT_TRUE(ok.ok());
  EXPECT_EQ(ok->value.text_size(), 2 * mega.size());
  // Hex doubles the size.
  const VmValue big_bytes = *VmValue::make_bytes(std::string(3 << 20, 'x'));
  expect_size_error(call(big_bytes, "hex", {}));
  // Appending to a bytearray at the limit.
  const VmValue full = *VmValue::make_bytearray(std::string(kVmMaxUnits - 1, 'x'));
  expect_size_error(call(full, "append", {i(1)}));
  // Each piece costs a unit of its own: splitting a text just under the
  // limit at every byte gives a list just over it, refused before the
  // pieces are built.
  const VmValue commas = *VmValue::make_str(std::string(kVmMaxUnits - 1, ','));
  expect_size_error(call(commas, "split", {s(",")}));
  ok = call(*VmValue::make_str(std::string(kVmMaxUnits - 3, ',')), "split", {s(","), i(100)});
  ASSERT_TRUE(ok.ok());
  EXPECT_EQ(ok->value.item_count(), 101u);
}

}  // namespace
}  // namespace veln
