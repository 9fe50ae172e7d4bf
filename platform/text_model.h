// The text behind the trace display: a byte text with a colour per character, laid out in rows of at
// most 80 characters, a caret and selection, a 25-row view and a capped scrollback.
//
// Layout. The text is cut into rows of at most 80 characters: an LF is one character and ends its
// row; a longer run without LF wraps at a blank (space or tab), as a word-wrapping text control
// does. When the word after column 80 would be split, the row ends before the last blank of its
// first 80 characters and that blank starts the next row, so a byte shown as " C3" is never cut in
// two and rows of hexadecimal text all read " XX XX ...". A row without a blank after its first
// character is cut at 80. Every row but the last ends with an LF or where the wrap put the next
// row's start. When the text ends with LF the empty row after it counts (the empty text has one
// row). Positions are 0-based character offsets into the whole text, rows ("lines") are 0-based.
//
// Scrollback. At most max_rows rows are kept; beyond it the oldest whole pages of 25 rows are
// dropped, and the caret, the selection and the first visible row shift with the text, so a page
// boundary (a row number divisible by 25) stays a page boundary.
//
// Cost. Appending at the end and every query is O(log n) or amortised O(1); an edit in the middle
// costs the rows from 80 characters before the edit to the end of its LF-terminated line, plus
// O(log n).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/display_grid.h"

namespace platform {

using Colour = std::uint32_t;  // 0x00BBGGRR

inline constexpr int kDefaultScrollbackRows = 100000;

struct Selection {
  int cpMin = 0;  // caret = cpMin
  int cpMax = 0;  // equal to cpMin: nothing selected
};

// What copy, cut and paste go through.
class Clipboard {
 public:
  virtual ~Clipboard() = default;
  virtual void set_text(std::string_view text) = 0;
  virtual std::string text() = 0;
};

class TextModel {
 public:
  explicit TextModel(int max_rows = kDefaultScrollbackRows);
  ~TextModel();
  TextModel(const TextModel&) = delete;
  TextModel& operator=(const TextModel&) = delete;

  // ---- The operations the program uses ----

  // Colour of all present text and of text inserted from now on.
  void set_default_colour(Colour colour);
  // Colour of text inserted from now on (typed or by replace_selection).
  void set_insert_colour(Colour colour);
  Colour insert_colour() const;

  // Replaces the selection by `text` (up to its first NUL), in the insertion colour; the caret
  // (empty selection) ends just after the inserted text.
  void replace_selection(std::string_view text);
  // Removes the selected text.
  void clear_selection();

  Selection selection() const;
  // Sets the selection; cpMax -1 means the end of the text. Other values are clamped to
  // 0..length and put in order; equal values place the caret.
  void set_selection(int cpMin, int cpMax);

  // The row holding `pos` (-1: the caret's row); a position past the end counts as the end.
  int line_from_char(int pos) const;
  // Characters of the row holding `pos` (-1: the caret's row), its LF excluded.
  int line_length(int pos) const;
  // Position of the first character of `line` (-1: the caret's row); -1 when there is no such row.
  int line_index(int line) const;
  int line_count() const;
  int text_length() const;

  int first_visible_line() const;
  // Moves the view by `lines` rows; the first visible row stays within 0..line_count()-1.
  void line_scroll(int lines);

  // Replaces the whole text (up to its first NUL); the caret goes to 0 and the view to the top.
  void set_text(std::string_view text);

  void set_modified(bool modified);
  bool modified() const;

  // ---- What the window needs ----

  // Characters and colours of one row (its LF included when it has one). Out of range: empty.
  std::string row_text(int row) const;
  void row_colours(int row, Colour* out, int capacity) const;  // fills min(capacity, row size)
  std::string text(int pos, int count) const;                  // clamped to the text
  std::string selected_text() const;
  int visible_rows() const { return kDisplayPageRows; }
  int max_rows() const;
  // Counts every change of text, colour, selection or view; a painter compares it to repaint.
  std::uint64_t revision() const;

  // Key actions after the keyboard filter: a typed character at the caret (replacing the selection)
  // in the insertion colour; Enter types an LF. Backspace removes the selection or the character
  // before the caret. Moves with `extend` grow the selection from its anchor.
  void type_char(char ch);
  void backspace();
  void move_left(bool extend);
  void move_right(bool extend);
  void move_up(bool extend);
  void move_down(bool extend);
  void move_home(bool extend);  // start of the caret's row
  void move_end(bool extend);   // end of the caret's row, before its LF
  void page_up(bool extend);    // 25 rows
  void page_down(bool extend);
  // Mouse: places the caret at a row and column (clamped to the row); with `extend` the selection
  // runs from the anchor to there.
  void place_caret(int row, int column, bool extend);
  void select_all();

  void copy(Clipboard& clipboard) const;
  void cut(Clipboard& clipboard);
  void paste(Clipboard& clipboard);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace platform
