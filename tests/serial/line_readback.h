// A line's settings as termios2 holds them, decoded apart from the library's own code.
#pragma once

#include "serial/ser_platform.h"

namespace serialtest {

struct LineReadback {
  bool ok = false;
  unsigned rate = 0;
  int data_bits = 0;
  bool parenb = false, parodd = false, cmspar = false, cstopb = false;
  bool crtscts = false, ixon = false, ixoff = false;
  unsigned char vstart = 0, vstop = 0;
  bool raw = false;  // no canonical input, echo, signals, input mapping or output processing,
                     // CLOCAL|CREAD, reads that never wait (VMIN = VTIME = 0)
};

// What the device holds now.
LineReadback read_line(int fd);
// What the library's encoding makes of a cooked line for `dcb` (ok false when it refuses).
LineReadback encoded(const serial::platform::DeviceControl& dcb);
// Gives `fd` a cooked line at a standard `rate`, the state a device is often found in.
bool set_cooked(int fd, unsigned rate);
// Whether the tty refuses further opens (TIOCEXCL).
bool is_exclusive(int fd);

}  // namespace serialtest
