// Hostile receivers and arguments for the str, bytes and bytearray methods:
// no call may crash, leak or hang, whatever the bytes (ill-formed UTF-8
// included). On well-formed text a few identities must hold: joining the
// pieces of a split gives the text back, find lands inside the text on a
// match, and lower/upper keep the text well-formed.
// Input: method selector byte, argument-shape byte, then NUL-separated texts
// (receiver first).
#include <unicode/utf8.h>

#include <array>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "interpreter_support/native_methods.hpp"

namespace {

constexpr std::array<std::string_view, 24> kMethods = {
    "format", "isascii", "isalpha", "isdigit",    "isalnum",  "islower", "lower", "upper",
    "strip",  "split",   "replace", "find",       "startswith", "endswith", "join", "hex",
    "copy",   "clear",   "append",  "extend",     "pop",      "title",   "split", "replace"};

bool well_formed(std::string_view s) {
  int32_t i = 0;
  const auto n = static_cast<int32_t>(s.size());
  while (i < n) {
    UChar32 c;
    U8_NEXT(s.data(), i, n, c);
    if (c < 0) return false;
  }
  return true;
}

// An argument from a text and two shape bits: a str, an int read from its
// length (signed by a bit), None, or a tuple of the text split at '|'.
veln::VmValue argument(std::string_view text, unsigned shape) {
  switch (shape & 3) {
    case 0:
      return veln::VmValue::str(text);
    case 1: {
      const auto n = static_cast<int64_t>(text.size());
      return veln::VmValue::integer((shape & 4) ? -n : n);
    }
    case 2:
      return veln::VmValue::none();
    default: {
      std::vector<veln::VmValue> items;
      size_t from = 0;
      while (true) {
        const size_t at = text.find('|', from);
        items.push_back(veln::VmValue::str(text.substr(from, at == std::string_view::npos ? at : at - from)));
        if (at == std::string_view::npos) break;
        from = at + 1;
      }
      return *veln::VmValue::make_tuple(std::move(items));
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const std::string_view method = kMethods[data[0] % kMethods.size()];
  const unsigned shapes = data[1];
  std::vector<std::string_view> texts;
  const std::string_view rest(reinterpret_cast<const char*>(data + 2), size - 2);
  size_t from = 0;
  while (texts.size() < 4) {
    const size_t at = rest.find('\0', from);
    texts.push_back(rest.substr(from, at == std::string_view::npos ? at : at - from));
    if (at == std::string_view::npos) break;
    from = at + 1;
  }
  const std::string_view text = texts[0];
  static constexpr veln::VmKind kReceiverKinds[4] = {veln::VmKind::String, veln::VmKind::String,
                                                     veln::VmKind::Bytes, veln::VmKind::ByteArray};
  const veln::VmKind kind = kReceiverKinds[shapes & 3];
  veln::VmValue receiver = veln::VmValue::text_unchecked(kind, std::string(text));
  std::vector<veln::VmValue> args;
  for (size_t k = 1; k < texts.size(); ++k) args.push_back(argument(texts[k], (shapes >> (2 * k)) & 7));

  auto r = veln::call_native_method(receiver, method, args, {});
  if (!r.ok() || kind != veln::VmKind::String || !well_formed(text)) return 0;
  const veln::VmValue& v = r->value;
  if ((method == "lower" || method == "upper") && !well_formed(v.text())) std::abort();
  if (method == "find" && v.small_int() >= 0 && static_cast<size_t>(v.small_int()) > receiver.text_code_points())
    std::abort();
  if (method == "split" && args.size() == 1 && args[0].is(veln::VmKind::String)) {
    std::string joined;
    for (size_t k = 0; k < v.item_count(); ++k) {
      if (k) joined += args[0].text();
      joined += v.item(k).text();
    }
    if (joined != text) std::abort();
  }
  return 0;
}
