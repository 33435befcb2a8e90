// Runtime values written in data files as Python-style literals: None, True,
// False, integers of any size, floats (nan, inf), 'str' and b'bytes' with
// \n \t \r \\ \' \" \xHH \uHHHH escapes, [list], (tuple,), {dict: ...},
// {set} and set(), plus calls for the other kinds: frozenset([...]),
// bytearray(b'..'), D('1.5'), dt(y, m, d[, h, mi, s, us]), td(seconds),
// handle('module'), storage_ref('binding', 'Variable'), foreign_ref('c',
// 'b'), exc('Name', args...), builtin('len'), function_ref('f'),
// type_marker('int'), and text(n) for a str of n 'x'. Test code only: a malformed literal fails the test.
#pragma once

#include <gmpxx.h>
#include <gtest/gtest.h>

#include <cctype>
#include <cmath>
#include <string>
#include <string_view>
#include <vector>

#include "interpreter_support/set_algebra.hpp"
#include "values/vm_datetime.hpp"
#include "values/vm_decimal.hpp"
#include "values/vm_value.hpp"

namespace veln::value_literal {

class Parser {
 public:
  explicit Parser(std::string_view text) : s_(text) {}

  // The whole text as one value; a syntax error is reported to the test.
  VmValue parse_all() {
    VmValue v = value();
    skip();
    if (pos_ != s_.size()) fail("trailing text");
    return v;
  }
  bool failed() const { return failed_; }

 private:
  void fail(const char* why) {
    if (!failed_) ADD_FAILURE() << "bad value literal (" << why << ") at " << pos_ << ": " << s_;
    failed_ = true;
    pos_ = s_.size();
  }
  void skip() {
    while (pos_ < s_.size() && s_[pos_] == ' ') ++pos_;
  }
  bool eat(char c) {
    skip();
    if (pos_ < s_.size() && s_[pos_] == c) {
      ++pos_;
      return true;
    }
    return false;
  }
  void expect(char c) {
    if (!eat(c)) fail("expected punctuation");
  }
  std::string word() {
    skip();
    size_t start = pos_;
    while (pos_ < s_.size() && (std::isalnum(static_cast<unsigned char>(s_[pos_])) || s_[pos_] == '_')) ++pos_;
    return std::string(s_.substr(start, pos_ - start));
  }
  static VmValue unwrap(VmResult<VmValue> r) { return r.ok() ? std::move(r).value() : VmValue::none(); }

  // Items up to `close`, separated by commas (a trailing comma allowed).
  std::vector<VmValue> items(char close) {
    std::vector<VmValue> out;
    while (!eat(close)) {
      if (failed_) return out;
      out.push_back(value());
      if (!eat(',')) {
        expect(close);
        break;
      }
    }
    return out;
  }

  std::string quoted() {
    skip();
    if (pos_ >= s_.size() || (s_[pos_] != '\'' && s_[pos_] != '"')) {
      fail("expected a quote");
      return {};
    }
    const char q = s_[pos_++];
    std::string out;
    while (pos_ < s_.size() && s_[pos_] != q) {
      char c = s_[pos_++];
      if (c != '\\') {
        out += c;
        continue;
      }
      if (pos_ >= s_.size()) break;
      c = s_[pos_++];
      switch (c) {
        case 'n': out += '\n'; break;
        case 't': out += '\t'; break;
        case 'r': out += '\r'; break;
        case 'b': out += '\b'; break;
        case 'f': out += '\f'; break;
        case 'x':
          out += static_cast<char>(std::stoi(std::string(s_.substr(pos_, 2)), nullptr, 16));
          pos_ += 2;
          break;
        case 'u': {
          const unsigned cp = static_cast<unsigned>(std::stoi(std::string(s_.substr(pos_, 4)), nullptr, 16));
          pos_ += 4;
          if (cp < 0x80) {
            out += static_cast<char>(cp);
          } else if (cp < 0x800) {
            out += static_cast<char>(0xC0 | (cp >> 6));
            out += static_cast<char>(0x80 | (cp & 0x3F));
          } else {
            out += static_cast<char>(0xE0 | (cp >> 12));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
          }
          break;
        }
        default: out += c;
      }
    }
    if (pos_ >= s_.size()) fail("unterminated string");
    ++pos_;
    return out;
  }

  VmValue number() {
    size_t start = pos_;
    if (s_[pos_] == '-') ++pos_;
    bool is_float = false;
    while (pos_ < s_.size()) {
      const char c = s_[pos_];
      if (std::isdigit(static_cast<unsigned char>(c))) {
        ++pos_;
      } else if (c == '.' || c == 'e' || c == 'E' || ((c == '-' || c == '+') && (s_[pos_ - 1] == 'e'))) {
        is_float = true;
        ++pos_;
      } else {
        break;
      }
    }
    const std::string text(s_.substr(start, pos_ - start));
    if (text == "-") {
      if (word() == "inf") return VmValue::float64(-INFINITY);
      fail("bad number");
      return {};
    }
    if (is_float) return VmValue::float64(std::strtod(text.c_str(), nullptr));
    return VmValue::integer(mpz_class(text, 10));
  }

  std::vector<VmValue> call_args() {
    expect('(');
    return items(')');
  }
  std::string text_arg(const std::vector<VmValue>& args, size_t i) {
    if (i >= args.size() || !args[i].is(VmKind::String)) {
      fail("expected a str argument");
      return {};
    }
    return std::string(args[i].text());
  }
  int64_t int_arg(const std::vector<VmValue>& args, size_t i) {
    if (i >= args.size()) return 0;
    return args[i].small_int();
  }

  VmValue call(const std::string& name) {
    if (name == "b") {
      std::string bytes = quoted();
      return unwrap(VmValue::make_bytes(std::move(bytes)));
    }
    std::vector<VmValue> args = call_args();
    if (name == "set") return unwrap(VmValue::make_set(*normalize_set_items(std::move(args))));
    if (name == "frozenset") {
      std::vector<VmValue> inner(args.at(0).items().begin(), args.at(0).items().end());
      return unwrap(VmValue::make_frozenset(*normalize_set_items(std::move(inner))));
    }
    if (name == "bytearray") return unwrap(VmValue::make_bytearray(std::string(args.at(0).text())));
    if (name == "D") return VmValue::decimal(*VmDecimal::from_str_literal(text_arg(args, 0)));
    if (name == "dt") {
      auto dt = VmDateTime::make(static_cast<int32_t>(int_arg(args, 0)), static_cast<uint32_t>(int_arg(args, 1)),
                                 static_cast<uint32_t>(int_arg(args, 2)), static_cast<uint32_t>(int_arg(args, 3)),
                                 static_cast<uint32_t>(int_arg(args, 4)), static_cast<uint32_t>(int_arg(args, 5)),
                                 static_cast<uint32_t>(int_arg(args, 6)));
      if (!dt.ok()) fail("bad date-time");
      return dt.ok() ? VmValue::datetime(*dt) : VmValue::none();
    }
    if (name == "text") return VmValue::str(std::string(static_cast<size_t>(int_arg(args, 0)), 'x'));
    if (name == "td") return VmValue::timedelta_seconds(int_arg(args, 0));
    if (name == "handle") return VmValue::contract_handle({text_arg(args, 0), "static_import"});
    if (name == "storage_ref") return VmValue::storage_ref({text_arg(args, 0), text_arg(args, 1)});
    if (name == "foreign_ref") return VmValue::foreign_storage_ref({text_arg(args, 0), text_arg(args, 1), false});
    if (name == "builtin") return VmValue::builtin(text_arg(args, 0));
    if (name == "function_ref") return VmValue::function_ref(text_arg(args, 0));
    if (name == "type_marker") return VmValue::type_marker(text_arg(args, 0));
    if (name == "exc") {
      VmException e{text_arg(args, 0), std::vector<VmValue>(args.begin() + 1, args.end())};
      return unwrap(VmValue::make_exception(std::move(e)));
    }
    fail("unknown call");
    return {};
  }

  VmValue value() {
    skip();
    if (pos_ >= s_.size()) {
      fail("expected a value");
      return {};
    }
    const char c = s_[pos_];
    if (c == '\'' || c == '"') return VmValue::str(quoted());
    if (c == '-' || std::isdigit(static_cast<unsigned char>(c))) return number();
    if (c == '[') {
      ++pos_;
      return unwrap(VmValue::make_list(items(']')));
    }
    if (c == '(') {
      ++pos_;
      return unwrap(VmValue::make_tuple(items(')')));
    }
    if (c == '{') {
      ++pos_;
      return brace();
    }
    const std::string name = word();
    if (name == "None") return VmValue::none();
    if (name == "True") return VmValue::boolean(true);
    if (name == "False") return VmValue::boolean(false);
    if (name == "nan") return VmValue::float64(NAN);
    if (name == "inf") return VmValue::float64(INFINITY);
    if (name.empty()) {
      fail("unexpected character");
      return {};
    }
    return call(name);
  }

  // A dict ({k: v}, {} ) or a set ({v, ...}).
  VmValue brace() {
    if (eat('}')) return unwrap(VmValue::make_dict({}));
    VmValue first = value();
    if (!eat(':')) {
      std::vector<VmValue> rest;
      if (eat(',')) rest = items('}');
      else expect('}');
      rest.insert(rest.begin(), std::move(first));
      return unwrap(VmValue::make_set(*normalize_set_items(std::move(rest))));
    }
    std::vector<VmDictPair> pairs;
    VmValue v = value();
    pairs.push_back({std::move(first), std::move(v)});
    while (eat(',')) {
      if (eat('}')) return unwrap(VmValue::make_dict(std::move(pairs)));
      VmValue k = value();
      expect(':');
      VmValue val = value();
      pairs.push_back({std::move(k), std::move(val)});
    }
    expect('}');
    return unwrap(VmValue::make_dict(std::move(pairs)));
  }

  std::string_view s_;
  size_t pos_ = 0;
  bool failed_ = false;
};

inline VmValue parse(std::string_view text) { return Parser(text).parse_all(); }

}  // namespace veln::value_literal
