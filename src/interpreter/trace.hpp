// The two trace switches (VELN_VM_TRACE_CALLS, VELN_VM_TRACE_STATEMENTS) and
// the writing of trace lines to standard error. The switches are read from
// the environment at the start of each entry call and again after every host
// operation that may run Python code; in between they are plain flags.
#pragma once

#include <string_view>

namespace veln {

struct VmTraceFlags {
  bool calls = false;
  bool statements = false;

  // Present in the environment, whatever the value (an empty one counts).
  static VmTraceFlags from_environment();
};

// Writes `line` and a line feed to standard error in one write.
void write_trace_line(std::string_view line);

}  // namespace veln
