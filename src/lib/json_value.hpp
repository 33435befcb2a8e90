// JsonValue: the free JSON value tree that module IR nodes, deployment
// artifacts and bundles are held in, with exact-key lookup and the compact
// serialiser. Objects keep their members sorted by key bytes with unique keys
// (keys may hold NUL, so they are never compared as C strings). This file must
// not parse text (see json_reader.hpp) nor know anything about module IR.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

namespace veln {

// The order of the kinds is the index of the variant alternative below.
enum class JsonKind : std::uint8_t { null, boolean, u64, i64, f64, string, array, object };

class JsonValue {
 public:
  using Array = std::vector<JsonValue>;
  using Member = std::pair<std::string, JsonValue>;
  // Ascending bytewise key order, no repeated key.
  using Object = std::vector<Member>;

  JsonValue() noexcept = default;  // null

  static JsonValue make_null() { return JsonValue(); }
  static JsonValue make_bool(bool b) { return JsonValue(std::in_place_index<1>, b); }
  static JsonValue make_u64(std::uint64_t u) { return JsonValue(std::in_place_index<2>, u); }
  static JsonValue make_i64(std::int64_t i) { return JsonValue(std::in_place_index<3>, i); }
  static JsonValue make_f64(double d) { return JsonValue(std::in_place_index<4>, d); }
  static JsonValue make_string(std::string s) { return JsonValue(std::in_place_index<5>, std::move(s)); }
  static JsonValue make_array(Array a) { return JsonValue(std::in_place_index<6>, std::move(a)); }
  // Members in any order: sorts them by key bytes; of repeated keys the one
  // that came last in `members` survives.
  static JsonValue make_object(Object members);
  // Members already in ascending key order without repeats (not re-checked).
  static JsonValue make_sorted_object(Object members) {
    return JsonValue(std::in_place_index<7>, std::move(members));
  }

  JsonKind kind() const noexcept { return static_cast<JsonKind>(v_.index()); }
  bool is_null() const noexcept { return kind() == JsonKind::null; }
  bool is_bool() const noexcept { return kind() == JsonKind::boolean; }
  bool is_u64() const noexcept { return kind() == JsonKind::u64; }
  bool is_i64() const noexcept { return kind() == JsonKind::i64; }
  bool is_f64() const noexcept { return kind() == JsonKind::f64; }
  bool is_number() const noexcept { return is_u64() || is_i64() || is_f64(); }
  bool is_string() const noexcept { return kind() == JsonKind::string; }
  bool is_array() const noexcept { return kind() == JsonKind::array; }
  bool is_object() const noexcept { return kind() == JsonKind::object; }

  // Accessors for the kind the caller has checked; the wrong kind is a
  // programming error (std::get reports it).
  bool as_bool() const { return std::get<1>(v_); }
  std::uint64_t as_u64() const { return std::get<2>(v_); }
  std::int64_t as_i64() const { return std::get<3>(v_); }
  double as_f64() const { return std::get<4>(v_); }
  const std::string& as_string() const { return std::get<5>(v_); }
  std::string& as_string() { return std::get<5>(v_); }
  const Array& as_array() const { return std::get<6>(v_); }
  Array& as_array() { return std::get<6>(v_); }
  const Object& as_object() const { return std::get<7>(v_); }

  // Member lookup by exact key bytes; nullptr when this is not an object or
  // the key is absent.
  const JsonValue* find(std::string_view key) const noexcept;
  bool contains(std::string_view key) const noexcept { return find(key) != nullptr; }
  // The member when present and of the named kind, else nullptr.
  const std::string* find_string(std::string_view key) const noexcept;
  const Array* find_array(std::string_view key) const noexcept;
  const Object* find_object(std::string_view key) const noexcept;

  // Compact JSON text: no whitespace, members in their stored order, floats
  // in shortest round-trip form ("1.0", "1e16", "-0.0"), non-finite floats as
  // null, control characters escaped as \u00xx except the short escapes.
  std::string to_compact_json() const;
  void append_compact_json(std::string& out) const;

  // Structural equality (numbers of different kinds are unequal).
  friend bool operator==(const JsonValue& a, const JsonValue& b) { return a.v_ == b.v_; }

 private:
  using Storage = std::variant<std::monostate, bool, std::uint64_t, std::int64_t, double, std::string,
                               Array, Object>;
  // Builds the alternative in place (a moved temporary variant trips
  // false uninitialised-use warnings in optimised sanitizer builds).
  template <std::size_t I, class Arg>
  JsonValue(std::in_place_index_t<I> tag, Arg&& arg) : v_(tag, std::forward<Arg>(arg)) {}
  Storage v_;
};

// Appends `s` as a JSON string literal (with quotes) the way the compact
// serialiser writes it.
void append_json_string_literal(std::string& out, std::string_view s);

}  // namespace veln
