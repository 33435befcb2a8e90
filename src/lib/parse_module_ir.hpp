// parse_module_ir: the one door through which a module IR text becomes a
// ModuleIr. It reads the text and validates what was read, so every ModuleIr
// it returns has passed validation. Reading and validation faults arrive alike,
// as one message; nothing is kept between calls.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "lib/module_ir.hpp"
#include "values/vm_execution_error.hpp"

namespace veln {

// `text` is the whole document as UTF-8. Fails with the reader's message
// (ending " at line {} column {}") or the validator's message (no position).
Result<ModuleIr, std::string> parse_module_ir(std::string_view text);

// Reads and validates one module at the reader's position inside a larger
// document (see read_module_ir_record). Any fault gives std::nullopt and no
// message: the caller re-reads the module on its own for that. The reader is
// left where the fault or the record ended.
std::optional<ModuleIr> parse_module_ir_at(JsonReader& reader);

}  // namespace veln
