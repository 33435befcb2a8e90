// The instruction loop: threaded dispatch over lowered code. Simple
// instructions run inline; everything that allocates, formats a message or
// reaches the host runs in its own out-of-line helper, which reports failure
// through VmRun::error. So the loop's native frame stays small (with
// sanitizers too): it is one of the few frames each active call adds.
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "interpreter/container_builtins.hpp"
#include "interpreter/event_emission.hpp"
#include "interpreter/expression_ops.hpp"
#include "interpreter/function_calls.hpp"
#include "interpreter/function_invoke.hpp"
#include "interpreter/host_bindings.hpp"
#include "interpreter/native_attribute_calls.hpp"
#include "interpreter/target_ops.hpp"
#include "interpreter/trace.hpp"
#include "interpreter/vm_run.hpp"
#include "interpreter_support/binary_operators.hpp"
#include "interpreter_support/compare_operators.hpp"
#include "interpreter_support/native_attributes.hpp"
#include "interpreter_support/storage_keys.hpp"
#include "interpreter_support/string_methods.hpp"
#include "interpreter_support/unary_operators.hpp"
#include "values/sanitized_build.hpp"

// Helpers called on every charge and loop step are inlined in optimised
// builds; with sanitizers each inlined temporary would get its own guarded
// slot in the loop's frame, so there they stay out of line.
#if defined(VELN_ADDRESS_SANITIZED)
#define VELN_LOOP_HELPER [[gnu::noinline]]
#else
#define VELN_LOOP_HELPER [[gnu::always_inline]] inline
#endif
#define VELN_OP_HELPER [[gnu::noinline]]
#define VELN_COLD [[gnu::noinline, gnu::cold]]

namespace veln {
namespace {

using Cell = VmValue;

// Most cells and slots hold no buffer when they are overwritten: the
// release is the exception, out of line. (`value` must not live in the
// buffer released.)
VELN_OP_HELPER void release_cell(Cell& cell) { cell = VmValue(); }
VELN_LOOP_HELPER void overwrite(Cell& cell, VmValue&& value) {
  if (cell.holds_buffer()) [[unlikely]] release_cell(cell);
  std::construct_at(&cell, std::move(value));
}
VELN_LOOP_HELPER void clear(Cell& cell) { overwrite(cell, VmValue()); }
VELN_LOOP_HELPER void set_bool(Cell& cell, bool b) { overwrite(cell, VmValue::boolean(b)); }
VELN_LOOP_HELPER void set_int(Cell& cell, int64_t i) { overwrite(cell, VmValue::integer(i)); }

VELN_LOOP_HELPER bool charge(VmRun& run, uint64_t cost) { return run.charge(cost); }

// Branches mostly test bools and small ints: those without a call.
VELN_LOOP_HELPER bool truth(const Cell& value) {
  if (value.is(VmKind::Bool)) return value.bool_value();
  if (value.is(VmKind::Int) && value.int_is_small()) return value.small_int() != 0;
  return value.truthy();
}

VELN_COLD void trace_statement(VmRun& run, std::string_view kind) {
  std::string line = "[vm-stmt] ";
  line.append(run.instance.module_name()).append(" ").append(kind);
  write_trace_line(line);
}

VELN_LOOP_HELPER bool statement(VmRun& run, const LoweredCode& code, const Instr& in) {
  if (!charge(run, in.b)) return false;
  if (run.instance.trace.statements) [[unlikely]] trace_statement(run, code.texts[in.a]);
  return true;
}

// A name found neither in the locals nor in the module globals.
VELN_COLD bool name_fallback(VmRun& run, const LoweredCode& code, const NameSite& site, Cell& out) {
  switch (site.fallback) {
    case NameFallback::Function:
    case NameFallback::Value:
      out = code.constants[site.value];
      return true;
    case NameFallback::HostBinding:
      return run.take(host_binding_value(static_cast<HostBindingId>(site.value), run.instance.context), out);
    case NameFallback::Fail:
      break;
  }
  return run.fail(vm_error(code.texts[site.value]));
}

// A copy into a cell that holds no buffer (cells above the top): nothing to
// release first.
VELN_LOOP_HELPER void copy_into_free(Cell& cell, const VmValue& value) {
  VELN_DEBUG_CHECK(!cell.holds_buffer(), "copy into a cell holding a buffer");
  std::construct_at(&cell, value);
}

// The value of a name: locals, module globals, then the fallback. `out`
// holds no buffer.
VELN_LOOP_HELPER bool load_name(VmRun& run, const LoweredCode& code, const NameSite& site, Slot* slots,
                                Cell& out) {
  if (slots[site.slot].bound) {
    copy_into_free(out, slots[site.slot].value);
    return true;
  }
  const Slot& global = run.instance.globals[site.global];
  if (global.bound) {
    copy_into_free(out, global.value);
    return true;
  }
  return name_fallback(run, code, site, out);
}

VELN_LOOP_HELPER bool small_ints(const Cell& a, const Cell& b) {
  return a.is(VmKind::Int) && b.is(VmKind::Int) && a.int_is_small() && b.int_is_small();
}

// Small-int arithmetic with Python's floor division and modulo; false when
// the operator or an overflow needs the general path.
VELN_LOOP_HELPER bool small_int_binary(uint8_t op, int64_t a, int64_t b, int64_t& r) {
  switch (static_cast<BinaryOperator>(op)) {
    case BinaryOperator::Add: return !__builtin_add_overflow(a, b, &r);
    case BinaryOperator::Sub: return !__builtin_sub_overflow(a, b, &r);
    case BinaryOperator::Mul: return !__builtin_mul_overflow(a, b, &r);
    case BinaryOperator::FloorDiv:
    case BinaryOperator::Mod: {
      if (b == 0 || (a == INT64_MIN && b == -1)) return false;
      int64_t q = a / b;
      int64_t m = a % b;
      if (m != 0 && ((m < 0) != (b < 0))) {
        --q;
        m += b;
      }
      r = static_cast<BinaryOperator>(op) == BinaryOperator::Mod ? m : q;
      return true;
    }
    default: return false;
  }
}

// -1 when the comparison needs the general path.
VELN_LOOP_HELPER int small_int_compare(uint8_t op, int64_t a, int64_t b) {
  switch (static_cast<CompareOperator>(op)) {
    case CompareOperator::Lt: return a < b;
    case CompareOperator::LtE: return a <= b;
    case CompareOperator::Gt: return a > b;
    case CompareOperator::GtE: return a >= b;
    case CompareOperator::Eq: return a == b;
    case CompareOperator::NotEq: return a != b;
    default: return -1;
  }
}

// [left][right] -> [result]
VELN_OP_HELPER bool binary(VmRun& run, const LoweredCode& code, const Instr& in, Cell* top) {
  VmResult<VmValue> result =
      in.op == Op::BinaryNamed
          ? apply_binary_operator(std::string_view(code.texts[in.a]), std::move(top[-2]), std::move(top[-1]))
          : apply_binary_operator(static_cast<BinaryOperator>(in.a8 & ~kBinaryJumpIfTrue), std::move(top[-2]),
                                  std::move(top[-1]));
  clear(top[-1]);
  return run.take(std::move(result), top[-2]);
}

VELN_OP_HELPER bool unary(VmRun& run, const LoweredCode& code, const Instr& in, Cell* top) {
  VmResult<VmValue> result =
      in.op == Op::Unary ? apply_unary_operator(static_cast<UnaryOperator>(in.a8), std::move(top[-1]))
                         : apply_unary_operator(std::string_view(code.texts[in.a]), std::move(top[-1]));
  return run.take(std::move(result), top[-1]);
}

// 1 when the link holds, 0 when not, -1 on failure.
VELN_OP_HELPER int compare(VmRun& run, const LoweredCode& code, const Instr& in, const Cell* top) {
  const bool named = in.op == Op::CompareNamed || in.op == Op::CompareLastNamed;
  const auto op = static_cast<CompareOperator>(in.a8 & ~kCompareJumpIfTrue);
  if (!named && (op == CompareOperator::In || op == CompareOperator::NotIn) && top[-1].is(VmKind::Dict) &&
      top[-2].is(VmKind::String)) {
    // A str equals exactly the keys structurally equal to it: the dict's own
    // lookup is the membership answer.
    return top[-1].dict_find_structural(top[-2]).has_value() == (op == CompareOperator::In) ? 1 : 0;
  }
  VmResult<bool> holds =
      named ? apply_compare_operator(std::string_view(code.texts[in.b]), top[-2], top[-1])
            : apply_compare_operator(op, top[-2], top[-1]);
  if (!holds.ok()) {
    run.fail(std::move(holds).error());
    return -1;
  }
  return *holds ? 1 : 0;
}

VELN_LOOP_HELPER int compare_cells(VmRun& run, const LoweredCode& code, const Instr& in, const Cell* top) {
  if (small_ints(top[-2], top[-1])) {
    const int holds = small_int_compare(in.a8 & ~kCompareJumpIfTrue, top[-2].small_int(), top[-1].small_int());
    if (holds >= 0) return holds;
  }
  return compare(run, code, in, top);
}

// Raise, AssertFail and Fail: the error that ends the code.
VELN_COLD void fail_with(VmRun& run, const LoweredCode& code, const Instr& in, const Cell* sp) {
  if (in.op == Op::Raise) {
    run.error = raise_error(sp[-1]);
  } else if (in.op == Op::AssertFail) {
    run.error = assertion_error(sp[-1]);
  } else {
    run.error = vm_error(code.texts[in.a]);
  }
}

VELN_LOOP_HELPER bool next_item(const Instr& in, Cell* stack, Cell* item) {
  Cell* state = stack + in.b;
  if (state[0].is(VmKind::Int)) {
    // A counted range: [step][next value][items left].
    const int64_t left = state[2].small_int();
    if (left == 0) return false;
    const int64_t value = state[1].small_int();
    std::construct_at(item, VmValue::integer(value));
    // Past the last item the next value is never read: it may wrap.
    const uint64_t step = static_cast<uint64_t>(state[0].small_int());
    set_int(state[1], static_cast<int64_t>(static_cast<uint64_t>(value) + step));
    set_int(state[2], left - 1);
    return true;
  }
  const int64_t end = state[2].small_int();
  if (end != 0) {
    const int64_t next = state[1].small_int();
    if (next == end) return false;
    *item = *reinterpret_cast<const VmValue*>(next);
    set_int(state[1], next + static_cast<int64_t>(sizeof(VmValue)));
    return true;
  }
  return iteration_next(state, *item);
}

// Clears the live cells below `sp` as the code returns. Cells above the top
// never hold a heap value: every pop clears or moves out of its cell.
VELN_LOOP_HELPER void leave(Cell* stack, Cell* sp, [[maybe_unused]] const Cell* stack_end) {
  while (sp > stack) clear(*--sp);
#if defined(VELN_DEBUG_CHECKS)
  for (const Cell* c = stack; c < stack_end; ++c) VELN_DEBUG_CHECK(!c->holds_buffer(), "buffer left in a value stack cell");
#endif
}

// The position a small int index names in a sequence of `count` items, or
// -1: the general path decides, errors included.
VELN_LOOP_HELPER int64_t small_position(const Cell& index, size_t count) {
  if (!index.is(VmKind::Int) || !index.int_is_small()) return -1;
  int64_t i = index.small_int();
  const int64_t n = static_cast<int64_t>(count);
  if (i < 0) i += n;
  return i >= 0 && i < n ? i : -1;
}

// The value of a key a dict holds, or null: the general read decides.
VELN_OP_HELPER const VmValue* dict_item(const Cell& dict, const Cell& key) {
  if (!dict.is(VmKind::Dict)) return nullptr;
  const std::optional<size_t> at = dict.dict_find_structural(key);
  return at ? &dict.dict_pairs()[*at].value : nullptr;
}

// [list, tuple or dict][index] -> [item] for an index within it or a key
// held; false leaves the cells to the general read.
VELN_LOOP_HELPER bool subscript_item(Cell* top) {
  Cell& container = top[-2];
  const VmValue* found = nullptr;
  if (container.is(VmKind::List) || container.is(VmKind::Tuple)) {
    const std::span<const VmValue> items = container.items();
    const int64_t at = small_position(top[-1], items.size());
    if (at >= 0) found = &items[static_cast<size_t>(at)];
  } else {
    found = dict_item(container, top[-1]);
  }
  if (found == nullptr) return false;
  VmValue item = *found;
  clear(top[-1]);
  overwrite(container, std::move(item));
  return true;
}

// `name[index] = value` (or `name[index] op= value`) on a list or dict bound
// to a local, a list index within it: the write-back's steps for that shape
// (the local lets go of the container so its buffer is edited in place, the
// item is set, the container goes back to the local). 1 done, 0 for the
// general path, -1 failed.
// The three cells are [container][index][value], or [value][container][index]
// when the value was computed before the target was resolved.
VELN_OP_HELPER int store_dict_item(VmRun& run, Slot& root, Cell& dict, Cell& index, Cell& value) {
  root.value = VmValue();
  if (!run.check(dict.dict_set_key(std::move(index), std::move(value)))) return -1;
  overwrite(root.value, std::move(dict));
  clear(index);
  return 1;
}

VELN_LOOP_HELPER int store_item(VmRun& run, const TargetSite& site, Cell* top, uint8_t flags, Slot* slots) {
  if (site.levels != 1 || site.outer_current != ((flags & kStoreCurrentUsed) != 0) || !site.root_is_name ||
      !site.root_cell) {
    return 0;
  }
  const bool value_below = (flags & kStoreValueBelow) != 0;
  Slot& root = slots[site.slot];
  Cell& container = value_below ? top[-2] : top[-3];
  Cell& index = value_below ? top[-1] : top[-2];
  Cell& value = value_below ? top[-3] : top[-1];
  if (!root.bound) return 0;
  if (container.is(VmKind::Dict)) return store_dict_item(run, root, container, index, value);
  if (!container.is(VmKind::List)) return 0;
  const int64_t at = small_position(index, container.item_count());
  if (at < 0) return 0;
  root.value = VmValue();
  if (!run.check(container.seq_set(static_cast<size_t>(at), std::move(value)))) return -1;
  overwrite(root.value, std::move(container));
  clear(index);
  return 1;
}

// ---- instructions run out of line: each returns the new stack top, or
// nullptr after a failure ------------------------------------------------------

struct Frame {
  VmRun& run;
  const LoweredCode& code;
  Cell* stack;
  Slot* slots;
};

// Moves the pending keyword arguments from `mark` on out of the run.
VmKwargList take_keywords(VmRun& run, const Cell* mark) {
  VmKwargList out;
  if (mark == nullptr) return out;
  const size_t from = static_cast<size_t>(mark->small_int());
  out.reserve(run.keywords.size() - from);
  for (size_t i = from; i < run.keywords.size(); ++i) out.push_back(std::move(run.keywords[i]));
  run.keywords.resize(from);
  return out;
}

// Clears the cells from `from` to `sp` and pushes `result` at `from`.
[[gnu::always_inline]] inline Cell* replace_with(Cell* from, Cell* sp, VmValue&& result) {
  while (sp > from) clear(*--sp);
  *sp++ = std::move(result);
  return sp;
}

// A call's answer in place of its cells, or nullptr once its error stops the run.
[[gnu::always_inline]] inline Cell* replace_with_result(VmRun& run, Cell* from, Cell* sp,
                                                        VmResult<VmValue>&& result) {
  if (!result.ok()) {
    run.fail(std::move(result).error());
    return nullptr;
  }
  return replace_with(from, sp, std::move(result).value());
}

// The callee of a CallName: a value, or the module function or builtin the
// name falls back to.
bool name_callee(VmRun& run, const LoweredCode& code, const NameSite& name, Slot* slots, Cell& callee,
                 std::optional<uint32_t>& function, std::optional<BuiltinId>& builtin) {
  if (!slots[name.slot].bound && !run.instance.globals[name.global].bound) {
    if (name.fallback == NameFallback::Function) {
      function = name.function;
      return true;
    }
    if (name.builtin) {
      builtin = name.builtin;
      return true;
    }
  }
  return load_name(run, code, name, slots, callee);
}

// The keyword values of a planned call site, named, for a callee its plan
// does not apply to.
VmKwargList keyword_cells(const LoweredCode& code, const CallSite& site, Cell* values) {
  VmKwargList out;
  out.reserve(site.keyword_texts.size());
  for (size_t k = 0; k < site.keyword_texts.size(); ++k) {
    out.push_back(VmKeywordArg{code.texts[site.keyword_texts[k]], std::move(values[k])});
  }
  return out;
}

VELN_OP_HELPER VmResult<VmValue> call_with_keywords(VmRun& run, VmValue callee, std::optional<uint32_t> function,
                                                    std::optional<BuiltinId> builtin, std::span<VmValue> args,
                                                    VmKwargList kwargs) {
  if (function) return call_function_at(run, *function, args, kwargs);
  if (builtin) return call_builtin_at(run, *builtin, args, kwargs);
  return call_callable_value(run, std::move(callee), args, kwargs);
}

// A call by name of an unbound builtin name with positional arguments only:
// the charge, then the builtin on the argument cells. Nothing when the site
// is another kind of call.
[[gnu::always_inline]] inline bool plain_builtin_call(Frame f, const Instr& in, const CallSite& site, Cell*& sp) {
  if (in.op == Op::CallValue || site.has_keywords || !site.keyword_texts.empty()) return false;
  const NameSite& name = f.code.names[site.name];
  if (!name.builtin || name.fallback == NameFallback::Function || f.slots[name.slot].bound ||
      f.run.instance.globals[name.global].bound) {
    return false;
  }
  if (!charge(f.run, in.b)) {
    sp = nullptr;
    return true;
  }
  Cell* args = sp - site.argc;
  sp = replace_with_result(f.run, args, sp, call_builtin_at(f.run, *name.builtin, {args, site.argc}, {}));
  return true;
}

// Calls recurse into run_code: this path holds no frame of other instructions.
VELN_OP_HELPER Cell* call(Frame f, const Instr& in, Cell* sp) {
  const CallSite& site = f.code.calls[in.a];
  if (plain_builtin_call(f, in, site, sp)) return sp;
  Cell callee;
  std::optional<uint32_t> function;
  std::optional<BuiltinId> builtin;
  if (in.op == Op::CallValue) {
    callee = std::move(*--sp);
  } else if (!charge(f.run, in.b) ||
             !name_callee(f.run, f.code, f.code.names[site.name], f.slots, callee, function, builtin)) {
    return nullptr;
  }
  const Cell* mark = site.has_keywords ? sp - 1 : nullptr;
  const uint32_t keywords = static_cast<uint32_t>(site.keyword_texts.size());
  Cell* args = (mark != nullptr ? sp - 1 : sp) - site.argc - keywords;
  const std::span<VmValue> arg_span(args, site.argc);
  VmResult<VmValue> result =
      // Keyword arguments are moved out of the run first: the callee's own
      // calls assemble theirs there while it binds. (A planned site comes
      // here only when its name is bound to a value.)
      mark != nullptr ? call_with_keywords(f.run, std::move(callee), function, builtin, arg_span,
                                             take_keywords(f.run, mark))
      : keywords != 0   ? call_with_keywords(f.run, std::move(callee), function, builtin, arg_span,
                                             keyword_cells(f.code, site, args + site.argc))
      : function        ? call_function_at(f.run, *function, arg_span, {})
      : builtin         ? call_builtin_at(f.run, *builtin, arg_span, {})
                        : call_callable_value(f.run, std::move(callee), arg_span, {});
  return replace_with_result(f.run, args, sp, std::move(result));
}

// A planned call whose name still falls back to its module function (no
// local or global of that name is bound): straight into the callee.
VELN_OP_HELPER Cell* call_planned(Frame f, const Instr& in, Cell* sp) {
  const CallSite& site = f.code.calls[in.a];
  const NameSite& name = f.code.names[site.name];
  if (f.slots[name.slot].bound || f.run.instance.globals[name.global].bound) return call(f, in, sp);
  if (!charge(f.run, in.b)) return nullptr;
  const uint32_t n = site.planned_cells;
  Cell* args = sp - n;
  VmResult<VmValue> result = call_function_planned(f.run, name.function, {args, n}, site.plan);
  if (!result.ok()) [[unlikely]] return replace_with_result(f.run, args, sp, std::move(result));
  // Bound by its plan, the callee took every argument cell: they hold
  // nothing to release.
  std::construct_at(args, std::move(result).value());
  return args + 1;
}

VELN_OP_HELPER Cell* syscall(Frame f, const Instr& in, Cell* sp) {
  const CallSite& site = f.code.calls[in.a];
  // A write-back target ("random.shuffle") sits above the arguments.
  const SyscallSite& system_call = f.code.syscalls[site.syscall];
  Cell* target = sp - (system_call.has_target ? f.code.targets[system_call.target].cells() : 0);
  const Cell* mark = site.has_keywords ? target - 1 : nullptr;
  Cell* args = (mark != nullptr ? target - 1 : target) - site.argc;
  VmKwargList kwargs = mark != nullptr ? take_keywords(f.run, mark) : VmKwargList();
  VmResult<VmValue> result = f.run.instance.eval_syscall(f.run, f.code, site, std::span<Cell>(args, site.argc),
                                                         std::move(kwargs), target, f.slots);
  f.run.refresh_trace();
  return replace_with_result(f.run, args, sp, std::move(result));
}

VELN_OP_HELPER Cell* native_call(Frame f, const Instr& in, Cell* sp) {
  const CallSite& site = f.code.calls[in.a];
  const uint32_t receiver_cells = site.receiver_resolved ? f.code.targets[site.target].cells() : 1;
  Cell* receiver = sp - receiver_cells;
  if (!site.has_keywords && sp[-1].is(VmKind::String)) {
    // A str is never changed by its methods: nothing to write back, so the
    // str table is called straight away.
    Cell* args = receiver - site.argc;
    VmResult<NativeMethodOutcome> outcome =
        str_methods().call(std::move(sp[-1]), site.method_ids.ids[static_cast<size_t>(VmKind::String)],
                           f.code.texts[site.method], std::span<const VmValue>(args, site.argc));
    if (!outcome.ok()) {
      f.run.fail(std::move(outcome).error());
      return nullptr;
    }
    VELN_DEBUG_CHECK(!outcome->is_mutated(), "a str method changed its receiver");
    return replace_with(args, sp, std::move(outcome->value));
  }
  const Cell* mark = site.has_keywords ? receiver - 1 : nullptr;
  Cell* args = (mark != nullptr ? receiver - 1 : receiver) - site.argc;
  // The pending keywords are read in place (a method runs no contract code,
  // so none are added meanwhile) and dropped after the call.
  const size_t keywords_from = mark != nullptr ? static_cast<size_t>(mark->small_int()) : f.run.keywords.size();
  VmResult<VmValue> result = eval_native_attribute_call(
      f.run, f.code, site, receiver, std::span<Cell>(args, site.argc),
      std::span<VmKeywordArg>(f.run.keywords).subspan(keywords_from), f.slots);
  if (mark != nullptr) f.run.keywords.resize(keywords_from);
  return replace_with_result(f.run, args, sp, std::move(result));
}

// `name.append(item)` on a list bound to a local: list.append's steps with
// the local's write-back (the local lets go of the list so its buffer grows
// in place, the item is pushed, the list goes back to the local). Any other
// receiver takes the general path. Cells: [item][list].
VELN_OP_HELPER Cell* append_to_local(Frame f, const Instr& in, Cell* sp) {
  Slot& root = f.slots[in.b];
  if (!root.bound || !sp[-1].is(VmKind::List)) {
    sp = native_call(f, in, sp);
    if (sp == nullptr || in.a8 == 0) return sp;
    clear(*--sp);
    return sp;
  }
  root.value = VmValue();
  VmValue list = std::move(sp[-1]);
  VmStatus status = list.seq_push(std::move(sp[-2]));
  overwrite(root.value, std::move(list));
  if (!f.run.check(std::move(status))) return nullptr;
  clear(sp[-2]);
  return in.a8 != 0 ? sp - 2 : sp - 1;
}

// `receiver.get(key[, default])` on a dict: its answer, nothing to write
// back. Cells: [key][default]?[receiver cells], the dict on top.
VELN_OP_HELPER Cell* dict_get(Frame f, const Instr& in, Cell* sp) {
  if (!sp[-1].is(VmKind::Dict)) return native_call(f, in, sp);
  Cell* args = sp - in.b;
  const VmValue* found = dict_item(sp[-1], args[0]);
  VmValue value = found != nullptr ? *found : in.a8 == 2 ? std::move(args[1]) : VmValue::none();
  return replace_with(args, sp, std::move(value));
}

VELN_OP_HELPER Cell* store_resolved_cells(Frame f, const Instr& in, Cell* sp) {
  const TargetSite& site = f.code.targets[in.a];
  const uint32_t cells = site.cells() - ((in.a8 & kStoreCurrentUsed) ? 1 : 0);
  Cell* target_cells;
  VmValue value;
  if (in.a8 & kStoreValueBelow) {
    target_cells = sp - cells;
    value = std::move(target_cells[-1]);
    --target_cells;
    if (!f.run.check(store_resolved(f.run, f.code, site, target_cells + 1, std::move(value), f.slots, false))) {
      return nullptr;
    }
    while (sp > target_cells) clear(*--sp);
    return sp;
  }
  value = std::move(*--sp);
  target_cells = sp - cells;
  if (!f.run.check(store_resolved(f.run, f.code, site, target_cells, std::move(value), f.slots, false))) return nullptr;
  while (sp > target_cells) clear(*--sp);
  return sp;
}

VELN_OP_HELPER Cell* read_current(Frame f, const Instr&, Cell* sp) {
  return f.run.take(read_subscript(f.run, sp[-2], sp[-1]), *sp) ? sp + 1 : nullptr;
}

VELN_OP_HELPER Cell* subscript(Frame f, const Instr&, Cell* sp) {
  VmValue index = std::move(*--sp);
  return f.run.take(read_subscript(f.run, std::move(sp[-1]), index), sp[-1]) ? sp : nullptr;
}

VELN_OP_HELPER Cell* push_none(Frame, const Instr&, Cell* sp) {
  clear(*sp);
  return sp + 1;
}

VELN_OP_HELPER Cell* build(Frame f, const Instr& in, Cell* sp) {
  sp -= in.a;
  VmValue built;
  if (!f.run.take(build_sequence(in.op == Op::BuildList ? VmKind::List : VmKind::Tuple, sp, in.a), built)) {
    return nullptr;
  }
  return replace_with(sp, sp + in.a, std::move(built));
}

// A dict display's instruction carries its entry count (0 elsewhere).
VELN_OP_HELPER Cell* new_container(Frame f, const Instr& in, Cell* sp) {
  if (in.op == Op::NewList) return f.run.take(VmValue::make_list({}), *sp) ? sp + 1 : nullptr;
  return f.run.take(VmValue::make_dict_with_room(in.a), *sp) ? sp + 1 : nullptr;
}

VELN_OP_HELPER Cell* dict_append(Frame f, const Instr&, Cell* sp) {
  if (!f.run.check(sp[-3].dict_push_pair(std::move(sp[-2]), std::move(sp[-1])))) return nullptr;
  return sp - 2;
}

VELN_OP_HELPER Cell* dict_unpack(Frame f, const Instr&, Cell* sp) {
  if (!f.run.check(dict_unpack_into(sp[-2], sp[-1]))) return nullptr;
  clear(*--sp);
  return sp;
}

VELN_OP_HELPER Cell* f_string(Frame f, const Instr& in, Cell* sp) {
  VmValue text;
  if (!f.run.take(fstring_value(sp - in.a, in.a), text)) return nullptr;
  return replace_with(sp - in.a, sp, std::move(text));
}

VELN_OP_HELPER Cell* format_value(Frame f, const Instr&, Cell* sp) {
  return f.run.take(display_text_value(sp[-1]), sp[-1]) ? sp : nullptr;
}

VELN_OP_HELPER Cell* slice_bound(Frame f, const Instr&, Cell* sp) {
  return f.run.take(slice_bound_value(sp[-1]), sp[-1]) ? sp : nullptr;
}

VELN_OP_HELPER Cell* slice_read(Frame f, const Instr& in, Cell* sp) {
  const uint32_t n = static_cast<uint32_t>(__builtin_popcount(in.a8));
  Cell* bounds = sp - n;
  VmValue result;
  if (!f.run.take(slice_subscript(std::move(bounds[-1]), bounds, in.a8), result)) return nullptr;
  return replace_with(bounds - 1, sp, std::move(result));
}

VELN_OP_HELPER Cell* attribute(Frame f, const Instr& in, Cell* sp) {
  return f.run.take(native_attribute_value(sp[-1], f.code.texts[in.a]), sp[-1]) ? sp : nullptr;
}

VELN_OP_HELPER Cell* host_attribute(Frame f, const Instr& in, Cell* sp) {
  const HostAttrSite& site = f.code.host_attrs[in.a];
  if (!site.binding_ok) {
    f.run.fail(vm_error(f.code.texts[site.binding_error]));
    return nullptr;
  }
  return f.run.take(host_binding_value(static_cast<HostBindingId>(site.binding), f.run.instance.context), *sp)
             ? sp + 1
             : nullptr;
}

// The binding of a storage instruction: its name texts[a], its number the
// high half of b.
uint32_t storage_binding(const Instr& in) { return static_cast<uint32_t>(in.b >> 32); }

bool storage_read(VmRun& run, const LoweredCode& code, const Instr& in, const VmValue& key, Cell& out) {
  VmResult<VmValue> value = run.instance.hash_get(storage_binding(in), code.texts[in.a], key, run.host);
  run.refresh_trace();
  return run.take(std::move(value), out);
}

bool storage_write(VmRun& run, const LoweredCode& code, const Instr& in, const VmValue& key, VmValue value) {
  return run.check(run.instance.hash_set(storage_binding(in), code.texts[in.a], key, std::move(value), run.host));
}

VELN_OP_HELPER Cell* storage_get(Frame f, const Instr& in, Cell* sp) {
  return storage_read(f.run, f.code, in, sp[-1], sp[-1]) ? sp : nullptr;
}

VELN_OP_HELPER Cell* storage_set(Frame f, const Instr& in, Cell* sp) {
  VmValue value = std::move(sp[-1]);
  VmValue key = std::move(sp[-2]);
  return storage_write(f.run, f.code, in, key, std::move(value)) ? sp - 2 : nullptr;
}

VELN_OP_HELPER Cell* storage_mutate_read(Frame f, const Instr& in, Cell* sp) {
  return storage_read(f.run, f.code, in, sp[-1], *sp) ? sp + 1 : nullptr;
}

VELN_OP_HELPER Cell* storage_mutate_write(Frame f, const Instr& in, Cell* sp) {
  VmValue value = std::move(sp[-1]);
  VmValue current = std::move(sp[-2]);
  VmValue key = std::move(sp[-3]);
  VmValue updated;
  if (!f.run.take(in.a8 == 255 ? apply_binary_operator(std::string_view(f.code.texts[static_cast<uint32_t>(in.b)]),
                                                       std::move(current),
                                                       std::move(value))
                               : apply_binary_operator(static_cast<BinaryOperator>(in.a8), std::move(current),
                                                       std::move(value)),
                  updated)) {
    return nullptr;
  }
  return storage_write(f.run, f.code, in, key, std::move(updated)) ? sp - 3 : nullptr;
}

VELN_OP_HELPER Cell* for_prep(Frame f, const Instr&, Cell* sp) {
  VmValue iterable = std::move(sp[-1]);
  return f.run.check(iteration_start(std::move(iterable), sp - 1)) ? sp - 1 + kIterationCells : nullptr;
}

// `for x in range(...)` while the name still means the builtin and the
// bounds are small ints within range()'s limit: the call's charge, then a
// state that counts through the range (see next_item) in place of the list
// range() would build. Anything else is the call, then ForPrep.
VELN_OP_HELPER Cell* for_prep_range(Frame f, const Instr& in, Cell* sp) {
  const CallSite& site = f.code.calls[in.a];
  const NameSite& name = f.code.names[site.name];
  Cell* args = sp - site.argc;
  int64_t bounds[3] = {0, 0, 1};  // start, stop, step
  bool counted = !f.slots[name.slot].bound && !f.run.instance.globals[name.global].bound;
  for (uint32_t i = 0; counted && i < site.argc; ++i) {
    counted = args[i].is(VmKind::Int) && args[i].int_is_small();
    if (counted) bounds[site.argc == 1 ? 1 : i] = args[i].small_int();
  }
  const std::optional<uint64_t> count =
      counted && bounds[2] != 0 ? small_range_count(bounds[0], bounds[1], bounds[2]) : std::nullopt;
  if (!count) {
    sp = call(f, in, sp);
    return sp != nullptr ? for_prep(f, in, sp) : nullptr;
  }
  if (!charge(f.run, in.b)) return nullptr;
  set_int(args[0], bounds[2]);
  set_int(args[1], bounds[0]);
  set_int(args[2], static_cast<int64_t>(*count));
  return args + kIterationCells;
}

VELN_OP_HELPER Cell* unpack(Frame f, const Instr& in, Cell* sp) {
  VmValue value = std::move(*--sp);
  return f.run.check(unpack_value(value, in.a, sp)) ? sp + in.a : nullptr;
}

VELN_OP_HELPER Cell* unpack_type_check(Frame f, const Instr&, Cell* sp) {
  return f.run.check(check_destructurable(sp[-1])) ? sp : nullptr;
}

VELN_OP_HELPER Cell* list_append(Frame f, const Instr& in, Cell* sp) {
  if (!f.run.check(f.stack[in.a].seq_push(std::move(sp[-1])))) return nullptr;
  clear(*--sp);
  return sp;
}

VELN_OP_HELPER Cell* dict_set_cell(Frame f, const Instr& in, Cell* sp) {
  // The result cell holds the comprehension's only reference: set in place.
  if (!f.run.check(f.stack[in.a].dict_set_key(std::move(sp[-2]), std::move(sp[-1])))) return nullptr;
  return sp - 2;
}

VELN_OP_HELPER Cell* keyword_mark(Frame f, const Instr&, Cell* sp) {
  set_int(*sp, static_cast<int64_t>(f.run.keywords.size()));
  return sp + 1;
}

VELN_OP_HELPER Cell* keyword_push(Frame f, const Instr& in, Cell* sp) {
  f.run.keywords.push_back(VmKeywordArg{f.code.texts[in.a], std::move(sp[-1])});
  return sp - 1;
}

VELN_OP_HELPER Cell* keyword_unpack(Frame f, const Instr&, Cell* sp) {
  const VmValue& mapping = sp[-1];
  if (!mapping.is(VmKind::Dict)) {
    f.run.fail(vm_error("keyword unpacking requires a dict value"));
    return nullptr;
  }
  for (const VmDictPair& pair : mapping.dict_pairs()) {
    if (!pair.key.is(VmKind::String)) {
      f.run.fail(vm_error("expected string value, got " + std::string(pair.key.type_name())));
      return nullptr;
    }
    f.run.keywords.push_back(VmKeywordArg{std::string(pair.key.text()), pair.value});
  }
  clear(*--sp);
  return sp;
}

// Releases the target local, applies the operator and stores the result.
VELN_OP_HELPER bool binary_store(VmRun& run, uint8_t op, uint32_t target, Cell* top, Slot* slots) {
  Slot& slot = slots[target];
  if (slot.bound) clear(slot.value);
  VmResult<VmValue> result =
      apply_binary_operator(static_cast<BinaryOperator>(op), std::move(top[-2]), std::move(top[-1]));
  clear(top[-1]);
  clear(top[-2]);
  if (!run.take(std::move(result), slot.value)) return false;
  slot.bound = true;
  return true;
}

}  // namespace

VmResult<VmValue> run_code(VmRun& run, const LoweredCode& code, uint32_t pc, Slot* slots) {
  const FrameArena::Mark mark = run.arena.mark();
  VmResult<VmValue> result = run_code_on(run, code, pc, slots, run.arena.push<Cell>(code.max_stack));
  run.arena.release(mark);
  return result;
}

VmResult<VmValue> run_code_on(VmRun& run, const LoweredCode& code, uint32_t pc, Slot* slots, VmValue* stack) {
  Cell* sp = stack;
  const Instr* const instrs = code.instrs.data();
  const Instr* in = instrs + pc;
  const Frame frame{run, code, stack, slots};

  // Threaded dispatch: one indirect jump per instruction, from its own site.
#define VELN_OP_LABEL(name) &&op_##name,
  static const void* const kLabels[] = {VELN_FOR_EACH_OP(VELN_OP_LABEL)};
#undef VELN_OP_LABEL
  static_assert(sizeof(kLabels) / sizeof(kLabels[0]) == kOpCount);
  // In the sanitizer build every dispatch checks that the instruction just
  // run stayed within the cells lowering counted for this code.
  Cell* const stack_end = stack + code.max_stack;
#define VELN_CHECK_STACK() VELN_DEBUG_CHECK(sp >= stack && sp <= stack_end, "value stack out of bounds")
#define NEXT()          \
  do {                  \
    VELN_CHECK_STACK(); \
    goto* kLabels[static_cast<size_t>((++in)->op)]; \
  } while (0)
#define JUMP(target)                            \
  do {                                          \
    VELN_CHECK_STACK();                         \
    in = instrs + (target);                     \
    goto* kLabels[static_cast<size_t>(in->op)]; \
  } while (0)
#define OUT_OF_LINE(helper)              \
  sp = helper(frame, *in, sp);           \
  if (sp == nullptr) goto failed;        \
  NEXT()

  goto* kLabels[static_cast<size_t>(in->op)];

op_Charge:
  if ((in->spare != 0 && !charge(run, in->spare)) || !charge(run, in->b)) goto failed;
  NEXT();
op_Stmt:
  if (!statement(run, code, *in)) goto failed;
  NEXT();
op_Pop:
  clear(*--sp);
  NEXT();
op_Dup:
  *sp = sp[-1];
  ++sp;
  NEXT();
op_Jump:
  JUMP(in->a);
op_JumpIfFalse:
op_JumpIfTrue: {
  const bool jump = truth(sp[-1]) == (in->op == Op::JumpIfTrue);
  clear(*--sp);
  if (jump) JUMP(in->a);
  NEXT();
}
op_JumpIfTrueOrPop:
op_JumpIfFalseOrPop:
  if (truth(sp[-1]) == (in->op == Op::JumpIfTrueOrPop)) JUMP(in->a);
  clear(*--sp);
  NEXT();
op_Return: {
  VmValue result = std::move(*--sp);
  leave(stack, sp, stack_end);
  return result;
}
op_ReturnNone:
  leave(stack, sp, stack_end);
  return VmValue::none();
op_LoadConst:
  if ((in->spare != 0 && !charge(run, in->spare)) || !charge(run, in->b)) goto failed;
  // falls through
op_PushConst:
  copy_into_free(*sp++, code.constants[in->a]);
  NEXT();
op_PushBool:
  set_bool(*sp++, in->a8 != 0);
  NEXT();
op_LoadName:
  if (in->spare != 0 && !charge(run, in->spare)) goto failed;
  if (!charge(run, in->b) || !load_name(run, code, code.names[in->a], slots, *sp)) goto failed;
  ++sp;
  NEXT();
op_LoadName2:
op_Name2Subscript:
  if (in->spare != 0 && !charge(run, in->spare)) goto failed;
  if (!charge(run, kNameReadPrice) || !load_name(run, code, code.names[in->a], slots, *sp)) goto failed;
  ++sp;
  if (!charge(run, kNameReadPrice) || !load_name(run, code, code.names[in->b], slots, *sp)) goto failed;
  ++sp;
  if (in->op == Op::Name2Subscript) goto op_Subscript;
  NEXT();
op_LoadNameConst:
  if (in->spare != 0 && !charge(run, in->spare)) goto failed;
  if (!charge(run, kNameReadPrice) || !load_name(run, code, code.names[in->a], slots, *sp)) goto failed;
  ++sp;
  if (!charge(run, kConstantPrice)) goto failed;
  copy_into_free(*sp++, code.constants[in->b]);
  NEXT();
op_NameConstBinary:
op_NameConstBinaryStore: {
  if (in->spare != 0 && !charge(run, in->spare)) goto failed;
  if (!charge(run, kNameReadPrice) || !load_name(run, code, code.names[in->a], slots, *sp)) goto failed;
  ++sp;
  if (!charge(run, kConstantPrice)) goto failed;
  copy_into_free(*sp++, code.constants[static_cast<uint32_t>(in->b)]);
  const bool store = in->op == Op::NameConstBinaryStore;
  int64_t r;
  if (small_ints(sp[-2], sp[-1]) && small_int_binary(in->a8, sp[-2].small_int(), sp[-1].small_int(), r)) {
    if (store) {
      Slot& slot = slots[in->b >> 32];
      set_int(slot.value, r);
      slot.bound = true;
      sp -= 2;
    } else {
      set_int(sp[-2], r);
      --sp;
    }
    NEXT();
  }
  if (store) {
    if (!binary_store(run, in->a8, static_cast<uint32_t>(in->b >> 32), sp, slots)) goto failed;
    sp -= 2;
  } else {
    if (!binary(run, code, *in, sp)) goto failed;
    --sp;
  }
  NEXT();
}
op_StoreLocal: {
  Slot& slot = slots[in->a];
  overwrite(slot.value, std::move(*--sp));
  slot.bound = true;
  NEXT();
}
op_ReleaseLocal:
  if (slots[in->a].bound) clear(slots[in->a].value);
  NEXT();
op_ConstBinary:
  if ((in->spare != 0 && !charge(run, in->spare)) || !charge(run, kConstantPrice)) goto failed;
  copy_into_free(*sp++, code.constants[in->a]);
  // falls through
op_Binary: {
  int64_t r;
  if (small_ints(sp[-2], sp[-1]) && small_int_binary(in->a8, sp[-2].small_int(), sp[-1].small_int(), r)) {
    set_int(sp[-2], r);
    --sp;
    NEXT();
  }
}
  // falls through
op_BinaryNamed:
  if (!binary(run, code, *in, sp)) goto failed;
  --sp;
  NEXT();
op_ConstBinaryStore:
  if ((in->spare != 0 && !charge(run, in->spare)) || !charge(run, kConstantPrice)) goto failed;
  copy_into_free(*sp++, code.constants[in->a]);
  // falls through
op_BinaryStore: {
  const uint32_t target = in->op == Op::BinaryStore ? in->a : static_cast<uint32_t>(in->b);
  int64_t r;
  if (small_ints(sp[-2], sp[-1]) && small_int_binary(in->a8, sp[-2].small_int(), sp[-1].small_int(), r)) {
    Slot& slot = slots[target];
    set_int(slot.value, r);
    slot.bound = true;
    sp -= 2;
    NEXT();
  }
  if (!binary_store(run, in->a8, target, sp, slots)) goto failed;
  sp -= 2;
  NEXT();
}
op_NameConstBinaryJump:
  if (in->spare != 0 && !charge(run, in->spare)) goto failed;
  if (!charge(run, kNameReadPrice) || !load_name(run, code, code.names[static_cast<uint32_t>(in->b)], slots, *sp)) goto failed;
  ++sp;
  if (!charge(run, kConstantPrice)) goto failed;
  copy_into_free(*sp++, code.constants[in->b >> 32]);
  // falls through
op_BinaryJump: {
  int64_t r;
  bool truthy;
  if (small_ints(sp[-2], sp[-1]) &&
      small_int_binary(in->a8 & ~kBinaryJumpIfTrue, sp[-2].small_int(), sp[-1].small_int(), r)) {
    truthy = r != 0;
  } else {
    if (!binary(run, code, *in, sp)) goto failed;
    truthy = truth(sp[-2]);
  }
  clear(*--sp);
  clear(*--sp);
  if (truthy == ((in->a8 & kBinaryJumpIfTrue) != 0)) JUMP(in->a);
  NEXT();
}
op_Unary:
op_UnaryNamed:
  if (!unary(run, code, *in, sp)) goto failed;
  NEXT();
op_NameConstCompareJump:
op_Name2CompareJump:
  if (in->spare != 0 && !charge(run, in->spare)) goto failed;
  if (!charge(run, kNameReadPrice) || !load_name(run, code, code.names[static_cast<uint32_t>(in->b)], slots, *sp)) goto failed;
  ++sp;
  if (in->op == Op::Name2CompareJump) {
    if (!charge(run, kNameReadPrice) || !load_name(run, code, code.names[in->b >> 32], slots, *sp)) goto failed;
  } else {
    if (!charge(run, kConstantPrice)) goto failed;
    copy_into_free(*sp, code.constants[in->b >> 32]);
  }
  ++sp;
  // falls through
op_CompareJump: {
  const int holds = compare_cells(run, code, *in, sp);
  if (holds < 0) goto failed;
  clear(*--sp);
  clear(*--sp);
  if ((holds != 0) == ((in->a8 & kCompareJumpIfTrue) != 0)) JUMP(in->a);
  NEXT();
}
op_Compare:
op_CompareNamed:
op_CompareLast:
op_CompareLastNamed: {
  const int holds = in->op == Op::Compare || in->op == Op::CompareLast ? compare_cells(run, code, *in, sp)
                                                                        : compare(run, code, *in, sp);
  if (holds < 0) goto failed;
  if (in->op == Op::CompareLast || in->op == Op::CompareLastNamed) {
    clear(*--sp);
    set_bool(sp[-1], holds != 0);
  } else if (holds) {
    overwrite(sp[-2], std::move(sp[-1]));
    --sp;
  } else {
    clear(*--sp);
    set_bool(sp[-1], false);
    JUMP(in->a);
  }
  NEXT();
}
op_HostAttribute: {
  const HostAttrSite& site = code.host_attrs[in->a];
  if (site.root_is_name && (slots[site.slot].bound || run.instance.globals[site.global].bound)) NEXT();
  sp = host_attribute(frame, *in, sp);
  if (sp == nullptr) goto failed;
  JUMP(in->b);
}
op_ForNext:
  VELN_DEBUG_CHECK(sp < stack_end, "for item cell out of bounds");
  if (!next_item(*in, stack, sp)) {
    if ((in->a8 & kForNextKeepState) == 0) {
      for (uint32_t i = 0; i < kIterationCells; ++i) clear(*--sp);
    }
    if (in->a8 & kForNextLoopBack) NEXT();
    JUMP(in->a);
  }
  ++sp;
  if (!charge(run, 96)) goto failed;
  if (in->a8 & kForNextStore) {
    Slot& slot = slots[in->spare];
    overwrite(slot.value, std::move(*--sp));
    slot.bound = true;
  }
  if (in->a8 & kForNextLoopBack) JUMP(in->a);
  NEXT();
op_PopLoop:
  for (uint32_t i = 0; i < kIterationCells; ++i) clear(*--sp);
  JUMP(in->a);
op_Capture:
  for (uint32_t slot : code.captures[in->a].slots) {
    *sp++ = slots[slot].value;
    set_bool(*sp++, slots[slot].bound);
  }
  NEXT();
op_Restore: {
  const std::vector<uint32_t>& captured = code.captures[in->a].slots;
  for (size_t i = captured.size(); i-- > 0;) {
    Slot& slot = slots[captured[i]];
    slot.bound = sp[-1].bool_value();
    overwrite(slot.value, std::move(sp[-2]));
    sp -= 2;
  }
  NEXT();
}
op_Raise:
op_AssertFail:
op_Fail:
  fail_with(run, code, *in, sp);
  goto failed;
op_CallName:
  if (code.calls[in->a].planned) {
    OUT_OF_LINE(call_planned);
  }
  // falls through
op_CallValue:
  OUT_OF_LINE(call);
op_Syscall:
  OUT_OF_LINE(syscall);
op_EventFieldKey:
  if (!run.check(event_display_limits(std::span<const VmValue>(&code.constants[in->a], in->a8),
                                      std::span<const VmValue>(sp - in->a8, in->a8))) ||
      !charge(run, in->b)) {
    goto failed;
  }
  NEXT();
op_NativeCall:
  OUT_OF_LINE(native_call);
op_AppendToLocal:
  OUT_OF_LINE(append_to_local);
op_DictGet:
  OUT_OF_LINE(dict_get);
op_StoreResolved: {
  const int stored = store_item(run, code.targets[in->a], sp, in->a8, slots);
  if (stored < 0) goto failed;
  if (stored > 0) {
    sp -= 3;
    NEXT();
  }
  OUT_OF_LINE(store_resolved_cells);
}
op_ReadCurrent:
  if (const VmValue* found = dict_item(sp[-2], sp[-1])) {
    *sp++ = *found;
    NEXT();
  }
  OUT_OF_LINE(read_current);
op_Subscript:
  if (subscript_item(sp)) {
    --sp;
    NEXT();
  }
  OUT_OF_LINE(subscript);
op_PushNone:
  OUT_OF_LINE(push_none);
op_BuildList:
op_BuildTuple:
  OUT_OF_LINE(build);
op_NewList:
op_NewDict:
  OUT_OF_LINE(new_container);
op_DictAppend:
  OUT_OF_LINE(dict_append);
op_DictUnpack:
  OUT_OF_LINE(dict_unpack);
op_FString:
  OUT_OF_LINE(f_string);
op_FormatValue:
  OUT_OF_LINE(format_value);
op_SliceBound:
  OUT_OF_LINE(slice_bound);
op_SliceSubscript:
  OUT_OF_LINE(slice_read);
op_Attribute:
  OUT_OF_LINE(attribute);
op_StorageGet:
  OUT_OF_LINE(storage_get);
op_ForPrep:
  OUT_OF_LINE(for_prep);
op_ForPrepRange:
  OUT_OF_LINE(for_prep_range);
op_StorageSet:
  OUT_OF_LINE(storage_set);
op_StorageMutateRead:
  OUT_OF_LINE(storage_mutate_read);
op_StorageMutateWrite:
  OUT_OF_LINE(storage_mutate_write);
op_Unpack:
  OUT_OF_LINE(unpack);
op_UnpackTypeCheck:
  OUT_OF_LINE(unpack_type_check);
op_ListAppend:
  OUT_OF_LINE(list_append);
op_DictSet:
  OUT_OF_LINE(dict_set_cell);
op_KwMark:
  OUT_OF_LINE(keyword_mark);
op_KwPush:
  OUT_OF_LINE(keyword_push);
op_KwUnpack:
  OUT_OF_LINE(keyword_unpack);

#undef NEXT
#undef JUMP
#undef VELN_CHECK_STACK
#undef OUT_OF_LINE
failed:
  // Where a failing helper left the top is not known: every cell is cleared.
  leave(stack, stack_end, stack_end);
  return std::move(run.error);
}

VmResult<VmValue> run_module_expression(VmRun& run, uint32_t pc) {
  const LoweredCode& code = run.instance.module_code;
  const uint32_t n = code.slot_count();
  ArenaCells<Slot> slots(run.arena, n);
  for (uint32_t i = 0; i < n; ++i) slots.get()[i] = run.instance.global(code.slot_globals[i]);
  return run_code(run, code, pc, slots.get());
}

}  // namespace veln
