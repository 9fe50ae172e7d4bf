// The rows of the text model, in an implicit treap over a pool of nodes.
//
// How it works
//   The treap is a randomised balanced tree ordered by row number, whose nodes each hold one
//   fixed-size row record and the totals of their subtree (rows, characters, LF-ended rows).
//   Finding a row by number or by position, or the next LF-ended row, is one descent. An edit
//   splits out the rows it touches and merges new ones back; new rows built in order are appended
//   along the right spine of the tree being built, amortised O(1) a row. Nodes come from a pool of
//   fixed blocks with a free list, so the rows dropped from the front of the scrollback are the ones
//   reused by the next append; a node's id stays valid and its place in memory never moves.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/display_grid.h"

namespace platform {

struct Row {
  std::array<char, kDisplayColumns + 1> chars;  // an LF, when present, follows the visible characters
  std::array<std::uint8_t, kDisplayColumns + 1> colours;  // palette indices, one per character
  std::uint8_t length;                                     // visible characters
  bool lf;
  int size() const { return length + (lf ? 1 : 0); }
};

struct RowNode {
  Row row;
  std::int32_t left;  // also the link of the free list
  std::int32_t right;
  std::uint32_t priority;
  std::int32_t rows;  // subtree totals
  std::int32_t chars;
  std::int32_t lfs;
};

class RowTree {
 public:
  using Id = std::int32_t;
  static constexpr Id kNil = -1;

  // ---- Node pool ----

  RowNode& node(Id id) { return blocks_[id >> kBlockShift][id & (kBlockNodes - 1)]; }
  const RowNode& node(Id id) const { return blocks_[id >> kBlockShift][id & (kBlockNodes - 1)]; }
  // A node holding an empty row, linked to nothing.
  Id allocate();
  void release(Id id);
  void release_tree(Id t);
  // Rows of a detached subtree, in order.
  void flatten(Id t, std::vector<Id>& out);

  // ---- Treap ----

  int rows_of(Id t) const { return t == kNil ? 0 : node(t).rows; }
  int chars_of(Id t) const { return t == kNil ? 0 : node(t).chars; }
  int lfs_of(Id t) const { return t == kNil ? 0 : node(t).lfs; }
  // Sets t's totals from its row and its children's totals.
  void update(Id t);
  // l receives the first k rows of t, r the rest.
  void split(Id t, int k, Id& l, Id& r);
  Id merge(Id a, Id b);

  // Appends row `x` to the tree being built in row order; finish_built() returns that tree and
  // starts the next.
  void append_built(Id x);
  Id finish_built();

  // ---- Queries on the whole tree (root always holds at least one row) ----

  int row_count() const { return rows_of(root); }
  int length() const { return chars_of(root); }
  Id node_at(int k) const;
  const Row& row_at(int k) const { return node(node_at(k)).row; }

  struct Prefix {
    int chars = 0;
    int lfs = 0;
  };
  // Characters and LF-ended rows before row k (k may be the row count).
  Prefix prefix(int k) const;
  int row_start(int k) const { return prefix(k).chars; }
  // The row holding pos; the end of the text (or beyond) is in the last row.
  int row_of(int pos) const;
  // The first LF-ended row at or after row k, or the last row: where the wrapping of k's line ends.
  int line_end_row(int k) const;

  // Calls fn(chars, colours, count) for the pieces of [pos, pos + count), in order.
  template <typename Fn>
  void for_each_piece(int pos, int count, Fn fn) const;

  Id root = kNil;

 private:
  static constexpr int kBlockShift = 12;
  static constexpr Id kBlockNodes = Id{1} << kBlockShift;

  std::uint32_t next_priority();

  std::vector<std::unique_ptr<RowNode[]>> blocks_;
  Id used_ = 0;  // nodes ever taken from the blocks
  Id free_list_ = kNil;
  std::uint64_t seed_ = 0x9E3779B97F4A7C15ULL;
  std::vector<Id> stack_;  // traversal scratch
  std::vector<Id> spine_;  // right spine of the tree being built
};

template <typename Fn>
void RowTree::for_each_piece(int pos, int count, Fn fn) const {
  if (count <= 0) return;
  const int first = row_of(pos);
  int offset = pos - row_start(first);
  // In-order walk from row `first`: the stack holds the rows still to visit.
  std::vector<Id> pending;
  Id t = root;
  int k = first;
  while (t != kNil) {
    const RowNode& n = node(t);
    const int left_rows = rows_of(n.left);
    if (k < left_rows) {
      pending.push_back(t);
      t = n.left;
    } else if (k == left_rows) {
      pending.push_back(t);
      break;
    } else {
      k -= left_rows + 1;
      t = n.right;
    }
  }
  while (count > 0 && !pending.empty()) {
    const Id id = pending.back();
    pending.pop_back();
    const Row& r = node(id).row;
    const int take = std::min(count, r.size() - offset);
    fn(r.chars.data() + offset, r.colours.data() + offset, take);
    count -= take;
    offset = 0;
    for (t = node(id).right; t != kNil; t = node(t).left) pending.push_back(t);
  }
}

}  // namespace platform
