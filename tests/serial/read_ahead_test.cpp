// Ports read ahead by a reader thread: the arrival queue, what a port's reads see with a reader
// running (the same bytes in the same order), a device that goes, a port closed under a waiting
// reader, a queue that fills, a network port read while it is written and set, and the traffic
// every read and write reports with its time.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "serial/arrival_queue.h"
#include "serial/net_connect.h"
#include "serial/net_ports.h"
#include "serial/read_ahead.h"
#include "tests/serial/serial_guards.h"
#include "tests/support/ser2net_server.h"

namespace {

using namespace std::chrono_literals;
using serialtest::OpenPty;
using testsupport::wait_until;

std::span<const std::uint8_t> bytes_of(const std::string& text) {
  return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

TEST(ArrivalQueue, KeepsBlocksWithTheirTimesAcrossTheRingsEnd) {
  serial::ArrivalQueue queue(10);
  EXPECT_EQ(queue.room(), 10u);
  queue.push(1, bytes_of("abcdef"));
  queue.push(2, bytes_of(""));  // nothing arrived: no block
  queue.push(3, bytes_of("ghijkl"));  // only 4 fit
  EXPECT_EQ(queue.bytes(), 10u);
  EXPECT_EQ(queue.room(), 0u);

  // Taken in part, a block keeps its time for the rest; the ring wraps for the next block.
  std::array<std::uint8_t, 16> into{};
  std::int64_t time = 0;
  const struct {
    std::size_t asked;
    std::size_t got;
    std::int64_t time;
    const char* bytes;
    const char* push;  // pushed after the take, at time 9
  } steps[] = {
      {4, 4, 1, "abcd", "mnop"}, {16, 2, 1, "ef", ""}, {3, 3, 3, "ghi", ""}, {16, 1, 3, "j", ""},
      {16, 4, 9, "mnop", ""},    {16, 0, 9, "", ""},
  };
  for (const auto& step : steps) {
    const std::size_t got = queue.take_block(std::span(into).first(step.asked), time);
    EXPECT_EQ(got, step.got);
    EXPECT_EQ(std::string(into.begin(), into.begin() + static_cast<std::ptrdiff_t>(got)), step.bytes);
    EXPECT_EQ(time, step.time);
    queue.push(9, bytes_of(step.push));
  }
  EXPECT_TRUE(queue.empty());

  // Across blocks at once; and a queue of many small blocks is full by their count, not bytes.
  queue.push(1, bytes_of("xy"));
  queue.push(2, bytes_of("z"));
  EXPECT_EQ(queue.take(into), 3u);
  serial::ArrivalQueue small(64 * 16);
  for (int i = 0; i < 64; ++i) small.push(i, bytes_of("b"));
  EXPECT_EQ(small.room(), 0u);
  small.clear();
  EXPECT_TRUE(small.empty());
  EXPECT_EQ(small.room(), 64u * 16);
}

// Every read and write the library reports.
class Traffic final : public serial::TrafficObserver {
 public:
  struct Block {
    int port;
    bool sent;
    std::int64_t time_us;
    std::string bytes;
  };
  Traffic() { serial::observe_traffic(this); }
  ~Traffic() override { serial::observe_traffic(nullptr); }
  void traffic(int port, bool sent, std::int64_t time_us, std::span<const std::uint8_t> bytes) override {
    const std::lock_guard lock(mutex_);
    blocks_.push_back({port, sent, time_us, std::string(bytes.begin(), bytes.end())});
  }
  std::vector<Block> blocks() const {
    const std::lock_guard lock(mutex_);
    return blocks_;
  }
  std::string received() const {
    std::string all;
    for (const Block& block : blocks())
      if (!block.sent) all += block.bytes;
    return all;
  }

 private:
  mutable std::mutex mutex_;
  std::vector<Block> blocks_;
};

// Drains `port` with read_stamped as the pump does.
std::string drain(int port, std::vector<std::int64_t>* times = nullptr) {
  std::string got;
  std::array<std::uint8_t, 4096> block{};
  std::int64_t time = 0;
  for (int n; (n = serial::read_stamped(port, block, time)) > 0;) {
    got.append(block.begin(), block.begin() + n);
    if (times != nullptr) times->push_back(time);
  }
  return got;
}

TEST(ReadAhead, AReaderTakesBytesAsTheyArriveAndThePortsReadsSeeThemAsBefore) {
  const Traffic traffic;
  OpenPty line(0);
  ASSERT_EQ(line.rc, TORVEL_OK);
  ASSERT_TRUE(serial::read_ahead(0));
  EXPECT_TRUE(serial::reading_ahead(0));

  const std::int64_t before = serial::wall_clock_us();
  line.pty.write("abc");
  ASSERT_TRUE(wait_until([&] { return traffic.received() == "abc"; }));
  // Taken off the device, not yet by the caller: still the port's input.
  EXPECT_EQ(SioRxQue(0), 3);
  std::vector<std::int64_t> times;
  EXPECT_EQ(drain(0, &times), "abc");
  ASSERT_EQ(times.size(), 1u);
  EXPECT_EQ(times[0], traffic.blocks()[0].time_us);
  EXPECT_GE(times[0], before);
  EXPECT_EQ(SioRxQue(0), 0);

  // Single bytes, a pushed-back one first; a clear drops what the reader queued too.
  line.pty.write("de");
  ASSERT_TRUE(wait_until([] { return SioRxQue(0) == 2; }));
  SioUnGetc(0, 'p');
  EXPECT_EQ(SioGetc(0), 'p');
  EXPECT_EQ(SioGetc(0), 'd');
  EXPECT_EQ(SioGetc(0), 'e');
  EXPECT_EQ(SioGetc(0), TORVEL_NO_DATA);
  line.pty.write("lost");
  ASSERT_TRUE(wait_until([] { return SioRxQue(0) == 4; }));
  EXPECT_EQ(SioRxClear(0), TORVEL_OK);
  EXPECT_EQ(SioRxQue(0), 0);

  // What is written is reported too, stamped when the write began.
  const std::int64_t written = serial::wall_clock_us();
  EXPECT_EQ(SioPuts(0, "out", 3), 3);
  EXPECT_EQ(line.pty.read(3), "out");
  const std::vector<Traffic::Block> blocks = traffic.blocks();
  ASSERT_FALSE(blocks.empty());
  EXPECT_TRUE(blocks.back().sent);
  EXPECT_EQ(blocks.back().bytes, "out");
  EXPECT_GE(blocks.back().time_us, written);
}

TEST(ReadAhead, AGoneDeviceEndsTheReaderAndIsReportedOnceItsBytesAreRead) {
  const Traffic traffic;
  OpenPty line(0);
  ASSERT_EQ(line.rc, TORVEL_OK);
  ASSERT_TRUE(serial::read_ahead(0));
  line.pty.write("last words");
  // Taken by the reader: a pty's hangup discards what its reader has not taken yet.
  ASSERT_TRUE(wait_until([&] { return traffic.received() == "last words"; }));
  line.pty.close_master();
  EXPECT_EQ(drain(0), "last words");
  std::array<std::uint8_t, 16> block{};
  std::int64_t time = 0;
  EXPECT_EQ(serial::read_stamped(0, block, time), TORVEL_WIN32ERR);
  EXPECT_THAT(serial::open_failure(0), testing::HasSubstr("stopped answering"));
  EXPECT_EQ(SioDone(0), 1);
  EXPECT_FALSE(serial::reading_ahead(0));
}

TEST(ReadAhead, APortClosesAndOpensAgainUnderAWaitingReaderAtOnce) {
  OpenPty line(0);
  ASSERT_EQ(line.rc, TORVEL_OK);
  for (int round = 0; round < 20; ++round) {
    ASSERT_TRUE(serial::read_ahead(0));
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(SioDone(0), 1);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
    EXPECT_FALSE(serial::reading_ahead(0));
    ASSERT_EQ(SioReset(0, 2048, 2048), TORVEL_OK);
  }
  // The last reader is stopped by the caller, and the port reads on its own again.
  ASSERT_TRUE(serial::read_ahead(0));
  serial::stop_read_ahead(0);
  line.pty.write("z");
  ASSERT_TRUE(wait_until([] { return SioRxQue(0) == 1; }));
  EXPECT_EQ(SioGetc(0), 'z');
}

TEST(ReadAhead, AFullQueueHoldsTheReaderBackAndNothingIsLost) {
  OpenPty line(0);
  ASSERT_EQ(line.rc, TORVEL_OK);
  ASSERT_TRUE(serial::read_ahead(0));
  std::string sent(3 * 1024 * 1024 / 2, '\0');
  for (std::size_t i = 0; i < sent.size(); ++i) sent[i] = static_cast<char>(i * 7 + i / 4096);
  std::thread writer([&] { line.pty.write(sent); });
  // The queue holds 1 MiB; the rest waits in the kernel, and the writer with it, until it is read.
  ASSERT_TRUE(wait_until([] { return SioRxQue(0) >= 1024 * 1024; }, 10s));
  std::string got;
  wait_until([&] {
    got += drain(0);
    return got.size() >= sent.size();
  }, 30s);
  writer.join();
  EXPECT_TRUE(got == sent) << got.size() << " of " << sent.size() << " bytes";
}

// A network port's reader reads the link (and answers the server) while the caller writes to it
// and changes its settings: every byte gets through both ways, in order, and no Telnet command is
// mixed into them.
TEST(ReadAhead, ANetworkPortIsReadWhileItIsWrittenAndSet) {
  constexpr int kPort = 5;
  serialtest::ComVariables variables;
  serialtest::DefaultsGuard defaults;
  testsupport::Ser2net server;
  serialtest::BoundPort bound(kPort, server.rfc2217_address());
  ASSERT_TRUE(wait_until([&] { return serial::open_port_waiting(kPort, 10000) == TORVEL_OK; }, 15s))
      << serial::open_failure(kPort);
  ASSERT_TRUE(serial::read_ahead(kPort));
  std::string all;
  for (int round = 0; round < 8; ++round)
    for (int b = 0; b < 256; ++b) all += static_cast<char>(b);

  std::thread far([&] { server.write(all); });
  std::string echoed;
  for (std::size_t at = 0; at < all.size(); at += 256) {
    EXPECT_EQ(SioPuts(kPort, all.data() + at, 256), 256);
    EXPECT_EQ(SioBaud(kPort, at % 512 == 0 ? 19200 : 9600), 1);
    echoed += drain(kPort);
  }
  far.join();
  wait_until([&] {
    echoed += drain(kPort);
    return echoed.size() >= all.size();
  }, 10s);
  EXPECT_TRUE(echoed == all) << echoed.size() << " bytes received";
  EXPECT_TRUE(server.read(all.size()) == all);
  SioDone(kPort);
  serial::net::drop_connection(kPort);
}

}  // namespace
