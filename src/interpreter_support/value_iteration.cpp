#include "interpreter_support/value_iteration.hpp"

#include <unicode/utf8.h>

#include <algorithm>

#include "interpreter_support/value_equality.hpp"

namespace veln {
namespace {

std::vector<VmValue> characters_of(std::string_view text) {
  std::vector<VmValue> out;
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

// Kinds whose values compare among themselves without error and in a total
// order, so a library stable sort gives exactly the insertion sort's result.
bool sorts_as_total_order(const std::vector<VmValue>& values) {
  if (values.empty()) return true;
  const VmKind kind = values.front().kind();
  switch (kind) {
    case VmKind::Int:
    case VmKind::String:
    case VmKind::Decimal:
      break;
    case VmKind::Float:
      for (const VmValue& v : values) {
        if (v.is(VmKind::Float) && v.float_value() != v.float_value()) return false;  // NaN
      }
      break;
    default:
      return false;
  }
  return std::all_of(values.begin(), values.end(), [kind](const VmValue& v) { return v.kind() == kind; });
}

// The literal algorithm: each value in input order goes before the first
// placed value it is strictly less than, else at the end. Kept for mixed
// kinds, where which comparison fails first depends on this scan order.
VmResult<std::vector<VmValue>> insertion_sort(std::vector<VmValue> values) {
  std::vector<VmValue> placed;
  placed.reserve(values.size());
  for (VmValue& v : values) {
    size_t at = placed.size();
    for (size_t j = 0; j < placed.size(); ++j) {
      VELN_TRY(VmOrdering ord, compare_vm_values(v, placed[j]));
      if (ord == VmOrdering::Less) {
        at = j;
        break;
      }
    }
    placed.insert(placed.begin() + static_cast<std::ptrdiff_t>(at), std::move(v));
  }
  return placed;
}

}  // namespace

VmResult<std::vector<VmValue>> iterate_value(const VmValue& value) {
  switch (value.kind()) {
    case VmKind::String:
      return characters_of(value.text());
    case VmKind::Bytes:
    case VmKind::ByteArray: {
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
      return std::vector<VmValue>(items.begin(), items.end());
    }
    case VmKind::Dict: {
      std::vector<VmValue> keys;
      keys.reserve(value.dict_size());
      for (const VmDictPair& pair : value.dict_pairs()) keys.push_back(pair.key);
      return keys;
    }
    default:
      return vm_error("value of type " + std::string(value.type_name()) + " is not iterable");
  }
}

VmResult<std::vector<VmValue>> sorted_values(std::vector<VmValue> values) {
  if (!sorts_as_total_order(values)) return insertion_sort(std::move(values));
  // One kind, no NaN: comparisons cannot fail.
  std::stable_sort(values.begin(), values.end(), [](const VmValue& a, const VmValue& b) {
    auto ord = compare_vm_values(a, b);
    return ord.ok() && *ord == VmOrdering::Less;
  });
  return values;
}

VmResult<std::vector<VmValue>> builtin_ordered_values(std::vector<VmValue> arguments) {
  if (arguments.size() == 1) return iterate_value(arguments.front());
  return arguments;
}

}  // namespace veln
