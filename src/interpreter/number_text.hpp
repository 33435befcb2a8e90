// The number texts that int() and float() read. Integers: one optional sign,
// then digits of the base ("0"-"9", then "a"-"z" in either case for 10-35),
// the first character after the sign a digit, underscores after it ignored
// wherever they stand; no white space, no prefix. Floats: an optional sign,
// then inf, infinity or nan in any case, or decimal digits with an optional
// point and exponent, read as the nearest double. These accept nothing
// else; they neither limit lengths nor word messages (the builtins do).
#pragma once

#include <optional>
#include <string_view>

#include "values/vm_value.hpp"

namespace veln {

// An Int value, or nothing when the text does not follow the grammar.
// `base` is 2 to 36.
std::optional<VmValue> parse_integer_text(std::string_view text, unsigned base);

// The nearest double (an infinity or a signed zero beyond the double range),
// or nothing when the text does not follow the grammar.
std::optional<double> parse_float_text(std::string_view text);

}  // namespace veln
