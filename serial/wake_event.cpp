#include "serial/wake_event.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdint>

namespace serial {

WakeEvent::WakeEvent() : fd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

WakeEvent::~WakeEvent() {
  if (fd_ >= 0) ::close(fd_);
}

void WakeEvent::raise() {
  const std::uint64_t one = 1;
  // The counter only grows; a full counter (EAGAIN) is raised already.
  if (fd_ < 0) return;
  [[maybe_unused]] const ssize_t n = ::write(fd_, &one, sizeof one);
}

bool WakeEvent::wait(int ms) const {
  pollfd p{fd_, POLLIN, 0};
  return ::poll(&p, fd_ >= 0 ? 1 : 0, ms) == 1 && (p.revents & POLLIN);
}

void WakeEvent::clear() {
  std::uint64_t count = 0;
  if (fd_ < 0) return;
  [[maybe_unused]] const ssize_t n = ::read(fd_, &count, sizeof count);
}

}  // namespace serial
