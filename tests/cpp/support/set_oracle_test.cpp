// The set reference of set_oracle/ checked on the outcomes its definitions
// name outright, then the randomized differential of the engine against it
// (set_differential.hpp) over a fixed set of seeds and rounds, so every run
// makes the same calls.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <limits>
#include <random>

#include "set_differential.hpp"
#include "value_builders.hpp"

namespace veln {
namespace {

using namespace value_builders;
namespace oracle = set_oracle;

std::string normalized(std::vector<VmValue> items) {
  const auto r = oracle::normalize(items);
  return r.ok() ? oracle::set_value(VmKind::Set, *r).python_repr() : "error: " + r.error().message;
}

TEST(SetOracle, KeepsTheLeastKeyedOfEqualItemsInKeyOrder) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  EXPECT_EQ(normalized({I(3), I(1), I(2)}), "{1, 2, 3}");
  EXPECT_EQ(normalized({F(10.0), F(9.0), F(-1.0), F(0.5)}), "{-1.0, 0.5, 10.0, 9.0}");
  EXPECT_EQ(normalized({F(1e16), F(2.0), F(1.5e16), F(1e-5)}), "{1.5e16, 1e-5, 1e16, 2.0}");
  EXPECT_EQ(normalized({I(2), S("a"), VmValue::none(), F(1.5), Tuple({I(1)}), Bytes("x"), B(true)}),
            "{None, True, 2, 1.5, a, b'x', (1,)}");
  EXPECT_EQ(normalized({I(1), B(true)}), "{True}");
  EXPECT_EQ(normalized({F(1.0), D("1")}), normalized({D("1")}));
  EXPECT_EQ(normalized({F(0.0), F(-0.0)}), "{-0.0}");
  EXPECT_EQ(normalized({F(nan), S("a")}), "{NaN, a}");
  EXPECT_EQ(normalized({I(1), F(nan)}), "error: cannot compare NaN values");
  EXPECT_EQ(normalized({Tuple({ByteArray("a")})}), "error: unhashable type: 'bytearray'");
  // The scan stops at the first equal stored value: the int 0 at the first
  // place takes the last decimal 0, so 1e-31 stays.
  EXPECT_EQ(normalized({F(1e-40), F(1e-31), I(0), D("0"), I(0), D("0")}), "{0, 0, 1e-31}");
}

TEST(SetOracle, ComparesNumbersThroughDoublesAndDecimals) {
  const auto eq = [](const VmValue& a, const VmValue& b) {
    const auto r = oracle::equal(a, b);
    return r.ok() ? std::string(*r ? "true" : "false") : "error: " + r.error().message;
  };
  mpz_class two53;
  mpz_ui_pow_ui(two53.get_mpz_t(), 2, 53);
  EXPECT_EQ(eq(VmValue::integer(two53 + 1), F(std::ldexp(1.0, 53))), "true");
  EXPECT_EQ(eq(VmValue::integer(two53 + 1), VmValue::integer(two53)), "false");
  EXPECT_EQ(eq(D("0.1"), F(0.1)), "true");
  EXPECT_EQ(eq(F(1e-40), D("0")), "true");
  EXPECT_EQ(eq(F(1e-40), I(0)), "false");
  EXPECT_EQ(eq(F(std::nan("")), D("1")), "error: invalid decimal literal 'NaN'");
  EXPECT_EQ(eq(D("1.5"), S("1.5")), "false");
  EXPECT_EQ(eq(Bytes("ab"), ByteArray("ab")), "true");
  EXPECT_EQ(eq(Set({I(1)}), FrozenSet({F(1.0)})), "true");
  EXPECT_EQ(eq(List({I(1)}), Tuple({I(1)})), "false");
  const auto sorted = oracle::builtin("sorted", std::vector<VmValue>{List({I(3), F(1.0), I(2), I(1)})});
  EXPECT_EQ(sorted->python_repr(), "[1.0, 1, 2, 3]");
  EXPECT_EQ(oracle::builtin("max", std::vector<VmValue>{List({I(3), F(3.0)})})->diagnostic_text(), "Int(3)");
}

TEST(SetOracle, RenormalisesTheWholeSetOnAdd) {
  const VmValue s = Set(*oracle::normalize(std::vector<VmValue>{Tuple({F(1.5e-31)}), Tuple({F(-0.0)}),
                                                                Tuple({D("0")}), Tuple({B(false)})}));
  const std::vector<VmValue> five{Tuple({I(5)})};
  EXPECT_EQ(oracle::call_method(s, "add", five)->receiver.python_repr(), "{(False,), (5,)}");
  EXPECT_EQ(oracle::call_method(Set({I(1)}), "remove", std::vector<VmValue>{Tuple({})}).error().message, "()");
}

// 32 random bits from a generator whose sequence the standard fixes.
class SeededChoices : public set_differential::Choices {
 public:
  explicit SeededChoices(uint32_t seed) : rng_(seed) {}
  uint32_t next() override { return static_cast<uint32_t>(rng_()); }

 private:
  std::mt19937 rng_;
};

TEST(SetOracle, EngineAgreesWithTheReference) {
  constexpr uint32_t kSeeds = 8, kRoundsPerSeed = 40, kOpsPerRound = 40;
  size_t reported = 0, values = 0, errors = 0;
  for (uint32_t seed = 1; seed <= kSeeds; ++seed) {
    SeededChoices choices(seed);
    for (uint32_t round = 0; round < kRoundsPerSeed; ++round) {
      set_differential::Round r(choices);
      for (const std::string& fault : r.run(kOpsPerRound)) {
        if (++reported <= 20) ADD_FAILURE() << "seed " << seed << " round " << round << ": " << fault;
      }
      values += r.tally().values;
      errors += r.tally().errors;
    }
  }
  EXPECT_EQ(reported, 0u);
  // Most outcomes must be values: a differential drowned in errors (NaN
  // everywhere, unhashable items) would compare little.
  EXPECT_GT(values, 2 * errors) << values << " values, " << errors << " errors";
  std::printf("%zu outcomes compared, %zu of them errors\n", values + errors, errors);
}

}  // namespace
}  // namespace veln
