// Value builders and result texts shared by the operator, comparison and
// subscript tests. A result is shown as "kind:python text" or "error: message"
// so expectations read like the behaviour they pin down.
#pragma once

#include <gmpxx.h>

#include <cstdint>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "interpreter_support/set_algebra.hpp"
#include "values/vm_datetime.hpp"
#include "values/vm_decimal.hpp"
#include "values/vm_value.hpp"

namespace veln::test_values {

inline VmValue None() { return VmValue::none(); }
inline VmValue I(int64_t v) { return VmValue::integer(v); }
inline VmValue Big(const char* digits) { return VmValue::integer(mpz_class(digits)); }
inline VmValue Pow2(unsigned long n) {
  mpz_class r;
  mpz_ui_pow_ui(r.get_mpz_t(), 2, n);
  return VmValue::integer(r);
}
inline VmValue F(double v) { return VmValue::float64(v); }
inline VmValue B(bool v) { return VmValue::boolean(v); }
inline VmValue D(const char* text) { return VmValue::decimal(*VmDecimal::from_str_literal(text)); }
inline VmValue S(std::string_view text) { return VmValue::str(text); }
inline VmValue Bytes(std::string_view b) { return *VmValue::make_bytes(std::string(b)); }
inline VmValue ByteArray(std::string_view b) { return *VmValue::make_bytearray(std::string(b)); }
inline VmValue List(std::vector<VmValue> items) { return *VmValue::make_list(std::move(items)); }
inline VmValue Tuple(std::vector<VmValue> items) { return *VmValue::make_tuple(std::move(items)); }
// Sets are normalised as the engine stores them.
inline VmValue Set(std::vector<VmValue> items) {
  return *VmValue::make_set(*normalize_set_items(std::move(items)));
}
inline VmValue FrozenSet(std::vector<VmValue> items) {
  return *VmValue::make_frozenset(*normalize_set_items(std::move(items)));
}
inline VmValue Dict(std::vector<VmDictPair> pairs) { return *VmValue::make_dict(std::move(pairs)); }
inline VmValue Dt(int32_t y, uint32_t mo, uint32_t d, uint32_t h = 0, uint32_t mi = 0, uint32_t s = 0,
                  uint32_t us = 0) {
  return VmValue::datetime(*VmDateTime::make(y, mo, d, h, mi, s, us));
}
inline VmValue Td(int64_t s) { return VmValue::timedelta_seconds(s); }

inline std::string show(const VmValue& v) { return std::string(v.type_name()) + ":" + v.python_repr(); }
inline std::string show(const VmResult<VmValue>& r) {
  return r.ok() ? show(*r) : "error: " + r.error().message;
}
inline std::string show(const VmResult<bool>& r) {
  return r.ok() ? (*r ? "true" : "false") : "error: " + r.error().message;
}

// The lines of a generated data file that start with `tag` and a space.
inline std::vector<std::string> data_lines(const std::string& file, std::string_view tag) {
  std::ifstream in(std::string(VELN_TEST_DATA_DIR) + "/" + file);
  std::vector<std::string> out;
  std::string line;
  while (std::getline(in, line)) {
    if (line.size() > tag.size() && line.compare(0, tag.size(), tag) == 0 && line[tag.size()] == ' ') {
      out.push_back(line);
    }
  }
  return out;
}

}  // namespace veln::test_values
