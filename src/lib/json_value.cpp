// JsonValue construction, lookup and compact serialisation. Serialisation
// recurses over the tree; trees come from the reader (nesting at most 127) or
// from values bounded by the value nesting limit.
#include "lib/json_value.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "lib/json_float_text.hpp"

namespace veln {

JsonValue JsonValue::make_object(Object members) {
  // A stable sort keeps text order among equal keys, so the last of a run
  // wins. Objects are mostly small and often already sorted: insertion sort
  // is linear then and allocates nothing.
  auto less = [](const Member& a, const Member& b) { return std::string_view(a.first) < std::string_view(b.first); };
  if (members.size() <= 16) {
    for (size_t i = 1; i < members.size(); ++i) {
      if (!less(members[i], members[i - 1])) continue;
      Member m = std::move(members[i]);
      size_t j = i;
      while (j > 0 && less(m, members[j - 1])) {
        members[j] = std::move(members[j - 1]);
        --j;
      }
      members[j] = std::move(m);
    }
  } else {
    std::stable_sort(members.begin(), members.end(), less);
  }
  bool unique = true;
  for (size_t i = 1; i < members.size() && unique; ++i) unique = members[i - 1].first != members[i].first;
  if (unique) return make_sorted_object(std::move(members));
  Object out;
  out.reserve(members.size());
  for (auto& m : members) {
    if (!out.empty() && out.back().first == m.first) {
      out.back().second = std::move(m.second);
    } else {
      out.push_back(std::move(m));
    }
  }
  return make_sorted_object(std::move(out));
}

const JsonValue* JsonValue::find(std::string_view key) const noexcept {
  const Object* obj = std::get_if<7>(&v_);
  if (obj == nullptr) return nullptr;
  // Objects are small; a linear scan beats binary search until a dozen or so.
  if (obj->size() <= 8) {
    for (const Member& m : *obj) {
      if (std::string_view(m.first) == key) return &m.second;
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
  return v != nullptr ? std::get_if<5>(&v->v_) : nullptr;
}

const JsonValue::Array* JsonValue::find_array(std::string_view key) const noexcept {
  const JsonValue* v = find(key);
  return v != nullptr ? std::get_if<6>(&v->v_) : nullptr;
}

const JsonValue::Object* JsonValue::find_object(std::string_view key) const noexcept {
  const JsonValue* v = find(key);
  return v != nullptr ? std::get_if<7>(&v->v_) : nullptr;
}

void append_json_string_literal(std::string& out, std::string_view s) {
  static constexpr char kHex[] = "0123456789abcdef";
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
        out += kHex[c >> 4];
        out += kHex[c & 0xF];
    }
  }
  out.append(s.data() + run, s.size() - run);
  out += '"';
}

void JsonValue::append_compact_json(std::string& out) const {
  char buf[24];
  switch (kind()) {
    case JsonKind::null: out += "null"; return;
    case JsonKind::boolean: out += as_bool() ? "true" : "false"; return;
    case JsonKind::u64: {
      auto r = std::to_chars(buf, buf + sizeof buf, as_u64());
      out.append(buf, r.ptr);
      return;
    }
    case JsonKind::i64: {
      auto r = std::to_chars(buf, buf + sizeof buf, as_i64());
      out.append(buf, r.ptr);
      return;
    }
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
