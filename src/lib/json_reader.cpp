// The streaming JSON reader. Positions follow one rule: a fault found while
// looking at the next byte is reported just after that byte ("at peek"), a
// fault found after consuming is reported at the current index ("here").
// Free values recurse at most 127 levels (the nesting limit); skipping keeps
// its own bracket stack on the heap and never recurses.
#include "lib/json_reader.hpp"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <fast_float/fast_float.h>

#include "lib/json_float_text.hpp"
#include "values/hex_digits.hpp"

namespace veln {
namespace {

constexpr bool is_digit(int c) { return c >= '0' && c <= '9'; }

// Most numbers are short integers: a text of 1 to 19 digits, not starting
// with 0 and not followed by a fraction or an exponent, cannot overflow and
// is read here, moving `pos` past it; anything else is left (false) to the
// general number reader.
bool read_short_integer(std::string_view text, size_t& pos, std::uint64_t& value) {
  const size_t n = text.size();
  size_t end = pos;
  if (end >= n || text[end] < '1' || text[end] > '9') return false;
  value = 0;
  while (end < n && end - pos < 19 && is_digit(text[end])) value = value * 10 + static_cast<std::uint64_t>(text[end++] - '0');
  const int next = end < n ? static_cast<unsigned char>(text[end]) : 0;
  if (is_digit(next) || next == '.' || next == 'e' || next == 'E') return false;
  pos = end;
  return true;
}

// Bytes a string scan can pass over without a closer look: printable ASCII
// except the quote and the backslash.
struct PlainByteTable {
  bool plain[256];
  constexpr PlainByteTable() : plain() {
    for (int c = 0x20; c < 0x80; ++c) plain[c] = c != '"' && c != '\\';
  }
};
constexpr PlainByteTable kPlain;

// Advances `pos` over plain bytes of `text`, eight at a time while a whole
// word is left. A byte needs a closer look when it is '"', '\\', below 0x20
// or at least 0x80; the zero-byte tests can flag bytes above a real match
// only, so the lowest flagged byte is exact.
// Inlined: it is the whole scan of most strings and keys, shorter than a
// call's own cost.
#if defined(__SSE2__)
// One bit per byte of the sixteen at `at` that needs a closer look: a signed
// compare below 0x20 flags the control characters and every byte from 0x80
// up at once.
[[gnu::always_inline]] inline unsigned special_bytes_of_16(const char* at) {
  const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
  const __m128i special =
      _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(chunk, _mm_set1_epi8('"')), _mm_cmpeq_epi8(chunk, _mm_set1_epi8('\\'))),
                   _mm_cmplt_epi8(chunk, _mm_set1_epi8(0x20)));
  return static_cast<unsigned>(_mm_movemask_epi8(special));
}
#endif

[[gnu::always_inline]] inline size_t skip_plain_bytes(std::string_view text, size_t pos) {
  const size_t n = text.size();
#if defined(__SSE2__)
  while (pos + 16 <= n) {
    const unsigned mask = special_bytes_of_16(text.data() + pos);
    if (mask != 0) return pos + static_cast<size_t>(std::countr_zero(mask));
    pos += 16;
  }
#endif
  if constexpr (std::endian::native == std::endian::little) {
    constexpr std::uint64_t kOnes = 0x0101010101010101ull;
    constexpr std::uint64_t kHighs = 0x8080808080808080ull;
    while (pos + 8 <= n) {
      std::uint64_t w;
      std::memcpy(&w, text.data() + pos, 8);
      const std::uint64_t quote = w ^ (kOnes * '"');
      const std::uint64_t backslash = w ^ (kOnes * '\\');
      const std::uint64_t special = ((quote - kOnes) & ~quote) | ((backslash - kOnes) & ~backslash) |
                                    ((w - kOnes * 0x20) & ~w) | w;
      const std::uint64_t mask = special & kHighs;
      if (mask != 0) return pos + static_cast<size_t>(std::countr_zero(mask) / 8);
      pos += 8;
    }
  }
  while (pos < n && kPlain.plain[static_cast<unsigned char>(text[pos])]) ++pos;
  return pos;
}

// A key's bit among 64 for spotting possible repeats: the length and the
// first, middle and last bytes, mixed so that the keys met together in module
// IR nodes rarely share a bit.
constexpr unsigned key_bit(std::string_view key) noexcept {
  if (key.empty()) return 0;
  const auto byte = [&](size_t i) { return static_cast<unsigned>(static_cast<unsigned char>(key[i])); };
  const unsigned mixed = (byte(0) * 0x9E37u) ^ (byte(key.size() - 1) * 0x85EBu) ^
                         (static_cast<unsigned>(key.size()) * 0xC2B2u) ^ (byte(key.size() / 2) * 0x27D4u);
  return (mixed >> 5) & 63u;
}

void append_utf8(std::string& out, std::uint32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

// Length of the well-formed UTF-8 sequence starting at s[i], or 0.
size_t utf8_sequence_length(std::string_view s, size_t i) {
  const auto at = [&](size_t k) -> unsigned { return k < s.size() ? static_cast<unsigned char>(s[k]) : 0u; };
  const unsigned c = at(i);
  const auto cont = [](unsigned b) { return (b & 0xC0) == 0x80; };
  if (c >= 0xC2 && c <= 0xDF) return cont(at(i + 1)) ? 2 : 0;
  if (c >= 0xE0 && c <= 0xEF) {
    const unsigned b1 = at(i + 1);
    const unsigned lo = c == 0xE0 ? 0xA0 : 0x80;
    const unsigned hi = c == 0xED ? 0x9F : 0xBF;
    return b1 >= lo && b1 <= hi && cont(at(i + 2)) ? 3 : 0;
  }
  if (c >= 0xF0 && c <= 0xF4) {
    const unsigned b1 = at(i + 1);
    const unsigned lo = c == 0xF0 ? 0x90 : 0x80;
    const unsigned hi = c == 0xF4 ? 0x8F : 0xBF;
    return b1 >= lo && b1 <= hi && cont(at(i + 2)) && cont(at(i + 3)) ? 4 : 0;
  }
  return 0;
}

std::string describe_float(double d) {
  std::string out = "floating point `";
  if (d != d) {
    out += "NaN";
  } else if (d == std::numeric_limits<double>::infinity()) {
    out += "inf";
  } else if (d == -std::numeric_limits<double>::infinity()) {
    out += "-inf";
  } else {
    append_json_float_text(out, d);
  }
  out += '`';
  return out;
}

std::string describe_integer(const JsonValue& v) {
  return "integer `" + (v.is_u64() ? std::to_string(v.as_u64()) : std::to_string(v.as_i64())) + "`";
}

}  // namespace

std::string describe_json_string(std::string_view s) {
  std::string out = "string \"";
  for (size_t i = 0; i < s.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    unsigned cp = c;
    size_t len = 1;
    if (c >= 0x80) {
      len = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
      len = std::min(len, s.size() - i);
      // U+0080..U+009F (the C1 controls) are escaped; other characters pass.
      const bool c1 = c == 0xC2 && len == 2 && static_cast<unsigned char>(s[i + 1]) <= 0x9F;
      cp = c1 ? static_cast<unsigned char>(s[i + 1]) : 0x100;
    }
    switch (cp) {
      case 0: out += "\\0"; continue;
      case '\t': out += "\\t"; continue;
      case '\r': out += "\\r"; continue;
      case '\n': out += "\\n"; continue;
      case '"': out += "\\\""; continue;
      case '\\': out += "\\\\"; continue;
      default: break;
    }
    if (cp < 0x20 || (cp >= 0x7F && cp <= 0x9F)) {
      out += "\\u{";
      append_hex_minimal(out, cp);
      out += '}';
      i += len - 1;
      continue;
    }
    out.append(s.data() + i, len);
    i += len - 1;
  }
  out += '"';
  return out;
}

std::string describe_json_value(const JsonValue& v) {
  switch (v.kind()) {
    case JsonKind::null: return "null";
    case JsonKind::boolean: return v.as_bool() ? "boolean `true`" : "boolean `false`";
    case JsonKind::u64:
    case JsonKind::i64: return describe_integer(v);
    case JsonKind::f64: return describe_float(v.as_f64());
    case JsonKind::string: return describe_json_string(v.as_string());
    case JsonKind::array: return "sequence";
    case JsonKind::object: return "map";
  }
  return "map";
}

std::string json_positioned_message(std::string_view text, const JsonReadError& err) {
  const size_t i = std::min(err.index, text.size());
  const std::string_view before = text.substr(0, i);
  const size_t nl = before.rfind('\n');
  const size_t start_of_line = nl == std::string_view::npos ? 0 : nl + 1;
  const size_t line = 1 + static_cast<size_t>(std::count(before.begin(), before.begin() + start_of_line, '\n'));
  return err.reason + " at line " + std::to_string(line) + " column " + std::to_string(i - start_of_line);
}

JsonReadError JsonReader::error_here(std::string reason) const { return JsonReadError{std::move(reason), pos_}; }

JsonReadError JsonReader::error_at_peek(std::string reason) const {
  return JsonReadError{std::move(reason), std::min(pos_ + 1, text_.size())};
}

JsonReadStatus JsonReader::enter_last_level() {
  if (--remaining_depth_ == 0) {
    ++remaining_depth_;
    return error_at_peek("recursion limit exceeded");
  }
  return Ok{};
}

JsonReadStatus JsonReader::parse_ident(std::string_view rest) {
  for (char expected : rest) {
    if (pos_ >= text_.size()) return error_here("EOF while parsing a value");
    if (text_[pos_++] != expected) return error_here("expected ident");
  }
  return Ok{};
}

// After the sign. Integers that fit stay integers; everything else is read
// as a correctly rounded double: beyond the largest double it is an error,
// below the smallest a zero.
JsonReadResult<JsonValue> JsonReader::parse_number(bool positive) {
  const size_t start = pos_;
  const size_t n = text_.size();
  const auto peek = [&]() -> int { return pos_ < n ? static_cast<unsigned char>(text_[pos_]) : 0; };
  if (pos_ >= n) return error_here("EOF while parsing a value");
  if (std::uint64_t value = 0; read_short_integer(text_, pos_, value)) {
    if (positive) return JsonValue::make_u64(value);
    if (value <= (std::uint64_t{1} << 63)) return JsonValue::make_i64(-static_cast<std::int64_t>(value - 1) - 1);
    pos_ = start;  // a negative beyond i64: read again as a float
  }
  const int first = static_cast<unsigned char>(text_[pos_++]);
  std::uint64_t significand = 0;
  bool is_float = false;
  bool nonzero_mantissa = false;
  if (first == '0') {
    if (is_digit(peek())) return error_at_peek("invalid number");
  } else if (first >= '1' && first <= '9') {
    significand = static_cast<std::uint64_t>(first - '0');
    nonzero_mantissa = true;
    while (is_digit(peek())) {
      const auto digit = static_cast<std::uint64_t>(text_[pos_] - '0');
      if (!is_float && (__builtin_mul_overflow(significand, 10u, &significand) ||
                        __builtin_add_overflow(significand, digit, &significand))) {
        is_float = true;
      }
      ++pos_;
    }
  } else {
    return error_here("invalid number");
  }
  if (peek() == '.') {
    ++pos_;
    bool any = false;
    bool leading = !nonzero_mantissa;
    while (is_digit(peek())) {
      if (leading && text_[pos_] != '0') {
        leading = false;
        nonzero_mantissa = true;
      }
      ++pos_;
      any = true;
    }
    if (!any) return pos_ < n ? error_at_peek("invalid number") : error_at_peek("EOF while parsing a value");
    is_float = true;
  }
  if (peek() == 'e' || peek() == 'E') {
    ++pos_;
    bool positive_exp = true;
    if (peek() == '+' || peek() == '-') positive_exp = text_[pos_++] == '+';
    if (pos_ >= n) return error_here("EOF while parsing a value");
    if (!is_digit(static_cast<unsigned char>(text_[pos_++]))) return error_here("invalid number");
    std::int64_t exponent = text_[pos_ - 1] - '0';
    bool saturated = false;
    while (is_digit(peek())) {
      ++pos_;
      if (saturated) continue;
      exponent = exponent * 10 + (text_[pos_ - 1] - '0');
      if (exponent > std::numeric_limits<std::int32_t>::max()) {
        // An exponent beyond 32 bits: out of range unless the number is zero
        // or the exponent negative (then it is a zero).
        if (nonzero_mantissa && positive_exp) return error_here("number out of range");
        saturated = true;
      }
    }
    is_float = true;
  }
  if (!is_float) {
    if (positive) return JsonValue::make_u64(significand);
    if (significand == 0) return JsonValue::make_f64(-0.0);
    if (significand <= (std::uint64_t{1} << 63)) {
      return JsonValue::make_i64(-static_cast<std::int64_t>(significand - 1) - 1);
    }
    return JsonValue::make_f64(-static_cast<double>(significand));
  }
  double d = 0.0;
  const char* b = text_.data() + start;
  const char* e = text_.data() + pos_;
  // Past the double range the reading gives infinity (the text cannot spell
  // it), below it zero, neither reported as an error.
  const auto res = fast_float::from_chars(b, e, d);
  if (res.ec != std::errc() || res.ptr != e) {
    return error_here("invalid number");  // not reached: the grammar was checked above
  }
  if (std::isinf(d)) return error_here("number out of range");
  return JsonValue::make_f64(positive ? d : -d);
}

JsonReadResult<std::uint16_t> JsonReader::decode_hex_escape() {
  if (text_.size() - pos_ < 4) {
    pos_ = text_.size();
    return error_here("EOF while parsing a string");
  }
  int v = 0;
  bool ok = true;
  for (int k = 0; k < 4; ++k) {
    const int h = hex_digit_value(text_[pos_ + static_cast<size_t>(k)]);
    ok = ok && h >= 0;
    v = v * 16 + (h < 0 ? 0 : h);
  }
  pos_ += 4;
  if (!ok) return error_here("invalid escape");
  return static_cast<std::uint16_t>(v);
}

JsonReadStatus JsonReader::parse_unicode_escape(std::string& out) {
  VELN_TRY(const std::uint16_t n1, decode_hex_escape());
  if (n1 >= 0xDC00 && n1 <= 0xDFFF) return error_here("lone leading surrogate in hex escape");
  if (n1 < 0xD800 || n1 > 0xDBFF) {
    append_utf8(out, n1);
    return Ok{};
  }
  // A high surrogate must be followed by an escaped low surrogate.
  if (pos_ >= text_.size()) return error_here("EOF while parsing a string");
  if (text_[pos_++] != '\\') return error_here("unexpected end of hex escape");
  if (pos_ >= text_.size()) return error_here("EOF while parsing a string");
  if (text_[pos_++] != 'u') return error_here("unexpected end of hex escape");
  VELN_TRY(const std::uint16_t n2, decode_hex_escape());
  if (n2 < 0xDC00 || n2 > 0xDFFF) return error_here("lone leading surrogate in hex escape");
  append_utf8(out, ((static_cast<std::uint32_t>(n1) - 0xD800) << 10 | (static_cast<std::uint32_t>(n2) - 0xDC00)) + 0x10000);
  return Ok{};
}

JsonReadStatus JsonReader::parse_escape(std::string& out) {
  if (pos_ >= text_.size()) return error_here("EOF while parsing a string");
  switch (text_[pos_++]) {
    case '"': out += '"'; break;
    case '\\': out += '\\'; break;
    case '/': out += '/'; break;
    case 'b': out += '\b'; break;
    case 'f': out += '\f'; break;
    case 'n': out += '\n'; break;
    case 'r': out += '\r'; break;
    case 't': out += '\t'; break;
    case 'u': return parse_unicode_escape(out);
    default: return error_here("invalid escape");
  }
  return Ok{};
}

// A byte of a string that is neither a quote nor a backslash nor plain
// ASCII: a control character fails, anything else starts a UTF-8 sequence.
JsonReadStatus JsonReader::step_over_string_byte(unsigned char c) {
  if (c < 0x20) {
    ++pos_;
    return error_here("control character (\\u0000-\\u001F) found while parsing a string");
  }
  const size_t len = utf8_sequence_length(text_, pos_);
  if (len == 0) return error_at_peek("invalid unicode code point");
  pos_ += len;
  return Ok{};
}

// After the opening quote.
JsonReadStatus JsonReader::parse_string_into(std::string& out) {
  const size_t n = text_.size();
  size_t run = pos_;
  for (;;) {
    pos_ = skip_plain_bytes(text_, pos_);
    if (pos_ >= n) return error_here("EOF while parsing a string");
    const unsigned char c = static_cast<unsigned char>(text_[pos_]);
    if (c == '"') {
      out.append(text_.data() + run, pos_ - run);
      ++pos_;
      return Ok{};
    }
    if (c == '\\') {
      out.append(text_.data() + run, pos_ - run);
      ++pos_;
      VELN_CHECK(parse_escape(out));
      run = pos_;
      continue;
    }
    VELN_CHECK(step_over_string_byte(c));
  }
}

JsonReadStatus JsonReader::skip_escape() {
  if (pos_ >= text_.size()) return error_here("EOF while parsing a string");
  switch (text_[pos_++]) {
    case '"': case '\\': case '/': case 'b': case 'f': case 'n': case 'r': case 't': return Ok{};
    case 'u': {
      VELN_TRY(const std::uint16_t unused, decode_hex_escape());
      (void)unused;
      return Ok{};
    }
    default: return error_here("invalid escape");
  }
}

JsonReadStatus JsonReader::skip_string() {
  const size_t n = text_.size();
  for (;;) {
    pos_ = skip_plain_bytes(text_, pos_);
    while (pos_ < n && static_cast<unsigned char>(text_[pos_]) >= 0x80) pos_ = skip_plain_bytes(text_, pos_ + 1);
    if (pos_ >= n) return error_here("EOF while parsing a string");
    const char c = text_[pos_];
    if (c == '"') {
      ++pos_;
      return Ok{};
    }
    if (c == '\\') {
      ++pos_;
      VELN_CHECK(skip_escape());
      continue;
    }
    return error_here("control character (\\u0000-\\u001F) found while parsing a string");
  }
}

// Grammar only, after an optional '-'; no range check.
JsonReadStatus JsonReader::skip_number() {
  const size_t n = text_.size();
  const auto peek = [&]() -> int { return pos_ < n ? static_cast<unsigned char>(text_[pos_]) : 0; };
  const auto next_or_null = [&]() -> int { return pos_ < n ? static_cast<unsigned char>(text_[pos_++]) : 0; };
  const int first = next_or_null();
  if (first == '0') {
    if (is_digit(peek())) return error_at_peek("invalid number");
  } else if (first >= '1' && first <= '9') {
    while (is_digit(peek())) ++pos_;
  } else {
    return error_here("invalid number");
  }
  if (peek() == '.') {
    ++pos_;
    bool any = false;
    while (is_digit(peek())) {
      ++pos_;
      any = true;
    }
    if (!any) return error_at_peek("invalid number");
  }
  if (peek() == 'e' || peek() == 'E') {
    ++pos_;
    if (peek() == '+' || peek() == '-') ++pos_;
    if (!is_digit(next_or_null())) return error_here("invalid number");
    while (is_digit(peek())) ++pos_;
  }
  return Ok{};
}

JsonReadStatus JsonReader::skip_value() {
  if (check_skipped) {
    std::string scratch;
    return check_value(scratch);
  }
  // Open brackets below the innermost one; `enclosing` is the innermost one
  // while a member or element is being read.
  std::string stack;
  int enclosing = 0;
  for (;;) {
    const int c = peek_after_whitespace();
    if (c < 0) return error_at_peek("EOF while parsing a value");
    int frame = 0;
    switch (c) {
      case 'n': eat(); VELN_CHECK(parse_ident("ull")); break;
      case 't': eat(); VELN_CHECK(parse_ident("rue")); break;
      case 'f': eat(); VELN_CHECK(parse_ident("alse")); break;
      case '-': eat(); VELN_CHECK(skip_number()); break;
      case '"': eat(); VELN_CHECK(skip_string()); break;
      case '[':
      case '{':
        if (enclosing != 0) stack.push_back(static_cast<char>(enclosing));
        enclosing = 0;
        eat();
        frame = c;
        break;
      default:
        if (!is_digit(c)) return error_at_peek("expected value");
        VELN_CHECK(skip_number());
    }
    bool accept_comma = false;
    if (frame == 0) {
      if (enclosing != 0) {
        frame = enclosing;
        enclosing = 0;
      } else if (!stack.empty()) {
        frame = static_cast<unsigned char>(stack.back());
        stack.pop_back();
      } else {
        return Ok{};
      }
      accept_comma = true;
    }
    // Close as many brackets as follow, or move on to the next element.
    for (;;) {
      const int d = peek_after_whitespace();
      if (d == ',' && accept_comma) {
        eat();
        const int after = peek_after_whitespace();
        if ((after == ']' && frame == '[') || (after == '}' && frame == '{')) return error_at_peek("trailing comma");
        break;
      }
      const bool closes = (d == ']' && frame == '[') || (d == '}' && frame == '{');
      if (!closes) {
        if (d < 0) return error_at_peek(frame == '[' ? "EOF while parsing a list" : "EOF while parsing an object");
        if (accept_comma) return error_at_peek(frame == '[' ? "expected `,` or `]`" : "expected `,` or `}`");
        break;
      }
      eat();
      if (stack.empty()) return Ok{};
      frame = static_cast<unsigned char>(stack.back());
      stack.pop_back();
      accept_comma = true;
    }
    if (frame == '{') {
      const int k = peek_after_whitespace();
      if (k == '"') {
        eat();
      } else {
        return error_at_peek(k < 0 ? "EOF while parsing an object" : "key must be a string");
      }
      VELN_CHECK(skip_string());
      const int colon = peek_after_whitespace();
      if (colon != ':') return error_at_peek(colon < 0 ? "EOF while parsing an object" : "expected `:`");
      eat();
    }
    enclosing = frame;
  }
}

JsonReadResult<bool> JsonReader::has_next_element_general(bool& first) {
  const int c = peek_after_whitespace();
  if (c < 0) return error_at_peek("EOF while parsing a list");
  if (c == ']') return false;
  if (first) {
    first = false;
    return true;
  }
  if (c != ',') return error_at_peek("expected `,` or `]`");
  eat();
  const int d = peek_after_whitespace();
  if (d == ']') return error_at_peek("trailing comma");
  if (d < 0) return error_at_peek("EOF while parsing a value");
  return true;
}

JsonReadStatus JsonReader::end_array_general() {
  const int c = peek_after_whitespace();
  if (c == ']') {
    eat();
    return Ok{};
  }
  if (c == ',') {
    eat();
    return error_at_peek(peek_after_whitespace() == ']' ? "trailing comma" : "trailing characters");
  }
  return error_at_peek(c < 0 ? "EOF while parsing a list" : "trailing characters");
}

JsonReadResult<bool> JsonReader::next_key_general(bool& first, std::string_view& key) {
  int c = peek_after_whitespace();
  if (c == '}') return false;
  if (c < 0) return error_at_peek("EOF while parsing an object");
  if (c == ',' && !first) {
    eat();
    c = peek_after_whitespace();
  } else if (first) {
    first = false;
  } else {
    return error_at_peek("expected `,` or `}`");
  }
  if (c == '"') {
    eat();
    return read_key_after_quote(key);
  }
  if (c == '}') return error_at_peek("trailing comma");
  if (c < 0) return error_at_peek("EOF while parsing a value");
  return error_at_peek("key must be a string");
}

// Keys rarely hold an escape or a non-ASCII byte: such a key is seen in the
// text in one piece.
// The rest of a scan that did not end in its first sixteen bytes; out of
// line, so the usual short string costs no more than one look.
namespace {
[[gnu::noinline]] size_t skip_more_plain_bytes(std::string_view text, size_t pos) {
  return skip_plain_bytes(text, pos);
}

// After the opening quote at `pos`: a string without escapes or non-ASCII
// bytes is seen in `text` and passed (true); anything else is left (false).
// Inlined into the value reader, whose strings are the most frequent.
[[gnu::always_inline]] inline bool plain_string_at(std::string_view text, size_t& pos, std::string_view& bytes) {
  size_t end = pos;
#if defined(__SSE2__)
  if (end + 16 <= text.size()) {
    const unsigned mask = special_bytes_of_16(text.data() + end);
    end = mask != 0 ? end + static_cast<size_t>(std::countr_zero(mask)) : skip_more_plain_bytes(text, end + 16);
  } else {
    end = skip_more_plain_bytes(text, end);
  }
#else
  end = skip_more_plain_bytes(text, end);
#endif
  if (end >= text.size() || text[end] != '"') return false;
  bytes = std::string_view(text.data() + pos, end - pos);
  pos = end + 1;
  return true;
}
}  // namespace

bool JsonReader::plain_string_after_quote(std::string_view& bytes) noexcept {
  return plain_string_at(text_, pos_, bytes);
}

JsonReadResult<bool> JsonReader::read_key_after_quote(std::string_view& key) {
  if (plain_string_after_quote(key)) return true;
  VELN_CHECK(read_string_bytes(key, key_scratch_));
  return true;
}

JsonReadStatus JsonReader::read_string_bytes(std::string_view& out, std::string& decoded) {
  const size_t n = text_.size();
  const size_t start = pos_;
  for (;;) {
    pos_ = skip_plain_bytes(text_, pos_);
    if (pos_ >= n) return error_here("EOF while parsing a string");
    const unsigned char c = static_cast<unsigned char>(text_[pos_]);
    if (c == '"') {
      out = text_.substr(start, pos_ - start);
      ++pos_;
      return Ok{};
    }
    if (c == '\\') {
      // Decoded from the start: the part already passed reads alike.
      pos_ = start;
      decoded.clear();
      VELN_CHECK(parse_string_into(decoded));
      out = decoded;
      return Ok{};
    }
    VELN_CHECK(step_over_string_byte(c));
  }
}

JsonReadStatus JsonReader::expect_colon_general() {
  const int c = peek_after_whitespace();
  if (c == ':') {
    eat();
    return Ok{};
  }
  return error_at_peek(c < 0 ? "EOF while parsing an object" : "expected `:`");
}

JsonReadStatus JsonReader::end_object_general() {
  const int c = peek_after_whitespace();
  if (c == '}') {
    eat();
    return Ok{};
  }
  if (c == ',') return error_at_peek("trailing comma");
  return error_at_peek(c < 0 ? "EOF while parsing an object" : "trailing characters");
}

JsonReadStatus JsonReader::end_document() {
  if (peek_after_whitespace() >= 0) return error_at_peek("trailing characters");
  return Ok{};
}

JsonReadResult<JsonValue> JsonReader::read_value() {
  JsonValue v;
  VELN_CHECK(read_value_into(v));
  return v;
}

// Mirrors read_value_into step by step, so both accept the same texts.
JsonReadStatus JsonReader::check_value(std::string& scratch) {
  const int c = peek_after_whitespace();
  switch (c) {
    case -1: return error_at_peek("EOF while parsing a value");
    case 'n': eat(); return parse_ident("ull");
    case 't': eat(); return parse_ident("rue");
    case 'f': eat(); return parse_ident("alse");
    case '-': {
      eat();
      VELN_CHECK(parse_number(false));
      return Ok{};
    }
    case '"': {
      eat();
      std::string_view unused;
      return read_string_bytes(unused, scratch);
    }
    case '[': {
      VELN_CHECK(enter_level());
      eat();
      bool first = true;
      for (;;) {
        VELN_TRY(const bool more, has_next_element(first));
        if (!more) break;
        VELN_CHECK(check_value(scratch));
      }
      VELN_CHECK(end_array());
      leave_level();
      return Ok{};
    }
    case '{': {
      VELN_CHECK(enter_level());
      eat();
      bool first = true;
      for (;;) {
        std::string_view key;
        VELN_TRY(const bool more, next_key(first, key));
        if (!more) break;
        VELN_CHECK(expect_colon());
        VELN_CHECK(check_value(scratch));
      }
      VELN_CHECK(end_object());
      leave_level();
      return Ok{};
    }
    default:
      if (is_digit(c)) {
        VELN_CHECK(parse_number(true));
        return Ok{};
      }
      return error_at_peek("expected value");
  }
}

// Source spans make up a third of a module's text, nearly always written in
// that exact form: the numbers are those the general path reads (integers
// without sign, fraction or exponent, short enough not to overflow).
bool JsonReader::read_compact_span(std::uint64_t (&values)[4]) {
  if (remaining_depth_ <= 1) return false;
  // Room for the longest such span (every number of 19 digits) and the byte
  // after it, so nothing below checks for the end of the text; a span that
  // ends closer to the end of the text is left to the general path.
  constexpr std::ptrdiff_t kLongest = 38 + 4 * 19 + 1;
  const char* at = text_.data() + pos_;
  if (text_.data() + text_.size() - at <= kLongest) return false;
  // The literal text, then a number. The literals' sizes are constants, so
  // each comparison is a few loads. What follows a number is the next
  // literal or the closing brace, so a fraction, an exponent or a
  // twentieth digit fails the next comparison.
  const auto field = [&]<size_t N>(const char (&literal)[N], std::uint64_t& value) {
    if (std::memcmp(at, literal, N - 1) != 0) return false;
    at += N - 1;
    if (*at == '0') {
      ++at;
      value = 0;
      return true;
    }
    std::uint64_t v = 0;
    const char* const first = at;
    for (const char* const limit = at + 19; at != limit; ++at) {
      const unsigned digit = static_cast<unsigned char>(*at) - unsigned{'0'};
      if (digit > 9) break;
      v = v * 10 + digit;
    }
    value = v;
    return at != first;
  };
  if (!field("{\"line\":", values[0]) || !field(",\"col\":", values[1]) || !field(",\"end_line\":", values[2]) ||
      !field(",\"end_col\":", values[3]) || *at != '}') {
    return false;
  }
  pos_ = static_cast<size_t>(at - text_.data()) + 1;
  return true;
}

// The keys are seen in static text.
bool JsonReader::read_compact_span(JsonValue& out) {
  static constexpr std::string_view kKeys[4] = {"line", "col", "end_line", "end_col"};
  std::uint64_t values[4];
  if (!read_compact_span(values)) return false;
  JsonValue::Entry* entries = arena->allocate_for<JsonValue::Entry>(4);
  for (size_t i = 0; i < 4; ++i) new (entries + i) JsonValue::Entry{kKeys[i], JsonValue::make_u64(values[i])};
  // As the general path leaves it: in text order, since no two of these
  // keys share a bit.
  static_assert([] {
    std::uint64_t bits = 0;
    for (std::string_view key : kKeys) {
      const std::uint64_t bit = std::uint64_t{1} << key_bit(key);
      if ((bits & bit) != 0) return false;
      bits |= bit;
    }
    return true;
  }());
  out = JsonValue::borrowed_span(entries);
  return true;
}

JsonReadStatus JsonReader::read_value_into(JsonValue& out) {
  const int c = peek_after_whitespace();
  switch (c) {
    case -1: return error_at_peek("EOF while parsing a value");
    case 'n': eat(); return parse_ident("ull");
    case 't': eat(); out = JsonValue::make_bool(true); return parse_ident("rue");
    case 'f': eat(); out = JsonValue::make_bool(false); return parse_ident("alse");
    case '-': {
      eat();
      VELN_TRY(out, parse_number(false));
      return Ok{};
    }
    case '"': {
      eat();
      std::string_view bytes;
      if (!plain_string_at(text_, pos_, bytes)) VELN_CHECK(read_string_bytes(bytes, string_scratch_));
      const std::string_view kept = keep(bytes, string_scratch_);
      out = JsonValue::borrowed_string(kept.data(), kept.size());
      return Ok{};
    }
    case '[': {
      VELN_CHECK(enter_level());
      eat();
      // Deeper levels use other buffers.
      std::vector<JsonValue>& elements = scratch(element_scratch_);
      elements.clear();
      bool first = true;
      for (;;) {
        VELN_TRY(const bool more, has_next_element(first));
        if (!more) break;
        elements.emplace_back();
        VELN_CHECK(read_value_into(elements.back()));
      }
      VELN_CHECK(end_array());
      const size_t n = elements.size();
      JsonValue* items = arena->allocate_for<JsonValue>(n);
      for (size_t i = 0; i < n; ++i) new (items + i) JsonValue(std::move(elements[i]));
      out = JsonValue::borrowed_array(items, n);
      elements.clear();
      leave_level();
      return Ok{};
    }
    case '{': {
      // Only a span starts {"l.
      if (text_.size() - pos_ > 2 && text_[pos_ + 2] == 'l' && read_compact_span(out)) return Ok{};
      VELN_CHECK(enter_level());
      eat();
      std::vector<JsonValue::Entry>& members = scratch(member_scratch_);
      members.clear();
      bool first = true;
      // One bit per key length and end bytes: a key whose bit is already set
      // may repeat an earlier one, and only then are the keys compared (by
      // sorting them).
      std::uint64_t key_bits = 0;
      bool may_repeat = false;
      for (;;) {
        std::string_view key;
        VELN_TRY(const bool more, next_key(first, key));
        if (!more) break;
        const std::uint64_t bit = std::uint64_t{1} << key_bit(key);
        may_repeat |= (key_bits & bit) != 0;
        key_bits |= bit;
        members.push_back(JsonValue::Entry{keep(key, key_scratch_), JsonValue()});
        VELN_CHECK(expect_colon());
        VELN_CHECK(read_value_into(members.back().second));
      }
      VELN_CHECK(end_object());
      size_t n = members.size();
      JsonValue::Entry* entries = arena->allocate_for<JsonValue::Entry>(n);
      for (size_t i = 0; i < n; ++i) new (entries + i) JsonValue::Entry{members[i].first, std::move(members[i].second)};
      const bool sorted = may_repeat || n > JsonValue::kTextOrderMembers;
      if (sorted) n = JsonValue::normalize_entries(entries, n);
      out = JsonValue::borrowed_object(entries, n, sorted);
      members.clear();
      leave_level();
      return Ok{};
    }
    default:
      if (is_digit(c)) {
        if (std::uint64_t value = 0; read_short_integer(text_, pos_, value)) {
          out = JsonValue::make_u64(value);
          return Ok{};
        }
        VELN_TRY(out, parse_number(true));
        return Ok{};
      }
      return error_at_peek("expected value");
  }
}

JsonReadError JsonReader::invalid_type_here(std::string_view expected) {
  std::string found;
  const int c = peek_after_whitespace();
  switch (c) {
    case 'n':
    case 't':
    case 'f': {
      eat();
      auto st = parse_ident(c == 'n' ? "ull" : c == 't' ? "rue" : "alse");
      if (!st.ok()) return std::move(st).error();
      found = c == 'n' ? "null" : c == 't' ? "boolean `true`" : "boolean `false`";
      break;
    }
    case '"': {
      eat();
      std::string s;
      auto st = parse_string_into(s);
      if (!st.ok()) return std::move(st).error();
      found = describe_json_string(s);
      break;
    }
    case '[': found = "sequence"; break;
    case '{': found = "map"; break;
    default: {
      if (c != '-' && !is_digit(c)) return error_at_peek("expected value");
      if (c == '-') eat();
      auto num = parse_number(c != '-');
      if (!num.ok()) return std::move(num).error();
      found = describe_json_value(*num);
    }
  }
  return error_here("invalid type: " + found + ", expected " + std::string(expected));
}

JsonReadStatus JsonReader::read_string_into(std::string& out) {
  const int c = peek_after_whitespace();
  if (c < 0) return error_at_peek("EOF while parsing a value");
  if (c != '"') return invalid_type_here("a string");
  eat();
  std::string_view bytes;
  if (!plain_string_after_quote(bytes)) VELN_CHECK(read_string_bytes(bytes, string_scratch_));
  out.assign(bytes);
  return Ok{};
}

JsonReadStatus JsonReader::read_optional_string_into(std::optional<std::string>& out) {
  VELN_TRY(const bool is_null, read_null_if_present());
  if (is_null) {
    out.reset();
    return Ok{};
  }
  return read_string_into(out.emplace());
}

JsonReadResult<bool> JsonReader::read_null_if_present() {
  if (peek_after_whitespace() != 'n') return false;
  eat();
  VELN_CHECK(parse_ident("ull"));
  return true;
}

JsonReadResult<std::uint64_t> JsonReader::read_u64() {
  const int c = peek_after_whitespace();
  if (c < 0) return error_at_peek("EOF while parsing a value");
  if (c != '-' && !is_digit(c)) return invalid_type_here("u64");
  if (std::uint64_t value = 0; read_short_integer(text_, pos_, value)) return value;
  if (c == '-') eat();
  VELN_TRY(JsonValue num, parse_number(c != '-'));
  if (num.is_u64()) return num.as_u64();
  if (num.is_i64()) return error_here("invalid value: " + describe_integer(num) + ", expected u64");
  return error_here("invalid type: " + describe_float(num.as_f64()) + ", expected u64");
}

// Read in an arena of its own, then copied out: the value owns its storage.
Result<JsonValue, std::string> read_json_value(std::string_view text) {
  JsonArena arena;
  JsonReader reader(text);
  reader.arena = &arena;
  auto value = reader.read_value();
  if (!value.ok()) return json_positioned_message(text, value.error());
  auto end = reader.end_document();
  if (!end.ok()) return json_positioned_message(text, end.error());
  return JsonValue(value.value());
}

}  // namespace veln
