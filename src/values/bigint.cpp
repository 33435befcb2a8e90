// Integer kernels on GMP integers. GMP's own double conversion truncates and
// its bit-size query reports 1 for zero, so both are done here by hand.
#include "values/bigint.hpp"

#include <cmath>
#include <limits>

#include "values/float_text.hpp"
#include "values/vm_work_tally.hpp"

namespace veln {

static_assert(sizeof(long) == 8, "GMP's si functions must be 64-bit");

bool bigint_fits_i64(const mpz_class& value) { return mpz_fits_slong_p(value.get_mpz_t()) != 0; }

int64_t bigint_get_i64(const mpz_class& value) { return mpz_get_si(value.get_mpz_t()); }

void bigint_set_i64(mpz_class& out, int64_t v) { mpz_set_si(out.get_mpz_t(), v); }

uint64_t bigint_bit_length(const mpz_class& value) {
  if (sgn(value) == 0) return 0;
  return mpz_sizeinbase(value.get_mpz_t(), 2);
}

std::string bigint_to_string(const mpz_class& value) {
  vm_count_bigint_digits(vm_mpz_words(value));
  return value.get_str(10);
}

VmResult<mpz_class> bigint_floor_div(const mpz_class& a, const mpz_class& b) {
  if (sgn(b) == 0) return vm_error("division by zero");
  mpz_class q;
  mpz_fdiv_q(q.get_mpz_t(), a.get_mpz_t(), b.get_mpz_t());
  return q;
}

VmResult<mpz_class> bigint_modulo(const mpz_class& a, const mpz_class& b) {
  if (sgn(b) == 0) return vm_error("division by zero");
  mpz_class r;
  mpz_fdiv_r(r.get_mpz_t(), a.get_mpz_t(), b.get_mpz_t());
  return r;
}

VmResult<int64_t> bigint_to_i64(const mpz_class& value, std::string_view label) {
  if (!bigint_fits_i64(value)) return vm_error(std::string(label) + " exceeds the supported i64 range");
  return bigint_get_i64(value);
}

VmResult<uint32_t> bigint_to_u32(const mpz_class& value, std::string_view label) {
  if (sgn(value) < 0) return vm_error(std::string(label) + " must be non-negative");
  if (mpz_cmp_ui(value.get_mpz_t(), 4294967295UL) > 0)
    return vm_error(std::string(label) + " exceeds the supported u32 range");
  return static_cast<uint32_t>(mpz_get_ui(value.get_mpz_t()));
}

VmResult<uint64_t> bigint_to_usize(const mpz_class& value, std::string_view label) {
  if (sgn(value) < 0) return vm_error(std::string(label) + " must be non-negative");
  if (!mpz_fits_ulong_p(value.get_mpz_t()))
    return vm_error(std::string(label) + " exceeds the supported usize range");
  return static_cast<uint64_t>(mpz_get_ui(value.get_mpz_t()));
}

double bigint_to_f64(const mpz_class& value) {
  const int sign = sgn(value);
  if (sign == 0) return 0.0;
  const uint64_t bits = mpz_sizeinbase(value.get_mpz_t(), 2);
  if (bits <= 53) return mpz_get_d(value.get_mpz_t());  // exact
  if (bits > 1024) return sign < 0 ? -std::numeric_limits<double>::infinity()
                                   : std::numeric_limits<double>::infinity();
  // Keep 54 leading bits of the magnitude plus a sticky bit for the rest,
  // then round the 54 bits to 53, ties to even. The bits are read from the
  // magnitude's limbs (no temporaries); the lowest set bit of a negative
  // number's two's complement is that of its magnitude.
  static_assert(GMP_NUMB_BITS == 64);
  const mpz_srcptr z = value.get_mpz_t();
  const uint64_t shift = bits - 54;
  const bool sticky = mpz_scan1(z, 0) < shift;
  const auto limb = static_cast<mp_size_t>(shift / 64);
  const unsigned offset = shift % 64;
  uint64_t q = mpz_getlimbn(z, limb) >> offset;
  if (offset != 0 && limb + 1 < static_cast<mp_size_t>(mpz_size(z))) q |= mpz_getlimbn(z, limb + 1) << (64 - offset);
  q &= (uint64_t{1} << 54) - 1;  // 54 bits
  const bool half = (q & 1) != 0;
  q >>= 1;
  if (half && (sticky || (q & 1))) ++q;  // may carry to 2^53: still exact in a double
  const double r = std::ldexp(static_cast<double>(q), static_cast<int>(shift + 1));
  return sign < 0 ? -r : r;
}

VmResult<mpz_class> f64_to_bigint_trunc(std::string_view label, double x) {
  if (!std::isfinite(x)) return vm_error(std::string(label) + " must be finite for integer conversion");
  std::string text = float_plain_text(std::trunc(x));
  // An integral double has no fraction digits in its shortest form; cut at a
  // "." anyway so that the read below can never fail.
  if (auto dot = text.find('.'); dot != std::string::npos) text.resize(dot);
  mpz_class out;
  mpz_set_str(out.get_mpz_t(), text.c_str(), 10);
  return out;
}

}  // namespace veln
