// JsonValue: the JSON value tree that module IR nodes, deployment artifacts
// and bundles are held in, with exact-key lookup and the compact serialiser.
// A node is 24 bytes of plain data: scalars inline, strings as a view of
// their bytes, arrays and objects as a view of their items. Where those
// bytes live depends on who built the node:
// - the reader places a whole document in one arena (json_arenas.hpp): no
//   allocation per node, nothing to do when a node goes, the arena releases
//   everything at once; such a node must not outlive its arena;
// - every other node (the builders below, and every copy) owns its storage
//   on the heap and frees it when it goes, so a copy never depends on an
//   arena.
// Objects are seen with their members sorted by key bytes with unique keys
// (keys may hold NUL, so they are never compared as C strings). A small
// object read from text without a repeated key keeps its text order until
// someone asks for the sorted one: lookups and for_each_member do not need
// it, and most objects of a document are never listed. This file must not
// parse text (see json_reader.hpp) nor know anything about module IR.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace veln {

enum class JsonKind : std::uint8_t { null, boolean, u64, i64, f64, string, array, object };

class JsonValue;

// The bytes of a JSON string as a node holds them: a view that turns into an
// owned std::string wherever one is asked for.
class JsonText : public std::string_view {
 public:
  constexpr JsonText() noexcept = default;
  constexpr JsonText(std::string_view s) noexcept : std::string_view(s) {}
  operator std::string() const { return std::string(data(), size()); }
  std::string str() const { return std::string(data(), size()); }
};

// A read-only view of stored items; what arrays and objects hand out.
template <class T>
class JsonItems {
 public:
  using value_type = T;
  using const_iterator = const T*;
  using iterator = const T*;

  JsonItems() noexcept = default;
  JsonItems(T* data, std::size_t size) noexcept : data_(data), size_(size) {}

  const T* begin() const noexcept { return data_; }
  const T* end() const noexcept { return data_ + size_; }
  const T* data() const noexcept { return data_; }
  std::size_t size() const noexcept { return size_; }
  bool empty() const noexcept { return size_ == 0; }
  const T& operator[](std::size_t i) const noexcept { return data_[i]; }
  const T& front() const noexcept { return data_[0]; }
  const T& back() const noexcept { return data_[size_ - 1]; }

 private:
  friend class JsonValue;
  T* data_ = nullptr;
  std::size_t size_ = 0;
};

// A tagged union rather than std::variant: copying and dropping nodes is the
// reader's hot path, and a switch inlines where a variant's visit table does
// not.
class JsonValue {
 public:
  // An object member as stored: the key's bytes and the value.
  struct Entry;
  using Array = JsonItems<JsonValue>;
  // Ascending bytewise key order, no repeated key.
  using Object = JsonItems<Entry>;
  // What the builders take: plain owned vectors.
  using Elements = std::vector<JsonValue>;
  using Member = std::pair<std::string, JsonValue>;
  using Members = std::vector<Member>;

  JsonValue() noexcept : u_(0), kind_(JsonKind::null), owned_(false), members_sorted_(true), span_form_(false) {}  // null
  JsonValue(const JsonValue& other);
  JsonValue(JsonValue&& other) noexcept : u_(0) { take_from(other); }
  JsonValue& operator=(const JsonValue& other);
  JsonValue& operator=(JsonValue&& other) noexcept {
    if (this != &other) {
      release();
      take_from(other);
    }
    return *this;
  }
  ~JsonValue() {
    if (owned_) release_owned();
  }

  static JsonValue make_null() { return JsonValue(); }
  static JsonValue make_bool(bool b) { return scalar(JsonKind::boolean, &JsonValue::b_, b); }
  static JsonValue make_u64(std::uint64_t u) { return scalar(JsonKind::u64, &JsonValue::u_, u); }
  static JsonValue make_i64(std::int64_t i) { return scalar(JsonKind::i64, &JsonValue::i_, i); }
  static JsonValue make_f64(double d) { return scalar(JsonKind::f64, &JsonValue::d_, d); }
  static JsonValue make_string(std::string_view s);
  static JsonValue make_array(Elements elements);
  // Members in any order: sorts them by key bytes; of repeated keys the one
  // that came last in `members` survives.
  static JsonValue make_object(Members members);
  // Members already in ascending key order without repeats (not re-checked).
  static JsonValue make_sorted_object(Members members);

  // Nodes over storage someone else keeps (the reader's arena): dropping
  // them frees nothing. Object members must be distinct; `sorted` says they
  // are also in ascending key order.
  static JsonValue borrowed_string(const char* data, std::size_t size) noexcept {
    JsonValue v;
    new (&v.s_) JsonText(std::string_view(data, size));
    v.kind_ = JsonKind::string;
    return v;
  }
  static JsonValue borrowed_array(JsonValue* items, std::size_t size) noexcept {
    JsonValue v;
    new (&v.a_) Array(items, size);
    v.kind_ = JsonKind::array;
    return v;
  }
  static JsonValue borrowed_object(Entry* entries, std::size_t size, bool sorted) noexcept;
  // A source span read in its usual form: exactly the members "line",
  // "col", "end_line" and "end_col", in that order, each an unsigned integer.
  // The object says so, and span readers take the four numbers straight
  // from it (span_numbers).
  static JsonValue borrowed_span(Entry* entries) noexcept {
    JsonValue v = borrowed_object(entries, 4, false);
    v.span_form_ = true;
    return v;
  }
  // The members of an object built by borrowed_span and still in that order
  // (a listing sorts them), else nullptr.
  const Entry* span_numbers() const noexcept { return kind_ == JsonKind::object && span_form_ ? o_.data_ : nullptr; }
  // Objects of at most this many members with distinct keys may be stored
  // in text order.
  static constexpr std::size_t kTextOrderMembers = 12;
  // Sorts `entries` by key bytes and keeps the last of each run of equal
  // keys at the front, in order; returns how many are kept. Each entry is
  // moved at most once more than it is compared.
  static std::size_t normalize_entries(Entry* entries, std::size_t size);

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
  const JsonText& as_string() const { return expect(JsonKind::string).s_; }
  const Array& as_array() const { return expect(JsonKind::array).a_; }
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
  void for_each_member(Visit&& visit) const;

  // The member stored at place `i` (text order for a small object read from
  // text, key order otherwise), or nullptr past the last one or when this is
  // not an object. Never sorts: for readers that expect a member at a place
  // and look it up by key when it is not there.
  const Entry* stored_member(std::size_t i) const noexcept;

  // Member lookup by exact key bytes; nullptr when this is not an object or
  // the key is absent.
  const JsonValue* find(std::string_view key) const noexcept;
  bool contains(std::string_view key) const noexcept { return find(key) != nullptr; }
  // The member when present and of the named kind, else nullptr.
  const JsonText* find_string(std::string_view key) const noexcept;
  const Array* find_array(std::string_view key) const noexcept;
  // Its members sorted (see as_object).
  const Object* find_object(std::string_view key) const;

  // Owned copies of the members, in sorted order, for building an edited
  // object with make_sorted_object.
  Members members_copy() const;
  Elements elements_copy() const;

  // Compact JSON text: no whitespace, members in their stored order, floats
  // in shortest round-trip form ("1.0", "1e16", "-0.0"), non-finite floats as
  // null, control characters escaped as \u00xx except the short escapes.
  std::string to_compact_json() const;
  void append_compact_json(std::string& out) const;

  // Structural equality (numbers of different kinds are unequal; floats
  // compare as doubles).
  friend bool operator==(const JsonValue& a, const JsonValue& b);

 private:
  // A binary search among sorted members; out of line, so the usual scan of
  // a few members in text order saves no registers.
  [[gnu::noinline]] const JsonValue* find_sorted(std::string_view key) const noexcept;

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
  // Takes the other's node (and its storage, if owned), leaving it null.
  void take_from(JsonValue& other) noexcept {
    // Every payload is plain data of at most 16 bytes.
    static_assert(sizeof(Array) == sizeof(std::string_view) && sizeof(Object) == sizeof(Array));
    std::memcpy(static_cast<void*>(&a_), static_cast<const void*>(&other.a_), sizeof(Array));
    kind_ = other.kind_;
    owned_ = other.owned_;
    members_sorted_ = other.members_sorted_;
    span_form_ = other.span_form_;
    other.kind_ = JsonKind::null;
    other.owned_ = false;
  }
  void release() noexcept {
    if (owned_) release_owned();
    kind_ = JsonKind::null;
    owned_ = false;
  }
  void release_owned() noexcept;
  static JsonValue owned_object(Members& members, std::size_t count, const std::size_t* order);

  union {
    bool b_;
    std::uint64_t u_;
    std::int64_t i_;
    double d_;
    JsonText s_;
    Array a_;
    // Mutable for sort_members.
    mutable Object o_;
  };
  JsonKind kind_;
  // The payload was allocated for this node alone and goes with it.
  bool owned_;
  // For an object: members in ascending key order (else in text order,
  // without repeated keys).
  mutable bool members_sorted_;
  // See borrowed_span; cleared when the members are sorted.
  mutable bool span_form_;
};

struct JsonValue::Entry {
  JsonText first;
  JsonValue second;
};

inline JsonValue JsonValue::borrowed_object(Entry* entries, std::size_t size, bool sorted) noexcept {
  JsonValue v;
  new (&v.o_) Object(entries, size);
  v.kind_ = JsonKind::object;
  v.members_sorted_ = sorted;
  return v;
}

inline const JsonValue::Entry* JsonValue::stored_member(std::size_t i) const noexcept {
  return kind_ == JsonKind::object && i < o_.size_ ? o_.data_ + i : nullptr;
}

template <class Visit>
void JsonValue::for_each_member(Visit&& visit) const {
  for (const Entry& m : expect(JsonKind::object).o_) visit(m.first, m.second);
}

// Appends `s` as a JSON string literal (with quotes) the way the compact
// serialiser writes it.
void append_json_string_literal(std::string& out, std::string_view s);

}  // namespace veln
