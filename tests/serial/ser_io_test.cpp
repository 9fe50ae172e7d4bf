// Bytes in and out, push-back, clearing, and a device that goes away, over pseudo-terminals.
#include <cerrno>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "tests/serial/serial_guards.h"

namespace {

using serialtest::OpenPty;
using testsupport::wait_until;

std::string Pattern(std::size_t size) {
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
  return bytes;
}

TEST(SerialIo, NothingWaitingReadsAsNothing) {
  OpenPty line(0);
  ASSERT_EQ(line.rc, TORVEL_OK);
  char buffer[16];
  EXPECT_EQ(SioRxQue(0), 0);
  EXPECT_EQ(SioGets(0, buffer, sizeof buffer), 0);
  EXPECT_EQ(SioGets(0, buffer, 0), 0);
  EXPECT_EQ(SioGetc(0), TORVEL_NO_DATA);
}

TEST(SerialIo, SingleBytesBothWaysKeepEveryValue) {
  OpenPty line(0);
  ASSERT_EQ(line.rc, TORVEL_OK);
  std::string bytes;
  for (int b = 0; b < 256; ++b) bytes.push_back(static_cast<char>(b));
  for (const char b : bytes) ASSERT_EQ(SioPutc(0, b), TORVEL_OK);
  EXPECT_EQ(line.pty.read(bytes.size()), bytes);

  line.pty.write(bytes);
  ASSERT_TRUE(wait_until([] { return SioRxQue(0) == 256; }));
  for (int b = 0; b < 256; ++b) ASSERT_EQ(SioGetc(0), b);
  EXPECT_EQ(SioGetc(0), TORVEL_NO_DATA);
}

TEST(SerialIo, BlocksBothWaysLargerThanTheKernelBuffers) {
  OpenPty line(0);
  ASSERT_EQ(line.rc, TORVEL_OK);
  const std::string out = Pattern(256 * 1024);
  std::string far_end;
  std::thread reader([&] { far_end = line.pty.read(out.size(), std::chrono::seconds(60)); });
  EXPECT_EQ(SioPuts(0, out.data(), static_cast<unsigned>(out.size())),
            static_cast<int>(out.size()));
  reader.join();
  EXPECT_TRUE(far_end == out) << far_end.size();

  const std::string in = Pattern(100 * 1000);
  std::thread writer([&] { line.pty.write(in); });
  std::string got;
  char buffer[3000];
  wait_until(
      [&] {
        const int n = SioGets(0, buffer, sizeof buffer);
        if (n > 0) got.append(buffer, static_cast<std::size_t>(n));
        return got.size() >= in.size() || n < 0;
      },
      std::chrono::seconds(60));
  writer.join();
  EXPECT_TRUE(got == in) << got.size();
  EXPECT_EQ(SioPuts(0, nullptr, 5), TORVEL_RANGE);
  EXPECT_EQ(SioGets(0, nullptr, 5), TORVEL_RANGE);
}

TEST(SerialIo, PushedBackByteComesFirstAndAlone) {
  OpenPty line(0);
  ASSERT_EQ(line.rc, TORVEL_OK);
  line.pty.write("xyz");
  ASSERT_TRUE(wait_until([] { return SioRxQue(0) == 3; }));
  EXPECT_EQ(SioUnGetc(0, 'A'), TORVEL_OK);
  EXPECT_EQ(SioGetc(0), 'A');
  EXPECT_EQ(SioGetc(0), 'x');

  char buffer[10] = {};
  SioUnGetc(0, '\xFF');
  EXPECT_EQ(SioGets(0, buffer, 0), 0);  // no room: it stays pushed back
  EXPECT_EQ(SioGets(0, buffer, sizeof buffer), 1);
  EXPECT_EQ(buffer[0], '\xFF');
  EXPECT_EQ(SioGets(0, buffer, sizeof buffer), 2);
  EXPECT_EQ(std::string(buffer, 2), "yz");

  SioUnGetc(0, '\0');  // pushing back 0 pushes back nothing
  EXPECT_EQ(SioGetc(0), TORVEL_NO_DATA);
}

TEST(SerialIo, RxClearDropsWhatWaitsAndThePushedBackByte) {
  OpenPty line(0);
  ASSERT_EQ(line.rc, TORVEL_OK);
  line.pty.write(Pattern(3000));
  ASSERT_TRUE(wait_until([] { return SioRxQue(0) == 3000; }));
  SioUnGetc(0, 'q');
  EXPECT_EQ(SioRxClear(0), TORVEL_OK);
  EXPECT_EQ(SioRxQue(0), 0);
  EXPECT_EQ(SioGetc(0), TORVEL_NO_DATA);
}

TEST(SerialIo, AGoneDeviceFailsReadsAndWritesAtOnce) {
  OpenPty line(0);
  ASSERT_EQ(line.rc, TORVEL_OK);
  SioUnGetc(0, 'q');
  line.pty.close_master();
  EXPECT_EQ(SioGetc(0), 'q');  // what was already taken in comes first

  char buffer[8];
  const struct {
    const char* what;
    int (*call)(char*);
  } calls[] = {
      {"SioGetc", [](char*) { return SioGetc(0); }},
      {"SioGets", [](char* b) { return SioGets(0, b, 8); }},
      {"SioGets of 0", [](char* b) { return SioGets(0, b, 0); }},
      {"SioPutc", [](char*) { return SioPutc(0, 'x'); }},
      {"SioPuts", [](char*) { return SioPuts(0, "xyz", 3); }},
  };
  for (const auto& c : calls) {
    LastWinError = 0;
    EXPECT_EQ(c.call(buffer), TORVEL_WIN32ERR) << c.what;
    EXPECT_EQ(LastWinError, EIO) << c.what;
  }
  EXPECT_EQ(SioRxQue(0), 0);
  EXPECT_EQ(SioDone(0), 1);
}

TEST(SerialIo, AWriteWaitingForRoomEndsWhenTheDeviceGoes) {
  OpenPty line(0);
  ASSERT_EQ(line.rc, TORVEL_OK);
  // The far end never reads, so this write fills the kernel's buffers and waits for room.
  const std::string out = Pattern(1024 * 1024);
  int result = 0;
  std::thread writer([&] { result = SioPuts(0, out.data(), static_cast<unsigned>(out.size())); });
  line.pty.close_master();
  writer.join();
  EXPECT_EQ(result, TORVEL_WIN32ERR);
}

TEST(SerialIo, WritesToAFarEndThatNeverReadsGiveUpAndTxClearDiscardsNothing) {
  OpenPty line(0);
  ASSERT_EQ(line.rc, TORVEL_OK);
  ASSERT_EQ(SioPuts(0, "kept", 4), 4);
  EXPECT_EQ(SioTxClear(0), TORVEL_OK);
  EXPECT_EQ(line.pty.read(4), "kept");

  ASSERT_GT(testsupport::fill_until_full(line.fd), 0u);
  const struct {
    const char* what;
    int (*call)();
  } writes[] = {
      {"SioPutc", [] { return SioPutc(0, 'x'); }},
      {"SioPuts", [] { return SioPuts(0, "xyz", 3); }},
  };
  for (const auto& write : writes) {
    LastWinError = 0;
    EXPECT_EQ(write.call(), TORVEL_WIN32ERR) << write.what;
    EXPECT_EQ(LastWinError, ETIMEDOUT) << write.what;
  }
  // Once the far end reads again, so does the line.
  line.pty.read(std::size_t{1} << 24, std::chrono::milliseconds(300));
  EXPECT_EQ(SioPutc(0, 'z'), TORVEL_OK);
  EXPECT_EQ(line.pty.read(1), "z");
}

}  // namespace
