// Which rows of the screen printed text ran on from: row r is marked when text wrapped from its end
// onto row r + 1. The marks move with the rows when the screen scrolls or lines are inserted or
// deleted, so that a line the far end wrote over several rows can be taken whole when a line feed
// ends it.
#pragma once

#include <vector>

namespace terminal {

class Continuations {
 public:
  void reset(int rows) { marks_.assign(static_cast<std::size_t>(rows), false); }
  // Rows [first, end) run on onto the row after each.
  void mark(int first, int end);
  void clear(int first, int end);
  // `count` rows moved from `from` to `to` (rows left behind are erased).
  void move(int from, int to, int count);
  bool runs_on(int row) const;
  // The first row of the line that ends on `row`.
  int line_start(int row) const;

 private:
  std::vector<bool> marks_;
};

}  // namespace terminal
