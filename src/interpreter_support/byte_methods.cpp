// The bytes and bytearray method tables and their methods. A changing method
// edits the receiver it was handed (copy-on-write: the buffer is copied only
// when shared) and only after every argument was converted, so a failure
// leaves nothing half-done.
#include "interpreter_support/byte_methods.hpp"

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <utility>

#include "lib/hex_codec.hpp"
#include "interpreter_support/native_method_table.hpp"
#include "interpreter_support/subscripts.hpp"
#include "interpreter_support/value_iteration.hpp"
#include "values/vm_work_tally.hpp"

namespace veln {
namespace {

using Args = NativeMethodArgs;
using Outcome = VmResult<NativeMethodOutcome>;

// Lower-case hex of the receiver's bytes; the doubled size, and the steps
// of the text's making (which its buffer counts when made), are checked
// first.
Outcome bytes_hex(VmValue b, Args) {
  const uint64_t size = uint64_t{b.text_size()} * 2;
  VELN_CHECK(vm_check_units(vm_text_units(size)));
  VELN_CHECK(vm_check_budget(vm_text_read_steps(size)));
  const std::string_view bytes = b.text();
  std::string text =
      hex_encode_lower(std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()));
  return NativeMethodOutcome::plain(VmValue::text_unchecked(VmKind::String, std::move(text)));
}

// Methods that change the receiver take it by value and hand it back.
Outcome bytearray_copy(VmValue b, Args) { return NativeMethodOutcome::plain(std::move(b)); }

Outcome bytearray_clear(VmValue b, Args) {
  VELN_CHECK(b.text_assign(std::string()));
  return NativeMethodOutcome::mutated(std::move(b));
}

Outcome bytearray_append(VmValue b, Args args) {
  VELN_TRY(uint8_t byte, byte_from_value(args[0]));
  const char ch = static_cast<char>(byte);
  VELN_CHECK(b.text_append(std::string_view(&ch, 1)));
  return NativeMethodOutcome::mutated(std::move(b));
}

Outcome bytearray_extend(VmValue b, Args args) {
  VELN_TRY(std::vector<VmValue> items, iterate_value(args[0]));
  std::string more;
  more.reserve(items.size());
  for (const VmValue& item : items) {
    VELN_TRY(uint8_t byte, byte_from_value(item));
    more.push_back(static_cast<char>(byte));
  }
  VELN_CHECK(b.text_append(more));
  return NativeMethodOutcome::mutated(std::move(b));
}

Outcome bytearray_pop(VmValue b, Args args) {
  const size_t n = b.text_size();
  size_t at = 0;
  if (args.empty()) {
    if (n == 0) return vm_error("pop from empty bytearray");
    at = n - 1;
  } else {
    VELN_TRY(at, normalize_sequence_index(args[0], n));
  }
  const uint8_t byte = static_cast<uint8_t>(b.text()[at]);
  std::string rest(b.text());
  rest.erase(at, 1);
  VELN_CHECK(b.text_assign(std::move(rest)));
  return NativeMethodOutcome::mutated(std::move(b), VmValue::integer(byte));
}

// ---- the tables -----------------------------------------------------------------

constexpr NativeMethodTable<1> kBytesMethods("bytes", {{
    {"hex", 0, 0, "bytes.hex() expects no arguments", &bytes_hex},
}});

constexpr NativeMethodTable<6> kByteArrayMethods("bytearray", {{
    {"hex", 0, 0, "bytearray.hex() expects no arguments", &bytes_hex},
    {"copy", 0, 0, "bytearray.copy() expects no arguments", &bytearray_copy},
    {"clear", 0, 0, "bytearray.clear() expects no arguments", &bytearray_clear},
    {"append", 1, 1, "bytearray.append() expects one argument", &bytearray_append},
    {"extend", 1, 1, "bytearray.extend() expects one argument", &bytearray_extend},
    {"pop", 0, 1, "bytearray.pop() accepts at most one argument", &bytearray_pop},
}});

constexpr NativeMethodKind kBytesKind(kBytesMethods);
constexpr NativeMethodKind kByteArrayKind(kByteArrayMethods);

}  // namespace

const NativeMethodKind& bytes_methods() { return kBytesKind; }
const NativeMethodKind& bytearray_methods() { return kByteArrayKind; }

}  // namespace veln
