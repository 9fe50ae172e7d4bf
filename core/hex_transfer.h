// The file-transfer controller: Start and Abort of raw dumps and XMODEM transfers on the send port.
//
// How it works
//   Start closes the log, asks for the file and starts the transfer on the send port, which it
//   claims (core/port_claim.h): the transfer stays on that port whatever the user chooses
//   afterwards, and one transfer runs at a time. A dump is stepped on the UI thread
//   (core/hex_dump.h); an XMODEM transfer runs on a transfer thread (core/hex_xmodem.h). Abort ends
//   whichever runs.
#pragma once

#include "platform/dialog_host.h"

// Start: begins a transfer of the chosen protocol and direction; nothing while one runs.
void hex_file_transfer(platform::DialogHost& hwndDlg);
// Abort: ends whatever runs (an XMODEM transfer at the next tick, once the engine has stopped).
void hex_file_abort(platform::DialogHost& hwndDlg);
// Ends whatever runs without a word, waiting for the transfer thread: for the end of the program.
void hex_transfer_quit(platform::DialogHost& hwndDlg);
