// Every open line's own settings, put back when the program must end at once.
//
// The library saves a device's settings at open and puts them back at close. A program that cannot
// close its ports in an orderly way (its UI thread is stuck, and a signal asked it to end) still owes
// the devices their settings: this keeps, for each open port, its descriptor and saved settings where
// a signal handler can reach them without a lock or an allocation. The library remembers a port
// once it is open and forgets it before closing it.
#pragma once

#include "serial/ser_platform.h"

namespace serial {

void remember_for_exit(int port, int fd, const platform::SavedSettings& saved);
void forget_for_exit(int port);

// Async-signal-safe: puts back the saved settings of every port still open and lets go of its
// exclusive hold. For the last moments of a process; the ports stay open until it ends.
void restore_lines_now();

}  // namespace serial
