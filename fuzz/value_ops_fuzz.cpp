// Drives VmValue's builders and copy-on-write mutations with fuzzer-chosen
// operations on a few registers, then checks that the cached size and depth
// match a recount, that indexed dict lookups match a linear scan, and that a
// copy taken before an edit never changes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "fuzz_input.hpp"
#include "values/vm_value.hpp"

namespace {

using veln::VmDictPair;
using veln::VmKind;
using veln::VmValue;

using Input = FuzzInput;

struct Count {
  uint64_t units = 1;
  uint64_t depth = 0;
};

Count recount(const VmValue& v) {
  Count c;
  auto add = [&c](const VmValue& item) {
    Count i = recount(item);
    c.units += i.units;
    c.depth = std::max(c.depth, i.depth + 1);
  };
  switch (v.kind()) {
    case VmKind::String:
    case VmKind::Bytes:
      c.units += v.text_size();
      break;
    case VmKind::Int:
      if (!v.int_is_small()) c.units += mpz_size(v.big_int().get_mpz_t());
      break;
    case VmKind::List:
    case VmKind::Tuple:
      c.depth = 1;
      for (const auto& item : v.items()) add(item);
      break;
    case VmKind::Dict:
      c.depth = 1;
      for (const auto& p : v.dict_pairs()) {
        add(p.key);
        add(p.value);
      }
      break;
    default:
      break;
  }
  return c;
}

void check(const VmValue& v) {
  const Count c = recount(v);
  if (c.units != v.units() || c.depth != v.depth()) std::abort();
  if (v.is(VmKind::Dict)) {
    auto pairs = v.dict_pairs();
    for (size_t i = 0; i < pairs.size(); ++i) {
      size_t first = i;
      for (size_t j = 0; j < i; ++j)
        if (pairs[j].key.eq(pairs[i].key)) {
          first = j;
          break;
        }
      auto found = v.dict_find_structural(pairs[i].key);
      const bool findable = pairs[i].key.eq(pairs[i].key);  // NaN keys are never found
      if (findable ? (!found || *found != first) : found.has_value()) std::abort();
    }
  }
  if (v.units() < 20000) {
    (void)v.python_repr();
    (void)v.diagnostic_text();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Input in{data, size};
  constexpr size_t kRegs = 6;
  VmValue regs[kRegs];
  while (in.n > 0) {
    const uint8_t op = in.byte() % 16;
    VmValue& a = regs[in.byte() % kRegs];
    const VmValue b = regs[in.byte() % kRegs];
    const VmValue c = regs[in.byte() % kRegs];
    const uint8_t k = in.byte();
    const VmValue before = a;
    const std::string before_text = a.units() < 20000 ? a.python_repr() : std::string();
    bool edits_in_place = false;
    switch (op) {
      case 0:
        a = VmValue::integer(static_cast<int64_t>(k) - 128);
        break;
      case 1: {
        std::string s;
        for (uint8_t i = 0; i < k % 16; ++i) s += static_cast<char>(in.byte());
        a = VmValue::str(s);
        break;
      }
      case 2:
        if (auto r = VmValue::make_list({b, c}); r.ok()) a = *r;
        break;
      case 3:
        if (auto r = VmValue::make_dict({}); r.ok()) a = *r;
        break;
      case 4:
        if (a.is(VmKind::List)) (void)a.seq_push(b), edits_in_place = true;
        break;
      case 5:
        if (a.is(VmKind::List) && a.item_count() > 0) a.seq_remove(k % a.item_count()), edits_in_place = true;
        break;
      case 6:
        if (a.is(VmKind::List) && a.item_count() > 0) (void)a.seq_set(k % a.item_count(), b), edits_in_place = true;
        break;
      case 7:
        if (a.is(VmKind::Dict)) (void)a.dict_push_pair(b, c), edits_in_place = true;
        break;
      case 8:
        if (a.is(VmKind::Dict) && a.dict_size() > 0) a.dict_remove_at(k % a.dict_size()), edits_in_place = true;
        break;
      case 9:
        if (a.is(VmKind::Dict) && a.dict_size() > 0) (void)a.dict_set_value(k % a.dict_size(), b), edits_in_place = true;
        break;
      case 10:
        if (a.is(VmKind::String)) (void)a.text_append(std::string(k, 'x')), edits_in_place = true;
        break;
      case 11:
        if (a.is(VmKind::Int) && b.is(VmKind::Int)) a = veln::vm_int_mul(a, b);
        break;
      case 12:
        if (a.is(VmKind::List)) (void)a.seq_extend(b.is(VmKind::List) ? b.items() : a.items()), edits_in_place = true;
        break;
      case 13:
        a = VmValue::float64(k == 0 ? 0.0 / 1.0 * -1.0 : (k == 1 ? __builtin_nan("") : k / 4.0));
        break;
      case 14:
        if (a.is(VmKind::Int) && b.is(VmKind::Int)) a = veln::vm_int_add(a, b);
        break;
      default:
        a = b.clone();
        break;
    }
    check(a);
    // The copy taken before the edit keeps its old content.
    if (edits_in_place && before.units() < 20000 && before.python_repr() != before_text) std::abort();
  }
  return 0;
}
