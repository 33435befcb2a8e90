// JsonValue: the free JSON value tree that module IR nodes, deployment
// artifacts and bundles are held in, with exact-key lookup and the compact
// serialiser. Objects are seen with their members sorted by key bytes with
// unique keys (keys may hold NUL, so they are never compared as C strings).
// A small object read from text without a repeated key keeps its text order
// until someone asks for the sorted one: lookups and for_each_member do not
// need it, and most objects of a document are never listed. Arrays and
// objects take their storage from a memory resource: the reader places a
// whole document in one arena (no allocation per node), while a copy always
// owns its storage on the heap, so it never depends on the arena. This file
// must not parse text (see json_reader.hpp) nor know anything about module IR.
#pragma once

#include <cstdint>
#include <memory_resource>
#include <string>
#include <string_view>
#include <utility>
#include <new>
#include <vector>

namespace veln {

enum class JsonKind : std::uint8_t { null, boolean, u64, i64, f64, string, array, object };

// A tagged union rather than std::variant: moving and destroying values is
// the reader's hot path, and a switch inlines where a variant's visit table
// does not.
class JsonValue {
 public:
  using Array = std::pmr::vector<JsonValue>;
  using Member = std::pair<std::string, JsonValue>;
  // Ascending bytewise key order, no repeated key.
  using Object = std::pmr::vector<Member>;

  JsonValue() noexcept : u_(0), kind_(JsonKind::null) {}  // null
  JsonValue(const JsonValue& other);
  JsonValue(JsonValue&& other) noexcept { construct_from(std::move(other)); }
  JsonValue& operator=(const JsonValue& other);
  JsonValue& operator=(JsonValue&& other) noexcept {
    if (this != &other) {
      destroy();
      construct_from(std::move(other));
    }
    return *this;
  }
  ~JsonValue() {
    if (kind_ >= JsonKind::string) destroy_payload();
  }

  static JsonValue make_null() { return JsonValue(); }
  static JsonValue make_bool(bool b) { return scalar(JsonKind::boolean, &JsonValue::b_, b); }
  static JsonValue make_u64(std::uint64_t u) { return scalar(JsonKind::u64, &JsonValue::u_, u); }
  static JsonValue make_i64(std::int64_t i) { return scalar(JsonKind::i64, &JsonValue::i_, i); }
  static JsonValue make_f64(double d) { return scalar(JsonKind::f64, &JsonValue::d_, d); }
  static JsonValue make_string(std::string s) {
    JsonValue v;
    new (&v.s_) std::string(std::move(s));
    v.kind_ = JsonKind::string;
    return v;
  }
  static JsonValue make_array(Array a) {
    JsonValue v;
    new (&v.a_) Array(std::move(a));
    v.kind_ = JsonKind::array;
    return v;
  }
  // Members in any order: sorts them by key bytes; of repeated keys the one
  // that came last in `members` survives.
  static JsonValue make_object(Object members);
  // Sorts members in place by key bytes and drops all but the last of
  // repeated keys (what make_object does before storing).
  static void normalize_members(Object& members);
  // The same order as normalize_members, built as new storage of exactly
  // its size: `members` is left holding moved-from members. Only an order
  // of indices is sorted, so no member moves more than once.
  static Object take_normalized_members(Object& members, std::pmr::memory_resource* resource);
  // Members already in ascending key order without repeats (not re-checked).
  static JsonValue make_sorted_object(Object members) {
    JsonValue v;
    v.emplace_sorted_object(std::move(members));
    return v;
  }

  // In-place builders for the reader; the value must be null.
  std::string& emplace_string() {
    new (&s_) std::string();
    kind_ = JsonKind::string;
    return s_;
  }
  void emplace_array(Array elements) {
    new (&a_) Array(std::move(elements));
    kind_ = JsonKind::array;
  }
  // Members already in ascending key order without repeats.
  void emplace_sorted_object(Object members) {
    new (&o_) Object(std::move(members));
    kind_ = JsonKind::object;
    members_sorted_ = true;
  }
  // At most kTextOrderMembers members with distinct keys, in any order.
  static constexpr size_t kTextOrderMembers = 8;
  void emplace_unsorted_object(Object members) {
    new (&o_) Object(std::move(members));
    kind_ = JsonKind::object;
    members_sorted_ = false;
  }

  JsonKind kind() const noexcept { return kind_; }
  bool is_null() const noexcept { return kind_ == JsonKind::null; }
  bool is_bool() const noexcept { return kind_ == JsonKind::boolean; }
  bool is_u64() const noexcept { return kind_ == JsonKind::u64; }
  bool is_i64() const noexcept { return kind_ == JsonKind::i64; }
  bool is_f64() const noexcept { return kind_ == JsonKind::f64; }
  bool is_number() const noexcept { return is_u64() || is_i64() || is_f64(); }
  bool is_string() const noexcept { return kind_ == JsonKind::string; }
  bool is_array() const noexcept { return kind_ == JsonKind::array; }
  bool is_object() const noexcept { return kind_ == JsonKind::object; }

  // Accessors for the kind the caller has checked; the wrong kind is a
  // programming error and aborts (never reads the wrong member).
  bool as_bool() const { return expect(JsonKind::boolean).b_; }
  std::uint64_t as_u64() const { return expect(JsonKind::u64).u_; }
  std::int64_t as_i64() const { return expect(JsonKind::i64).i_; }
  double as_f64() const { return expect(JsonKind::f64).d_; }
  const std::string& as_string() const { return expect(JsonKind::string).s_; }
  std::string& as_string() { return const_cast<JsonValue&>(expect(JsonKind::string)).s_; }
  const Array& as_array() const { return expect(JsonKind::array).a_; }
  Array& as_array() { return const_cast<JsonValue&>(expect(JsonKind::array)).a_; }
  // Sorts the members on first use (an object read from text may hold them
  // in text order).
  const Object& as_object() const {
    const JsonValue& v = expect(JsonKind::object);
    if (!v.members_sorted_) v.sort_members();
    return v.o_;
  }
  // Each member (distinct keys) in the stored order, sorted or not: for
  // readers to whom the order means nothing.
  template <class Visit>
  void for_each_member(Visit&& visit) const {
    for (const Member& m : expect(JsonKind::object).o_) visit(m.first, m.second);
  }

  // Member lookup by exact key bytes; nullptr when this is not an object or
  // the key is absent.
  const JsonValue* find(std::string_view key) const noexcept;
  bool contains(std::string_view key) const noexcept { return find(key) != nullptr; }
  // The member when present and of the named kind, else nullptr.
  const std::string* find_string(std::string_view key) const noexcept;
  const Array* find_array(std::string_view key) const noexcept;
  // Its members sorted, which may allocate (see as_object).
  const Object* find_object(std::string_view key) const;

  // Compact JSON text: no whitespace, members in their stored order, floats
  // in shortest round-trip form ("1.0", "1e16", "-0.0"), non-finite floats as
  // null, control characters escaped as \u00xx except the short escapes.
  std::string to_compact_json() const;
  void append_compact_json(std::string& out) const;

  // Structural equality (numbers of different kinds are unequal; floats
  // compare as doubles).
  friend bool operator==(const JsonValue& a, const JsonValue& b);

 private:
  const JsonValue& expect(JsonKind k) const {
    if (kind_ != k) wrong_kind();
    return *this;
  }
  [[noreturn]] static void wrong_kind();
  // Logically const: the same members, put in key order.
  void sort_members() const;
  template <class T>
  static JsonValue scalar(JsonKind k, T JsonValue::*member, T x) noexcept {
    JsonValue v;
    v.*member = x;
    v.kind_ = k;
    return v;
  }

  // Moves leave the source null (its emptied payload released here), so
  // destroying moved-from values costs nothing.
  void construct_from(JsonValue&& other) noexcept {
    kind_ = other.kind_;
    switch (kind_) {
      case JsonKind::string:
        new (&s_) std::string(std::move(other.s_));
        other.s_.~basic_string();
        break;
      case JsonKind::array:
        new (&a_) Array(std::move(other.a_));
        other.a_.~Array();
        break;
      case JsonKind::object:
        new (&o_) Object(std::move(other.o_));
        other.o_.~Object();
        members_sorted_ = other.members_sorted_;
        break;
      default: u_ = other.u_; break;  // every scalar shares the 8 bytes
    }
    other.kind_ = JsonKind::null;
  }
  void destroy() noexcept {
    if (kind_ >= JsonKind::string) destroy_payload();
    kind_ = JsonKind::null;
  }
  void destroy_payload() noexcept;

  union {
    bool b_;
    std::uint64_t u_;
    std::int64_t i_;
    double d_;
    std::string s_;
    Array a_;
    // Mutable for sort_members.
    mutable Object o_;
  };
  JsonKind kind_;
  // For an object: members in ascending key order (else in text order,
  // without repeated keys).
  mutable bool members_sorted_ = true;
};

// Appends `s` as a JSON string literal (with quotes) the way the compact
// serialiser writes it.
void append_json_string_literal(std::string& out, std::string_view s);

}  // namespace veln
