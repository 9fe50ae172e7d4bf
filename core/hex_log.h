// The HTML log of everything shown and sent, and the file prompt the log and transfers use.
//
// How it works
//   Log asks for a file and writes the log's header; every piece shown or sent is appended as an
//   opening font tag in the colour of its port and direction, the text, and the closing tag,
//   written and flushed at once; No Log, a transfer's start and the end of the program write the
//   closing lines. The prompt never replaces a file that will be written without asking.
#pragma once

#include <string_view>

#include "platform/dialog_host.h"

// Append one coloured piece to the log, when a log is open. `text` is NUL-terminated.
void hex_save_rx_log(int port, const char* text, int length);
void hex_save_tx_log(int port, const char* text, int length);
// Append received text that is UTF-8 (the terminal's written lines) in the port's receive colour:
// characters beyond ASCII are written as references to their code points.
void hex_save_rx_text_log(int port, std::string_view utf8);

void hex_log_open(platform::DialogHost& hwndDlg);
void hex_log_close(platform::DialogHost& hwndDlg);

// Asks for a file; on success the full path is in `filelist` (HEX_FILENAME_SIZE characters) and the
// result is nonzero. Cancelled, or a path too long for the buffer: 0 and `filelist` empty, with errno
// 0 or ENAMETOOLONG to tell the two apart. A file that will be `written` is never replaced without
// the user's consent.
int hex_file_dlg(const char* extension, const char* title, char* filelist, bool written = false);
