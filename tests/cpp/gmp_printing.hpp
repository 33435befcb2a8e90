// How GoogleTest prints GMP integers (and their expressions) in failure
// messages: as decimal text. gmpxx's stream operator lives in a library built
// against one C++ standard library, so a test binary built against the other
// cannot link it; nothing here may call that operator.
#pragma once

#include <gmpxx.h>

#include <ostream>

template <class Expr>
void PrintTo(const __gmp_expr<mpz_t, Expr>& value, std::ostream* os) {
  *os << mpz_class(value).get_str();
}
