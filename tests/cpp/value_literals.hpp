// A reader of Python-like value expressions for data-driven tests:
// literals (None, True, 12, -1.5, inf, nan, 'text' with Python escapes,
// b'bytes', ba'bytearray', d'1.5' decimals, [list], (tuple,), {set},
// {key: value}, s{} and fs{...} sets and frozensets, dt(y, m, d, ...),
// td(seconds), fn'name' function references, rep(x, n) for x repeated
// beyond the repetition limit), bare builtin names as builtin
// values or type markers, + - * ** on them through the engine's operators,
// and calls of builtins name(args, key=value) through call_builtin.
// Test code only: a malformed expression is a test failure.
#pragma once

#include <gtest/gtest.h>
#include <unicode/utf8.h>

#include <charconv>
#include <string>
#include <string_view>
#include <vector>

#include "interpreter/builtins.hpp"
#include "interpreter_support/binary_operators.hpp"
#include "interpreter_support/builtin_names.hpp"
#include "interpreter_support/set_algebra.hpp"
#include "interpreter_support/unary_operators.hpp"
#include "values/vm_datetime.hpp"
#include "values/vm_decimal.hpp"

namespace veln::test_values {

class LiteralReader {
 public:
  LiteralReader(std::string_view text, VmValueCaller& caller) : s_(text), caller_(caller) {}

  // One whole expression; the failure of a builtin call inside it is the
  // result's error.
  VmResult<VmValue> read_all() {
    VmResult<VmValue> v = expr();
    skip();
    if (v.ok() && pos_ != s_.size()) fail("trailing text");
    return v;
  }
  // One expression from the current position, for lines holding several.
  VmResult<VmValue> read_next() {
    VmResult<VmValue> v = expr();
    skip();
    return v;
  }
  bool at_end() const { return pos_ == s_.size(); }

 private:
  std::string_view s_;
  VmValueCaller& caller_;
  size_t pos_ = 0;

  void fail(std::string_view what) { ADD_FAILURE() << what << " at " << pos_ << " in: " << s_; }
  void skip() {
    while (pos_ < s_.size() && s_[pos_] == ' ') ++pos_;
  }
  bool eat(std::string_view token) {
    skip();
    if (s_.substr(pos_, token.size()) != token) return false;
    pos_ += token.size();
    return true;
  }
  void expect(std::string_view token) {
    if (!eat(token)) fail(std::string("expected ") + std::string(token));
  }
  char peek() {
    skip();
    return pos_ < s_.size() ? s_[pos_] : '\0';
  }

  VmResult<VmValue> expr() {
    VELN_TRY(VmValue left, term());
    while (true) {
      if (eat("+")) {
        VELN_TRY(VmValue right, term());
        VELN_TRY(left, apply_binary_operator(BinaryOperator::Add, std::move(left), std::move(right)));
      } else if (peek() == '-' ) {
        ++pos_;
        VELN_TRY(VmValue right, term());
        VELN_TRY(left, apply_binary_operator(BinaryOperator::Sub, std::move(left), std::move(right)));
      } else {
        return left;
      }
    }
  }
  VmResult<VmValue> term() {
    VELN_TRY(VmValue left, unary());
    while (peek() == '*' && s_.substr(pos_, 2) != "**") {
      ++pos_;
      VELN_TRY(VmValue right, unary());
      VELN_TRY(left, apply_binary_operator(BinaryOperator::Mul, std::move(left), std::move(right)));
    }
    return left;
  }
  VmResult<VmValue> unary() {
    if (peek() == '-') {
      ++pos_;
      VELN_TRY(VmValue v, unary());
      return apply_unary_operator(UnaryOperator::Neg, std::move(v));
    }
    VELN_TRY(VmValue base, primary());
    if (!eat("**")) return base;
    VELN_TRY(VmValue exponent, unary());
    return apply_binary_operator(BinaryOperator::Pow, std::move(base), std::move(exponent));
  }

  VmResult<std::vector<VmValue>> items(char close) {
    std::vector<VmValue> out;
    while (peek() != close) {
      VELN_TRY(VmValue v, expr());
      out.push_back(std::move(v));
      if (!eat(",")) break;
    }
    expect(std::string(1, close));
    return out;
  }

  VmResult<VmValue> primary() {
    const char c = peek();
    if (c == '[') {
      ++pos_;
      VELN_TRY(std::vector<VmValue> list, items(']'));
      return VmValue::make_list(std::move(list));
    }
    if (c == '(') {
      ++pos_;
      std::vector<VmValue> out;
      bool comma = false;
      while (peek() != ')') {
        VELN_TRY(VmValue v, expr());
        out.push_back(std::move(v));
        if (!eat(",")) break;
        comma = true;
      }
      expect(")");
      if (out.size() == 1 && !comma) return out.front();
      return VmValue::make_tuple(std::move(out));
    }
    if (c == '{') {
      ++pos_;
      return braces(VmKind::Set, true);
    }
    if (c == '\'' || c == '"') return VmValue::make_str(quoted(false));
    if ((c >= '0' && c <= '9') || c == '.') return number();
    const size_t start = pos_;
    while (pos_ < s_.size() && (std::isalnum(static_cast<unsigned char>(s_[pos_])) || s_[pos_] == '_')) ++pos_;
    const std::string_view word = s_.substr(start, pos_ - start);
    if (pos_ < s_.size() && (s_[pos_] == '\'' || s_[pos_] == '"')) return prefixed(word);
    if (word == "s" && eat("{")) return braces(VmKind::Set, false);
    if (word == "fs" && eat("{")) return braces(VmKind::FrozenSet, false);
    if (word == "None") return VmValue::none();
    if (word == "True" || word == "False") return VmValue::boolean(word == "True");
    if (word == "inf") return VmValue::float64(std::numeric_limits<double>::infinity());
    if (word == "nan") return VmValue::float64(std::numeric_limits<double>::quiet_NaN());
    if (eat("(")) return call(word);
    std::optional<VmValue> named = builtin_name_value(word);
    if (!named) fail("unknown name " + std::string(word));
    return named ? *named : VmValue::none();
  }

  VmResult<VmValue> prefixed(std::string_view prefix) {
    std::string body = quoted(prefix == "b" || prefix == "ba");
    if (prefix == "b") return VmValue::make_bytes(std::move(body));
    if (prefix == "ba") return VmValue::make_bytearray(std::move(body));
    if (prefix == "fn") return VmValue::function_ref(body);
    if (prefix == "d") {
      VELN_TRY(VmDecimal d, VmDecimal::from_str_literal(body));
      return VmValue::decimal(std::move(d));
    }
    fail("unknown prefix");
    return VmValue::none();
  }

  // After "{": a dict when an item is followed by ":" or plain braces are
  // empty; else a set of `kind`.
  VmResult<VmValue> braces(VmKind kind, bool plain) {
    if (plain && eat("}")) return VmValue::make_dict({});
    std::vector<VmValue> keys;
    std::vector<VmDictPair> pairs;
    bool is_dict = false;
    while (peek() != '}') {
      VELN_TRY(VmValue k, expr());
      if (eat(":")) {
        is_dict = true;
        VELN_TRY(VmValue v, expr());
        pairs.push_back({std::move(k), std::move(v)});
      } else {
        keys.push_back(std::move(k));
      }
      if (!eat(",")) break;
    }
    expect("}");
    if (is_dict) return VmValue::make_dict(std::move(pairs));
    VELN_TRY(std::vector<VmValue> normal, normalize_set_items(std::move(keys)));
    return VmValue::make_sequence(kind, std::move(normal));
  }

  VmResult<VmValue> call(std::string_view name) {
    VmArgList args;
    VmKwargList kwargs;
    while (peek() != ')') {
      const size_t mark = pos_;
      size_t end = pos_;
      while (end < s_.size() && (std::isalnum(static_cast<unsigned char>(s_[end])) || s_[end] == '_')) ++end;
      if (end > pos_ && end < s_.size() && s_[end] == '=' && s_.substr(end, 2) != "==") {
        pos_ = end + 1;
        VELN_TRY(VmValue v, expr());
        kwargs.push_back({std::string(s_.substr(mark, end - mark)), std::move(v)});
      } else {
        VELN_TRY(VmValue v, expr());
        args.push_back(std::move(v));
      }
      if (!eat(",")) break;
    }
    expect(")");
    if (name == "dt") {
      int64_t f[7] = {0, 1, 1, 0, 0, 0, 0};
      for (size_t i = 0; i < args.size() && i < 7; ++i) f[i] = args[i].small_int();
      VELN_TRY(VmDateTime d, VmDateTime::make(static_cast<int32_t>(f[0]), static_cast<uint32_t>(f[1]),
                                              static_cast<uint32_t>(f[2]), static_cast<uint32_t>(f[3]),
                                              static_cast<uint32_t>(f[4]), static_cast<uint32_t>(f[5]),
                                              static_cast<uint32_t>(f[6])));
      return VmValue::datetime(std::move(d));
    }
    if (name == "td") return VmValue::timedelta_seconds(args.at(0).small_int());
    if (name == "rep") return repeated(args.at(0), static_cast<size_t>(args.at(1).small_int()));
    return call_builtin(name, std::move(args), std::move(kwargs), caller_);
  }

  // rep(x, n): a text or list n times over, past the 131072 repetition
  // limit (the value size limit still holds).
  static VmResult<VmValue> repeated(const VmValue& x, size_t n) {
    if (x.is(VmKind::List)) {
      std::vector<VmValue> items;
      for (size_t i = 0; i < n; ++i) items.insert(items.end(), x.items().begin(), x.items().end());
      return VmValue::make_list(std::move(items));
    }
    std::string text;
    for (size_t i = 0; i < n; ++i) text += x.text();
    return VmValue::make_text(x.kind(), std::move(text));
  }

  VmResult<VmValue> number() {
    const size_t start = pos_;
    bool is_float = false;
    while (pos_ < s_.size()) {
      const char ch = s_[pos_];
      if (ch == '.' || ch == 'e' || ch == 'E') {
        is_float = true;
      } else if ((ch == '+' || ch == '-') && (s_[pos_ - 1] == 'e' || s_[pos_ - 1] == 'E')) {
      } else if (!(ch >= '0' && ch <= '9')) {
        break;
      }
      ++pos_;
    }
    const std::string text(s_.substr(start, pos_ - start));
    if (!is_float) return VmValue::integer(mpz_class(text));
    double d = 0;
    std::from_chars(text.data(), text.data() + text.size(), d);
    return VmValue::float64(d);
  }

  static int hex_value(char h) {
    if (h >= '0' && h <= '9') return h - '0';
    if (h >= 'a' && h <= 'f') return h - 'a' + 10;
    if (h >= 'A' && h <= 'F') return h - 'A' + 10;
    return -1;
  }
  uint32_t hex_escape(size_t digits) {
    uint32_t v = 0;
    for (size_t i = 0; i < digits; ++i) {
      const int h = pos_ < s_.size() ? hex_value(s_[pos_]) : -1;
      if (h < 0) fail("bad hex escape");
      v = v * 16 + static_cast<uint32_t>(h < 0 ? 0 : h);
      ++pos_;
    }
    return v;
  }
  static void append_utf8(std::string& out, uint32_t cp) {
    char buf[4];
    int32_t length = 0;
    U8_APPEND_UNSAFE(buf, length, static_cast<UChar32>(cp));
    out.append(buf, static_cast<size_t>(length));
  }
  // A quoted text with Python's escapes: \x is a byte in bytes, a code point
  // in text; \u and \U are code points.
  std::string quoted(bool bytes) {
    const char q = s_[pos_++];
    std::string out;
    while (pos_ < s_.size() && s_[pos_] != q) {
      char ch = s_[pos_++];
      if (ch != '\\') {
        out += ch;
        continue;
      }
      ch = s_[pos_++];
      switch (ch) {
        case 'n': out += '\n'; break;
        case 't': out += '\t'; break;
        case 'r': out += '\r'; break;
        case '0': out += '\0'; break;
        case 'x':
          if (bytes) {
            out += static_cast<char>(hex_escape(2));
          } else {
            append_utf8(out, hex_escape(2));
          }
          break;
        case 'u': append_utf8(out, hex_escape(4)); break;
        case 'U': append_utf8(out, hex_escape(8)); break;
        default: out += ch;
      }
    }
    if (pos_ >= s_.size()) fail("unterminated text");
    ++pos_;
    return out;
  }
};

inline VmResult<VmValue> read_value(std::string_view text, VmValueCaller& caller) {
  return LiteralReader(text, caller).read_all();
}

}  // namespace veln::test_values
