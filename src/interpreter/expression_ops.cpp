// Out-of-line work of expression and statement instructions (see header).
#include "interpreter/expression_ops.hpp"

#include <unicode/utf8.h>

#include <string>
#include <vector>

#include "interpreter/foreign_storage.hpp"
#include "interpreter/text_builtins.hpp"
#include "interpreter_support/subscripts.hpp"
#include "interpreter_support/value_iteration.hpp"
#include "values/bounded_text.hpp"

namespace veln {

VmResult<VmValue> build_sequence(VmKind kind, VmValue* items, uint32_t n) {
  std::vector<VmValue> values;
  values.reserve(n);
  for (uint32_t i = 0; i < n; ++i) values.push_back(std::move(items[i]));
  return VmValue::make_sequence(kind, std::move(values));
}

VmStatus dict_unpack_into(VmValue& dict, const VmValue& mapping) {
  if (!mapping.is(VmKind::Dict)) return vm_error("dict unpacking requires a dict value");
  for (const VmDictPair& pair : mapping.dict_pairs()) VELN_CHECK(dict.dict_push_pair(pair.key, pair.value));
  return Ok{};
}

VmResult<VmValue> fstring_value(const VmValue* parts, uint32_t n) {
  VELN_TRY(std::string text, vm_bounded_text([&](BoundedText& out) {
    for (uint32_t i = 0; i < n && !out.overflowed(); ++i) parts[i].append_python_repr(out);
  }));
  return VmValue::make_str(std::move(text));
}

VmResult<VmValue> display_text_value(const VmValue& value) { return str_of(value); }

VmResult<VmValue> read_subscript(VmRun& run, VmValue container, const VmValue& index) {
  if (container.is(VmKind::ForeignStorageRef)) {
    VmResult<VmValue> value = foreign_storage::read_hash(container, index, run.host);
    run.refresh_trace();
    return value;
  }
  return subscript_value(std::move(container), index);
}

VmResult<VmValue> slice_bound_value(const VmValue& bound) {
  if (bound.is(VmKind::Int)) return bound;
  VELN_TRY(mpz_class value, bound.as_bigint());
  return VmValue::integer(std::move(value));
}

VmResult<VmValue> slice_subscript(VmValue container, const VmValue* bounds, uint8_t present) {
  VmSliceArgs args;
  std::optional<VmValue>* parts[3] = {&args.lower, &args.upper, &args.step};
  for (int i = 0; i < 3; ++i) {
    if (present & (1u << i)) *parts[i] = *bounds++;
  }
  return subscript_slice_value(std::move(container), args);
}

VmExecutionError raise_error(const VmValue& exception) {
  if (exception.is(VmKind::Exception)) {
    return vm_bounded_error([&](BoundedText& text) { exception.exception_value().append_python_repr(text); });
  }
  if (exception.is(VmKind::Builtin)) {
    const std::string_view name = exception.text();
    if (name == "Exception" || name == "TypeError" || name == "ValueError" || name == "RuntimeError") {
      return vm_error(std::string(name) + "()");
    }
  }
  return vm_error("TypeError('exceptions must derive from BaseException, got " + std::string(exception.type_name()) +
                  "')");
}

// The message quotes a str with only backslashes and single quotes escaped,
// anything else in its display text.
VmExecutionError assertion_error(const VmValue& message) {
  return vm_bounded_error([&](BoundedText& text) {
    text += "AssertionError(";
    if (message.is(VmKind::String)) {
      text += '\'';
      for (char c : message.text()) {
        if (c == '\\') {
          text += "\\\\";
        } else if (c == '\'') {
          text += "\\'";
        } else {
          text += c;
        }
      }
      text += '\'';
    } else {
      message.append_python_repr(text);
    }
    text += ')';
  });
}

VmStatus iteration_start(VmValue iterable, VmValue* state) {
  switch (iterable.kind()) {
    case VmKind::List:
    case VmKind::Tuple:
      if (iterable.item_count() > 0) {
        const auto items = iterable.items();
        state[1] = VmValue::integer(reinterpret_cast<intptr_t>(items.data()));
        state[2] = VmValue::integer(reinterpret_cast<intptr_t>(items.data() + items.size()));
        state[0] = std::move(iterable);
        return Ok{};
      }
      [[fallthrough]];
    case VmKind::String:
    case VmKind::Bytes:
    case VmKind::ByteArray:
    case VmKind::Set:
    case VmKind::FrozenSet:
    case VmKind::Dict:
      state[0] = std::move(iterable);
      state[1] = VmValue::integer(0);
      state[2] = VmValue::integer(0);
      return Ok{};
    default:
      break;
  }
  VmResult<std::vector<VmValue>> refused = iterate_value(iterable);
  if (!refused.ok()) return std::move(refused).error();
  // Every iterable kind is drawn lazily above; a new kind lands here.
  return vm_error("value of type " + std::string(iterable.type_name()) + " is not iterable");
}

bool iteration_next(VmValue* state, VmValue& item) {
  if (state[2].small_int() != 0) {
    const auto* next = reinterpret_cast<const VmValue*>(state[1].small_int());
    if (next == reinterpret_cast<const VmValue*>(state[2].small_int())) return false;
    item = *next;
    state[1] = VmValue::integer(reinterpret_cast<intptr_t>(next + 1));
    return true;
  }
  const VmValue& source = state[0];
  const int64_t at = state[1].small_int();
  size_t next = static_cast<size_t>(at) + 1;
  switch (source.kind()) {
    case VmKind::String: {
      const std::string_view text = source.text();
      if (static_cast<size_t>(at) >= text.size()) return false;
      const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
      size_t end = static_cast<size_t>(at);
      UChar32 cp;
      U8_NEXT_UNSAFE(bytes, end, cp);
      (void)cp;
      item = VmValue::str(text.substr(static_cast<size_t>(at), end - static_cast<size_t>(at)));
      next = end;
      break;
    }
    case VmKind::Bytes:
    case VmKind::ByteArray: {
      const std::string_view bytes = source.text();
      if (static_cast<size_t>(at) >= bytes.size()) return false;
      item = VmValue::integer(static_cast<int64_t>(static_cast<uint8_t>(bytes[static_cast<size_t>(at)])));
      break;
    }
    case VmKind::Dict: {
      const auto pairs = source.dict_pairs();
      if (static_cast<size_t>(at) >= pairs.size()) return false;
      item = pairs[static_cast<size_t>(at)].key;
      break;
    }
    default: {
      const auto items = source.items();
      if (static_cast<size_t>(at) >= items.size()) return false;
      item = items[static_cast<size_t>(at)];
      break;
    }
  }
  state[1] = VmValue::integer(static_cast<int64_t>(next));
  return true;
}

}  // namespace veln
