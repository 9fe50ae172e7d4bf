#include "capture/tap_client.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <system_error>

#include "capture/tap_socket.h"

namespace capture {

namespace {

std::string reason(int error) { return std::error_code(error, std::generic_category()).message(); }

}  // namespace

std::unique_ptr<TapClient> TapClient::connect(const std::string& device, std::string& error) {
  error = check_private_directory(tap_directory(), false);
  if (!error.empty()) return nullptr;
  const std::string path = tap_socket_path(device);
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    error = path + ": " + reason(errno);
    return nullptr;
  }
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path, path.c_str(), std::min(path.size(), sizeof address.sun_path - 1));
  if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    error = path + ": " + reason(errno);
    ::close(fd);
    return nullptr;
  }
  if (!peer_is_us(fd)) {
    error = path + ": served by another user's program";
    ::close(fd);
    return nullptr;
  }
  return std::unique_ptr<TapClient>(new TapClient(fd, path));
}

TapClient::~TapClient() { ::close(fd_); }

TapClient::State TapClient::receive(std::vector<TapMessage>& out, int timeout_ms, int wake_fd) {
  std::array<pollfd, 2> waits = {pollfd{fd_, POLLIN, 0}, pollfd{wake_fd, POLLIN, 0}};
  const int ready = ::poll(waits.data(), wake_fd >= 0 ? 2 : 1, timeout_ms);
  if (ready < 0 && errno != EINTR) {
    error_ = path_ + ": " + reason(errno);
    return State::Failed;
  }
  if (ready <= 0 || waits[0].revents == 0) return State::Open;
  std::array<std::uint8_t, 65536> buffer;
  const ssize_t n = ::recv(fd_, buffer.data(), buffer.size(), MSG_DONTWAIT);
  if (n == 0) return State::Closed;
  if (n < 0) {
    if (errno == EAGAIN || errno == EINTR) return State::Open;
    error_ = path_ + ": " + reason(errno);
    return State::Failed;
  }
  if (!decoder_.feed(std::span(buffer.data(), static_cast<std::size_t>(n)), out)) {
    error_ = path_ + ": " + decoder_.error();
    return State::Failed;
  }
  return State::Open;
}

}  // namespace capture
