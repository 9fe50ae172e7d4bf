// SIGINT, SIGTERM and SIGHUP, turned into bytes on a pipe that an event loop watches, so the program
// ends through its own shutdown sequence on the UI thread rather than inside a signal handler.
//
// That sequence needs a responsive UI thread. So the first signal also starts a watchdog (alarm):
// if the process has not ended kShutdownGraceSeconds later, the handler of SIGALRM runs the last
// resort the program set (async-signal-safe: putting the ports' settings back) and ends the process
// at once, with status 1, or 0 when the orderly shutdown had finished and only the teardown hung.
#pragma once

namespace platform {

inline constexpr unsigned kShutdownGraceSeconds = 2;

// One at a time: the handlers write to the pipe of the one that is alive.
class ShutdownSignals {
 public:
  // Installs the handlers; with no pipe to be had, fd() is -1 and the signals keep their default.
  ShutdownSignals();
  // Once a signal has come, the orderly shutdown is over: the watchdog stays for the teardown and
  // further shutdown signals are ignored. Otherwise the dispositions found at construction return.
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

// What the watchdog does before ending the process; it runs inside a signal handler, so it may
// only make async-signal-safe calls. Set once, before any signal can come.
void set_shutdown_last_resort(void (*last_resort)());

}  // namespace platform
