// What a port's line runs with, read back from its device rather than taken from what was asked.
// A driver keeps what it cannot do without failing the call: a pseudo-terminal always runs 8 data
// bits without parity, so a port set to 7E1 on one is an 8N1 line. A caller compares this with its
// choice to tell the user.
#pragma once

namespace serial {

struct LineInEffect {
  unsigned rate = 0;      // bits per second
  int data_bits = 8;      // 5..8
  int parity = 0;         // NoParity .. SpaceParity, as SioParms takes them
  int stop_bits = 0;      // OneStopBit or TwoStopBits
  bool rts_cts = false;   // hardware flow control
  bool xon_xoff = false;  // software flow control, both ways
};

// False when `port` is not open or its device does not answer.
bool line_in_effect(int port, LineInEffect& line);

}  // namespace serial
