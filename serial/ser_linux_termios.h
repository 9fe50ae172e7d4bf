// Linux's encoding of the device-control record into termios2, kept apart from ser_linux.cpp so it
// can be checked field by field: a pseudo-terminal forces 8 data bits and no parity on every
// settings change, so reading a pty back cannot show those fields.
//
// Including this header brings in <asm/termbits.h>, whose struct termios clashes with glibc's
// <termios.h>: a file that includes this one must not include <termios.h>.
#pragma once

#include <asm/termbits.h>

#include "serial/ser_platform.h"

namespace serial::platform {

// Turns `t` into the raw line that `dcb` describes. Returns EINVAL, leaving `t` untouched, when a
// field has no Linux encoding (rate 0, parity outside 0..4, data bits outside 5..8, stop bits other
// than one or two).
int encode_line(const DeviceControl& dcb, termios2& t);

// The output rate `t` describes, in bits per second (0 when it names none).
unsigned decode_rate(const termios2& t);

// The record `t` describes: what a device holds, read back.
DeviceControl decode_line(const termios2& t);

}  // namespace serial::platform
