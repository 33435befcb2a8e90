// Reading the modules of a request: the bundle (a JSON object from module
// name to module IR document) and single modules loaded by name. Every
// module must call itself by the name it was loaded under, since its storage
// keys are built from the name inside the IR. Nothing here runs code or
// talks to the host.
#pragma once

#include <map>
#include <string>
#include <string_view>

#include "lib/module_ir.hpp"
#include "values/vm_execution_error.hpp"

namespace veln {

// Parsed modules by name, in name order.
using VmModuleTable = std::map<std::string, ModuleIr, std::less<>>;

// One module IR text loaded under `name`: parse_module_ir's message, or
// "module name mismatch: expected '{}', got '{}'".
VmResult<ModuleIr> read_named_module(std::string_view name, std::string_view text);

// Who keeps the bundle's bytes alive for the modules read from it.
enum class BundleText {
  copied,           // the modules keep a copy of their own
  held_by_caller,   // the caller keeps them alive as long as every module
};

// The bundle's members in ascending key order (the last of a repeated key
// counts), each read from its compact re-serialised text, so reading positions
// refer to that text; the first failing member's message. Reads the text
// once and each member from its own bytes; only a fault takes the tree route
// below, which gives the same modules and messages.
VmResult<VmModuleTable> read_bundle(std::string_view bundle_ir_json, BundleText text = BundleText::copied);

// The reference route: the whole bundle as a JSON tree, each member written
// back as compact text and read from it.
VmResult<VmModuleTable> read_bundle_through_tree(std::string_view bundle_ir_json);

}  // namespace veln
