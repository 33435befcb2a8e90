// The instruction loop. Simple instructions run inline; everything that
// allocates, formats a message or reaches the host runs in an out-of-line
// helper that reports failure through VmRun::error, so the loop's native
// frame stays small (with sanitizers too): it is the one frame each active
// call adds besides the call path.
#include <string>
#include <utility>
#include <vector>

#include "interpreter/expression_ops.hpp"
#include "interpreter/function_calls.hpp"
#include "interpreter/host_bindings.hpp"
#include "interpreter/native_attribute_calls.hpp"
#include "interpreter/target_ops.hpp"
#include "interpreter/trace.hpp"
#include "interpreter/vm_run.hpp"
#include "interpreter_support/binary_operators.hpp"
#include "interpreter_support/compare_operators.hpp"
#include "interpreter_support/dict_ops.hpp"
#include "interpreter_support/native_attributes.hpp"
#include "interpreter_support/storage_keys.hpp"
#include "interpreter_support/unary_operators.hpp"

// Helpers called on every charge and loop step are inlined in optimised
// builds; with sanitizers each inlined temporary would get its own guarded
// slot in the loop's frame, so there they stay out of line.
#if defined(__SANITIZE_ADDRESS__)
#define VELN_LOOP_HELPER [[gnu::noinline]]
#else
#define VELN_LOOP_HELPER [[gnu::always_inline]] inline
#endif
#define VELN_COLD [[gnu::noinline, gnu::cold]]

namespace veln {
namespace {

using Cell = VmValue;

VELN_LOOP_HELPER bool charge(VmRun& run, uint64_t cost) {
  VmStatus status = run.host.charge_execution_cost(cost);
  if (status.ok()) [[likely]] return true;
  return run.fail(std::move(status).error());
}

VELN_COLD void trace_statement(VmRun& run, std::string_view kind) {
  std::string line = "[vm-stmt] ";
  line.append(run.instance.module_name()).append(" ").append(kind);
  write_trace_line(line);
}

VELN_LOOP_HELPER bool statement(VmRun& run, const LoweredCode& code, const Instr& in) {
  if (!charge(run, in.b)) return false;
  if (run.instance.trace.statements) trace_statement(run, code.texts[in.a]);
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

// Pushes the value of a name: locals, module globals, then the fallback.
VELN_LOOP_HELPER bool load_name(VmRun& run, const LoweredCode& code, const NameSite& site, Slot* slots,
                                Cell& out) {
  if (slots[site.slot].bound) {
    out = slots[site.slot].value;
    return true;
  }
  const Slot& global = run.instance.globals[site.global];
  if (global.bound) {
    out = global.value;
    return true;
  }
  return name_fallback(run, code, site, out);
}

inline bool small_ints(const Cell& a, const Cell& b) {
  return a.is(VmKind::Int) && b.is(VmKind::Int) && a.int_is_small() && b.int_is_small();
}

// [left][right] -> [result]
[[gnu::noinline]] bool binary(VmRun& run, const LoweredCode& code, const Instr& in, Cell* top) {
  VmResult<VmValue> result =
      in.op == Op::Binary
          ? apply_binary_operator(static_cast<BinaryOperator>(in.a8), std::move(top[-2]), std::move(top[-1]))
          : apply_binary_operator(std::string_view(code.texts[in.a]), std::move(top[-2]), std::move(top[-1]));
  top[-1] = VmValue();
  return run.take(std::move(result), top[-2]);
}

[[gnu::noinline]] bool unary(VmRun& run, const LoweredCode& code, const Instr& in, Cell* top) {
  VmResult<VmValue> result =
      in.op == Op::Unary ? apply_unary_operator(static_cast<UnaryOperator>(in.a8), std::move(top[-1]))
                         : apply_unary_operator(std::string_view(code.texts[in.a]), std::move(top[-1]));
  return run.take(std::move(result), top[-1]);
}

// 1 when the link holds, 0 when not, -1 on failure.
[[gnu::noinline]] int compare(VmRun& run, const LoweredCode& code, const Instr& in, const Cell* top) {
  const bool named = in.op == Op::CompareNamed || in.op == Op::CompareLastNamed;
  VmResult<bool> holds = named ? apply_compare_operator(std::string_view(code.texts[in.b]), top[-2], top[-1])
                               : apply_compare_operator(static_cast<CompareOperator>(in.a8), top[-2], top[-1]);
  if (!holds.ok()) {
    run.fail(std::move(holds).error());
    return -1;
  }
  return *holds ? 1 : 0;
}

VELN_LOOP_HELPER void clear(Cell& cell) { cell = VmValue(); }
VELN_LOOP_HELPER void set_bool(Cell& cell, bool b) { cell = VmValue::boolean(b); }
VELN_LOOP_HELPER void set_int(Cell& cell, int64_t i) { cell = VmValue::integer(i); }

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

// Calls: the only instructions through which run_code recurses, kept apart
// so the recursion path holds no frame of the other instructions.
[[gnu::noinline]] Cell* call(VmRun& run, const LoweredCode& code, const Instr& in, Cell* sp, Slot* slots);
[[gnu::noinline]] Cell* syscall(VmRun& run, const LoweredCode& code, const Instr& in, Cell* sp, Slot* slots);

// Instructions whose work is all out of line; each returns the new stack
// top, or nullptr after a failure.
[[gnu::noinline]] Cell* other(VmRun& run, const LoweredCode& code, const Instr& in, Cell* sp, Cell* stack,
                              Slot* slots);

VELN_LOOP_HELPER bool next_item(const Instr& in, Cell* stack, Cell* item) {
  Cell* state = stack + in.b;
  const Cell& source = state[0];
  if ((source.is(VmKind::List) || source.is(VmKind::Tuple))) {
    const int64_t at = state[1].small_int();
    if (static_cast<size_t>(at) < source.item_count()) {
      *item = source.item(static_cast<size_t>(at));
      set_int(state[1], at + 1);
      return true;
    }
    return false;
  }
  return iteration_next(state, *item);
}

}  // namespace

VmResult<VmValue> run_code(VmRun& run, const LoweredCode& code, uint32_t pc, Slot* slots) {
  ArenaCells<Cell> cells(run.arena, code.max_stack);
  Cell* const stack = cells.get();
  Cell* sp = stack;
  const Instr* const instrs = code.instrs.data();
  const Instr* ip = instrs + pc;

  for (;;) {
    const Instr& in = *ip++;
    switch (in.op) {
      case Op::Charge:
        if (!charge(run, in.b)) goto failed;
        break;
      case Op::Stmt:
        if (!statement(run, code, in)) goto failed;
        break;
      case Op::Pop:
        clear(*--sp);
        break;
      case Op::Dup:
        *sp = sp[-1];
        ++sp;
        break;
      case Op::Jump:
        ip = instrs + in.a;
        break;
      case Op::JumpIfFalse:
      case Op::JumpIfTrue: {
        const bool jump = sp[-1].truthy() == (in.op == Op::JumpIfTrue);
        clear(*--sp);
        if (jump) ip = instrs + in.a;
        break;
      }
      case Op::JumpIfTrueOrPop:
      case Op::JumpIfFalseOrPop:
        if (sp[-1].truthy() == (in.op == Op::JumpIfTrueOrPop)) {
          ip = instrs + in.a;
        } else {
          clear(*--sp);
        }
        break;
      case Op::Return:
        return std::move(sp[-1]);
      case Op::ReturnNone:
        return VmValue::none();
      case Op::LoadConst:
        if (!charge(run, in.b)) goto failed;
        [[fallthrough]];
      case Op::PushConst:
        *sp++ = code.constants[in.a];
        break;
      case Op::PushBool:
        set_bool(*sp++, in.a8 != 0);
        break;
      case Op::LoadName:
        if (!charge(run, in.b) || !load_name(run, code, code.names[in.a], slots, *sp)) goto failed;
        ++sp;
        break;
      case Op::StoreLocal: {
        Slot& slot = slots[in.a];
        slot.value = std::move(*--sp);
        slot.bound = true;
        break;
      }
      case Op::ReleaseLocal:
        if (slots[in.a].bound) clear(slots[in.a].value);
        break;
      case Op::Binary: {
        if (small_ints(sp[-2], sp[-1])) {
          int64_t r;
          const int64_t a = sp[-2].small_int();
          const int64_t b = sp[-1].small_int();
          bool done = false;
          switch (static_cast<BinaryOperator>(in.a8)) {
            case BinaryOperator::Add: done = !__builtin_add_overflow(a, b, &r); break;
            case BinaryOperator::Sub: done = !__builtin_sub_overflow(a, b, &r); break;
            case BinaryOperator::Mul: done = !__builtin_mul_overflow(a, b, &r); break;
            default: break;
          }
          if (done) {
            set_int(sp[-2], r);
            --sp;
            break;
          }
        }
        if (!binary(run, code, in, sp)) goto failed;
        --sp;
        break;
      }
      case Op::BinaryNamed:
        if (!binary(run, code, in, sp)) goto failed;
        --sp;
        break;
      case Op::Unary:
      case Op::UnaryNamed:
        if (!unary(run, code, in, sp)) goto failed;
        break;
      case Op::Compare:
      case Op::CompareNamed:
      case Op::CompareLast:
      case Op::CompareLastNamed: {
        int holds;
        if (in.op == Op::Compare || in.op == Op::CompareLast) {
          if (small_ints(sp[-2], sp[-1]) && in.a8 == static_cast<uint8_t>(CompareOperator::Lt)) {
            holds = sp[-2].small_int() < sp[-1].small_int();
          } else if (small_ints(sp[-2], sp[-1]) && in.a8 == static_cast<uint8_t>(CompareOperator::Eq)) {
            holds = sp[-2].small_int() == sp[-1].small_int();
          } else {
            holds = compare(run, code, in, sp);
          }
        } else {
          holds = compare(run, code, in, sp);
        }
        if (holds < 0) goto failed;
        if (in.op == Op::CompareLast || in.op == Op::CompareLastNamed) {
          clear(*--sp);
          set_bool(sp[-1], holds != 0);
        } else if (holds) {
          sp[-2] = std::move(sp[-1]);
          clear(*--sp);
        } else {
          clear(*--sp);
          set_bool(sp[-1], false);
          ip = instrs + in.a;
        }
        break;
      }
      case Op::HostAttribute: {
        const HostAttrSite& site = code.host_attrs[in.a];
        if (site.root_is_name && (slots[site.slot].bound || run.instance.globals[site.global].bound)) break;
        sp = other(run, code, in, sp, stack, slots);
        if (sp == nullptr) goto failed;
        ip = instrs + in.b;
        break;
      }
      case Op::ForNext:
        if (!next_item(in, stack, sp)) {
          if (in.a8 == 0) {
            sp -= 2;
            clear(sp[0]);
            clear(sp[1]);
          }
          ip = instrs + in.a;
          break;
        }
        ++sp;
        if (!charge(run, 96)) goto failed;
        break;
      case Op::PopLoop:
        sp -= 2;
        clear(sp[0]);
        clear(sp[1]);
        ip = instrs + in.a;
        break;
      case Op::Capture:
        for (uint32_t slot : code.captures[in.a].slots) {
          *sp++ = slots[slot].value;
          set_bool(*sp++, slots[slot].bound);
        }
        break;
      case Op::Restore: {
        const std::vector<uint32_t>& captured = code.captures[in.a].slots;
        for (size_t i = captured.size(); i-- > 0;) {
          Slot& slot = slots[captured[i]];
          slot.bound = sp[-1].bool_value();
          slot.value = std::move(sp[-2]);
          sp -= 2;
        }
        break;
      }
      case Op::Raise:
      case Op::AssertFail:
      case Op::Fail:
        fail_with(run, code, in, sp);
        goto failed;
      case Op::CallValue:
      case Op::CallName:
        sp = call(run, code, in, sp, slots);
        if (sp == nullptr) goto failed;
        break;
      case Op::Syscall:
        sp = syscall(run, code, in, sp, slots);
        if (sp == nullptr) goto failed;
        break;
      default:
        sp = other(run, code, in, sp, stack, slots);
        if (sp == nullptr) goto failed;
        break;
    }
  }
failed:
  return std::move(run.error);
}

namespace {

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

VmArgList take_args(Cell* args, uint32_t argc) {
  VmArgList out;
  out.reserve(argc);
  for (uint32_t i = 0; i < argc; ++i) out.push_back(std::move(args[i]));
  return out;
}

// Clears the cells from `from` to `sp` and pushes `result` at `from`.
Cell* replace_with(Cell* from, Cell* sp, VmValue result) {
  while (sp > from) *--sp = VmValue();
  *sp++ = std::move(result);
  return sp;
}

bool storage_write(VmRun& run, std::string_view binding, const VmValue& key, VmValue value) {
  if (!run.check(run.instance.hash_set(binding, key, value))) return false;
  std::string storage_key;
  if (!run.take(hash_storage_key(run.instance.module_name(), binding, key), storage_key)) return false;
  return run.check(run.host.record_storage_write(storage_key, value)) &&
         run.check(run.host.charge_storage_write(storage_key, value));
}

bool storage_get(VmRun& run, std::string_view binding, const VmValue& key, Cell& out) {
  VmResult<VmValue> value = run.instance.hash_get(binding, key, run.host);
  run.refresh_trace();
  return run.take(std::move(value), out);
}

bool keyword_unpack(VmRun& run, const VmValue& mapping) {
  if (!mapping.is(VmKind::Dict)) return run.fail(vm_error("keyword unpacking requires a dict value"));
  for (const VmDictPair& pair : mapping.dict_pairs()) {
    if (!pair.key.is(VmKind::String)) {
      return run.fail(vm_error("expected string value, got " + std::string(pair.key.type_name())));
    }
    run.keywords.push_back(VmKeywordArg{std::string(pair.key.text()), pair.value});
  }
  return true;
}

// The callee of a CallName: a value, or the module function the name falls
// back to.
bool name_callee(VmRun& run, const LoweredCode& code, const NameSite& name, Slot* slots, Cell& callee,
                 std::optional<uint32_t>& function) {
  if (!slots[name.slot].bound && !run.instance.globals[name.global].bound &&
      name.fallback == NameFallback::Function) {
    function = name.function;
    return true;
  }
  return load_name(run, code, name, slots, callee);
}

Cell* call(VmRun& run, const LoweredCode& code, const Instr& in, Cell* sp, Slot* slots) {
  const CallSite& site = code.calls[in.a];
  Cell callee;
  std::optional<uint32_t> function;
  if (in.op == Op::CallValue) {
    callee = std::move(*--sp);
  } else if (!charge(run, in.b) || !name_callee(run, code, code.names[site.name], slots, callee, function)) {
    return nullptr;
  }
  const Cell* mark = site.has_keywords ? sp - 1 : nullptr;
  Cell* args = (mark != nullptr ? sp - 1 : sp) - site.argc;
  VmKwargList kwargs = take_keywords(run, mark);
  const std::span<VmValue> arg_span(args, site.argc);
  VmResult<VmValue> result = function ? call_function_at(run, *function, arg_span, kwargs)
                                      : call_callable_value(run, std::move(callee), arg_span, kwargs);
  if (!result.ok()) return run.fail(std::move(result).error()) ? sp : nullptr;
  return replace_with(args, sp, std::move(result).value());
}

Cell* syscall(VmRun& run, const LoweredCode& code, const Instr& in, Cell* sp, Slot* slots) {
  const CallSite& site = code.calls[in.a];
  // A write-back target ("random.shuffle") sits above the arguments.
  const SyscallSite& system_call = code.syscalls[site.syscall];
  Cell* target = sp - (system_call.has_target ? code.targets[system_call.target].cells() : 0);
  const Cell* mark = site.has_keywords ? target - 1 : nullptr;
  Cell* args = (mark != nullptr ? target - 1 : target) - site.argc;
  VmKwargList kwargs = take_keywords(run, mark);
  VmResult<VmValue> result =
      run.instance.eval_syscall(run, code, site, take_args(args, site.argc), std::move(kwargs), target, slots);
  run.refresh_trace();
  VmValue value;
  if (!run.take(std::move(result), value)) return nullptr;
  return replace_with(args, sp, std::move(value));
}

Cell* native_call(VmRun& run, const LoweredCode& code, const Instr& in, Cell* sp, Slot* slots) {
  const CallSite& site = code.calls[in.a];
  const uint32_t receiver_cells = site.receiver_resolved ? code.targets[site.target].cells() : 1;
  Cell* receiver = sp - receiver_cells;
  const Cell* mark = site.has_keywords ? receiver - 1 : nullptr;
  Cell* args = (mark != nullptr ? receiver - 1 : receiver) - site.argc;
  VmKwargList kwargs = take_keywords(run, mark);
  VmValue value;
  if (!run.take(eval_native_attribute_call(run, code, site, receiver, take_args(args, site.argc), std::move(kwargs),
                                           slots),
                value)) {
    return nullptr;
  }
  return replace_with(args, sp, std::move(value));
}

Cell* other(VmRun& run, const LoweredCode& code, const Instr& in, Cell* sp, Cell* stack, Slot* slots) {
  switch (in.op) {
    case Op::Roll: {
      VmValue moved = std::move(sp[-1 - static_cast<ptrdiff_t>(in.a)]);
      for (Cell* p = sp - 1 - in.a; p < sp - 1; ++p) *p = std::move(p[1]);
      sp[-1] = std::move(moved);
      return sp;
    }
    case Op::PushNone:
      *sp++ = VmValue();
      return sp;
    case Op::BuildList:
    case Op::BuildTuple: {
      sp -= in.a;
      VmValue built;
      if (!run.take(build_sequence(in.op == Op::BuildList ? VmKind::List : VmKind::Tuple, sp, in.a), built)) {
        return nullptr;
      }
      return replace_with(sp, sp + in.a, std::move(built));
    }
    case Op::NewList:
      return run.take(VmValue::make_list({}), *sp) ? sp + 1 : nullptr;
    case Op::NewDict:
      return run.take(VmValue::make_dict({}), *sp) ? sp + 1 : nullptr;
    case Op::DictAppend:
      if (!run.check(sp[-3].dict_push_pair(std::move(sp[-2]), std::move(sp[-1])))) return nullptr;
      return sp - 2;
    case Op::DictUnpack:
      if (!run.check(dict_unpack_into(sp[-2], sp[-1]))) return nullptr;
      *--sp = VmValue();
      return sp;
    case Op::FString: {
      VmValue text;
      if (!run.take(fstring_value(sp - in.a, in.a), text)) return nullptr;
      return replace_with(sp - in.a, sp, std::move(text));
    }
    case Op::FormatValue:
      return run.take(display_text_value(sp[-1]), sp[-1]) ? sp : nullptr;
    case Op::Subscript: {
      VmValue index = std::move(*--sp);
      return run.take(read_subscript(run, std::move(sp[-1]), index), sp[-1]) ? sp : nullptr;
    }
    case Op::SliceBound:
      return run.take(slice_bound_value(sp[-1]), sp[-1]) ? sp : nullptr;
    case Op::SliceSubscript: {
      const uint32_t n = static_cast<uint32_t>(__builtin_popcount(in.a8));
      Cell* bounds = sp - n;
      VmValue result;
      if (!run.take(slice_subscript(std::move(bounds[-1]), bounds, in.a8), result)) return nullptr;
      return replace_with(bounds - 1, sp, std::move(result));
    }
    case Op::Attribute:
      return run.take(native_attribute_value(sp[-1], code.texts[in.a]), sp[-1]) ? sp : nullptr;
    case Op::HostAttribute: {
      const HostAttrSite& site = code.host_attrs[in.a];
      if (!site.binding_ok) return run.fail(vm_error(code.texts[site.binding_error])) ? sp : nullptr;
      return run.take(host_binding_value(static_cast<HostBindingId>(site.binding), run.instance.context), *sp)
                 ? sp + 1
                 : nullptr;
    }
    case Op::StorageGet:
      return storage_get(run, code.texts[in.a], sp[-1], sp[-1]) ? sp : nullptr;
    case Op::ForPrep: {
      VmValue iterable = std::move(sp[-1]);
      return run.check(iteration_start(std::move(iterable), sp - 1)) ? sp + 1 : nullptr;
    }
    case Op::StorageSet: {
      VmValue value = std::move(sp[-1]);
      VmValue key = std::move(sp[-2]);
      return storage_write(run, code.texts[in.a], key, std::move(value)) ? sp - 2 : nullptr;
    }
    case Op::StorageMutateRead:
      return storage_get(run, code.texts[in.a], sp[-1], *sp) ? sp + 1 : nullptr;
    case Op::StorageMutateWrite: {
      VmValue value = std::move(sp[-1]);
      VmValue current = std::move(sp[-2]);
      VmValue key = std::move(sp[-3]);
      VmValue updated;
      if (!run.take(in.a8 == 255 ? apply_binary_operator(std::string_view(code.texts[in.b]), std::move(current),
                                                         std::move(value))
                                 : apply_binary_operator(static_cast<BinaryOperator>(in.a8), std::move(current),
                                                         std::move(value)),
                    updated)) {
        return nullptr;
      }
      return storage_write(run, code.texts[in.a], key, std::move(updated)) ? sp - 3 : nullptr;
    }
    case Op::Unpack: {
      VmValue value = std::move(*--sp);
      return run.check(unpack_value(value, in.a, sp)) ? sp + in.a : nullptr;
    }
    case Op::UnpackTypeCheck:
      return run.check(check_destructurable(sp[-1])) ? sp : nullptr;
    case Op::ReadCurrent:
      return run.take(read_subscript(run, sp[-2], sp[-1]), *sp) ? sp + 1 : nullptr;
    case Op::StoreResolved: {
      const TargetSite& site = code.targets[in.a];
      VmValue value = std::move(*--sp);
      Cell* target_cells = sp - (site.cells() - in.a8);
      if (!run.check(store_resolved(run, code, site, target_cells, std::move(value), slots, false))) return nullptr;
      while (sp > target_cells) *--sp = VmValue();
      return sp;
    }
    case Op::ListAppend:
      if (!run.check(stack[in.a].seq_push(std::move(sp[-1])))) return nullptr;
      *--sp = VmValue();
      return sp;
    case Op::DictSet:
      if (!run.take(dict_set(std::move(stack[in.a]), std::move(sp[-2]), std::move(sp[-1])), stack[in.a])) {
        return nullptr;
      }
      return sp - 2;
    case Op::KwMark:
      *sp++ = VmValue::integer(static_cast<int64_t>(run.keywords.size()));
      return sp;
    case Op::KwPush:
      run.keywords.push_back(VmKeywordArg{code.texts[in.a], std::move(sp[-1])});
      return sp - 1;
    case Op::KwUnpack:
      if (!keyword_unpack(run, sp[-1])) return nullptr;
      *--sp = VmValue();
      return sp;
    case Op::NativeCall:
      return native_call(run, code, in, sp, slots);
    default:
      break;
  }
  return run.fail(vm_error("unknown instruction")) ? sp : nullptr;
}

}  // namespace

VmResult<VmValue> run_module_expression(VmRun& run, uint32_t pc) {
  const LoweredCode& code = run.instance.module_code;
  const uint32_t n = code.slot_count();
  ArenaCells<Slot> slots(run.arena, n);
  for (uint32_t i = 0; i < n; ++i) slots.get()[i] = run.instance.global(code.slot_globals[i]);
  return run_code(run, code, pc, slots.get());
}

}  // namespace veln
