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

// Starts dialog timer `id`; one the host refuses is reported ("Timer is broken").
void hex_start_timer(platform::DialogHost& hwnd, int id, unsigned period);
// A failed call's error says the transfer port's device has gone (pulled out, or no longer there).
// Decided on the error's kind, never its text (which follows the locale).
bool hex_device_gone(int os_error);
