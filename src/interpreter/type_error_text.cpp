#include "interpreter/type_error_text.hpp"

#include "values/bounded_text.hpp"
#include "values/quoted_text.hpp"

namespace veln {

std::string quoted_message_text(std::string_view message) {
  std::string out;
  out.reserve(message.size() + 2);
  append_quoted_text(out, message);
  return out;
}

// Messages can quote contract texts (keyword names, labels), and quoting can
// double a text: the whole is bounded.
VmExecutionError wrapped_type_error(std::string_view message) {
  return vm_bounded_error([message](BoundedText& out) {
    out += "TypeError(";
    append_quoted_text(out, message);
    out += ')';
  });
}

}  // namespace veln
