// Readers of module IR node fields (JSON objects at run time) and of call
// arguments given by position or keyword, each with its fixed message, plus
// the two conversions of optional context texts into runtime values. Pure
// functions: they only read the JSON tree and the argument sequences.
#pragma once

#include <gmpxx.h>

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "lib/json_value.hpp"
#include "values/vm_execution_error.hpp"
#include "values/vm_value.hpp"

namespace veln {

// One keyword argument of a call, in call order. Names are matched by exact
// bytes and the first argument with a name wins.
struct VmKeywordArg {
  std::string name;
  VmValue value;
};
using VmPositionalArgs = std::span<const VmValue>;
using VmKeywordArgs = std::span<const VmKeywordArg>;

// --- IR node fields ----------------------------------------------------------
// The field itself, of any kind (null included): "missing field '{}'".
VmResult<const JsonValue*> required_value(const JsonValue& object, std::string_view key);
// Missing or of another kind: "field '{}' must be a string" (and likewise).
VmResult<std::string_view> required_string(const JsonValue& object, std::string_view key);
VmResult<std::span<const JsonValue>> required_array(const JsonValue& object, std::string_view key);
// Any JSON number; integers are converted to the nearest double.
VmResult<double> required_f64(const JsonValue& object, std::string_view key);
// A 64-bit JSON integer, or base-10 text with an optional sign and "_"
// separators after the first digit ("1_000"); doubles are refused.
VmResult<mpz_class> required_bigint(const JsonValue& object, std::string_view key);
// The text when the field is a string; nothing otherwise (never fails).
std::optional<std::string_view> optional_string(const JsonValue& object, std::string_view key);
// The value when it is an object, else "{label} must be an object, got {compact JSON}".
VmResult<const JsonValue*> as_object(const JsonValue& value, std::string_view label);

// --- call arguments ------------------------------------------------------------
// The texts of a list or tuple of str, viewing into `value` (which must
// outlive them); otherwise "{label} must be a list of strings".
VmResult<std::vector<std::string_view>> as_string_list(const VmValue& value, std::string_view label);
// The argument at `index` when that many positional ones were given, else the
// first keyword `name`, converted with VmValue::as_i64; a missing one fails
// with "missing required argument '{name}'".
VmResult<int64_t> positional_or_keyword_i64(VmPositionalArgs args, VmKeywordArgs kwargs, std::size_t index,
                                            std::string_view name);
// The same, but a missing argument is nothing.
VmResult<std::optional<int64_t>> optional_positional_or_keyword_i64(VmPositionalArgs args, VmKeywordArgs kwargs,
                                                                    std::size_t index, std::string_view name);
// The first keyword argument named `name`, or nullptr.
const VmValue* find_keyword(VmKeywordArgs kwargs, std::string_view name);

// Fails with `arity_message` when any keyword argument was given (whatever
// its name) or the positional count is not `count`.
VmStatus expect_positional_count(VmPositionalArgs args, VmKeywordArgs kwargs, std::size_t count,
                                 std::string_view arity_message);
// The text of a str value, viewing into it; else "expected string value, got {}".
VmResult<std::string_view> string_arg(const VmValue& value);
// The module name of a "contract.import" call: keyword "module", else keyword
// "name", else the first positional argument (further ones are ignored); it
// must be a str. With none of them: "contract.import expects a module name".
VmResult<std::string> resolve_contract_import_arg(VmPositionalArgs args, VmKeywordArgs kwargs);

// --- context texts ---------------------------------------------------------------
// A str value holding the text, or None.
VmValue option_string_value(const std::optional<std::string>& text);
// The tuple (module, function) of two str values, or None. Fails only when
// the names exceed the value size limit.
VmResult<VmValue> option_entry_value(const std::optional<std::pair<std::string, std::string>>& entry);

}  // namespace veln
