// Ports read ahead of their caller, and every byte that crosses a port, stamped when it did.
//
// How it works
//   read_ahead(port) starts a reader: a thread that waits on the port with poll() and, as soon as
//   bytes arrive, reads them into the port's arrival queue (arrival_queue.h, 1 MiB), stamped with
//   the wall clock at the moment its wait ended, so a block's time is within scheduling latency of
//   its first byte's arrival whatever the caller is doing. Where the system allows it (root, or an
//   rtprio limit), readers run at the lowest real-time priority, so a busy machine does not delay
//   their stamps. The queue is part of the port's input: SioRxQue counts it, and SioGets, SioGetc,
//   SioRxClear and read_stamped take from it before the device, so a caller sees the same bytes in
//   the same order whether a reader runs or not. A full queue is not overrun: the reader waits for
//   room and the bytes wait in the kernel meanwhile. A device that goes away ends the reader; the
//   reads then report the failure once the queue is empty.
//
//   Threads: the reader and the port's other user may use the library at once. Each port has a lock
//   that every call on it takes for as long as it works on the port's input, its settings or (for a
//   network port, whose Telnet decoder answers the server as it reads) its connection; a tty write
//   takes no lock, the kernel keeping reads and writes of a tty apart, so a write waiting for room
//   never delays a read. The lock inherits priority (pi_mutex.h): a UI thread that holds it runs
//   at the reader's priority until it lets go, so a busy machine does not hold the reader back. A network port's blocks are stamped when its reader takes them, which a
//   settings change (waiting up to a second for the server's reports) may delay. SioDone stops the
//   reader, and waits for it, before the port is closed: a reader never touches a descriptor that
//   is being closed or reused. SioWaitRx is for ports without a reader.
//
//   Traffic: every byte read from or written to a device, on whatever thread, is reported to the
//   observer given to observe_traffic, with its time: a received block when it arrived, written
//   bytes when the write began. Bytes a reader took are reported once, when it took them.
#pragma once

#include <cstdint>
#include <span>

namespace serial {

// Microseconds since 1970 by the wall clock.
std::int64_t wall_clock_us();

class TrafficObserver {
 public:
  virtual ~TrafficObserver() = default;
  // Bytes that crossed `port` at `time_us`: written by us when `sent`, else received. Called on the
  // thread that moved them, outside the port's lock; it must return quickly.
  virtual void traffic(int port, bool sent, std::int64_t time_us, std::span<const std::uint8_t> bytes) = 0;
};

// The observer of every port's traffic from now on; nullptr for none. It must outlive its use.
void observe_traffic(TrafficObserver* observer);

// Starts a reader for open port `port` (nothing when one runs): false when the port is not open or
// the system gave no thread.
bool read_ahead(int port);
// Stops the port's reader and waits until it has left the port; what it queued stays readable.
void stop_read_ahead(int port);
// True while a reader has the port (also one that has ended at a device gone, until SioDone).
bool reading_ahead(int port);

// As SioGets, but the bytes of one arrival at most, with the time the first of them arrived in
// `time_us` (bytes read from the device here are stamped now).
int read_stamped(int port, std::span<std::uint8_t> into, std::int64_t& time_us);

}  // namespace serial
