// Key-wise dict insertion on top of the dict's structural index: the first
// pair with a structurally equal key keeps its key and takes the value,
// otherwise the pair is appended. The value primitives check the depth and
// size limits before they change anything.
#include "interpreter_support/dict_ops.hpp"

#include <utility>

namespace veln {

VmResult<VmValue> dict_set(VmValue dict, VmValue key, VmValue value) {
  VELN_CHECK(dict.dict_set_key(std::move(key), std::move(value)));
  return dict;
}

}  // namespace veln
