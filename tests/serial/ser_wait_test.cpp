// Waiting for input with a wake descriptor, and the per-thread last error.
#include <cerrno>
#include <thread>

#include <gtest/gtest.h>

#include "serial/wake_event.h"
#include "tests/serial/serial_guards.h"

namespace {

using serialtest::OpenPty;

TEST(SerialWait, EndsOnAByteAPushBackAWakeOrAGoneDevice) {
  OpenPty line(0);
  ASSERT_EQ(line.rc, TORVEL_OK);
  serial::WakeEvent wake;
  ASSERT_GE(wake.fd(), 0);
  // Each case would otherwise wait the full 20 s and return 0.
  const struct {
    const char* what;
    void (*before)(OpenPty&, serial::WakeEvent&);
    int result;
  } cases[] = {
      {"a pushed-back byte", [](OpenPty&, serial::WakeEvent&) { SioUnGetc(0, 'p'); }, 1},
      {"a byte on the line", [](OpenPty& l, serial::WakeEvent&) { l.pty.write("x"); }, 1},
      {"the wake", [](OpenPty&, serial::WakeEvent& w) { w.raise(); }, TORVEL_ABORTED},
      {"the far end gone", [](OpenPty& l, serial::WakeEvent&) { l.pty.close_master(); }, 1},
  };
  EXPECT_EQ(SioWaitRx(0, wake.fd(), 20), 0);
  EXPECT_EQ(SioWaitRx(0, -1, 20), 0);
  for (const auto& c : cases) {
    c.before(line, wake);
    EXPECT_EQ(SioWaitRx(0, wake.fd(), 20000), c.result) << c.what;
    SioRxClear(0);
    wake.clear();
  }
  EXPECT_EQ(SioGetc(0), TORVEL_WIN32ERR);  // the wait said "ready"; the read tells why
  EXPECT_EQ(SioWaitRx(16, -1, 0), IE_BADID);
  EXPECT_EQ(SioWaitRx(1, -1, 0), IE_NOPEN);
}

TEST(SerialWait, EachThreadHasItsOwnLastError) {
  LastWinError = 0;
  std::thread other([] {
    EXPECT_EQ(SioGetc(0), IE_NOPEN);
    LastWinError = EIO;
  });
  other.join();
  EXPECT_EQ(LastWinError, 0);
}

}  // namespace
