// The file-transfer controller: raw dumps and XMODEM transfers on the send port.
//
// How it works
//   Start closes the log, asks for the file and captures the send port (hex_xsend_port): the
//   transfer stays on that port whatever the user chooses afterwards, and one transfer runs at a
//   time. A dump is stepped on the UI thread by the dump timer (50 ms): up to 2048 bytes a tick
//   from the file to the port, or whatever has arrived from the port to the file; it ends at the
//   end of the file, at Abort, or after 15 s in which no byte moved. An XMODEM transfer runs on a
//   transfer thread (core/transfer_thread.h); the XMODEM timer's tick (50 ms) never waits: it shows
//   the packet number the thread publishes and, once the engine has ended, joins the thread,
//   releases the engine, opens the port again with the dialog's settings and shows the outcome.
//   Abort wakes the engine's wait; the next tick ends the transfer.
//
//   While a transfer or dump uses a port, the UI thread makes no other serial call on it: the pump
//   skips it, senders are refused ("Port A is busy with a transfer"), and its settings, both port
//   bindings and Start are greyed until the transfer ends.
#pragma once

#include "platform/dialog_host.h"

namespace serial {
class Clock;
}

extern int hex_xsend_port;  // the terminal port of the running transfer or dump

// Start: begins a transfer of the chosen protocol and direction; nothing while one runs.
void hex_file_transfer(platform::DialogHost& hwndDlg);
// One tick of the XMODEM timer.
void hex_periodic_transfer(platform::DialogHost& hwndDlg);
// One tick of the dump timer.
void hex_periodic_dump(platform::DialogHost& hwndDlg);
// Abort: ends whatever runs (an XMODEM transfer at the next tick, once the engine has stopped).
void hex_file_abort(platform::DialogHost& hwndDlg);

// True while a transfer or dump uses terminal port `port`.
bool hex_port_busy(int port);
// True for the controls a running transfer holds still (greyed while it runs).
bool hex_transfer_holds(int id);
// Ends whatever runs without a word, waiting for the transfer thread: for the end of the program.
void hex_transfer_quit(platform::DialogHost& hwndDlg);

// The clock the dump's 15 s without data is measured on (the system's monotonic clock unless
// replaced); a test passes its own. Returns the one in use before.
serial::Clock& hex_dump_set_clock(serial::Clock& clock);
