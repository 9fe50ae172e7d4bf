// The receive pump: every 50 ms it drains what has arrived on Port A, then Port B, and hands each
// block to the renderer of the current view; it also advances the time stamp.
#pragma once

#include "platform/dialog_host.h"

// Starts the screen timer; a refused timer is reported and the program goes on without a pump.
void win_init_periodic(platform::DialogHost& hwnd);
// One tick of the screen timer.
void win_periodic(platform::DialogHost& hwnd);
