#include "interpreter/numeric_builtins.hpp"

#include <unicode/utf8.h>

#include <cmath>
#include <optional>
#include <span>
#include <string>

#include "interpreter/iterable_items.hpp"
#include "interpreter/number_text.hpp"
#include "interpreter_support/binary_operators.hpp"
#include "interpreter_support/formatting.hpp"
#include "interpreter_support/integer_guards.hpp"
#include "interpreter_support/operand_conversions.hpp"
#include "interpreter_support/value_equality.hpp"
#include "interpreter_support/value_iteration.hpp"
#include "values/bigint.hpp"
#include "values/decimal_from_value.hpp"
#include "values/vm_decimal.hpp"
#include "values/vm_work_tally.hpp"

namespace veln {
namespace {

// int() reads at most this many bytes of text; a modular power takes
// exponents of at most this many bits.
constexpr size_t kMaxIntTextBytes = 8192;
constexpr uint64_t kMaxModularExponentBits = 8192;
// Exponent bits times modulus bits.
constexpr uint64_t kMaxModularPowerWork = uint64_t{1} << 24;

VmExecutionError does_not_support(std::string_view builtin, const VmValue& value) {
  return vm_error(std::string(builtin) + "() does not support " + std::string(value.type_name()));
}

bool is_valid_utf8(std::string_view bytes) {
  const auto* p = reinterpret_cast<const uint8_t*>(bytes.data());
  const int32_t n = static_cast<int32_t>(bytes.size());
  int32_t i = 0;
  while (i < n) {
    if (p[i] < 0x80) {
      ++i;
      continue;
    }
    UChar32 c;
    U8_NEXT(p, i, n, c);
    if (c < 0) return false;
  }
  return true;
}

// The text of a str, bytes or bytearray argument of int() or float(), or
// the refusal of non-text bytes.
VmResult<std::string_view> number_text_of(const VmValue& value, std::string_view builtin) {
  // Parsing reads the whole text; refused before it starts.
  VELN_CHECK(vm_take_work(vm_text_read_steps(value.text_size())));
  if (!value.is(VmKind::String) && !is_valid_utf8(value.text()))
    return vm_error("cannot convert non-text bytes to " + std::string(builtin));
  return value.text();
}

VmExecutionError int_text_too_long() {
  return vm_error("int() input exceeds the maximum allowed length of " + std::to_string(kMaxIntTextBytes) +
                  " characters");
}

constexpr std::string_view kIntLabel = "int()";

VmResult<VmValue> checked_int_result(VmValue value) {
  VELN_CHECK(ensure_int_value_bits(value, kIntLabel));
  return value;
}

VmResult<VmValue> int_of_one(const VmValue& x) {
  switch (x.kind()) {
    case VmKind::Bool:
      return VmValue::integer(int64_t{x.bool_value() ? 1 : 0});
    case VmKind::Int:
      return checked_int_result(x);
    case VmKind::Float: {
      VELN_TRY(mpz_class n, f64_to_bigint_trunc("float() input", x.float_value()));
      return checked_int_value(std::move(n), kIntLabel);
    }
    case VmKind::Decimal:
      return checked_int_value(x.decimal_value().to_bigint(), kIntLabel);
    case VmKind::String:
    case VmKind::Bytes:
    case VmKind::ByteArray: {
      if (x.text_size() > kMaxIntTextBytes) return int_text_too_long();
      VELN_TRY(std::string_view text, number_text_of(x, "int"));
      std::optional<VmValue> parsed = parse_integer_text(text, 10);
      if (!parsed) return vm_error_quoting_text("cannot convert '", text, "' to int");
      return checked_int_result(std::move(*parsed));
    }
    default:
      return does_not_support("int", x);
  }
}

VmResult<VmValue> int_of_text_in_base(const VmValue& text, const VmValue& base_value) {
  if (!text.is(VmKind::String)) return vm_error("int() base argument requires a string input");
  if (text.text_size() > kMaxIntTextBytes) return int_text_too_long();
  VELN_TRY(mpz_class base_int, base_value.as_bigint());
  VELN_TRY(uint32_t base, bigint_to_u32(base_int, "int() base"));
  if (base < 2 || base > 36) return vm_error("int() base must be between 2 and 36");
  std::optional<VmValue> parsed = parse_integer_text(text.text(), base);
  if (!parsed) {
    return vm_error("cannot convert '" + std::string(text.text()) + "' to int with base " + std::to_string(base));
  }
  return checked_int_result(std::move(*parsed));
}

VmExecutionError pow_unsupported(const VmValue& base, const VmValue& exponent) {
  return vm_error("pow() does not support " + std::string(base.type_name()) + " and " +
                  std::string(exponent.type_name()));
}

VmResult<VmValue> decimal_pow(const VmValue& base, const VmValue& exponent) {
  VELN_TRY(VmDecimal b, decimal_from_vm_value(base));
  VELN_TRY(VmDecimal e, decimal_from_vm_value(exponent));
  VELN_TRY(VmDecimal r, VmDecimal::pow(b, e));
  return VmValue::decimal(std::move(r));
}

VmResult<VmValue> pow_of_two(const VmValue& base, const VmValue& exponent) {
  const VmKind bk = base.kind();
  const VmKind ek = exponent.kind();
  if (bk == VmKind::Int && ek == VmKind::Int) return checked_int_pow(base, exponent, kLabelIntegerExponentiation);
  if (bk == VmKind::Decimal) return decimal_pow(base, exponent);
  if (bk != VmKind::Int && ek == VmKind::Int) {
    if (bk != VmKind::Float) return pow_unsupported(base, exponent);
    return VmValue::float64(std::pow(base.float_value(), vm_int_to_f64(exponent)));
  }
  if (ek == VmKind::Float && (bk == VmKind::Int || bk == VmKind::Float)) {
    const double b = bk == VmKind::Int ? vm_int_to_f64(base) : base.float_value();
    return VmValue::float64(std::pow(b, exponent.float_value()));
  }
  if (ek == VmKind::Decimal) return decimal_pow(base, exponent);
  return pow_unsupported(base, exponent);
}

VmResult<VmValue> modular_pow(const VmValue& base_value, const VmValue& exponent_value, const VmValue& mod_value) {
  VELN_TRY(mpz_class base, base_value.as_bigint());
  VELN_TRY(mpz_class exponent, exponent_value.as_bigint());
  VELN_TRY(mpz_class mod, mod_value.as_bigint());
  if (sgn(exponent) < 0) return vm_error("pow() 3rd argument not allowed unless all arguments are integers");
  if (sgn(mod) == 0) return vm_error("pow() 3rd argument cannot be 0");
  VELN_CHECK(ensure_bigint_bits(mod, "modular exponentiation modulus"));
  const uint64_t exponent_bits = bigint_bit_length(exponent);
  if (exponent_bits > kMaxModularExponentBits) {
    return vm_error("modular exponentiation exponent exceeds the maximum allowed integer size of " +
                    std::to_string(kMaxModularExponentBits) + " bits");
  }
  // The work of a modular power grows with both sizes; their product is
  // bounded so one call costs about as much as the largest multiplication.
  if (exponent_bits * bigint_bit_length(mod) > kMaxModularPowerWork) {
    return vm_error("modular exponentiation modulus exceeds the maximum allowed integer size of " +
                    std::to_string(kMaxModularPowerWork / exponent_bits) + " bits");
  }
  // A multiplication modulo |mod| per exponent bit, each over its words.
  VELN_CHECK(vm_take_work(exponent_bits * vm_bigint_work_steps(vm_mpz_words(mod))));
  const mpz_class magnitude = abs(mod);
  mpz_class result;
  mpz_powm(result.get_mpz_t(), base.get_mpz_t(), exponent.get_mpz_t(), magnitude.get_mpz_t());
  // mpz_powm answers in [0, |mod|); a negative modulus takes results in (mod, 0].
  if (sgn(mod) < 0 && sgn(result) != 0) result += mod;
  return checked_int_value(std::move(result), "modular exponentiation");
}

VmResult<VmValue> radix_text(const VmValue& x, int radix, std::string_view prefix) {
  VELN_TRY(mpz_class n, x.as_bigint());
  return VmValue::make_str(format_integer_builtin(n, radix, prefix));
}

// The first candidate that no later one beats: `wanted` is the ordering a
// later candidate must have against the best so far to replace it.
// One argument is an iterable of candidates, several are the candidates.
// Small ints are ordered here; any other pair as compare_vm_values orders it.
inline VmResult<VmOrdering> order_of(const VmValue& a, const VmValue& b) {
  if (a.is(VmKind::Int) && b.is(VmKind::Int) && a.int_is_small() && b.int_is_small()) {
    const int64_t x = a.small_int();
    const int64_t y = b.small_int();
    return x < y ? VmOrdering::Less : x > y ? VmOrdering::Greater : VmOrdering::Equal;
  }
  return compare_vm_values(a, b);
}

VmResult<VmValue> extreme_of(std::span<VmValue> args, VmOrdering wanted, std::string_view empty_message) {
  std::optional<IterableItems> listed;
  if (args.size() == 1) {
    VELN_TRY(IterableItems items, IterableItems::of(args[0]));
    listed.emplace(std::move(items));
  }
  const std::span<const VmValue> candidates = listed ? listed->items() : std::span<const VmValue>(args);
  if (candidates.empty()) return vm_error(std::string(empty_message));
  // A step per candidate: all of them are read, refused before any is.
  VELN_CHECK(vm_take_work(candidates.size()));
  size_t best = 0;
  for (size_t i = 1; i < candidates.size(); ++i) {
    VELN_TRY(VmOrdering o, order_of(candidates[i], candidates[best]));
    if (o == wanted) best = i;
  }
  return candidates[best];
}

}  // namespace

VmResult<VmValue> builtin_abs(BuiltinCall& call) {
  const VmValue& x = call.args[0];
  switch (x.kind()) {
    case VmKind::Int:
      return x.int_sign() < 0 ? vm_int_neg(x) : x;
    case VmKind::Float:
      return VmValue::float64(std::fabs(x.float_value()));
    case VmKind::Decimal: {
      VELN_TRY(VmDecimal d, VmDecimal::from_scaled(abs(x.decimal_value().scaled())));
      return VmValue::decimal(std::move(d));
    }
    default:
      return does_not_support("abs", x);
  }
}

VmResult<VmValue> builtin_bool(BuiltinCall& call) { return VmValue::boolean(call.args[0].truthy()); }

VmResult<VmValue> builtin_divmod(BuiltinCall& call) {
  VELN_TRY(VmValue quotient, apply_binary_operator(BinaryOperator::FloorDiv, call.args[0], call.args[1]));
  VELN_TRY(VmValue remainder,
           apply_binary_operator(BinaryOperator::Mod, std::move(call.args[0]), std::move(call.args[1])));
  return VmValue::make_tuple({std::move(quotient), std::move(remainder)});
}

VmResult<VmValue> builtin_float(BuiltinCall& call) {
  const VmValue& x = call.args[0];
  switch (x.kind()) {
    case VmKind::Bool:
      return VmValue::float64(x.bool_value() ? 1.0 : 0.0);
    case VmKind::Int:
      return VmValue::float64(vm_int_to_f64(x));
    case VmKind::Float:
      return x;
    case VmKind::Decimal:
      return VmValue::float64(x.decimal_value().to_f64());
    case VmKind::String:
    case VmKind::Bytes:
    case VmKind::ByteArray: {
      VELN_TRY(std::string_view text, number_text_of(x, "float"));
      std::optional<double> parsed = parse_float_text(text);
      if (!parsed) return vm_error_quoting_text("cannot convert '", text, "' to float");
      return VmValue::float64(*parsed);
    }
    default:
      return does_not_support("float", x);
  }
}

VmResult<VmValue> builtin_int(BuiltinCall& call) {
  if (call.args.size() == 2) return int_of_text_in_base(call.args[0], call.args[1]);
  return int_of_one(call.args[0]);
}

VmResult<VmValue> builtin_pow(BuiltinCall& call) {
  if (call.args.size() == 3) return modular_pow(call.args[0], call.args[1], call.args[2]);
  return pow_of_two(call.args[0], call.args[1]);
}

VmResult<VmValue> builtin_round(BuiltinCall& call) {
  std::optional<int32_t> ndigits;
  if (call.args.size() == 2) {
    VELN_TRY(mpz_class n, call.args[1].as_bigint());
    VELN_TRY(int64_t wide, bigint_to_i64(n, "round() ndigits"));
    if (wide < INT32_MIN || wide > INT32_MAX) return vm_error("round() ndigits is out of supported range");
    ndigits = static_cast<int32_t>(wide);
  }
  return round_builtin_value(call.args[0], ndigits);
}

VmResult<VmValue> builtin_bin(BuiltinCall& call) { return radix_text(call.args[0], 2, "0b"); }
VmResult<VmValue> builtin_oct(BuiltinCall& call) { return radix_text(call.args[0], 8, "0o"); }
VmResult<VmValue> builtin_hex(BuiltinCall& call) { return radix_text(call.args[0], 16, "0x"); }

VmResult<VmValue> builtin_min(BuiltinCall& call) {
  return extreme_of(call.args, VmOrdering::Less, "min() received no values");
}

VmResult<VmValue> builtin_max(BuiltinCall& call) {
  return extreme_of(call.args, VmOrdering::Greater, "max() received no values");
}

VmResult<VmValue> builtin_sum(BuiltinCall& call) {
  VmValue total = call.args.size() == 2 ? std::move(call.args[1]) : VmValue::integer(int64_t{0});
  VELN_TRY(IterableItems items, IterableItems::of(call.args[0]));
  // A step per item: all of them are read, refused before any is.
  VELN_CHECK(vm_take_work(items.size()));
  for (const VmValue& item : items.items()) {
    int64_t small_total;
    if (total.is(VmKind::Int) && item.is(VmKind::Int) && total.int_is_small() && item.int_is_small() &&
        !__builtin_add_overflow(total.small_int(), item.small_int(), &small_total)) {
      total = VmValue::integer(small_total);
      continue;
    }
    VELN_TRY(total, apply_binary_operator(BinaryOperator::Add, std::move(total), item));
  }
  return total;
}

}  // namespace veln
