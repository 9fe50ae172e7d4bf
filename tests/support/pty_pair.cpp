#include "tests/support/pty_pair.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace testsupport {

PtyPair::PtyPair() {
  char name[256] = {};
  if (openpty(&master_, &slave_hold_, name, nullptr, nullptr) != 0)
    throw std::runtime_error(std::string("openpty: ") + std::strerror(errno));
  slave_path_ = name;
  // The far end is raw too, so bytes pass unchanged in both directions.
  termios raw{};
  tcgetattr(master_, &raw);
  cfmakeraw(&raw);
  tcsetattr(master_, TCSANOW, &raw);
  tcgetattr(slave_hold_, &raw);
  cfmakeraw(&raw);
  tcsetattr(slave_hold_, TCSANOW, &raw);
  fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
  fcntl(master_, F_SETFD, FD_CLOEXEC);
  fcntl(slave_hold_, F_SETFD, FD_CLOEXEC);
}

PtyPair::~PtyPair() {
  if (master_ >= 0) ::close(master_);
  if (slave_hold_ >= 0) ::close(slave_hold_);
}

void PtyPair::write(std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(master_, bytes.data(), bytes.size());
    if (n > 0) {
      bytes.remove_prefix(static_cast<std::size_t>(n));
      continue;
    }
    if (n < 0 && errno != EAGAIN && errno != EINTR)
      throw std::runtime_error(std::string("pty write: ") + std::strerror(errno));
    pollfd pfd{master_, POLLOUT, 0};
    ::poll(&pfd, 1, 1000);
  }
}

std::string PtyPair::read(std::size_t want, std::chrono::milliseconds timeout) {
  std::string got;
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (got.size() < want) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) break;
    pollfd pfd{master_, POLLIN, 0};
    if (::poll(&pfd, 1, static_cast<int>(left.count())) <= 0) break;
    char buffer[4096];
    const ssize_t n = ::read(master_, buffer, sizeof buffer);
    if (n <= 0) break;
    got.append(buffer, static_cast<std::size_t>(n));
  }
  return got;
}

void PtyPair::close_master() {
  if (master_ >= 0) ::close(master_);
  master_ = -1;
  if (slave_hold_ >= 0) ::close(slave_hold_);
  slave_hold_ = -1;
}

std::size_t fill_until_full(int fd) {
  const int flags = fcntl(fd, F_GETFL);
  fcntl(fd, F_SETFL, flags | O_NONBLOCK);
  static const std::string chunk(4096, 'f');
  std::size_t total = 0;
  // A pty passes bytes on to the far end's buffer a moment after taking them, making room again:
  // the buffers are full once a few pauses in a row free none.
  for (int quiet_pauses = 0; quiet_pauses < 3;) {
    std::size_t round = 0;
    // Big pieces first, then single bytes for the last gap a big piece does not fit.
    for (const std::size_t piece : {chunk.size(), std::size_t{1}}) {
      for (;;) {
        const ssize_t n = ::write(fd, chunk.data(), piece);
        if (n > 0) {
          round += static_cast<std::size_t>(n);
          continue;
        }
        if (n < 0 && errno == EINTR) continue;
        break;
      }
    }
    total += round;
    quiet_pauses = round == 0 ? quiet_pauses + 1 : 0;
    ::usleep(20000);
  }
  fcntl(fd, F_SETFL, flags);
  return total;
}

}  // namespace testsupport
