#include "interpreter_support/value_iteration.hpp"

#include <unicode/utf8.h>

#include <algorithm>

#include "interpreter_support/value_equality.hpp"
#include "values/vm_work_tally.hpp"

namespace veln {
namespace {

std::vector<VmValue> characters_of(std::string_view text, size_t code_points) {
  std::vector<VmValue> out;
  out.reserve(code_points);
  const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
  size_t i = 0;
  while (i < text.size()) {
    const size_t start = i;
    UChar32 cp;
    U8_NEXT_UNSAFE(bytes, i, cp);
    (void)cp;
    out.push_back(VmValue::str(text.substr(start, i - start)));
  }
  return out;
}

}  // namespace

// A step per item listed, refused before any is made.
VmResult<std::vector<VmValue>> iterate_value(const VmValue& value) {
  switch (value.kind()) {
    case VmKind::String: {
      // Each character is a text of its own, whose buffer counts as it is
      // made: a request that cannot hold them all is refused before any is.
      const size_t n = value.text_code_points();
      VELN_CHECK(vm_check_budget(n * (1 + kVmBufferSteps), n * kVmBufferWeight));
      VELN_CHECK(vm_take_work(n));
      return characters_of(value.text(), n);
    }
    case VmKind::Bytes:
    case VmKind::ByteArray: {
      VELN_CHECK(vm_take_work(value.text_size()));
      std::vector<VmValue> out;
      out.reserve(value.text_size());
      for (unsigned char b : value.text()) out.push_back(VmValue::integer(int64_t{b}));
      return out;
    }
    case VmKind::List:
    case VmKind::Tuple:
    case VmKind::Set:
    case VmKind::FrozenSet: {
      auto items = value.items();
      VELN_CHECK(vm_take_work(items.size()));
      return std::vector<VmValue>(items.begin(), items.end());
    }
    case VmKind::Dict: {
      VELN_CHECK(vm_take_work(value.dict_size()));
      std::vector<VmValue> keys;
      keys.reserve(value.dict_size());
      for (const VmDictPair& pair : value.dict_pairs()) keys.push_back(pair.key);
      return keys;
    }
    default:
      return vm_error("value of type " + std::string(value.type_name()) + " is not iterable");
  }
}

}  // namespace veln
