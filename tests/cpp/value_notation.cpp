// A recursive-descent reader of the value notation (value_notation.hpp). Its
// arithmetic is its own (GMP for ints, plain concatenation for texts and
// sequences) so that expected values never depend on the operators under test.
#include "value_notation.hpp"

#include <cctype>
#include <cmath>
#include <cstdlib>

#include <unicode/utf8.h>

#include "interpreter_support/sets/set_algebra.hpp"
#include "values/vm_datetime.hpp"
#include "values/vm_decimal.hpp"

namespace veln::notation {
namespace {

bool is_word_char(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '.'; }

void append_utf8(std::string& out, uint32_t cp) {
  char buf[U8_MAX_LENGTH];
  int32_t n = 0;
  U8_APPEND_UNSAFE(buf, n, cp);
  out.append(buf, static_cast<size_t>(n));
}

bool is_text(const VmValue& v) { return v.is(VmKind::String) || v.is(VmKind::Bytes) || v.is(VmKind::ByteArray); }
bool is_items(const VmValue& v) { return v.is(VmKind::List) || v.is(VmKind::Tuple); }

VmResult<VmValue> repeat(const VmValue& what, const VmValue& count) {
  const int64_t n = count.int_is_small() ? count.small_int() : -1;
  if (n < 0) return vm_error("notation: repeat count must be a small non-negative int");
  if (is_text(what)) {
    std::string out;
    for (int64_t i = 0; i < n; ++i) out += what.text();
    return VmValue::make_text(what.kind(), std::move(out));
  }
  std::vector<VmValue> out;
  for (int64_t i = 0; i < n; ++i) out.insert(out.end(), what.items().begin(), what.items().end());
  return VmValue::make_sequence(what.kind(), std::move(out));
}

// The arithmetic of the notation: ints, and texts or sequences of one kind.
VmResult<VmValue> arithmetic(char op, const VmValue& a, const VmValue& b) {
  if (a.is(VmKind::Int) && b.is(VmKind::Int)) {
    const mpz_class x = a.int_to_mpz(), y = b.int_to_mpz();
    switch (op) {
      case '+': return VmValue::integer(mpz_class(x + y));
      case '-': return VmValue::integer(mpz_class(x - y));
      case '*': return VmValue::integer(mpz_class(x * y));
      default: {
        if (y < 0 || y > 100000000) return vm_error("notation: bad exponent");
        mpz_class r;
        mpz_pow_ui(r.get_mpz_t(), x.get_mpz_t(), y.get_ui());
        return VmValue::integer(std::move(r));
      }
    }
  }
  if (op == '*' && b.is(VmKind::Int) && (is_text(a) || is_items(a))) return repeat(a, b);
  if (op == '*' && a.is(VmKind::Int) && (is_text(b) || is_items(b))) return repeat(b, a);
  if (op == '+' && a.kind() == b.kind() && is_text(a)) {
    return VmValue::make_text(a.kind(), std::string(a.text()) + std::string(b.text()));
  }
  if (op == '+' && a.kind() == b.kind() && is_items(a)) {
    std::vector<VmValue> out(a.items().begin(), a.items().end());
    out.insert(out.end(), b.items().begin(), b.items().end());
    return VmValue::make_sequence(a.kind(), std::move(out));
  }
  return vm_error(std::string("notation: unsupported ") + op + " on " + std::string(a.type_name()) + " and " +
                  std::string(b.type_name()));
}

}  // namespace

VmResult<VmValue> NotationReader::operate(char op, const VmValue& a, const VmValue& b) {
  if (evaluator_) return evaluator_->operate(op, a, b);
  return arithmetic(op, a, b);
}

VmExecutionError NotationReader::fail(std::string_view what) const {
  return vm_error("notation: " + std::string(what) + " at column " + std::to_string(pos_ + 1) + " of '" +
                  std::string(text_) + "'");
}

char NotationReader::peek() { return at_end() ? '\0' : text_[pos_]; }

bool NotationReader::at_end() {
  while (pos_ < text_.size() && std::isspace(static_cast<unsigned char>(text_[pos_]))) ++pos_;
  return pos_ >= text_.size();
}

bool NotationReader::consume(std::string_view token) {
  if (at_end() || text_.substr(pos_, token.size()) != token) return false;
  pos_ += token.size();
  return true;
}

std::string_view NotationReader::word() {
  at_end();
  const size_t start = pos_;
  while (pos_ < text_.size() && is_word_char(text_[pos_])) ++pos_;
  return text_.substr(start, pos_ - start);
}

VmResult<VmValue> NotationReader::term() { return sum(); }

// Binary + and - stand between spaces; "-5" after a space starts a new term
// (terms of a case line are separated by white space only).
VmResult<VmValue> NotationReader::sum() {
  VELN_TRY(VmValue left, product());
  while (true) {
    const char c = peek();
    if (c != '+' && (c != '-' || text_.substr(pos_, 2) == "->")) return left;
    const bool space_before = pos_ > 0 && text_[pos_ - 1] == ' ';
    const bool space_after = pos_ + 1 < text_.size() && text_[pos_ + 1] == ' ';
    if (space_before && !space_after) return left;  // the sign of the next term
    if (space_before != space_after) return fail("binary + and - need spaces around them or none");
    ++pos_;
    VELN_TRY(const VmValue right, product());
    VELN_TRY(left, operate(c, left, right));
  }
}

VmResult<VmValue> NotationReader::product() {
  VELN_TRY(VmValue left, unary());
  while (peek() == '*' && text_.substr(pos_, 2) != "**") {
    ++pos_;
    VELN_TRY(const VmValue right, unary());
    VELN_TRY(left, operate('*', left, right));
  }
  return left;
}

// As in Python, ** binds tighter than a sign on its left: -2**2 is -4.
VmResult<VmValue> NotationReader::power() {
  VELN_TRY(const VmValue base, atom());
  if (!consume("**")) return base;
  VELN_TRY(const VmValue exponent, unary());
  return operate('^', base, exponent);
}

VmResult<VmValue> NotationReader::unary() {
  if (!consume("-")) return power();
  VELN_TRY(const VmValue v, unary());
  if (evaluator_) return evaluator_->operate('n', v, VmValue::none());
  if (v.is(VmKind::Int)) return VmValue::integer(mpz_class(-v.int_to_mpz()));
  if (v.is(VmKind::Float)) return VmValue::float64(-v.float_value());
  return fail("'-' before a " + std::string(v.type_name()));
}

VmResult<VmValue> NotationReader::atom() {
  const char c = peek();
  if (std::isdigit(static_cast<unsigned char>(c)) || c == '.') return number();
  if (c == '\'' || c == '"') {
    VELN_TRY(std::string text, quoted(false));
    return VmValue::make_str(std::move(text));
  }
  if (c == 'b' && pos_ + 1 < text_.size() && (text_[pos_ + 1] == '\'' || text_[pos_ + 1] == '"')) {
    ++pos_;
    VELN_TRY(std::string bytes, quoted(true));
    return VmValue::make_bytes(std::move(bytes));
  }
  if (c == '[') {
    ++pos_;
    VELN_TRY(std::vector<VmValue> list, items(']'));
    return VmValue::make_list(std::move(list));
  }
  if (c == '(') {
    ++pos_;
    if (consume(")")) return VmValue::make_tuple({});
    VELN_TRY(VmValue first, term());
    if (consume(")")) return first;  // a parenthesised term
    if (!consume(",")) return fail("expected ',' or ')'");
    VELN_TRY(std::vector<VmValue> rest, items(')'));
    rest.insert(rest.begin(), std::move(first));
    return VmValue::make_tuple(std::move(rest));
  }
  if (c == '{') {
    ++pos_;
    return braces();
  }
  const std::string_view name = word();
  if (pos_ < text_.size() && (text_[pos_] == '\'' || text_[pos_] == '"')) return prefixed(name);
  if ((name == "s" || name == "fs") && consume("{")) return set_braces(name == "s" ? VmKind::Set : VmKind::FrozenSet);
  if (name == "None") return VmValue::none();
  if (name == "True" || name == "False") return VmValue::boolean(name == "True");
  if (name == "inf") return VmValue::float64(HUGE_VAL);
  if (name == "nan") return VmValue::float64(std::nan(""));
  if (!name.empty() && consume("(")) return call(name);
  if (evaluator_ && !name.empty()) {
    if (std::optional<VmValue> named = evaluator_->name(name)) return std::move(*named);
  }
  return fail(name.empty() ? "expected a value" : "unknown name '" + std::string(name) + "'");
}

// The short forms ba'..', d'..' and fn'..'.
VmResult<VmValue> NotationReader::prefixed(std::string_view prefix) {
  if (prefix != "ba" && prefix != "d" && prefix != "fn") return fail("unknown prefix '" + std::string(prefix) + "'");
  VELN_TRY(std::string body, quoted(prefix == "ba"));
  if (prefix == "ba") return VmValue::make_bytearray(std::move(body));
  if (prefix == "fn") return VmValue::function_ref(body);
  VELN_TRY(VmDecimal d, VmDecimal::from_str_literal(body));
  return VmValue::decimal(std::move(d));
}

// After s{ or fs{: the items of a set of `kind`.
VmResult<VmValue> NotationReader::set_braces(VmKind kind) {
  VELN_TRY(std::vector<VmValue> items, items('}'));
  VELN_TRY(std::vector<VmValue> canonical, normalize_set_items(std::move(items)));
  return VmValue::make_sequence(kind, std::move(canonical));
}

VmResult<VmValue> NotationReader::number() {
  const size_t start = pos_;
  bool is_float = false;
  while (pos_ < text_.size()) {
    const char c = text_[pos_];
    if (c == '.' || c == 'e' || c == 'E') {
      is_float = true;
    } else if ((c == '+' || c == '-') && (text_[pos_ - 1] == 'e' || text_[pos_ - 1] == 'E')) {
    } else if (!std::isdigit(static_cast<unsigned char>(c))) {
      break;
    }
    ++pos_;
  }
  const std::string digits(text_.substr(start, pos_ - start));
  if (is_float) {
    char* end = nullptr;
    const double d = std::strtod(digits.c_str(), &end);
    if (end != digits.c_str() + digits.size()) return fail("bad float " + digits);
    return VmValue::float64(d);
  }
  return VmValue::integer(mpz_class(digits, 10));
}

VmResult<std::string> NotationReader::quoted(bool bytes) {
  const char quote = text_[pos_++];
  std::string out;
  while (pos_ < text_.size() && text_[pos_] != quote) {
    char c = text_[pos_++];
    if (c != '\\') {
      out += c;
      continue;
    }
    if (pos_ >= text_.size()) break;
    c = text_[pos_++];
    size_t hex_digits = 0;
    switch (c) {
      case 'n': out += '\n'; break;
      case 'r': out += '\r'; break;
      case 't': out += '\t'; break;
      case '0': out += '\0'; break;
      case 'a': out += '\a'; break;
      case 'b': out += '\b'; break;
      case 'f': out += '\f'; break;
      case 'v': out += '\v'; break;
      case 'x': hex_digits = 2; break;
      case 'u': hex_digits = bytes ? 0 : 4; break;
      case 'U': hex_digits = bytes ? 0 : 8; break;
      default: out += c; break;  // \\ \' \" and any other character as itself
    }
    if ((c == 'u' || c == 'U') && bytes) return fail("\\u in bytes");
    if (hex_digits == 0) continue;
    const std::string hex(text_.substr(pos_, hex_digits));
    char* end = nullptr;
    const unsigned long cp = std::strtoul(hex.c_str(), &end, 16);
    if (hex.size() != hex_digits || end != hex.c_str() + hex_digits) return fail("bad escape");
    if ((cp >= 0xD800 && cp < 0xE000) || cp > 0x10FFFF) return fail("bad code point");
    pos_ += hex_digits;
    if (bytes) out += static_cast<char>(cp);
    else append_utf8(out, static_cast<uint32_t>(cp));
  }
  if (pos_ >= text_.size()) return fail("unterminated quote");
  ++pos_;
  return out;
}

VmResult<std::vector<VmValue>> NotationReader::items(char close) {
  std::vector<VmValue> out;
  while (!consume(std::string_view(&close, 1))) {
    VELN_TRY(VmValue item, term());
    out.push_back(std::move(item));
    if (!consume(",") && peek() != close) return fail(std::string("expected ',' or '") + close + "'");
  }
  return out;
}

VmResult<VmValue> NotationReader::braces() {
  if (consume("}")) return VmValue::make_dict({});
  VELN_TRY(VmValue first, term());
  if (!consume(":")) {
    std::vector<VmValue> rest;
    if (consume(",")) {
      VELN_TRY(rest, items('}'));
    } else if (!consume("}")) {
      return fail("expected ',', ':' or '}'");
    }
    rest.insert(rest.begin(), std::move(first));
    VELN_TRY(std::vector<VmValue> canonical, normalize_set_items(std::move(rest)));
    return VmValue::make_set(std::move(canonical));
  }
  std::vector<VmDictPair> pairs;
  VmValue key = std::move(first);
  while (true) {
    VELN_TRY(VmValue value, term());
    pairs.push_back({std::move(key), std::move(value)});
    if (consume("}")) break;
    if (!consume(",")) return fail("expected ',' or '}'");
    if (consume("}")) break;
    VELN_TRY(key, term());
    if (!consume(":")) return fail("expected ':'");
  }
  return VmValue::make_dict(std::move(pairs));
}

VmResult<VmValue> NotationReader::call(std::string_view name) {
  std::vector<VmValue> args;
  VmKwargList kwargs;
  while (!consume(")")) {
    at_end();
    size_t end = pos_;
    while (end < text_.size() && (std::isalnum(static_cast<unsigned char>(text_[end])) || text_[end] == '_')) ++end;
    if (end > pos_ && end < text_.size() && text_[end] == '=' && text_.substr(end, 2) != "==") {
      std::string key(text_.substr(pos_, end - pos_));
      pos_ = end + 1;
      VELN_TRY(VmValue value, term());
      kwargs.push_back({std::move(key), std::move(value)});
    } else {
      VELN_TRY(VmValue item, term());
      args.push_back(std::move(item));
    }
    if (!consume(",") && peek() != ')') return fail("expected ',' or ')'");
  }
  if (evaluator_) {
    if (auto result = evaluator_->call(name, args, std::move(kwargs))) return std::move(*result);
  } else if (!kwargs.empty()) {
    return fail("key=value outside a call of the code under test");
  }
  // The short forms of older data files.
  static constexpr std::pair<std::string_view, std::string_view> kAliases[] = {
      {"D", "Decimal"},       {"dt", "datetime"}, {"td", "timedelta"},     {"storage_ref", "storage"},
      {"function_ref", "function"}, {"type_marker", "type"}, {"foreign_ref", "foreign"}};
  for (const auto& [alias, full] : kAliases) {
    if (name == alias) name = full;
  }
  if (name == "rep") return repeat(args.at(0), args.at(1));
  if (name == "text") return VmValue::make_str(std::string(static_cast<size_t>(args.at(0).small_int()), 'x'));
  if (name == "handle") return VmValue::contract_handle({std::string(args.at(0).text()), "static_import"});
  if (name == "exc") {
    return VmValue::make_exception({std::string(args.at(0).text()), std::vector<VmValue>(args.begin() + 1, args.end())});
  }
  const auto text = [&](size_t i) { return std::string(args.at(i).text()); };
  const auto u32 = [&](size_t i, uint32_t absent = 0) {
    return i < args.size() ? static_cast<uint32_t>(args[i].small_int()) : absent;
  };
  if (name == "Decimal") {
    VELN_TRY(VmDecimal d, VmDecimal::from_str_literal(text(0)));
    return VmValue::decimal(std::move(d));
  }
  if (name == "datetime") {
    VELN_TRY(const VmDateTime dt, VmDateTime::make(static_cast<int32_t>(args.at(0).small_int()), u32(1, 1), u32(2, 1),
                                                   u32(3), u32(4), u32(5), u32(6)));
    return VmValue::datetime(dt);
  }
  if (name == "datetime_ns") {
    const auto dt = VmDateTime::from_day_time(args.at(0).small_int(), u32(1), u32(2));
    if (!dt) return fail("bad datetime_ns");
    return VmValue::datetime(*dt);
  }
  if (name == "timedelta") return VmValue::timedelta_seconds(args.at(0).small_int());
  if (name == "bytearray") return VmValue::make_bytearray(args.empty() ? std::string() : text(0));
  if (name == "str") return VmValue::make_str(text(0));
  if (name == "set" || name == "frozenset") {
    std::vector<VmValue> items;
    if (!args.empty()) items.assign(args[0].items().begin(), args[0].items().end());
    VELN_TRY(std::vector<VmValue> canonical, normalize_set_items(std::move(items)));
    return VmValue::make_sequence(name == "set" ? VmKind::Set : VmKind::FrozenSet, std::move(canonical));
  }
  if (name == "contract") return VmValue::contract_handle({text(0), text(1)});
  if (name == "storage") return VmValue::storage_ref({text(0), text(1)});
  if (name == "foreign") return VmValue::foreign_storage_ref({text(0), text(1), args.size() > 2 && args[2].bool_value()});
  if (name == "event") return VmValue::make_event_ref({text(0), text(1), args.at(2)});
  if (name == "builtin") return VmValue::builtin(text(0));
  if (name == "function") return VmValue::function_ref(text(0));
  if (name == "type") return VmValue::type_marker(text(0));
  if (std::isupper(static_cast<unsigned char>(name[0]))) return VmValue::make_exception({std::string(name), args});
  return fail("unknown call '" + std::string(name) + "'");
}

VmResult<VmValue> parse_value(std::string_view text, NotationEvaluator* evaluator) {
  NotationReader reader(text, evaluator);
  VELN_TRY(VmValue v, reader.term());
  if (!reader.at_end()) return vm_error("notation: trailing text '" + std::string(reader.rest()) + "'");
  return v;
}

}  // namespace veln::notation
