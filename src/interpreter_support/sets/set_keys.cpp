// Set keys. A key is a view of a hashable value; comparisons read the
// payloads directly (float texts are produced on demand), so building a key
// costs only the hashability walk.
#include "interpreter_support/sets/set_keys.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>

#include "values/float_text.hpp"
#include "values/vm_datetime.hpp"
#include "values/vm_decimal.hpp"
#include "values/vm_work_tally.hpp"

namespace veln {
namespace {

// Date-times key on whole microseconds: two values differing below a
// microsecond have equal keys.
int compare_datetime_keys(const VmDateTime& a, const VmDateTime& b) {
  if (a.day_number() != b.day_number()) return a.day_number() < b.day_number() ? -1 : 1;
  if (a.seconds_of_day() != b.seconds_of_day()) return a.seconds_of_day() < b.seconds_of_day() ? -1 : 1;
  const uint32_t ua = a.microsecond();
  const uint32_t ub = b.microsecond();
  return (ua > ub) - (ua < ub);
}

constexpr auto kPowersOfTen = [] {
  std::array<uint64_t, 20> powers{};
  powers[0] = 1;
  for (size_t i = 1; i < powers.size(); ++i) powers[i] = powers[i - 1] * 10;
  return powers;
}();

// Decimal digits of v: log10 estimated from the bit width (1233 / 4096 is
// just above log10(2)), then corrected by one power.
uint64_t digit_count(uint64_t v) {
  const uint64_t w = v | 1;  // zero has one digit, as one has
  const auto estimate = static_cast<uint64_t>(std::bit_width(w) * 1233 >> 12);
  return estimate + (w >= kPowersOfTen[estimate] ? 1 : 0);
}

// The texts of two non-negative positional doubles compare by the key word,
// then by the fractions (shortest digits keep the doubles' order).
int compare_positional_magnitudes(double a, double b) {
  const uint64_t wa = vm_positional_float_key_word(a);
  const uint64_t wb = vm_positional_float_key_word(b);
  if (wa != wb) return wa < wb ? -1 : 1;
  return (a > b) - (a < b);
}

// The class of a display text's first byte, in byte order: "-" (negative
// values, -0.0 and -inf), a digit (the rest of the finite ones), "NaN",
// "inf".
int leading_rank(double x) {
  if (std::isnan(x)) return 2;
  if (std::signbit(x)) return 0;
  return std::isinf(x) ? 3 : 1;
}

// The order of two floats' display texts where the numbers decide it.
// Texts of one sign compare as the texts of the magnitudes (past the "-").
// Of finite magnitudes, two positional ones compare as above; a positional
// one below 1 ("0.", zero included) precedes every exponent form, which
// starts with a nonzero digit. The others need the texts.
std::optional<int> float_key_order(double a, double b) {
  if (a == b && std::signbit(a) == std::signbit(b)) return 0;  // same double, same text
  const int ra = leading_rank(a);
  const int rb = leading_rank(b);
  if (ra != rb) return ra < rb ? -1 : 1;
  if (ra >= 2) return 0;  // "NaN" and "NaN" ("inf" and "inf" are equal doubles)
  const double ma = std::fabs(a);
  const double mb = std::fabs(b);
  if (std::isinf(ma) || std::isinf(mb)) return std::isinf(ma) ? 1 : -1;  // "-inf" past digits
  const bool pa = vm_float_text_positional(ma);
  const bool pb = vm_float_text_positional(mb);
  if (pa && pb) return compare_positional_magnitudes(ma, mb);
  if (pa && ma < 1.0) return -1;
  if (pb && mb < 1.0) return 1;
  return std::nullopt;
}

// Takes `n` steps, more than a batch, that stand for reading about to be
// done (a long text): refused, counting nothing, when they would pass the
// allowance.
bool take_before_reading(uint64_t n) {
  if (!vm_check_budget(n).ok()) return false;
  vm_count_work(n);
  return true;
}

// The items a key comparison or a key's bytes visit, at every level of
// nesting: each is a step of the running request, handed over in batches.
// Once the allowance has passed the walk gives up, and its caller's answer
// is any (the request fails at its next charge).
class KeyWalk {
 public:
  KeyWalk() = default;
  KeyWalk(const KeyWalk&) = delete;
  KeyWalk& operator=(const KeyWalk&) = delete;
  // The steps of the batch under way.
  ~KeyWalk() {
    if (pending_ != 0) vm_count_work(pending_);
  }

  // Counts `n` steps; false once the walk has given up.
  [[gnu::always_inline]] bool step(uint64_t n = 1) {
    pending_ += n;
    if (pending_ >= kVmWorkBatch) [[unlikely]]
      return hand_over();
    return !gave_up_;
  }

 private:
  // A batch (or a long text's steps, refused before the reading when they
  // would pass the allowance).
  [[gnu::noinline]] bool hand_over() {
    const uint64_t n = pending_;
    pending_ = 0;
    gave_up_ = gave_up_ || !(n > kVmWorkBatch ? take_before_reading(n) : vm_step_work(n));
    return !gave_up_;
  }

  uint64_t pending_ = 0;
  bool gave_up_ = false;
};

// Counts `n` steps of a comparison on its walk, or at once when it has none
// (two scalars); false once the walk has given up.
[[gnu::always_inline]] inline bool key_steps(KeyWalk* walk, uint64_t n) {
  if (walk != nullptr) return walk->step(n);
  return n > kVmWorkBatch ? take_before_reading(n) : vm_step_work(n);
}

int compare_float_keys(double a, double b, KeyWalk* walk) {
  if (const std::optional<int> order = float_key_order(a, b)) return *order;
  if (!key_steps(walk, 2 * kVmFloatKeyTextSteps)) return 0;
  return vm_bytes_compare(vm_float_key_text(a), vm_float_key_text(b));
}

int compare_key_sequences(std::span<const VmValue> xs, std::span<const VmValue> ys, KeyWalk& walk);

// Key order of a and b. Scalars and texts compare without a walk; the items
// of tuples and frozensets are read on one, made at the outermost (which
// gives up at once when the request's budget has failed already).
int compare_keys(const VmValue& a, const VmValue& b, KeyWalk* walk = nullptr) {
  const VmSetKeyVariant va = *vm_set_key_variant(a.kind());
  const VmSetKeyVariant vb = *vm_set_key_variant(b.kind());
  if (va != vb) return va < vb ? -1 : 1;
  switch (va) {
    case VmSetKeyVariant::None:
      return 0;
    case VmSetKeyVariant::Bool:
      return int{a.bool_value()} - int{b.bool_value()};
    case VmSetKeyVariant::Int:
      if (const uint64_t steps = vm_long_int_compare_steps(a, b))
        if (!key_steps(walk, steps)) return 0;
      return vm_int_compare(a, b);
    case VmSetKeyVariant::Decimal:
      return VmDecimal::compare(a.decimal_value(), b.decimal_value());
    case VmSetKeyVariant::Float:
      return compare_float_keys(a.float_value(), b.float_value(), walk);
    case VmSetKeyVariant::DateTime:
      return compare_datetime_keys(a.datetime_value(), b.datetime_value());
    case VmSetKeyVariant::TimeDelta: {
      const int64_t x = a.timedelta_raw_seconds();
      const int64_t y = b.timedelta_raw_seconds();
      return (x > y) - (x < y);
    }
    case VmSetKeyVariant::String:
    case VmSetKeyVariant::Bytes:
      if (const uint64_t steps = vm_long_text_compare_steps(a.text_size(), b.text_size()))
        if (!key_steps(walk, steps)) return 0;
      return vm_bytes_compare(a.text(), b.text());
    case VmSetKeyVariant::Tuple:
    case VmSetKeyVariant::FrozenSet: {
      if (walk != nullptr) return compare_key_sequences(a.items(), b.items(), *walk);
      if (vm_work_failed()) [[unlikely]]
        return 0;
      KeyWalk own;
      return compare_key_sequences(a.items(), b.items(), own);
    }
  }
  return 0;
}

// Each position compared is a step, at every level (the comparison itself
// is one step of whatever counts it).
int compare_key_sequences(std::span<const VmValue> xs, std::span<const VmValue> ys, KeyWalk& walk) {
  const size_t n = xs.size() < ys.size() ? xs.size() : ys.size();
  for (size_t i = 0; i < n; ++i) {
    if (!walk.step()) return 0;
    if (const int c = compare_keys(xs[i], ys[i], &walk)) return c;
  }
  return (xs.size() > ys.size()) - (xs.size() < ys.size());
}

// An integer in order: a sign byte, then for nonzero values the magnitude's
// byte count (4 bytes) and its bytes, big-endian, all inverted when negative
// (a longer negative magnitude is less). Of the magnitude, `room` bytes at
// most are written (the leading ones).
void append_magnitude_bytes(std::string& out, int sign, size_t count, size_t room, auto write_magnitude) {
  const uint8_t flip = sign < 0 ? 0xff : 0x00;
  const size_t written = std::min(count, room);
  const size_t at = out.size();
  out.resize(at + (sign == 0 ? 1 : 5 + written));
  auto* to = reinterpret_cast<uint8_t*>(out.data() + at);
  to[0] = static_cast<uint8_t>(1 + sign);
  if (sign == 0) return;
  for (int i = 0; i < 4; ++i) to[1 + i] = static_cast<uint8_t>(count >> (24 - 8 * i)) ^ flip;
  write_magnitude(to + 5, written);
  if (flip != 0)
    for (size_t i = 5; i < 5 + written; ++i) to[i] ^= flip;
}

void append_integer_bytes(std::string& out, const mpz_class& v, size_t room) {
  // The limbs are written out directly: an export's generic word layout
  // cost more than the rest of a tuple's key.
  static_assert(GMP_NUMB_BITS == 64);
  const mpz_srcptr z = v.get_mpz_t();
  const int sign = mpz_sgn(z);
  const size_t limbs = mpz_size(z);
  const uint64_t top = limbs == 0 ? 0 : mpz_getlimbn(z, static_cast<mp_size_t>(limbs - 1));
  const size_t top_bytes = (static_cast<size_t>(std::bit_width(top)) + 7) / 8;
  const size_t count = sign == 0 ? 0 : top_bytes + 8 * (limbs - 1);
  append_magnitude_bytes(out, sign, count, room, [&](uint8_t* to, size_t written) {
    uint8_t* const end = to + written;
    for (size_t i = 0; i < top_bytes && to != end; ++i) *to++ = static_cast<uint8_t>(top >> (8 * (top_bytes - 1 - i)));
    for (size_t l = limbs - 1; l-- > 0 && to != end;) {
      const uint64_t limb = mpz_getlimbn(z, static_cast<mp_size_t>(l));
      for (int shift = 56; shift >= 0 && to != end; shift -= 8) *to++ = static_cast<uint8_t>(limb >> shift);
    }
  });
}

void append_integer_bytes(std::string& out, int64_t v) {
  const int sign = (v > 0) - (v < 0);
  const uint64_t magnitude = v < 0 ? 0 - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
  const size_t count = (static_cast<size_t>(std::bit_width(magnitude)) + 7) / 8;
  append_magnitude_bytes(out, sign, count, count, [&](uint8_t* to, size_t) {
    for (size_t i = 0; i < count; ++i) to[i] = static_cast<uint8_t>(magnitude >> (8 * (count - 1 - i)));
  });
}

// A text in order with a terminator: 0x00 bytes are written as 0x00 0xff and
// the end as 0x00 0x00, so a prefix sorts first.
void append_text_bytes(std::string& out, std::string_view text) {
  for (const char c : text) {
    out.push_back(c);
    if (c == '\0') out.push_back('\xff');
  }
  out.push_back('\0');
  out.push_back('\0');
}

// Writes key bytes up to `limit` (the writing stops at the first item that
// ends past it, so the bytes written are the key's own as far as they go).
// `memo` keeps the text of the float written last: a sort meets one float
// in many tuples, and its shortest digits cost more than the rest of a key.
// Every item written is a step of `walk`, and so is each 8 bytes of a text
// or a magnitude; false when the walk gives up.
bool append_key_bytes(std::string& out, const VmValue& value, size_t limit, VmSetKeyScratch* memo, KeyWalk& walk) {
  const VmSetKeyVariant variant = *vm_set_key_variant(value.kind());
  // Variant bytes start at 1: 0 ends a sequence of items.
  out.push_back(static_cast<char>(1 + static_cast<int>(variant)));
  // The room left before `limit`, past a magnitude's header.
  const auto room = [&](size_t header) { return limit - std::min(limit, out.size() + header); };
  switch (variant) {
    case VmSetKeyVariant::None:
      return true;
    case VmSetKeyVariant::Bool:
      out.push_back(value.bool_value() ? '\1' : '\0');
      return true;
    case VmSetKeyVariant::Int:
      if (value.int_is_small()) {
        append_integer_bytes(out, value.small_int());
        return true;
      }
      if (!walk.step(std::min(vm_mpz_words(value.big_int()), room(5) / 8))) return false;
      append_integer_bytes(out, value.big_int(), room(5));
      return true;
    case VmSetKeyVariant::Decimal:
      if (!walk.step(std::min(vm_mpz_words(value.decimal_value().scaled()), room(5) / 8))) return false;
      append_integer_bytes(out, value.decimal_value().scaled(), room(5));
      return true;
    case VmSetKeyVariant::Float: {
      // Display texts hold no 0x00 byte. A whole number below 1e16 shows
      // as its integer digits and ".0", written without the digit search.
      const double x = value.float_value();
      if (x == std::trunc(x) && std::fabs(x) < 1e16) {
        if (std::signbit(x)) out.push_back('-');
        char digits[20];
        const auto end = std::to_chars(digits, digits + sizeof digits, static_cast<uint64_t>(std::fabs(x))).ptr;
        out.append(digits, end);
        out.append(".0");
      } else if (memo == nullptr) {
        if (!walk.step(kVmFloatKeyTextSteps)) return false;
        append_float_display_text(out, x);
      } else {
        if (!memo->float_text_of || std::bit_cast<uint64_t>(*memo->float_text_of) != std::bit_cast<uint64_t>(x)) {
          if (!walk.step(kVmFloatKeyTextSteps)) return false;
          memo->float_text.clear();
          append_float_display_text(memo->float_text, x);
          memo->float_text_of = x;
        }
        out.append(memo->float_text);
      }
      out.push_back('\0');
      return true;
    }
    case VmSetKeyVariant::String:
    case VmSetKeyVariant::Bytes: {
      // Each byte of the text writes one or two: the room left is enough.
      const std::string_view text = value.text().substr(0, room(0));
      if (!walk.step(vm_text_read_steps(text.size()))) return false;
      append_text_bytes(out, text);
      return true;
    }
    case VmSetKeyVariant::Tuple:
    case VmSetKeyVariant::FrozenSet:
      // Depth is bounded by the nesting limit.
      for (const VmValue& item : value.items()) {
        if (out.size() >= limit) return true;
        if (!walk.step() || !append_key_bytes(out, item, limit, memo, walk)) return false;
      }
      out.push_back('\0');
      return true;
    case VmSetKeyVariant::DateTime:
    case VmSetKeyVariant::TimeDelta:
      break;
  }
  return false;
}

}  // namespace

bool vm_append_set_key_bytes(std::string& out, const VmValue& value) {
  KeyWalk walk;
  return append_key_bytes(out, value, SIZE_MAX, nullptr, walk);
}

std::optional<VmSetKeyPrefix> vm_set_key_prefix(const VmValue& value, VmSetKeyScratch& scratch) {
  std::string& bytes = scratch.bytes;
  bytes.clear();
  KeyWalk walk;
  if (!append_key_bytes(bytes, value, 16, &scratch, walk)) return std::nullopt;
  if (bytes.size() < 16) bytes.resize(16, '\0');
  uint64_t words[2];
  std::memcpy(words, bytes.data(), 16);
  static_assert(std::endian::native == std::endian::little);
  return VmSetKeyPrefix{__builtin_bswap64(words[0]), __builtin_bswap64(words[1])};
}

VmStatus vm_check_hashable(const VmValue& value) {
  const std::optional<VmSetKeyVariant> variant = vm_set_key_variant(value.kind());
  if (!variant) {
    std::string m = "unhashable type: '";
    m += value.type_name();
    m += "'";
    return vm_error(std::move(m));
  }
  if (*variant == VmSetKeyVariant::Tuple || *variant == VmSetKeyVariant::FrozenSet) {
    // Depth is bounded by the value nesting limit.
    for (const VmValue& item : value.items()) VELN_CHECK(vm_check_hashable(item));
  }
  return Ok{};
}

VmResult<VmSetKey> vm_set_key(const VmValue& value) {
  VELN_CHECK(vm_check_hashable(value));
  return VmSetKey(&value, *vm_set_key_variant(value.kind()));
}

VmOrdering VmSetKey::cmp(const VmSetKey& a, const VmSetKey& b) {
  return vm_ordering_from_int(compare_keys(*a.value_, *b.value_));
}

VmOrdering vm_set_key_compare(const VmValue& a, const VmValue& b) {
  return vm_ordering_from_int(compare_keys(a, b));
}

std::string vm_float_key_text(double x) { return float_display_text(x); }

bool vm_float_text_positional(double x) {
  const double m = std::fabs(x);
  return x == 0.0 || (m >= 1e-4 && m < 1e16);
}

// The integer part's digits left-aligned to 17 places compare as the texts
// wherever two parts differ in their digits; where one part is the other
// followed by zeros, the shorter text comes first (its "." is below "0"),
// hence the digit count in the low bits.
uint64_t vm_positional_float_key_word(double x) {
  const auto whole = static_cast<uint64_t>(std::fabs(x));
  const uint64_t digits = digit_count(whole);
  const uint64_t aligned = whole * kPowersOfTen[17 - digits];
  return (std::signbit(x) ? 0 : uint64_t{1} << 63) | aligned << 5 | digits;
}

VmFloatKeyProbe::VmFloatKeyProbe(double x) : x_(x) {
  if (vm_float_text_positional(x)) word_ = vm_positional_float_key_word(x);
}

int VmFloatKeyProbe::compare_item(double item) {
  if (word_ && vm_float_text_positional(item)) {
    // Both positional: the words, then the magnitudes (of one sign here).
    const uint64_t w = vm_positional_float_key_word(item);
    if (w != *word_) return w < *word_ ? -1 : 1;
    const double a = std::fabs(item);
    const double b = std::fabs(x_);
    return (a > b) - (a < b);
  }
  if (const std::optional<int> order = float_key_order(item, x_)) return *order;
  vm_count_work(text_ ? kVmFloatKeyTextSteps : 2 * kVmFloatKeyTextSteps);
  if (!text_) text_ = float_display_text(x_);
  scratch_.clear();
  append_float_display_text(scratch_, item);
  return vm_bytes_compare(scratch_, *text_);
}

}  // namespace veln
