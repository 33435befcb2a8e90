// Subscripts and slices. Slices are resolved once into start, step and count
// and then copied without materialising a position list; str positions count
// code points, with an ASCII fast path that works on bytes directly.
#include "interpreter_support/subscripts.hpp"

#include <algorithm>
#include <string>
#include <utility>

#include "interpreter_support/dict_ops.hpp"
#include "values/bounded_text.hpp"
#include "values/vm_request_budget.hpp"
#include "values/vm_work_tally.hpp"
#include "interpreter_support/operand_conversions.hpp"

namespace veln {
namespace {

VmExecutionError index_out_of_bounds() { return vm_error("sequence index out of bounds"); }

VmExecutionError kind_error(const char* what, const VmValue& value) {
  std::string msg = what;
  msg += value.type_name();
  return vm_error(std::move(msg));
}

bool is_continuation_byte(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

// Byte offset of every code point of a UTF-8 text, plus the text's length.
std::vector<size_t> code_point_offsets(std::string_view text) {
  std::vector<size_t> offsets;
  offsets.reserve(text.size() + 1);
  for (size_t i = 0; i < text.size(); ++i) {
    if (!is_continuation_byte(text[i])) offsets.push_back(i);
  }
  offsets.push_back(text.size());
  return offsets;
}

// The code point starting at byte `begin` of a UTF-8 text.
std::string_view code_point_from(std::string_view text, size_t begin) {
  size_t end = begin + 1;
  while (end < text.size() && is_continuation_byte(text[end])) ++end;
  return text.substr(begin, end - begin);
}

VmResult<int64_t> slice_part(const VmValue& part, std::string_view label) {
  VELN_TRY(VmValue as_int, vm_int_operand(part));
  return vm_int_to_i64(as_int, label);
}

// Whether a resolved slice takes every element in order (the container can
// then be returned as it is).
bool is_whole(const VmSliceRange& range, size_t length) {
  return range.step == 1 && range.start == 0 && range.count == length;
}

template <class F>
void for_each_position(const VmSliceRange& range, F&& visit) {
  int64_t pos = range.start;
  for (size_t i = 0; i < range.count; ++i) {
    visit(static_cast<size_t>(pos));
    if (i + 1 < range.count) pos += range.step;
  }
}

std::string slice_bytes(std::string_view bytes, const VmSliceRange& range) {
  if (range.step == 1) return std::string(bytes.substr(static_cast<size_t>(range.start), range.count));
  std::string out;
  out.reserve(range.count);
  for_each_position(range, [&](size_t p) { out.push_back(bytes[p]); });
  return out;
}

std::optional<VmValue> optional_int(std::optional<mpz_class> v) {
  if (!v) return std::nullopt;
  return VmValue::integer(std::move(*v));
}

VmSliceArgs slice_args_from(std::optional<mpz_class> lower, std::optional<mpz_class> upper,
                            std::optional<mpz_class> step) {
  return VmSliceArgs{optional_int(std::move(lower)), optional_int(std::move(upper)), optional_int(std::move(step))};
}

}  // namespace

VmResult<size_t> normalize_sequence_index(const VmValue& index, size_t length) {
  int64_t i;
  if (index.is(VmKind::Int) && index.int_is_small()) {
    i = index.small_int();
  } else {
    VELN_TRY(VmValue as_int, vm_int_operand(index));
    // A value is never inline only when it does not fit 64 bits; no sequence
    // is that long.
    if (!as_int.int_is_small()) return index_out_of_bounds();
    i = as_int.small_int();
  }
  if (i < 0) {
    const uint64_t back = uint64_t{0} - static_cast<uint64_t>(i);
    if (back > length) return index_out_of_bounds();
    return length - static_cast<size_t>(back);
  }
  if (static_cast<uint64_t>(i) >= length) return index_out_of_bounds();
  return static_cast<size_t>(i);
}

VmResult<VmValue> subscript_value(VmValue container, const VmValue& index) {
  switch (container.kind()) {
    case VmKind::String: {
      const std::string_view text = container.text();
      if (container.text_is_ascii()) {
        VELN_TRY(size_t pos, normalize_sequence_index(index, text.size()));
        return VmValue::str(text.substr(pos, 1));
      }
      VELN_TRY(size_t pos, normalize_sequence_index(index, container.text_code_points()));
      return VmValue::str(code_point_from(text, container.text_byte_offset(pos)));
    }
    case VmKind::Bytes:
    case VmKind::ByteArray: {
      const std::string_view bytes = container.text();
      VELN_TRY(size_t pos, normalize_sequence_index(index, bytes.size()));
      return VmValue::integer(int64_t{static_cast<unsigned char>(bytes[pos])});
    }
    case VmKind::List:
    case VmKind::Tuple: {
      VELN_TRY(size_t pos, normalize_sequence_index(index, container.item_count()));
      return container.item(pos);
    }
    case VmKind::Dict: {
      const auto found = container.dict_find_structural(index);
      if (!found) return vm_error_quoting("missing dict key ", index);
      return container.dict_pairs()[*found].value;
    }
    default:
      return kind_error("subscript access is not supported for ", container);
  }
}

VmResult<VmValue> assign_subscript(VmValue container, const VmValue& index, VmValue value) {
  switch (container.kind()) {
    case VmKind::ByteArray: {
      // The index is checked before the value.
      VELN_TRY(size_t pos, normalize_sequence_index(index, container.text_size()));
      VELN_TRY(uint8_t byte, byte_from_value(value));
      container.bytes_set(pos, byte);
      return container;
    }
    case VmKind::List: {
      VELN_TRY(size_t pos, normalize_sequence_index(index, container.item_count()));
      VELN_CHECK(container.seq_set(pos, std::move(value)));
      return container;
    }
    case VmKind::Dict:
      return dict_set(std::move(container), index, std::move(value));
    default:
      return kind_error("subscript assignment is not supported for ", container);
  }
}

VmResult<VmSliceRange> resolve_slice(size_t length, const VmSliceArgs& args) {
  int64_t step = 1;
  if (args.step) {
    VELN_TRY(step, slice_part(*args.step, "slice step"));
    if (step == 0) return vm_error("slice step cannot be zero");
  }
  // Lengths of values are far below 2^63 (the value size limit), so the
  // adjustments below cannot overflow.
  const int64_t len = static_cast<int64_t>(length);
  const int64_t low = step > 0 ? 0 : -1;
  const int64_t high = step > 0 ? len : len - 1;
  auto bound = [&](const std::optional<VmValue>& given, int64_t absent) -> VmResult<int64_t> {
    if (!given) return absent;  // defaults are not clamped
    VELN_TRY(int64_t b, slice_part(*given, "slice bound"));
    if (b < 0) b += len;
    return b < low ? low : (b > high ? high : b);
  };
  VELN_TRY(int64_t lower, bound(args.lower, step > 0 ? 0 : len - 1));
  VELN_TRY(int64_t upper, bound(args.upper, step > 0 ? len : -1));

  VmSliceRange range{lower, step, 0};
  if (step > 0) {
    if (lower < upper) {
      const uint64_t span = static_cast<uint64_t>(upper - lower - 1);
      range.count = static_cast<size_t>(span / static_cast<uint64_t>(step) + 1);
      // The visit stops once the next position reaches upper; computing that
      // next position must not pass 2^63 - 1.
      const int64_t last = lower + static_cast<int64_t>(range.count - 1) * step;
      int64_t next;
      if (__builtin_add_overflow(last, step, &next)) return vm_error("slice position out of bounds");
    }
  } else if (lower > upper) {
    const uint64_t magnitude = uint64_t{0} - static_cast<uint64_t>(step);
    const uint64_t span = static_cast<uint64_t>(lower - upper - 1);
    range.count = static_cast<size_t>(span / magnitude + 1);
  }
  return range;
}

VmResult<std::vector<size_t>> slice_positions(size_t length, std::optional<mpz_class> lower,
                                              std::optional<mpz_class> upper, std::optional<mpz_class> step) {
  VELN_TRY(VmSliceRange range,
           resolve_slice(length, slice_args_from(std::move(lower), std::move(upper), std::move(step))));
  std::vector<size_t> positions;
  positions.reserve(range.count);
  for_each_position(range, [&](size_t p) { positions.push_back(p); });
  return positions;
}

VmResult<VmValue> slice_bytes_like(std::string_view bytes, const VmSliceArgs& args, bool is_bytearray) {
  VELN_TRY(VmSliceRange range, resolve_slice(bytes.size(), args));
  return VmValue::make_text(is_bytearray ? VmKind::ByteArray : VmKind::Bytes, slice_bytes(bytes, range));
}

VmResult<VmValue> subscript_slice_value(VmValue container, const VmSliceArgs& args) {
  const VmKind kind = container.kind();
  switch (kind) {
    case VmKind::String: {
      const std::string_view text = container.text();
      if (container.text_is_ascii()) {
        VELN_TRY(VmSliceRange range, resolve_slice(text.size(), args));
        if (is_whole(range, text.size())) return container;
        return VmValue::make_str(slice_bytes(text, range));
      }
      const size_t length = container.text_code_points();
      VELN_TRY(VmSliceRange range, resolve_slice(length, args));
      if (is_whole(range, length)) return container;
      std::string out;
      if (range.step == 1) {
        const size_t begin = container.text_byte_offset(static_cast<size_t>(range.start));
        const size_t end = container.text_byte_offset(static_cast<size_t>(range.start) + range.count);
        out.assign(text.substr(begin, end - begin));
      } else {
        // A step per code point taken, besides the bytes of the walk that
        // finds where each one starts.
        VELN_CHECK(vm_take_work(range.count + vm_text_read_steps(text.size())));
        const std::vector<size_t> offsets = code_point_offsets(text);
        out.reserve(std::min(text.size(), range.count * 4));  // each code point at most once, of at most 4 bytes
        for_each_position(range, [&](size_t p) { out.append(text.substr(offsets[p], offsets[p + 1] - offsets[p])); });
      }
      return VmValue::make_str(std::move(out));
    }
    case VmKind::Bytes:
    case VmKind::ByteArray: {
      const std::string_view bytes = container.text();
      VELN_TRY(VmSliceRange range, resolve_slice(bytes.size(), args));
      if (is_whole(range, bytes.size())) return container;
      return VmValue::make_text(kind, slice_bytes(bytes, range));
    }
    case VmKind::List:
    case VmKind::Tuple: {
      const auto items = container.items();
      VELN_TRY(VmSliceRange range, resolve_slice(items.size(), args));
      if (is_whole(range, items.size())) return container;
      if (range.step == 1) {
        const auto first = items.begin() + range.start;
        return VmValue::make_sequence(kind, std::vector<VmValue>(first, first + static_cast<ptrdiff_t>(range.count)));
      }
      std::vector<VmValue> out;
      out.reserve(range.count);
      for_each_position(range, [&](size_t p) { out.push_back(items[p]); });
      return VmValue::make_sequence(kind, std::move(out));
    }
    default:
      return kind_error("slice access is not supported for ", container);
  }
}

VmResult<VmValue> subscript_slice_value(VmValue container, std::optional<mpz_class> lower,
                                        std::optional<mpz_class> upper, std::optional<mpz_class> step) {
  return subscript_slice_value(std::move(container),
                               slice_args_from(std::move(lower), std::move(upper), std::move(step)));
}

VmExecutionError bytes_like_required_error(const VmValue& value) {
  return vm_error("a bytes-like object is required, not '" + std::string(value.type_name()) + "'");
}

VmResult<uint8_t> byte_from_value(const VmValue& value) {
  switch (value.kind()) {
    case VmKind::Bool:
      return static_cast<uint8_t>(value.bool_value() ? 1 : 0);
    case VmKind::Int:
      if (value.int_is_small() && value.small_int() >= 0 && value.small_int() <= 255) {
        return static_cast<uint8_t>(value.small_int());
      }
      return vm_error("byte must be in range(0, 256)");
    default:
      return bytes_like_required_error(value);
  }
}

VmResult<std::string> clone_as_bytes_like(const VmValue& value) {
  switch (value.kind()) {
    case VmKind::Bytes:
    case VmKind::ByteArray:
    case VmKind::String:
      return std::string(value.text());
    case VmKind::List:
    case VmKind::Tuple: {
      // A step per item read, refused before any is.
      VELN_CHECK(vm_take_work(value.item_count()));
      std::string out;
      out.reserve(value.item_count());
      for (const VmValue& item : value.items()) {
        VELN_TRY(uint8_t byte, byte_from_value(item));
        out.push_back(static_cast<char>(byte));
      }
      return out;
    }
    default:
      return vm_error(std::string(value.type_name()) + " is not bytes-like");
  }
}

}  // namespace veln
