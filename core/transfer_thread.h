// An XMODEM transfer driven on a thread of its own, so that the engine's waits (up to 1.5 s for a
// byte, and again for each byte a stalled sender owes) never hold the window.
//
// The engine knows nothing of threads. The UI thread acquires the port and starts the transfer
// (xyStartTx or xyStartRx), then start() hands it to a new thread that calls xyDriver back to back
// until it returns 0. Until done() the engine belongs to that thread: the UI thread reads only what
// is published here (the packet number, and once done the outcome), asks for an abort, which wakes
// the engine's wait at once, and after done() joins the thread and releases the engine.
#pragma once

#include <atomic>
#include <thread>

class TransferThread {
 public:
  TransferThread() = default;
  // A transfer still running is asked to end and waited for.
  ~TransferThread();
  TransferThread(const TransferThread&) = delete;
  TransferThread& operator=(const TransferThread&) = delete;

  // Drives the transfer started on serial port `port`; false when the system gave no thread (the
  // transfer is then still the caller's).
  bool start(int port);
  // From any thread: the engine ends the transfer with XY_ABORTED_ERROR as soon as its current
  // wait or step allows.
  void request_abort();
  // The transfer has ended: join() returns at once, and outcome() and os_error() hold.
  bool done() const { return done_.load(std::memory_order_acquire); }
  // The packet the engine is sending or expects (XY_GET_PACKET), as last published.
  int packet() const { return packet_.load(std::memory_order_relaxed); }
  // The engine's outcome: 0 success, else its error code.
  int outcome() const { return outcome_; }
  // The system's error number behind a TORVEL_WIN32ERR outcome (the library keeps it per thread).
  int os_error() const { return os_error_; }
  void join();

 private:
  void run(int port);
  // A thread was started and not joined yet (whether the transfer is running is the port claim's
  // to say, core/port_claim.h).
  bool started() const { return thread_.joinable(); }

  std::thread thread_;
  int port_ = -1;
  std::atomic<bool> done_{false};
  std::atomic<int> packet_{0};
  int outcome_ = 0;   // written before done_ is set, read after it is seen
  int os_error_ = 0;  // likewise
};
