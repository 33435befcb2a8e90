#include "interpreter/type_error_text.hpp"

#include "values/quoted_text.hpp"

namespace veln {

std::string quoted_message_text(std::string_view message) {
  std::string out;
  out.reserve(message.size() + 2);
  append_quoted_text(out, message);
  return out;
}

VmExecutionError wrapped_type_error(std::string_view message) {
  std::string out = "TypeError(";
  append_quoted_text(out, message);
  out += ')';
  return VmExecutionError(std::move(out));
}

}  // namespace veln
