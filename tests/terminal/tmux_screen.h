// The screen tmux shows after a byte stream: tmux 3.3 as the reference terminal for the emulator.
//
// The bytes go untouched (raw mode, no output processing) into a detached tmux session of the
// given size, on a server of its own (a socket in a temporary folder; no status line, 10000 lines
// of history, scroll-on-clear off so that clearing the screen does not copy it into the history,
// as in xterm). tmux has read every byte once the title set by an OSC written after them shows;
// a CAN before that OSC ends whatever sequence the stream left open, for tmux as for the emulator.
//
// tmux reports its screen with capture-pane -p -e -N: each row's characters, the SGR sequences of
// their attributes (carried on from row to row) and SO/SI around characters of the DEC
// line-drawing set. read_capture() turns that report back into cells. What the report leaves out
// cannot be compared:
//   - a row ends at its last written cell: cells after it that were erased or never written are
//     not reported, nor their colours;
//   - dim, hidden, overline and the underline colour are read and dropped (libvterm 0.1.4 keeps
//     none of them);
//   - while a wrap is pending, tmux reports the cursor one column past the last (libvterm keeps it
//     on the last column and a pending-wrap flag): cursor_column is clamped to the last column.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "terminal/cell.h"

namespace terminal_test {

using Row = std::vector<terminal::Cell>;

struct TmuxScreen {
  std::vector<Row> rows;     // as far as tmux reports each
  std::vector<Row> history;  // the lines scrolled off the top of the main screen, oldest first
  int cursor_row = 0;
  int cursor_column = 0;
  bool cursor_visible = true;
  bool alternate = false;
};

TmuxScreen tmux_screen(std::string_view bytes, int rows, int columns);

// The rows of a capture-pane -e report.
std::vector<Row> read_capture(std::string_view report);

}  // namespace terminal_test
