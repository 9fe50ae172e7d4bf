#include "platform/shutdown_signals.h"

#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <csignal>

namespace platform {
namespace {

constexpr std::array<int, 3> kSignals = {SIGINT, SIGTERM, SIGHUP};

// The handler may only do what is async-signal-safe: one write to the pipe, errno kept.
volatile std::sig_atomic_t write_end = -1;
volatile std::sig_atomic_t signalled = 0;
std::array<struct sigaction, kSignals.size()> previous{};

extern "C" void on_signal(int number) {
  const int saved = errno;
  signalled = 1;
  const auto byte = static_cast<unsigned char>(number);
  // A full pipe already holds a signal nobody has read yet: losing this one loses nothing.
  [[maybe_unused]] const ssize_t n = ::write(write_end, &byte, 1);
  errno = saved;
}

}  // namespace

ShutdownSignals::ShutdownSignals() {
  int ends[2];
  if (::pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0) return;
  read_end_ = ends[0];
  write_end = ends[1];
  signalled = 0;
  struct sigaction action {};
  action.sa_handler = on_signal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (std::size_t i = 0; i < kSignals.size(); ++i) ::sigaction(kSignals[i], &action, &previous[i]);
}

ShutdownSignals::~ShutdownSignals() {
  if (read_end_ < 0) return;
  // Once a signal has begun the shutdown, a second one (Ctrl+C reaches the whole process group, and
  // a script that runs the program passes the signal on as well) must not cut its last steps short
  // and turn a clean end into death by signal: from now on they are ignored.
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  for (std::size_t i = 0; i < kSignals.size(); ++i)
    ::sigaction(kSignals[i], signalled != 0 ? &ignore : &previous[i], nullptr);
  ::close(write_end);
  write_end = -1;
  ::close(read_end_);
}

int ShutdownSignals::take() {
  int last = 0;
  unsigned char bytes[16];
  for (;;) {
    const ssize_t n = ::read(read_end_, bytes, sizeof bytes);
    if (n > 0) {
      last = bytes[n - 1];
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    return last;
  }
}

}  // namespace platform
