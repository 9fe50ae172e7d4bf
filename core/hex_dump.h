// Raw dumps: a file's bytes to the transfer port as they are, or whatever arrives on it into a file.
//
// How it works
//   A dump is stepped on the UI thread by the dump timer (50 ms): up to 2048 bytes a tick from the
//   file to the port (as much as the transmit queue has room for), or whatever has arrived from the
//   port to the file. It ends at the end of the file, at Abort, or after 15 s in which no byte
//   moved; ended early it says how far it got ("Dump Stopped: 2048 of 5000 bytes sent"). A device
//   that goes away ends it and is shown absent, as the pump shows a port whose device went. A
//   receive that got nothing leaves no file it made.
#pragma once

#include "platform/dialog_host.h"

namespace serial {
class Clock;
}

// Starts a dump of `path` on terminal port `port`, in the direction hex_send_file chooses; a file
// that cannot be used is reported in a box (unless the prompt was cancelled) and nothing starts.
void hex_dump_start(platform::DialogHost& hwnd, int port, const char* path);
// One tick of the dump timer.
void hex_periodic_dump(platform::DialogHost& hwndDlg);
// Abort: ends a running dump and says how far it got.
void hex_dump_abort(platform::DialogHost& hwnd);
// Ends a running dump without a word: for the end of the program.
void hex_dump_quit(platform::DialogHost& hwnd);

// The clock the dump's 15 s without data is measured on (the system's monotonic clock unless
// replaced); a test passes its own. Returns the one in use before.
serial::Clock& hex_dump_set_clock(serial::Clock& clock);
