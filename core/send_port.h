// Writing on a terminal port: a send that did not happen is never shown or logged as sent, and the
// progress line says why.
#pragma once

#include "platform/dialog_host.h"

// Writes `count` bytes on the serial port bound to terminal port `port`. Returns 1 when every byte
// was taken. Returns 0, and says why on the progress line of `hwnd` (when given), when the port is
// absent ("Port A is not open: nothing sent") or the write failed or timed out; the caller then
// neither echoes nor logs the bytes. The next send that works clears that text.
int hex_transmit(platform::DialogHost* hwnd, int port, const char* bytes, int count);
