// Reading a port until it is empty, whatever the size of the kernel's read buffer.
#pragma once

namespace serial {

// Linux hands a reader at most one line-discipline buffer (4095 bytes) at a time and refills it
// from the driver's buffers a moment after a read. A reader that has just found the port's queue
// empty, having taken `taken` bytes since it last found it so, asks here whether more follow:
// after a full buffer this waits at most 2 ms for them; after less it answers false at once.
bool more_input_follows(int port, int taken);

}  // namespace serial
