// VmItemsView (see header): random access through the pieces.
#include "values/vm_items_view.hpp"

namespace veln {

const VmValue& VmItemsView::in_pieces(size_t i) const {
  size_t j = last_piece_;
  if (i >= pieces_[j].end || i < piece_start(j)) {
    j = piece_at(std::span<const Piece>(pieces_, piece_count_), i);
    last_piece_ = j;
  }
  return piece_items(j)[i - piece_start(j)];
}

}  // namespace veln
