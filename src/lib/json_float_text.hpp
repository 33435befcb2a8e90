// The text the JSON writer gives a finite float: shortest round-trip digits,
// positional for magnitudes in [1e-5, 1e16) with at least one fraction digit
// ("3.0", "0.00001"), exponent form otherwise without "+" or leading exponent
// zeros ("1e16", "1.8446744073709552e19", "1e-7"). Reading messages quote
// floats in this form too. Must not be used for contract-visible float text
// (that is the display form of values/float_text.hpp).
#pragma once

#include <string>

namespace veln {

// Only for finite x (the serialiser writes non-finite floats as null).
void append_json_float_text(std::string& out, double x);
std::string json_float_text(double x);

}  // namespace veln
