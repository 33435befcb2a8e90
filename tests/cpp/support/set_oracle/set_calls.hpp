// The reference behaviour of what contract code calls on sets: the set and
// frozenset methods, the set rows of the operators - & | ^, the compare
// operators with a set operand, membership in sets, lists and tuples, and
// the builtins set, frozenset, sorted, min and max. Each is the literal
// sequence of steps over the scans of set_scans.hpp. The ordering operators
// between two non-sets and the arithmetic rows of the operators are outside
// this model (callers keep a set on one side).
// Test code only; shares nothing with the engine's support library.
#pragma once

#include <gmpxx.h>

#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "set_scans.hpp"

namespace veln::set_oracle {

inline VmValue set_value(VmKind kind, Items items) { return *VmValue::make_sequence(kind, std::move(items)); }

// --- iteration --------------------------------------------------------------

// The items of an iterable: a str's characters, the ints of bytes, the items
// of a list, tuple or set, a dict's keys.
inline VmResult<Items> iterate(const VmValue& v) {
  Items out;
  switch (v.kind()) {
    case VmKind::String: {
      const std::string_view text = v.text();
      for (size_t i = 0; i < text.size();) {
        size_t n = 1;  // a UTF-8 lead byte and its continuation bytes
        while (i + n < text.size() && (static_cast<unsigned char>(text[i + n]) & 0xC0) == 0x80) ++n;
        out.push_back(VmValue::str(text.substr(i, n)));
        i += n;
      }
      return out;
    }
    case VmKind::Bytes:
    case VmKind::ByteArray:
      for (unsigned char c : v.text()) out.push_back(VmValue::integer(static_cast<int64_t>(c)));
      return out;
    case VmKind::List:
    case VmKind::Tuple:
    case VmKind::Set:
    case VmKind::FrozenSet:
      return Items(v.items().begin(), v.items().end());
    case VmKind::Dict:
      for (const VmDictPair& pair : v.dict_pairs()) out.push_back(pair.key);
      return out;
    default:
      return vm_error("value of type " + std::string(v.type_name()) + " is not iterable");
  }
}

// An argument brought into set form: expanded, then normalised.
inline VmResult<Items> as_set_items(const VmValue& v) {
  VELN_TRY(const Items items, iterate(v));
  return normalize(items);
}

// --- methods ----------------------------------------------------------------

struct MethodOutcome {
  bool mutated = false;
  VmValue value;     // the call's result
  VmValue receiver;  // the changed receiver when mutated
};

inline MethodOutcome gives(VmValue v) { return MethodOutcome{false, std::move(v), VmValue()}; }
inline MethodOutcome changes(VmValue receiver, VmValue result = VmValue()) {
  return MethodOutcome{true, std::move(result), std::move(receiver)};
}

using Args = std::span<const VmValue>;
using MethodFn = VmResult<MethodOutcome> (*)(VmKind kind, const Items& s, Args args);

inline VmResult<MethodOutcome> method_add(VmKind kind, const Items& s, Args args) {
  VELN_TRY(Items items, normalize(union_of(s, args)));
  return changes(set_value(kind, std::move(items)));
}

inline VmResult<MethodOutcome> method_discard(VmKind kind, const Items& s, Args args) {
  VELN_TRY(Items rest, difference(s, args));
  return changes(set_value(kind, std::move(rest)));
}

inline VmResult<MethodOutcome> method_remove(VmKind kind, const Items& s, Args args) {
  VELN_TRY(Items rest, difference(s, args));
  if (rest.size() == s.size()) return vm_error(args[0].python_repr());
  return changes(set_value(kind, std::move(rest)));
}

inline VmResult<MethodOutcome> method_pop(VmKind kind, const Items& s, Args) {
  if (s.empty()) return vm_error("pop from an empty set");
  return changes(set_value(kind, Items(s.begin() + 1, s.end())), s.front());
}

inline VmResult<MethodOutcome> method_clear(VmKind kind, const Items&, Args) { return changes(set_value(kind, {})); }

inline VmResult<MethodOutcome> method_copy(VmKind kind, const Items& s, Args) { return gives(set_value(kind, s)); }

inline VmResult<MethodOutcome> method_union(VmKind kind, const Items& s, Args args) {
  if (args.empty()) return method_copy(kind, s, args);
  Items all = s;
  for (const VmValue& arg : args) {
    VELN_TRY(const Items more, iterate(arg));
    all.insert(all.end(), more.begin(), more.end());
  }
  VELN_TRY(Items items, normalize(all));
  return gives(set_value(kind, std::move(items)));
}

template <VmResult<Items> (*Scan)(std::span<const VmValue>, std::span<const VmValue>)>
VmResult<MethodOutcome> method_fold(VmKind kind, const Items& s, Args args) {
  Items acc = s;
  for (const VmValue& arg : args) {
    VELN_TRY(const Items other, as_set_items(arg));
    VELN_TRY(acc, Scan(acc, other));
  }
  return gives(set_value(kind, std::move(acc)));
}

inline VmResult<MethodOutcome> method_symmetric_difference(VmKind kind, const Items& s, Args args) {
  VELN_TRY(const Items other, as_set_items(args[0]));
  VELN_TRY(const Items raw, symmetric_difference(s, other));
  VELN_TRY(Items items, normalize(raw));
  return gives(set_value(kind, std::move(items)));
}

inline VmResult<MethodOutcome> method_issubset(VmKind, const Items& s, Args args) {
  VELN_TRY(const Items other, as_set_items(args[0]));
  VELN_TRY(const bool answer, is_subset(s, other));
  return gives(VmValue::boolean(answer));
}

inline VmResult<MethodOutcome> method_issuperset(VmKind, const Items& s, Args args) {
  VELN_TRY(const Items other, as_set_items(args[0]));
  VELN_TRY(const bool answer, is_subset(other, s));
  return gives(VmValue::boolean(answer));
}

inline VmResult<MethodOutcome> method_isdisjoint(VmKind, const Items& s, Args args) {
  VELN_TRY(const Items other, as_set_items(args[0]));
  VELN_TRY(const Items common, intersection(s, other));
  return gives(VmValue::boolean(common.empty()));
}

enum class Arity { None, One, Any };

struct MethodRow {
  std::string_view name;
  bool set_only;
  Arity arity;
  MethodFn fn;
};

inline constexpr MethodRow kMethods[] = {
    {"add", true, Arity::One, method_add},
    {"remove", true, Arity::One, method_remove},
    {"discard", true, Arity::One, method_discard},
    {"pop", true, Arity::None, method_pop},
    {"clear", true, Arity::None, method_clear},
    {"copy", false, Arity::None, method_copy},
    {"union", false, Arity::Any, method_union},
    {"difference", false, Arity::Any, method_fold<difference>},
    {"intersection", false, Arity::Any, method_fold<intersection>},
    {"symmetric_difference", false, Arity::One, method_symmetric_difference},
    {"issubset", false, Arity::One, method_issubset},
    {"issuperset", false, Arity::One, method_issuperset},
    {"isdisjoint", false, Arity::One, method_isdisjoint},
};

// A method of a set or frozenset receiver.
inline VmResult<MethodOutcome> call_method(const VmValue& receiver, std::string_view name, Args args) {
  const std::string kind(receiver.type_name());
  for (const MethodRow& row : kMethods) {
    if (row.name != name || (row.set_only && !receiver.is(VmKind::Set))) continue;
    if (row.arity == Arity::None && !args.empty())
      return vm_error(kind + "." + std::string(name) + "() expects no arguments");
    if (row.arity == Arity::One && args.size() != 1)
      return vm_error(kind + "." + std::string(name) + "() expects one argument");
    return row.fn(receiver.kind(), Items(receiver.items().begin(), receiver.items().end()), args);
  }
  return vm_error("unsupported " + kind + " method '" + std::string(name) + "()'");
}

// --- binary operators with a set operand -------------------------------------

inline VmExecutionError coerce_error(std::string_view op, std::string_view side, const VmValue& v,
                                     const VmExecutionError& why) {
  return vm_error("binary operator '" + std::string(op) + "' could not coerce " + std::string(side) + " operand " +
                  v.python_repr() + " (" + std::string(v.type_name()) + ") to decimal: " + why.message);
}

// bool as 0 or 1, an int itself, a decimal truncated toward zero.
inline VmResult<mpz_class> as_integer(const VmValue& v) {
  if (v.is(VmKind::Bool)) return mpz_class(v.bool_value() ? 1 : 0);
  if (v.is(VmKind::Int)) return v.int_to_mpz();
  if (v.is(VmKind::Decimal)) {
    mpz_class q, ten30;
    mpz_ui_pow_ui(ten30.get_mpz_t(), 10, 30);
    mpz_tdiv_q(q.get_mpz_t(), v.decimal_value().scaled().get_mpz_t(), ten30.get_mpz_t());
    return q;
  }
  return vm_error("expected int-compatible value, got " + std::string(v.type_name()));
}

// "sub", "bitor", "bitand" or "bitxor", one operand at least being a set.
inline VmResult<VmValue> binary(std::string_view op, const VmValue& l, const VmValue& r) {
  if (op == "sub") {
    if (l.is(VmKind::Decimal)) {
      const auto converted = to_decimal(r);
      if (!converted.ok()) return coerce_error(op, "right", r, converted.error());
    }
    if (r.is(VmKind::Decimal)) {
      const auto converted = to_decimal(l);
      if (!converted.ok()) return coerce_error(op, "left", l, converted.error());
    }
    if (is_set_like(l) && is_set_like(r)) {
      VELN_TRY(const Items raw, difference(l.items(), r.items()));
      VELN_TRY(Items items, normalize(raw));
      return set_value(l.kind(), std::move(items));
    }
    return vm_error("unsupported sub operands " + std::string(l.type_name()) + " and " + std::string(r.type_name()));
  }
  if (l.is(VmKind::Bool) && r.is(VmKind::Bool)) {
    const bool a = l.bool_value(), b = r.bool_value();
    return VmValue::boolean(op == "bitor" ? (a || b) : op == "bitand" ? (a && b) : (a != b));
  }
  if (is_set_like(l) && is_set_like(r)) {
    Items raw;
    if (op == "bitor") {
      raw = union_of(l.items(), r.items());
    } else {
      VELN_TRY(raw, (op == "bitand" ? intersection : symmetric_difference)(l.items(), r.items()));
    }
    VELN_TRY(Items items, normalize(raw));
    return set_value(l.kind(), std::move(items));
  }
  VELN_TRY(const mpz_class a, as_integer(l));
  VELN_TRY(const mpz_class b, as_integer(r));
  const mpz_class n = op == "bitor" ? mpz_class(a | b) : op == "bitand" ? mpz_class(a & b) : mpz_class(a ^ b);
  return VmValue::integer(n);
}

// --- compare operators and membership ----------------------------------------

inline VmResult<bool> contains(const VmValue& container, const VmValue& needle) {
  switch (container.kind()) {
    case VmKind::Set:
    case VmKind::FrozenSet:
    case VmKind::List:
    case VmKind::Tuple:
      return found_in(container.items(), needle);
    case VmKind::Dict:
      for (const VmDictPair& pair : container.dict_pairs()) {
        VELN_TRY(const bool same, equal(pair.key, needle));
        if (same) return true;
      }
      return false;
    default:  // str and bytes-likes are outside this model
      return vm_error("membership is not supported for " + std::string(container.type_name()));
  }
}

// The ten compare operators; the four orderings only with a set operand.
inline VmResult<bool> compare(std::string_view op, const VmValue& l, const VmValue& r) {
  if (op == "eq") return equal(l, r);
  if (op == "not_eq") {
    VELN_TRY(const bool same, equal(l, r));
    return !same;
  }
  if (op == "in") return contains(r, l);
  if (op == "not_in") {
    VELN_TRY(const bool in, contains(r, l));
    return !in;
  }
  if (op == "is") return l.eq(r);
  if (op == "is_not") return !l.eq(r);
  const bool lt = op == "lt", lt_e = op == "lt_e", gt = op == "gt", gt_e = op == "gt_e";
  if (!(lt || lt_e || gt || gt_e)) return vm_error("unsupported compare operator '" + std::string(op) + "'");
  // 1. Two sets: subset tests; for < and > the counts first.
  if (is_set_like(l) && is_set_like(r)) {
    if (lt && l.item_count() >= r.item_count()) return false;
    if (gt && l.item_count() <= r.item_count()) return false;
    return (lt || lt_e) ? is_subset(l.items(), r.items()) : is_subset(r.items(), l.items());
  }
  // 2, 4. A decimal operand: the other one as a decimal, which a set never is.
  const auto refused = [](std::string_view side, const VmValue& v, const VmExecutionError& why) {
    return vm_error("comparison could not coerce " + std::string(side) + " operand " + v.python_repr() + " (" +
                    std::string(v.type_name()) + ") to decimal: " + why.message);
  };
  if (l.is(VmKind::Decimal)) {
    const auto converted = to_decimal(r);
    if (!converted.ok()) return refused("right", r, converted.error());
  } else if (r.is(VmKind::Decimal)) {
    const auto converted = to_decimal(l);
    if (!converted.ok()) return refused("left", l, converted.error());
  }
  if (!is_set_like(l) && !is_set_like(r)) return vm_error("oracle: orderings without a set are not modelled");
  // 5. No order between these kinds.
  return vm_error("values " + std::string(l.type_name()) + " and " + std::string(r.type_name()) +
                  " are not order-comparable");
}

// --- builtins -----------------------------------------------------------------

// Each value in input order is inserted before the first placed value it is
// strictly less than (compared as the left operand), else at the end.
inline VmResult<Items> insertion_sort(const Items& values) {
  Items placed;
  for (const VmValue& v : values) {
    size_t at = placed.size();
    for (size_t j = 0; j < placed.size(); ++j) {
      VELN_TRY(const Ord o, order(v, placed[j]));
      if (o == Ord::Less) {
        at = j;
        break;
      }
    }
    placed.insert(placed.begin() + static_cast<std::ptrdiff_t>(at), v);
  }
  return placed;
}

inline VmResult<VmValue> min_or_max(std::string_view name, Args args) {
  const std::string n(name);
  if (args.empty()) return vm_error(n + "() expects at least one positional argument");
  Items candidates(args.begin(), args.end());
  if (args.size() == 1) {
    VELN_TRY(candidates, iterate(args[0]));
  }
  if (candidates.empty()) return vm_error(n + "() received no values");
  const Ord wanted = name == "min" ? Ord::Less : Ord::Greater;
  VmValue best = candidates.front();
  for (size_t i = 1; i < candidates.size(); ++i) {
    VELN_TRY(const Ord o, order(candidates[i], best));
    if (o == wanted) best = candidates[i];
  }
  return best;
}

// set, frozenset, sorted, min or max called with positional arguments.
inline VmResult<VmValue> builtin(std::string_view name, Args args) {
  if (name == "set" || name == "frozenset") {
    const VmKind kind = name == "set" ? VmKind::Set : VmKind::FrozenSet;
    if (args.size() > 1) return vm_error(std::string(name) + "() expects at most one argument");
    if (args.empty()) return set_value(kind, {});
    VELN_TRY(Items items, as_set_items(args[0]));
    return set_value(kind, std::move(items));
  }
  if (name == "sorted") {
    if (args.size() != 1) return vm_error("sorted() expects one positional argument");
    VELN_TRY(const Items items, iterate(args[0]));
    VELN_TRY(Items ordered, insertion_sort(items));
    return VmValue::make_list(std::move(ordered));
  }
  return min_or_max(name, args);
}

}  // namespace veln::set_oracle
