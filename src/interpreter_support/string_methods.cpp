// The str method table and the methods themselves. Positions are code points;
// searches run on the UTF-8 bytes (a valid UTF-8 needle only matches at
// character boundaries) and convert byte offsets back to code points only
// where a result needs one. Character properties and case mapping come from
// ICU with the root locale; the C library's classifiers are never used (they
// follow the process locale and other properties).
#include "interpreter_support/string_methods.hpp"

#include <unicode/bytestream.h>
#include <unicode/casemap.h>
#include <unicode/uchar.h>
#include <unicode/utf8.h>

#include <algorithm>
#include <array>
#include <bitset>
#include <cstdint>
#include <limits>
#include <span>
#include <string>
#include <utility>

#include "interpreter_support/formatting.hpp"
#include "interpreter_support/native_method_table.hpp"
#include "interpreter_support/search_bounds.hpp"
#include "interpreter_support/text_search.hpp"
#include "interpreter_support/value_iteration.hpp"
#include "values/bigint.hpp"
#include "values/vm_work_tally.hpp"

namespace veln {
namespace {

using Args = NativeMethodArgs;
using Outcome = VmResult<NativeMethodOutcome>;

// ---- argument conversions -----------------------------------------------------

[[gnu::noinline, gnu::cold]] VmExecutionError not_text(const VmValue& v) {
  return vm_error("expected string value, got " + std::string(v.type_name()));
}

// A text argument: only a str, viewed in place (the argument outlives the view).
inline VmResult<std::string_view> text_arg(const VmValue& v) {
  if (!v.is(VmKind::String)) [[unlikely]] return not_text(v);
  return v.text();
}

// A count argument: negative means "no limit", anything else must fit a
// machine size.
constexpr uint64_t kNoLimit = std::numeric_limits<uint64_t>::max();
VmResult<uint64_t> limit_from(const mpz_class& count, std::string_view label) {
  if (sgn(count) < 0) return kNoLimit;
  return bigint_to_usize(count, label);
}

Outcome str_result(std::string text) {
  VELN_TRY(VmValue v, VmValue::make_str(std::move(text)));
  return NativeMethodOutcome::plain(std::move(v));
}
// A str method's new text, in the receiver's own buffer when nothing else
// holds it (texts are values: which buffer holds a text is not observable),
// so a chain of calls on a fresh text allocates nothing for it.
Outcome text_result(VmValue&& receiver, std::string text) {
  if (!receiver.holds_only_reference()) return str_result(std::move(text));
  VELN_CHECK(receiver.text_assign(std::move(text)));
  return NativeMethodOutcome::plain(std::move(receiver));
}
Outcome bool_result(bool b) { return NativeMethodOutcome::plain(VmValue::boolean(b)); }

// ---- code points ----------------------------------------------------------------

// Next code point of `s` at byte `i` (advanced past it). Ill-formed bytes,
// which well-built strs never hold, read as U+FFFD instead of running off.
inline UChar32 next_cp(std::string_view s, size_t& i) {
  UChar32 c;
  U8_NEXT(s.data(), i, s.size(), c);
  return c < 0 ? 0xFFFD : c;
}
// Code point ending at byte `i` (moved back before it), `i` > 0.
inline UChar32 prev_cp(std::string_view s, size_t& i) {
  // Texts stay below the value size limit, so byte offsets fit int32_t.
  auto at = static_cast<int32_t>(i);
  UChar32 c;
  U8_PREV(s.data(), 0, at, c);
  i = static_cast<size_t>(at);
  return c < 0 ? 0xFFFD : c;
}

// Code points in a byte range of valid UTF-8: the bytes that are not
// continuation bytes.
size_t count_code_points(std::string_view s) {
  size_t n = 0;
  for (char ch : s) n += (static_cast<unsigned char>(ch) & 0xC0) != 0x80;
  return n;
}

// White_Space: U+0009-000D, U+0020, U+0085, U+00A0, U+1680, U+2000-200A,
// U+2028, U+2029, U+202F, U+205F, U+3000 (U+001C-001F are not).
inline bool is_space(UChar32 c) {
  if (c < 0x80) return c == ' ' || (c >= 0x09 && c <= 0x0D);
  return u_isUWhiteSpace(c);
}
inline bool is_numeric(UChar32 c) {
  const int8_t t = u_charType(c);
  return t == U_DECIMAL_DIGIT_NUMBER || t == U_LETTER_NUMBER || t == U_OTHER_NUMBER;
}
inline bool is_alphabetic(UChar32 c) { return u_isUAlphabetic(c); }
inline bool is_alnum(UChar32 c) { return u_isUAlphabetic(c) || is_numeric(c); }

// `Pred` over the ASCII characters, looked up once per character kind.
template <bool (*Pred)(UChar32)>
const std::bitset<128>& ascii_table() {
  static const std::bitset<128> table = [] {
    std::bitset<128> t;
    for (UChar32 c = 0; c < 0x80; ++c) t[static_cast<size_t>(c)] = Pred(c);
    return t;
  }();
  return table;
}

// The byte where the first code point of `text` from byte `i` on that fails
// `Pred` starts (the size when none does). ASCII bytes, in any text, are
// looked up in the table, so a mostly ASCII text does not go through ICU
// byte by byte.
// `ascii` says the whole text is, and skips the test per byte.
template <bool (*Pred)(UChar32)>
size_t scan_while(std::string_view text, size_t i, bool ascii) {
  const std::bitset<128>& table = ascii_table<Pred>();
  if (ascii) {
    while (i < text.size() && table[static_cast<unsigned char>(text[i])]) ++i;
    return i;
  }
  while (i < text.size()) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if (byte < 0x80) {
      if (!table[byte]) break;
      ++i;
      continue;
    }
    size_t next = i;
    if (!Pred(next_cp(text, next))) break;
    i = next;
  }
  return i;
}

// scan_while a batch of bytes at a time, counting a step per 8 bytes read
// as it goes; once the allowance has passed it gives up where it is (the
// caller reports the budget's failure: see read_status).
template <bool (*Pred)(UChar32)>
size_t scan_counted(std::string_view text, size_t i, bool ascii) {
  const size_t start = i;
  uint64_t counted = 0;
  while (text.size() - i > TextSearch::kBatchBytes) {
    size_t end = i + TextSearch::kBatchBytes;
    while (end < text.size() && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) ++end;  // a code point's start
    i = scan_while<Pred>(text.substr(0, end), i, ascii);
    const uint64_t steps = vm_text_read_steps(i - start);
    if (i < end || !vm_step_work(steps - counted)) return i;
    counted = steps;
  }
  i = scan_while<Pred>(text, i, ascii);
  if (const uint64_t rest = vm_text_read_steps(i - start) - counted) vm_count_work(rest);
  return i;
}

// After a counted read of `text` stopped short: the running request's
// failure when it gave up for it (only a long read can), Ok otherwise.
VmStatus read_status(std::string_view text) {
  if (text.size() <= TextSearch::kBatchBytes) [[likely]]
    return Ok{};
  return vm_budget_status();
}

// True when `s` is not empty and every code point satisfies `pred`.
template <bool (*Pred)(UChar32)>
Outcome all_code_points(const VmValue& s) {
  const std::string_view text = s.text();
  if (text.empty()) return bool_result(false);
  const size_t i = scan_counted<Pred>(text, 0, s.text_is_ascii());
  if (i < text.size()) VELN_CHECK(read_status(text));
  return bool_result(i == text.size());
}

// Byte window of the code-point bounds of a str.
std::string_view code_point_window(const VmValue& s, const VmSearchBounds& b) {
  const size_t from = s.text_byte_offset(b.start);
  const size_t to = s.text_byte_offset(b.end);
  return s.text().substr(from, to - from);
}

// Counts reading `bytes` bytes of text before the work: refused, the work
// not done, once the allowance has passed. Short texts count nothing.
VmStatus take_text_read(size_t bytes) {
  if (bytes < kVmTextBytesPerStep) return Ok{};
  return vm_take_work(vm_text_read_steps(bytes));
}

// Length of `s` in code points (cached in the value).
size_t length_of(const VmValue& s) { return s.text_code_points(); }

// ---- methods ------------------------------------------------------------------------

Outcome str_format(VmValue s, Args args) {
  VELN_TRY(std::string text, render_simple_format(s.text(), args));
  return text_result(std::move(s), std::move(text));
}

Outcome str_isascii(VmValue s, Args) { return bool_result(s.text_is_ascii()); }
Outcome str_isalpha(VmValue s, Args) { return all_code_points<is_alphabetic>(s); }
Outcome str_isdigit(VmValue s, Args) { return all_code_points<is_numeric>(s); }
Outcome str_isalnum(VmValue s, Args) { return all_code_points<is_alnum>(s); }

inline bool is_not_alphabetic(UChar32 c) { return !u_isUAlphabetic(c); }
inline bool is_not_upper_alphabetic(UChar32 c) { return !u_isUAlphabetic(c) || u_isULowercase(c); }

// At least one Alphabetic character, and every Alphabetic one Lowercase;
// everything else is ignored.
Outcome str_islower(VmValue s, Args) {
  const std::string_view text = s.text();
  const size_t first = scan_counted<is_not_alphabetic>(text, 0, s.text_is_ascii());
  const size_t end =
      first == text.size() ? first : scan_counted<is_not_upper_alphabetic>(text, first, s.text_is_ascii());
  if (end < text.size()) VELN_CHECK(read_status(text));
  return bool_result(first < text.size() && end == text.size());
}

// Full case mapping of the root locale ("" is ICU's root; a null locale would
// take the process default). Final sigma is part of ICU's lower-casing.
enum class CaseDirection : uint8_t { Lower, Upper };

template <CaseDirection Dir>
Outcome str_case(VmValue s, Args) {
  const std::string_view text = s.text();
  VELN_CHECK(take_text_read(text.size()));
  std::string out;
  if (s.text_is_ascii()) {
    const char first = Dir == CaseDirection::Lower ? 'A' : 'a';
    const auto changes = [first](char ch) { return ch >= first && ch <= first + ('z' - 'a'); };
    // A text without a letter to map is its own result (texts are values:
    // the shared buffer is not observable).
    if (std::none_of(text.begin(), text.end(), changes)) return NativeMethodOutcome::plain(std::move(s));
    out.assign(text);
    for (char& ch : out) {
      if (changes(ch)) ch = static_cast<char>(ch ^ ('a' - 'A'));
    }
    return text_result(std::move(s), std::move(out));
  }
  out.reserve(text.size());
  icu::StringByteSink<std::string> sink(&out);
  UErrorCode status = U_ZERO_ERROR;
  const icu::StringPiece piece(text.data(), static_cast<int32_t>(text.size()));
  if constexpr (Dir == CaseDirection::Lower) {
    icu::CaseMap::utf8ToLower("", 0, piece, sink, nullptr, status);
  } else {
    icu::CaseMap::utf8ToUpper("", 0, piece, sink, nullptr, status);
  }
  // Mapping well-formed text fails only when memory runs out.
  if (U_FAILURE(status)) return vm_error(std::string(kVmSizeMessage));
  return text_result(std::move(s), std::move(out));
}

// Characters of a strip set: ASCII ones in a bitmap, the rest in a sorted list.
class CharSet {
 public:
  explicit CharSet(std::string_view chars) {
    for (size_t i = 0; i < chars.size();) {
      const UChar32 c = next_cp(chars, i);
      if (c < 0x80) {
        ascii_.set(static_cast<size_t>(c));
      } else {
        others_.push_back(c);
      }
    }
    std::sort(others_.begin(), others_.end());
  }
  bool contains(UChar32 c) const {
    if (c < 0x80) return ascii_.test(static_cast<size_t>(c));
    return std::binary_search(others_.begin(), others_.end(), c);
  }

 private:
  std::bitset<128> ascii_;
  std::vector<UChar32> others_;
};

// Removes code points matching `drop` from both ends of `text`. What was
// read is what was stripped: a step per 8 bytes, counted a batch at a time;
// the budget's failure once the allowance has passed.
template <class Drop>
VmResult<std::string_view> strip_both(std::string_view text, const Drop& drop) {
  VmWorkTally read;
  size_t stripped = 0;  // bytes stripped
  size_t counted = 0;   // of them, those whose steps were counted
  const auto count = [&] {
    const size_t steps = (stripped - counted) / kVmTextBytesPerStep;
    counted += steps * kVmTextBytesPerStep;
    return read.add(steps);
  };
  size_t begin = 0;
  while (begin < text.size()) {
    size_t next = begin;
    if (!drop(next_cp(text, next))) break;
    stripped += next - begin;
    begin = next;
    if (stripped - counted >= TextSearch::kBatchBytes && !count()) return VmWorkTally::error();
  }
  size_t end = text.size();
  while (end > begin) {
    size_t prev = end;
    if (!drop(prev_cp(text, prev))) break;
    stripped += end - prev;
    end = prev;
    if (stripped - counted >= TextSearch::kBatchBytes && !count()) return VmWorkTally::error();
  }
  if (!count()) return VmWorkTally::error();
  return text.substr(begin, end - begin);
}

// The receiver itself when nothing was stripped (no copy of the text).
Outcome stripped_result(VmValue&& s, std::string_view kept) {
  if (kept.size() == s.text_size()) return NativeMethodOutcome::plain(std::move(s));
  return text_result(std::move(s), std::string(kept));
}

Outcome str_strip(VmValue s, Args args) {
  if (args.empty()) {
    VELN_TRY(std::string_view kept, strip_both(s.text(), is_space));
    return stripped_result(std::move(s), kept);
  }
  VELN_TRY(std::string_view chars, text_arg(args[0]));
  if (chars.empty()) return NativeMethodOutcome::plain(s);
  const CharSet set(chars);
  VELN_TRY(std::string_view kept, strip_both(s.text(), [&set](UChar32 c) { return set.contains(c); }));
  return stripped_result(std::move(s), kept);
}

// The pieces of a split, as views into the receiver: the list's size, and
// the steps of making its buffers and slots, are known and checked before
// any piece is built; the pieces stop being made within a batch once the
// request's budget has failed.
class PieceList {
 public:
  void add(std::string_view piece) {
    units_ += vm_text_units(piece.size());
    steps_ += kVmBufferSteps + vm_text_read_steps(piece.size()) + 1;
    pieces_.push_back(piece);
  }
  Outcome finish() const {
    VELN_CHECK(vm_check_units(units_));
    // Fewer than the buffers count as they are made: a split refused here
    // would have been refused while its pieces were made.
    if (steps_ >= kVmWorkBatch) VELN_CHECK(vm_check_budget(steps_ + kVmBufferSteps));
    std::vector<VmValue> items;
    items.reserve(pieces_.size());
    for (std::string_view piece : pieces_) {
      if (items.size() % kVmWorkBatch == kVmWorkBatch - 1) VELN_CHECK(vm_budget_status());
      items.push_back(VmValue::text_unchecked(VmKind::String, std::string(piece)));
    }
    VELN_TRY(VmValue list, VmValue::make_list(std::move(items)));
    return NativeMethodOutcome::plain(std::move(list));
  }

 private:
  std::vector<std::string_view> pieces_;
  uint64_t units_ = 1;
  uint64_t steps_ = 0;
};

Outcome split_on_separator(std::string_view text, std::string_view sep, uint64_t maxsplit) {
  PieceList pieces;
  const TextSearch search(sep);
  // A step per search, however few bytes it reads.
  VmWorkTally searches;
  uint64_t splits = 0;
  size_t from = 0;
  while (splits < maxsplit) {
    if (!searches.add()) return VmWorkTally::error();
    const size_t at = search.find(text, from);
    if (at == TextSearch::npos) break;
    pieces.add(text.substr(from, at - from));
    from = at + sep.size();
    ++splits;
  }
  pieces.add(text.substr(from));
  return pieces.finish();
}

Outcome split_on_whitespace(std::string_view text, uint64_t maxsplit) {
  VELN_CHECK(take_text_read(text.size()));
  PieceList pieces;
  VmWorkTally words;  // a step per word, however short
  size_t i = 0;
  // Skips white space from `i`; true when something is left.
  auto skip_space = [&]() {
    while (i < text.size()) {
      size_t next = i;
      if (!is_space(next_cp(text, next))) return true;
      i = next;
    }
    return false;
  };
  if (!skip_space()) return pieces.finish();
  uint64_t emitted = 0;
  while (true) {
    if (emitted == maxsplit) {
      pieces.add(text.substr(i));
      break;
    }
    if (!words.add()) return VmWorkTally::error();
    const size_t word = i;
    while (i < text.size()) {
      size_t next = i;
      if (is_space(next_cp(text, next))) break;
      i = next;
    }
    pieces.add(text.substr(word, i - word));
    ++emitted;
    if (!skip_space()) break;
  }
  return pieces.finish();
}

Outcome str_split(VmValue s, Args args) {
  std::string_view sep;
  const bool on_whitespace = args.empty() || args[0].is(VmKind::None);
  if (!on_whitespace) {
    VELN_TRY(sep, text_arg(args[0]));
    if (sep.empty()) return vm_error("empty separator");
  }
  uint64_t maxsplit = kNoLimit;
  if (args.size() > 1) {
    VELN_TRY(mpz_class count, args[1].as_bigint());
    VELN_TRY(maxsplit, limit_from(count, "str.split maxsplit"));
  }
  if (on_whitespace) return split_on_whitespace(s.text(), maxsplit);
  if (maxsplit == 0) {
    VELN_TRY(VmValue whole, VmValue::make_list({s}));
    return NativeMethodOutcome::plain(std::move(whole));
  }
  return split_on_separator(s.text(), sep, maxsplit);
}

// Byte size of a replacement result, from the match count alone.
VmStatus check_replace_size(size_t text_size, size_t matches, size_t old_size, size_t new_size) {
  // Sizes are bounded by the value limit, so the products fit 64 bits.
  const uint64_t result = uint64_t{text_size} - uint64_t{matches} * old_size + uint64_t{matches} * new_size;
  return vm_check_units(vm_text_units(result));
}

// Match offsets of a replacement that may grow the text: the first few are
// kept from the counting pass, so a short text is searched once; past them
// the building pass searches again.
class MatchOffsets {
 public:
  void add(size_t at) {
    if (count_ < kKept) kept_[count_] = at;
    ++count_;
  }
  size_t count() const { return count_; }
  // Offset of match `k`, searching from `from` past the kept ones.
  size_t at(size_t k, const TextSearch& search, std::string_view text, size_t from) const {
    return k < kKept ? kept_[k] : search.find(text, from);
  }

 private:
  static constexpr size_t kKept = 16;
  std::array<size_t, kKept> kept_;
  size_t count_ = 0;
};

// A match at every character boundary, the start and the end included: a
// step per boundary, taken before the result is built.
Outcome replace_between_characters(VmValue&& s, std::string_view new_text, uint64_t limit) {
  const std::string_view text = s.text();
  vm_count_text_read(text.size());
  const uint64_t boundaries = uint64_t{length_of(s)} + 1;
  const size_t matches = static_cast<size_t>(std::min(limit, boundaries));
  VELN_CHECK(check_replace_size(text.size(), matches, 0, new_text.size()));
  VELN_CHECK(vm_take_work(matches));
  std::string out;
  out.reserve(text.size() + matches * new_text.size());
  size_t done = 0;
  for (size_t i = 0; i < text.size();) {
    if (done < matches) {
      out.append(new_text);
      ++done;
    }
    const size_t from = i;
    next_cp(text, i);
    out.append(text.substr(from, i - from));
  }
  if (done < matches) out.append(new_text);
  return text_result(std::move(s), std::move(out));
}

// A replacement that cannot grow the text needs no size check first: it is
// built in one pass.
Outcome replace_in_one_pass(VmValue&& s, std::string_view old_text, std::string_view new_text, uint64_t limit) {
  const std::string_view text = s.text();
  const TextSearch search(old_text);
  VmWorkTally matches;  // a step per search, however few bytes it reads
  std::string out;
  uint64_t done = 0;
  size_t from = 0;
  for (; done < limit; ++done) {
    if (!matches.add()) return VmWorkTally::error();
    const size_t at = search.find(text, from);
    if (at == TextSearch::npos) {
      VELN_CHECK(text_search_status(text));
      break;
    }
    if (done == 0) out.reserve(text.size());
    out.append(text.substr(from, at - from));
    out.append(new_text);
    from = at + old_text.size();
  }
  if (done == 0) return NativeMethodOutcome::plain(std::move(s));
  out.append(text.substr(from));
  return text_result(std::move(s), std::move(out));
}

Outcome str_replace(VmValue s, Args args) {
  uint64_t limit = kNoLimit;
  std::optional<mpz_class> count;
  if (args.size() == 3) {
    VELN_TRY(count, args[2].as_bigint());
  }
  VELN_TRY(std::string_view old_text, text_arg(args[0]));
  VELN_TRY(std::string_view new_text, text_arg(args[1]));
  if (count) {
    VELN_TRY(limit, limit_from(*count, "str.replace count"));
  }
  const std::string_view text = s.text();
  if (limit == 0) return NativeMethodOutcome::plain(std::move(s));
  if (old_text.empty()) return replace_between_characters(std::move(s), new_text, limit);
  if (new_text.size() <= old_text.size()) return replace_in_one_pass(std::move(s), old_text, new_text, limit);

  // Count first so an oversized result is refused before it is built; each
  // match is searched for twice past the kept ones.
  const TextSearch search(old_text);
  VmWorkTally searches;
  MatchOffsets matches;
  size_t at = search.find(text);
  for (; at != TextSearch::npos && matches.count() < limit; at = search.find(text, at + old_text.size())) {
    if (!searches.add(2)) return VmWorkTally::error();
    matches.add(at);
  }
  if (at == TextSearch::npos) VELN_CHECK(text_search_status(text));
  if (matches.count() == 0) return NativeMethodOutcome::plain(std::move(s));
  const size_t total = matches.count();
  VELN_CHECK(check_replace_size(text.size(), total, old_text.size(), new_text.size()));
  std::string out;
  out.reserve(text.size() - total * old_text.size() + total * new_text.size());
  size_t from = 0;
  for (size_t done = 0; done < total; ++done) {
    const size_t at = matches.at(done, search, text, from);
    if (at == TextSearch::npos) {
      // A match found before is found again, unless the search gave up.
      VELN_CHECK(vm_budget_status());
      break;
    }
    out.append(text.substr(from, at - from));
    out.append(new_text);
    from = at + old_text.size();
  }
  out.append(text.substr(from));
  return text_result(std::move(s), std::move(out));
}

// Optional start/end arguments at positions 1 and 2, clamped over the length.
VmResult<VmSearchBounds> window_bounds(const VmValue& s, Args args) {
  return normalize_search_bounds(length_of(s), args.size() > 1 ? &args[1] : nullptr,
                                 args.size() > 2 ? &args[2] : nullptr);
}

Outcome str_find(VmValue s, Args args) {
  VELN_TRY(std::string_view sub, text_arg(args[0]));
  VELN_TRY(VmSearchBounds bounds, window_bounds(s, args));
  const std::string_view window = code_point_window(s, bounds);
  const size_t at = text_find(window, sub);
  if (at == TextSearch::npos) {
    VELN_CHECK(text_search_status(window));
    return NativeMethodOutcome::plain(VmValue::integer(-1));
  }
  if (!s.text_is_ascii()) vm_count_text_read(at);
  const size_t before = s.text_is_ascii() ? at : count_code_points(window.substr(0, at));
  return NativeMethodOutcome::plain(VmValue::integer(static_cast<int64_t>(bounds.start + before)));
}

// The prefix/suffix candidates: one str, or a tuple whose items must all be
// strs (all are checked before any is compared), viewed in place.
VmResult<std::span<const VmValue>> match_candidates(const VmValue& arg) {
  if (arg.is(VmKind::String)) return std::span<const VmValue>(&arg, 1);
  if (!arg.is(VmKind::Tuple)) {
    return vm_error("expected str or tuple[str, ...], found " + std::string(arg.type_name()));
  }
  for (const VmValue& item : arg.items()) VELN_CHECK(text_arg(item));
  // A step per candidate, however short: all may be compared.
  VELN_CHECK(vm_take_work(arg.item_count()));
  return arg.items();
}

enum class MatchEnd : uint8_t { Start, End };

template <MatchEnd End>
Outcome str_match(VmValue s, Args args) {
  VELN_TRY(VmSearchBounds bounds, window_bounds(s, args));
  VELN_TRY(std::span<const VmValue> candidates, match_candidates(args[0]));
  const std::string_view window = code_point_window(s, bounds);
  for (const VmValue& c : candidates) {
    vm_count_text_read(std::min(window.size(), c.text_size()));
    if constexpr (End == MatchEnd::Start) {
      if (window.starts_with(c.text())) return bool_result(true);
    } else {
      if (window.ends_with(c.text())) return bool_result(true);
    }
  }
  return bool_result(false);
}

Outcome str_join(VmValue s, Args args) {
  // Sequences and sets are read in place; other iterables are listed first.
  std::vector<VmValue> listed;
  std::span<const VmValue> items;
  if (args[0].is(VmKind::List) || args[0].is(VmKind::Tuple) || args[0].is(VmKind::Set) ||
      args[0].is(VmKind::FrozenSet)) {
    items = args[0].items();
  } else {
    VELN_TRY(listed, iterate_value(args[0]));
    items = listed;
  }
  const std::string_view sep = s.text();
  // A step per piece read; their bytes count as the result is made.
  VELN_CHECK(vm_take_work(items.size()));
  uint64_t total = 0;
  for (const VmValue& item : items) {
    if (!item.is(VmKind::String)) return not_text(item);
    total += item.text_size();
  }
  if (items.size() > 1) total += uint64_t{sep.size()} * (items.size() - 1);
  VELN_CHECK(vm_check_units(vm_text_units(total)));
  if (items.size() == 1) return NativeMethodOutcome::plain(items[0]);
  std::string out;
  out.reserve(static_cast<size_t>(total));
  for (size_t k = 0; k < items.size(); ++k) {
    if (k) out.append(sep);
    out.append(items[k].text());
  }
  return text_result(std::move(s), std::move(out));
}

// ---- the table ------------------------------------------------------------------

constexpr NativeMethodTable<15> kStrMethods("str", {{
    {"format", 0, kAnyArgumentCount, "", &str_format},
    {"isascii", 0, 0, "str.isascii() expects no arguments", &str_isascii},
    {"isalpha", 0, 0, "str.isalpha() expects no arguments", &str_isalpha},
    {"isdigit", 0, 0, "str.isdigit() expects no arguments", &str_isdigit},
    {"isalnum", 0, 0, "str.isalnum() expects no arguments", &str_isalnum},
    {"islower", 0, 0, "str.islower() expects no arguments", &str_islower},
    {"lower", 0, 0, "str.lower() expects no arguments", &str_case<CaseDirection::Lower>},
    {"upper", 0, 0, "str.upper() expects no arguments", &str_case<CaseDirection::Upper>},
    {"strip", 0, 1, "str.strip() expects zero or one argument", &str_strip},
    {"split", 0, 2, "str.split() expects between zero and two arguments", &str_split},
    {"replace", 2, 3, "str.replace() expects two or three arguments", &str_replace},
    {"find", 1, 3, "str.find() expects between one and three arguments", &str_find},
    {"startswith", 1, 3, "str.startswith() expects between one and three arguments", &str_match<MatchEnd::Start>},
    {"endswith", 1, 3, "str.endswith() expects between one and three arguments", &str_match<MatchEnd::End>},
    {"join", 1, 1, "str.join() expects one argument", &str_join},
}});

constexpr NativeMethodKind kStrKind(kStrMethods);

}  // namespace

const NativeMethodKind& str_methods() { return kStrKind; }

}  // namespace veln
