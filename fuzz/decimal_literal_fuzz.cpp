// Hostile decimal literals: parsing never crashes, every accepted value is in
// range, its plain text parses back to the same value, and the display text
// and arithmetic on it stay well defined.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "values/vm_decimal.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using veln::VmDecimal;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  auto r = VmDecimal::from_str_literal(text);
  if (!r.ok()) return 0;
  const VmDecimal& d = *r;
  if (mpz_cmpabs(d.scaled().get_mpz_t(), VmDecimal::max_scaled().get_mpz_t()) > 0) std::abort();
  auto back = VmDecimal::from_str_literal(d.to_string());
  if (!back.ok() || !(*back == d)) std::abort();
  (void)d.python_repr();
  (void)d.to_f64();
  (void)VmDecimal::mul(d, d);
  (void)VmDecimal::div(d, d);
  (void)VmDecimal::sqrt(d);
  (void)VmDecimal::pow(d, d);
  return 0;
}
