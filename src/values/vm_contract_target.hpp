// VmContractTarget: where a cross-contract call goes, one of four variants,
// each naming the callee module. Plain data; resolution happens elsewhere.
#pragma once

#include <string>
#include <variant>

namespace veln {

struct VmStaticImportTarget {
  std::string binding;
  std::string module;
};
struct VmDynamicImportTarget {
  std::string module;
};
struct VmLocalHandleTarget {
  std::string binding;
  std::string module;
};
struct VmFactoryCallTarget {
  std::string factory;
  std::string module;
};

struct VmContractTarget {
  std::variant<VmStaticImportTarget, VmDynamicImportTarget, VmLocalHandleTarget, VmFactoryCallTarget> variant;

  // The callee module, whichever the variant.
  const std::string& module() const {
    return std::visit([](const auto& t) -> const std::string& { return t.module; }, variant);
  }
};

}  // namespace veln
