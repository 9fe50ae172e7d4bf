#include "terminal/scrollback.h"

#include <algorithm>

namespace terminal {

bool looks_erased(const Cell& cell) {
  return cell.blank() && cell.background.kind == Colour::Kind::Default && !cell.style.reverse &&
         cell.style.underline == 0 && !cell.style.strike;
}

void Scrollback::push(std::span<const Cell> cells) {
  if (capacity_ == 0) return;
  if (count_ == capacity_) {
    first_ = (first_ + 1) % capacity_;
    --count_;
    ++dropped_;
  }
  const std::size_t slot = (first_ + count_) % capacity_;
  if (slot == slots_.size()) slots_.emplace_back();  // still filling: slots are taken in order
  const auto kept = std::find_if_not(cells.rbegin(), cells.rend(), looks_erased).base();
  slots_[slot].assign(cells.begin(), kept);
  ++count_;
}

bool Scrollback::pop(std::vector<Cell>& line) {
  if (count_ == 0) return false;
  --count_;
  line.swap(slots_[(first_ + count_) % capacity_]);
  return true;
}

void Scrollback::clear() {
  dropped_ += static_cast<std::int64_t>(count_);
  count_ = 0;
}

}  // namespace terminal
