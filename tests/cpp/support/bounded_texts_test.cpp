// Texts that contract code can make large stop at the size limit of a str
// value, and nothing larger is allocated on the way; the size of handles,
// references and exceptions counts their texts. The allocation counter keeps
// the largest single allocation.
#include <gtest/gtest.h>

#include <cstdlib>
#include <new>
#include <string>
#include <vector>

#include "allocation_counter.hpp"
#include "interpreter_support/formatting.hpp"
#include "interpreter_support/storage_keys.hpp"
#include "interpreter_support/subscripts.hpp"
#include "values/bounded_text.hpp"

namespace veln {
namespace {

const std::string kSize(kVmSizeMessage);

// Runs `f` (which must fail with the size message) and checks that no
// allocation on the way was larger than a text at the limit.
template <class F>
void expect_refused_within_limit(F f) {
  allocation_counter::g_largest_new = 0;
  const std::string message = f();
  EXPECT_EQ(message, kSize);
  EXPECT_LE(allocation_counter::g_largest_new, kVmMaxTextBytes + 64);
}

template <class T>
std::string message_of(const VmResult<T>& r) {
  return r.ok() ? "ok" : r.error().message;
}

VmValue list_of(size_t n, const VmValue& item) { return *VmValue::make_list(std::vector<VmValue>(n, item)); }

TEST(BoundedTexts, DisplayTextsStopAtTheLimit) {
  const VmValue nones = list_of(1000000, VmValue::none());  // 1,000,001 units, 6 MB of text
  const VmValue bytes = *VmValue::make_bytes(std::string(2000000, '\xff'));  // four text bytes per byte
  expect_refused_within_limit([&] { return message_of(nones.bounded_python_repr()); });
  expect_refused_within_limit([&] { return message_of(nones.bounded_diagnostic_text()); });
  expect_refused_within_limit([&] { return message_of(format_builtin_value(bytes, "")); });
  expect_refused_within_limit([&] { return message_of(render_simple_format("{}", std::vector<VmValue>{nones})); });
  expect_refused_within_limit([&] { return message_of(render_simple_format("{0}{0}", std::vector<VmValue>{bytes})); });
  expect_refused_within_limit([&] { return message_of(ascii_builtin_text(*VmValue::make_str(std::string(2000000, '\x01')))); });
  const VmValue accents = *VmValue::make_str([] {
    std::string s;
    for (int i = 0; i < 1000000; ++i) s += "\xc3\xa9";
    return s;
  }());
  expect_refused_within_limit([&] { return message_of(ascii_builtin_text(*VmValue::make_list({accents}))); });
}

TEST(BoundedTexts, MessagesQuotingValuesStopAtTheLimit) {
  const VmValue nones = list_of(1000000, VmValue::none());
  const VmValue key = *VmValue::make_tuple({nones});
  const VmValue dict = *VmValue::make_dict({});
  expect_refused_within_limit([&] { return message_of(subscript_value(dict, key)); });
  expect_refused_within_limit([&] { return message_of(storage_key_part(key)); });
  const std::string spec(kVmMaxTextBytes, 'x');
  expect_refused_within_limit([&] { return message_of(format_builtin_value(VmValue::integer(5), spec)); });
}

TEST(BoundedTexts, TextsUpToTheLimitAreWhole) {
  const VmValue at_limit = *VmValue::make_str(std::string(kVmMaxTextBytes - 2, 'a'));
  EXPECT_EQ(message_of((*VmValue::make_list({at_limit})).bounded_python_repr()), "ok");  // "[" text "]"
  EXPECT_EQ((*VmValue::make_list({at_limit})).bounded_python_repr()->size(), kVmMaxTextBytes);
  const VmValue past = *VmValue::make_str(std::string(kVmMaxTextBytes - 1, 'a'));
  EXPECT_EQ(message_of((*VmValue::make_list({past})).bounded_python_repr()), kSize);
  EXPECT_EQ(message_of(render_simple_format("{}", std::vector<VmValue>{past})), "ok");
  EXPECT_EQ(message_of(render_simple_format("{}.", std::vector<VmValue>{past})), "ok");
  EXPECT_EQ(message_of(render_simple_format("{}..", std::vector<VmValue>{past})), kSize);
}

TEST(BoundedTexts, HandlesAndExceptionsCountTheirTexts) {
  const std::string name(8192, 'n');
  const VmValue handle = VmValue::contract_handle({name, "static_import"});
  EXPECT_EQ(handle.units(), 1 + name.size() + 13);
  EXPECT_EQ(message_of(VmValue::make_list(std::vector<VmValue>(600, handle))), kSize);
  EXPECT_EQ(VmValue::storage_ref({name, "Hash"}).units(), 1 + name.size() + 4);
  EXPECT_EQ(VmValue::foreign_storage_ref({name, "b", true}).units(), 1 + name.size() + 1);
  EXPECT_EQ(message_of(VmValue::make_contract_handle({std::string(kVmMaxTextBytes, 'm'), "dynamic_import"})), kSize);
  auto exception = VmValue::make_exception({name, {VmValue::integer(1)}});
  EXPECT_EQ(exception->units(), 1 + name.size() + 1);
  auto event = VmValue::make_event_ref({name, "Sent", VmValue::none()});
  EXPECT_EQ(event->units(), 1 + name.size() + 4 + 1);
}

}  // namespace
}  // namespace veln
