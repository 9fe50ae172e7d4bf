// The receive pump: every 50 ms it drains what has arrived on Port A, then Port B, and hands each
// block to the renderer of the current view; it also advances the time stamp.
#pragma once

#include "platform/dialog_host.h"

// The most blocks of HEX_QUEUE_SIZE bytes one tick takes from one port (128 KB): far more than any
// line delivers in a tick, yet a bound on the tick's work. What remains waits for the next tick.
inline constexpr int kPumpBlocksPerTick = 64;

// Starts the screen timer; a refused timer is reported and the program goes on without a pump.
void win_init_periodic(platform::DialogHost& hwnd);
// One tick of the screen timer: everything waiting on each port, in blocks of HEX_QUEUE_SIZE.
void win_periodic(platform::DialogHost& hwnd);
