// The value notation of the test data: runtime values written as Python
// literals, so that case files of every family read values the same way.
//   None True False 5 -5 2**64-1 1.5 -0.0 1e16 inf nan
//   'text' "text" with \n \t \\ \' \0 \xHH \uHHHH \UHHHHHHHH (code points)
//   b'\x00ab' (bytes), [1, 'a'], (1,), (), {'k': 1}, {} (dict), {1, 2} (set)
//   + - * ** on ints, + and * on texts, bytes and sequences: 'a' * 1000
//   (binary + and - between spaces: 2**64 - 1; -1 is a sign)
// and calls for the other kinds:
//   Decimal('1.5')  datetime(2024, 1, 2[, h, mi, s, us])  datetime_ns(day, sec, ns)
//   timedelta(seconds)  bytearray(b'..')  set()  frozenset({1})  str(b'\xc3')
//   contract('m', 'static_import')  storage('b', 'hash')  foreign('t', 'b', True)
//   event('Transfer', 'transfer', {})  builtin('len')  function('f')  type('int')
//   Exception('message', 3) (any capitalised name is an exception)
// Sets are normalised to the canonical set order. Test code only.
#pragma once

#include <string>
#include <string_view>

#include "values/vm_value.hpp"

namespace veln::notation {

// Reads values from a text, one term at a time.
class NotationReader {
 public:
  explicit NotationReader(std::string_view text) : text_(text) {}

  // The next term (operators included), after any white space.
  VmResult<VmValue> term();
  // Skips white space; true when the text is used up.
  bool at_end();
  // Consumes `token` (after white space) when it comes next.
  bool consume(std::string_view token);
  // An identifier or operator name ([A-Za-z0-9_.]+), or empty.
  std::string_view word();
  std::string_view rest() const { return text_.substr(pos_); }
  size_t position() const { return pos_; }

 private:
  VmResult<VmValue> sum();
  VmResult<VmValue> product();
  VmResult<VmValue> power();
  VmResult<VmValue> unary();
  VmResult<VmValue> atom();
  VmResult<VmValue> number();
  VmResult<std::string> quoted(bool bytes);
  VmResult<std::vector<VmValue>> items(char close);
  VmResult<VmValue> braces();
  VmResult<VmValue> call(std::string_view name);
  VmExecutionError fail(std::string_view what) const;
  char peek();

  std::string_view text_;
  size_t pos_ = 0;
};

// The one value a whole text holds.
VmResult<VmValue> parse_value(std::string_view text);

}  // namespace veln::notation
