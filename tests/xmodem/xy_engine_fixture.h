// The engine on serial port 0, bound to a pseudo-terminal whose far end the test plays, in a
// directory of its own (the working directory while the test runs: batch files land there).
#pragma once

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include <gtest/gtest.h>

#include "serial/deadline.h"
#include "serial/devices.h"
#include "serial/ser.h"
#include "tests/support/pty_pair.h"
#include "xmodem/serxydrv.h"
#include "xmodem/xy_packet.h"

namespace xmodemtest {

// A clock that moves on by `step` ms at every reading: waits end after a few readings, whatever
// the real time. A step of 0 stops time.
class SteppingClock final : public serial::Clock {
 public:
  explicit SteppingClock(std::uint32_t step) : step_(step) {}
  std::uint32_t now_ms() override { return now_ += step_; }

 private:
  std::uint32_t step_;
  std::atomic<std::uint32_t> now_{0};
};

class EngineOnPty : public ::testing::Test {
 protected:
  static constexpr int kPort = 0;

  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() /
           ("quillport-xy-" + std::to_string(::getpid()) + "-" + std::to_string(counter_++));
    std::filesystem::create_directories(dir_);
    old_dir_ = std::filesystem::current_path();
    std::filesystem::current_path(dir_);
    serial::bind_device(kPort, pty_.slave_path());
    ASSERT_EQ(SioReset(kPort, 2048, 2048), TORVEL_OK);
    ASSERT_EQ(xyAcquire(kPort), 0);
  }

  void TearDown() override {
    xySetClock(serial::steady_clock());
    xyAbort(kPort);
    xyRelease(kPort);
    SioDone(kPort);
    serial::bind_device(kPort, "");
    std::filesystem::current_path(old_dir_);
    std::filesystem::remove_all(dir_);
  }

  // Drives the engine as the transfer thread does until the transfer ends; its outcome.
  int Drive() {
    while (xyDriver(kPort) != 0) {
    }
    return xyGetParameter(kPort, XY_GET_ERROR_CODE);
  }

  // The next `count` bytes from the far end (fewer if they do not come within `timeout`).
  std::string Take(std::size_t count, std::chrono::milliseconds timeout = std::chrono::seconds(5)) {
    while (unread_.size() < count) {
      const std::string more = pty_.read(count - unread_.size(), timeout);
      if (more.empty()) break;
      unread_ += more;
    }
    const std::string taken = unread_.substr(0, count);
    unread_.erase(0, taken.size());
    return taken;
  }

  // Reads from the far end until `byte` comes (what came before is dropped); false if it does not.
  bool Await(const std::string& byte) {
    for (std::string got; !(got = Take(1, std::chrono::seconds(10))).empty();)
      if (got == byte) return true;
    return false;
  }

  std::string Path(const std::string& name) const { return (dir_ / name).string(); }

  // A 128-byte packet with the 8-bit checksum, as a checksum-mode sender puts it on the line.
  static std::string Packet(int number, std::string_view data) {
    std::string packet{static_cast<char>(SOH), static_cast<char>(number & 0xFF),
                       static_cast<char>(255 - (number & 0xFF))};
    std::string body(data);
    body.resize(SHORT_PACKET, '\x1A');
    unsigned sum = 0;
    for (const char byte : body) sum += static_cast<std::uint8_t>(byte);
    return packet + body + static_cast<char>(sum & 0xFF);
  }

  testsupport::PtyPair pty_;
  std::string unread_;  // read from the far end, not taken yet
  std::filesystem::path dir_;
  std::filesystem::path old_dir_;
  static inline int counter_ = 0;
};

}  // namespace xmodemtest
