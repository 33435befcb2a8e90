#include "interpreter/text_builtins.hpp"

#include <unicode/utf8.h>

#include <charconv>
#include <string>

#include "interpreter_support/formatting.hpp"
#include "interpreter_support/integer_guards.hpp"
#include "interpreter_support/string_methods.hpp"
#include "interpreter_support/subscripts.hpp"
#include "values/bigint.hpp"

namespace veln {
namespace {

// The words of bytes() and bytearray(), which share one algorithm.
struct BytesFlavour {
  VmKind kind;
  std::string_view size_subject;
  std::string_view size_message;
  std::string_view name;  // in the encoding message
};

constexpr BytesFlavour kBytesFlavour{VmKind::Bytes, "bytes() size",
                                     "bytes() exceeds the maximum allowed allocation size", "bytes()"};
constexpr BytesFlavour kByteArrayFlavour{VmKind::ByteArray, "bytearray() size",
                                         "bytearray() exceeds the maximum allowed allocation size", "bytearray()"};

VmResult<VmValue> zero_bytes(const VmValue& count_value, const BytesFlavour& flavour) {
  if (count_value.int_sign() < 0) return vm_error("negative count");
  VELN_TRY(uint64_t count, bigint_to_usize(count_value.int_to_mpz(), flavour.size_subject));
  if (count > kMaxRepetitionSize) return vm_error(std::string(flavour.size_message));
  return VmValue::make_text(flavour.kind, std::string(count, '\0'));
}

VmResult<VmValue> encoded_text(const VmValue& text, const VmValue& encoding_value, const BytesFlavour& flavour) {
  if (!text.is(VmKind::String)) return vm_error("encoding without a string argument");
  VELN_CHECK(encoding_value.as_string());
  const NativeMethodKind& str = str_methods();
  VELN_TRY(NativeMethodOutcome lowered, str.call(encoding_value, str.find("lower"), "lower", {}));
  const std::string_view encoding = lowered.value.text();
  if (encoding == "utf-8" || encoding == "utf8") return VmValue::make_text(flavour.kind, std::string(text.text()));
  if (encoding == "ascii") {
    if (!text.text_is_ascii()) return vm_error("'ascii' codec can't encode characters outside ASCII range");
    return VmValue::make_text(flavour.kind, std::string(text.text()));
  }
  return vm_error("unsupported " + std::string(flavour.name) + " encoding '" + std::string(encoding) + "'");
}

VmResult<VmValue> bytes_like(BuiltinCall& call, const BytesFlavour& flavour) {
  if (call.args.empty()) return VmValue::make_text(flavour.kind, std::string());
  const VmValue& x = call.args[0];
  if (call.args.size() >= 2) return encoded_text(x, call.args[1], flavour);
  if (x.is(VmKind::Int)) return zero_bytes(x, flavour);
  if (x.is(VmKind::String)) return vm_error("string argument without an encoding");
  VELN_TRY(std::string bytes, clone_as_bytes_like(x));
  return VmValue::make_text(flavour.kind, std::move(bytes));
}

VmExecutionError empty_character() { return vm_error("ord() expected a character, but string was empty"); }
VmExecutionError long_character() {
  return vm_error("ord() expected a character, but string of length > 1 found");
}

}  // namespace

VmResult<VmValue> builtin_str(BuiltinCall& call) { return str_of(std::move(call.args[0])); }

VmResult<VmValue> str_of(VmValue x) {
  if (x.is(VmKind::String)) return x;
  if (x.is(VmKind::Int) && x.int_is_small()) {
    // At most 20 characters: far within the size limit.
    char digits[24];
    const size_t length = static_cast<size_t>(std::to_chars(digits, digits + sizeof digits, x.small_int()).ptr - digits);
    return VmValue::text_unchecked(VmKind::String, std::string(digits, length));
  }
  VELN_TRY(std::string text, x.bounded_python_repr());
  return VmValue::make_str(std::move(text));
}

VmResult<VmValue> builtin_ascii(BuiltinCall& call) {
  VELN_TRY(std::string text, ascii_builtin_text(call.args[0]));
  return VmValue::make_str(std::move(text));
}

VmResult<VmValue> builtin_chr(BuiltinCall& call) {
  VELN_TRY(mpz_class n, call.args[0].as_bigint());
  VELN_TRY(uint32_t code, bigint_to_u32(n, "chr() input"));
  if (code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
    return vm_error("chr() arg not in range(0x110000): " + std::to_string(code));
  char buf[4];
  int32_t length = 0;
  U8_APPEND_UNSAFE(buf, length, static_cast<UChar32>(code));
  return VmValue::str(std::string_view(buf, static_cast<size_t>(length)));
}

VmResult<VmValue> builtin_ord(BuiltinCall& call) {
  const VmValue& c = call.args[0];
  switch (c.kind()) {
    case VmKind::Bytes:
    case VmKind::ByteArray:
      if (c.text_size() == 0) return empty_character();
      if (c.text_size() > 1) return long_character();
      return VmValue::integer(int64_t{static_cast<unsigned char>(c.text()[0])});
    case VmKind::String: {
      const std::string_view text = c.text();
      if (text.empty()) return empty_character();
      const auto* p = reinterpret_cast<const uint8_t*>(text.data());
      size_t i = 0;
      UChar32 code;
      U8_NEXT_UNSAFE(p, i, code);
      if (i != text.size()) return long_character();
      return VmValue::integer(int64_t{code});
    }
    default:
      return vm_error("ord() does not support " + std::string(c.type_name()));
  }
}

VmResult<VmValue> builtin_format(BuiltinCall& call) {
  std::string spec;
  if (call.args.size() == 2) {
    VELN_TRY(spec, call.args[1].as_string());
  }
  VELN_TRY(std::string text, format_builtin_value(call.args[0], spec));
  return VmValue::make_str(std::move(text));
}

VmResult<VmValue> builtin_bytes(BuiltinCall& call) { return bytes_like(call, kBytesFlavour); }
VmResult<VmValue> builtin_bytearray(BuiltinCall& call) { return bytes_like(call, kByteArrayFlavour); }

}  // namespace veln
