// One walk over the value, written once for two sinks: one that appends the
// text and one that only counts its bytes.
#include "interpreter_support/canonical_encoding.hpp"

#include <bit>
#include <charconv>
#include <cmath>
#include <map>
#include <string_view>
#include <utility>

#include "lib/json_float_text.hpp"
#include "lib/json_value.hpp"
#include "values/float_text.hpp"
#include "values/hex_digits.hpp"
#include "values/integer_text.hpp"
#include "values/vm_datetime.hpp"
#include "values/vm_decimal.hpp"
#include "values/vm_timedelta.hpp"
#include "values/vm_work_tally.hpp"

namespace veln {
namespace {

class TextSink {
 public:
  void raw(std::string_view text) { out_ += text; }
  void json_string(std::string_view text) { append_json_string_literal(out_, text); }
  void hex_string(std::string_view bytes) {
    out_ += '"';
    for (char c : bytes) append_hex_digits(out_, static_cast<unsigned char>(c), 2);
    out_ += '"';
  }
  void splice(const TextSink& other) { out_ += other.out_; }
  std::string take() && { return std::move(out_); }

 private:
  std::string out_;
};

class LengthSink {
 public:
  void raw(std::string_view text) { length_ += text.size(); }
  void json_string(std::string_view text) {
    length_ += 2;
    for (char ch : text) {
      const unsigned char c = static_cast<unsigned char>(ch);
      if (c == '"' || c == '\\' || c == '\b' || c == '\f' || c == '\n' || c == '\r' || c == '\t') {
        length_ += 2;
      } else {
        length_ += c < 0x20 ? 6 : 1;
      }
    }
  }
  void hex_string(std::string_view bytes) { length_ += 2 + 2 * static_cast<std::uint64_t>(bytes.size()); }
  void splice(const LengthSink& other) { length_ += other.length_; }
  std::uint64_t length() const { return length_; }

 private:
  std::uint64_t length_ = 0;
};

// The text a dict key stands for in the encoding.
std::string dict_key_text(const VmValue& key) {
  std::string out;
  switch (key.kind()) {
    case VmKind::None: return "null";
    case VmKind::Bool: return key.bool_value() ? "true" : "false";
    case VmKind::Int:
      if (key.int_is_small()) {
        append_integer_text(out, key.small_int());
        return out;
      }
      vm_count_bigint_digits(vm_mpz_words(key.big_int()));
      return key.big_int().get_str(10);
    case VmKind::Float: return float_plain_text(key.float_value());
    case VmKind::Decimal: return key.decimal_value().to_string();
    case VmKind::DateTime: return key.datetime_value().to_string();
    case VmKind::TimeDelta: return key.timedelta_value().to_string();
    case VmKind::String: return std::string(key.text());
    default: return key.python_repr();
  }
}

// Steps of writing a number's text (see kVmNumberTextSteps), beyond the one
// it counts as a value; big integers count their conversion where it is made.
uint64_t number_text_steps(const VmValue& value) {
  switch (value.kind()) {
    case VmKind::Float:
    case VmKind::Decimal:
    case VmKind::DateTime:
    case VmKind::TimeDelta:
      return kVmNumberTextSteps;
    default:
      return 0;
  }
}

template <class Sink>
void integer(Sink& sink, int64_t v) {
  char digits[24];
  const auto end = std::to_chars(digits, digits + sizeof digits, v).ptr;
  sink.raw(std::string_view(digits, static_cast<std::size_t>(end - digits)));
}

// Decimal digits of a machine integer, with its sign: the same count as the
// text integer() writes, without writing it.
std::uint64_t integer_length(int64_t v) {
  static constexpr std::uint64_t kPowersOfTen[] = {1,
                                                   10,
                                                   100,
                                                   1000,
                                                   10000,
                                                   100000,
                                                   1000000,
                                                   10000000,
                                                   100000000,
                                                   1000000000,
                                                   10000000000,
                                                   100000000000,
                                                   1000000000000,
                                                   10000000000000,
                                                   100000000000000,
                                                   1000000000000000,
                                                   10000000000000000,
                                                   100000000000000000,
                                                   1000000000000000000,
                                                   10000000000000000000u};
  const std::uint64_t magnitude = v < 0 ? 0 - static_cast<std::uint64_t>(v) : static_cast<std::uint64_t>(v);
  // floor(log10) from the bit length (1233 / 4096 ~ log10(2)), one too
  // high at most, which the table corrects.
  const std::uint64_t estimate = (static_cast<std::uint64_t>(std::bit_width(magnitude | 1)) * 1233) >> 12;
  const std::uint64_t digits = estimate + 1 - ((magnitude | 1) < kPowersOfTen[estimate] ? 1 : 0);
  return digits + (v < 0 ? 1 : 0);
}

// `tally` counts a step per value encoded, and a number's text steps for
// each float, decimal, date-time and time delta, whether a value or a key
// (the bytes written count once the text is whole).
template <class Sink>
VmStatus encode(const VmValue& value, Sink& sink, VmWorkTally& tally);

template <class Sink>
VmStatus encode_items(std::span<const VmValue> items, Sink& sink, VmWorkTally& tally) {
  sink.raw("[");
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (i != 0) sink.raw(",");
    VELN_CHECK(encode(items[i], sink, tally));
  }
  sink.raw("]");
  return Ok{};
}

// Every value is encoded in pair order (so the first error is the first in
// pair order); of pairs whose keys give the same text the later one stays.
template <class Sink>
VmStatus encode_dict(const VmValue& dict, Sink& sink, VmWorkTally& tally) {
  std::map<std::string, Sink> members;
  for (const VmDictPair& pair : dict.dict_pairs()) {
    Sink member;
    // The key, and its place among the members so far: a search down a
    // balanced tree of their count (the count, not the library's tree,
    // fixes the steps).
    if (!tally.add(1 + number_text_steps(pair.key) + std::bit_width(members.size()))) [[unlikely]]
      return VmWorkTally::error();
    VELN_CHECK(encode(pair.value, member, tally));
    members.insert_or_assign(dict_key_text(pair.key), std::move(member));
  }
  sink.raw("{");
  bool first = true;
  for (const auto& [key, member] : members) {
    if (!first) sink.raw(",");
    first = false;
    sink.json_string(key);
    sink.raw(":");
    sink.splice(member);
  }
  sink.raw("}");
  return Ok{};
}

template <class Sink>
void open_tag(Sink& sink, std::string_view tag) {
  sink.raw("{\"");
  sink.raw(tag);
  sink.raw("\":");
}

template <class Sink>
VmStatus encode(const VmValue& value, Sink& sink, VmWorkTally& tally) {
  if (!tally.add(1 + number_text_steps(value))) [[unlikely]]
    return VmWorkTally::error();
  switch (value.kind()) {
    case VmKind::None: sink.raw("null"); return Ok{};
    case VmKind::Bool: sink.raw(value.bool_value() ? "true" : "false"); return Ok{};
    case VmKind::Int:
      if (value.int_is_small()) {
        integer(sink, value.small_int());
      } else {
        open_tag(sink, "__big_int__");
        vm_count_bigint_digits(vm_mpz_words(value.big_int()));
        sink.json_string(value.big_int().get_str(10));
        sink.raw("}");
      }
      return Ok{};
    case VmKind::Float: {
      const double x = value.float_value();
      if (!std::isfinite(x)) return vm_error("cannot encode non-finite float");
      sink.raw(json_float_text(x));
      return Ok{};
    }
    case VmKind::Decimal:
      open_tag(sink, "__fixed__");
      sink.json_string(value.decimal_value().to_string());
      sink.raw("}");
      return Ok{};
    case VmKind::DateTime: {
      const VmDateTime& dt = value.datetime_value();
      const CivilDate date = dt.date();
      open_tag(sink, "__time__");
      const int64_t fields[] = {date.year, date.month, date.day, dt.hour(), dt.minute(), dt.second(),
                                dt.microsecond()};
      sink.raw("[");
      for (std::size_t i = 0; i < std::size(fields); ++i) {
        if (i != 0) sink.raw(",");
        integer(sink, fields[i]);
      }
      sink.raw("]}");
      return Ok{};
    }
    case VmKind::TimeDelta: {
      // Floor division by a day without forming days * 86400, which
      // overflows for the most negative count.
      const int64_t raw = value.timedelta_raw_seconds();
      const int64_t rest = raw % 86400;
      const int64_t days = raw / 86400 - (rest < 0 ? 1 : 0);
      open_tag(sink, "__delta__");
      sink.raw("[");
      integer(sink, days);
      sink.raw(",");
      integer(sink, rest < 0 ? rest + 86400 : rest);
      sink.raw("]}");
      return Ok{};
    }
    case VmKind::String: sink.json_string(value.text()); return Ok{};
    case VmKind::Bytes:
    case VmKind::ByteArray:
      open_tag(sink, value.is(VmKind::Bytes) ? "__bytes__" : "__bytearray__");
      sink.hex_string(value.text());
      sink.raw("}");
      return Ok{};
    case VmKind::Set:
    case VmKind::FrozenSet:
      open_tag(sink, value.is(VmKind::Set) ? "__set__" : "__frozenset__");
      VELN_CHECK(encode_items(value.items(), sink, tally));
      sink.raw("}");
      return Ok{};
    case VmKind::List:
    case VmKind::Tuple: return encode_items(value.items(), sink, tally);
    case VmKind::Dict: return encode_dict(value, sink, tally);
    default:
      return vm_error("unsupported metering encode value '" + std::string(value.type_name()) + "'");
  }
}

}  // namespace

VmResult<std::string> encode_vm_value(const VmValue& value) {
  TextSink sink;
  {
    VmWorkTally tally;
    VELN_CHECK(encode(value, sink, tally));
  }
  std::string text = std::move(sink).take();
  vm_count_text_read(text.size());
  return text;
}

VmResult<std::uint64_t> encoded_vm_value_length(const VmValue& value) {
  // Storage charges size a small int on nearly every access.
  if (value.is(VmKind::Int) && value.int_is_small()) return integer_length(value.small_int());
  LengthSink sink;
  {
    VmWorkTally tally;
    VELN_CHECK(encode(value, sink, tally));
  }
  vm_count_text_read(sink.length());
  return sink.length();
}

}  // namespace veln
