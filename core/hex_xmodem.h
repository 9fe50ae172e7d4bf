// XMODEM transfers on the transfer port, driven by the engine on a transfer thread.
//
// How it works
//   Start shows the protocol's negotiating text, opens the port afresh with the dialog's settings,
//   acquires the engine, starts the transfer and hands it to the transfer thread
//   (core/transfer_thread.h). The XMODEM timer's tick (50 ms) never waits: it shows the packet
//   number the thread publishes and, once the engine has ended, joins the thread, releases the
//   engine, opens the port again with the dialog's settings and shows the outcome: a failure names
//   the engine's reason, and a Get that did not complete says how many bytes its file keeps (a file
//   the Get made and received nothing into is removed). Abort wakes the engine's wait; the next tick
//   ends the transfer.
#pragma once

#include "platform/dialog_host.h"

// Starts a transfer of protocol `protocol` (HEX_XMODEM .. HEX_XMODEM_1K) of `path` on terminal port
// `port`, in the direction hex_send_file chooses.
void hex_xmodem_start(platform::DialogHost& hwnd, int port, int protocol, const char* path);
// One tick of the XMODEM timer.
void hex_periodic_transfer(platform::DialogHost& hwndDlg);
// Abort: the engine stops at once; the transfer ends now or at the next tick.
void hex_xmodem_abort(platform::DialogHost& hwnd);
// Ends a running transfer without a word, waiting for the transfer thread: for the end of the
// program.
void hex_xmodem_quit(platform::DialogHost& hwnd);
