// The strftime-style parser. It reproduces the parsing rules of the calendar
// library the format language comes from: numeric fields skip leading white
// space and read up to their width, %Y/%G alone take a sign and any length,
// white space in the format matches any run of (Unicode) white space, every
// field may be given twice only with the same value, and the collected fields
// are resolved into one date and one time of day (a timestamp may stand in
// for both). Every failure is the same "no match"; the caller owns the
// message. No locale, no time zone, no allocation.
#include "interpreter_support/datetime_format_parser.hpp"

#include <array>
#include <cstdint>

namespace veln {
namespace {

constexpr int64_t kNanosPerSecond = 1'000'000'000;
constexpr int64_t kSecondsPerDay = 86400;

int64_t floor_div(int64_t a, int64_t b) {
  const int64_t q = a / b;
  return (a % b != 0 && ((a < 0) != (b < 0))) ? q - 1 : q;
}

// ---------------------------------------------------------------------------
// Text scanning

// Byte length of the Unicode White_Space character starting at s[pos], or 0.
std::size_t whitespace_length(std::string_view s, std::size_t pos) {
  const auto at = [&](std::size_t i) -> unsigned { return i < s.size() ? static_cast<unsigned char>(s[i]) : 0u; };
  const unsigned c = at(pos);
  if (c < 0x80) return (c == ' ' || (c >= 0x09 && c <= 0x0d)) ? 1 : 0;
  const unsigned b1 = at(pos + 1), b2 = at(pos + 2);
  switch (c) {
    case 0xC2:  // U+0085, U+00A0
      return (b1 == 0x85 || b1 == 0xA0) ? 2 : 0;
    case 0xE1:  // U+1680
      return (b1 == 0x9A && b2 == 0x80) ? 3 : 0;
    case 0xE2:  // U+2000..U+200A, U+2028, U+2029, U+202F, U+205F
      if (b1 == 0x80 && ((b2 >= 0x80 && b2 <= 0x8A) || b2 == 0xA8 || b2 == 0xA9 || b2 == 0xAF)) return 3;
      return (b1 == 0x81 && b2 == 0x9F) ? 3 : 0;
    case 0xE3:  // U+3000
      return (b1 == 0x80 && b2 == 0x80) ? 3 : 0;
    default:
      return 0;
  }
}

std::size_t skip_whitespace(std::string_view s, std::size_t pos) {
  while (pos < s.size()) {
    const std::size_t n = whitespace_length(s, pos);
    if (n == 0) break;
    pos += n;
  }
  return pos;
}

char ascii_lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

bool equals_ignore_ascii_case(std::string_view a, std::string_view lower) {
  if (a.size() != lower.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (ascii_lower(a[i]) != lower[i]) return false;
  }
  return true;
}

// ---------------------------------------------------------------------------
// Fields collected while parsing

enum class Field : std::uint8_t {
  kYear, kYearDiv100, kYearMod100, kIsoYear, kIsoYearDiv100, kIsoYearMod100, kQuarter, kMonth,
  kWeekFromSun, kWeekFromMon, kIsoWeek, kWeekday /* Monday 0 .. Sunday 6 */, kOrdinal, kDay,
  kHourDiv12, kHourMod12, kMinute, kSecond, kNanosecond, kTimestamp, kOffset, kCount
};

class Fields {
 public:
  // A field may be set again only with the same value.
  bool set(Field f, int64_t v) {
    auto& slot = slots_[static_cast<std::size_t>(f)];
    if (slot && *slot != v) return false;
    slot = v;
    return true;
  }
  std::optional<int64_t> get(Field f) const { return slots_[static_cast<std::size_t>(f)]; }

 private:
  std::array<std::optional<int64_t>, static_cast<std::size_t>(Field::kCount)> slots_{};
};

// What a numeric directive reads and where it goes.
enum class Numeric : std::uint8_t {
  kYear, kYearDiv100, kYearMod100, kIsoYear, kIsoYearDiv100, kIsoYearMod100, kQuarter, kMonth, kDay,
  kWeekFromSun, kWeekFromMon, kIsoWeek, kNumDaysFromSun, kWeekdayFromMon, kOrdinal, kHour, kHour12,
  kMinute, kSecond, kNanosecond, kTimestamp
};

struct NumericRule {
  std::size_t width;  // most digits read without a sign
  bool signed_field;  // may start with "+" or "-" and then take any length
  Field field;
  int64_t min, max;
};

constexpr std::size_t kUnlimited = SIZE_MAX;

constexpr NumericRule kNumericRules[] = {
    /* kYear */ {4, true, Field::kYear, INT32_MIN, INT32_MAX},
    /* kYearDiv100 */ {2, false, Field::kYearDiv100, 0, INT32_MAX},
    /* kYearMod100 */ {2, false, Field::kYearMod100, 0, 99},
    /* kIsoYear */ {4, true, Field::kIsoYear, INT32_MIN, INT32_MAX},
    /* kIsoYearDiv100 */ {2, false, Field::kIsoYearDiv100, 0, INT32_MAX},
    /* kIsoYearMod100 */ {2, false, Field::kIsoYearMod100, 0, 99},
    /* kQuarter */ {1, false, Field::kQuarter, 1, 4},
    /* kMonth */ {2, false, Field::kMonth, 1, 12},
    /* kDay */ {2, false, Field::kDay, 1, 31},
    /* kWeekFromSun */ {2, false, Field::kWeekFromSun, 0, 53},
    /* kWeekFromMon */ {2, false, Field::kWeekFromMon, 0, 53},
    /* kIsoWeek */ {2, false, Field::kIsoWeek, 1, 53},
    /* kNumDaysFromSun */ {1, false, Field::kWeekday, 0, 6},
    /* kWeekdayFromMon */ {1, false, Field::kWeekday, 1, 7},
    /* kOrdinal */ {3, false, Field::kOrdinal, 1, 366},
    /* kHour */ {2, false, Field::kHourMod12, 0, 23},
    /* kHour12 */ {2, false, Field::kHourMod12, 1, 12},
    /* kMinute */ {2, false, Field::kMinute, 0, 59},
    /* kSecond */ {2, false, Field::kSecond, 0, 60},
    /* kNanosecond */ {9, false, Field::kNanosecond, 0, kNanosPerSecond - 1},
    /* kTimestamp */ {kUnlimited, false, Field::kTimestamp, INT64_MIN, INT64_MAX},
};

// The non-numeric directives.
enum class Fixed : std::uint8_t {
  kShortMonth, kLongMonth, kShortWeekday, kLongWeekday, kAmPm, kZoneName, kOffset, kOffsetPermissive,
  kFractionDot, kFraction3, kFraction6, kFraction9, kRfc3339, kPercent, kSpace
};

enum class DirectiveKind : std::uint8_t { kInvalid, kNumeric, kFixed, kComposite };

struct Directive {
  DirectiveKind kind = DirectiveKind::kInvalid;
  Numeric numeric = Numeric::kYear;
  Fixed fixed = Fixed::kPercent;
  const char* expansion = nullptr;  // composites: the format they stand for
};

constexpr Directive numeric(Numeric n) { return {DirectiveKind::kNumeric, n, Fixed::kPercent, nullptr}; }
constexpr Directive fixed(Fixed f) { return {DirectiveKind::kFixed, Numeric::kYear, f, nullptr}; }
constexpr Directive composite(const char* e) { return {DirectiveKind::kComposite, Numeric::kYear, Fixed::kPercent, e}; }

// Single-character directives, indexed by the character after "%" (and the
// optional padding flag). The multi-character ones ("%.3f", "%:z", "%#z",
// "%6f") are recognised by the tokenizer before this table is consulted.
constexpr std::array<Directive, 128> make_directive_table() {
  std::array<Directive, 128> t{};
  t['Y'] = numeric(Numeric::kYear);
  t['C'] = numeric(Numeric::kYearDiv100);
  t['y'] = numeric(Numeric::kYearMod100);
  t['G'] = numeric(Numeric::kIsoYear);
  t['g'] = numeric(Numeric::kIsoYearMod100);
  t['V'] = numeric(Numeric::kIsoWeek);
  t['q'] = numeric(Numeric::kQuarter);
  t['m'] = numeric(Numeric::kMonth);
  t['d'] = numeric(Numeric::kDay);
  t['e'] = numeric(Numeric::kDay);
  t['j'] = numeric(Numeric::kOrdinal);
  t['U'] = numeric(Numeric::kWeekFromSun);
  t['W'] = numeric(Numeric::kWeekFromMon);
  t['w'] = numeric(Numeric::kNumDaysFromSun);
  t['u'] = numeric(Numeric::kWeekdayFromMon);
  t['H'] = numeric(Numeric::kHour);
  t['k'] = numeric(Numeric::kHour);
  t['I'] = numeric(Numeric::kHour12);
  t['l'] = numeric(Numeric::kHour12);
  t['M'] = numeric(Numeric::kMinute);
  t['S'] = numeric(Numeric::kSecond);
  t['f'] = numeric(Numeric::kNanosecond);
  t['s'] = numeric(Numeric::kTimestamp);
  t['b'] = fixed(Fixed::kShortMonth);
  t['h'] = fixed(Fixed::kShortMonth);
  t['B'] = fixed(Fixed::kLongMonth);
  t['a'] = fixed(Fixed::kShortWeekday);
  t['A'] = fixed(Fixed::kLongWeekday);
  t['p'] = fixed(Fixed::kAmPm);
  t['P'] = fixed(Fixed::kAmPm);
  t['Z'] = fixed(Fixed::kZoneName);
  t['z'] = fixed(Fixed::kOffset);
  t['+'] = fixed(Fixed::kRfc3339);
  t['%'] = fixed(Fixed::kPercent);
  t['t'] = fixed(Fixed::kSpace);
  t['n'] = fixed(Fixed::kSpace);
  t['D'] = composite("%m/%d/%y");
  t['x'] = composite("%m/%d/%y");
  t['F'] = composite("%Y-%m-%d");
  t['v'] = composite("%e-%b-%Y");
  t['R'] = composite("%H:%M");
  t['T'] = composite("%H:%M:%S");
  t['X'] = composite("%H:%M:%S");
  t['r'] = composite("%I:%M:%S %p");
  t['c'] = composite("%a %b %e %H:%M:%S %Y");
  return t;
}

constexpr std::array<Directive, 128> kDirectives = make_directive_table();

constexpr std::string_view kShortMonths[12] = {"jan", "feb", "mar", "apr", "may", "jun",
                                               "jul", "aug", "sep", "oct", "nov", "dec"};
constexpr std::string_view kMonthSuffixes[12] = {"uary", "ruary", "ch",     "il",   "",      "e",
                                                 "y",    "ust",   "tember", "ober", "ember", "ember"};
constexpr std::string_view kShortWeekdays[7] = {"mon", "tue", "wed", "thu", "fri", "sat", "sun"};
constexpr std::string_view kWeekdaySuffixes[7] = {"day", "sday", "nesday", "rsday", "day", "urday", "day"};

constexpr int64_t kFractionScale[10] = {0, 100'000'000, 10'000'000, 1'000'000, 100'000, 10'000, 1'000, 100, 10, 1};

// ---------------------------------------------------------------------------
// Matching the text against the format

class Matcher {
 public:
  explicit Matcher(std::string_view text) : text_(text) {}

  bool run(std::string_view format);
  bool at_end() const { return pos_ == text_.size(); }
  const Fields& fields() const { return fields_; }

 private:
  bool apply(const Directive& d);
  bool read_number(std::size_t min, std::size_t max, int64_t& out, std::size_t* consumed = nullptr);
  bool apply_numeric(Numeric n);
  bool set_numeric(Numeric n, int64_t v);
  bool apply_fixed(Fixed f);
  // Index of the three-letter name at the text position (case-insensitive),
  // then the rest of the long name when allow_long and it follows.
  bool read_name(const std::string_view (&shorts)[12], const std::string_view (&suffixes)[12], bool allow_long,
                 int& index);
  bool read_weekday(bool allow_long, int& index);
  bool read_offset(bool allow_zulu, bool allow_missing_minutes);
  bool read_rfc3339();
  std::size_t remaining() const { return text_.size() - pos_; }

  std::string_view text_;
  std::size_t pos_ = 0;
  Fields fields_;
};

bool Matcher::run(std::string_view format) {
  std::size_t i = 0;
  while (i < format.size()) {
    const std::size_t ws = whitespace_length(format, i);
    if (ws != 0) {
      i = skip_whitespace(format, i);
      pos_ = skip_whitespace(text_, pos_);
      continue;
    }
    const char c = format[i];
    if (c != '%') {
      if (pos_ >= text_.size() || text_[pos_] != c) return false;
      ++pos_;
      ++i;
      continue;
    }
    // A directive: "%", an optional padding flag, then the specifier.
    ++i;
    bool padded = false;
    if (i < format.size() && (format[i] == '-' || format[i] == '_' || format[i] == '0')) {
      padded = true;
      ++i;
    }
    if (i >= format.size()) return false;
    const std::string_view rest = format.substr(i);
    Directive d;
    std::size_t used = 1;
    if (rest.starts_with(".f") || rest.starts_with(".3f") || rest.starts_with(".6f") || rest.starts_with(".9f")) {
      d = fixed(Fixed::kFractionDot);
      used = rest[1] == 'f' ? 2 : 3;
    } else if (rest.starts_with("3f") || rest.starts_with("6f") || rest.starts_with("9f")) {
      d = fixed(rest[0] == '3' ? Fixed::kFraction3 : rest[0] == '6' ? Fixed::kFraction6 : Fixed::kFraction9);
      used = 2;
    } else if (rest.starts_with(":z") || rest.starts_with("::z") || rest.starts_with(":::z")) {
      d = fixed(Fixed::kOffset);
      used = rest.find('z') + 1;
    } else if (rest.starts_with("#z")) {
      d = fixed(Fixed::kOffsetPermissive);
      used = 2;
    } else {
      const auto spec = static_cast<unsigned char>(rest[0]);
      if (spec >= kDirectives.size()) return false;
      d = kDirectives[spec];
    }
    // Padding changes nothing when parsing, but only numeric fields take it.
    if (d.kind == DirectiveKind::kInvalid || (padded && d.kind != DirectiveKind::kNumeric)) return false;
    i += used;
    if (!apply(d)) return false;
  }
  return true;
}

bool Matcher::apply(const Directive& d) {
  switch (d.kind) {
    case DirectiveKind::kNumeric:
      return apply_numeric(d.numeric);
    case DirectiveKind::kFixed:
      return apply_fixed(d.fixed);
    case DirectiveKind::kComposite:
      return run(d.expansion);
    case DirectiveKind::kInvalid:
      break;
  }
  return false;
}

bool Matcher::read_number(std::size_t min, std::size_t max, int64_t& out, std::size_t* consumed) {
  const std::size_t avail = remaining();
  if (avail < min) return false;
  const std::size_t limit = max < avail ? max : avail;
  int64_t n = 0;
  std::size_t i = 0;
  for (; i < limit; ++i) {
    const char c = text_[pos_ + i];
    if (c < '0' || c > '9') {
      if (i < min) return false;
      break;
    }
    if (__builtin_mul_overflow(n, 10, &n) || __builtin_add_overflow(n, c - '0', &n)) return false;
  }
  pos_ += i;
  out = n;
  if (consumed) *consumed = i;
  return true;
}

bool Matcher::apply_numeric(Numeric n) {
  const NumericRule& rule = kNumericRules[static_cast<std::size_t>(n)];
  pos_ = skip_whitespace(text_, pos_);
  int64_t v = 0;
  if (rule.signed_field && pos_ < text_.size() && (text_[pos_] == '-' || text_[pos_] == '+')) {
    const bool negative = text_[pos_] == '-';
    ++pos_;
    if (!read_number(1, kUnlimited, v)) return false;
    if (negative) v = -v;  // v >= 0, so this cannot overflow
  } else if (!read_number(1, rule.width, v)) {
    return false;
  }
  return set_numeric(n, v);
}

bool Matcher::set_numeric(Numeric n, int64_t v) {
  const NumericRule& rule = kNumericRules[static_cast<std::size_t>(n)];
  if (v < rule.min || v > rule.max) return false;
  switch (n) {
    case Numeric::kHour:
      return fields_.set(Field::kHourDiv12, v / 12) && fields_.set(Field::kHourMod12, v % 12);
    case Numeric::kHour12:
      return fields_.set(Field::kHourMod12, v % 12);
    case Numeric::kNumDaysFromSun:
      return fields_.set(Field::kWeekday, (v + 6) % 7);
    case Numeric::kWeekdayFromMon:
      return fields_.set(Field::kWeekday, v - 1);
    default:
      return fields_.set(rule.field, v);
  }
}

bool Matcher::read_name(const std::string_view (&shorts)[12], const std::string_view (&suffixes)[12],
                        bool allow_long, int& index) {
  if (remaining() < 3) return false;
  const std::string_view head = text_.substr(pos_, 3);
  for (int k = 0; k < 12; ++k) {
    if (shorts[k].empty() || !equals_ignore_ascii_case(head, shorts[k])) continue;
    pos_ += 3;
    const std::string_view suffix = suffixes[k];
    if (allow_long && remaining() >= suffix.size() &&
        equals_ignore_ascii_case(text_.substr(pos_, suffix.size()), suffix)) {
      pos_ += suffix.size();
    }
    index = k;
    return true;
  }
  return false;
}

bool Matcher::read_weekday(bool allow_long, int& index) {
  static constexpr std::string_view shorts[12] = {kShortWeekdays[0], kShortWeekdays[1], kShortWeekdays[2],
                                                  kShortWeekdays[3], kShortWeekdays[4], kShortWeekdays[5],
                                                  kShortWeekdays[6]};
  static constexpr std::string_view suffixes[12] = {kWeekdaySuffixes[0], kWeekdaySuffixes[1], kWeekdaySuffixes[2],
                                                    kWeekdaySuffixes[3], kWeekdaySuffixes[4], kWeekdaySuffixes[5],
                                                    kWeekdaySuffixes[6]};
  return read_name(shorts, suffixes, allow_long, index);
}

// A UTC offset: sign ("+", "-" or U+2212), two hour digits, optional colons
// or white space, two minute digits (00-59). It is read and then ignored.
bool Matcher::read_offset(bool allow_zulu, bool allow_missing_minutes) {
  if (allow_zulu && pos_ < text_.size() && (text_[pos_] == 'Z' || text_[pos_] == 'z')) {
    ++pos_;
    return fields_.set(Field::kOffset, 0);
  }
  bool negative = false;
  if (pos_ >= text_.size()) return false;
  if (text_[pos_] == '+' || text_[pos_] == '-') {
    negative = text_[pos_] == '-';
    ++pos_;
  } else if (text_.substr(pos_).starts_with("\xE2\x88\x92")) {
    negative = true;
    pos_ += 3;
  } else {
    return false;
  }
  const auto digit = [&](std::size_t i) { return text_[pos_ + i] >= '0' && text_[pos_ + i] <= '9'; };
  if (remaining() < 2 || !digit(0) || !digit(1)) return false;
  const int64_t hours = (text_[pos_] - '0') * 10 + (text_[pos_ + 1] - '0');
  pos_ += 2;
  while (pos_ < text_.size()) {
    if (text_[pos_] == ':') {
      ++pos_;
      continue;
    }
    const std::size_t ws = whitespace_length(text_, pos_);
    if (ws == 0) break;
    pos_ += ws;
  }
  int64_t minutes = 0;
  if (remaining() >= 2) {
    if (text_[pos_] < '0' || text_[pos_] > '5' || !digit(1)) return false;
    minutes = (text_[pos_] - '0') * 10 + (text_[pos_ + 1] - '0');
    pos_ += 2;
  } else if (!allow_missing_minutes || remaining() == 1) {
    return false;
  }
  const int64_t seconds = hours * 3600 + minutes * 60;
  return fields_.set(Field::kOffset, negative ? -seconds : seconds);
}

// RFC 3339 with the relaxations of %+: "t" or a space may separate date and
// time, white space may surround the colons and precede the offset, and the
// offset may be "Z" or "UTC".
bool Matcher::read_rfc3339() {
  if (!run("%Y -%m -%d")) return false;
  if (pos_ >= text_.size() || (text_[pos_] != 'T' && text_[pos_] != 't' && text_[pos_] != ' ')) return false;
  ++pos_;
  if (!run("%H :%M :%S%.f ")) return false;
  pos_ = skip_whitespace(text_, pos_);
  if (remaining() >= 3 && equals_ignore_ascii_case(text_.substr(pos_, 3), "utc")) {
    pos_ += 3;
    return fields_.set(Field::kOffset, 0);
  }
  return read_offset(true, false);
}

bool Matcher::apply_fixed(Fixed f) {
  switch (f) {
    case Fixed::kShortMonth:
    case Fixed::kLongMonth: {
      int month0 = 0;
      return read_name(kShortMonths, kMonthSuffixes, f == Fixed::kLongMonth, month0) &&
             fields_.set(Field::kMonth, month0 + 1);
    }
    case Fixed::kShortWeekday:
    case Fixed::kLongWeekday: {
      int weekday = 0;
      return read_weekday(f == Fixed::kLongWeekday, weekday) && fields_.set(Field::kWeekday, weekday);
    }
    case Fixed::kAmPm: {
      if (remaining() < 2) return false;
      const char a = ascii_lower(text_[pos_]), m = ascii_lower(text_[pos_ + 1]);
      if ((a != 'a' && a != 'p') || m != 'm') return false;
      pos_ += 2;
      return fields_.set(Field::kHourDiv12, a == 'p' ? 1 : 0);
    }
    case Fixed::kZoneName:
      while (pos_ < text_.size() && whitespace_length(text_, pos_) == 0) ++pos_;
      return true;
    case Fixed::kOffset:
      pos_ = skip_whitespace(text_, pos_);
      return read_offset(false, false);
    case Fixed::kOffsetPermissive:
      pos_ = skip_whitespace(text_, pos_);
      return read_offset(true, true);
    case Fixed::kFractionDot: {
      if (pos_ >= text_.size() || text_[pos_] != '.') return true;  // the fraction is optional
      ++pos_;
      int64_t v = 0;
      std::size_t digits = 0;
      if (!read_number(1, 9, v, &digits)) return false;
      while (pos_ < text_.size() && text_[pos_] >= '0' && text_[pos_] <= '9') ++pos_;  // beyond nanoseconds
      return fields_.set(Field::kNanosecond, v * kFractionScale[digits]);
    }
    case Fixed::kFraction3:
    case Fixed::kFraction6:
    case Fixed::kFraction9: {
      const std::size_t digits = f == Fixed::kFraction3 ? 3 : f == Fixed::kFraction6 ? 6 : 9;
      int64_t v = 0;
      return read_number(digits, digits, v) && fields_.set(Field::kNanosecond, v * kFractionScale[digits]);
    }
    case Fixed::kRfc3339:
      return read_rfc3339();
    case Fixed::kPercent:
      if (pos_ >= text_.size() || text_[pos_] != '%') return false;
      ++pos_;
      return true;
    case Fixed::kSpace:
      pos_ = skip_whitespace(text_, pos_);
      return true;
  }
  return false;
}

// ---------------------------------------------------------------------------
// Resolving the fields

enum class Outcome : std::uint8_t { kOk, kNotEnough, kFailed };

bool year_in_range(int64_t y) { return y >= VmDateTime::kMinYear && y <= VmDateTime::kMaxYear; }
int64_t year_length(int64_t y) { return is_leap_year(y) ? 366 : 365; }
int64_t weekday_of(int64_t day) { return ((day + 3) % 7 + 7) % 7; }  // 1970-01-01 was a Thursday

struct IsoWeek {
  int64_t year, week;
};
IsoWeek iso_week_of(int64_t day) {
  const int64_t thursday = day - weekday_of(day) + 3;
  const int64_t year = civil_from_days(thursday).year;
  return {year, (thursday - days_from_civil(year, 1, 1)) / 7 + 1};
}
int64_t iso_weeks_in_year(int64_t year) {
  const int64_t jan1 = weekday_of(days_from_civil(year, 1, 1));
  return (jan1 == 3 || (jan1 == 2 && is_leap_year(year))) ? 53 : 52;
}

// Days from weekday `from` forward to weekday `to` (both Monday 0).
int64_t days_from(int64_t to, int64_t from) { return (to - from + 7) % 7; }

struct YearOutcome {
  Outcome outcome;
  std::optional<int64_t> year;
};

// A full year from the year, its century and its last two digits, any of
// which may be missing; two digits alone follow the 1970-2069 pivot.
YearOutcome resolve_year(std::optional<int64_t> y, std::optional<int64_t> q, std::optional<int64_t> r) {
  if (!q && !r) return {Outcome::kOk, y};
  if (y) {
    if (*y < 0) return {Outcome::kFailed, {}};
    const bool agrees = q.value_or(*y / 100) == *y / 100 && r.value_or(*y % 100) == *y % 100;
    return {agrees ? Outcome::kOk : Outcome::kFailed, y};
  }
  if (q && r) return {Outcome::kOk, *q * 100 + *r};  // q < 2^31, so no overflow
  if (r) return {Outcome::kOk, *r + (*r < 70 ? 2000 : 1900)};
  return {Outcome::kNotEnough, {}};
}

struct DateOutcome {
  Outcome outcome;
  int64_t day = 0;
};

class Resolver {
 public:
  explicit Resolver(const Fields& f) : f_(f) {}

  DateOutcome date() const;
  // Seconds of the day and the fraction (a leap second as second 59 with a
  // fraction of one second or more).
  Outcome time(uint32_t& seconds, uint32_t& nanos) const;

 private:
  bool matches(Field field, int64_t actual) const { return f_.get(field).value_or(actual) == actual; }
  // Century and last two digits must be absent for a negative year.
  bool matches_split_year(Field div, Field mod, int64_t year) const {
    if (year < 0) return !f_.get(div) && !f_.get(mod);
    return matches(div, year / 100) && matches(mod, year % 100);
  }
  bool verify_ymd(int64_t day) const {
    const CivilDate c = civil_from_days(day);
    return matches(Field::kYear, c.year) && matches_split_year(Field::kYearDiv100, Field::kYearMod100, c.year) &&
           matches(Field::kMonth, c.month) && matches(Field::kDay, c.day);
  }
  bool verify_iso_week_date(int64_t day) const {
    const IsoWeek w = iso_week_of(day);
    return matches(Field::kIsoYear, w.year) &&
           matches_split_year(Field::kIsoYearDiv100, Field::kIsoYearMod100, w.year) &&
           matches(Field::kIsoWeek, w.week) && matches(Field::kWeekday, weekday_of(day));
  }
  bool verify_ordinal(int64_t day) const {
    const int64_t year = civil_from_days(day).year;
    const int64_t ordinal = day - days_from_civil(year, 1, 1) + 1;
    const int64_t wd = weekday_of(day);
    return matches(Field::kOrdinal, ordinal) && matches(Field::kWeekFromSun, (ordinal - days_from(wd, 6) + 6) / 7) &&
           matches(Field::kWeekFromMon, (ordinal - days_from(wd, 0) + 6) / 7);
  }
  // Day of the year's week `week` (week 1 starts on the first `start` day).
  std::optional<int64_t> week_date(int64_t year, int64_t week, int64_t weekday, int64_t start) const {
    if (!year_in_range(year)) return std::nullopt;
    const int64_t jan1 = days_from_civil(year, 1, 1);
    const int64_t first_week_start = 1 + days_from(start, weekday_of(jan1));
    const int64_t ordinal = first_week_start + (week - 1) * 7 + days_from(weekday, start);
    if (ordinal <= 0) return std::nullopt;
    return jan1 + ordinal - 1;
  }

  const Fields& f_;
};

DateOutcome Resolver::date() const {
  const YearOutcome year = resolve_year(f_.get(Field::kYear), f_.get(Field::kYearDiv100), f_.get(Field::kYearMod100));
  if (year.outcome != Outcome::kOk) return {year.outcome};
  const YearOutcome isoyear =
      resolve_year(f_.get(Field::kIsoYear), f_.get(Field::kIsoYearDiv100), f_.get(Field::kIsoYearMod100));
  if (isoyear.outcome != Outcome::kOk) return {isoyear.outcome};
  const auto month = f_.get(Field::kMonth), day = f_.get(Field::kDay), ordinal = f_.get(Field::kOrdinal);
  const auto weekday = f_.get(Field::kWeekday);
  const auto week_sun = f_.get(Field::kWeekFromSun), week_mon = f_.get(Field::kWeekFromMon);
  const auto isoweek = f_.get(Field::kIsoWeek);

  std::optional<int64_t> resolved;
  bool verified = false;
  if (year.year && month && day) {
    if (!year_in_range(*year.year) || *day > days_in_month(*year.year, static_cast<uint32_t>(*month))) {
      return {Outcome::kFailed};
    }
    resolved = days_from_civil(*year.year, static_cast<uint32_t>(*month), static_cast<uint32_t>(*day));
    verified = verify_iso_week_date(*resolved) && verify_ordinal(*resolved);
  } else if (year.year && ordinal) {
    if (!year_in_range(*year.year) || *ordinal > year_length(*year.year)) return {Outcome::kFailed};
    resolved = days_from_civil(*year.year, 1, 1) + *ordinal - 1;
    verified = verify_ymd(*resolved) && verify_iso_week_date(*resolved) && verify_ordinal(*resolved);
  } else if (year.year && (week_sun || week_mon) && weekday) {
    resolved = week_sun ? week_date(*year.year, *week_sun, *weekday, 6) : week_date(*year.year, *week_mon, *weekday, 0);
    if (!resolved) return {Outcome::kFailed};
    verified = verify_ymd(*resolved) && verify_iso_week_date(*resolved) && verify_ordinal(*resolved);
  } else if (isoyear.year && isoweek && weekday) {
    // Week 1 is the week holding January 4th.
    if (*isoweek > iso_weeks_in_year(*isoyear.year)) return {Outcome::kFailed};
    const int64_t jan4 = days_from_civil(*isoyear.year, 1, 4);
    resolved = jan4 - weekday_of(jan4) + (*isoweek - 1) * 7 + *weekday;
    verified = verify_ymd(*resolved) && verify_ordinal(*resolved);
  } else {
    return {Outcome::kNotEnough};
  }
  if (*resolved < VmDateTime::min_day_number() || *resolved > VmDateTime::max_day_number()) return {Outcome::kFailed};
  if (!verified) return {Outcome::kFailed};
  if (const auto quarter = f_.get(Field::kQuarter)) {
    if (*quarter != (civil_from_days(*resolved).month - 1) / 3 + 1) return {Outcome::kFailed};
  }
  return {Outcome::kOk, *resolved};
}

Outcome Resolver::time(uint32_t& seconds, uint32_t& nanos) const {
  const auto div12 = f_.get(Field::kHourDiv12), mod12 = f_.get(Field::kHourMod12), minute = f_.get(Field::kMinute);
  if (!div12 || !mod12 || !minute) return Outcome::kNotEnough;
  const auto second = f_.get(Field::kSecond), nano = f_.get(Field::kNanosecond);
  int64_t sec = second.value_or(0);
  int64_t frac = 0;
  if (sec == 60) {  // a leap second: second 59 and one more second of fraction
    sec = 59;
    frac = kNanosPerSecond;
  }
  if (nano) {
    if (!second) return Outcome::kNotEnough;  // a fraction needs its seconds
    frac += *nano;
  }
  seconds = static_cast<uint32_t>((*div12 * 12 + *mod12) * 3600 + *minute * 60 + sec);
  nanos = static_cast<uint32_t>(frac);
  return Outcome::kOk;
}

// The whole-second timestamp of a day and its seconds.
int64_t timestamp_of(int64_t day, uint32_t seconds) { return day * kSecondsPerDay + seconds; }

std::optional<VmDateTime> resolve(const Fields& fields) {
  const Resolver r(fields);
  const DateOutcome date = r.date();
  uint32_t seconds = 0, nanos = 0;
  const Outcome time = r.time(seconds, nanos);
  const auto timestamp = fields.get(Field::kTimestamp);
  if (date.outcome == Outcome::kOk && time == Outcome::kOk) {
    if (timestamp) {
      const int64_t actual = timestamp_of(date.day, seconds);
      // Inside a leap second the timestamp may already name the next second.
      if (*timestamp != actual && !(nanos >= kNanosPerSecond && *timestamp == actual + 1)) return std::nullopt;
    }
    return VmDateTime::from_day_time(date.day, seconds, nanos);
  }
  if (!timestamp || date.outcome == Outcome::kFailed || time == Outcome::kFailed) return std::nullopt;

  // The timestamp supplies whatever the other fields leave open; the fields
  // that are given must agree with it.
  int64_t day = floor_div(*timestamp, kSecondsPerDay);
  if (day < VmDateTime::min_day_number() || day > VmDateTime::max_day_number()) return std::nullopt;
  int64_t secs = *timestamp - day * kSecondsPerDay;
  Fields filled = fields;
  if (fields.get(Field::kSecond) == 60) {
    if (secs % 60 == 0) {  // the timestamp names the second after the leap second
      secs -= 1;
      if (secs < 0) {
        secs += kSecondsPerDay;
        day -= 1;
      }
    } else if (secs % 60 != 59) {
      return std::nullopt;
    }
  } else if (!filled.set(Field::kSecond, secs % 60)) {
    return std::nullopt;
  }
  const int64_t year = civil_from_days(day).year;
  const int64_t hour = secs / 3600;
  if (!filled.set(Field::kYear, year) || !filled.set(Field::kOrdinal, day - days_from_civil(year, 1, 1) + 1) ||
      !filled.set(Field::kHourDiv12, hour / 12) || !filled.set(Field::kHourMod12, hour % 12) ||
      !filled.set(Field::kMinute, (secs / 60) % 60)) {
    return std::nullopt;
  }
  const Resolver again(filled);
  const DateOutcome date2 = again.date();
  if (date2.outcome != Outcome::kOk || again.time(seconds, nanos) != Outcome::kOk) return std::nullopt;
  return VmDateTime::from_day_time(date2.day, seconds, nanos);
}

}  // namespace

std::optional<VmDateTime> parse_datetime_with_format(std::string_view text, std::string_view format) {
  Matcher m(text);
  if (!m.run(format) || !m.at_end()) return std::nullopt;
  return resolve(m.fields());
}

}  // namespace veln
