#include "platform/shutdown_signals.h"

#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <csignal>

namespace platform {
namespace {

constexpr std::array<int, 3> kSignals = {SIGINT, SIGTERM, SIGHUP};

// The handlers may only do what is async-signal-safe: a write to the pipe, alarm(), the last
// resort and _exit(); errno kept where the program goes on.
volatile std::sig_atomic_t write_end = -1;
volatile std::sig_atomic_t signalled = 0;
volatile std::sig_atomic_t shutdown_done = 0;
void (*volatile last_resort_action)() = nullptr;
std::array<struct sigaction, kSignals.size()> previous{};
struct sigaction previous_alarm {};

extern "C" void on_signal(int number) {
  const int saved = errno;
  // The first signal starts the watchdog: from now on the UI thread has the grace period.
  if (signalled == 0) ::alarm(kShutdownGraceSeconds);
  signalled = 1;
  const auto byte = static_cast<unsigned char>(number);
  // A full pipe already holds a signal nobody has read yet: losing this one loses nothing.
  [[maybe_unused]] const ssize_t n = ::write(write_end, &byte, 1);
  errno = saved;
}

extern "C" void on_overdue(int) {
  if (void (*const action)() = last_resort_action; action != nullptr) action();
  ::_exit(shutdown_done != 0 ? 0 : 1);
}

void install(int number, void (*handler)(int), struct sigaction* found) {
  struct sigaction action {};
  action.sa_handler = handler;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  ::sigaction(number, &action, found);
}

}  // namespace

ShutdownSignals::ShutdownSignals() {
  int ends[2];
  if (::pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0) return;
  read_end_ = ends[0];
  write_end = ends[1];
  signalled = 0;
  shutdown_done = 0;
  install(SIGALRM, on_overdue, &previous_alarm);
  for (std::size_t i = 0; i < kSignals.size(); ++i) install(kSignals[i], on_signal, &previous[i]);
}

ShutdownSignals::~ShutdownSignals() {
  if (read_end_ < 0) return;
  // Once a signal has begun the shutdown, a second one (Ctrl+C reaches the whole process group, and
  // a script that runs the program passes the signal on as well) must not cut its last steps short
  // and turn a clean end into death by signal: from now on they are ignored, and the watchdog
  // stays armed in case the rest of the teardown hangs.
  if (signalled != 0) {
    shutdown_done = 1;
    for (const int number : kSignals) install(number, SIG_IGN, nullptr);
  } else {
    for (std::size_t i = 0; i < kSignals.size(); ++i) ::sigaction(kSignals[i], &previous[i], nullptr);
    ::sigaction(SIGALRM, &previous_alarm, nullptr);
  }
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

void set_shutdown_last_resort(void (*last_resort)()) { last_resort_action = last_resort; }

}  // namespace platform
