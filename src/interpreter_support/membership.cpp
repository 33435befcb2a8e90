// Membership: by the container's kind, then the needle's.
#include "interpreter_support/membership.hpp"

#include <string>

#include "interpreter_support/set_algebra.hpp"
#include "interpreter_support/subscripts.hpp"
#include "interpreter_support/text_search.hpp"
#include "interpreter_support/value_equality.hpp"

namespace veln {
namespace {

VmResult<bool> scan_items(std::span<const VmValue> items, const VmValue& needle) {
  for (const VmValue& item : items) {
    VELN_TRY(bool equal, vm_values_equal(item, needle));
    if (equal) return true;
  }
  return false;
}

VmResult<bool> dict_has_key(const VmValue& dict, const VmValue& needle) {
  // A str is value-equal exactly to the str keys with the same text and no
  // comparison with a str can fail, so the structural index gives the scan's
  // answer; other needles may meet equal keys of other kinds (1 and 1.0) or
  // a failing comparison (NaN) and are scanned.
  if (needle.is(VmKind::String)) return dict.dict_find_structural(needle).has_value();
  for (const VmDictPair& pair : dict.dict_pairs()) {
    VELN_TRY(bool equal, vm_values_equal(pair.key, needle));
    if (equal) return true;
  }
  return false;
}

}  // namespace

VmResult<bool> contains_value(const VmValue& container, const VmValue& needle) {
  switch (container.kind()) {
    case VmKind::String:
      if (!needle.is(VmKind::String)) return vm_error("string membership requires a string needle");
      // UTF-8 is self-synchronising: a byte match is a character match.
      return text_find(container.text(), needle.text()) != TextSearch::npos;
    case VmKind::Bytes:
    case VmKind::ByteArray: {
      const std::string_view haystack = container.text();
      switch (needle.kind()) {
        case VmKind::Bool:
        case VmKind::Int: {
          VELN_TRY(uint8_t byte, byte_from_value(needle));
          return haystack.find(static_cast<char>(byte)) != std::string_view::npos;
        }
        case VmKind::Bytes:
        case VmKind::ByteArray:
          return text_find(haystack, needle.text()) != TextSearch::npos;
        default:
          return bytes_like_required_error(needle);
      }
    }
    case VmKind::Set:
    case VmKind::FrozenSet:
      return set_contains(container.items(), needle);
    case VmKind::List:
    case VmKind::Tuple:
      return scan_items(container.items(), needle);
    case VmKind::Dict:
      return dict_has_key(container, needle);
    default:
      return vm_error("membership is not supported for " + std::string(container.type_name()));
  }
}

}  // namespace veln
