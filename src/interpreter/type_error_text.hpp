// The wrapped form of argument-binding and type-check failures:
// TypeError("...") with the message in double quotes, backslash before each
// double quote and backslash, \n \r \t \0 for those controls and \u{hex}
// for every other non-printable character; single quotes stay as they are.
#pragma once

#include <string>
#include <string_view>

#include "values/vm_execution_error.hpp"

namespace veln {

std::string quoted_message_text(std::string_view message);
// "TypeError(" + quoted_message_text(message) + ")" as an error.
VmExecutionError wrapped_type_error(std::string_view message);

}  // namespace veln
