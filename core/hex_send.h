// Bytes put on the line of a terminal port by the senders (messages, and keys where they use it),
// with the outcome the user must see: a send that did not happen is never shown or logged as sent.
#pragma once

#include <string>

#include "platform/dialog_host.h"

// "Port A" or "Port B", as the progress line names a terminal port.
std::string hex_port_name(int port);

// A write that found no room in its time: flow control holds the line, or the far end stopped
// reading. Decided by the error's kind, not its text, which follows the locale.
bool hex_write_timed_out(int os_error);

// Writes `length` bytes to the serial port bound to terminal port `port`. Returns true when every
// byte was handed to the line (also for length 0 on a present port). Otherwise returns false and
// says why in the progress line: "Port A is not open: nothing sent" for an absent port, or the
// write's failure (timed out, or the system's reason); "Port A is busy with a transfer" while a
// transfer or dump uses the port. A success clears a failure shown earlier.
bool hex_send_bytes(platform::DialogHost& hwnd, int port, const char* bytes, int length);
