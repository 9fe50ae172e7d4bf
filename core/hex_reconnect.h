// Ports that come back by themselves.
//
// How it works
//   A terminal port whose device went away, was missing at start or was held by another program is
//   opened again by itself once its device can be opened: same COM number, its settings from the
//   dialog, DTR raised and RTS lowered as at start-up. One the user bound to a number with no
//   device is left alone, and a device one of our ports holds is never taken, nor is the port a
//   transfer or dump holds touched. Once a second the screen tick asks a device watch whether
//   anything such a port depends on changed; with both ports present the check does nothing at all.
#pragma once

#include <string>

#include "platform/dialog_host.h"

// Why a terminal port's binding or presence changed.
enum class PortChange { Started, Bound, Lost };
// Records a terminal port's state after `why`: an absent port is chased from now on, unless the
// user bound it to a number with no device.
void hex_reconnect_follow(int port, PortChange why);
// One screen tick; every 20th (once a second) runs hex_reconnect_check.
bool hex_reconnect_tick(platform::DialogHost& hwndDlg);
// Tries to open again the chased ports whose device may open now. True when it tried: a port may
// have come back, its reason for staying absent changed, or new devices taken free numbers.
bool hex_reconnect_check(platform::DialogHost& hwndDlg);
// The indicator hint's line about coming back: "back at 14:03:12 after 41 s away" for a port that
// came back, a note for a port still chased, "" otherwise.
std::string hex_reconnect_hint(int port);
