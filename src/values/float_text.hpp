// Text forms of 64-bit floats: the display form contract code sees ("1.0",
// "1e16", "1e-5", "NaN", "inf") and the plain positional form used when a float
// becomes a decimal or an integer ("1", "0.0000001", "100000000000000000000").
// Both start from the shortest round-trip digits; this file must not use the
// C library's printf family (locale- and libc-dependent) nor fixed-precision
// formatting (which prints exact binary expansions).
#pragma once

#include <string>

namespace veln {

// The shortest decimal digits that read back to the same double: the value is
// (negative ? -1 : 1) * 0.d1d2...dn * 10^decimal_point. Only for finite x;
// zero has the single digit "0" and decimal_point 1.
struct ShortestDigits {
  char digits[24];
  int count = 0;
  int decimal_point = 0;
  bool negative = false;
};
ShortestDigits shortest_digits(double x);

// Display form: "NaN", "inf", "-inf"; positional with at least one fraction
// digit for zero and magnitudes in [1e-4, 1e16); exponent form otherwise with
// no "+" and no leading exponent zeros ("1e16", "1.5e-7").
std::string float_display_text(double x);
void append_float_display_text(std::string& out, double x);

// Plain form: the shortest digits in positional notation, never an exponent,
// no trailing ".0" ("1", "-0", "0.1", "1000000000000000000000"). Non-finite
// values give "NaN", "inf" and "-inf" (callers quote them in messages).
std::string float_plain_text(double x);
void append_float_plain_text(std::string& out, double x);

}  // namespace veln
