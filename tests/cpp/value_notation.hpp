// The value notation of the test data: runtime values written as Python
// literals, so that case files of every family read values the same way.
//   None True False 5 -5 2**64-1 1.5 -0.0 1e16 inf nan
//   'text' "text" with \n \t \\ \' \0 \xHH \uHHHH \UHHHHHHHH (code points)
//   b'\x00ab' (bytes), [1, 'a'], (1,), (), {'k': 1}, {} (dict), {1, 2} (set)
//   + - * ** on ints, + and * on texts, bytes and sequences: 'a' * 1000
//   (binary + and - between spaces or none: 2**64 - 1, 2**64-1; " -1" is a
//   sign; ** binds tighter than a sign: -2**2 is -4)
// and calls for the other kinds:
//   Decimal('1.5')  datetime(2024, 1, 2[, h, mi, s, us])  datetime_ns(day, sec, ns)
//   timedelta(seconds)  bytearray(b'..')  set()  frozenset({1})  str(b'\xc3')
//   contract('m', 'static_import')  storage('b', 'hash')  foreign('t', 'b', True)
//   event('Transfer', 'transfer', {})  builtin('len')  function('f')  type('int')
//   Exception('message', 3) (any capitalised name is an exception)
// with the short forms of older data files:
//   ba'..' (bytearray)  d'1.5' (Decimal)  fn'f' (function)  s{1} s{} (set)
//   fs{1} (frozenset)  D('1.5')  dt(y, m, d, ...)  td(seconds)  rep(x, n)
//   text(n) ('x' * n)  handle('m')  storage_ref('b', 'v')  foreign_ref('c', 'b')
//   exc('Name', args...)  function_ref('f')  type_marker('int')
// A runner may add an evaluator: it takes calls (with key=value arguments),
// bare names and operators, so a case can be an expression of the code under
// test. Sets are normalised to the canonical set order. Test code only.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "interpreter/vm_host.hpp"
#include "values/vm_value.hpp"

namespace veln::notation {

// What a runner evaluates itself; without one the notation only builds values.
class NotationEvaluator {
 public:
  virtual ~NotationEvaluator() = default;
  // A call of `name`; nullopt leaves it to the notation's own calls.
  virtual std::optional<VmResult<VmValue>> call(std::string_view name, VmArgList args, VmKwargList kwargs) = 0;
  // A bare name's value, or nullopt when it means nothing.
  virtual std::optional<VmValue> name(std::string_view word) = 0;
  // op is one of + - * ^ (power) and 'n' (negation, `b` unused).
  virtual VmResult<VmValue> operate(char op, VmValue a, VmValue b) = 0;
};

// Reads values from a text, one term at a time.
class NotationReader {
 public:
  explicit NotationReader(std::string_view text, NotationEvaluator* evaluator = nullptr)
      : text_(text), evaluator_(evaluator) {}

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
  VmResult<VmValue> prefixed(std::string_view prefix);
  VmResult<VmValue> set_braces(VmKind kind);
  VmResult<VmValue> operate(char op, const VmValue& a, const VmValue& b);
  VmExecutionError fail(std::string_view what) const;
  char peek();

  std::string_view text_;
  size_t pos_ = 0;
  NotationEvaluator* evaluator_;
};

// The one value a whole text holds.
VmResult<VmValue> parse_value(std::string_view text, NotationEvaluator* evaluator = nullptr);

}  // namespace veln::notation
