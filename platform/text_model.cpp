// The text model's layout over its row tree (platform/row_tree.h): an edit splits out the rows it
// touches, streams them through a row writer together with the new text, and merges the rewrapped
// rows back.
#include "platform/text_model.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstring>
#include <vector>

#include "platform/row_tree.h"

namespace platform {
namespace {

// Positions stay inside int: at most this many rows of 81 characters, plus one chunk still to trim.
constexpr int kMaxRowsLimit = 10'000'000;
// Longer insertions are made in pieces of this size, trimming between them, so that an
// insertion of any length neither overflows a position nor holds more than the cap at once.
constexpr std::size_t kChunk = std::size_t{1} << 20;
constexpr Colour kColourMask = 0x00FFFFFF;

// Colours are stored as one-byte indices. The program uses a handful of colours; should 256
// distinct ones ever be asked for, later ones are shown in the nearest colour already known.
class Palette {
 public:
  void reset(Colour first) {
    colours_[0] = first;
    count_ = 1;
  }
  Colour colour(std::uint8_t index) const { return colours_[index]; }
  std::uint8_t index_of(Colour colour);

 private:
  static int distance(Colour a, Colour b) {
    int sum = 0;
    for (int shift = 0; shift < 24; shift += 8) {
      const int d = static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF);
      sum += d * d;
    }
    return sum;
  }

  std::array<Colour, 256> colours_{};
  int count_ = 1;
};

std::uint8_t Palette::index_of(Colour colour) {
  for (int i = 0; i < count_; ++i) {
    if (colours_[i] == colour) return static_cast<std::uint8_t>(i);
  }
  if (count_ < static_cast<int>(colours_.size())) {
    colours_[count_] = colour;
    return static_cast<std::uint8_t>(count_++);
  }
  int best = 0;
  for (int i = 1; i < count_; ++i) {
    if (distance(colours_[i], colour) < distance(colours_[best], colour)) best = i;
  }
  return static_cast<std::uint8_t>(best);
}

std::string_view up_to_nul(std::string_view text) { return text.substr(0, text.find('\0')); }

bool is_blank(char ch) { return ch == ' ' || ch == '\t'; }

}  // namespace

struct TextModel::Impl {
  explicit Impl(int rows_cap) : cap(std::clamp(rows_cap, kDisplayPageRows, kMaxRowsLimit)) {
    palette.reset(default_colour);
    tree.root = tree.allocate();
    tree.update(tree.root);
  }

  // The furthest column that is still on row k: a wrapped row ends before its last character, since
  // the position after it is the first of the next row.
  int last_column(int k) const {
    const Row& r = tree.row_at(k);
    return (r.lf || k == tree.row_count() - 1) ? r.length : r.length - 1;
  }

  // ---- Row writer: lays a character stream out into new rows, built into a treap as it goes ----

  void out_put(const char* chars, const std::uint8_t* colours, std::uint8_t colour, std::size_t count) {
    // Characters before the next LF: one search per line, not one per row.
    auto before_lf = [](const char* from, std::size_t n) {
      if (n == 0) return n;  // an empty insertion may come without a buffer
      const void* lf = std::memchr(from, '\n', n);
      return lf == nullptr ? n : static_cast<std::size_t>(static_cast<const char*>(lf) - from);
    };
    std::size_t line = before_lf(chars, count);
    while (count > 0) {
      if (out_row == RowTree::kNil) out_row = tree.allocate();
      Row& r = tree.node(out_row).row;
      if (line == 0) {
        r.chars[r.length] = '\n';
        r.colours[r.length] = colours != nullptr ? *colours : colour;
        r.lf = true;
        out_close();
        ++chars;
        if (colours != nullptr) ++colours;
        --count;
        line = before_lf(chars, count);
        continue;
      }
      // A full row takes a following LF; anything else starts the next row.
      if (r.length == kDisplayColumns) {
        out_wrap(*chars);
        continue;
      }
      const std::size_t room = kDisplayColumns - r.length;
      std::size_t take = std::min(line, room);
      bool row_ends = false;
      if (line > room && !is_blank(chars[room])) {
        // The row fills up inside a word. When the row's last blank is among these characters, the
        // row ends there at once (what out_wrap would do after moving the word's start back out).
        const std::size_t lowest = r.length == 0 ? 1 : 0;
        for (std::size_t i = room; i-- > lowest;) {
          if (is_blank(chars[i])) {
            take = i;
            row_ends = true;
            break;
          }
        }
      }
      std::copy_n(chars, take, r.chars.begin() + r.length);
      if (colours != nullptr) {
        std::copy_n(colours, take, r.colours.begin() + r.length);
        colours += take;
      } else {
        std::fill_n(r.colours.begin() + r.length, take, colour);
      }
      r.length = static_cast<std::uint8_t>(r.length + take);
      chars += take;
      count -= take;
      line -= take;
      if (row_ends) out_close();
    }
  }

  // The open row is full and `next`, not an LF, follows it. Unless `next` is a blank, the word it
  // belongs to would be split: the row ends at its last blank (not its first character), and the
  // blank and what follows it open the next row. Without such a blank the row is cut at 80.
  void out_wrap(char next) {
    int cut = kDisplayColumns;
    if (!is_blank(next)) {
      const Row& full = tree.node(out_row).row;
      for (int i = kDisplayColumns - 1; i > 0; --i) {
        if (is_blank(full.chars[static_cast<std::size_t>(i)])) {
          cut = i;
          break;
        }
      }
    }
    if (cut == kDisplayColumns) {
      out_close();
      return;
    }
    const RowTree::Id rest = tree.allocate();
    Row& full = tree.node(out_row).row;  // nodes never move when the pool grows
    Row& moved = tree.node(rest).row;
    const int count = kDisplayColumns - cut;
    std::copy_n(full.chars.begin() + cut, count, moved.chars.begin());
    std::copy_n(full.colours.begin() + cut, count, moved.colours.begin());
    moved.length = static_cast<std::uint8_t>(count);
    full.length = static_cast<std::uint8_t>(cut);
    out_close();
    out_row = rest;
  }

  // Appends the finished row to the rows being built.
  void out_close() {
    tree.append_built(out_row);
    out_row = RowTree::kNil;
  }

  // `last_row`: the stream ends the text, so its final row is kept even when empty.
  RowTree::Id out_finish(bool last_row) {
    if (out_row == RowTree::kNil && last_row) out_row = tree.allocate();
    if (out_row != RowTree::kNil) out_close();
    return tree.finish_built();
  }

  // ---- Edits ----

  // Replaces [a, b) by text (no NUL, at most one chunk). Rewraps from the first row the edit can
  // change to the end of the LF-ended line holding b; rows before keep their wrapping, rows after
  // are untouched.
  void replace_range(int a, int b, std::string_view text, std::uint8_t colour) {
    int first = tree.row_of(a);
    // Where a row ends depends on the 81 characters from its start, so the wrapped row before the
    // edit is rewritten too when it starts within 80 characters of it: a word growing at the edit
    // moves down, an LF arriving right after a full row joins it, an emptied last row disappears.
    // The row before that one cannot change: the two of them span more than 80 characters.
    if (first > 0 && !tree.row_at(first - 1).lf && tree.row_start(first - 1) + kDisplayColumns >= a) --first;
    const int last = tree.line_end_row(tree.row_of(b));
    RowTree::Id left = RowTree::kNil;
    RowTree::Id mid = RowTree::kNil;
    RowTree::Id right = RowTree::kNil;
    tree.split(tree.root, last + 1, mid, right);
    tree.split(mid, first, left, mid);
    tree.flatten(mid, old_rows);

    int pos = tree.chars_of(left);
    bool inserted = false;
    for (const RowTree::Id id : old_rows) {
      const Row& r = tree.node(id).row;
      const int lo = pos;
      const int hi = pos + r.size();
      if (lo < a) out_put(r.chars.data(), r.colours.data(), 0, static_cast<std::size_t>(std::min(hi, a) - lo));
      if (!inserted && a <= hi) {
        out_put(text.data(), nullptr, colour, text.size());
        inserted = true;
      }
      if (const int from = std::max(lo, b); from < hi) {
        out_put(r.chars.data() + (from - lo), r.colours.data() + (from - lo), 0,
                static_cast<std::size_t>(hi - from));
      }
      tree.release(id);  // fully read: the writer may reuse it
      pos = hi;
    }
    tree.root = tree.merge(tree.merge(left, out_finish(right == RowTree::kNil)), right);
    modified = true;
    ++revision;
  }

  // Drops the oldest whole pages until the cap holds; everything positional shifts with the text.
  void trim() {
    const int excess = tree.row_count() - cap;
    if (excess <= 0) return;
    const int drop = (excess + kDisplayPageRows - 1) / kDisplayPageRows * kDisplayPageRows;
    RowTree::Id dropped = RowTree::kNil;
    tree.split(tree.root, drop, dropped, tree.root);
    const int dropped_chars = tree.chars_of(dropped);
    tree.release_tree(dropped);
    anchor = std::max(anchor - dropped_chars, 0);
    active = std::max(active - dropped_chars, 0);
    first_visible = std::max(first_visible - drop, 0);
    ++revision;
  }

  // Replaces the selection by text in the given colour, leaving the caret after it.
  void insert(std::string_view text, std::uint8_t colour) {
    text = up_to_nul(text);
    int a = sel_min();
    int b = sel_max();
    if (a == b && text.empty()) return;
    do {
      const std::string_view piece = text.substr(0, kChunk);
      text.remove_prefix(piece.size());
      replace_range(a, b, piece, colour);
      anchor = active = a + static_cast<int>(piece.size());
      trim();
      a = b = active;
    } while (!text.empty());
    goal_column = -1;
    clamp_view();
  }

  // ---- Selection and view ----

  int sel_min() const { return std::min(anchor, active); }
  int sel_max() const { return std::max(anchor, active); }

  void select(int new_anchor, int new_active) {
    if (new_anchor == anchor && new_active == active) return;
    anchor = new_anchor;
    active = new_active;
    ++revision;
  }

  void set_first_visible(long long row) {
    const int clamped = static_cast<int>(std::clamp<long long>(row, 0, tree.row_count() - 1));
    if (clamped == first_visible) return;
    first_visible = clamped;
    ++revision;
  }
  void clamp_view() { set_first_visible(first_visible); }

  // Scrolls just enough to show the row of the moving end of the selection.
  void show_caret() {
    const int row = tree.row_of(active);
    if (row < first_visible) {
      set_first_visible(row);
    } else if (row >= first_visible + kDisplayPageRows) {
      set_first_visible(row - kDisplayPageRows + 1);
    }
  }

  // Caret moves from the keyboard: `keep_goal` for vertical moves, which remember the column.
  void move_to(int pos, bool extend, bool keep_goal = false) {
    select(extend ? anchor : pos, pos);
    if (!keep_goal) goal_column = -1;
    show_caret();
  }

  // Up, down and the page keys: the same column on row `row` (clamped to it), remembered so that
  // passing through a short row does not lose it.
  int vertical_target(long long row) {
    const int from = tree.row_of(active);
    if (goal_column < 0) goal_column = active - tree.row_start(from);
    const int target = static_cast<int>(std::clamp<long long>(row, 0, tree.row_count() - 1));
    return tree.row_start(target) + std::min(goal_column, last_column(target));
  }

  RowTree tree;
  std::vector<RowTree::Id> old_rows;  // rows being rewritten by an edit
  RowTree::Id out_row = RowTree::kNil;         // the writer's open row

  const int cap;
  Palette palette;
  Colour default_colour = 0;
  Colour insert_colour = 0;
  std::uint8_t insert_index = 0;
  int anchor = 0;  // the end a extended selection grows from
  int active = 0;  // the end that moves
  int goal_column = -1;
  int first_visible = 0;
  bool modified = false;
  std::uint64_t revision = 0;
};

TextModel::TextModel(int max_rows) : impl_(std::make_unique<Impl>(max_rows)) {}
TextModel::~TextModel() = default;

void TextModel::set_default_colour(Colour colour) {
  Impl& m = *impl_;
  colour &= kColourMask;
  // Every row now shows palette entry 0, so the palette can start again from the new colour.
  m.tree.flatten(m.tree.root, m.old_rows);
  for (const RowTree::Id id : m.old_rows) {
    Row& r = m.tree.node(id).row;
    std::fill_n(r.colours.begin(), r.size(), std::uint8_t{0});
  }
  m.default_colour = colour;
  m.palette.reset(colour);
  m.insert_colour = colour;
  m.insert_index = 0;
  ++m.revision;
}

void TextModel::set_insert_colour(Colour colour) {
  colour &= kColourMask;
  impl_->insert_colour = colour;
  impl_->insert_index = impl_->palette.index_of(colour);
}

Colour TextModel::insert_colour() const { return impl_->insert_colour; }

void TextModel::replace_selection(std::string_view text) { impl_->insert(text, impl_->insert_index); }

void TextModel::clear_selection() { impl_->insert({}, 0); }

Selection TextModel::selection() const { return {impl_->sel_min(), impl_->sel_max()}; }

void TextModel::set_selection(int cpMin, int cpMax) {
  Impl& m = *impl_;
  const int length = m.tree.length();
  const int low = std::clamp(cpMin, 0, length);
  const int high = cpMax == -1 ? length : std::clamp(cpMax, 0, length);
  m.select(std::min(low, high), std::max(low, high));
  m.goal_column = -1;
}

int TextModel::line_from_char(int pos) const { return impl_->tree.row_of(pos == -1 ? impl_->sel_min() : pos); }

int TextModel::line_length(int pos) const { return impl_->tree.row_at(line_from_char(pos)).length; }

int TextModel::line_index(int line) const {
  if (line == -1) line = line_from_char(-1);
  if (line < 0 || line >= impl_->tree.row_count()) return -1;
  return impl_->tree.row_start(line);
}

int TextModel::line_count() const { return impl_->tree.row_count(); }

int TextModel::text_length() const { return impl_->tree.length(); }

int TextModel::first_visible_line() const { return impl_->first_visible; }

void TextModel::line_scroll(int lines) {
  impl_->set_first_visible(static_cast<long long>(impl_->first_visible) + lines);
}

void TextModel::set_text(std::string_view text) {
  Impl& m = *impl_;
  m.tree.release_tree(m.tree.root);
  m.tree.root = m.tree.allocate();
  m.tree.update(m.tree.root);
  // No row refers to the palette any more: a good moment to forget colours no longer shown.
  m.palette.reset(m.default_colour);
  m.insert_index = m.palette.index_of(m.insert_colour);
  m.anchor = m.active = 0;
  m.insert(text, 0);
  m.anchor = m.active = 0;
  m.goal_column = -1;
  m.first_visible = 0;
  m.modified = false;
  ++m.revision;
}

void TextModel::set_modified(bool modified) { impl_->modified = modified; }

bool TextModel::modified() const { return impl_->modified; }

std::string TextModel::row_text(int row) const {
  if (row < 0 || row >= impl_->tree.row_count()) return {};
  const Row& r = impl_->tree.row_at(row);
  return std::string(r.chars.data(), static_cast<std::size_t>(r.size()));
}

void TextModel::row_colours(int row, Colour* out, int capacity) const {
  if (out == nullptr || row < 0 || row >= impl_->tree.row_count()) return;
  const Row& r = impl_->tree.row_at(row);
  const int count = std::min(capacity, r.size());
  for (int i = 0; i < count; ++i) out[i] = impl_->palette.colour(r.colours[i]);
}

std::string TextModel::text(int pos, int count) const {
  const int length = impl_->tree.length();
  pos = std::clamp(pos, 0, length);
  count = std::clamp(count, 0, length - pos);
  std::string out;
  out.reserve(static_cast<std::size_t>(count));
  impl_->tree.for_each_piece(pos, count, [&out](const char* chars, const std::uint8_t*, int n) {
    out.append(chars, static_cast<std::size_t>(n));
  });
  return out;
}

std::string TextModel::selected_text() const {
  return text(impl_->sel_min(), impl_->sel_max() - impl_->sel_min());
}

int TextModel::max_rows() const { return impl_->cap; }

std::uint64_t TextModel::revision() const { return impl_->revision; }

void TextModel::type_char(char ch) {
  if (ch == '\0') return;
  impl_->insert(std::string_view(&ch, 1), impl_->insert_index);
  impl_->show_caret();
}

void TextModel::backspace() {
  Impl& m = *impl_;
  if (m.anchor == m.active && m.active > 0) m.select(m.active - 1, m.active);
  m.insert({}, 0);
  m.show_caret();
}

void TextModel::move_left(bool extend) {
  Impl& m = *impl_;
  // Without shift, a selection collapses to its start rather than moving past it.
  m.move_to((extend || m.anchor == m.active) ? std::max(m.active - 1, 0) : m.sel_min(), extend);
}

void TextModel::move_right(bool extend) {
  Impl& m = *impl_;
  m.move_to((extend || m.anchor == m.active) ? std::min(m.active + 1, m.tree.length()) : m.sel_max(), extend);
}

void TextModel::move_up(bool extend) {
  Impl& m = *impl_;
  m.move_to(m.vertical_target(static_cast<long long>(m.tree.row_of(m.active)) - 1), extend, true);
}

void TextModel::move_down(bool extend) {
  Impl& m = *impl_;
  m.move_to(m.vertical_target(static_cast<long long>(m.tree.row_of(m.active)) + 1), extend, true);
}

void TextModel::move_home(bool extend) {
  Impl& m = *impl_;
  m.move_to(m.tree.row_start(m.tree.row_of(m.active)), extend);
}

void TextModel::move_end(bool extend) {
  Impl& m = *impl_;
  const int row = m.tree.row_of(m.active);
  m.move_to(m.tree.row_start(row) + m.tree.row_at(row).length, extend);
}

void TextModel::page_up(bool extend) {
  Impl& m = *impl_;
  const int row = m.tree.row_of(m.active);
  const int pos = m.vertical_target(static_cast<long long>(row) - kDisplayPageRows);
  // The view moves with the caret, so the caret keeps its place on the screen.
  m.set_first_visible(static_cast<long long>(m.first_visible) + (m.tree.row_of(pos) - row));
  m.move_to(pos, extend, true);
}

void TextModel::page_down(bool extend) {
  Impl& m = *impl_;
  const int row = m.tree.row_of(m.active);
  const int pos = m.vertical_target(static_cast<long long>(row) + kDisplayPageRows);
  m.set_first_visible(static_cast<long long>(m.first_visible) + (m.tree.row_of(pos) - row));
  m.move_to(pos, extend, true);
}

void TextModel::place_caret(int row, int column, bool extend) {
  Impl& m = *impl_;
  const int target = std::clamp(row, 0, m.tree.row_count() - 1);
  m.move_to(m.tree.row_start(target) + std::clamp(column, 0, m.last_column(target)), extend);
}

void TextModel::select_all() {
  Impl& m = *impl_;
  m.select(0, m.tree.length());
  m.goal_column = -1;
}

void TextModel::copy(Clipboard& clipboard) const {
  if (impl_->anchor != impl_->active) clipboard.set_text(selected_text());
}

void TextModel::cut(Clipboard& clipboard) {
  if (impl_->anchor == impl_->active) return;
  copy(clipboard);
  impl_->insert({}, 0);
  impl_->show_caret();
}

void TextModel::paste(Clipboard& clipboard) {
  const std::string pasted = clipboard.text();
  if (up_to_nul(pasted).empty()) return;
  impl_->insert(pasted, impl_->insert_index);
  impl_->show_caret();
}

}  // namespace platform
