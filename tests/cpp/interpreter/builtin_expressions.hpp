// Case expressions of the builtins: calls (with key=value arguments), bare
// builtin names and operators of the notation go to the engine's own table
// and operators, so a case line is the call under test. Test code only.
#pragma once

#include "interpreter/builtins.hpp"
#include "interpreter_support/binary_operators.hpp"
#include "interpreter_support/builtin_names.hpp"
#include "interpreter_support/unary_operators.hpp"
#include "value_notation.hpp"

namespace veln {

class BuiltinExpressions : public notation::NotationEvaluator {
 public:
  explicit BuiltinExpressions(VmValueCaller& caller) : caller_(caller) {}

  std::optional<VmResult<VmValue>> call(std::string_view name, VmArgList args, VmKwargList kwargs) override {
    // The data-only constructors stay with the notation.
    if (name == "dt" || name == "td" || name == "rep") return std::nullopt;
    return call_builtin(name, args, kwargs, caller_);
  }
  std::optional<VmValue> name(std::string_view word) override { return builtin_name_value(word); }
  VmResult<VmValue> operate(char op, VmValue a, VmValue b) override {
    switch (op) {
      case '+': return apply_binary_operator(BinaryOperator::Add, std::move(a), std::move(b));
      case '-': return apply_binary_operator(BinaryOperator::Sub, std::move(a), std::move(b));
      case '*': return apply_binary_operator(BinaryOperator::Mul, std::move(a), std::move(b));
      case '^': return apply_binary_operator(BinaryOperator::Pow, std::move(a), std::move(b));
      default: return apply_unary_operator(UnaryOperator::Neg, std::move(a));
    }
  }

 private:
  VmValueCaller& caller_;
};

}  // namespace veln
