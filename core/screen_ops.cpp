#include "core/screen_ops.h"

#include <algorithm>
#include <string>

using platform::DialogHost;
using platform::DisplaySurface;

namespace {

int page_top(int line) { return line / HEX_ANSI_VERSIZE * HEX_ANSI_VERSIZE; }

void place_caret(DisplaySurface& screen, int position) { screen.set_selection(position, position); }

// Start and end (before its LF) of the caret's row.
struct RowSpan {
  int start;
  int end;
};

RowSpan caret_row(DisplaySurface& screen) {
  const int start = screen.line_index(screen.line_from_char(screen.selection().cpMin));
  return {start, start + screen.line_length(start)};
}

void erase(DisplaySurface& screen, int from, int to) {
  screen.set_selection(from, to);
  screen.clear_selection();
}

}  // namespace

int hex_caretline(DialogHost& hwnd) {
  DisplaySurface& screen = hwnd.screen();
  return screen.line_from_char(screen.selection().cpMin);
}

void hex_ansi_scroll(DialogHost& hwnd) {
  DisplaySurface& screen = hwnd.screen();
  const int top = page_top(hex_caretline(hwnd));
  const int first = screen.first_visible_line();
  if (first != top) screen.line_scroll(top - first);
}

void hex_scroll_bottom(DialogHost& hwnd, int line) {
  DisplaySurface& screen = hwnd.screen();
  line = std::min(line, screen.line_count());
  screen.line_scroll(line - screen.first_visible_line() - HEX_ANSI_VERSIZE);
}

void hex_caretbottom(DialogHost& hwnd) { hex_scroll_bottom(hwnd, hex_caretline(hwnd)); }

void hex_caret_end(DialogHost& hwnd) {
  DisplaySurface& screen = hwnd.screen();
  place_caret(screen, screen.text_length());
}

void hex_ansi_go_home(DialogHost& hwnd) { place_caret(hwnd.screen(), 0); }

void hex_ansi_go_end(DialogHost& hwnd) {
  DisplaySurface& screen = hwnd.screen();
  place_caret(screen, caret_row(screen).end);
}

void hex_ansi_go_clr_eos(DialogHost& hwnd) {
  DisplaySurface& screen = hwnd.screen();
  erase(screen, screen.selection().cpMin, screen.text_length());
}

void hex_ansi_go_clr_eol(DialogHost& hwnd) {
  DisplaySurface& screen = hwnd.screen();
  erase(screen, screen.selection().cpMin, caret_row(screen).end);
}

void hex_ansi_clr_line(DialogHost& hwnd) {
  DisplaySurface& screen = hwnd.screen();
  const RowSpan row = caret_row(screen);
  erase(screen, row.start, row.end);
}

void hex_goto_line(DialogHost& hwnd, int lin) {
  DisplaySurface& screen = hwnd.screen();
  lin = std::clamp(lin, 0, HEX_ANSI_VERSIZE);
  const int target = page_top(hex_caretline(hwnd)) + lin;
  const int count = screen.line_count();
  // The empty row after a final LF is counted, so row `target` exists once there are target + 1 rows.
  if (count <= target) {
    // The caret ends after the last LF, at the start of the new last row: row `target`.
    hex_caret_end(hwnd);
    screen.replace_selection(std::string(static_cast<std::size_t>(target - count + 1), '\n'));
  } else {
    place_caret(screen, screen.line_index(target));
  }
  hex_ansi_scroll(hwnd);
}

void hex_goto_column(DialogHost& hwnd, int col) {
  DisplaySurface& screen = hwnd.screen();
  col = std::clamp(col, 0, HEX_ANSI_HORSIZE);
  const RowSpan row = caret_row(screen);
  const int length = row.end - row.start;
  if (length < col) {
    place_caret(screen, row.end);
    screen.replace_selection(std::string(static_cast<std::size_t>(col - length), ' '));
  }
  place_caret(screen, row.start + col);
  hex_ansi_scroll(hwnd);
}

void hex_goto_line_column(DialogHost& hwnd, int lin, int col) {
  hex_goto_line(hwnd, lin);
  hex_goto_column(hwnd, col);
}
