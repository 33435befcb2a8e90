// Streaming JSON reader: one pass over UTF-8 text that reads typed records
// straight from the text and free values into JsonValue trees, with the
// reading messages "{} at line {} column {}". Faults are reported in text
// order. It must not build a tree for a typed level (that would lose the
// fault order and the duplicate-field timing) and must not recurse while
// skipping a member (skipped members have no nesting limit).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "lib/json_arenas.hpp"
#include "lib/json_value.hpp"
#include "values/vm_execution_error.hpp"

namespace veln {

// A reading fault: the reason and the byte offset at which the reader
// stopped. Turned into the positioned message only at the top.
struct JsonReadError {
  std::string reason;
  std::size_t index = 0;
};

// A value or a reading fault: the engine's one outcome type with the
// reader's own error record.
template <class T>
using JsonReadResult = Result<T, JsonReadError>;
using JsonReadStatus = JsonReadResult<Ok>;

// Reads a whole text as one free JSON value (only whitespace may follow).
Result<JsonValue, std::string> read_json_value(std::string_view text);

// "{} at line {} column {}" for a fault at byte `index` of `text`.
std::string json_positioned_message(std::string_view text, const JsonReadError& err);

// The found-value part of "invalid type" messages: "null", "boolean `true`",
// "integer `5`", "floating point `1.0`", "string \"x\"", "sequence", "map".
std::string describe_json_value(const JsonValue& v);
std::string describe_json_string(std::string_view s);

// The cursor over the text. Record readers (module_ir.cpp) drive it; every
// operation leaves the index where the fault or the value ended.
class JsonReader {
 public:
  explicit JsonReader(std::string_view text) noexcept : text_(text) {}

  std::size_t index() const noexcept { return pos_; }
  std::string_view text() const noexcept { return text_; }

  // Skips whitespace; returns the next byte without consuming it, or -1 at
  // the end of the text.
  int peek_after_whitespace() noexcept {
    while (pos_ < text_.size()) {
      const unsigned char c = static_cast<unsigned char>(text_[pos_]);
      if (c > ' ' || (c != ' ' && c != '\n' && c != '\t' && c != '\r')) return c;
      ++pos_;
    }
    return -1;
  }
  void eat() noexcept { ++pos_; }

  // Errors positioned at the current index, or just after the next byte.
  JsonReadError error_here(std::string reason) const;
  JsonReadError error_at_peek(std::string reason) const;

  // A free JSON value (counts toward the nesting limit); read_value_into
  // builds it in place in `out` (which must be null).
  JsonReadResult<JsonValue> read_value();
  JsonReadStatus read_value_into(JsonValue& out);
  // Reads a value with every check read_value makes (nesting limit, number
  // range, escapes, UTF-8) and builds nothing: a text it accepts, read_value
  // accepts too. `scratch` holds decoded strings in passing.
  JsonReadStatus check_value(std::string& scratch);
  // Skips a value checking only its syntax: no nesting limit, no number range,
  // no surrogate pairing. Iterative. With `check_skipped` set it checks what
  // check_value checks instead.
  JsonReadStatus skip_value();
  // Field readers; `expected` texts are those of the messages.
  // Strings are stored straight into a record's field: no result to move.
  JsonReadStatus read_string_into(std::string& out);  // "a string"
  JsonReadStatus read_optional_string_into(std::optional<std::string>& out);
  JsonReadResult<std::uint64_t> read_u64();
  // An optional value: a JSON null (consumed) gives true.
  JsonReadResult<bool> read_null_if_present();

  // A span in its usual compact form, {"line":1,"col":0,"end_line":1,
  // "end_col":5}, read in one go: its four numbers in that order. Anything
  // else (or a span at the nesting limit) gives false with nothing consumed,
  // for the general path to read.
  bool read_compact_span(std::uint64_t (&values)[4]);
  // The same, as the object the general path builds for it.
  bool read_compact_span(JsonValue& out);

  // Nesting: entering an array or object; fails with "recursion limit
  // exceeded" at the 128th level. leave_level() on the way out.
  JsonReadStatus enter_level() {
    if (remaining_depth_ > 1) {
      --remaining_depth_;
      return Ok{};
    }
    return enter_last_level();
  }
  void leave_level() noexcept { ++remaining_depth_; }

  // Array/object punctuation, each with its own messages.
  // Before an element: true if an element follows, false at ']' (not eaten).
  // Compact text (no whitespace, the punctuation expected) takes the inline
  // path; anything else, faults included, the general one.
  JsonReadResult<bool> has_next_element(bool& first) {
    if (first) {
      if (pos_ < text_.size() && text_[pos_] > ' ' && text_[pos_] != ']') {
        first = false;
        return true;
      }
    } else if (pos_ + 1 < text_.size() && text_[pos_] == ',' && text_[pos_ + 1] > ' ' && text_[pos_ + 1] != ']') {
      ++pos_;
      return true;
    }
    if (pos_ < text_.size() && text_[pos_] == ']') return false;
    return has_next_element_general(first);
  }
  // Expects ']' (trailing comma / characters).
  JsonReadStatus end_array() {
    if (pos_ < text_.size() && text_[pos_] == ']') {
      ++pos_;
      return Ok{};
    }
    return end_array_general();
  }
  // Before a member: reads the key into `key` and returns true, or false at
  // '}' (not eaten). The key's bytes stay valid until the next read.
  JsonReadResult<bool> next_key(bool& first, std::string_view& key) {
    if (first && pos_ < text_.size() && text_[pos_] == '"') {
      first = false;
      ++pos_;
      if (plain_string_after_quote(key)) return true;
      return read_key_after_quote(key);
    }
    if (!first && pos_ + 1 < text_.size() && text_[pos_] == ',' && text_[pos_ + 1] == '"') {
      pos_ += 2;
      if (plain_string_after_quote(key)) return true;
      return read_key_after_quote(key);
    }
    if (pos_ < text_.size() && text_[pos_] == '}') return false;
    return next_key_general(first, key);
  }
  JsonReadStatus expect_colon() {
    if (pos_ < text_.size() && text_[pos_] == ':') {
      ++pos_;
      return Ok{};
    }
    return expect_colon_general();
  }
  // Expects '}'.
  JsonReadStatus end_object() {
    if (pos_ < text_.size() && text_[pos_] == '}') {
      ++pos_;
      return Ok{};
    }
    return end_object_general();
  }
  // Only whitespace may remain.
  JsonReadStatus end_document();

  // Reading error for a value of the wrong kind at the next position: reads
  // the found scalar (so the position is after it) and describes it.
  JsonReadError invalid_type_here(std::string_view expected);

  // Left to the record readers of one document type (the module IR reader
  // hands each function record to a listener through it).
  const void* listener = nullptr;
  // Set when a record is read as part of a larger free value: the members a
  // record does not know must then pass every check a free value passes.
  bool check_skipped = false;
  // Where the strings, arrays and objects of free values are placed; the
  // owner of a value read must keep it alive as long as the value. Must be
  // set before a free value is read.
  JsonArena* arena = nullptr;
  // Set when the text itself lives in this arena: strings and keys without
  // an escape are then seen where they stand instead of copied, and every
  // owner of a value read shares the arena.
  std::shared_ptr<JsonArena> text_holder;
  // Drops the parts of values left unfinished by a fault (they may live in
  // `arena`, which can go before the reader does).
  void drop_unfinished() noexcept {
    for (auto& level : element_scratch_) level.clear();
    for (auto& level : member_scratch_) level.clear();
  }

 private:
  JsonReadResult<bool> has_next_element_general(bool& first);
  JsonReadResult<bool> next_key_general(bool& first, std::string_view& key);
  JsonReadResult<bool> read_key_after_quote(std::string_view& key);
  // After the opening quote, the usual string or key (no escape, no
  // non-ASCII byte): seen in the text and passed (true), or nothing done
  // (false).
  bool plain_string_after_quote(std::string_view& bytes) noexcept;
  // After the opening quote: the string's bytes, seen in the text where it
  // holds no escape, else decoded into `decoded`.
  JsonReadStatus read_string_bytes(std::string_view& out, std::string& decoded);
  // Bytes that live as long as the values read: those seen in a held text
  // as they are, a copy in the arena otherwise (`decoded` is the scratch
  // they may have been decoded into).
  std::string_view keep(std::string_view bytes, const std::string& decoded) {
    if (text_holder != nullptr && bytes.data() != decoded.data()) return bytes;
    return arena->copy_of(bytes);
  }
  JsonReadStatus expect_colon_general();
  // Entering the level at which the nesting limit may refuse.
  JsonReadStatus enter_last_level();
  JsonReadStatus end_array_general();
  JsonReadStatus end_object_general();
  JsonReadStatus parse_ident(std::string_view rest);
  JsonReadResult<JsonValue> parse_number(bool positive);
  JsonReadStatus parse_string_into(std::string& out);
  JsonReadStatus step_over_string_byte(unsigned char c);
  JsonReadStatus parse_escape(std::string& out);
  JsonReadResult<std::uint16_t> decode_hex_escape();
  JsonReadStatus parse_unicode_escape(std::string& out);
  JsonReadStatus skip_string();
  JsonReadStatus skip_escape();
  JsonReadStatus skip_number();

  static constexpr int kMaxDepth = 128;

  // Elements and members of the arrays and objects being read, one buffer
  // per nesting level, reused from one array or object to the next: each
  // finished one is moved into storage of exactly its size, so a tree is laid
  // out as compactly as a copy (reading and freeing it touch less memory).
  // Every level is made at the first use, so references stay valid.
  // A level's buffer starts with room for the usual node, so a document does
  // not grow each one from a single element.
  template <class Items>
  Items& scratch(std::vector<Items>& levels) {
    if (levels.empty()) levels.resize(kMaxDepth + 1);
    Items& items = levels[static_cast<size_t>(kMaxDepth - remaining_depth_)];
    if (items.capacity() == 0) items.reserve(kFirstScratchItems);
    return items;
  }
  static constexpr size_t kFirstScratchItems = 16;
  std::vector<std::vector<JsonValue>> element_scratch_;
  std::vector<std::vector<JsonValue::Entry>> member_scratch_;
  // Decoded text of the string or key being read, when it holds an escape.
  std::string string_scratch_;
  std::string key_scratch_;

  std::string_view text_;
  std::size_t pos_ = 0;
  // Levels that may still be opened before the limit; the outermost array
  // or object is level 1 and opening level 128 fails.
  int remaining_depth_ = kMaxDepth;
};

}  // namespace veln
