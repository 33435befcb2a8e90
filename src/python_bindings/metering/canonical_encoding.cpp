// The canonical encoding: the tree (through which the text is written by the
// one compact JSON writer) and the length counter that charges use. The two
// must agree byte for byte; the tests compare them on every case. Recursion
// follows the value's nesting, which the value model bounds.
#include "python_bindings/metering/canonical_encoding.hpp"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <string_view>
#include <vector>

#include "lib/hex_codec.hpp"
#include "lib/json_float_text.hpp"
#include "values/bigint.hpp"
#include "values/float_text.hpp"
#include "values/vm_datetime.hpp"
#include "values/vm_decimal.hpp"
#include "values/vm_timedelta.hpp"

namespace veln {
namespace {

constexpr std::string_view kNonFiniteMessage = "cannot encode non-finite float";

VmExecutionError unsupported_kind(const VmValue& v) {
  std::string msg = "unsupported metering encode value '";
  msg += v.type_name();
  msg += '\'';
  return vm_error(std::move(msg));
}

// The tag of the kinds written as a one-member object, or empty.
std::string_view kind_tag(VmKind kind) {
  switch (kind) {
    case VmKind::Int: return "__big_int__";
    case VmKind::Decimal: return "__fixed__";
    case VmKind::DateTime: return "__time__";
    case VmKind::TimeDelta: return "__delta__";
    case VmKind::Bytes: return "__bytes__";
    case VmKind::ByteArray: return "__bytearray__";
    case VmKind::Set: return "__set__";
    case VmKind::FrozenSet: return "__frozenset__";
    default: return {};
  }
}

// Floor division by one day, so that 0 <= seconds < 86400; no intermediate
// product can overflow, not even for the most negative count.
std::pair<int64_t, int64_t> split_days(int64_t raw) {
  int64_t days = raw / 86400;
  int64_t seconds = raw % 86400;
  if (seconds < 0) {
    seconds += 86400;
    days -= 1;
  }
  return {days, seconds};
}

std::array<int64_t, 7> datetime_fields(const VmDateTime& dt) {
  const CivilDate date = dt.date();
  return {date.year, date.month, date.day, dt.hour(), dt.minute(), dt.second(), dt.microsecond()};
}

std::string hex_text(std::string_view bytes) {
  return hex_encode_lower({reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()});
}

JsonValue tagged(std::string_view tag, JsonValue payload) {
  JsonValue::Object members;
  members.emplace_back(std::string(tag), std::move(payload));
  return JsonValue::make_sorted_object(std::move(members));
}

JsonValue integer_array(std::initializer_list<int64_t> values) {
  JsonValue::Array items;
  items.reserve(values.size());
  for (int64_t v : values) items.push_back(JsonValue::make_i64(v));
  return JsonValue::make_array(std::move(items));
}

VmResult<JsonValue> to_json(const VmValue& v);

VmResult<JsonValue> items_to_json(const VmValue& v) {
  JsonValue::Array items;
  items.reserve(v.item_count());
  for (const VmValue& item : v.items()) {
    VELN_TRY(JsonValue j, to_json(item));
    items.push_back(std::move(j));
  }
  return JsonValue::make_array(std::move(items));
}

VmResult<JsonValue> to_json(const VmValue& v) {
  const VmKind kind = v.kind();
  switch (kind) {
    case VmKind::None: return JsonValue::make_null();
    case VmKind::Bool: return JsonValue::make_bool(v.bool_value());
    case VmKind::Int:
      if (v.int_is_small()) return JsonValue::make_i64(v.small_int());
      if (bigint_fits_i64(v.big_int())) return JsonValue::make_i64(bigint_get_i64(v.big_int()));
      return tagged(kind_tag(kind), JsonValue::make_string(bigint_to_string(v.big_int())));
    case VmKind::Float:
      if (!std::isfinite(v.float_value())) return vm_error(std::string(kNonFiniteMessage));
      return JsonValue::make_f64(v.float_value());
    case VmKind::Decimal: return tagged(kind_tag(kind), JsonValue::make_string(v.decimal_value().to_string()));
    case VmKind::DateTime: {
      const auto f = datetime_fields(v.datetime_value());
      return tagged(kind_tag(kind), integer_array({f[0], f[1], f[2], f[3], f[4], f[5], f[6]}));
    }
    case VmKind::TimeDelta: {
      const auto [days, seconds] = split_days(v.timedelta_raw_seconds());
      return tagged(kind_tag(kind), integer_array({days, seconds}));
    }
    case VmKind::String: return JsonValue::make_string(std::string(v.text()));
    case VmKind::Bytes:
    case VmKind::ByteArray: return tagged(kind_tag(kind), JsonValue::make_string(hex_text(v.text())));
    case VmKind::Set:
    case VmKind::FrozenSet: {
      VELN_TRY(JsonValue items, items_to_json(v));
      return tagged(kind_tag(kind), std::move(items));
    }
    case VmKind::List:
    case VmKind::Tuple: return items_to_json(v);
    case VmKind::Dict: {
      JsonValue::Object members;
      members.reserve(v.dict_size());
      for (const VmDictPair& p : v.dict_pairs()) {
        VELN_TRY(JsonValue j, to_json(p.value));
        members.emplace_back(encoding_key_text(p.key), std::move(j));
      }
      return JsonValue::make_object(std::move(members));
    }
    default: return unsupported_kind(v);
  }
}

// --- the length counter --------------------------------------------------

// Extra bytes an escape adds to one byte of a string: 1 for the two-character
// escapes, 5 for \u00xx, 0 otherwise.
constexpr std::array<uint8_t, 256> make_escape_extra() {
  std::array<uint8_t, 256> t{};
  for (int c = 0; c < 0x20; ++c) t[c] = 5;
  for (unsigned char c : {'\b', '\t', '\n', '\f', '\r', '"', '\\'}) t[c] = 1;
  return t;
}
constexpr std::array<uint8_t, 256> kEscapeExtra = make_escape_extra();

uint64_t string_literal_length(std::string_view s) {
  uint64_t n = s.size() + 2;
  for (unsigned char c : s) n += kEscapeExtra[c];
  return n;
}

uint64_t integer_length(int64_t i) {
  char buf[24];
  return static_cast<uint64_t>(std::to_chars(buf, buf + sizeof buf, i).ptr - buf);
}

// {"tag":payload}
uint64_t tagged_length(std::string_view tag, uint64_t payload) { return tag.size() + 5 + payload; }

uint64_t integer_array_length(std::initializer_list<int64_t> values) {
  uint64_t n = 2 + (values.size() - 1);
  for (int64_t v : values) n += integer_length(v);
  return n;
}

VmResult<uint64_t> length_of(const VmValue& v);

// [a,b,...]
VmResult<uint64_t> items_length(const VmValue& v) {
  const auto items = v.items();
  uint64_t n = 2 + (items.empty() ? 0 : items.size() - 1);
  for (const VmValue& item : items) {
    VELN_TRY(uint64_t m, length_of(item));
    n += m;
  }
  return n;
}

// {"k":v,...}: every value is measured in pair order (so the first error is
// the tree's), then only the last pair of each key text counts.
VmResult<uint64_t> dict_length(const VmValue& v) {
  struct Member {
    std::string_view key;
    uint64_t value_length;
  };
  const auto pairs = v.dict_pairs();
  std::vector<std::string> owned;  // key texts of non-str keys
  owned.reserve(pairs.size());
  std::vector<Member> members;
  members.reserve(pairs.size());
  for (const VmDictPair& p : pairs) {
    VELN_TRY(uint64_t m, length_of(p.value));
    std::string_view key;
    if (p.key.is(VmKind::String)) {
      key = p.key.text();
    } else {
      owned.push_back(encoding_key_text(p.key));
      key = owned.back();
    }
    members.push_back({key, m});
  }
  std::stable_sort(members.begin(), members.end(), [](const Member& a, const Member& b) { return a.key < b.key; });
  uint64_t n = 2;
  size_t kept = 0;
  for (size_t i = 0; i < members.size(); ++i) {
    if (i + 1 < members.size() && members[i + 1].key == members[i].key) continue;  // a later pair wins
    n += string_literal_length(members[i].key) + 1 + members[i].value_length;
    ++kept;
  }
  return n + (kept == 0 ? 0 : kept - 1);
}

VmResult<uint64_t> length_of(const VmValue& v) {
  const VmKind kind = v.kind();
  switch (kind) {
    case VmKind::None: return uint64_t{4};
    case VmKind::Bool: return uint64_t{v.bool_value() ? 4u : 5u};
    case VmKind::Int:
      if (v.int_is_small()) return integer_length(v.small_int());
      if (bigint_fits_i64(v.big_int())) return integer_length(bigint_get_i64(v.big_int()));
      return tagged_length(kind_tag(kind), bigint_to_string(v.big_int()).size() + 2);
    case VmKind::Float: {
      if (!std::isfinite(v.float_value())) return vm_error(std::string(kNonFiniteMessage));
      std::string text;
      append_json_float_text(text, v.float_value());
      return uint64_t{text.size()};
    }
    case VmKind::Decimal: return tagged_length(kind_tag(kind), v.decimal_value().to_string().size() + 2);
    case VmKind::DateTime: {
      const auto f = datetime_fields(v.datetime_value());
      return tagged_length(kind_tag(kind), integer_array_length({f[0], f[1], f[2], f[3], f[4], f[5], f[6]}));
    }
    case VmKind::TimeDelta: {
      const auto [days, seconds] = split_days(v.timedelta_raw_seconds());
      return tagged_length(kind_tag(kind), integer_array_length({days, seconds}));
    }
    case VmKind::String: return string_literal_length(v.text());
    case VmKind::Bytes:
    case VmKind::ByteArray: return tagged_length(kind_tag(kind), 2 * uint64_t{v.text_size()} + 2);
    case VmKind::Set:
    case VmKind::FrozenSet: {
      VELN_TRY(uint64_t n, items_length(v));
      return tagged_length(kind_tag(kind), n);
    }
    case VmKind::List:
    case VmKind::Tuple: return items_length(v);
    case VmKind::Dict: return dict_length(v);
    default: return unsupported_kind(v);
  }
}

}  // namespace

std::string encoding_key_text(const VmValue& key) {
  std::string out;
  switch (key.kind()) {
    case VmKind::None: out = "null"; break;
    case VmKind::Bool: out = key.bool_value() ? "true" : "false"; break;
    case VmKind::Int:
      if (key.int_is_small()) {
        char buf[24];
        out.assign(buf, std::to_chars(buf, buf + sizeof buf, key.small_int()).ptr);
      } else {
        out = bigint_to_string(key.big_int());
      }
      break;
    case VmKind::Float: out = float_plain_text(key.float_value()); break;
    case VmKind::Decimal: out = key.decimal_value().to_string(); break;
    case VmKind::DateTime: out = key.datetime_value().to_string(); break;
    case VmKind::TimeDelta: out = key.timedelta_value().to_string(); break;
    case VmKind::String: out = key.text(); break;
    default: out = key.python_repr(); break;
  }
  return out;
}

VmResult<JsonValue> vm_value_to_json(const VmValue& value) { return to_json(value); }

VmResult<std::string> encode_vm_value(const VmValue& value) {
  VELN_TRY(JsonValue j, to_json(value));
  return j.to_compact_json();
}

VmResult<uint64_t> encoded_length(const VmValue& value) { return length_of(value); }

}  // namespace veln
