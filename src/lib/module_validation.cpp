// Module-level checks. Each list element is checked completely before its name
// is tested for a duplicate, and each list is finished before the next begins;
// that order decides which message a module with several faults yields. The
// duplicate sets borrow names from the module instead of copying them.
#include "lib/module_validation.hpp"

#include <array>
#include <string>
#include <string_view>
#include <unordered_set>

#include "lib/name_index.hpp"
#include "lib/node_validation.hpp"
#include "lib/validation_primitives.hpp"
#include "lib/version_tags.hpp"

namespace veln {
namespace {

constexpr auto kFunctionVisibilities = make_name_index("export", "private", "construct");
constexpr auto kParameterKinds = make_name_index("positional_or_keyword", "keyword_only", "vararg", "kwarg");
constexpr auto kHostDependencyKinds =
    make_name_index("value", "syscall", "env_value", "type_marker", "context_field");

std::string quoted_error(std::string_view prefix, std::string_view value) {
  std::string message;
  message.reserve(prefix.size() + value.size() + 1);
  message.append(prefix).append(value).push_back('\'');
  return message;
}

// A set of names borrowed from the module being validated. A module has a
// handful of imports, declarations and functions: up to kFewNames they are
// compared one by one, with no allocation; a longer list gets a hash set.
class NameSet {
 public:
  explicit NameSet(std::size_t expected) {
    if (expected > kFewNames) names_.reserve(expected);
  }
  // False when the name was already present.
  bool insert(std::string_view name) {
    if (count_ < kFewNames) {
      for (std::size_t i = 0; i < count_; ++i)
        if (few_[i] == name) return false;
      few_[count_++] = name;
      return true;
    }
    if (names_.empty()) names_.insert(few_.begin(), few_.end());
    return names_.insert(name).second;
  }

 private:
  static constexpr std::size_t kFewNames = 16;
  std::array<std::string_view, kFewNames> few_;
  std::size_t count_ = 0;
  std::unordered_set<std::string_view> names_;
};

ValidationStatus validate_parameter(const ParameterIr& parameter) {
  VELN_CHECK(ensure_non_empty("parameter.name", parameter.name));
  VELN_CHECK(ensure_allowed("parameter.kind", parameter.kind, kParameterKinds));
  VELN_CHECK(validate_span(parameter.span.line, parameter.span.end_line));
  if (parameter.default_value) VELN_CHECK(validate_expression(*parameter.default_value));
  return Ok{};
}

ValidationStatus validate_decorator(const DecoratorIr& decorator) {
  if (decorator.node != "decorator") return std::string("decorator node must be 'decorator'");
  VELN_CHECK(validate_span(decorator.span.line, decorator.span.end_line));
  VELN_CHECK(ensure_non_empty("decorator.name", decorator.name));
  for (const JsonValue& arg : decorator.args) VELN_CHECK(validate_expression(arg));
  for (const JsonValue& keyword : decorator.keywords) VELN_CHECK(validate_keyword(keyword));
  return Ok{};
}

}  // namespace

ValidationStatus validate_import(const ImportIr& import) {
  if (import.node != "import") return std::string("import node must be 'import'");
  VELN_CHECK(validate_span(import.span.line, import.span.end_line));
  VELN_CHECK(ensure_non_empty("import.module", import.module));
  if (import.alias) VELN_CHECK(ensure_non_empty("import.alias", *import.alias));
  return Ok{};
}

ValidationStatus validate_function(const FunctionIr& function) {
  if (function.node != "function") return std::string("function node must be 'function'");
  VELN_CHECK(validate_span(function.span.line, function.span.end_line));
  VELN_CHECK(ensure_non_empty("function.name", function.name));
  VELN_CHECK(ensure_allowed("function.visibility", function.visibility, kFunctionVisibilities));
  if (function.decorator) VELN_CHECK(validate_decorator(*function.decorator));
  for (const ParameterIr& parameter : function.parameters) VELN_CHECK(validate_parameter(parameter));
  return validate_statement_array(function.body);
}

ValidationStatus validate_host_dependency(const HostDependency& dependency) {
  VELN_CHECK(ensure_non_empty("host_dependency.binding", dependency.binding));
  VELN_CHECK(ensure_non_empty("host_dependency.id", dependency.id));
  VELN_CHECK(ensure_non_empty("host_dependency.kind", dependency.kind));
  VELN_CHECK(ensure_non_empty("host_dependency.category", dependency.category));
  return ensure_allowed("host_dependency.kind", dependency.kind, kHostDependencyKinds);
}

ValidationStatus validate_module_ir(const ModuleIr& module) { return validate_module_ir(module, {}); }

ValidationStatus validate_module_ir(const ModuleIr& module, const std::vector<ValidationStatus>& function_checks) {
  if (module.ir_version != kIrVersion) return quoted_error("unsupported ir_version '", module.ir_version);
  if (module.vm_profile != kVmProfile) return quoted_error("unsupported vm_profile '", module.vm_profile);
  if (module.host_catalog_version != kHostCatalogVersion) {
    return quoted_error("unsupported host_catalog_version '", module.host_catalog_version);
  }
  VELN_CHECK(ensure_non_empty("module_name", module.module_name));
  VELN_CHECK(ensure_hex_hash(module.source_hash));

  {
    NameSet bindings(module.imports.size());
    for (const ImportIr& import : module.imports) {
      VELN_CHECK(validate_import(import));
      const std::string_view binding = import.alias ? std::string_view(*import.alias) : import.module;
      if (!bindings.insert(binding)) return quoted_error("duplicate import binding '", binding);
    }
  }
  {
    NameSet names(module.global_declarations.size());
    for (const JsonValue& declaration : module.global_declarations) {
      VELN_TRY(const std::string_view name, validate_global_declaration(declaration));
      if (!names.insert(name)) return quoted_error("duplicate global declaration '", name);
    }
  }
  {
    NameSet names(module.functions.size());
    for (size_t i = 0; i < module.functions.size(); ++i) {
      const FunctionIr& function = module.functions[i];
      if (i < function_checks.size()) {
        VELN_CHECK(function_checks[i]);
      } else {
        VELN_CHECK(validate_function(function));
      }
      if (!names.insert(function.name)) return quoted_error("duplicate function '", function.name);
    }
  }
  VELN_CHECK(validate_statement_array(module.module_body));
  {
    NameSet ids(module.host_dependencies.size());
    for (const HostDependency& dependency : module.host_dependencies) {
      VELN_CHECK(validate_host_dependency(dependency));
      if (!ids.insert(dependency.id)) return quoted_error("duplicate host dependency '", dependency.id);
    }
  }
  return Ok{};
}

}  // namespace veln
