// The program's side of a port's tap (see tap_socket.h for where it lives and who may connect).
//
// Nothing here waits: the socket and every client are non-blocking, and the program calls serve()
// from its tick to take new clients and send what they still have queued. Each message goes to
// every client at once if its socket has room; what does not fit waits in that client's queue.
// A client whose queue passes 1 MiB (Wireshark stopped reading) is skipped: the blocks meant for
// it meanwhile are dropped and counted, and once its queue has drained it is sent a Lost message
// with the counts, which the extcap writes into the capture as a CAPTURE_DATA_LOST record. A
// client that hangs up is forgotten. At most 8 clients are served; more are refused.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "capture/capture_records.h"

namespace capture {

class TapServer {
 public:
  // Listens for `device`'s clients; nullptr with `error` set when the socket cannot be made (the
  // folder is not private, another program serves this device already, ...).
  static std::unique_ptr<TapServer> open(const std::string& device, std::string& error);
  ~TapServer();  // hangs up on every client and removes the socket
  TapServer(const TapServer&) = delete;
  TapServer& operator=(const TapServer&) = delete;

  // What clients are told in their Hello: the port, its device and settings.
  void set_description(std::string description) { description_ = std::move(description); }
  void serve();
  void block(const LineBlock& block);
  void comment(std::int64_t time_us, std::string_view text);

  std::size_t clients() const { return clients_.size(); }
  std::size_t waiting() const;  // bytes queued for clients whose sockets are full
  std::uint64_t refused() const { return refused_; }  // another user's, or one too many
  const std::string& path() const { return path_; }

 private:
  struct Client {
    int fd = -1;
    std::vector<std::uint8_t> queue;
    std::size_t sent = 0;  // of queue
    std::uint64_t skipped_blocks = 0;
    std::uint64_t skipped_bytes = 0;
    std::int64_t skipped_since_us = 0;
    bool gone = false;
  };

  TapServer(std::string path, int fd);
  void accept_clients();
  void publish(std::span<const std::uint8_t> message, std::int64_t time_us, std::size_t payload);
  void enqueue(Client& client, std::span<const std::uint8_t> message, std::int64_t time_us, std::size_t payload);
  void send_queued(Client& client);
  void forget_gone();

  std::string path_;
  int fd_;
  dev_t socket_device_ = 0;
  ino_t socket_inode_ = 0;
  std::string description_;
  std::vector<Client> clients_;
  std::uint64_t refused_ = 0;
  std::vector<std::uint8_t> message_;  // reused for each message
};

}  // namespace capture
