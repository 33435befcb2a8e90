// Case files: behaviour written as data (tests/data/<suite>/<family>.cases),
// one case a line, read by one runner per family:
//   # comment
//   <op> <value> ... [name=<value> ...] -> <value> ... [# comment]
//   <op> <value> ... -> error: <message to the end of the line>
// Values are in the value notation (value_notation.hpp). A runner maps each op
// to a function whose outcome (a list of values, or an error) must equal the
// expected one; values compare by their diagnostic text, which tells every
// kind and payload apart (-0.0 from 0.0, NaN as itself, set order). Also the
// readers of the generated data files. Test code only.
#pragma once

#include <gmpxx.h>
#include <gtest/gtest.h>

#include <concepts>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "interpreter_support/ir_argument_readers.hpp"
#include "value_notation.hpp"
#include "values/vm_datetime.hpp"
#include "values/vm_decimal.hpp"
#include "values/vm_value.hpp"

namespace veln::cases {

struct Case {
  std::string_view op;
  std::vector<VmValue> args;
  std::vector<VmKeywordArg> kwargs;

  const VmValue& operator[](size_t i) const { return args.at(i); }
  size_t size() const { return args.size(); }
  std::string text(size_t i) const { return std::string(args.at(i).text()); }
  int64_t i64(size_t i) const { return args.at(i).small_int(); }
  mpz_class mpz(size_t i) const { return args.at(i).int_to_mpz(); }
  // Arguments from position `from` on.
  std::vector<VmValue> tail(size_t from) const { return {args.begin() + static_cast<ptrdiff_t>(from), args.end()}; }
};

using Outcome = VmResult<std::vector<VmValue>>;
using CaseFunction = std::function<Outcome(const Case&)>;
// Functions by op name; "*" takes the ops no other entry names.
using CaseFunctions = std::map<std::string, CaseFunction, std::less<>>;

// Runs every case of tests/data/<file>, reporting each failure at its line.
void run_case_file(const std::string& file, const CaseFunctions& functions);

// ---- outcomes --------------------------------------------------------------
template <class T>
VmValue to_value(const std::optional<T>& v);
template <class T>
VmValue to_value(const std::vector<T>& v);
inline VmValue to_value(VmValue v) { return v; }
template <std::integral T>
VmValue to_value(T v) {
  if constexpr (std::same_as<T, bool>) return VmValue::boolean(v);
  else return VmValue::integer(mpz_class(std::to_string(v)));
}
inline VmValue to_value(double v) { return VmValue::float64(v); }
inline VmValue to_value(std::string_view v) { return VmValue::str(v); }
inline VmValue to_value(const std::string& v) { return VmValue::str(v); }
inline VmValue to_value(const char* v) { return VmValue::str(v); }
inline VmValue to_value(const mpz_class& v) { return VmValue::integer(v); }
inline VmValue to_value(const VmDecimal& v) { return VmValue::decimal(v); }
inline VmValue to_value(const VmDateTime& v) { return VmValue::datetime(v); }
inline VmValue to_value(VmTimeDelta v) { return VmValue::timedelta(v); }
inline VmValue to_value(Ok) { return VmValue::none(); }
template <class T>
VmValue to_value(const std::optional<T>& v) {
  return v ? to_value(*v) : VmValue::none();
}
// A list of the items.
template <class T>
VmValue to_value(const std::vector<T>& v) {
  std::vector<VmValue> items;
  for (const auto& item : v) items.push_back(to_value(item));
  return *VmValue::make_list(std::move(items));
}

template <class... T>
Outcome outcome(const T&... v) {
  return std::vector<VmValue>{to_value(v)...};
}
template <class T, class E>
Outcome outcome(const Result<T, E>& r) {
  if (!r.ok()) {
    if constexpr (std::same_as<E, VmExecutionError>) return r.error();
    else if constexpr (requires { r.error().message; }) return vm_error(r.error().message);
    else return vm_error(std::string(r.error()));
  }
  return outcome(*r);
}

// ---- values in code ----------------------------------------------------------
// A value written in the notation; a malformed text fails the test.
VmValue V(std::string_view text);
// Items of a list written in the notation.
std::vector<VmValue> Vs(std::string_view list_text);

// ---- generated data files --------------------------------------------------
// The fields of each line of tests/data/<file> (blank and '#' lines skipped),
// split at `separator` (' ' splits at runs of white space).
std::vector<std::vector<std::string>> data_rows(const std::string& file, char separator = ' ');
// Bytes of a hex text; "-" stands for the empty text.
std::string unhex(std::string_view hex);

}  // namespace veln::cases
