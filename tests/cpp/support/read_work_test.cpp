// The work of operations that read values without building one of their
// size: each counts about a step per item it compares, hashes or scans and
// a step per 8 bytes of text it reads on the running request, and a long
// one stops within a batch of passing the request's allowance, its inputs
// as they were. Values are made before the request starts, so only the
// reading counts.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <numeric>
#include <random>
#include <string>

#include "allocation_counter.hpp"
#include "interpreter_support/binary_operators.hpp"
#include "interpreter_support/canonical_encoding.hpp"
#include "interpreter_support/compare_operators.hpp"
#include "interpreter_support/ed25519.hpp"
#include "interpreter_support/formatting.hpp"
#include "interpreter_support/membership.hpp"
#include "interpreter_support/native_methods.hpp"
#include "interpreter_support/sets/set_normalization.hpp"
#include "interpreter_support/subscripts.hpp"
#include "interpreter_support/value_equality.hpp"
#include "interpreter_support/value_iteration.hpp"
#include "value_builders.hpp"
#include "values/decimal_from_value.hpp"
#include "values/vm_request_budget.hpp"
#include "values/vm_work_tally.hpp"

namespace veln {
namespace {

using namespace value_builders;

constexpr uint64_t kItems = 100000;

VmValue ints(uint64_t n, int64_t value = 1) { return List(std::vector<VmValue>(n, I(value))); }

// A str of `unit` `n` times over.
VmValue repeated(std::string_view unit, uint64_t n) {
  std::string t;
  for (uint64_t i = 0; i < n; ++i) t += unit;
  return S(t);
}

// The steps `operation` counts on a metered request of its own.
template <class Operation>
uint64_t steps_of(Operation&& operation) {
  VmRequestBudgetScope request(true);
  const uint64_t before = request.budget().steps();
  operation();
  return request.budget().steps() - before;
}

// Runs `operation` on a metered request that has `left` steps of its
// allowance left; the steps counted past the allowance come back in `past`.
template <class Operation>
auto with_steps_left(uint64_t left, uint64_t& past, Operation&& operation) {
  VmRequestBudgetScope request(true);
  EXPECT_TRUE(request.budget().take_steps(kVmBaseWorkSteps - left));
  auto result = operation();
  past = request.budget().steps() > kVmBaseWorkSteps ? request.budget().steps() - kVmBaseWorkSteps : 0;
  return result;
}

template <class T>
void expect_work_refusal(const VmResult<T>& result) {
  ASSERT_FALSE(result.ok());
  EXPECT_EQ(result.error().message, kVmWorkMessage);
}

TEST(ReadWork, NothingCountsOutsideARequest) {
  const VmValue l = ints(kItems);
  const VmValue m = ints(kItems);
  ASSERT_EQ(vm_request_budget(), nullptr);
  EXPECT_TRUE(*vm_values_equal(l, m));
  EXPECT_FALSE(*contains_value(l, I(2)));
}

TEST(ReadWork, EqualityCountsTheItemsItCompares) {
  const VmValue l = ints(kItems);
  const VmValue m = ints(kItems);
  std::vector<VmValue> early(kItems, I(1));
  early[9] = I(2);
  const VmValue n = List(std::move(early));
  const uint64_t equal = steps_of([&] { EXPECT_TRUE(*vm_values_equal(l, m)); });
  EXPECT_GE(equal, kItems);
  EXPECT_LE(equal, kItems + 8);
  EXPECT_LE(steps_of([&] { EXPECT_FALSE(*vm_values_equal(l, n)); }), 16u);
  // Lists of other lengths are not read.
  // (The steps seen are those of making the shorter list.)
  EXPECT_LE(steps_of([&] { EXPECT_FALSE(*vm_values_equal(l, ints(kItems - 1))); }), kItems - 1 + kVmBufferSteps);
  // Nested containers: every item visited, at every level.
  const VmValue nested = List(std::vector<VmValue>(1000, Tuple({I(1), I(2), I(3)})));
  const VmValue nested_too = List(std::vector<VmValue>(1000, Tuple({I(1), I(2), I(3)})));
  EXPECT_GE(steps_of([&] { EXPECT_TRUE(*vm_values_equal(nested, nested_too)); }), 4000u);
  // Dicts: a search of the other's index per entry, and its probe (once
  // the other's index is built); past the allowance the comparison stops
  // within a batch.
  std::vector<VmDictPair> pairs;
  for (int64_t i = 0; i < 1000; ++i) pairs.push_back({I(i), I(i)});
  const VmValue d = Dict(pairs);
  const VmValue e = Dict(pairs);
  EXPECT_TRUE(*vm_values_equal(d, e));
  const uint64_t dicts = steps_of([&] { EXPECT_TRUE(*vm_values_equal(d, e)); });
  EXPECT_GE(dicts, 1000 * (kVmKeySearchSteps + 1));
  EXPECT_LE(dicts, 1000 * (kVmKeySearchSteps + 1) + 8);
  uint64_t past = 0;
  expect_work_refusal(with_steps_left(1000, past, [&] { return vm_values_equal(d, e); }));
  EXPECT_LE(past, kVmWorkBatch);
}

// Two values of about three million leaves that differ only in the last:
// one comparison reads them all, level by level, and stops within the
// check interval of the allowance wherever it is passed (no level here is
// long enough to take a batch of its own).
TEST(ReadWork, OneComparisonOfHugeNestedValuesStopsNearTheAllowance) {
  const VmValue leaf = Tuple(std::vector<VmValue>(100, I(0)));
  std::vector<VmValue> last_leaf(100, I(0));
  last_leaf.back() = I(1);
  const VmValue middle = List(std::vector<VmValue>(100, leaf));
  std::vector<VmValue> last_middle(100, leaf);
  last_middle.back() = Tuple(std::move(last_leaf));
  std::vector<VmValue> a(300, middle);
  std::vector<VmValue> b(300, List(std::vector<VmValue>(100, leaf)));
  b.back() = List(std::move(last_middle));
  const VmValue x = List(std::move(a));
  const VmValue y = List(std::move(b));
  EXPECT_GE(steps_of([&] { EXPECT_FALSE(*vm_values_equal(x, y)); }), 300u * 100 * 100);
  for (const uint64_t left : {uint64_t{1000}, uint64_t{1500000}}) {
    uint64_t past = 0;
    expect_work_refusal(with_steps_left(left, past, [&] { return vm_values_equal(x, y); }));
    EXPECT_LE(past, kVmWorkCheckInterval) << left;
  }
  // A key read whole by a lookup is refused before it is read.
  std::vector<VmDictPair> pairs;
  for (int64_t i = 0; i < 100; ++i) pairs.push_back({I(i), I(i)});
  pairs.push_back({x, I(-1)});
  const VmValue d = Dict(pairs);
  uint64_t past = 0;
  auto found = with_steps_left(1000, past, [&] { return d.dict_find_structural(y); });
  EXPECT_FALSE(found.has_value());
  EXPECT_LE(past, 2 * x.units());
}

TEST(ReadWork, TextsCountAStepPerEightBytesRead) {
  const std::string text(80000, 'a');
  const VmValue s = S(text);
  const VmValue t = S(text);
  const uint64_t eighths = text.size() / kVmTextBytesPerStep;
  EXPECT_EQ(steps_of([&] { EXPECT_TRUE(*vm_values_equal(s, t)); }), eighths);
  EXPECT_EQ(steps_of([&] { EXPECT_FALSE(*apply_compare_operator(CompareOperator::Lt, s, t)); }), eighths);
  // A search that finds nothing reads the whole text, whatever the needle.
  for (const char* needle : {"b", "ab", "aab", "abcabd"}) {
    const uint64_t steps = steps_of([&] { EXPECT_FALSE(*contains_value(s, S(needle))); });
    EXPECT_GE(steps, eighths / 2) << needle;
    EXPECT_LE(steps, 3 * eighths) << needle;
  }
  const VmValue b = Bytes(text);
  EXPECT_EQ(steps_of([&] { EXPECT_FALSE(*contains_value(b, I('b'))); }), eighths);
  const uint64_t found = steps_of([&] {
    auto r = call_native_method(s, "find", std::vector<VmValue>{S("b")}, {});
    EXPECT_EQ(r->value.small_int(), -1);
  });
  EXPECT_GE(found, eighths);
  EXPECT_LE(found, eighths + kVmBufferSteps + 2);  // and the needle's buffer
  EXPECT_EQ(steps_of([&] { EXPECT_TRUE(call_native_method(s, "isalpha", {}, {})->value.bool_value()); }), eighths);
  // Short texts take no step.
  const VmValue short_text = S("abcdefg");
  const VmValue short_too = S("abcdefg");
  EXPECT_EQ(steps_of([&] { EXPECT_TRUE(*vm_values_equal(short_text, short_too)); }), 0u);
}

// Work that goes by matches, pieces, fields or code points rather than by
// bytes: each counts a step apiece, however short, so a text of one
// repeated byte cannot make many of them for a few steps.
TEST(ReadWork, EveryMatchPieceAndCodePointCountsAStep) {
  constexpr uint64_t n = 40000;
  const VmValue a = S(std::string(n, 'a'));
  const VmValue ab = repeated("ab", n);
  const VmValue wide = repeated("\u00e9", n);
  const VmValue fields = repeated("{0}", n);
  const VmValue candidates = Tuple(std::vector<VmValue>(n, S("b")));
  const auto method = [](const VmValue& receiver, const char* name, std::vector<VmValue> args) {
    return [=] { EXPECT_TRUE(call_native_method(receiver, name, args, {}).ok()) << name; };
  };
  const auto reversed = [&] {
    EXPECT_TRUE(subscript_slice_value(wide, std::nullopt, std::nullopt, mpz_class(-1)).ok());
  };
  const auto formatted = [&] {
    const VmValue empty = S("");
    EXPECT_TRUE(render_simple_format(fields.text(), {&empty, 1}).ok());
  };
  const std::pair<const char*, std::function<void()>> rows[] = {
      {"replace shrinking", method(a, "replace", {S("a"), S("")})},
      {"replace in place", method(ab, "replace", {S("ab"), S("ab")})},
      {"replace growing", method(a, "replace", {S("a"), S("aa")})},
      {"replace between characters", method(a, "replace", {S(""), S("")})},
      {"startswith candidates", method(S("a"), "startswith", {candidates})},
      {"reversed code points", reversed},
      {"format fields", formatted},
  };
  for (const auto& [name, operation] : rows) EXPECT_GE(steps_of(operation), n) << name;
  // Growing needs the matches counted before the result is built, then
  // found again: a step each time.
  EXPECT_GE(steps_of(method(a, "replace", {S("a"), S("aa")})), 2 * n);
  // A long run of matches stops within a batch of passing the allowance.
  uint64_t past = 0;
  const std::vector<VmValue> to_nothing{S("a"), S("")};
  expect_work_refusal(with_steps_left(1000, past, [&] { return call_native_method(a, "replace", to_nothing, {}); }));
  EXPECT_LE(past, kVmWorkBatch);
}

// Conversions and checks that read a whole text count its bytes, and are
// refused (with their result unmade) when those pass the allowance.
TEST(ReadWork, ConversionsAndSignatureChecksCountTheirText) {
  const std::string digits(80000, '0');
  const uint64_t eighths = digits.size() / kVmTextBytesPerStep;
  const VmValue text = S(digits);
  EXPECT_GE(steps_of([&] { EXPECT_TRUE(decimal_from_vm_value(text).ok()); }), eighths);
  const std::vector<VmValue> verify_args{S("58" + std::string(62, '6')), text, S(std::string(128, '0'))};
  EXPECT_GE(steps_of([&] { EXPECT_FALSE(crypto_ed25519_verify(verify_args, {})->bool_value()); }), eighths);
  uint64_t past = 0;
  expect_work_refusal(with_steps_left(1000, past, [&] { return decimal_from_vm_value(text); }));
  expect_work_refusal(with_steps_left(1000, past, [&] { return crypto_ed25519_verify(verify_args, {}); }));
}

TEST(ReadWork, ScansCountAStepPerItem) {
  const VmValue l = ints(kItems);
  const std::vector<VmValue> two{I(2)};
  for (const auto& [name, steps] : std::initializer_list<std::pair<const char*, uint64_t>>{
           {"in", steps_of([&] { EXPECT_FALSE(*contains_value(l, I(2))); })},
           {"count", steps_of([&] { EXPECT_EQ(call_native_method(l, "count", two, {})->value.small_int(), 0); })},
           {"index", steps_of([&] { EXPECT_FALSE(call_native_method(l, "index", two, {}).ok()); })},
           {"remove", steps_of([&] { EXPECT_FALSE(call_native_method(l, "remove", two, {}).ok()); })},
       }) {
    EXPECT_GE(steps, kItems) << name;
    EXPECT_LE(steps, kItems + 8) << name;
  }
}

TEST(ReadWork, LongScansStopWithinABatchOfTheAllowance) {
  const VmValue l = ints(kItems);
  const VmValue m = ints(kItems);
  const std::string before = l.diagnostic_text();
  uint64_t past = 0;
  expect_work_refusal(with_steps_left(1000, past, [&] { return vm_values_equal(l, m); }));
  EXPECT_LE(past, kVmWorkBatch);
  expect_work_refusal(with_steps_left(1000, past, [&] { return contains_value(l, I(2)); }));
  EXPECT_LE(past, kVmWorkBatch);
  const std::vector<VmValue> two{I(2)};
  expect_work_refusal(with_steps_left(1000, past, [&] { return call_native_method(l, "count", two, {}); }));
  EXPECT_LE(past, kVmWorkBatch);
  EXPECT_EQ(l.diagnostic_text(), before);
  // Within the allowance the same operations answer.
  EXPECT_TRUE(*with_steps_left(kItems + kVmWorkBatch, past, [&] { return vm_values_equal(l, m); }));
  EXPECT_EQ(past, 0u);
}

TEST(ReadWork, SortingCountsItsComparisonsAndStopsPastTheAllowance) {
  std::vector<VmValue> shuffled;
  for (int64_t i = 0; i < static_cast<int64_t>(kItems); ++i) shuffled.push_back(I(i * 7919 % 100003));
  const uint64_t sorting = steps_of([&] { EXPECT_TRUE(sorted_values(shuffled).ok()); });
  EXPECT_GE(sorting, kItems * 10);  // n log n comparisons, about
  // Texts too, and past the allowance the sort stops where it is.
  std::vector<VmValue> texts;
  for (const VmValue& v : shuffled) texts.push_back(S(std::to_string(v.small_int())));
  uint64_t past = 0;
  expect_work_refusal(with_steps_left(1000, past, [&] { return sorted_values(texts); }));
  EXPECT_LE(past, kVmWorkBatch);
  expect_work_refusal(with_steps_left(1000, past, [&] { return sorted_values(shuffled); }));
  EXPECT_LE(past, kVmWorkBatch);
  // Decimals among ints and floats: the replay counts a buffer's steps per
  // key it makes, then its tree steps, and stops within a batch and one
  // insertion's path of the allowance.
  std::vector<VmValue> mixed;
  for (const VmValue& v : shuffled) {
    const int64_t i = v.small_int();
    mixed.push_back(i % 3 == 0 ? v : (i % 3 == 1 ? F(static_cast<double>(i) + 0.5) : D("2.25")));
  }
  EXPECT_GE(steps_of([&] { EXPECT_TRUE(sorted_values(mixed).ok()); }), kItems * (kVmBufferSteps + 20));
  expect_work_refusal(with_steps_left(kItems * kVmBufferSteps + 1000, past, [&] { return sorted_values(mixed); }));
  EXPECT_LE(past, kVmWorkBatch + 100);
  expect_work_refusal(with_steps_left(1000, past, [&] { return sorted_values(mixed); }));
}

// Where a sort meets the allowance must not move when the process is short
// of memory: no sort may take another path when a buffer it asks for
// without throwing is refused.
TEST(ReadWork, SortsCountTheSameWhenBuffersAreRefused) {
  std::vector<VmValue> ints, numbers, texts;
  for (int64_t i = 0; i < 20000; ++i) {
    ints.push_back(I(i * 7919 % 20011));
    numbers.push_back(i % 3 == 0 ? F(static_cast<double>(i % 977) + 0.5) : I(i * 31 % 1013));
    texts.push_back(S(std::to_string(i * 7919 % 20011)));
  }
  const auto counts = [&] {
    return std::vector<uint64_t>{
        steps_of([&] { EXPECT_TRUE(sorted_values(ints).ok()); }),
        steps_of([&] { EXPECT_TRUE(sorted_values(numbers).ok()); }),
        steps_of([&] { EXPECT_TRUE(sorted_values(texts).ok()); }),
        steps_of([&] { EXPECT_TRUE(normalize_set_items(numbers).ok()); }),
        steps_of([&] { EXPECT_TRUE(normalize_set_items(texts).ok()); }),
    };
  };
  const std::vector<uint64_t> plenty = counts();
  allocation_counter::g_refuse_nothrow_above = 4096;
  const std::vector<uint64_t> short_of_memory = counts();
  allocation_counter::g_refuse_nothrow_above = SIZE_MAX;
  EXPECT_EQ(plenty, short_of_memory);
}

TEST(ReadWork, KeysAreReadWholeOnEveryLookup) {
  const VmValue key = Tuple(std::vector<VmValue>(10000, I(1)));
  const VmValue d = Dict({{key, I(1)}});
  const VmValue again = Tuple(std::vector<VmValue>(10000, I(1)));
  const uint64_t steps = steps_of([&] { EXPECT_TRUE(d.dict_find_structural(again).has_value()); });
  EXPECT_GE(steps, 10000u);
  EXPECT_LE(steps, 10008u);
  // The same on a large dict (indexed), and for a set's item.
  std::vector<VmDictPair> pairs{{key, I(1)}};
  for (int64_t i = 0; i < 20; ++i) pairs.push_back({I(i), I(i)});
  const VmValue large = Dict(pairs);
  EXPECT_GE(steps_of([&] { EXPECT_TRUE(large.dict_find_structural(again).has_value()); }), 10000u);
  EXPECT_GE(steps_of([&] { EXPECT_TRUE(large.dict_find_structural(again).has_value()); }), 10000u);
  const VmValue set = Set({key, I(1)});
  EXPECT_GE(steps_of([&] { EXPECT_TRUE(*contains_value(set, again)); }), 10000u);
}

TEST(ReadWork, BigIntegerArithmeticCountsWordsTimesTheirLog) {
  const VmValue x = *apply_binary_operator(BinaryOperator::Pow, I(3), I(330000));  // 8,163 words
  const VmValue y = *apply_binary_operator(BinaryOperator::Pow, I(3), I(160000));
  const uint64_t words = vm_int_words(x);
  const uint64_t product = steps_of([&] { EXPECT_TRUE(apply_binary_operator(BinaryOperator::Mul, x, x).ok()); });
  EXPECT_GE(product, vm_bigint_work_steps(2 * words));
  EXPECT_GE(steps_of([&] { EXPECT_TRUE(apply_binary_operator(BinaryOperator::FloorDiv, x, y).ok()); }),
            vm_bigint_work_steps(words));
  EXPECT_GE(steps_of([&] { EXPECT_TRUE(apply_binary_operator(BinaryOperator::Mod, x, y).ok()); }),
            vm_bigint_work_steps(words));
  EXPECT_GE(steps_of([&] { EXPECT_TRUE(apply_binary_operator(BinaryOperator::Pow, I(3), I(330000)).ok()); }),
            vm_bigint_work_steps(words));
  EXPECT_GE(steps_of([&] { (void)x.python_repr(); }), vm_bigint_digits_steps(words));
  EXPECT_GE(steps_of([&] { EXPECT_TRUE(round_builtin_value(x, -1000).ok()); }), vm_bigint_work_steps(2 * words));
  // Refused before the work, when its size says it would pass the allowance.
  uint64_t past = 0;
  expect_work_refusal(with_steps_left(1000, past, [&] { return apply_binary_operator(BinaryOperator::Mul, x, x); }));
  expect_work_refusal(with_steps_left(1000, past, [&] { return apply_binary_operator(BinaryOperator::FloorDiv, x, y); }));
  // Division by zero fails as it always did.
  auto zero = with_steps_left(1000, past, [&] { return apply_binary_operator(BinaryOperator::FloorDiv, x, I(0)); });
  ASSERT_FALSE(zero.ok());
  EXPECT_EQ(zero.error().message, "division by zero");
  // Inline ints take no step.
  EXPECT_EQ(steps_of([&] { EXPECT_TRUE(apply_binary_operator(BinaryOperator::Mul, I(3), I(5)).ok()); }), 0u);
}

TEST(ReadWork, EncodingAndTextFormsCountTheirWalk) {
  const VmValue l = ints(kItems);
  EXPECT_GE(steps_of([&] { EXPECT_TRUE(encoded_vm_value_length(l).ok()); }), kItems);
  EXPECT_GE(steps_of([&] { EXPECT_TRUE(encode_vm_value(l).ok()); }), kItems);
  EXPECT_GE(steps_of([&] { (void)l.python_repr(); }), kItems);
  // A dict's members are ordered by their key texts: a search down a tree
  // of the members so far each.
  std::vector<VmDictPair> pairs;
  for (int64_t i = 0; i < 4096; ++i) pairs.push_back({I(i), I(i)});
  const VmValue d = Dict(pairs);
  EXPECT_GE(steps_of([&] { EXPECT_TRUE(encoded_vm_value_length(d).ok()); }), 4096u * 11);
  uint64_t past = 0;
  expect_work_refusal(with_steps_left(1000, past, [&] { return encoded_vm_value_length(l); }));
  EXPECT_LE(past, kVmWorkBatch);
}

// A number written as text counts a fixed number of steps wherever it
// stands (nested in containers, a key, a format field) and whatever form
// writes it; a long text form stops within a batch of the allowance.
TEST(ReadWork, NumbersWrittenAsTextCountTheirSteps) {
  constexpr uint64_t n = 1000;
  const VmValue floats = List(std::vector<VmValue>(n, F(0.30000000000000004)));
  const VmValue nested = List(std::vector<VmValue>(n / 2, Tuple({F(2.5), D("1.25")})));
  std::vector<VmDictPair> pairs;
  for (uint64_t i = 0; i < n / 2; ++i) pairs.push_back({F(static_cast<double>(i) + 0.5), F(1e300)});
  const VmValue dict = Dict(pairs);
  const uint64_t per_number = 1 + kVmNumberTextSteps;  // the item, and its text
  for (const VmValue* v : {&floats, &nested, &dict}) {
    EXPECT_GE(steps_of([&] { (void)v->python_repr(); }), n * kVmNumberTextSteps) << v->python_repr().substr(0, 20);
    EXPECT_GE(steps_of([&] { EXPECT_TRUE(encode_vm_value(*v).ok()); }), n * per_number);
    EXPECT_GE(steps_of([&] { EXPECT_TRUE(encoded_vm_value_length(*v).ok()); }), n * per_number);
  }
  EXPECT_GE(steps_of([&] { (void)floats.diagnostic_text(); }), n * per_number);
  EXPECT_GE(steps_of([&] { (void)List(std::vector<VmValue>(n, I(7))).python_repr(); }), n * (1 + kVmIntTextSteps));
  // Each field of a template writes its argument anew: four floats a field.
  const VmValue fields = repeated("{0}", n);
  const VmValue four = Tuple({F(0.1), F(2.5e-300), F(12345.678), F(-3.0)});
  EXPECT_GE(steps_of([&] { EXPECT_TRUE(render_simple_format(fields.text(), {&four, 1}).ok()); }),
            n * 4 * per_number);
  EXPECT_GE(steps_of([&] { EXPECT_TRUE(format_builtin_value(F(0.1), "").ok()); }), kVmNumberTextSteps);
  // Past the allowance the text form stops where it is, with the budget's
  // failure rather than a text.
  const VmValue many = List(std::vector<VmValue>(200000, F(0.30000000000000004)));
  uint64_t past = 0;
  expect_work_refusal(with_steps_left(1000, past, [&] { return many.bounded_python_repr(); }));
  EXPECT_LE(past, kVmWorkBatch);
  const VmValue many_fields = repeated("{0}", 100000);
  // (The template is read before the fields are written.)
  const uint64_t reading = vm_text_read_steps(many_fields.text_size());
  expect_work_refusal(
      with_steps_left(reading + 1000, past, [&] { return render_simple_format(many_fields.text(), {&four, 1}); }));
  EXPECT_LE(past, kVmWorkBatch);
}

// A search counts each window it tries in vain, however few bytes that
// reads, and a search (or a scan) of a huge text hands its count over as
// it goes: it gives up within a batch of the allowance, and its caller
// reports the budget's failure.
TEST(ReadWork, SearchesCountTheirCandidatesAndStopAtTheAllowance) {
  const VmValue s = repeated("ab", 1000000);
  const std::string_view ab = s.text();
  const VmValue cab = S("cab");
  // A window at every fourth byte (a shift past each failed one), and the
  // bytes read.
  EXPECT_GE(steps_of([&] { EXPECT_FALSE(*contains_value(s, cab)); }), ab.size() / 4 + ab.size() / 8);
  const auto status = [](auto&& result) -> VmStatus {
    if (result.ok()) return Ok{};
    return std::move(result).error();
  };
  const auto method = [&](const char* name, std::vector<VmValue> args) {
    return [&s, &status, name, args] { return status(call_native_method(s, name, args, {})); };
  };
  const VmValue b = Bytes(ab);
  for (const auto& [name, operation] : std::initializer_list<std::pair<const char*, std::function<VmStatus()>>>{
           {"in", [&] { return status(contains_value(s, cab)); }},
           {"find", method("find", {cab})},
           {"split", method("split", {cab})},
           {"replace", method("replace", {cab, S("")})},
           {"replace growing", method("replace", {cab, S("abcd")})},
           {"in bytes", [&] { return status(contains_value(b, I('c'))); }},
           // Reads of the whole text, a code point at a time.
           {"isalpha", method("isalpha", {})},
           {"islower", method("islower", {})},
           {"strip", method("strip", {S("ab")})},
       }) {
    uint64_t past = 0;
    const VmStatus outcome = with_steps_left(1000, past, operation);
    ASSERT_FALSE(outcome.ok()) << name;
    EXPECT_EQ(outcome.error().message, kVmWorkMessage) << name;
    EXPECT_LE(past, 2 * kVmWorkBatch) << name;
  }
}

// A split's pieces are refused before they are made when their buffers
// cannot fit the allowance, and stop being made once it has passed.
TEST(ReadWork, SplitsStopBeforeMakingPiecesPastTheAllowance) {
  constexpr uint64_t n = 300000;
  const VmValue a = S(std::string(n, 'a'));
  const VmValue spaced = repeated("a ", n);
  const std::vector<VmValue> on_a{S("a")};
  const uint64_t pieces = steps_of([&] { EXPECT_TRUE(call_native_method(a, "split", on_a, {}).ok()); });
  EXPECT_GE(pieces, n * (kVmBufferSteps + 2));  // a search, a buffer and a slot each
  uint64_t past = 0;
  expect_work_refusal(with_steps_left(pieces / 2, past, [&] { return call_native_method(a, "split", on_a, {}); }));
  EXPECT_LE(past, kVmWorkBatch);
  // (The text is read before the words are split off.)
  const uint64_t reading = vm_text_read_steps(spaced.text_size());
  expect_work_refusal(
      with_steps_left(reading + 1000, past, [&] { return call_native_method(spaced, "split", {}, {}); }));
  EXPECT_LE(past, kVmWorkBatch);
}

TEST(ReadWork, SetsReadTheirItemsWhole) {
  const VmValue t = Tuple(std::vector<VmValue>(10000, I(1)));
  const VmValue u = Tuple(std::vector<VmValue>(10000, I(1)));
  auto built = steps_of([&] { EXPECT_EQ(normalize_set_items({t, u})->size(), 1u); });
  EXPECT_GE(built, 20000u);
}

}  // namespace
}  // namespace veln
