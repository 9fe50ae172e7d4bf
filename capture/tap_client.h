// A client of a port's tap: connects to the socket named after the device, checks that the
// program at the other end runs as this user (tap_socket.h), and reads its messages.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "capture/tap_protocol.h"

namespace capture {

class TapClient {
 public:
  enum class State { Open, Closed, Failed };

  // nullptr with `error` set when there is no tap for `device` or it may not be trusted.
  static std::unique_ptr<TapClient> connect(const std::string& device, std::string& error);
  ~TapClient();
  TapClient(const TapClient&) = delete;
  TapClient& operator=(const TapClient&) = delete;

  // Waits up to `timeout_ms` for the tap (or for `wake_fd` to become readable, -1 for none) and
  // appends the messages that arrived to `out`. Closed once the server has hung up and everything
  // it sent was taken; Failed (with error()) when the stream broke or the socket failed.
  State receive(std::vector<TapMessage>& out, int timeout_ms, int wake_fd = -1);
  const std::string& error() const { return error_; }

 private:
  TapClient(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}

  int fd_;
  std::string path_;
  TapDecoder decoder_;
  std::string error_;
};

}  // namespace capture
