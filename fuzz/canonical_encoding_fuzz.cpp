// libFuzzer target: values of every kind, nested, built from the input, then
// encoded. The counted length must equal the text's length (or fail with the
// same message), and the text must read back as JSON.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz_input.hpp"
#include "interpreter_support/sets/set_algebra.hpp"
#include "lib/json_reader.hpp"
#include "interpreter_support/canonical_encoding.hpp"
#include "values/vm_datetime.hpp"
#include "values/vm_decimal.hpp"

namespace {

using veln::VmValue;

uint64_t word(FuzzInput& in) {
  uint64_t w = 0;
  for (int i = 0; i < 8; ++i) w = (w << 8) | in.byte();
  return w;
}

// Any bytes; a str holds UTF-8, here ASCII with every control character.
std::string bytes(FuzzInput& in, uint8_t mask = 0xFF) {
  std::string s(in.byte() % 24, '\0');
  for (char& c : s) c = static_cast<char>(in.byte() & mask);
  return s;
}

VmValue build(FuzzInput& in, int depth) {
  const uint8_t op = in.byte();
  const bool leaf = depth > 5 || in.n == 0;
  switch (leaf ? op % 10 : op % 15) {
    case 0: return VmValue::none();
    case 1: return VmValue::boolean(op & 16);
    case 2: return VmValue::integer(static_cast<int64_t>(word(in)));
    case 3: {
      mpz_class big = static_cast<unsigned long>(word(in));
      big = (big << 64) + static_cast<unsigned long>(word(in));
      return VmValue::integer(op & 16 ? -big : big);
    }
    case 4: {
      const uint64_t w = word(in);
      double d;
      std::memcpy(&d, &w, sizeof d);
      return VmValue::float64(d);
    }
    case 5: return VmValue::str(bytes(in, 0x7F));
    case 6: return *VmValue::make_text(op & 16 ? veln::VmKind::Bytes : veln::VmKind::ByteArray, bytes(in));
    case 7: return VmValue::timedelta_seconds(static_cast<int64_t>(word(in)));
    case 8: {
      auto d = veln::VmDecimal::from_scaled(mpz_class(static_cast<long>(word(in))));
      return VmValue::decimal(*d);
    }
    case 9: {
      auto dt = veln::VmDateTime::make(static_cast<int32_t>(word(in) % 5000) - 2000, 1 + in.byte() % 12,
                                       1 + in.byte() % 28, in.byte() % 24, in.byte() % 60, in.byte() % 60,
                                       static_cast<uint32_t>(word(in) % 1000000));
      return dt.ok() ? VmValue::datetime(*dt) : VmValue::none();
    }
    case 10: return VmValue::contract_handle({bytes(in, 0x7F), "static_import"});
    case 11:
    case 12:
    case 13: {
      std::vector<VmValue> items(in.byte() % 5);
      for (VmValue& item : items) item = build(in, depth + 1);
      if (op % 15 == 11) return *VmValue::make_list(std::move(items));
      if (op % 15 == 12) return *VmValue::make_tuple(std::move(items));
      auto normalised = veln::normalize_set_items(std::move(items));
      return normalised.ok() ? *VmValue::make_set(std::move(normalised).value()) : VmValue::none();
    }
    default: {
      std::vector<veln::VmDictPair> pairs(in.byte() % 5);
      for (veln::VmDictPair& p : pairs) {
        p.key = build(in, depth + 1);
        p.value = build(in, depth + 1);
      }
      return *VmValue::make_dict(std::move(pairs));
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzInput in{data, size};
  const VmValue value = build(in, 0);
  auto text = veln::encode_vm_value(value);
  auto length = veln::encoded_vm_value_length(value);
  if (text.ok() != length.ok()) std::abort();
  if (!text.ok()) {
    if (text.error().message != length.error().message) std::abort();
    return 0;
  }
  if (text->size() != *length) std::abort();
  if (!veln::read_json_value(*text).ok()) std::abort();
  return 0;
}
