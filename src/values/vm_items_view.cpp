// VmItemsView (see header): random access through the pieces.
#include "values/vm_items_view.hpp"

namespace veln {

const VmValue& VmItemsView::in_pieces(size_t i) const {
  const size_t j = piece_at(std::span<const Piece>(pieces_, piece_count_), i);
  return piece_items(j)[i - piece_start(j)];
}

}  // namespace veln
