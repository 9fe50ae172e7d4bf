// Cell-for-cell comparison of the emulator's screen with tmux's after the same bytes.
//
// Every cell tmux reports must match: its characters (a blank and a cell never written are the
// same), its width, bold, italic, underline, blink, reverse and strike, and both colours (default,
// the same palette index, or the same direct RGB). Past the last cell tmux reports on a row, the
// emulator's cells must be blank (their colours go unreported). The cursor's place and visibility,
// the alternate screen, and on the main screen every line of the history must match too.
#pragma once

#include <gtest/gtest.h>

#include <string_view>

#include "terminal/emulator.h"

namespace terminal_test {

// Where tmux is not xterm (whose behaviour libvterm follows), excused only where a test says so.
struct TmuxDeviations {
  // An EL while a wrap is pending: tmux keeps its cursor one column past the last and erases
  // nothing, xterm and libvterm erase the last column. Excused: a last-column cell libvterm erased
  // where tmux shows a blank with other attributes.
  bool erase_with_wrap_pending = false;
};

// Feeds `stream` to tmux and to fresh emulators (in small blocks, with and without a line sink),
// all rows x columns, and compares their screens.
testing::AssertionResult same_screen_as_tmux(std::string_view stream, int rows, int columns,
                                             TmuxDeviations deviations = {});

}  // namespace terminal_test
