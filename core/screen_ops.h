// The display as an 80 by 25 terminal screen laid over a growing text: the text is divided into
// pages of 25 rows, and the caret's page is the one holding the caret's row. These operations move
// the caret, scroll the view and erase; none reports an error.
#pragma once

#include "platform/dialog_host.h"

inline constexpr int HEX_ANSI_VERSIZE = 25;
inline constexpr int HEX_ANSI_HORSIZE = 80;

int hex_caretline(platform::DialogHost& hwnd);
// Scrolls so that the first visible row is the top of the caret's page.
void hex_ansi_scroll(platform::DialogHost& hwnd);
// Scrolls so that `line` is just below the last visible row.
void hex_scroll_bottom(platform::DialogHost& hwnd, int line);
void hex_caretbottom(platform::DialogHost& hwnd);
void hex_caret_end(platform::DialogHost& hwnd);
void hex_ansi_go_home(platform::DialogHost& hwnd);
void hex_ansi_go_end(platform::DialogHost& hwnd);
void hex_ansi_go_clr_eos(platform::DialogHost& hwnd);
void hex_ansi_go_clr_eol(platform::DialogHost& hwnd);
void hex_ansi_clr_line(platform::DialogHost& hwnd);
// Caret to row `lin` (at most 25) of the caret's page, adding line feeds as needed.
void hex_goto_line(platform::DialogHost& hwnd, int lin);
// Caret to column `col` (at most 80) of its row, adding spaces as needed.
void hex_goto_column(platform::DialogHost& hwnd, int col);
void hex_goto_line_column(platform::DialogHost& hwnd, int lin, int col);
