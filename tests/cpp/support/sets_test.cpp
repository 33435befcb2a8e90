// Set keys, canonical sets and set algebra: the cases of support/sets.cases,
// CPython's order of float sets (gen_value_ordering.py), and the sorted paths
// against the standalone reference of the scans (set_oracle/set_scans.hpp)
// on many generated inputs: which comparisons run, which item survives,
// which error comes first; the searches of set.add and set.discard likewise,
// in one span and through the pieces of pending edits.
#include <gtest/gtest.h>

#include <bit>
#include <limits>
#include <cmath>
#include <random>
#include <sstream>

#include "case_file.hpp"
#include "interpreter_support/native_methods.hpp"
#include "interpreter_support/sets/set_algebra.hpp"
#include "interpreter_support/sets/set_edits.hpp"
#include "interpreter_support/sets/set_facts.hpp"
#include "interpreter_support/sets/set_keys.hpp"
#include "set_oracle/set_scans.hpp"
#include "values/float_text.hpp"

namespace veln {
namespace {

using namespace cases;
namespace oracle = set_oracle;

// The outcome of the library, which must equal that of the scan.
template <class T>
Outcome as_scan(const VmResult<T>& got, const VmResult<T>& scan) {
  const Outcome a = outcome(got), b = outcome(scan);
  const std::string ta = a.ok() ? to_value(*a).diagnostic_text() : "error: " + a.error().message;
  const std::string tb = b.ok() ? to_value(*b).diagnostic_text() : "error: " + b.error().message;
  if (ta != tb) return vm_error("differs from the scan: " + ta + " vs " + tb);
  return a;
}

std::span<const VmValue> items(const Case& c, size_t i) { return c[i].items(); }

template <class R, class Scan>
CaseFunction algebra(R (*f)(std::span<const VmValue>, std::span<const VmValue>), Scan scan) {
  return [f, scan](const Case& c) { return as_scan(f(items(c, 0), items(c, 1)), scan(items(c, 0), items(c, 1))); };
}

CaseFunction built(VmKind kind, VmResult<std::vector<VmValue>> (*f)(std::span<const VmValue>, std::span<const VmValue>)) {
  return [kind, f](const Case& c) -> Outcome {
    VELN_TRY(std::vector<VmValue> raw, f(items(c, 0), items(c, 1)));
    VELN_TRY(std::vector<VmValue> canonical, normalize_set_items(std::move(raw)));
    return outcome(VmValue::make_sequence(kind, std::move(canonical)));
  };
}

TEST(SetAlgebra, Cases) {
  run_case_file(
      "support/sets.cases",
      {
          {"normalize",
           [](const Case& c) {
             const std::vector<VmValue> input(items(c, 0).begin(), items(c, 0).end());
             return as_scan(normalize_set_items(input), oracle::normalize(input));
           }},
          {"key_compare", [](const Case& c) { return outcome(static_cast<int>(vm_set_key_compare(c[0], c[1]))); }},
          {"float_key_text", [](const Case& c) { return outcome(vm_float_key_text(c[0].float_value())); }},
          {"set_key",
           [](const Case& c) -> Outcome {
             VELN_CHECK(vm_check_hashable(c[0]));
             VELN_CHECK(vm_set_key(c[0]));
             if (!vm_set_key_variant(c[0].kind())) return vm_error("no key variant");
             return outcome(VmValue::none());
           }},
          {"subset", algebra(set_is_subset, oracle::is_subset)},
          {"union", [](const Case& c) { return outcome(set_union_values(items(c, 0), items(c, 1))); }},
          {"union_set", built(VmKind::Set, &set_union_values)},
          {"symmetric_set", built(VmKind::FrozenSet, set_symmetric_difference_values)},
          {"intersection", algebra(set_intersection_values, oracle::intersection)},
          {"difference", algebra(set_difference_values, oracle::difference)},
          {"symmetric_difference", algebra(set_symmetric_difference_values, oracle::symmetric_difference)},
          {"contains",
           [](const Case& c) { return as_scan(set_contains(items(c, 0), c[1]), oracle::found_in(items(c, 0), c[1])); }},
          {"items_equal", [](const Case& c) { return outcome(set_items_equal(items(c, 0), items(c, 1))); }},
      });
}

// "floatset <bits,...> <canonical bits,...|error>" from CPython's set order.
TEST(SetAlgebra, FloatSetsMatchCPythonOrder) {
  const auto floats = [](const std::string& list) {
    std::vector<VmValue> out;
    std::istringstream parts(list);
    for (std::string bits; std::getline(parts, bits, ',');)
      out.push_back(VmValue::float64(std::bit_cast<double>(std::stoull(bits, nullptr, 16))));
    return out;
  };
  size_t checked = 0;
  for (const auto& row : data_rows("value_ordering.txt")) {
    if (row[0] != "floatset") continue;
    const auto got = normalize_set_items(floats(row[1]));
    const std::string want = row[2] == "error" ? "error: cannot compare NaN values"
                                               : to_value(floats(row[2])).diagnostic_text();
    ASSERT_EQ(got.ok() ? to_value(*got).diagnostic_text() : "error: " + got.error().message, want) << row[1];
    ++checked;
  }
  EXPECT_GT(checked, 1000u);
}

// Floats around the edges of the display forms (2^53, 1e16, 1e-4, zero
// of either sign, the smallest and largest magnitudes, inf, NaN) and their
// neighbours, among plain and random ones.
double hostile_float(std::mt19937_64& rng) {
  const double inf = std::numeric_limits<double>::infinity();
  const double edges[] = {0.0, 1e-4, 9.999999999999999e-05, 1e16, 9999999999999998.0, 9007199254740992.0,
                          9007199254740994.0, 0.1, 1.0, 10.0, 9.5, 99.99, 100.0, 1e15, 123.456, 0.5,
                          9007199254740993.0, 0.9999999999999999, 1e17, 1.5e16, 2e16, 1e-5, 1.5e-5, 5e-324,
                          2.2250738585072014e-308, 1.7976931348623157e308, 1e300, 1e22, inf, std::nan(""),
                          1.0000000000000002, 9.999999999999998, 99999999999999.98};
  const double sign = rng() % 2 ? -1.0 : 1.0;
  switch (rng() % 6) {
    case 0:
      return edges[rng() % std::size(edges)] * sign;
    case 1:
      return std::nextafter(edges[rng() % std::size(edges)], rng() % 2 ? 0.0 : inf) * sign;
    case 2:
      return static_cast<double>(rng() % 100000) / std::pow(10.0, static_cast<double>(rng() % 8));
    case 3:
      return static_cast<double>(rng() >> (rng() % 64));
    case 4:
      return std::bit_cast<double>(rng());
    default:
      return std::ldexp(static_cast<double>(rng() % 1000), static_cast<int>(rng() % 80) - 40);
  }
}

// Float keys are compared, and written as key bytes, without formatting
// where the display form allows: both must agree with the display texts.
TEST(SetAlgebra, FloatKeysFollowTheirTexts) {
  std::mt19937_64 rng(29);
  const auto draw = [&] { return hostile_float(rng); };
  const auto text_order = [](double a, double b) {
    const int c = float_display_text(a).compare(float_display_text(b));
    return (c > 0) - (c < 0);
  };
  for (int round = 0; round < 200000; ++round) {
    const double a = draw(), b = draw();
    ASSERT_EQ(static_cast<int>(vm_set_key_compare(VmValue::float64(a), VmValue::float64(b))), text_order(a, b))
        << float_display_text(a) << " vs " << float_display_text(b);
    const int probed = VmFloatKeyProbe(b).compare_item(a);
    ASSERT_EQ((probed > 0) - (probed < 0), text_order(a, b)) << float_display_text(a) << " vs " << float_display_text(b);
    std::string bytes;
    ASSERT_TRUE(vm_append_set_key_bytes(bytes, VmValue::float64(a)));
    ASSERT_EQ(bytes.substr(1), float_display_text(a) + std::string(1, '\0'));
  }
}

// Int key bytes are written from the limbs: their order must be the ints'
// (signs, byte counts around limb edges, and against small ints).
TEST(SetAlgebra, IntKeyBytesFollowTheInts) {
  std::mt19937_64 rng(31);
  const auto draw = [&] {
    mpz_class z(static_cast<unsigned long>(rng()));
    for (int limbs = static_cast<int>(rng() % 4); limbs > 0; --limbs) z = (z << 64) + static_cast<unsigned long>(rng());
    z >>= static_cast<unsigned long>(rng() % 64);
    if (rng() % 2) z = -z;
    return VmValue::integer(z);
  };
  const auto bytes_of = [](const VmValue& v) {
    std::string bytes;
    EXPECT_TRUE(vm_append_set_key_bytes(bytes, v));
    return bytes;
  };
  for (int round = 0; round < 100000; ++round) {
    const VmValue a = draw(), b = round % 3 ? draw() : a;
    const int c = bytes_of(a).compare(bytes_of(b));
    ASSERT_EQ(static_cast<int>(vm_set_key_compare(a, b)), (c > 0) - (c < 0)) << a.python_repr() << " vs " << b.python_repr();
  }
}

// --- generated inputs: sorted paths against the scans --------------------

class Generator {
 public:
  explicit Generator(uint32_t seed) : rng_(seed) {}

  size_t below(size_t n) { return std::uniform_int_distribution<size_t>(0, n - 1)(rng_); }

  VmValue item(VmKind kind, size_t spread) {
    const int64_t centred = static_cast<int64_t>(below(spread)) - static_cast<int64_t>(spread / 2);
    switch (kind) {
      case VmKind::Bool:
        return VmValue::boolean(below(2) == 1);
      case VmKind::Int:
        if (below(8) == 0) return VmValue::integer(mpz_class((mpz_class(centred) << 70) + centred));
        return VmValue::integer(centred);
      case VmKind::Decimal:
        return V("Decimal('" + std::to_string(static_cast<int64_t>(below(spread)) - 20) + "." +
                 std::to_string(below(4)) + "')");
      case VmKind::Float: {
        const double pool[] = {0.0, -0.0, 1.0, -1.0, 0.5, 2.0, 10.0, 9.0, 1e16, 1e-5, 1.5e300, -2.5, 100.0, 3.25};
        if (below(3) == 0) return VmValue::float64(pool[below(std::size(pool))]);
        return VmValue::float64(static_cast<double>(centred) / 4.0);
      }
      case VmKind::DateTime:
        return VmValue::datetime(*VmDateTime::from_day_time(static_cast<int64_t>(below(4)),
                                                            static_cast<uint32_t>(below(3)),
                                                            static_cast<uint32_t>(below(spread) * 700)));
      case VmKind::TimeDelta:
        return VmValue::timedelta_seconds(centred);
      case VmKind::String:
      case VmKind::Bytes: {
        std::string text;
        for (size_t i = below(4); i > 0; --i) text.push_back("aAb\xc3\xa9\x01"[below(6)]);
        return *VmValue::make_text(kind, std::move(text));
      }
      default:
        return VmValue::none();
    }
  }

  std::vector<VmValue> items(VmKind kind, size_t n, size_t spread) {
    std::vector<VmValue> out;
    for (size_t i = 0; i < n; ++i) out.push_back(item(kind, spread));
    return out;
  }

  void insert_somewhere(std::vector<VmValue>& into, VmValue v) {
    into.insert(into.begin() + static_cast<ptrdiff_t>(below(into.size() + 1)), std::move(v));
  }

 private:
  std::mt19937 rng_;
};

constexpr VmKind kPlainKinds[] = {VmKind::None,      VmKind::Bool,      VmKind::Int,    VmKind::Decimal, VmKind::Float,
                                  VmKind::DateTime, VmKind::TimeDelta, VmKind::String, VmKind::Bytes};

void expect_same(const Outcome& got, const std::string& context) {
  ASSERT_TRUE(got.ok() || got.error().message.rfind("differs from the scan", 0) != 0)
      << got.error().message << "\n" << context;
}

std::string show(const std::vector<VmValue>& items) { return to_value(items).diagnostic_text(); }

// The four algebra operations of a and b, and normalisation of a.
void expect_algebra_matches_scans(const std::vector<VmValue>& a, const std::vector<VmValue>& b) {
  const std::string context = "a " + show(a) + "\nb " + show(b);
  expect_same(as_scan(set_difference_values(a, b), oracle::difference(a, b)), "difference " + context);
  expect_same(as_scan(set_intersection_values(a, b), oracle::intersection(a, b)), "intersection " + context);
  expect_same(as_scan(set_symmetric_difference_values(a, b), oracle::symmetric_difference(a, b)), "symmetric " + context);
  expect_same(as_scan(set_is_subset(a, b), oracle::is_subset(a, b)), "subset " + context);
  expect_same(as_scan(normalize_set_items(a), oracle::normalize(a)), "normalize " + context);
}

// Items laid out as those of a set with pending edits lie: runs of one to
// three items, every other run in a second vector.
struct Pieced {
  std::vector<VmValue> stored, added;
  std::vector<VmItemsView::Piece> pieces;
  explicit Pieced(const std::vector<VmValue>& items) {
    for (size_t i = 0, k = 0; i < items.size(); ++k) {
      std::vector<VmValue>& to = k % 2 == 0 ? stored : added;
      const auto from = static_cast<uint32_t>(to.size()) | (k % 2 == 0 ? 0 : VmItemsView::Piece::kAdded);
      for (size_t n = 1 + k % 3; n > 0 && i < items.size(); --n) to.push_back(items[i++]);
      pieces.push_back(VmItemsView::Piece{static_cast<uint32_t>(i), from});
    }
  }
  VmItemsView view() const { return VmItemsView(stored.data(), added.data(), pieces); }
};

// Membership, set.add and set.discard of x in canonical items, searched in
// one span and through pieces, against the scans: normalising the items
// followed by x, and their difference with [x].
void expect_edits_match_scans(const std::vector<VmValue>& set, const VmValue& x) {
  const std::string context = show(set) + " with " + x.diagnostic_text();
  const Pieced pieced(set);
  expect_same(as_scan(set_contains(pieced.view(), x), oracle::found_in(set, x)), "contains " + context);
  if (auto found = set_contains_by_order(pieced.view(), x))
    expect_same(as_scan(*found, oracle::found_in(set, x)), "contains by order " + context);
  std::vector<VmValue> grown = set;
  grown.push_back(x);
  const auto added = oracle::normalize(grown);
  const auto discarded = oracle::difference(set, std::span<const VmValue>(&x, 1));
  // The facts a set keeps about its items, as set.add and set.discard pass them.
  const VmValue kept = *VmValue::make_set(set);
  const bool settled = set_items_settled(kept, VmItemsView(set));
  const bool plain = set_items_plain(kept);
  const bool tame = set_items_tame(kept);
  const bool plain_sets = set_items_plain_sets(kept);
  if (auto found = set_contains_by_order(pieced.view(), x, nullptr, settled, plain, tame, plain_sets))
    expect_same(as_scan(*found, oracle::found_in(set, x)), "contains with facts " + context);
  // The single edits search only sets whose facts allow it (set_edits.hpp);
  // the others are normalised whole or scanned, as set.add and set.discard
  // do.
  if (!set.empty() && !set_items_apart(kept)) {
    const auto items_after = [&](const char* method) -> VmResult<std::vector<VmValue>> {
      VELN_TRY(const NativeMethodOutcome done, call_native_method(kept, method, std::span<const VmValue>(&x, 1), {}));
      return std::vector<VmValue>(done.receiver.items().begin(), done.receiver.items().end());
    };
    expect_same(as_scan(items_after("add"), added), "add by the method " + context);
    expect_same(as_scan(items_after("discard"), discarded), "discard by the method " + context);
    return;
  }
  for (const VmItemsView view : {VmItemsView(set), pieced.view()}) {
    if (auto at = set_insertion(view, x, nullptr, settled, plain, tame, plain_sets)) {
      VmResult<std::vector<VmValue>> got = at->ok() ? VmResult<std::vector<VmValue>>(set) : at->error();
      if (at->ok() && (*at)->kind == SetInsertion::Kind::Replace) got->erase(got->begin() + static_cast<ptrdiff_t>((*at)->from));
      if (at->ok() && (*at)->kind != SetInsertion::Kind::Present) got->insert(got->begin() + static_cast<ptrdiff_t>((*at)->to), x);
      expect_same(as_scan(got, added), "add with facts " + context);
    }
    if (auto at = set_removal_position(view, x, nullptr, settled, plain, tame, plain_sets)) {
      std::vector<VmValue> rest = set;
      if (*at) rest.erase(rest.begin() + static_cast<ptrdiff_t>(**at));
      expect_same(as_scan(VmResult<std::vector<VmValue>>(std::move(rest)), discarded), "discard with facts " + context);
    }
    if (auto at = set_insertion(view, x)) {
      VmResult<std::vector<VmValue>> got = at->ok() ? VmResult<std::vector<VmValue>>(set) : at->error();
      if (at->ok() && (*at)->kind == SetInsertion::Kind::Replace) got->erase(got->begin() + static_cast<ptrdiff_t>((*at)->from));
      if (at->ok() && (*at)->kind != SetInsertion::Kind::Present) got->insert(got->begin() + static_cast<ptrdiff_t>((*at)->to), x);
      expect_same(as_scan(got, added), "add " + context);
    }
    if (auto at = set_removal_position(view, x)) {
      std::vector<VmValue> rest = set;
      if (*at) rest.erase(rest.begin() + static_cast<ptrdiff_t>(**at));
      expect_same(as_scan(VmResult<std::vector<VmValue>>(std::move(rest)), discarded), "discard " + context);
    }
  }
}

TEST(SetAlgebra, NormalisationMatchesTheScan) {
  Generator gen(7);
  const VmKind numeric[] = {VmKind::Bool, VmKind::Int, VmKind::Decimal, VmKind::Float};
  for (int round = 0; round < 2150; ++round) {
    std::vector<VmValue> input;
    if (round < 1350) {  // one kind per round, NaN now and then among floats
      const VmKind kind = kPlainKinds[round / 150];
      input = gen.items(kind, gen.below(40), 1 + gen.below(30));
      if (kind == VmKind::Float && gen.below(20) == 0) gen.insert_somewhere(input, V("nan"));
    } else if (round < 1750) {  // bools among ints
      for (size_t i = gen.below(20); i > 0; --i) input.push_back(gen.item(gen.below(3) ? VmKind::Int : VmKind::Bool, 6));
    } else {  // all numeric kinds
      for (size_t i = gen.below(12); i > 0; --i) input.push_back(gen.item(numeric[gen.below(4)], 8));
    }
    expect_same(as_scan(normalize_set_items(input), oracle::normalize(input)), show(input));
  }
}

// Frozensets of several sizes whose leaves are None, texts, bools, ints and
// floats (integral or not, -0.0), so that equal ones hold other kinds.
TEST(SetAlgebra, PlainFrozensetsMatchTheScans) {
  std::mt19937_64 rng(41);
  const auto leaf = [&] {
    const auto v = static_cast<int64_t>(rng() % 5) - 1;
    switch (rng() % 6) {
      case 0: return VmValue::boolean(v > 0);
      case 1: return VmValue::float64(v == 0 && rng() % 2 ? -0.0 : static_cast<double>(v));
      case 2: return VmValue::float64(static_cast<double>(v) + 0.5);
      case 3: return rng() % 4 ? VmValue::str(std::string(1, static_cast<char>('a' + v + 1))) : VmValue::none();
      default: return VmValue::integer(v);
    }
  };
  const auto frozenset = [&] {
    std::vector<VmValue> leaves;
    for (size_t i = rng() % 4; i > 0; --i) leaves.push_back(leaf());
    return *VmValue::make_frozenset(*normalize_set_items(std::move(leaves)));
  };
  for (int round = 0; round < 400; ++round) {
    std::vector<VmValue> input;
    for (size_t i = rng() % 20; i > 0; --i) input.push_back(rng() % 8 ? frozenset() : leaf());
    const auto canonical = normalize_set_items(input);
    expect_same(as_scan(canonical, oracle::normalize(input)), show(input));
    if (!canonical.ok()) continue;
    for (int k = 0; k < 6; ++k) expect_edits_match_scans(*canonical, frozenset());
  }
}

TEST(SetAlgebra, TuplesMatchTheScans) {
  Generator gen(23);
  // One shape per round (sorted path), or shapes mixing kinds at a position
  // (the scan: (1,) and (True,) or (1.0,) are value-equal with other keys).
  const std::vector<std::vector<VmKind>> shapes = {
      {VmKind::Int, VmKind::String}, {VmKind::Bytes}, {VmKind::Decimal, VmKind::TimeDelta, VmKind::Bool},
      {VmKind::None, VmKind::Int}, {}, {VmKind::Float, VmKind::Int}, {VmKind::DateTime}, {VmKind::Int}};
  for (int round = 0; round < 300; ++round) {
    const auto& shape = shapes[gen.below(shapes.size())];
    const bool nested = gen.below(4) == 0;
    const auto tuple_of_shape = [&] {
      std::vector<VmValue> items;
      for (VmKind k : shape) items.push_back(gen.item(k, 4));
      if (!shape.empty() && nested) items[0] = *VmValue::make_tuple({items[0]});
      return *VmValue::make_tuple(std::move(items));
    };
    std::vector<VmValue> input;
    for (size_t i = gen.below(30); i > 0; --i) {
      if (round % 3 == 0) input.push_back(*VmValue::make_tuple({gen.item(kPlainKinds[gen.below(9)], 3)}));
      else input.push_back(tuple_of_shape());
    }
    // A second operand of the same shape (the sorted probe), with needles
    // of other shapes mixed in.
    std::vector<VmValue> other;
    for (size_t i = gen.below(30); i > 0; --i) other.push_back(tuple_of_shape());
    if (round % 4 == 1 && !input.empty()) other.push_back(V("(1.0,)"));
    if (round % 4 == 2) other.push_back(VmValue::integer(1));
    expect_algebra_matches_scans(other, input);
    const auto canonical = normalize_set_items(input);
    expect_same(as_scan(canonical, oracle::normalize(input)), show(input));
    if (canonical.ok())
      for (const VmValue& needle : other) expect_edits_match_scans(*canonical, needle);
  }
}

// Sets of floats near the edges of the display forms, alone or among ints,
// built, searched and edited as the scans do; some sets are all positional
// texts, some not.
TEST(SetAlgebra, HostileFloatSetsMatchTheScans) {
  std::mt19937_64 rng(31);
  for (int round = 0; round < 300; ++round) {
    std::vector<VmValue> input;
    for (size_t i = rng() % 40; i > 0; --i) {
      double x = hostile_float(rng);
      if (round % 2 == 0 && !vm_float_text_positional(x)) x = std::ldexp(static_cast<double>(rng() % 4096), 3) + 0.25;
      if (std::isnan(x) && rng() % 4 != 0) x = -0.0;
      input.push_back(VmValue::float64(x));
      if (round % 3 == 1) input.push_back(VmValue::integer(static_cast<int64_t>(rng() % 64) - 32));
    }
    const auto canonical = normalize_set_items(input);
    expect_same(as_scan(canonical, oracle::normalize(input)), show(input));
    if (!canonical.ok()) continue;
    for (int k = 0; k < 4; ++k) {
      const VmValue needle = k == 0 && !input.empty() ? input[rng() % input.size()] : VmValue::float64(hostile_float(rng));
      expect_same(as_scan(set_contains(*canonical, needle), oracle::found_in(*canonical, needle)),
                  "contains " + needle.diagnostic_text() + " in " + show(*canonical));
      expect_edits_match_scans(*canonical, needle);
      const VmValue whole = VmValue::integer(static_cast<int64_t>(rng() % 64));
      expect_edits_match_scans(*canonical, whole);
    }
  }
}

TEST(SetAlgebra, OneKindMatchesTheScans) {
  Generator gen(13);
  for (VmKind kind : kPlainKinds) {
    for (int round = 0; round < 120; ++round) {
      const size_t spread = 1 + gen.below(40);
      std::vector<VmValue> a = *oracle::normalize(gen.items(kind, gen.below(60), spread));
      std::vector<VmValue> b = *oracle::normalize(gen.items(kind, gen.below(60), spread));
      if (round % 5 == 0) a = gen.items(kind, gen.below(60), spread);  // any sequence, not only sets
      if (round % 4 == 1) {  // a inside b, so that every needle finds its match
        a.clear();
        for (const VmValue& item : b)
          if (gen.below(2) == 0) a.push_back(item);
      }
      if (kind == VmKind::Float && round % 3 == 0) {
        const size_t at[] = {0, b.size(), gen.below(b.size() + 1)};
        b.insert(b.begin() + static_cast<ptrdiff_t>(at[gen.below(3)]), V("nan"));
      }
      if (kind == VmKind::Float && round % 11 == 0) gen.insert_somewhere(a, V("nan"));
      expect_algebra_matches_scans(a, b);
      // Needles of every plain kind against a canonical one-kind set.
      const auto canonical = normalize_set_items(b);
      if (!canonical.ok()) continue;
      for (VmKind needle_kind : kPlainKinds) {
        const VmValue needle = gen.item(needle_kind, spread);
        expect_same(as_scan(set_contains(*canonical, needle), oracle::found_in(*canonical, needle)),
                    "contains " + needle.diagnostic_text() + " in " + show(*canonical));
        expect_edits_match_scans(*canonical, needle);
      }
      const auto other = normalize_set_items(a);
      if (other.ok()) {
        const auto want = other->size() != canonical->size() ? VmResult<bool>(false) : oracle::is_subset(*other, *canonical);
        expect_same(as_scan(set_items_equal(*other, *canonical), want), "equal " + show(*other));
      }
    }
  }
}

TEST(SetAlgebra, MixedKindsMatchTheScans) {
  Generator gen(17);
  for (int round = 0; round < 1500; ++round) {
    std::vector<VmValue> a, b;
    for (size_t i = gen.below(20); i > 0; --i) a.push_back(gen.item(kPlainKinds[gen.below(9)], 6));
    for (size_t i = gen.below(20); i > 0; --i) b.push_back(gen.item(kPlainKinds[gen.below(9)], 6));
    // Errors in one class or another, and unhashable items, at any position.
    if (round % 3 == 0) gen.insert_somewhere(a, V("nan"));
    if (round % 5 == 0) gen.insert_somewhere(a, V(gen.below(2) ? "[]" : "bytearray(b'a')"));
    if (round % 7 == 0) gen.insert_somewhere(a, V("(nan,)"));
    if (round % 4 == 0) gen.insert_somewhere(a, V("(1, 'x')"));
    if (round % 4 == 1) gen.insert_somewhere(a, V("frozenset({1})"));
    expect_algebra_matches_scans(a, b);
  }
}

}  // namespace
}  // namespace veln
