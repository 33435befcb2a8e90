// libFuzzer target: the value stack of the operator target, with calls of
// the 37 builtins on its top values (a keyword argument now and then), and
// builtin values, function references and type markers among the constants
// so that map, filter, isinstance and issubclass get callables and classes.
// Refusals are fine; a crash, leak, sanitizer report or a result past the
// value limits is not.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "fuzz_value_stack.hpp"
#include "interpreter/builtins.hpp"
#include "interpreter_support/builtin_names.hpp"

namespace {

using namespace veln::fuzz_values;
using veln::BuiltinId;
using veln::VmValue;

constexpr size_t kBuiltinCount = static_cast<size_t>(BuiltinId::count_);
constexpr const char* kNames[] = {"int", "str", "list", "abs", "Any", "decimal", "map", "tuple", "hashlib"};

// Builtins call back through the table; a function reference answers with
// its arguments as a tuple, or fails when the first one is falsy.
class Caller : public veln::VmValueCaller {
 public:
  veln::VmResult<VmValue> call_callable_value(VmValue callee, veln::VmArgList args,
                                              veln::VmKwargList kwargs) override {
    if (depth_ >= 16) return veln::vm_error("too deep");
    ++depth_;
    veln::VmResult<VmValue> r = callee.is(veln::VmKind::Builtin)
                                    ? veln::call_builtin(callee.text(), args, kwargs, *this)
                                : (!args.empty() && !args[0].truthy()) ? veln::vm_error("falsy")
                                                                       : VmValue::make_tuple(std::move(args));
    --depth_;
    return r;
  }

 private:
  int depth_ = 0;
};

// The units of the values handed to builtins and returned by them in one
// input. Their work is bounded (n log n in the sizes they read) but slow
// under the sanitizers: frozenset() of a str of 1.26M digits takes 5 s, so
// an input that kept calling on such values would pass the run's timeout
// on a busy machine with nothing wrong. Past the budget no call is made.
constexpr size_t kUnitsPerInput = size_t{1} << 19;
size_t units_spent = 0;

void call(Reader& in, std::vector<VmValue>& stack) {
  const auto id = static_cast<BuiltinId>(in.byte() % kBuiltinCount);
  veln::VmArgList args;
  for (size_t n = in.byte() % 4; n > 0; --n) args.push_back(pop(stack));
  veln::VmKwargList kwargs;
  if (in.byte() % 8 == 0) kwargs.push_back({"x", pop(stack)});
  for (const VmValue& a : args) units_spent += a.units();
  for (const veln::VmKeywordArg& k : kwargs) units_spent += k.value.units();
  if (units_spent > kUnitsPerInput) return;
  Caller caller;
  auto r = veln::call_builtin(id, args, kwargs, caller);
  if (!r.ok()) return;
  check(r->depth() <= veln::kVmMaxDepth && r->units() <= veln::kVmMaxUnits);
  units_spent += r->units();
  push(stack, std::move(*r));
}

void step(Reader& in, std::vector<VmValue>& stack) {
  switch (in.byte() % 6) {
    case 0:
    case 1:
      push(stack, constant(in));
      return;
    case 2:
      push_container(in, stack);
      return;
    case 3: {
      const char* name = kNames[in.byte() % std::size(kNames)];
      push(stack, veln::builtin_name_value(name).value_or(VmValue::builtin(name)));
      return;
    }
    case 4:
      push(stack, VmValue::function_ref("f"));
      return;
    default:
      call(in, stack);
      return;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  units_spent = 0;
  run_steps(data, size, step);
  return 0;
}
