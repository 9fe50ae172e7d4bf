// The terminal port a transfer or dump holds, and what that holds still.
//
// How it works
//   A transfer or dump runs on the terminal port that was the send port when it started
//   (hex_xsend_port) and keeps it to the end, whatever the user chooses meanwhile; one runs at a
//   time. While it does, the UI thread makes no other serial call on that port: the pump skips it,
//   senders are refused ("Port A is busy with a transfer"), and the controls that would change the
//   port under it are greyed: Start, both port bindings (the other port must not be bound to the
//   transfer's device) and the line settings of the transfer's port.
#pragma once

#include "platform/dialog_host.h"

extern int hex_xsend_port;  // the terminal port of the running transfer or dump

// True while a transfer or dump uses terminal port `port`.
bool hex_port_busy(int port);
// True for the controls a running transfer holds still (greyed while it runs).
bool hex_transfer_holds(int id);
// Greys the held controls while a transfer or dump runs (`running`), and gives them back after.
void hex_show_claim(platform::DialogHost& hwnd, bool running);
