#include "capture/tap_server.h"

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <system_error>

#include "capture/tap_protocol.h"
#include "capture/tap_socket.h"

namespace capture {

namespace {

constexpr std::size_t kQueueLimit = 1024 * 1024;
constexpr std::size_t kMaxClients = 8;
constexpr int kBacklog = 8;

std::string reason(int error) { return std::error_code(error, std::generic_category()).message(); }

sockaddr_un address_of(const std::string& path) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path, path.c_str(), std::min(path.size(), sizeof address.sun_path - 1));
  return address;
}

int bind_to(int fd, const std::string& path) {
  const sockaddr_un address = address_of(path);
  return ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 ? 0 : errno;
}

// A socket left by a program that ended without removing it refuses connections.
bool stale(const std::string& path) {
  const int probe = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (probe < 0) return false;
  const sockaddr_un address = address_of(path);
  const bool refused =
      ::connect(probe, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 && errno == ECONNREFUSED;
  ::close(probe);
  return refused;
}

int bind_replacing_stale(int fd, const std::string& path) {
  int err = bind_to(fd, path);
  if (err == EADDRINUSE && stale(path)) {
    ::unlink(path.c_str());
    err = bind_to(fd, path);
  }
  return err;
}

}  // namespace

std::unique_ptr<TapServer> TapServer::open(const std::string& device, std::string& error) {
  const std::string dir = tap_directory();
  error = check_private_directory(dir, true);
  if (!error.empty()) return nullptr;
  const std::string path = dir + "/" + tap_socket_name(device);
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    error = path + ": " + reason(errno);
    return nullptr;
  }
  int err = bind_replacing_stale(fd, path);
  // The folder already keeps others out; 0600 says the same on the socket itself.
  if (err == 0 && ::chmod(path.c_str(), 0600) != 0) err = errno;
  if (err == 0 && ::listen(fd, kBacklog) != 0) err = errno;
  if (err != 0) {
    ::close(fd);
    error = err == EADDRINUSE ? path + ": another program serves a tap for " + device : path + ": " + reason(err);
    return nullptr;
  }
  return std::unique_ptr<TapServer>(new TapServer(path, fd));
}

TapServer::TapServer(std::string path, int fd) : path_(std::move(path)), fd_(fd) {
  struct stat st {};
  if (::stat(path_.c_str(), &st) == 0) {
    socket_device_ = st.st_dev;
    socket_inode_ = st.st_ino;
  }
}

TapServer::~TapServer() {
  for (const Client& client : clients_) ::close(client.fd);
  ::close(fd_);
  // Only our own socket: another server may have replaced it meanwhile.
  struct stat st {};
  if (::stat(path_.c_str(), &st) == 0 && st.st_dev == socket_device_ && st.st_ino == socket_inode_)
    ::unlink(path_.c_str());
}

void TapServer::serve() {
  accept_clients();
  for (Client& client : clients_) send_queued(client);
  forget_gone();
}

void TapServer::block(const LineBlock& block) {
  std::span<const std::uint8_t> rest = block.bytes;
  while (!rest.empty()) {
    const std::span<const std::uint8_t> part = rest.first(std::min(rest.size(), kMaxRecordBytes));
    message_.clear();
    append_tap_message(message_, TapKind::Data, block.direction, block.lines, block.time_us, part);
    publish(message_, block.time_us, part.size());
    rest = rest.subspan(part.size());
  }
}

void TapServer::comment(std::int64_t time_us, std::string_view text) {
  message_.clear();
  const std::span<const std::uint8_t> body(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
  append_tap_message(message_, TapKind::Comment, Direction::Unknown, 0, time_us, body);
  publish(message_, time_us, text.size());
}

std::size_t TapServer::waiting() const {
  std::size_t bytes = 0;
  for (const Client& client : clients_) bytes += client.queue.size() - client.sent;
  return bytes;
}

void TapServer::accept_clients() {
  for (;;) {
    const int fd = ::accept4(fd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) return;  // none waiting (EAGAIN), or one that gave up before we took it
    if (!peer_is_us(fd) || clients_.size() >= kMaxClients) {
      ::close(fd);
      ++refused_;
      continue;
    }
    Client client;
    client.fd = fd;
    append_tap_hello(client.queue, description_);
    clients_.push_back(std::move(client));
  }
}

void TapServer::publish(std::span<const std::uint8_t> message, std::int64_t time_us, std::size_t payload) {
  for (Client& client : clients_) {
    enqueue(client, message, time_us, payload);
    send_queued(client);
  }
  forget_gone();
}

void TapServer::enqueue(Client& client, std::span<const std::uint8_t> message, std::int64_t time_us,
                        std::size_t payload) {
  const std::size_t waiting = client.queue.size() - client.sent;
  if (client.skipped_blocks > 0 && waiting == 0) {
    append_tap_lost(client.queue, client.skipped_since_us, client.skipped_blocks, client.skipped_bytes);
    client.skipped_blocks = client.skipped_bytes = 0;
  }
  if (client.skipped_blocks > 0 || waiting + message.size() > kQueueLimit) {
    if (client.skipped_blocks == 0) client.skipped_since_us = time_us;
    ++client.skipped_blocks;
    client.skipped_bytes += payload;
    return;
  }
  client.queue.insert(client.queue.end(), message.begin(), message.end());
}

void TapServer::send_queued(Client& client) {
  while (client.sent < client.queue.size()) {
    const ssize_t n = ::send(client.fd, client.queue.data() + client.sent, client.queue.size() - client.sent,
                             MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n > 0) {
      client.sent += static_cast<std::size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) client.gone = true;  // hung up
    break;
  }
  // What was sent is dropped once it is all of the queue or a megabyte of it.
  if (client.sent == client.queue.size() || client.sent >= kQueueLimit) {
    client.queue.erase(client.queue.begin(), client.queue.begin() + static_cast<std::ptrdiff_t>(client.sent));
    client.sent = 0;
  }
}

void TapServer::forget_gone() {
  for (const Client& client : clients_)
    if (client.gone) ::close(client.fd);
  std::erase_if(clients_, [](const Client& client) { return client.gone; });
}

}  // namespace capture
