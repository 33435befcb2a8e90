// Trace switches and trace lines (see header).
#include "interpreter/trace.hpp"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace veln {

VmTraceFlags VmTraceFlags::from_environment() {
  VmTraceFlags flags;
  flags.calls = std::getenv("VELN_VM_TRACE_CALLS") != nullptr;
  flags.statements = std::getenv("VELN_VM_TRACE_STATEMENTS") != nullptr;
  return flags;
}

void write_trace_line(std::string_view line) {
  std::string text;
  text.reserve(line.size() + 1);
  text.append(line).push_back('\n');
  std::fwrite(text.data(), 1, text.size(), stderr);
}

}  // namespace veln
