// Feeds arbitrary text/format pairs to the date-time parser: it must never
// crash, hang or read out of bounds, and whatever it accepts must be a
// date-time that displays. Input: format, a NUL byte, text.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "interpreter_support/datetime_format_parser.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view all(reinterpret_cast<const char*>(data), size);
  const size_t split = all.find('\0');
  const std::string_view format = all.substr(0, split);
  const std::string_view text = split == std::string_view::npos ? std::string_view() : all.substr(split + 1);
  if (auto dt = veln::parse_datetime_with_format(text, format)) {
    if (dt->to_string().empty()) __builtin_trap();
  }
  return 0;
}
