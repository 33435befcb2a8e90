// Integer kernels on arbitrary-precision integers (GMP): Python's floor
// division and modulo, checked narrowing to machine integers with caller
// labels, and exact float conversions. Nothing here enforces the contract
// integer size limit; callers do.
#pragma once

#include <gmpxx.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "values/vm_execution_error.hpp"

namespace veln {

// Arbitrary-precision kernels.
VmResult<mpz_class> bigint_floor_div(const mpz_class& a, const mpz_class& b);
VmResult<mpz_class> bigint_modulo(const mpz_class& a, const mpz_class& b);
VmResult<int64_t> bigint_to_i64(const mpz_class& value, std::string_view label);
VmResult<uint32_t> bigint_to_u32(const mpz_class& value, std::string_view label);
VmResult<uint64_t> bigint_to_usize(const mpz_class& value, std::string_view label);
// Nearest double, ties to even; infinity beyond the double range.
double bigint_to_f64(const mpz_class& value);
// Truncates x and reads its shortest round-trip digits as an integer.
VmResult<mpz_class> f64_to_bigint_trunc(std::string_view label, double x);
// Bit length of |value| (0 for 0).
uint64_t bigint_bit_length(const mpz_class& value);
// Whether value fits a signed 64-bit integer, and its value then.
bool bigint_fits_i64(const mpz_class& value);
int64_t bigint_get_i64(const mpz_class& value);  // only when it fits
void bigint_set_i64(mpz_class& out, int64_t v);
// Decimal digits with a leading "-" when negative.
std::string bigint_to_string(const mpz_class& value);

}  // namespace veln
