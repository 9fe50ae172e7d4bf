// A pseudo-terminal pair for tests: the test keeps the master (the far end of the line) and gives
// the slave's path to the serial library.
#pragma once

#include <chrono>
#include <string>
#include <string_view>

namespace testsupport {

class PtyPair {
 public:
  PtyPair();  // throws std::runtime_error when no pty can be had
  ~PtyPair();
  PtyPair(const PtyPair&) = delete;
  PtyPair& operator=(const PtyPair&) = delete;

  const std::string& slave_path() const { return slave_path_; }
  int master() const { return master_; }

  // Writes every byte to the far end.
  void write(std::string_view bytes);
  // Reads what the far end has received, waiting up to `timeout` for `want` bytes.
  std::string read(std::size_t want, std::chrono::milliseconds timeout = std::chrono::seconds(2));
  // Closes the far end, as pulling the cable out of a USB adapter would.
  void close_master();

 private:
  int master_ = -1;
  int slave_hold_ = -1;  // keeps the slave from hanging up before the library opens it
  std::string slave_path_;
};

// Writes to `fd` until the kernel takes no more (its buffers are full); the bytes written.
std::size_t fill_until_full(int fd);

// Waits until `condition` holds or `timeout` passes; returns the condition's last value.
template <typename Condition>
bool wait_until(Condition condition, std::chrono::milliseconds timeout = std::chrono::seconds(2));

}  // namespace testsupport

#include <thread>

template <typename Condition>
bool testsupport::wait_until(Condition condition, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!condition()) {
    if (std::chrono::steady_clock::now() >= deadline) return condition();
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}
