// JsonValue construction, lookup and compact serialisation. Serialisation
// recurses over the tree; trees come from the reader (nesting at most 127) or
// from values bounded by the value nesting limit.
#include "lib/json_value.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "lib/json_float_text.hpp"
#include "values/hex_digits.hpp"
#include "values/integer_text.hpp"

namespace veln {

JsonValue::JsonValue(const JsonValue& other) : u_(0), kind_(JsonKind::null) {
  switch (other.kind_) {
    case JsonKind::string: new (&s_) std::string(other.s_); break;
    case JsonKind::array: new (&a_) Array(other.a_); break;
    case JsonKind::object:
      new (&o_) Object(other.o_);
      members_sorted_ = other.members_sorted_;
      break;
    default: u_ = other.u_; break;
  }
  kind_ = other.kind_;
}

JsonValue& JsonValue::operator=(const JsonValue& other) {
  if (this != &other) *this = JsonValue(other);
  return *this;
}

void JsonValue::wrong_kind() { std::abort(); }

void JsonValue::destroy_payload() noexcept {
  switch (kind_) {
    case JsonKind::string: s_.~basic_string(); break;
    case JsonKind::array: a_.~Array(); break;
    case JsonKind::object: o_.~Object(); break;
    default: break;
  }
}

bool operator==(const JsonValue& a, const JsonValue& b) {
  if (a.kind_ != b.kind_) return false;
  switch (a.kind_) {
    case JsonKind::null: return true;
    case JsonKind::boolean: return a.b_ == b.b_;
    case JsonKind::u64: return a.u_ == b.u_;
    case JsonKind::i64: return a.i_ == b.i_;
    case JsonKind::f64: return a.d_ == b.d_;
    case JsonKind::string: return a.s_ == b.s_;
    case JsonKind::array: return a.a_ == b.a_;
    case JsonKind::object: return a.as_object() == b.as_object();
  }
  return false;
}

JsonValue JsonValue::make_object(Object members) {
  normalize_members(members);
  return make_sorted_object(std::move(members));
}

// Bytewise order of two short keys without a library call.
static int compare_keys(std::string_view a, std::string_view b) noexcept {
  const size_t n = std::min(a.size(), b.size());
  if (n > 16) return a.compare(b);
  for (size_t i = 0; i < n; ++i) {
    if (a[i] != b[i]) return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[i]) ? -1 : 1;
  }
  return (a.size() > b.size()) - (a.size() < b.size());
}

void JsonValue::sort_members() const {
  normalize_members(o_);
  members_sorted_ = true;
}

void JsonValue::normalize_members(Object& members) {
  Object sorted = take_normalized_members(members, members.get_allocator().resource());
  members = std::move(sorted);
}

JsonValue::Object JsonValue::take_normalized_members(Object& members, std::pmr::memory_resource* resource) {
  const size_t n = members.size();
  std::array<std::uint32_t, 32> small;
  std::vector<std::uint32_t> large;
  std::uint32_t* order = small.data();
  if (n > small.size()) {
    large.resize(n);
    order = large.data();
  }
  // A stable sort of indices keeps text order among equal keys; objects are
  // mostly small, and insertion sort allocates nothing. A repeated key shows
  // itself as an equal comparison while inserting, so a text without repeats
  // (nearly every one) compares no pair of keys twice.
  bool repeats = false;
  if (n <= small.size()) {
    for (size_t i = 0; i < n; ++i) {
      const std::string_view key = members[i].first;
      size_t j = i;
      while (j > 0) {
        const int order_to_previous = compare_keys(key, members[order[j - 1]].first);
        if (order_to_previous >= 0) {
          repeats |= order_to_previous == 0;
          break;
        }
        order[j] = order[j - 1];
        --j;
      }
      order[j] = static_cast<std::uint32_t>(i);
    }
  } else {
    for (size_t i = 0; i < n; ++i) order[i] = static_cast<std::uint32_t>(i);
    std::stable_sort(order, order + n, [&](std::uint32_t a, std::uint32_t b) {
      return std::string_view(members[a].first) < std::string_view(members[b].first);
    });
    repeats = true;
  }
  Object out(resource);
  out.reserve(n);
  for (size_t i = 0; i < n; ++i) {
    // Of a run of equal keys only the last (in text order) is kept.
    if (repeats && i + 1 < n && members[order[i]].first == members[order[i + 1]].first) continue;
    out.push_back(std::move(members[order[i]]));
  }
  return out;
}

// Keys are short: compared byte by byte rather than through a call.
static bool same_key(const std::string& member_key, std::string_view key) noexcept {
  const size_t n = key.size();
  if (member_key.size() != n) return false;
  const char* a = member_key.data();
  const char* b = key.data();
  if (n > 16) return std::memcmp(a, b, n) == 0;
  for (size_t i = 0; i < n; ++i)
    if (a[i] != b[i]) return false;
  return true;
}

const JsonValue* JsonValue::find(std::string_view key) const noexcept {
  if (kind_ != JsonKind::object) return nullptr;
  const Object* obj = &o_;
  // Objects are small; a linear scan beats binary search until a dozen or so
  // (an object in text order is never larger).
  if (obj->size() <= kTextOrderMembers) {
    for (const Member& m : *obj) {
      if (same_key(m.first, key)) return &m.second;
    }
    return nullptr;
  }
  auto it = std::lower_bound(obj->begin(), obj->end(), key,
                             [](const Member& m, std::string_view k) { return std::string_view(m.first) < k; });
  if (it != obj->end() && std::string_view(it->first) == key) return &it->second;
  return nullptr;
}

const std::string* JsonValue::find_string(std::string_view key) const noexcept {
  const JsonValue* v = find(key);
  return v != nullptr && v->kind_ == JsonKind::string ? &v->s_ : nullptr;
}

const JsonValue::Array* JsonValue::find_array(std::string_view key) const noexcept {
  const JsonValue* v = find(key);
  return v != nullptr && v->kind_ == JsonKind::array ? &v->a_ : nullptr;
}

const JsonValue::Object* JsonValue::find_object(std::string_view key) const {
  const JsonValue* v = find(key);
  return v != nullptr && v->kind_ == JsonKind::object ? &v->as_object() : nullptr;
}

void append_json_string_literal(std::string& out, std::string_view s) {
  out += '"';
  size_t run = 0;  // start of the pending unescaped run
  for (size_t i = 0; i < s.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    if (c >= 0x20 && c != '"' && c != '\\') continue;
    out.append(s.data() + run, i - run);
    run = i + 1;
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\b': out += "\\b"; break;
      case '\f': out += "\\f"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        out += "\\u00";
        append_hex_digits(out, c, 2);
    }
  }
  out.append(s.data() + run, s.size() - run);
  out += '"';
}

void JsonValue::append_compact_json(std::string& out) const {
  switch (kind()) {
    case JsonKind::null: out += "null"; return;
    case JsonKind::boolean: out += as_bool() ? "true" : "false"; return;
    case JsonKind::u64:
      append_integer_text(out, as_u64());
      return;
    case JsonKind::i64:
      append_integer_text(out, as_i64());
      return;
    case JsonKind::f64: {
      const double d = as_f64();
      if (std::isfinite(d)) {
        append_json_float_text(out, d);
      } else {
        out += "null";
      }
      return;
    }
    case JsonKind::string: append_json_string_literal(out, as_string()); return;
    case JsonKind::array: {
      out += '[';
      bool first = true;
      for (const JsonValue& e : as_array()) {
        if (!first) out += ',';
        first = false;
        e.append_compact_json(out);
      }
      out += ']';
      return;
    }
    case JsonKind::object: {
      out += '{';
      bool first = true;
      for (const Member& m : as_object()) {
        if (!first) out += ',';
        first = false;
        append_json_string_literal(out, m.first);
        out += ':';
        m.second.append_compact_json(out);
      }
      out += '}';
      return;
    }
  }
}

std::string JsonValue::to_compact_json() const {
  std::string out;
  append_compact_json(out);
  return out;
}

}  // namespace veln
