#include "serial/exit_restore.h"

#include <array>
#include <atomic>

#include "serial/ser.h"

namespace serial {
namespace {

// The settings are written before the descriptor is published, and the descriptor is withdrawn
// before it is closed, so a handler that sees a descriptor sees its settings.
struct OpenLine {
  std::atomic<int> fd{-1};
  platform::SavedSettings saved;
};

std::array<OpenLine, NBR_PORTS> open_lines;
static_assert(std::atomic<int>::is_always_lock_free, "a signal handler reads the descriptors");

bool in_range(int port) { return port >= 0 && port < NBR_PORTS; }

}  // namespace

void remember_for_exit(int port, int fd, const platform::SavedSettings& saved) {
  if (!in_range(port)) return;
  OpenLine& line = open_lines[static_cast<std::size_t>(port)];
  line.fd.store(-1, std::memory_order_release);
  line.saved = saved;
  line.fd.store(fd, std::memory_order_release);
}

void forget_for_exit(int port) {
  if (in_range(port)) open_lines[static_cast<std::size_t>(port)].fd.store(-1, std::memory_order_release);
}

void restore_lines_now() {
  for (const OpenLine& line : open_lines) {
    const int fd = line.fd.load(std::memory_order_acquire);
    if (fd >= 0) platform::put_back(fd, line.saved);
  }
}

}  // namespace serial
