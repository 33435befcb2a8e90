// Text that contract code asks for explicitly, and rounding: the builtin
// `format` with its small spec language, `bin`/`oct`/`hex`, the positional
// templates of `str.format`, `round`, and the ASCII-only texts of `ascii`.
// Deterministic text and integer arithmetic; the float paths use plain 64-bit
// IEEE operations in a fixed order. Nothing here looks at the interpreter.
#pragma once

#include <gmpxx.h>

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "values/vm_execution_error.hpp"
#include "values/bounded_text.hpp"
#include "values/vm_value.hpp"

namespace veln {

// Every text here that a value or a width can make large is bounded by the
// size limit of a str value (the size message instead, nothing longer built).
VmResult<std::string> format_builtin_value(const VmValue& value, std::string_view spec);
// "0x1f", "-0b101": radix 2, 8 or 16 with its prefix.
std::string format_integer_builtin(const mpz_class& value, int radix, std::string_view prefix);
VmResult<std::string> render_simple_format(std::string_view templ, std::span<const VmValue> arguments);
VmResult<VmValue> round_builtin_value(const VmValue& value, std::optional<int32_t> ndigits);
// value rounded to a multiple of factor, ties away from zero.
VmResult<mpz_class> round_bigint_to_factor(const mpz_class& value, const mpz_class& factor);
// The text in single quotes with every non-printable or non-ASCII character
// escaped as \xhh, \uhhhh or \Uhhhhhhhh.
void append_ascii_string_repr(BoundedText& out, std::string_view text);
// Non-ASCII characters as \u{hex}.
void append_ascii_render(BoundedText& out, std::string_view text);
// The text of the builtin `ascii`: ascii_string_repr of a str, else
// ascii_render of the display text, or the size message.
VmResult<std::string> ascii_builtin_text(const VmValue& value);
// Unbounded forms, for texts known to be small (type-check messages of
// names, tests).
std::string ascii_string_repr(std::string_view text);
std::string ascii_render(std::string_view text);

}  // namespace veln
