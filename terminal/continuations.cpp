#include "terminal/continuations.h"

#include <algorithm>

namespace terminal {

void Continuations::mark(int first, int end) {
  for (int row = std::max(first, 0); row < std::min<int>(end, static_cast<int>(marks_.size())); ++row)
    marks_[static_cast<std::size_t>(row)] = true;
}

void Continuations::clear(int first, int end) {
  for (int row = std::max(first, 0); row < std::min<int>(end, static_cast<int>(marks_.size())); ++row)
    marks_[static_cast<std::size_t>(row)] = false;
}

void Continuations::move(int from, int to, int count) {
  std::vector<bool> moved(static_cast<std::size_t>(std::max(count, 0)), false);
  for (int i = 0; i < count; ++i) moved[static_cast<std::size_t>(i)] = runs_on(from + i);
  clear(from, from + count);
  for (int i = 0; i < count; ++i)
    if (moved[static_cast<std::size_t>(i)]) mark(to + i, to + i + 1);
}

bool Continuations::runs_on(int row) const {
  return row >= 0 && row < static_cast<int>(marks_.size()) && marks_[static_cast<std::size_t>(row)];
}

int Continuations::line_start(int row) const {
  while (runs_on(row - 1)) --row;
  return row;
}

}  // namespace terminal
