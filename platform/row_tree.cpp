#include "platform/row_tree.h"

namespace platform {

// The memory budget at the default cap assumes about 200 bytes a row.
static_assert(sizeof(RowNode) <= 192);

// ---- Node pool ----

std::uint32_t RowTree::next_priority() {
  seed_ ^= seed_ << 13;
  seed_ ^= seed_ >> 7;
  seed_ ^= seed_ << 17;
  return static_cast<std::uint32_t>(seed_ >> 32);
}

RowTree::Id RowTree::allocate() {
  Id id = free_list_;
  if (id != kNil) {
    free_list_ = node(id).left;
  } else {
    if (used_ == static_cast<Id>(blocks_.size()) * kBlockNodes) {
      // Untouched until used, so a fresh block costs address space, not memory.
      blocks_.push_back(std::make_unique_for_overwrite<RowNode[]>(kBlockNodes));
    }
    id = used_++;
  }
  RowNode& n = node(id);
  n.row.length = 0;
  n.row.lf = false;
  n.left = n.right = kNil;
  n.priority = next_priority();
  return id;
}

void RowTree::release(Id id) {
  node(id).left = free_list_;
  free_list_ = id;
}

void RowTree::release_tree(Id t) {
  if (t == kNil) return;
  stack_.clear();
  stack_.push_back(t);
  while (!stack_.empty()) {
    const Id id = stack_.back();
    stack_.pop_back();
    const RowNode& n = node(id);
    if (n.left != kNil) stack_.push_back(n.left);
    if (n.right != kNil) stack_.push_back(n.right);
    release(id);
  }
}

void RowTree::flatten(Id t, std::vector<Id>& out) {
  out.clear();
  stack_.clear();
  while (t != kNil || !stack_.empty()) {
    while (t != kNil) {
      stack_.push_back(t);
      t = node(t).left;
    }
    t = stack_.back();
    stack_.pop_back();
    out.push_back(t);
    t = node(t).right;
  }
}

// ---- Treap ----

void RowTree::update(Id t) {
  RowNode& n = node(t);
  n.rows = 1 + rows_of(n.left) + rows_of(n.right);
  n.chars = n.row.size() + chars_of(n.left) + chars_of(n.right);
  n.lfs = (n.row.lf ? 1 : 0) + lfs_of(n.left) + lfs_of(n.right);
}

void RowTree::split(Id t, int k, Id& l, Id& r) {
  if (t == kNil) {
    l = r = kNil;
    return;
  }
  RowNode& n = node(t);
  if (k <= rows_of(n.left)) {
    split(n.left, k, l, n.left);
    r = t;
  } else {
    split(n.right, k - rows_of(n.left) - 1, n.right, r);
    l = t;
  }
  update(t);
}

RowTree::Id RowTree::merge(Id a, Id b) {
  if (a == kNil) return b;
  if (b == kNil) return a;
  if (node(a).priority > node(b).priority) {
    node(a).right = merge(node(a).right, b);
    update(a);
    return a;
  }
  node(b).left = merge(a, node(b).left);
  update(b);
  return b;
}

// The right spine of a treap built in row order is a stack, so each row costs amortised O(1).
void RowTree::append_built(Id x) {
  Id last = kNil;
  while (!spine_.empty() && node(spine_.back()).priority < node(x).priority) {
    last = spine_.back();
    spine_.pop_back();
    update(last);
  }
  node(x).left = last;
  if (!spine_.empty()) node(spine_.back()).right = x;
  spine_.push_back(x);
}

RowTree::Id RowTree::finish_built() {
  for (std::size_t i = spine_.size(); i-- > 0;) update(spine_[i]);
  const Id built = spine_.empty() ? kNil : spine_.front();
  spine_.clear();
  return built;
}

// ---- Queries ----

RowTree::Id RowTree::node_at(int k) const {
  Id t = root;
  for (;;) {
    const RowNode& n = node(t);
    const int left_rows = rows_of(n.left);
    if (k < left_rows) {
      t = n.left;
    } else if (k == left_rows) {
      return t;
    } else {
      k -= left_rows + 1;
      t = n.right;
    }
  }
}

RowTree::Prefix RowTree::prefix(int k) const {
  Prefix p;
  Id t = root;
  while (t != kNil) {
    const RowNode& n = node(t);
    const int left_rows = rows_of(n.left);
    if (k < left_rows) {
      t = n.left;
      continue;
    }
    p.chars += chars_of(n.left);
    p.lfs += lfs_of(n.left);
    if (k == left_rows) break;
    p.chars += n.row.size();
    p.lfs += n.row.lf ? 1 : 0;
    k -= left_rows + 1;
    t = n.right;
  }
  return p;
}

int RowTree::row_of(int pos) const {
  if (pos >= length()) return row_count() - 1;
  pos = std::max(pos, 0);
  int row = 0;
  Id t = root;
  for (;;) {
    const RowNode& n = node(t);
    const int left_chars = chars_of(n.left);
    if (pos < left_chars) {
      t = n.left;
      continue;
    }
    pos -= left_chars;
    row += rows_of(n.left);
    if (pos < n.row.size()) return row;
    pos -= n.row.size();
    ++row;
    t = n.right;
  }
}

int RowTree::line_end_row(int k) const {
  int wanted = prefix(k).lfs;
  if (wanted >= lfs_of(root)) return row_count() - 1;
  int row = 0;
  Id t = root;
  for (;;) {
    const RowNode& n = node(t);
    const int left_lfs = lfs_of(n.left);
    if (wanted < left_lfs) {
      t = n.left;
      continue;
    }
    wanted -= left_lfs;
    row += rows_of(n.left);
    if (n.row.lf) {
      if (wanted == 0) return row;
      --wanted;
    }
    ++row;
    t = n.right;
  }
}

}  // namespace platform
