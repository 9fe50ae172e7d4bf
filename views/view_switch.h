// The six views of received bytes. One table says per view how typed messages are read (as text or
// as hexadecimal pairs), whether typed keys are echoed, and how the receive pump shows a block; the
// View selector and the pump both go through it, so a view is one row.
#pragma once

#include "platform/dialog_host.h"

// Shows one block the pump read from terminal port `port` in the current view. `block` holds
// `count` bytes (at most HEX_QUEUE_SIZE) followed by room up to HEX_MAX_STRING + 1 characters in all;
// the view renders in place. A view code outside the table shows nothing.
void hex_show_block(platform::DialogHost& hwnd, int port, char* block, int count);

// The View selector changed: the view chosen, with its entry mode and echo.
void hex_ViewSelChange(platform::DialogHost& hwnd);
