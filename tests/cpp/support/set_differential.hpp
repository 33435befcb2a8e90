// A randomized differential of the engine's set operations against the
// reference in set_oracle/: rounds over the values of hostile_set_items.hpp
// build sets, call their methods, apply - | & ^, compare them, test
// membership, sort and take min and max, and edit large sets in place
// (their edits pending) with copies taken on the way. Every call goes
// through the engine's public doors (call_native_method, the binary and
// compare operators, call_builtin) and through the reference, and the two
// outcomes must be the same value (kinds, item order, -0.0 and NaN told
// apart) or the same error message. Where the choices come from is the
// caller's: a seeded generator in the test, the fuzzer's bytes in the fuzz
// target.
#pragma once

#include <span>
#include <string>
#include <utility>
#include <vector>

#include "hostile_set_items.hpp"
#include "interpreter_support/binary_operators.hpp"
#include "interpreter_support/compare_operators.hpp"

namespace veln::set_differential {

// --- one round -------------------------------------------------------------------

class Round {
 public:
  explicit Round(Choices& c) : c_(c), pool_(c, faults_) {}

  // How many outcomes agreed, as values and as errors.
  struct Tally {
    size_t values = 0;
    size_t errors = 0;
  };
  const Tally& tally() const { return tally_; }

  // Runs a round of at most `ops` operations; the faults found (empty when
  // the two sides agreed throughout).
  std::vector<std::string> run(uint32_t ops) {
    pool_.choose_alphabet();
    const bool large = c_.one_in(3);
    for (int i = 0; i < 4 && faults_.empty(); ++i) build_slot(large && i == 0);
    for (uint32_t i = 0; i < ops && faults_.empty() && !slots_.empty() && !c_.spent(); ++i) {
      switch (c_.pick(10)) {
        case 0:
        case 1:
        case 2:
          method();
          break;
        case 3:
          operator_on_sets();
          break;
        case 4:
          comparison();
          break;
        case 5:
          membership();
          break;
        case 6:
          ordering_builtin();
          break;
        case 7:
          build_slot(false);
          break;
        default:
          edit_run();
          break;
      }
    }
    return faults_;
  }

 private:
  using NoCalls = Pool::NoCalls;

  static std::string described(const std::string& what) { return what; }
  template <class F>
  static std::string described(const F& what) {
    return what();
  }

  // Whether the two outcomes are the same; `what` (a text, or a function
  // giving one only when needed) names the call in the report.
  template <class What, class A, class B>
  bool agree(const What& what, const A& engine, const B& oracle) {
    const std::string e = shown(engine), o = shown(oracle);
    if (e == o) {
      ++(e.starts_with("error: ") ? tally_.errors : tally_.values);
      return true;
    }
    faults_.push_back(described(what) + "\n  engine: " + e + "\n  oracle: " + o);
    return false;
  }

  void keep(VmValue engine, VmValue oracle) {
    if (!oracle::is_set_like(oracle)) return;
    Both b{std::move(engine), std::move(oracle)};
    if (slots_.size() < 8) {
      slots_.push_back(std::move(b));
    } else {
      slots_[c_.pick(8)] = std::move(b);
    }
  }

  Both& slot() { return slots_[c_.pick(static_cast<uint32_t>(slots_.size()))]; }

  // An argument for a set method or builtin: a set of the round, or a list,
  // tuple, str or bytes of items, or now and then no iterable at all.
  Both argument() {
    switch (c_.pick(6)) {
      case 0:
      case 1:
      case 2:
        if (!slots_.empty()) return slot();
        [[fallthrough]];
      default: {
        VmValue v = c_.one_in(8) ? pool_.partner() : *VmValue::make_sequence(c_.one_in(2) ? VmKind::List : VmKind::Tuple,
                                                                                pool_.items(false));
        return Both{v, v};
      }
    }
  }

  VmResult<VmValue> engine_builtin(std::string_view name, std::vector<VmValue> args) {
    NoCalls none;
    return call_builtin(name, args, {}, none);
  }

  static bool holds_equal_items(const std::vector<VmValue>& items) {
    const auto canonical = oracle::normalize(items);
    if (!canonical.ok()) return false;
    for (size_t i = 0; i < canonical->size(); ++i) {
      for (size_t j = i + 1; j < canonical->size(); ++j) {
        const auto same = oracle::equal((*canonical)[i], (*canonical)[j]);
        if (same.ok() && *same) return true;
      }
    }
    return false;
  }

  void build_slot(bool large) {
    const bool frozen = c_.one_in(3);
    const char* name = frozen ? "frozenset" : "set";
    std::vector<VmValue> items = pool_.items(large);
    // With numbers that chain, prefer the lists that leave value-equal
    // items side by side (the reference tells): every later call on such a
    // set must treat it as the literal scans do.
    for (int tries = 0; pool_.chains() && tries < 12 && !holds_equal_items(items); ++tries) items = pool_.items(false);
    const VmValue arg = *VmValue::make_sequence(c_.one_in(3) ? VmKind::Tuple : VmKind::List, std::move(items));
    const auto got = engine_builtin(name, {arg});
    const auto want = oracle::builtin(name, std::span<const VmValue>(&arg, 1));
    if (agree([&] { return std::string(name) + "(" + brief(arg) + ")"; }, got, want) && got.ok()) keep(*got, *want);
  }

  void method() {
    static const char* const kNames[] = {"add",          "remove",       "discard",  "pop",        "clear",
                                         "copy",         "union",        "difference", "intersection",
                                         "symmetric_difference", "issubset", "issuperset", "isdisjoint", "update"};
    const char* name = kNames[c_.pick(14)];
    Both& receiver = slot();
    uint32_t count = c_.pick(3);
    const std::string_view n(name);
    const bool one = n == "add" || n == "remove" || n == "discard" || n == "symmetric_difference" ||
                     n.substr(0, 2) == "is";
    if (one && !c_.one_in(10)) count = 1;
    if ((n == "pop" || n == "clear" || n == "copy") && !c_.one_in(10)) count = 0;
    std::vector<VmValue> engine_args, oracle_args;
    const bool needle = n == "add" || n == "remove" || n == "discard";
    for (uint32_t i = 0; i < count; ++i) {
      Both a = needle ? Both{pool_.any_item(), VmValue()} : argument();
      if (needle) a.oracle = a.engine;
      engine_args.push_back(a.engine);
      oracle_args.push_back(a.oracle);
    }
    const VmValue before = receiver.engine;
    const std::string before_text = shown(before);
    const auto got = call_native_method(receiver.engine, name, engine_args, {});
    const auto want = oracle::call_method(receiver.oracle, name, oracle_args);
    const auto what = [&] {
      std::string text = brief(receiver.oracle) + "." + name + "(";
      for (const VmValue& a : oracle_args) text += brief(a) + ", ";
      return text + ")";
    };
    if (!agree(what, got, want)) return;
    if (shown(before) != before_text) faults_.push_back(what() + ": the receiver's copy changed");
    if (!got.ok()) return;
    if (got->is_mutated()) {
      receiver = Both{got->receiver, want->receiver};
    } else {
      keep(got->value, want->value);
    }
  }

  void operator_on_sets() {
    static const char* const kOps[] = {"sub", "bitor", "bitand", "bitxor"};
    const char* op = kOps[c_.pick(4)];
    Both l = slot(), r = slot();
    if (c_.one_in(6)) {
      const VmValue p = pool_.partner();
      (c_.one_in(2) ? l : r) = Both{p, p};
    }
    const auto got = apply_binary_operator(op, l.engine, r.engine);
    const auto want = oracle::binary(op, l.oracle, r.oracle);
    const auto what = [&] { return brief(l.oracle) + " " + op + " " + brief(r.oracle); };
    if (agree(what, got, want) && got.ok()) keep(*got, *want);
  }

  void comparison() {
    static const char* const kOps[] = {"eq", "not_eq", "lt", "lt_e", "gt", "gt_e"};
    const char* op = kOps[c_.pick(6)];
    Both l = slot(), r = slot();
    if (c_.one_in(6)) {
      VmValue p = c_.one_in(2) ? pool_.partner() : pool_.item();
      if (op[0] == 'l' || op[0] == 'g') {
        p = c_.one_in(2) ? dec("1.5") : pool_.partner();
      }
      (c_.one_in(2) ? l : r) = Both{p, p};
    }
    agree([&] { return brief(l.oracle) + " " + op + " " + brief(r.oracle); }, apply_compare_operator(op, l.engine, r.engine),
          oracle::compare(op, l.oracle, r.oracle));
  }

  void membership() {
    const Both& container = slot();
    const VmValue needle = c_.one_in(4) ? pool_.partner() : pool_.any_item();
    const char* op = c_.one_in(2) ? "in" : "not_in";
    agree([&] { return brief(needle) + " " + op + " " + brief(container.oracle); },
          apply_compare_operator(op, needle, container.engine),
          oracle::compare(op, needle, container.oracle));
  }

  void ordering_builtin() {
    static const char* const kNames[] = {"sorted", "min", "max"};
    const char* name = kNames[c_.pick(3)];
    std::vector<VmValue> args;
    if (c_.one_in(3)) {
      const Both& s = slot();
      const auto what = [&] { return std::string(name) + "(" + brief(s.oracle) + ")"; };
      agree(what, engine_builtin(name, {s.engine}), oracle::builtin(name, std::span<const VmValue>(&s.oracle, 1)));
      return;
    } else {
      std::vector<VmValue> numbers;
      const uint32_t n = c_.pick(c_.one_in(4) ? 40 : 8);
      for (uint32_t i = 0; i < n; ++i) numbers.push_back(c_.one_in(12) ? pool_.item() : pool_.number());
      if (c_.one_in(6)) numbers = pool_.many_numbers(100 + c_.pick(200));
      if (std::string_view(name) != "sorted" && c_.one_in(3)) {
        args = std::move(numbers);
      } else {
        args.push_back(*VmValue::make_list(std::move(numbers)));
      }
    }
    const auto what = [&] {
      std::string text = std::string(name) + "(";
      for (const VmValue& a : args) text += brief(a) + ", ";
      return text + ")";
    };
    agree(what, engine_builtin(name, args), oracle::builtin(name, args));
  }

  // A read of a set between its edits, where a large one still holds them
  // pending: membership, equality, a subset test or an operator with
  // another set of the round.
  bool read_while_editing(const VmValue& engine, const VmValue& oracle, uint32_t step) {
    const auto what = [&] { return brief(oracle) + ", a set being edited (step " + std::to_string(step) + ")"; };
    if (slots_.empty() || c_.one_in(2)) {
      const VmValue needle = pool_.any_item();
      return agree([&] { return brief(needle) + " in " + what(); }, apply_compare_operator("in", needle, engine),
                   oracle::compare("in", needle, oracle));
    }
    const Both other = slot();
    switch (c_.pick(3)) {
      case 0:
        return agree([&] { return what() + " == " + brief(other.oracle); }, apply_compare_operator("eq", engine, other.engine),
                     oracle::compare("eq", oracle, other.oracle));
      case 1:
        return agree([&] { return brief(other.oracle) + " <= " + what(); }, apply_compare_operator("lt_e", other.engine, engine),
                     oracle::compare("lt_e", other.oracle, oracle));
      default: {
        const char* op = c_.one_in(2) ? "bitor" : "sub";
        return agree([&] { return what() + " " + op + " " + brief(other.oracle); }, apply_binary_operator(op, engine, other.engine),
                     oracle::binary(op, oracle, other.oracle));
      }
    }
  }

  // A run of edits on one set, its only holder handing it over so that a
  // large set keeps its edits pending; copies taken on the way must keep
  // the items they had.
  void edit_run() {
    size_t at = c_.pick(static_cast<uint32_t>(slots_.size()));
    if (!slots_[at].engine.is(VmKind::Set)) return;
    VmValue engine = std::move(slots_[at].engine);
    VmValue oracle = std::move(slots_[at].oracle);
    slots_.erase(slots_.begin() + static_cast<std::ptrdiff_t>(at));
    struct Copy {
      VmValue engine;
      VmValue oracle_then;
      uint32_t step;
    };
    std::vector<Copy> copies;
    const uint32_t steps = 1 + c_.pick(40);
    for (uint32_t step = 0; step < steps; ++step) {
      if (c_.one_in(12)) copies.push_back(Copy{engine, oracle, step});
      if (c_.one_in(6)) {
        if (!read_while_editing(engine, oracle, step)) return;
        continue;
      }
      static const char* const kEdits[] = {"add", "add", "discard", "remove", "pop"};
      const char* name = kEdits[c_.pick(5)];
      std::vector<VmValue> args;
      if (std::string_view(name) != "pop") args.push_back(c_.one_in(3) && oracle.item_count() > 0
                                                              ? oracle.item(c_.pick(static_cast<uint32_t>(oracle.item_count())))
                                                              : pool_.any_item());
      const auto want = oracle::call_method(oracle, name, args);
      const auto got = call_native_method(std::move(engine), name, args, {});
      const auto what = [&] {
        return "edit " + std::to_string(step) + ": " + brief(oracle) + "." + name + "(" +
               (args.empty() ? "" : brief(args[0])) + ")";
      };
      if (!got.ok() || !want.ok()) {
        agree(what, got, want);
        return;  // a failed edit ends the contract call, and the set with it
      }
      // The receiver is compared at the end, so that pending edits stay.
      if (!agree(what, got->value, want->value)) return;
      engine = std::move(got->receiver);
      oracle = std::move(want->receiver);
    }
    if (!agree(std::string("the set after a run of edits"), engine, oracle)) return;
    for (const Copy& copy : copies)
      agree("a copy taken before edit " + std::to_string(copy.step), copy.engine, copy.oracle_then);
    keep(std::move(engine), std::move(oracle));
  }

  Choices& c_;
  std::vector<std::string> faults_;
  Tally tally_;
  Pool pool_;
  std::vector<Both> slots_;
};

}  // namespace veln::set_differential
