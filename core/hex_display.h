// Received text on the display in its port's colour, and bytes rendered as hexadecimal text.
#pragma once

#include <string_view>

#include "platform/dialog_host.h"

// Shows received text of terminal port `port` (0 or 1) at the display's insertion point in the
// port's receive colour, keeps it in view and logs it. `text` is NUL-terminated; its first `length`
// characters are shown, up to a NUL among them; nothing happens for a `length` below 1.
void hex_display_msg(platform::DialogHost& hwnd, int port, const char* text, int length);

// Puts `text` in the trace where received text goes, in `colour`: at the end of the trace (a
// selection the user made stays selected), or in the ANSI view at the caret; and keeps it in view.
// Sent messages are echoed through here, so the trace shows bytes in the order they crossed the line.
void hex_show_in_trace(platform::DialogHost& hwnd, platform::Colour colour, std::string_view text);

// Renders `length` bytes (at most HEX_MAX_STRING) as " %02X" groups into `text`, which needs room
// for 3 * length + 1 characters and may be the same buffer as `data`. Returns the text's length.
int hex_to_hexstr(const char* data, char* text, int length);
