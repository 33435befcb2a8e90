#include "interpreter/container_builtins.hpp"

#include <algorithm>
#include <iterator>
#include <span>
#include <string>

#include "interpreter/iterable_items.hpp"
#include "interpreter_support/builtin_names.hpp"
#include "interpreter_support/dict_ops.hpp"
#include "interpreter_support/integer_guards.hpp"
#include "interpreter_support/operand_conversions.hpp"
#include "interpreter_support/sets/set_algebra.hpp"
#include "interpreter_support/value_iteration.hpp"
#include "values/vm_work_tally.hpp"

namespace veln {
namespace {

// range() builds at most this many elements.
constexpr uint64_t kMaxRangeItems = kMaxRepetitionSize;

// The items of every argument from `first` on, in argument order.
VmResult<std::vector<IterableItems>> items_of_each(std::span<const VmValue> args, size_t first) {
  std::vector<IterableItems> out;
  out.reserve(args.size() - first);
  for (size_t i = first; i < args.size(); ++i) {
    VELN_TRY(IterableItems items, IterableItems::of(args[i]));
    out.push_back(std::move(items));
  }
  return out;
}

size_t shortest(const std::vector<IterableItems>& iterables) {
  size_t n = iterables.front().size();
  for (const IterableItems& it : iterables) n = std::min(n, it.size());
  return n;
}

bool is_callable(const VmValue& f) { return f.is(VmKind::Builtin) || f.is(VmKind::FunctionRef); }

// list(), tuple(), set() and frozenset(): empty, or the items of an
// iterable (normalised for the set kinds).
VmResult<VmValue> collect_items(std::span<const VmValue> args, VmKind kind) {
  if (args.empty()) return VmValue::make_sequence(kind, {});
  const VmValue& x = args[0];
  const bool to_set = kind == VmKind::Set || kind == VmKind::FrozenSet;
  // Sequences share their items; a set or frozenset is stored normalised already.
  if (vm_kind_is_sequence(x.kind()) && (!to_set || x.is(VmKind::Set) || x.is(VmKind::FrozenSet)))
    return x.with_kind(kind);
  VELN_TRY(std::vector<VmValue> items, iterate_value(x));
  if (to_set) {
    VELN_TRY(items, normalize_set_items(std::move(items)));
  }
  return VmValue::make_sequence(kind, std::move(items));
}

VmExecutionError range_too_large() { return vm_error("range() exceeds the maximum allowed allocation size"); }

VmResult<VmValue> small_range(int64_t start, int64_t stop, int64_t step) {
  const std::optional<uint64_t> count = small_range_count(start, stop, step);
  if (!count) return range_too_large();
  std::vector<VmValue> items;
  items.reserve(*count);
  for (uint64_t i = 0; i < *count; ++i) {
    items.push_back(VmValue::integer(static_cast<int64_t>(start + static_cast<__int128>(i) * step)));
  }
  return VmValue::make_list(std::move(items));
}

VmResult<VmValue> big_range(const mpz_class& start, const mpz_class& stop, const mpz_class& step) {
  const mpz_class distance = sgn(step) > 0 ? mpz_class(stop - start) : mpz_class(start - stop);
  if (sgn(distance) <= 0) return VmValue::make_list({});
  mpz_class count;
  const mpz_class stride = abs(step);
  mpz_cdiv_q(count.get_mpz_t(), distance.get_mpz_t(), stride.get_mpz_t());
  if (count > kMaxRangeItems) return range_too_large();
  const uint64_t n = count.get_ui();
  std::vector<VmValue> items;
  items.reserve(n);
  // Elements can be large integers: the list's size is checked as it grows,
  // before any element past the limit is built.
  uint64_t units = 1;
  mpz_class current = start;
  for (uint64_t i = 0; i < n; ++i) {
    units += 1 + mpz_size(current.get_mpz_t());
    VELN_CHECK(vm_check_units(units));
    items.push_back(VmValue::integer(current));
    current += step;
  }
  return VmValue::make_list(std::move(items));
}

VmResult<VmValue> truth_scan(const VmValue& x, bool stop_when) {
  VELN_TRY(IterableItems items, IterableItems::of(x));
  const auto all = items.items();
  for (size_t i = 0; i < all.size(); ++i) {
    if (!vm_scan_step(i)) [[unlikely]]
      return VmWorkTally::error();
    if (all[i].truthy() == stop_when) {
      vm_scan_done(i + 1);
      return VmValue::boolean(stop_when);
    }
  }
  vm_scan_done(all.size());
  return VmValue::boolean(!stop_when);
}

}  // namespace

std::optional<uint64_t> small_range_count(int64_t start, int64_t stop, int64_t step) {
  const __int128 distance = step > 0 ? __int128{stop} - start : __int128{start} - stop;
  const __int128 stride = step > 0 ? __int128{step} : -__int128{step};
  const __int128 count = distance > 0 ? (distance + stride - 1) / stride : 0;
  if (count > static_cast<__int128>(kMaxRangeItems)) return std::nullopt;
  return static_cast<uint64_t>(count);
}

VmResult<VmValue> builtin_len(BuiltinCall& call) {
  const VmValue& x = call.args[0];
  size_t n;
  switch (x.kind()) {
    case VmKind::String:
      n = x.text_code_points();
      break;
    case VmKind::Bytes:
    case VmKind::ByteArray:
      n = x.text_size();
      break;
    case VmKind::Set:
    case VmKind::FrozenSet:
    case VmKind::List:
    case VmKind::Tuple:
      n = x.item_count();
      break;
    case VmKind::Dict:
      n = x.dict_size();
      break;
    default:
      return vm_error("len() does not support " + std::string(x.type_name()));
  }
  return VmValue::integer(static_cast<int64_t>(n));
}

VmResult<VmValue> builtin_list(BuiltinCall& call) { return collect_items(call.args, VmKind::List); }
VmResult<VmValue> builtin_tuple(BuiltinCall& call) { return collect_items(call.args, VmKind::Tuple); }
VmResult<VmValue> builtin_set(BuiltinCall& call) { return collect_items(call.args, VmKind::Set); }
VmResult<VmValue> builtin_frozenset(BuiltinCall& call) { return collect_items(call.args, VmKind::FrozenSet); }

VmResult<VmValue> builtin_dict(BuiltinCall& call) {
  VmValue result;
  if (call.args.empty()) {
    VELN_TRY(result, VmValue::make_dict({}));
  } else {
    const VmValue& x = call.args[0];
    if (x.is(VmKind::Dict)) {
      result = x;
    } else if (x.is(VmKind::List) || x.is(VmKind::Tuple)) {
      // A step per pair read, refused before any is.
      VELN_CHECK(vm_take_work(x.item_count()));
      std::vector<VmDictPair> pairs;
      pairs.reserve(x.item_count());
      for (const VmValue& item : x.items()) {
        if (!(item.is(VmKind::List) || item.is(VmKind::Tuple)) || item.item_count() != 2)
          return vm_error("dict() expected key/value pairs, got " + std::string(item.type_name()));
        pairs.push_back({item.item(0), item.item(1)});
      }
      VELN_TRY(result, VmValue::make_dict(std::move(pairs)));
    } else {
      return vm_error("dict() does not support " + std::string(x.type_name()));
    }
  }
  for (VmKeywordArg& keyword : call.kwargs) {
    VELN_TRY(result, dict_set(std::move(result), VmValue::str(keyword.name), std::move(keyword.value)));
  }
  return result;
}

VmResult<VmValue> builtin_range(BuiltinCall& call) {
  VmValue bounds[3] = {VmValue::integer(int64_t{0}), VmValue(), VmValue::integer(int64_t{1})};
  const size_t n = call.args.size();
  for (size_t i = 0; i < n; ++i) {
    VELN_TRY(VmValue bound, vm_int_operand(call.args[i]));
    bounds[n == 1 ? 1 : i] = std::move(bound);
  }
  const VmValue& start = bounds[0];
  const VmValue& stop = bounds[1];
  const VmValue& step = bounds[2];
  if (step.int_sign() == 0) return vm_error("range() step cannot be zero");
  if (start.int_is_small() && stop.int_is_small() && step.int_is_small())
    return small_range(start.small_int(), stop.small_int(), step.small_int());
  return big_range(start.int_to_mpz(), stop.int_to_mpz(), step.int_to_mpz());
}

VmResult<VmValue> builtin_reversed(BuiltinCall& call) {
  VELN_TRY(IterableItems items, IterableItems::of(call.args[0]));
  std::vector<VmValue> out(items.items().rbegin(), items.items().rend());
  return VmValue::make_list(std::move(out));
}

VmResult<VmValue> builtin_sorted(BuiltinCall& call) {
  VELN_TRY(std::vector<VmValue> items, iterate_value(call.args[0]));
  VELN_TRY(std::vector<VmValue> ordered, sorted_values(std::move(items)));
  return VmValue::make_list(std::move(ordered));
}

VmResult<VmValue> builtin_zip(BuiltinCall& call) {
  VELN_TRY(std::vector<IterableItems> iterables, items_of_each(call.args, 0));
  const size_t n = shortest(iterables);
  std::vector<VmValue> rows;
  rows.reserve(n);
  for (size_t i = 0; i < n; ++i) {
    std::vector<VmValue> row;
    row.reserve(iterables.size());
    for (const IterableItems& it : iterables) row.push_back(it.items()[i]);
    VELN_TRY(VmValue tuple, VmValue::make_tuple(std::move(row)));
    rows.push_back(std::move(tuple));
  }
  return VmValue::make_list(std::move(rows));
}

VmResult<VmValue> builtin_map(BuiltinCall& call) {
  const VmValue& f = call.args[0];
  if (!is_callable(f)) return vm_error("map() must have a callable first argument");
  VELN_TRY(std::vector<IterableItems> iterables, items_of_each(call.args, 1));
  const size_t n = shortest(iterables);
  std::vector<VmValue> results;
  results.reserve(n);
  for (size_t i = 0; i < n; ++i) {
    VmArgList args;
    args.reserve(iterables.size());
    for (const IterableItems& it : iterables) args.push_back(it.items()[i]);
    VELN_TRY(VmValue r, call.caller.call_callable_value(f, std::move(args), {}));
    results.push_back(std::move(r));
  }
  return VmValue::make_list(std::move(results));
}

VmResult<VmValue> builtin_filter(BuiltinCall& call) {
  VELN_TRY(IterableItems items, IterableItems::of(call.args[1]));
  const VmValue& f = call.args[0];
  const bool by_truth = f.is(VmKind::None);
  if (!by_truth && !is_callable(f)) return vm_error("filter() must have a callable first argument or None");
  std::vector<VmValue> kept;
  if (by_truth) VELN_CHECK(vm_take_work(items.size()));
  for (const VmValue& item : items.items()) {
    bool keep;
    if (by_truth) {
      keep = item.truthy();
    } else {
      VELN_TRY(VmValue r, call.caller.call_callable_value(f, {item}, {}));
      keep = r.truthy();
    }
    if (keep) kept.push_back(item);
  }
  return VmValue::make_list(std::move(kept));
}

VmResult<VmValue> builtin_all(BuiltinCall& call) { return truth_scan(call.args[0], false); }
VmResult<VmValue> builtin_any(BuiltinCall& call) { return truth_scan(call.args[0], true); }

VmResult<VmValue> builtin_isinstance(BuiltinCall& call) {
  return VmValue::boolean(type_matches(call.args[0], call.args[1]));
}

VmResult<VmValue> builtin_issubclass(BuiltinCall& call) {
  VELN_TRY(bool matches, issubclass_matches(call.args[0], call.args[1]));
  return VmValue::boolean(matches);
}

VmResult<VmValue> builtin_exception(BuiltinCall& call) {
  return VmValue::make_exception(VmException{
      "Exception", std::vector<VmValue>(std::make_move_iterator(call.args.begin()), std::make_move_iterator(call.args.end()))});
}

}  // namespace veln
