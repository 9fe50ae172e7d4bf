// What the window says about the serial devices: which device each COM number stands for, and for
// each terminal port the bound device and, when absent, why it could not be opened.
#pragma once

#include "platform/dialog_host.h"

// Shows which device each COM number stands for in the port selectors, and in each status
// indicator's hint the bound device and, for a present port, the line as the device runs it (read
// back, with what was chosen when the device keeps something else), for an absent port why it
// could not be opened.
void hex_show_devices(platform::DialogHost& hwnd);
