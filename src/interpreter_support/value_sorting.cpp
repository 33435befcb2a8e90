// `sorted_values`: the result of the stable insertion sort by
// compare_vm_values (each value, in input order, goes before the first
// placed value it is strictly less than), computed in O(n log n) wherever no
// comparison can fail.
//   - Small ints alone are sorted by their machine value.
//   - Values of one ordered domain (strs; bytes and bytearrays; date-times;
//     time deltas; decimals with bools and ints in the decimal range) are
//     totally preordered, and the insertion sort of a total preorder is the
//     stable sort.
//   - Bools, ints and floats meet through the nearest double, which is not
//     transitive (2^53 + 1 == 2.0^53 == 2^53 but 2^53 + 1 > 2^53). Values
//     with different nearest doubles are ordered by them, so the placed list
//     stays sorted by double and each group of one double is resolved apart:
//     its ints keep their exact stable order, every float equals every item
//     of the group, so a float placed when the largest int so far was M ends
//     up after exactly the ints that are below M, or equal to M and earlier.
//   - Decimals mixed with bools, ints and floats, where no conversion to a
//     decimal fails, have no such grouping (a tiny float and an int that is
//     not exactly a double are read through different keys against decimals
//     and against floats); their insertion sort is replayed on a balanced
//     tree instead.
//   - Otherwise the sort is fast up to the first value that leaves the first
//     value's domain, or the mixed numbers (or is NaN); from there the literal insertion continues
//     over the sorted prefix, and where a comparison can fail it fails at
//     that value's first comparison.
#include <algorithm>
#include <bit>
#include <cmath>

#include "interpreter_support/comparison_budget.hpp"
#include "interpreter_support/mixed_number_sorting.hpp"
#include "interpreter_support/stoppable_work.hpp"
#include "interpreter_support/value_equality.hpp"
#include "interpreter_support/value_iteration.hpp"
#include "values/decimal_from_value.hpp"
#include "values/vm_decimal.hpp"
#include "values/vm_sort.hpp"
#include "values/vm_work_tally.hpp"

namespace veln {
namespace {

enum class Domain : uint8_t { Numbers, Exact, Mixed, Text, Bytes, DateTime, TimeDelta, None };

bool is_bytes_like(VmKind k) { return k == VmKind::Bytes || k == VmKind::ByteArray; }

// Whether `v` belongs to `d` without any comparison in it failing.
bool member_of(Domain d, const VmValue& v) {
  switch (d) {
    case Domain::Numbers:
      return v.is(VmKind::Bool) || v.is(VmKind::Int) || (v.is(VmKind::Float) && !std::isnan(v.float_value()));
    case Domain::Exact:
      return v.is(VmKind::Bool) || v.is(VmKind::Decimal) ||
             (v.is(VmKind::Int) && (v.int_is_small() || decimal_from_vm_value(v).ok()));
    case Domain::Mixed:
      return is_mixed_number(v);
    case Domain::Text:
      return v.is(VmKind::String);
    case Domain::Bytes:
      return is_bytes_like(v.kind());
    case Domain::DateTime:
      return v.is(VmKind::DateTime);
    case Domain::TimeDelta:
      return v.is(VmKind::TimeDelta);
    case Domain::None:
      return false;
  }
  return false;
}

Domain domain_of_first(const VmValue& v) {
  switch (v.kind()) {
    case VmKind::Bool:
    case VmKind::Int:
    case VmKind::Float:
      return Domain::Numbers;
    case VmKind::Decimal:
      return Domain::Exact;
    case VmKind::String:
      return Domain::Text;
    case VmKind::Bytes:
    case VmKind::ByteArray:
      return Domain::Bytes;
    case VmKind::DateTime:
      return Domain::DateTime;
    case VmKind::TimeDelta:
      return Domain::TimeDelta;
    default:
      return Domain::None;
  }
}

// An int or bool as an Int value.
VmValue exact_int(const VmValue& v) { return v.is(VmKind::Bool) ? VmValue::integer(v.bool_value() ? 1 : 0) : v; }

double nearest_double(const VmValue& v) {
  switch (v.kind()) {
    case VmKind::Bool:
      return v.bool_value() ? 1.0 : 0.0;
    case VmKind::Int:
      return vm_int_to_f64(v);
    default:
      return v.float_value();
  }
}

// One group of bools, ints and floats with the same nearest double, in input
// order, arranged as the insertion sort leaves it.
void arrange_double_group(std::vector<VmValue>& group, StoppableSteps& tally) {
  struct Exact {
    VmValue value;  // as an Int
    size_t arrival;
  };
  std::vector<Exact> ints;
  std::vector<std::pair<size_t, size_t>> floats;  // (arrival, cut)
  for (size_t i = 0; i < group.size(); ++i) {
    if (group[i].is(VmKind::Float)) {
      floats.emplace_back(i, 0);
    } else {
      ints.push_back(Exact{exact_int(group[i]), i});
    }
  }
  if (floats.empty() || ints.empty()) {
    if (!ints.empty()) {
      vm_stable_sort(group.begin(), group.end(), tally.counted([](const VmValue& a, const VmValue& b) {
                         return vm_int_compare(exact_int(a), exact_int(b)) < 0;
                       }));
    }
    return;  // floats alone are all equal: input order
  }
  // The largest int that arrived before each float.
  {
    std::optional<size_t> best;  // index into ints
    size_t next_int = 0;
    for (auto& [arrival, cut] : floats) {
      for (; next_int < ints.size() && ints[next_int].arrival < arrival; ++next_int) {
        tally.step();
        if (!best || vm_int_compare(ints[next_int].value, ints[*best].value) > 0) best = next_int;
      }
      cut = best ? *best : SIZE_MAX;  // temporarily: which int is the maximum
    }
  }
  std::vector<Exact> sorted = ints;
  vm_stable_sort(sorted.begin(), sorted.end(), tally.counted([](const Exact& a, const Exact& b) {
                     return vm_int_compare(a.value, b.value) < 0;
                   }));
  for (auto& entry : floats) {
    size_t& cut = entry.second;
    if (cut == SIZE_MAX) {
      cut = 0;
      continue;
    }
    const Exact& m = ints[cut];
    const size_t arrival = entry.first;
    // Ints below m, or equal to it and arrived before the float.
    const auto at = vm_partition_point(sorted.begin(), sorted.end(), [&](const Exact& e) {
      tally.step();
      const int c = vm_int_compare(e.value, m.value);
      return c < 0 || (c == 0 && e.arrival < arrival);
    });
    cut = static_cast<size_t>(at - sorted.begin());
  }
  std::vector<VmValue> out;
  out.reserve(group.size());
  size_t f = 0;
  for (size_t k = 0; k <= sorted.size(); ++k) {
    for (; f < floats.size() && floats[f].second <= k; ++f) out.push_back(std::move(group[floats[f].first]));
    if (k < sorted.size()) out.push_back(std::move(group[sorted[k].arrival]));
  }
  group = std::move(out);
}

// A key per value with its input position, stably sorted by key.
template <class Key>
struct Keyed {
  Key key;
  size_t arrival;
};

template <class KeyOf, class Less>
auto keyed_in_order(const std::vector<VmValue>& values, KeyOf key_of, Less less, StoppableSteps& tally) {
  std::vector<Keyed<decltype(key_of(values.front()))>> entries;
  entries.reserve(values.size());
  for (size_t i = 0; i < values.size(); ++i) entries.push_back({key_of(values[i]), i});
  tally.sort(
      entries.size(), [less](const auto& a, const auto& b) { return less(a.key, b.key); },
      [&entries](auto&& counted_less) { vm_stable_sort(entries.begin(), entries.end(), counted_less); });
  return entries;
}

void sort_numbers(std::vector<VmValue>& values, StoppableSteps& tally) {
  const auto entries = keyed_in_order(values, nearest_double, std::less<double>(), tally);
  std::vector<VmValue> out;
  out.reserve(values.size());
  std::vector<VmValue> group;
  for (size_t i = 0; i < entries.size();) {
    size_t j = i + 1;
    while (j < entries.size() && entries[j].key == entries[i].key) ++j;
    if (j == i + 1) {
      out.push_back(std::move(values[entries[i].arrival]));
    } else {
      group.clear();
      for (size_t k = i; k < j; ++k) group.push_back(std::move(values[entries[k].arrival]));
      arrange_double_group(group, tally);
      for (VmValue& v : group) out.push_back(std::move(v));
    }
    i = j;
  }
  values = std::move(out);
}

void sort_exact(std::vector<VmValue>& values, StoppableSteps& tally) {
  const auto entries = keyed_in_order(
      values, [](const VmValue& v) { return *decimal_from_vm_value(v); },
      [](const VmDecimal& a, const VmDecimal& b) { return VmDecimal::compare(a, b) < 0; }, tally);
  std::vector<VmValue> out;
  out.reserve(values.size());
  for (const auto& e : entries) out.push_back(std::move(values[e.arrival]));
  values = std::move(out);
}

// Sorts values that all belong to `d`. The mixed numbers' replay counts
// its tree steps on `tally`.
void sort_domain(Domain d, std::vector<VmValue>& values, StoppableSteps& tally) {
  switch (d) {
    case Domain::Numbers:
      sort_numbers(values, tally);
      return;
    case Domain::Exact:
      sort_exact(values, tally);
      return;
    case Domain::Mixed:
      if (!sort_mixed_numbers(values, tally.tally())) refuse_work();
      return;
    case Domain::Text:
    case Domain::Bytes:
      vm_stable_sort(values.begin(), values.end(), tally.counted([&tally](const VmValue& a, const VmValue& b) {
                         if (const uint64_t more = vm_long_text_compare_steps(a.text_size(), b.text_size()))
                           tally.step(more);
                         return vm_bytes_compare(a.text(), b.text()) < 0;
                       }));
      return;
    case Domain::DateTime:
      vm_stable_sort(values.begin(), values.end(), tally.counted([](const VmValue& a, const VmValue& b) {
                         return vm_datetime_compare(a, b) < 0;
                       }));
      return;
    case Domain::TimeDelta:
      vm_stable_sort(values.begin(), values.end(), tally.counted([](const VmValue& a, const VmValue& b) {
                         return a.timedelta_raw_seconds() < b.timedelta_raw_seconds();
                       }));
      return;
    case Domain::None:
      return;
  }
}

// The literal insertion of values[from..] into `placed`.
// `comparisons` counts them against the cap; `tally` counts the steps.
VmResult<std::vector<VmValue>> insert_rest(std::vector<VmValue> placed, std::vector<VmValue>& values, size_t from,
                                           StoppableSteps& tally, VmWorkMeter* comparisons) {
  placed.reserve(values.size());
  for (size_t i = from; i < values.size(); ++i) {
    VmValue& v = values[i];
    size_t at = placed.size();
    for (size_t j = 0; j < placed.size(); ++j) {
      if (!tally.tally().add()) [[unlikely]]
        return VmWorkTally::error();
      VELN_CHECK(charge_set_comparisons(comparisons));
      VELN_TRY(VmOrdering ord, compare_vm_values(v, placed[j]));
      if (ord == VmOrdering::Less) {
        at = j;
        break;
      }
    }
    placed.insert(placed.begin() + static_cast<std::ptrdiff_t>(at), std::move(v));
  }
  return placed;
}

// The one domain every value belongs to, if any.
std::optional<Domain> common_domain(const std::vector<VmValue>& values) {
  for (const Domain d : {domain_of_first(values.front()), Domain::Exact, Domain::Mixed}) {
    if (d == Domain::None) continue;
    if (std::all_of(values.begin(), values.end(), [d](const VmValue& v) { return member_of(d, v); })) return d;
  }
  return std::nullopt;
}

bool all_small_ints(const std::vector<VmValue>& values) {
  return std::all_of(values.begin(), values.end(),
                     [](const VmValue& v) { return v.is(VmKind::Int) && v.int_is_small(); });
}

VmResult<std::vector<VmValue>> sort_values(std::vector<VmValue> values, StoppableSteps& tally,
                                           VmWorkMeter* comparisons) {
  if (values.size() < 2) return values;
  if (all_small_ints(values)) {
    // Equal small ints are the same value, so any sort is the stable one.
    std::vector<int64_t> keys(values.size());
    for (size_t i = 0; i < values.size(); ++i) keys[i] = values[i].small_int();
    tally.sort(keys.size(), std::less<int64_t>(),
                 [&keys](auto&& counted_less) { vm_stable_sort(keys.begin(), keys.end(), counted_less); });
    for (size_t i = 0; i < values.size(); ++i) values[i] = VmValue::integer(keys[i]);
    return values;
  }
  if (const std::optional<Domain> d = common_domain(values)) {
    sort_domain(*d, values, tally);
    return values;
  }
  // The longer of the first value's own domain and the mixed numbers.
  Domain d = Domain::None;
  size_t prefix = 1;
  for (const Domain candidate : {domain_of_first(values.front()), Domain::Mixed}) {
    size_t length = 0;
    while (length < values.size() && member_of(candidate, values[length])) ++length;
    if (length > prefix) {
      d = candidate;
      prefix = length;
    }
  }
  std::vector<VmValue> placed(std::make_move_iterator(values.begin()),
                              std::make_move_iterator(values.begin() + static_cast<std::ptrdiff_t>(prefix)));
  sort_domain(d, placed, tally);
  return insert_rest(std::move(placed), values, prefix, tally, comparisons);
}

// Each comparison is a step on `meter` (when given) and on the running
// request; past the request's allowance the sort stops with its refusal.
VmResult<std::vector<VmValue>> sort_all(std::vector<VmValue> values, VmWorkMeter* meter, VmWorkMeter* comparisons) {
  StoppableSteps tally(meter);
  try {
    return sort_values(std::move(values), tally, comparisons);
  } catch (const WorkRefused&) {
    return VmWorkTally::error();
  }
}

}  // namespace

// Every comparison counts as work; only those of the literal insertion count
// against the comparison cap of set operations.
VmResult<std::vector<VmValue>> sorted_values(std::vector<VmValue> values) {
  return capped_set_operation(nullptr, [&](VmWorkMeter* comparisons) {
    return sort_all(std::move(values), nullptr, comparisons);
  });
}

VmResult<std::vector<VmValue>> sorted_values(std::vector<VmValue> values, VmWorkMeter& meter) {
  return capped_set_operation(&meter, [&](VmWorkMeter* m) { return sort_all(std::move(values), m, m); });
}

}  // namespace veln
