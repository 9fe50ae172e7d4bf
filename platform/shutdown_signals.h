// SIGINT, SIGTERM and SIGHUP, turned into bytes on a pipe that an event loop watches, so the program
// ends through its own shutdown sequence on the UI thread rather than inside a signal handler.
#pragma once

namespace platform {

// One at a time: the handlers write to the pipe of the one that is alive.
class ShutdownSignals {
 public:
  // Installs the handlers; with no pipe to be had, fd() is -1 and the signals keep their default.
  ShutdownSignals();
  // Puts back the dispositions found at construction.
  ~ShutdownSignals();
  ShutdownSignals(const ShutdownSignals&) = delete;
  ShutdownSignals& operator=(const ShutdownSignals&) = delete;

  // Readable once a signal has arrived.
  int fd() const { return read_end_; }
  // Empties the pipe; the last signal that arrived, 0 when none.
  int take();

 private:
  int read_end_ = -1;
};

}  // namespace platform
