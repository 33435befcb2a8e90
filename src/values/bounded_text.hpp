// BoundedText: a text under construction that may not grow past a limit.
// Every text form that contract code can make large (display texts, the
// diagnostic form, formatting, messages quoting a value) is written through
// one, so an oversized text is refused the moment it would pass the limit
// instead of being built first. An append that does not fit is dropped whole
// and marks the text overflowed; later appends are ignored, and writers stop
// walking a value once they see the mark. It must not allocate beyond the
// limit, and must stay a thin wrapper: it is on every text path.
//
// It also keeps the count of the work of making the text that its bytes do
// not show (an item visited, a number written), in a local tally handed to
// the running request in batches; once the request's allowance has passed
// the text stops as an overflowed one does, and its status is the budget's
// failure.
#pragma once

#include <algorithm>
#include <cstddef>
#include <limits>
#include <string>
#include <string_view>

#include "values/vm_execution_error.hpp"
#include "values/vm_limits.hpp"
#include "values/vm_work_tally.hpp"

namespace veln {

class VmValue;

class BoundedText {
 public:
  static constexpr size_t kUnbounded = std::numeric_limits<size_t>::max();

  // Appends to `out`, whose whole size may not pass `limit`.
  explicit BoundedText(std::string& out, size_t limit = kVmMaxTextBytes)
      : out_(out), limit_(limit), overflowed_(out.size() > limit) {}
  BoundedText(const BoundedText&) = delete;
  BoundedText& operator=(const BoundedText&) = delete;

  [[gnu::always_inline]] void append(std::string_view s) {
    if (overflowed_ || s.size() > limit_ - out_.size()) {
      overflowed_ = true;
      return;
    }
    if (near_limit() && s.size() > out_.capacity() - out_.size()) grow_for();
    out_.append(s);
  }
  [[gnu::always_inline]] void append(char c) {
    if (overflowed_ || out_.size() >= limit_) {
      overflowed_ = true;
      return;
    }
    if (near_limit() && out_.size() == out_.capacity()) grow_for();
    out_.push_back(c);
  }
  [[gnu::always_inline]] BoundedText& operator+=(std::string_view s) {
    append(s);
    return *this;
  }
  [[gnu::always_inline]] BoundedText& operator+=(const char* s) {
    append(std::string_view(s));
    return *this;
  }
  [[gnu::always_inline]] BoundedText& operator+=(char c) {
    append(c);
    return *this;
  }

  // Counts `n` steps of making the text; false once the text has stopped
  // (it would pass its limit, or the running request's allowance has
  // passed), and the writer stops walking.
  [[gnu::always_inline]] bool count(uint64_t n) {
    if (overflowed_) return false;
    if (work_.add(n)) [[likely]]
      return true;
    stop_for_work();
    return false;
  }

  // Appends a piece of at most `max_size` bytes that `write(std::string&)`
  // appends to the text (a number, a date-time), without a copy aside,
  // counting the `steps` its writing takes.
  template <class Write>
  void append_small(size_t max_size, uint64_t steps, Write write) {
    if (!count(steps)) return;
    if (max_size > limit_ - out_.size()) {
      std::string piece;
      write(piece);
      append(piece);
      return;
    }
    if (near_limit() && max_size > out_.capacity() - out_.size()) grow_for();
    write(out_);
  }

  // Whether the text stopped: it would have passed its limit, or the
  // request's allowance has passed.
  bool overflowed() const { return overflowed_; }
  size_t size() const { return out_.size(); }
  // The size message once overflowed, the budget's failure once stopped
  // for work.
  VmStatus status() const {
    if (!overflowed_) return Ok{};
    return error();
  }
  VmExecutionError error() const {
    if (work_failed_) return VmWorkTally::error();
    return vm_error(std::string(kVmSizeMessage));
  }

 private:
  // Below half the limit the string grows as usual (doubling); beyond, the
  // next growth moves the text into a buffer of exactly the limit (asking
  // the string for less than double its room would double it anyway).
  bool near_limit() const { return out_.capacity() > limit_ / 2; }
  void grow_for() {
    std::string room;
    room.reserve(limit_);
    room.append(out_);
    out_.swap(room);
  }

  [[gnu::noinline, gnu::cold]] void stop_for_work() {
    overflowed_ = true;
    work_failed_ = true;
  }

  std::string& out_;
  size_t limit_;
  bool overflowed_;
  bool work_failed_ = false;
  VmWorkTally work_;
};

// Builds a text with `write(BoundedText&)`: the text, or the size message
// when it would pass the limit of a str value (the budget's failure when
// the request's allowance passed first).
template <class Write>
VmResult<std::string> vm_bounded_text(Write write) {
  std::string out;
  BoundedText text(out);
  write(text);
  if (text.overflowed()) return text.error();
  return out;
}

// An error whose message `write(BoundedText&)` writes; the size message
// instead when the message would pass the limit of a text.
template <class Write>
VmExecutionError vm_bounded_error(Write write) {
  std::string out;
  BoundedText text(out);
  write(text);
  if (text.overflowed()) return text.error();
  return vm_error(std::move(out));
}

// A message quoting the display text of `value` between `before` and
// `after`; the size message instead when the message would pass the limit.
VmExecutionError vm_error_quoting(std::string_view before, const VmValue& value, std::string_view after = {});

}  // namespace veln
