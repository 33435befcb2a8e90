// The container, iteration, type-test and exception builtins of contract
// code: len, list, tuple, set, frozenset, dict, range, reversed, sorted, zip,
// map, filter, all, any, isinstance, issubclass and Exception. Each runs
// after the dispatch table has checked its call shape. Nothing is lazy:
// what Python answers with an iterator is a finished list here. Only map and
// filter call back into the interpreter.
#pragma once

#include <cstdint>
#include <optional>

#include "interpreter/builtin_call.hpp"

namespace veln {

VmResult<VmValue> builtin_len(BuiltinCall& call);
VmResult<VmValue> builtin_list(BuiltinCall& call);
VmResult<VmValue> builtin_tuple(BuiltinCall& call);
VmResult<VmValue> builtin_set(BuiltinCall& call);
VmResult<VmValue> builtin_frozenset(BuiltinCall& call);
VmResult<VmValue> builtin_dict(BuiltinCall& call);
VmResult<VmValue> builtin_range(BuiltinCall& call);
// The number of items of range(start, stop, step) with a step other than
// zero, or nullopt when it passes the limit range() refuses.
std::optional<uint64_t> small_range_count(int64_t start, int64_t stop, int64_t step);
VmResult<VmValue> builtin_reversed(BuiltinCall& call);
VmResult<VmValue> builtin_sorted(BuiltinCall& call);
VmResult<VmValue> builtin_zip(BuiltinCall& call);
VmResult<VmValue> builtin_map(BuiltinCall& call);
VmResult<VmValue> builtin_filter(BuiltinCall& call);
VmResult<VmValue> builtin_all(BuiltinCall& call);
VmResult<VmValue> builtin_any(BuiltinCall& call);
VmResult<VmValue> builtin_isinstance(BuiltinCall& call);
VmResult<VmValue> builtin_issubclass(BuiltinCall& call);
VmResult<VmValue> builtin_exception(BuiltinCall& call);

}  // namespace veln
