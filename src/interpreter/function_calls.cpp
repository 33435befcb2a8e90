// Function calls and argument binding (see header).
#include "interpreter/function_calls.hpp"

#include <string>
#include <unordered_set>
#include <vector>

#include "interpreter/call_depth.hpp"
#include "interpreter/function_invoke.hpp"
#include "interpreter/lower_module.hpp"
#include "interpreter/type_annotations.hpp"
#include "interpreter/type_error_text.hpp"

namespace veln {

// A parameter's default sees a copy of the locals bound so far; a default
// that changes no local can read the frame's own slots instead.
VmResult<VmValue> default_value(VmRun& run, const LoweredFunction& f, const LoweredParameter& p, Slot* slots) {
  if (p.default_is_constant) {
    const VmValue* constant = constant_default(run, f, p);
    if (constant == nullptr) return std::move(run.error);
    return *constant;
  }
  if (p.default_reads_only) return run_code(run, f.code, *p.default_entry, slots);
  const uint32_t n = f.code.slot_count();
  ArenaCells<Slot> copy(run.arena, n);
  for (uint32_t i = 0; i < n; ++i) copy.get()[i] = slots[i];
  return run_code(run, f.code, *p.default_entry, copy.get());
}

namespace {

struct KeywordEntry {
  std::string_view name;
  VmValue* value;
  bool taken = false;
};

class Binder {
 public:
  Binder(VmRun& run, const LoweredFunction& f, std::span<VmValue> args, std::span<VmKeywordArg> kwargs, Slot* slots)
      : run_(run), f_(f), args_(args), kwargs_(kwargs), slots_(slots) {}

  [[gnu::noinline]] VmStatus bind() {
    VELN_CHECK(build_keyword_table());
    const std::string& name = f_.ir->name;
    std::optional<uint32_t> vararg;
    std::optional<uint32_t> kwarg;
    for (size_t i = 0; i < f_.parameters.size(); ++i) {
      const LoweredParameter& p = f_.parameters[i];
      const std::string& pname = f_.ir->parameters[i].name;
      switch (p.kind) {
        case ParameterKind::PositionalOrKeyword:
          if (next_ < args_.size()) {
            if (find_keyword(pname) != nullptr) {
              return wrapped_type_error("__" + name + "() got multiple values for keyword argument '" + pname + "'");
            }
            set(p.slot, std::move(args_[next_++]));
          } else {
            VELN_CHECK(keyword_or_default(p, pname, "missing required argument '"));
          }
          break;
        case ParameterKind::KeywordOnly:
          VELN_CHECK(keyword_or_default(p, pname, "missing required keyword-only argument '"));
          break;
        case ParameterKind::Vararg:
          vararg = p.slot;
          break;
        case ParameterKind::Kwarg:
          kwarg = p.slot;
          break;
        case ParameterKind::Unsupported:
          return vm_error("unsupported parameter kind '" + f_.ir->parameters[i].kind + "'");
      }
    }
    if (vararg) {
      std::vector<VmValue> rest;
      rest.reserve(args_.size() - next_);
      for (size_t i = next_; i < args_.size(); ++i) rest.push_back(std::move(args_[i]));
      VELN_TRY(VmValue tuple, VmValue::make_tuple(std::move(rest)));
      set(*vararg, std::move(tuple));
    } else if (next_ < args_.size()) {
      return wrapped_type_error("too many positional arguments for '" + name + "'");
    }
    if (kwarg) {
      VELN_TRY(VmValue dict, VmValue::make_dict({}));
      for (KeywordEntry& entry : table_) {
        if (entry.taken) continue;
        VELN_CHECK(dict.dict_push_pair(VmValue::str(entry.name), std::move(*entry.value)));
      }
      set(*kwarg, std::move(dict));
    } else {
      for (KeywordEntry& entry : table_) {
        if (!entry.taken) return wrapped_type_error("unexpected keyword argument '" + std::string(entry.name) + "'");
      }
    }
    return Ok{};
  }

 private:
  VmStatus build_keyword_table() {
    table_.reserve(kwargs_.size());
    std::unordered_set<std::string_view> seen;
    const bool hashed = kwargs_.size() > 8;
    for (VmKeywordArg& kw : kwargs_) {
      bool repeated = false;
      if (hashed) {
        repeated = !seen.insert(kw.name).second;
      } else {
        for (const KeywordEntry& e : table_) repeated = repeated || e.name == kw.name;
      }
      if (repeated) {
        return wrapped_type_error("__" + f_.ir->name + "() got multiple values for keyword argument '" + kw.name +
                                  "'");
      }
      table_.push_back(KeywordEntry{kw.name, &kw.value});
    }
    return Ok{};
  }

  KeywordEntry* find_keyword(std::string_view name) {
    for (KeywordEntry& e : table_) {
      if (!e.taken && e.name == name) return &e;
    }
    return nullptr;
  }

  VmStatus keyword_or_default(const LoweredParameter& p, const std::string& pname, std::string_view missing) {
    if (KeywordEntry* entry = find_keyword(pname)) {
      entry->taken = true;
      set(p.slot, std::move(*entry->value));
      return Ok{};
    }
    if (!p.default_entry) return wrapped_type_error(std::string(missing) + pname + "'");
    VELN_TRY(VmValue value, default_value(run_, f_, p, slots_));
    set(p.slot, std::move(value));
    return Ok{};
  }

  void set(uint32_t slot, VmValue value) {
    slots_[slot].value = std::move(value);
    slots_[slot].bound = true;
  }

  VmRun& run_;
  const LoweredFunction& f_;
  std::span<VmValue> args_;
  std::span<VmKeywordArg> kwargs_;
  Slot* slots_;
  std::vector<KeywordEntry> table_;
  size_t next_ = 0;
};

// Positional arguments straight into the slots of simple parameters.
void bind_positional(const LoweredFunction& f, std::span<VmValue> args, Slot* slots) {
  for (size_t i = 0; i < args.size(); ++i) {
    Slot& slot = slots[f.parameters[i].slot];
    slot.value = std::move(args[i]);
    slot.bound = true;
  }
}

bool binds_positionally(const LoweredFunction& f, std::span<VmValue> args, std::span<VmKeywordArg> kwargs) {
  return f.simple_parameters && kwargs.empty() && args.size() == f.parameters.size();
}

// Argument binding beyond positional arguments matching their parameters,
// and the argument checks; false with the error in the run.
[[gnu::noinline]] bool bind_in_full(VmRun& run, const LoweredFunction& f, std::span<VmValue> args,
                                    std::span<VmKeywordArg> kwargs, Slot* slots) {
  if (binds_positionally(f, args, kwargs)) {
    bind_positional(f, args, slots);
  } else if (!run.check(Binder(run, f, args, kwargs, slots).bind())) {
    return false;
  }
  return !f.typecheck || run.check(check_arguments(f, slots));
}

// Argument binding by call shape; false with the error in the run.
inline bool bind_arguments(VmRun& run, const LoweredFunction& f, std::span<VmValue> args,
                           std::span<VmKeywordArg> kwargs, Slot* slots) {
  if (!f.typecheck && binds_positionally(f, args, kwargs)) [[likely]] {
    bind_positional(f, args, slots);
    return true;
  }
  return bind_in_full(run, f, args, kwargs, slots);
}

[[gnu::noinline]] VmResult<VmValue> call_builtin_value(VmRun& run, const VmValue& callee, std::span<VmValue> args,
                                                      std::span<VmKeywordArg> kwargs) {
  const std::optional<BuiltinId> id = builtin_id(callee.text());
  if (!id) {
    // A pseudo-module's builtin value: "unsupported builtin '{}'".
    RunValueCaller caller(run);
    return call_builtin(callee.text(), {}, {}, caller);
  }
  return call_builtin_at(run, *id, args, kwargs);
}

}  // namespace

VmStatus check_arguments(const LoweredFunction& f, const Slot* slots) {
  for (uint32_t i : f.checked_parameters) {
    const LoweredParameter& p = f.parameters[i];
    if (!slots[p.slot].bound) continue;
    if (p.annotation_unparsed) return vm_error("unsupported type annotation '" + *f.ir->parameters[i].annotation + "'");
    VELN_CHECK(check_typed_value(slots[p.slot].value, *p.annotation, p.check_label));
  }
  return Ok{};
}

void lower_on_first_call(VmInstanceState& instance, uint32_t index) {
  lower_module_function(instance.lowered, index);
  if (instance.globals.size() < instance.lowered.names.size()) instance.globals.resize(instance.lowered.names.size());
}

VmExecutionError recursion_limit() { return vm_error(std::string(kRecursionLimitMessage)); }

VmResult<VmValue> call_builtin_at(VmRun& run, BuiltinId id, std::span<VmValue> args, std::span<VmKeywordArg> kwargs) {
  RunValueCaller caller(run);
  return call_builtin(id, args, kwargs, caller);
}

VmResult<VmValue> call_function_at(VmRun& run, uint32_t index, std::span<VmValue> args,
                                   std::span<VmKeywordArg> kwargs) {
  if (run.calls_exhausted()) return recursion_limit();
  const LoweredFunction& f = module_function(run, index);
  return invoke(run, f, [&](Slot* slots) { return bind_arguments(run, f, args, kwargs, slots); });
}

// The name may come from a contract text (a call by name).
[[gnu::noinline, gnu::cold]] static VmExecutionError unknown_function(std::string_view name) {
  return vm_error_quoting_text("unknown function '", name, "'");
}

VmResult<VmValue> call_named_function(VmRun& run, std::string_view name, std::span<VmValue> args,
                                      std::span<VmKeywordArg> kwargs) {
  if (run.calls_exhausted()) return recursion_limit();
  const std::optional<uint32_t> index = run.instance.lowered.find_function(name);
  if (!index) return unknown_function(name);
  const LoweredFunction& f = module_function(run, *index);
  return invoke(run, f, [&](Slot* slots) { return bind_arguments(run, f, args, kwargs, slots); });
}

VmResult<VmValue> call_callable_value(VmRun& run, VmValue callee, std::span<VmValue> args,
                                      std::span<VmKeywordArg> kwargs) {
  if (callee.is(VmKind::FunctionRef)) return call_named_function(run, callee.text(), args, kwargs);
  if (callee.is(VmKind::Builtin)) return call_builtin_value(run, callee, args, kwargs);
  return vm_error("value of type " + std::string(callee.type_name()) + " is not callable");
}

VmResult<VmValue> RunValueCaller::call_callable_value(VmValue callee, VmArgList args, VmKwargList kwargs) {
  return veln::call_callable_value(run_, std::move(callee), args, kwargs);
}

}  // namespace veln
