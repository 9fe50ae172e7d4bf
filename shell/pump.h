// The receive pump: every 50 ms it takes what has arrived on Port A and Port B, and hands it to the
// renderer of the current view in the order it arrived; it also advances the time stamp.
//
// How it works
//   Each present port that no transfer holds is drained arrival by arrival: the blocks its reader
//   stamped as they came (serial/read_ahead.h), then whatever still waits on the device, read and
//   stamped now. The arrivals of both ports are then shown in the order of their times, Port A's
//   first where they tie. In the views whose text does not depend on how bytes are cut (hex,
//   ASCII) one port's arrivals in a row are shown as one block; the others are given each arrival
//   on its own (views/view_switch.h), as a capture records it, so a replay shows the same. In Stop they are taken and
//   dropped. A port whose device has gone is shown absent once what it delivered is shown.
#pragma once

#include "platform/dialog_host.h"

// The most blocks of HEX_QUEUE_SIZE bytes one tick takes from one port (128 KB): far more than any
// line delivers in a tick, yet a bound on the tick's work. What remains waits for the next tick.
inline constexpr int kPumpBlocksPerTick = 64;

// Starts the screen timer; a refused timer is reported and the program goes on without a pump.
void win_init_periodic(platform::DialogHost& hwnd);
// One tick of the screen timer: everything waiting on each port, in arrival order.
void win_periodic(platform::DialogHost& hwnd);
