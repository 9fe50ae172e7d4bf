// The lines that scrolled off the top of the main screen, oldest first, in a ring of fixed capacity.
//
// A line keeps its cells up to the last one that differs from an erased cell (a blank with the
// default background and no underline, reverse or strike), so short lines cost little; its slot's
// storage is reused when the ring wraps, so a full ring allocates nothing more. When the ring is
// full, a new line drops the oldest one. Lines are numbered from the first line ever kept: the
// oldest kept line is number dropped(), so a number keeps meaning the same line while older
// lines go. pop() takes the newest line back (a taller screen pulls lines down from here).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "terminal/cell.h"

namespace terminal {

class Scrollback {
 public:
  explicit Scrollback(std::size_t capacity) : capacity_(capacity) {}

  void push(std::span<const Cell> cells);
  // Moves the newest line out into `line` (which it replaces); false when there is none.
  bool pop(std::vector<Cell>& line);
  void clear();

  std::size_t size() const { return count_; }
  std::size_t capacity() const { return capacity_; }
  std::int64_t dropped() const { return dropped_; }
  // Line i, 0 the oldest kept, trailing erased cells left out.
  std::span<const Cell> line(std::size_t i) const { return slots_[(first_ + i) % capacity_]; }

 private:
  std::size_t capacity_;
  std::vector<std::vector<Cell>> slots_;
  std::size_t first_ = 0;  // slot of the oldest line
  std::size_t count_ = 0;
  std::int64_t dropped_ = 0;
};

// Whether `cell` looks the same as a cell nothing was written to.
bool looks_erased(const Cell& cell);

}  // namespace terminal
