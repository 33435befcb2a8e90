// The insertion sort over mixed numbers, replayed on a balanced tree of the
// placed values (AVL, by position). Inserting v means finding the first
// placed p with v < p. compare_vm_values(v, p) reads p through one of two
// keys, chosen by the kinds of both:
//   - p a decimal: exact(v) < exact(p);
//   - p an int or bool: v a float ? double(v) < double(p) : exact(v) < exact(p);
//   - p a float: v a decimal ? exact(v) < exact(p) : double(v) < double(p),
// where exact is the decimal conversion (for a float: of its shortest text,
// truncated) and double the nearest double. Both keys grow with each other
// within one kind (the nearest double of an int grows with the int, the
// decimal of a float with the float), so "some p of this kind in the subtree
// is above v" is one comparison against the subtree's largest value of that
// kind. Each node keeps those three maxima; the search descends one path.
// The tree is rebalanced deterministically (AVL), so no input order can
// make it deep: its height, and so the recursion, stays below 1.45 log2 n.
#include "interpreter_support/mixed_number_sorting.hpp"

#include <array>
#include <cmath>

#include "interpreter_support/value_equality.hpp"
#include "values/decimal_from_value.hpp"
#include "values/vm_decimal.hpp"
#include "values/vm_work_tally.hpp"

namespace veln {
namespace {

enum Role : uint8_t { kDecimal, kInteger, kFloat, kRoles };

// Steps of one step down the tree: up to three comparisons of the value
// with the subtree's maxima and a rebalancing, each reading keys that lie
// anywhere in the tree, most of them decimals.
constexpr uint64_t kTreeStepSteps = 2;
constexpr uint32_t kNone = UINT32_MAX;

struct Keys {
  Role role;
  double dbl;  // bools, ints and floats
  VmDecimal exact;
};

Keys keys_of(const VmValue& v) {
  switch (v.kind()) {
    case VmKind::Decimal:
      return {kDecimal, 0.0, v.decimal_value()};
    case VmKind::Bool:
      return {kInteger, v.bool_value() ? 1.0 : 0.0, VmDecimal::from_bool(v.bool_value())};
    case VmKind::Int:
      return {kInteger, vm_int_to_f64(v), *decimal_from_vm_value(v)};
    default:
      return {kFloat, v.float_value(), *decimal_from_vm_value(v)};
  }
}

class InsertionTree {
 public:
  InsertionTree(std::vector<Keys> keys, VmWorkTally& tally) : keys_(std::move(keys)), tally_(tally) {
    nodes_.reserve(keys_.size());
  }

  // False once the running request's allowance has passed: the replay
  // stops there, within a batch of steps and one insertion's path.
  bool insert(uint32_t item) {
    root_ = insert_first_above(root_, item);
    return !refused_;
  }

  std::vector<uint32_t> items_in_order() const {
    std::vector<uint32_t> out;
    out.reserve(nodes_.size());
    std::vector<uint32_t> path;
    uint32_t t = root_;
    while (t != kNone || !path.empty()) {
      for (; t != kNone; t = left(t)) path.push_back(t);
      t = path.back();
      path.pop_back();
      out.push_back(nodes_[t].item);
      t = right(t);
    }
    return out;
  }

 private:
  struct Node {
    uint32_t item;
    std::array<uint32_t, 2> child{kNone, kNone};  // left, right
    std::array<uint32_t, kRoles> max{kNone, kNone, kNone};  // items
    uint8_t height = 1;
  };

  // compare_vm_values(v, p) is Less.
  bool less(uint32_t v, uint32_t p) const {
    const Keys& a = keys_[v];
    const Keys& b = keys_[p];
    const bool by_double = b.role == kDecimal ? false : (b.role == kInteger ? a.role == kFloat : a.role != kDecimal);
    return by_double ? a.dbl < b.dbl : VmDecimal::compare(a.exact, b.exact) < 0;
  }

  // Whether `a` is above `b`, both of role `r`, in the key that role is read by.
  bool above(Role r, uint32_t a, uint32_t b) const {
    if (b == kNone) return true;
    return r == kFloat ? keys_[a].dbl > keys_[b].dbl : VmDecimal::compare(keys_[a].exact, keys_[b].exact) > 0;
  }

  // Some item of subtree `t` that `v` is strictly less than.
  bool any_above(uint32_t t, uint32_t v) const {
    if (t == kNone) return false;
    for (const uint32_t m : nodes_[t].max) {
      if (m != kNone && less(v, m)) return true;
    }
    return false;
  }

  uint8_t height(uint32_t t) const { return t == kNone ? 0 : nodes_[t].height; }
  uint32_t left(uint32_t t) const { return nodes_[t].child[0]; }
  uint32_t right(uint32_t t) const { return nodes_[t].child[1]; }

  void update(uint32_t t) {
    Node& n = nodes_[t];
    n.height = static_cast<uint8_t>(1 + std::max(height(n.child[0]), height(n.child[1])));
    n.max = {kNone, kNone, kNone};
    n.max[keys_[n.item].role] = n.item;
    for (const uint32_t child : n.child) {
      if (child == kNone) continue;
      for (uint8_t r = 0; r < kRoles; ++r) {
        const uint32_t m = nodes_[child].max[r];
        if (m != kNone && above(static_cast<Role>(r), m, n.max[r])) n.max[r] = m;
      }
    }
  }

  // Lifts child `side` (0 left, 1 right) of `t` into its place.
  uint32_t lift(uint32_t t, int side) {
    const uint32_t c = nodes_[t].child[side];
    nodes_[t].child[side] = nodes_[c].child[1 - side];
    nodes_[c].child[1 - side] = t;
    update(t);
    update(c);
    return c;
  }

  uint32_t rebalance(uint32_t t) {
    update(t);
    const int balance = int{height(left(t))} - int{height(right(t))};
    if (balance >= -1 && balance <= 1) return t;
    const int side = balance > 0 ? 0 : 1;
    const uint32_t c = nodes_[t].child[side];
    if (height(nodes_[c].child[side]) < height(nodes_[c].child[1 - side])) nodes_[t].child[side] = lift(c, 1 - side);
    return lift(t, side);
  }

  uint32_t new_node(uint32_t item) {
    nodes_.push_back(Node{item});
    const auto t = static_cast<uint32_t>(nodes_.size() - 1);
    update(t);
    return t;
  }

  // Inserts `v` before the first item of `t` it is less than, else last.
  uint32_t insert_first_above(uint32_t t, uint32_t v) {
    step();
    if (t == kNone) return new_node(v);
    uint32_t sub;
    int side = 0;
    if (any_above(left(t), v)) {
      sub = insert_first_above(left(t), v);
    } else if (less(v, nodes_[t].item)) {
      sub = insert_last(left(t), v);
    } else {
      sub = insert_first_above(right(t), v);
      side = 1;
    }
    nodes_[t].child[side] = sub;
    return rebalance(t);
  }

  uint32_t insert_last(uint32_t t, uint32_t v) {
    step();
    if (t == kNone) return new_node(v);
    const uint32_t sub = insert_last(right(t), v);
    nodes_[t].child[1] = sub;
    return rebalance(t);
  }

  void step() {
    if (!tally_.add(kTreeStepSteps)) [[unlikely]]
      refused_ = true;
  }

  std::vector<Keys> keys_;
  std::vector<Node> nodes_;
  uint32_t root_ = kNone;
  VmWorkTally& tally_;
  bool refused_ = false;
};

}  // namespace

bool is_mixed_number(const VmValue& v) {
  switch (v.kind()) {
    case VmKind::Bool:
    case VmKind::Decimal:
      return true;
    case VmKind::Int:
      return v.int_is_small() || decimal_from_vm_value(v).ok();
    case VmKind::Float: {
      const double x = v.float_value();
      // Below 10^60 every finite double converts; the conversion decides beyond.
      return std::isfinite(x) && (std::fabs(x) < 1e60 || decimal_from_vm_value(v).ok());
    }
    default:
      return false;
  }
}

bool sort_mixed_numbers(std::vector<VmValue>& values, VmWorkTally& tally) {
  // The keys first: each holds a decimal of its own, made as a buffer is.
  if (!tally.add(kVmBufferSteps * uint64_t{values.size()})) return false;
  std::vector<Keys> keys;
  keys.reserve(values.size());
  for (const VmValue& v : values) keys.push_back(keys_of(v));
  InsertionTree tree(std::move(keys), tally);
  for (size_t i = 0; i < values.size(); ++i) {
    if (!tree.insert(static_cast<uint32_t>(i))) return false;
  }
  std::vector<VmValue> out;
  out.reserve(values.size());
  for (const uint32_t i : tree.items_in_order()) out.push_back(std::move(values[i]));
  values = std::move(out);
  return true;
}

}  // namespace veln
