// The typed top level of a module IR document (ModuleIr and its records) and
// its reading from JSON text. Statements, expressions, targets, keywords,
// declarations and parameter defaults stay free JSON values. Reading checks
// only the JSON shape of the records; it must not validate their contents
// (parse_module_ir.hpp does that).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "lib/json_arenas.hpp"
#include "lib/json_reader.hpp"
#include "lib/json_value.hpp"
#include "values/vm_execution_error.hpp"

namespace veln {

// Source position; any u64 is read, validation decides which spans are valid.
struct Span {
  std::uint64_t line = 0;
  std::uint64_t col = 0;
  std::uint64_t end_line = 0;
  std::uint64_t end_col = 0;
  friend bool operator==(const Span&, const Span&) = default;
};

struct ImportIr {
  std::string node;
  Span span;
  std::string module;
  std::optional<std::string> alias;
};

struct DecoratorIr {
  std::string node;
  Span span;
  std::string name;
  std::vector<JsonValue> args;
  std::vector<JsonValue> keywords;
};

struct ParameterIr {
  std::string name;
  std::string kind;
  std::optional<std::string> annotation;
  // The document's "default" member (a C++ keyword, hence the name); JSON
  // null reads as absent.
  std::optional<JsonValue> default_value;
  Span span;
};

struct FunctionIr {
  std::string node;
  Span span;
  std::string name;
  std::string visibility;
  std::optional<DecoratorIr> decorator;
  std::optional<std::string> docstring;
  std::vector<ParameterIr> parameters;
  std::optional<std::string> returns;
  std::vector<JsonValue> body;
};

struct HostDependency {
  std::string binding;
  std::string id;
  std::string kind;
  std::string category;
};

struct ModuleIr {
  // Where the reader placed the module's free values, and the copy of the
  // text their strings are seen in (first, so it goes last).
  JsonArenas arenas;
  std::string ir_version;
  std::string vm_profile;
  std::string host_catalog_version;
  std::string module_name;
  std::string source_hash;
  std::optional<std::string> docstring;
  std::vector<ImportIr> imports;
  std::vector<JsonValue> global_declarations;
  std::vector<FunctionIr> functions;
  std::vector<JsonValue> module_body;
  std::vector<HostDependency> host_dependencies;
  // Set only on a module parse_module_ir returns (it has passed validation),
  // so an instance built from it need not validate it again. Code that
  // changes a module afterwards must clear it.
  bool validated = false;
};

// Reads a whole module IR document. A failure is the reader's message ending
// with " at line {} column {}"; nothing is validated beyond the JSON shape.
Result<ModuleIr, std::string> read_module_ir(std::string_view text);

// The same, handing each function record to `on_function` as soon as it has
// been read (while it is still in the cache). Whatever the listener does, the
// reading and its result are those of read_module_ir.
struct FunctionListener {
  void (*on_function)(void* context, const FunctionIr& function, size_t index);
  void* context;
};
Result<ModuleIr, std::string> read_module_ir_listening(std::string_view text, const FunctionListener& listener);

// Reads one module record at the reader's position, as a value inside a
// larger document (nesting counts on from the reader's level; what follows
// the record is left to the caller). Fills `module` (default-constructed).
JsonReadStatus read_module_ir_record(JsonReader& reader, ModuleIr& module, const FunctionListener& listener);

// Reads a Span out of a JSON value already in memory (objects by ascending
// key, arrays of exactly four elements). Messages carry no position.
Result<Span, std::string> span_from_json_value(const JsonValue& value);

}  // namespace veln
