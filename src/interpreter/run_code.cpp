// The instruction loop. Simple instructions run inline; everything that
// allocates, formats a message or reaches the host is out of line, so the
// loop's native frame stays small: it is the one frame each active call adds.
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

namespace veln {
namespace {

// A name found neither in the locals nor in the module globals.
[[gnu::noinline]] VmResult<VmValue> name_fallback(VmRun& run, const LoweredCode& code, const NameSite& site) {
  switch (site.fallback) {
    case NameFallback::Function:
    case NameFallback::Value:
      return code.constants[site.value];
    case NameFallback::HostBinding:
      return host_binding_value(static_cast<HostBindingId>(site.value), run.instance.context);
    case NameFallback::Fail:
      break;
  }
  return vm_error(code.texts[site.value]);
}

[[gnu::noinline]] void trace_statement(VmRun& run, std::string_view kind) {
  std::string line = "[vm-stmt] ";
  line.append(run.instance.module_name()).append(" ").append(kind);
  write_trace_line(line);
}

[[gnu::noinline]] VmResult<VmValue> host_attribute_value(VmRun& run, const LoweredCode& code,
                                                         const HostAttrSite& site) {
  if (!site.binding_ok) return vm_error(code.texts[site.binding_error]);
  return host_binding_value(static_cast<HostBindingId>(site.binding), run.instance.context);
}

[[gnu::noinline]] VmResult<VmValue> binary_slow(uint8_t op, VmValue left, VmValue right) {
  return apply_binary_operator(static_cast<BinaryOperator>(op), std::move(left), std::move(right));
}

// Small-int arithmetic and comparisons inline; everything else through the
// operator tables.
inline bool small_ints(const VmValue& a, const VmValue& b) {
  return a.is(VmKind::Int) && b.is(VmKind::Int) && a.int_is_small() && b.int_is_small();
}

VmStatus storage_write(VmRun& run, std::string_view binding, VmValue key, VmValue value) {
  VELN_CHECK(run.instance.hash_set(binding, key, value));
  VELN_TRY(std::string storage_key, hash_storage_key(run.instance.module_name(), binding, key));
  VELN_CHECK(run.host.record_storage_write(storage_key, value));
  return run.host.charge_storage_write(storage_key, value);
}

[[gnu::noinline]] VmStatus keyword_unpack(VmRun& run, const VmValue& mapping) {
  if (!mapping.is(VmKind::Dict)) return vm_error("keyword unpacking requires a dict value");
  for (const VmDictPair& pair : mapping.dict_pairs()) {
    if (!pair.key.is(VmKind::String)) {
      return vm_error("expected string value, got " + std::string(pair.key.type_name()));
    }
    run.keywords.push_back(VmKeywordArg{std::string(pair.key.text()), pair.value});
  }
  return Ok{};
}

// Moves the pending keyword arguments from `mark` on out of the run.
VmKwargList take_keywords(VmRun& run, const VmValue& mark) {
  const size_t from = static_cast<size_t>(mark.small_int());
  VmKwargList out;
  out.reserve(run.keywords.size() - from);
  for (size_t i = from; i < run.keywords.size(); ++i) out.push_back(std::move(run.keywords[i]));
  run.keywords.resize(from);
  return out;
}

VmArgList take_args(VmValue* args, uint32_t argc) {
  VmArgList out;
  out.reserve(argc);
  for (uint32_t i = 0; i < argc; ++i) out.push_back(std::move(args[i]));
  return out;
}

// A call whose callee (value or module function) is settled: the arguments
// are the `argc` cells below the keyword mark, if any.
[[gnu::noinline]] VmResult<VmValue> call_value_cells(VmRun& run, VmValue callee, std::optional<uint32_t> function,
                                                     VmValue* args, uint32_t argc, const VmValue* mark) {
  VmKwargList kwargs;
  if (mark != nullptr) kwargs = take_keywords(run, *mark);
  std::span<VmValue> arg_span(args, argc);
  if (function) return call_function_at(run, *function, arg_span, kwargs);
  return call_callable_value(run, std::move(callee), arg_span, kwargs);
}

[[gnu::noinline]] VmResult<VmValue> syscall_cells(VmRun& run, const LoweredCode& code, const CallSite& site,
                                                  VmValue* args, const VmValue* mark, VmValue* target,
                                                  Slot* slots) {
  VmKwargList kwargs;
  if (mark != nullptr) kwargs = take_keywords(run, *mark);
  VmResult<VmValue> result =
      run.instance.eval_syscall(run, code, site, take_args(args, site.argc), std::move(kwargs), target, slots);
  run.refresh_trace();
  return result;
}

[[gnu::noinline]] VmResult<VmValue> native_call_cells(VmRun& run, const LoweredCode& code, const CallSite& site,
                                                      VmValue* args, const VmValue* mark, VmValue* receiver,
                                                      Slot* slots) {
  VmKwargList kwargs;
  if (mark != nullptr) kwargs = take_keywords(run, *mark);
  return eval_native_attribute_call(run, code, site, receiver, take_args(args, site.argc), std::move(kwargs), slots);
}

[[gnu::noinline]] VmResult<VmValue> storage_get(VmRun& run, std::string_view binding, const VmValue& key) {
  VmResult<VmValue> value = run.instance.hash_get(binding, key, run.host);
  run.refresh_trace();
  return value;
}

[[gnu::noinline]] VmStatus storage_mutate(VmRun& run, const LoweredCode& code, const Instr& instr, VmValue key,
                                          VmValue current, VmValue value) {
  VmResult<VmValue> updated =
      instr.a8 == 255 ? apply_binary_operator(std::string_view(code.texts[instr.b]), std::move(current), std::move(value))
                      : apply_binary_operator(static_cast<BinaryOperator>(instr.a8), std::move(current), std::move(value));
  if (!updated.ok()) return std::move(updated).error();
  return storage_write(run, code.texts[instr.a], std::move(key), std::move(updated).value());
}

}  // namespace

VmResult<VmValue> run_code(VmRun& run, const LoweredCode& code, uint32_t pc, Slot* slots) {
  ArenaCells<VmValue> cells(run.arena, code.max_stack);
  VmValue* const stack = cells.get();
  VmValue* sp = stack;
  const Instr* const instrs = code.instrs.data();
  const Instr* ip = instrs + pc;
  VmHost& host = run.host;

#define VELN_RUN_TRY(decl, expr)                        \
  auto VELN_CONCAT(r_, __LINE__) = (expr);              \
  if (!VELN_CONCAT(r_, __LINE__).ok()) return std::move(VELN_CONCAT(r_, __LINE__)).error(); \
  decl = std::move(VELN_CONCAT(r_, __LINE__)).value()
#define VELN_RUN_CHECK(expr)                 \
  do {                                       \
    auto status_ = (expr);                   \
    if (!status_.ok()) return std::move(status_).error(); \
  } while (0)

  for (;;) {
    const Instr& in = *ip++;
    switch (in.op) {
      case Op::Charge:
        VELN_RUN_CHECK(host.charge_execution_cost(in.b));
        break;
      case Op::Stmt:
        VELN_RUN_CHECK(host.charge_execution_cost(in.b));
        if (run.instance.trace.statements) trace_statement(run, code.texts[in.a]);
        break;
      case Op::Fail:
        return vm_error(code.texts[in.a]);
      case Op::Pop:
        *--sp = VmValue();
        break;
      case Op::Dup:
        *sp = sp[-1];
        ++sp;
        break;
      case Op::Roll: {
        VmValue moved = std::move(sp[-1 - static_cast<ptrdiff_t>(in.a)]);
        for (VmValue* p = sp - 1 - in.a; p < sp - 1; ++p) *p = std::move(p[1]);
        sp[-1] = std::move(moved);
        break;
      }
      case Op::Jump:
        ip = instrs + in.a;
        break;
      case Op::JumpIfFalse: {
        const bool truth = sp[-1].truthy();
        *--sp = VmValue();
        if (!truth) ip = instrs + in.a;
        break;
      }
      case Op::JumpIfTrue: {
        const bool truth = sp[-1].truthy();
        *--sp = VmValue();
        if (truth) ip = instrs + in.a;
        break;
      }
      case Op::JumpIfTrueOrPop:
        if (sp[-1].truthy()) {
          ip = instrs + in.a;
        } else {
          *--sp = VmValue();
        }
        break;
      case Op::JumpIfFalseOrPop:
        if (!sp[-1].truthy()) {
          ip = instrs + in.a;
        } else {
          *--sp = VmValue();
        }
        break;
      case Op::Return:
        return std::move(sp[-1]);
      case Op::ReturnNone:
        return VmValue();
      case Op::PushConst:
        *sp++ = code.constants[in.a];
        break;
      case Op::LoadConst:
        VELN_RUN_CHECK(host.charge_execution_cost(in.b));
        *sp++ = code.constants[in.a];
        break;
      case Op::PushNone:
        *sp++ = VmValue();
        break;
      case Op::PushBool:
        *sp++ = VmValue::boolean(in.a8 != 0);
        break;
      case Op::LoadName: {
        VELN_RUN_CHECK(host.charge_execution_cost(in.b));
        const NameSite& site = code.names[in.a];
        if (slots[site.slot].bound) {
          *sp++ = slots[site.slot].value;
        } else if (const Slot& global = run.instance.globals[site.global]; global.bound) {
          *sp++ = global.value;
        } else {
          VELN_RUN_TRY(*sp, name_fallback(run, code, site));
          ++sp;
        }
        break;
      }
      case Op::StoreLocal: {
        Slot& slot = slots[in.a];
        slot.value = std::move(*--sp);
        slot.bound = true;
        break;
      }
      case Op::Binary: {
        VmValue& left = sp[-2];
        VmValue& right = sp[-1];
        if (small_ints(left, right)) {
          int64_t r;
          const int64_t a = left.small_int();
          const int64_t b = right.small_int();
          const auto op = static_cast<BinaryOperator>(in.a8);
          if (op == BinaryOperator::Add && !__builtin_add_overflow(a, b, &r)) {
            left = VmValue::integer(r);
            --sp;
            break;
          }
          if (op == BinaryOperator::Sub && !__builtin_sub_overflow(a, b, &r)) {
            left = VmValue::integer(r);
            --sp;
            break;
          }
          if (op == BinaryOperator::Mul && !__builtin_mul_overflow(a, b, &r)) {
            left = VmValue::integer(r);
            --sp;
            break;
          }
        }
        VELN_RUN_TRY(VmValue result, binary_slow(in.a8, std::move(left), std::move(right)));
        *--sp = VmValue();
        sp[-1] = std::move(result);
        break;
      }
      case Op::BinaryNamed: {
        VELN_RUN_TRY(VmValue result, apply_binary_operator(std::string_view(code.texts[in.a]), std::move(sp[-2]),
                                                           std::move(sp[-1])));
        *--sp = VmValue();
        sp[-1] = std::move(result);
        break;
      }
      case Op::Unary: {
        VELN_RUN_TRY(sp[-1], apply_unary_operator(static_cast<UnaryOperator>(in.a8), std::move(sp[-1])));
        break;
      }
      case Op::UnaryNamed: {
        VELN_RUN_TRY(sp[-1], apply_unary_operator(std::string_view(code.texts[in.a]), std::move(sp[-1])));
        break;
      }
      case Op::Compare:
      case Op::CompareNamed:
      case Op::CompareLast:
      case Op::CompareLastNamed: {
        bool holds;
        const VmValue& left = sp[-2];
        const VmValue& right = sp[-1];
        const auto op = static_cast<CompareOperator>(in.a8);
        const bool named = in.op == Op::CompareNamed || in.op == Op::CompareLastNamed;
        if (!named && small_ints(left, right) && op == CompareOperator::Lt) {
          holds = left.small_int() < right.small_int();
        } else if (!named && small_ints(left, right) && op == CompareOperator::Eq) {
          holds = left.small_int() == right.small_int();
        } else {
          VELN_RUN_TRY(holds, named ? apply_compare_operator(std::string_view(code.texts[in.b]), left, right)
                                    : apply_compare_operator(op, left, right));
        }
        if (in.op == Op::CompareLast || in.op == Op::CompareLastNamed) {
          *--sp = VmValue();
          sp[-1] = VmValue::boolean(holds);
        } else if (holds) {
          sp[-2] = std::move(sp[-1]);
          *--sp = VmValue();
        } else {
          *--sp = VmValue();
          sp[-1] = VmValue::boolean(false);
          ip = instrs + in.a;
        }
        break;
      }
      case Op::ReleaseLocal:
        if (slots[in.a].bound) slots[in.a].value = VmValue();
        break;
      case Op::BuildList:
      case Op::BuildTuple: {
        sp -= in.a;
        VELN_RUN_TRY(*sp, build_sequence(in.op == Op::BuildList ? VmKind::List : VmKind::Tuple, sp, in.a));
        for (uint32_t i = 1; i < in.a; ++i) sp[i] = VmValue();
        ++sp;
        break;
      }
      case Op::NewList: {
        VELN_RUN_TRY(*sp, VmValue::make_list({}));
        ++sp;
        break;
      }
      case Op::NewDict: {
        VELN_RUN_TRY(*sp, VmValue::make_dict({}));
        ++sp;
        break;
      }
      case Op::DictAppend: {
        VELN_RUN_CHECK(sp[-3].dict_push_pair(std::move(sp[-2]), std::move(sp[-1])));
        sp -= 2;
        break;
      }
      case Op::DictUnpack: {
        VELN_RUN_CHECK(dict_unpack_into(sp[-2], sp[-1]));
        *--sp = VmValue();
        break;
      }
      case Op::FString: {
        sp -= in.a;
        VELN_RUN_TRY(VmValue text, fstring_value(sp, in.a));
        for (uint32_t i = 0; i < in.a; ++i) sp[i] = VmValue();
        *sp++ = std::move(text);
        break;
      }
      case Op::FormatValue: {
        VELN_RUN_TRY(sp[-1], display_text_value(sp[-1]));
        break;
      }
      case Op::Subscript: {
        VmValue index = std::move(*--sp);
        VELN_RUN_TRY(sp[-1], read_subscript(run, std::move(sp[-1]), index));
        break;
      }
      case Op::SliceBound: {
        VELN_RUN_TRY(sp[-1], slice_bound_value(sp[-1]));
        break;
      }
      case Op::SliceSubscript: {
        const uint32_t n = static_cast<uint32_t>(__builtin_popcount(in.a8));
        VmValue* bounds = sp - n;
        VELN_RUN_TRY(VmValue result, slice_subscript(std::move(bounds[-1]), bounds, in.a8));
        for (uint32_t i = 0; i < n; ++i) bounds[i] = VmValue();
        sp = bounds;
        sp[-1] = std::move(result);
        break;
      }
      case Op::Attribute: {
        VELN_RUN_TRY(VmValue value, native_attribute_value(sp[-1], code.texts[in.a]));
        sp[-1] = std::move(value);
        break;
      }
      case Op::HostAttribute: {
        const HostAttrSite& site = code.host_attrs[in.a];
        if (site.root_is_name && (slots[site.slot].bound || run.instance.globals[site.global].bound)) break;
        VELN_RUN_TRY(*sp, host_attribute_value(run, code, site));
        ++sp;
        ip = instrs + in.b;
        break;
      }
      case Op::StorageGet: {
        VELN_RUN_TRY(VmValue value, storage_get(run, code.texts[in.a], sp[-1]));
        sp[-1] = std::move(value);
        break;
      }
      case Op::Raise:
        return raise_error(sp[-1]);
      case Op::AssertFail:
        return assertion_error(sp[-1]);
      case Op::ForPrep: {
        VmValue iterable = std::move(sp[-1]);
        VELN_RUN_CHECK(iteration_start(std::move(iterable), sp - 1));
        ++sp;
        break;
      }
      case Op::ForNext: {
        VmValue* state = stack + in.b;
        if (!iteration_next(state, *sp)) {
          if (in.a8 == 0) {
            state[0] = VmValue();
            state[1] = VmValue();
            sp = state;
          }
          ip = instrs + in.a;
          break;
        }
        ++sp;
        VELN_RUN_CHECK(host.charge_execution_cost(96));
        break;
      }
      case Op::PopLoop:
        sp[-1] = VmValue();
        sp[-2] = VmValue();
        sp -= 2;
        ip = instrs + in.a;
        break;
      case Op::StorageSet: {
        VELN_RUN_CHECK(storage_write(run, code.texts[in.a], std::move(sp[-2]), std::move(sp[-1])));
        sp -= 2;
        break;
      }
      case Op::StorageMutateRead: {
        VELN_RUN_TRY(*sp, storage_get(run, code.texts[in.a], sp[-1]));
        ++sp;
        break;
      }
      case Op::StorageMutateWrite: {
        VELN_RUN_CHECK(storage_mutate(run, code, in, std::move(sp[-3]), std::move(sp[-2]), std::move(sp[-1])));
        sp -= 3;
        break;
      }
      case Op::Unpack: {
        VmValue value = std::move(*--sp);
        VELN_RUN_CHECK(unpack_value(value, in.a, sp));
        sp += in.a;
        break;
      }
      case Op::UnpackTypeCheck:
        VELN_RUN_CHECK(check_destructurable(sp[-1]));
        break;
      case Op::ReadCurrent: {
        VELN_RUN_TRY(*sp, read_subscript(run, sp[-2], sp[-1]));
        ++sp;
        break;
      }
      case Op::StoreResolved: {
        const TargetSite& site = code.targets[in.a];
        VmValue value = std::move(*--sp);
        VmValue* target_cells = sp - (site.cells() - in.a8);
        VELN_RUN_CHECK(store_resolved(run, code, site, target_cells, std::move(value), slots, false));
        while (sp > target_cells) *--sp = VmValue();
        break;
      }
      case Op::Capture: {
        for (uint32_t slot : code.captures[in.a].slots) {
          *sp++ = slots[slot].value;
          *sp++ = VmValue::boolean(slots[slot].bound);
        }
        break;
      }
      case Op::Restore: {
        const std::vector<uint32_t>& captured = code.captures[in.a].slots;
        for (size_t i = captured.size(); i-- > 0;) {
          Slot& slot = slots[captured[i]];
          slot.bound = sp[-1].bool_value();
          slot.value = std::move(sp[-2]);
          sp[-1] = VmValue();
          sp -= 2;
        }
        break;
      }
      case Op::ListAppend:
        VELN_RUN_CHECK(stack[in.a].seq_push(std::move(sp[-1])));
        *--sp = VmValue();
        break;
      case Op::DictSet: {
        VELN_RUN_TRY(stack[in.a], dict_set(std::move(stack[in.a]), std::move(sp[-2]), std::move(sp[-1])));
        sp -= 2;
        break;
      }
      case Op::KwMark:
        *sp++ = VmValue::integer(static_cast<int64_t>(run.keywords.size()));
        break;
      case Op::KwPush:
        run.keywords.push_back(VmKeywordArg{code.texts[in.a], std::move(sp[-1])});
        --sp;
        break;
      case Op::KwUnpack:
        VELN_RUN_CHECK(keyword_unpack(run, sp[-1]));
        *--sp = VmValue();
        break;
      case Op::CallValue: {
        const CallSite& site = code.calls[in.a];
        VmValue callee = std::move(*--sp);
        const VmValue* mark = site.has_keywords ? --sp : nullptr;
        VmValue* args = sp - site.argc;
        VELN_RUN_TRY(VmValue result, call_value_cells(run, std::move(callee), std::nullopt, args, site.argc, mark));
        while (sp > args) *--sp = VmValue();
        *sp++ = std::move(result);
        break;
      }
      case Op::CallName: {
        VELN_RUN_CHECK(host.charge_execution_cost(in.b));
        const CallSite& site = code.calls[in.a];
        const NameSite& name = code.names[site.name];
        const VmValue* mark = site.has_keywords ? sp - 1 : nullptr;
        VmValue* args = (mark != nullptr ? sp - 1 : sp) - site.argc;
        VmValue callee;
        std::optional<uint32_t> function;
        if (slots[name.slot].bound) {
          callee = slots[name.slot].value;
        } else if (const Slot& global = run.instance.globals[name.global]; global.bound) {
          callee = global.value;
        } else if (name.fallback == NameFallback::Function) {
          function = name.function;
        } else {
          VELN_RUN_TRY(callee, name_fallback(run, code, name));
        }
        VELN_RUN_TRY(VmValue result, call_value_cells(run, std::move(callee), function, args, site.argc, mark));
        while (sp > args) *--sp = VmValue();
        *sp++ = std::move(result);
        break;
      }
      case Op::Syscall: {
        const CallSite& site = code.calls[in.a];
        const SyscallSite& sys = code.syscalls[site.syscall];
        VmValue* target = sp - (sys.has_target ? code.targets[sys.target].cells() : 0);
        const VmValue* mark = site.has_keywords ? target - 1 : nullptr;
        VmValue* args = (mark != nullptr ? target - 1 : target) - site.argc;
        VELN_RUN_TRY(VmValue result, syscall_cells(run, code, site, args, mark, target, slots));
        while (sp > args) *--sp = VmValue();
        *sp++ = std::move(result);
        break;
      }
      case Op::NativeCall: {
        const CallSite& site = code.calls[in.a];
        const uint32_t receiver_cells = site.receiver_resolved ? code.targets[site.target].cells() : 1;
        VmValue* receiver = sp - receiver_cells;
        const VmValue* mark = site.has_keywords ? receiver - 1 : nullptr;
        VmValue* args = (mark != nullptr ? receiver - 1 : receiver) - site.argc;
        VELN_RUN_TRY(VmValue result, native_call_cells(run, code, site, args, mark, receiver, slots));
        while (sp > args) *--sp = VmValue();
        *sp++ = std::move(result);
        break;
      }
    }
  }
#undef VELN_RUN_TRY
#undef VELN_RUN_CHECK
}

VmResult<VmValue> run_module_expression(VmRun& run, uint32_t pc) {
  const LoweredCode& code = run.instance.module_code;
  const uint32_t n = code.slot_count();
  ArenaCells<Slot> slots(run.arena, n);
  for (uint32_t i = 0; i < n; ++i) slots.get()[i] = run.instance.global(code.slot_globals[i]);
  return run_code(run, code, pc, slots.get());
}

}  // namespace veln
