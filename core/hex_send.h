// Bytes put on the line of a terminal port by the senders (messages, and keys where they use it),
// with the outcome the user must see: a send that did not happen is never shown or logged as sent.
#pragma once

#include <string>

#include "platform/dialog_host.h"

// Writes `length` bytes to the serial port bound to terminal port `port`. Returns true when every
// byte was handed to the line (also for length 0 on a present port). Otherwise returns false and
// says why in the progress line: "Port A is not open: nothing sent" for an absent port, or the
// write's failure (timed out, or the system's reason); "Port A is busy with a transfer" while a
// transfer or dump uses the port. A success clears a failure shown earlier.
bool hex_send_bytes(platform::DialogHost& hwnd, int port, const char* bytes, int length);

// Shows in the progress line why something could not be done on terminal port `port` (such as
// "Port A is not open: nothing transferred"), as hex_send_bytes shows its failures.
void hex_show_port_failure(platform::DialogHost& hwnd, int port, std::string text);
// Terminal port `port` is present again: a failure about it that the progress line still shows no
// longer holds and is cleared.
void hex_port_back(platform::DialogHost& hwnd, int port);
