// libFuzzer target: any byte string read as a bundle along both routes. The
// in-place route must give exactly the tree route's outcome: the same
// message, or the same modules.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "python_bindings/bundle_reader.hpp"

namespace {

bool same_module(const veln::ModuleIr& a, const veln::ModuleIr& b) {
  if (a.module_name != b.module_name || a.functions.size() != b.functions.size() ||
      a.global_declarations != b.global_declarations || a.module_body != b.module_body ||
      a.imports.size() != b.imports.size()) {
    return false;
  }
  for (size_t i = 0; i < a.functions.size(); ++i) {
    const veln::FunctionIr& f = a.functions[i];
    const veln::FunctionIr& g = b.functions[i];
    if (f.name != g.name || f.visibility != g.visibility || f.body != g.body || f.span != g.span ||
        f.parameters.size() != g.parameters.size()) {
      return false;
    }
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  auto fast = veln::read_bundle(text);
  auto tree = veln::read_bundle_through_tree(text);
  if (fast.ok() != tree.ok()) std::abort();
  if (!fast.ok()) {
    if (fast.error().message != tree.error().message) std::abort();
    return 0;
  }
  if (fast->size() != tree->size()) std::abort();
  for (auto f = fast->begin(), t = tree->begin(); f != fast->end(); ++f, ++t) {
    if (f->first != t->first || !same_module(f->second, t->second)) std::abort();
  }
  return 0;
}
