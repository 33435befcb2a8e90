// Indexing, slicing and item assignment of contract values, Python's rules
// with this engine's messages: str counts characters (code points), bytes and
// bytearray give ints, dict lookup matches keys structurally (1, 1.0 and True
// are three keys), and slice bounds and steps are signed 64-bit. Also the
// conversions of a value into a byte or a byte sequence.
// Containers are taken over and returned changed (copy-on-write: unshared
// buffers are edited in place); nothing here keeps or aliases a value.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <gmpxx.h>

#include "values/vm_execution_error.hpp"
#include "values/vm_value.hpp"

namespace veln {

// The position `index` names in a sequence of `length` elements (negative
// counts from the end), or "sequence index out of bounds"; the index is read
// as VmValue::as_bigint reads it.
VmResult<size_t> normalize_sequence_index(const VmValue& index, size_t length);

// container[index].
VmResult<VmValue> subscript_value(VmValue container, const VmValue& index);

// container[index] = value, returning the changed container.
VmResult<VmValue> assign_subscript(VmValue container, const VmValue& index, VmValue value);

// The three parts of a slice: each absent or an Int value (as produced by
// vm_int_operand from the evaluated bound).
struct VmSliceArgs {
  std::optional<VmValue> lower;
  std::optional<VmValue> upper;
  std::optional<VmValue> step;
};

// The positions a slice visits, as a start, a step and a count.
struct VmSliceRange {
  int64_t start = 0;
  int64_t step = 1;
  size_t count = 0;
};

// Resolves a slice over `length` elements: step ("slice step cannot be
// zero", "slice step exceeds the supported i64 range"), then lower, then
// upper ("slice bound exceeds ..."); "slice position out of bounds" when a
// positive step would carry a position past 2^63 - 1.
VmResult<VmSliceRange> resolve_slice(size_t length, const VmSliceArgs& args);

// The positions of resolve_slice, listed in visiting order.
VmResult<std::vector<size_t>> slice_positions(size_t length, std::optional<mpz_class> lower,
                                              std::optional<mpz_class> upper, std::optional<mpz_class> step);

// container[lower:upper:step] for str, bytes, bytearray, list and tuple.
VmResult<VmValue> subscript_slice_value(VmValue container, const VmSliceArgs& args);
VmResult<VmValue> subscript_slice_value(VmValue container, std::optional<mpz_class> lower,
                                        std::optional<mpz_class> upper, std::optional<mpz_class> step);

// The bytes at the slice's positions, as bytes or, with the flag, bytearray.
VmResult<VmValue> slice_bytes_like(std::string_view bytes, const VmSliceArgs& args, bool is_bytearray);

// "a bytes-like object is required, not '{}'" naming the type of `value`.
VmExecutionError bytes_like_required_error(const VmValue& value);

// A bool or an int 0..255 as one byte.
VmResult<uint8_t> byte_from_value(const VmValue& value);

// The bytes of a bytes-like, the UTF-8 of a str, or one byte per item of a
// list or tuple; "{} is not bytes-like" for other kinds.
VmResult<std::string> clone_as_bytes_like(const VmValue& value);

}  // namespace veln
