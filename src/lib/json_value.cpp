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
#include "lib/key_bytes.hpp"
#include "values/hex_digits.hpp"
#include "values/integer_text.hpp"

namespace veln {

namespace {

// Owned bytes of a string or key; an empty one needs none.
std::string_view owned_bytes(std::string_view s) {
  if (s.empty()) return {};
  char* bytes = static_cast<char*>(::operator new(s.size()));
  std::memcpy(bytes, s.data(), s.size());
  return {bytes, s.size()};
}

void free_bytes(std::string_view s) noexcept {
  if (!s.empty()) ::operator delete(const_cast<char*>(s.data()));
}

template <class T>
T* owned_block(std::size_t count) {
  return count == 0 ? nullptr : static_cast<T*>(::operator new(count * sizeof(T)));
}

// Bytewise order of two short keys without a library call.
int compare_keys(std::string_view a, std::string_view b) noexcept {
  const size_t n = std::min(a.size(), b.size());
  if (n > 16) return a.compare(b);
  for (size_t i = 0; i < n; ++i) {
    if (a[i] != b[i]) return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[i]) ? -1 : 1;
  }
  return (a.size() > b.size()) - (a.size() < b.size());
}

}  // namespace

JsonValue::JsonValue(const JsonValue& other) : JsonValue() {
  switch (other.kind_) {
    case JsonKind::string: *this = make_string(other.s_); return;
    case JsonKind::array: {
      JsonValue* items = owned_block<JsonValue>(other.a_.size());
      for (size_t i = 0; i < other.a_.size(); ++i) new (items + i) JsonValue(other.a_[i]);
      new (&a_) Array(items, other.a_.size());
      break;
    }
    case JsonKind::object: {
      Entry* entries = owned_block<Entry>(other.o_.size());
      for (size_t i = 0; i < other.o_.size(); ++i) {
        new (entries + i) Entry{owned_bytes(other.o_[i].first), JsonValue(other.o_[i].second)};
      }
      new (&o_) Object(entries, other.o_.size());
      members_sorted_ = other.members_sorted_;
      span_form_ = other.span_form_;
      break;
    }
    default: u_ = other.u_; break;
  }
  kind_ = other.kind_;
  owned_ = kind_ >= JsonKind::array;
}

JsonValue& JsonValue::operator=(const JsonValue& other) {
  if (this != &other) *this = JsonValue(other);
  return *this;
}

void JsonValue::wrong_kind() { std::abort(); }

void JsonValue::release_owned() noexcept {
  switch (kind_) {
    case JsonKind::string: free_bytes(s_); break;
    case JsonKind::array:
      for (const JsonValue& item : a_) item.~JsonValue();
      ::operator delete(a_.data_);
      break;
    case JsonKind::object:
      for (const Entry& entry : o_) {
        free_bytes(entry.first);
        entry.~Entry();
      }
      ::operator delete(o_.data_);
      break;
    default: break;
  }
  owned_ = false;
}

JsonValue JsonValue::make_string(std::string_view s) {
  JsonValue v;
  new (&v.s_) JsonText(owned_bytes(s));
  v.kind_ = JsonKind::string;
  v.owned_ = true;
  return v;
}

JsonValue JsonValue::make_array(Elements elements) {
  JsonValue v;
  JsonValue* items = owned_block<JsonValue>(elements.size());
  for (size_t i = 0; i < elements.size(); ++i) new (items + i) JsonValue(std::move(elements[i]));
  new (&v.a_) Array(items, elements.size());
  v.kind_ = JsonKind::array;
  v.owned_ = true;
  return v;
}

JsonValue JsonValue::owned_object(Members& members, std::size_t count, const std::size_t* order) {
  JsonValue v;
  Entry* entries = owned_block<Entry>(count);
  for (size_t i = 0; i < count; ++i) {
    Member& m = members[order != nullptr ? order[i] : i];
    new (entries + i) Entry{owned_bytes(m.first), std::move(m.second)};
  }
  new (&v.o_) Object(entries, count);
  v.kind_ = JsonKind::object;
  v.owned_ = true;
  v.members_sorted_ = true;
  return v;
}

JsonValue JsonValue::make_sorted_object(Members members) { return owned_object(members, members.size(), nullptr); }

JsonValue JsonValue::make_object(Members members) {
  std::vector<std::size_t> order(members.size());
  for (size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
    return std::string_view(members[a].first) < std::string_view(members[b].first);
  });
  // Of a run of equal keys only the last (in the given order) is kept.
  size_t kept = 0;
  for (size_t i = 0; i < order.size(); ++i) {
    if (i + 1 < order.size() && members[order[i]].first == members[order[i + 1]].first) continue;
    order[kept++] = order[i];
  }
  return owned_object(members, kept, order.data());
}

std::size_t JsonValue::normalize_entries(Entry* entries, std::size_t n) {
  // A stable sort keeps text order among equal keys; objects are mostly
  // small, and insertion sort allocates nothing.
  if (n <= 32) {
    for (size_t i = 1; i < n; ++i) {
      if (compare_keys(entries[i].first, entries[i - 1].first) >= 0) continue;
      Entry moving{entries[i].first, std::move(entries[i].second)};
      size_t j = i;
      while (j > 0 && compare_keys(moving.first, entries[j - 1].first) < 0) {
        entries[j].first = entries[j - 1].first;
        entries[j].second = std::move(entries[j - 1].second);
        --j;
      }
      entries[j].first = moving.first;
      entries[j].second = std::move(moving.second);
    }
  } else {
    std::stable_sort(entries, entries + n, [](const Entry& a, const Entry& b) { return a.first < b.first; });
  }
  size_t kept = 0;
  for (size_t i = 0; i < n; ++i) {
    if (i + 1 < n && entries[i].first == entries[i + 1].first) continue;
    if (kept != i) {
      entries[kept].first = entries[i].first;
      entries[kept].second = std::move(entries[i].second);
    }
    ++kept;
  }
  return kept;
}

void JsonValue::sort_members() const {
  // Stored in text order only without repeats, so nothing is dropped.
  o_.size_ = normalize_entries(o_.data_, o_.size_);
  members_sorted_ = true;
  span_form_ = false;
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
    case JsonKind::array: return std::equal(a.a_.begin(), a.a_.end(), b.a_.begin(), b.a_.end());
    case JsonKind::object: {
      const JsonValue::Object& x = a.as_object();
      const JsonValue::Object& y = b.as_object();
      return std::equal(x.begin(), x.end(), y.begin(), y.end(), [](const JsonValue::Entry& p, const JsonValue::Entry& q) {
        return p.first == q.first && p.second == q.second;
      });
    }
  }
  return false;
}

const JsonValue* JsonValue::find(std::string_view key) const noexcept {
  if (kind_ != JsonKind::object) return nullptr;
  // Objects are small; a linear scan beats binary search until a dozen or so
  // (an object in text order is never larger).
  if (o_.size() > kTextOrderMembers && members_sorted_) return find_sorted(key);
  for (const Entry& m : o_) {
    if (same_key_bytes(m.first, key)) return &m.second;
  }
  return nullptr;
}

const JsonValue* JsonValue::find_sorted(std::string_view key) const noexcept {
  const Entry* it = std::lower_bound(o_.begin(), o_.end(), key,
                                     [](const Entry& m, std::string_view k) { return m.first < k; });
  if (it != o_.end() && it->first == key) return &it->second;
  return nullptr;
}

const JsonText* JsonValue::find_string(std::string_view key) const noexcept {
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

JsonValue::Members JsonValue::members_copy() const {
  Members out;
  out.reserve(as_object().size());
  for (const Entry& m : as_object()) out.emplace_back(std::string(m.first), m.second);
  return out;
}

JsonValue::Elements JsonValue::elements_copy() const { return Elements(as_array().begin(), as_array().end()); }

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
      for (const Entry& m : as_object()) {
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
