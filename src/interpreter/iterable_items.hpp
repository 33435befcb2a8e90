// IterableItems: the items of a builtin's iterable argument, viewed in place
// for a list, tuple, set or frozenset (no copy), else the items
// iterate_value makes. A view must not outlive the argument it reads. It
// neither charges nor changes anything.
#pragma once

#include <span>
#include <utility>
#include <vector>

#include "interpreter_support/value_iteration.hpp"
#include "values/vm_value.hpp"

namespace veln {

class IterableItems {
 public:
  static VmResult<IterableItems> of(const VmValue& value) {
    IterableItems out;
    if (vm_kind_is_sequence(value.kind())) {
      out.view_ = value.items();
      return out;
    }
    VELN_TRY(out.owned_, iterate_value(value));
    out.view_ = out.owned_;
    return out;
  }
  IterableItems(IterableItems&& other) noexcept
      : owned_(std::move(other.owned_)), view_(other.view_) {}  // a moved vector keeps its buffer
  IterableItems& operator=(IterableItems&&) = delete;
  std::span<const VmValue> items() const { return view_; }
  size_t size() const { return view_.size(); }

 private:
  IterableItems() = default;
  std::vector<VmValue> owned_;
  std::span<const VmValue> view_;
};

}  // namespace veln
