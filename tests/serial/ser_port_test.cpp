// Opening and closing ports, the open defaults and the argument checks, over pseudo-terminals.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <functional>
#include <string>

#include <gtest/gtest.h>

#include "serial/failure_kind.h"
#include "tests/serial/line_readback.h"
#include "tests/serial/serial_guards.h"

namespace {

using namespace serialtest;

TEST(SerialOpen, OpensARawExclusiveLineAtTheDefaultsAndClosesOnce) {
  OpenPty line(0);
  ASSERT_EQ(line.rc, TORVEL_OK) << serial::open_failure(0);
  const auto got = read_line(line.fd);
  EXPECT_TRUE(got.raw);
  EXPECT_EQ(got.rate, 9600u);
  EXPECT_FALSE(got.parodd || got.cmspar || got.cstopb || got.crtscts || got.ixon || got.ixoff);
  EXPECT_TRUE(is_exclusive(line.fd));
  EXPECT_EQ(SioDone(0), 1);
  EXPECT_EQ(serial::native_handle(0), -1);
  EXPECT_EQ(SioDone(0), IE_NOPEN);
}

TEST(SerialOpen, PutsTheDevicesOwnSettingsBackAtClose) {
  testsupport::PtyPair pty;
  const int own = ::open(pty.slave_path().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  ASSERT_GE(own, 0);
  ASSERT_TRUE(set_cooked(own, 1200));
  {
    BoundPort port(0, pty.slave_path());
    ASSERT_EQ(SioReset(0, 2048, 2048), TORVEL_OK);
    EXPECT_EQ(SioBaud(0, Baud115200), 1);
  }
  const auto got = read_line(own);
  EXPECT_EQ(got.rate, 1200u);
  EXPECT_FALSE(got.raw);
  EXPECT_TRUE(got.cstopb && got.crtscts);
  EXPECT_FALSE(is_exclusive(own));
  ::close(own);
}

TEST(SerialOpen, ASecondOpenOfTheSameDeviceFailsAndLeavesTheFirstAlone) {
  testsupport::PtyPair pty;
  BoundPort first(0, pty.slave_path());
  BoundPort same_device(1, pty.slave_path());
  ASSERT_EQ(SioReset(0, 2048, 2048), TORVEL_OK);
  const int fd = serial::native_handle(0);
  for (const int port : {0, 1}) {
    EXPECT_EQ(SioReset(port, 2048, 2048), TORVEL_WIN32ERR) << port;
    EXPECT_EQ(LastWinError, EBUSY) << port;
  }
  EXPECT_EQ(serial::native_handle(0), fd);
  EXPECT_EQ(serial::native_handle(1), -1);
  EXPECT_EQ(serial::open_failure(1), pty.slave_path() + ": " + std::strerror(EBUSY));
  EXPECT_EQ(SioPutc(0, 'k'), TORVEL_OK);
  EXPECT_EQ(pty.read(1), "k");
}

TEST(SerialOpen, FailuresLeaveThePortClosedAndSayWhy) {
  ComVariables variables;
  char empty[] = "/tmp/quillport-empty-XXXXXX";  // a sysfs tree without devices
  ASSERT_NE(::mkdtemp(empty), nullptr);
  const struct {
    const char* path;  // nullptr: the number stands for no device
    int err;
    std::string failure;
  } cases[] = {
      {nullptr, ENODEV, "COM3: no serial device"},
      {"/nonexistent/tty", ENOENT, "/nonexistent/tty: No such file or directory"},
      {"/dev/null", ENOTTY, std::string("/dev/null: ") + std::strerror(ENOTTY)},
  };
  {
    ScanRoots roots(empty, empty);
    for (const auto& c : cases) {
      if (c.path != nullptr) variables.set(2, c.path);
      EXPECT_EQ(SioReset(2, 2048, 2048), TORVEL_WIN32ERR) << c.failure;
      EXPECT_EQ(LastWinError, c.err) << c.failure;
      EXPECT_EQ(serial::open_failure(2), c.failure);
      EXPECT_EQ(serial::open_failure_error(2), c.err);
      EXPECT_EQ(SioDone(2), IE_NOPEN) << c.failure;
    }
    testsupport::PtyPair pty;
    variables.set(2, pty.slave_path());
    EXPECT_EQ(SioReset(2, 2048, 2048), TORVEL_OK);
    EXPECT_EQ(serial::open_failure(2), "");
    EXPECT_EQ(serial::open_failure_error(2), 0);
    EXPECT_EQ(SioDone(2), 1);
  }
  ::rmdir(empty);
}

// What a person can do about a failure: decided on errno, whatever language strerror speaks.
TEST(SerialOpen, FailuresAreSortedByKindOnTheirErrno) {
  using serial::FailureKind;
  const struct {
    int err;
    FailureKind kind;
  } cases[] = {
      {0, FailureKind::None},           {ENOENT, FailureKind::NotFound},   {ENODEV, FailureKind::NotFound},
      {EACCES, FailureKind::Permission}, {EPERM, FailureKind::Permission}, {EBUSY, FailureKind::Busy},
      {EWOULDBLOCK, FailureKind::Busy}, {ENOTTY, FailureKind::Unsupported}, {EIO, FailureKind::Gone},
      {ETIMEDOUT, FailureKind::TimedOut}, {ENOMEM, FailureKind::Other},
  };
  for (const auto& c : cases) EXPECT_EQ(serial::failure_kind(c.err), c.kind) << std::strerror(c.err);
}

TEST(SerialOpen, MinusOneSetsTheDefaultsOfLaterOpens) {
  DefaultsGuard defaults;
  EXPECT_EQ(SioBaud(-1, 5), TORVEL_OK);  // a rate, not a rate code
  EXPECT_EQ(SioParms(-1, OddParity, TwoStopBits, WordLength7), TORVEL_OK);
  {
    OpenPty line(0);
    ASSERT_EQ(line.rc, TORVEL_OK);
    const auto got = read_line(line.fd);
    EXPECT_EQ(got.rate, 5u);
    EXPECT_TRUE(got.parodd && got.cstopb);
  }
  // Defaults the line cannot take fail the open, and nothing stays open or locked.
  SioParms(-1, NoParity, One5StopBits, WordLength8);
  OpenPty line(0);
  EXPECT_EQ(line.rc, TORVEL_WIN32ERR);
  EXPECT_EQ(LastWinError, EINVAL);
  EXPECT_EQ(line.fd, -1);
  SioParms(-1, NoParity, OneStopBit, WordLength8);
  EXPECT_EQ(SioReset(0, 2048, 2048), TORVEL_OK);
}

// Every operation that takes a port, with harmless arguments.
const struct {
  const char* name;
  std::function<int(int)> call;
  bool minus_one_sets_default = false;
} kPortOps[] = {
    {"SioDone", [](int p) { return SioDone(p); }},
    {"SioBaud", [](int p) { return SioBaud(p, Baud9600); }, true},
    {"SioParms", [](int p) { return SioParms(p, NoParity, OneStopBit, WordLength8); }, true},
    {"SioFlow", [](int p) { return SioFlow(p, 'N'); }},
    {"SioDTR", [](int p) { return SioDTR(p, 'R'); }},
    {"SioRTS", [](int p) { return SioRTS(p, 'R'); }},
    {"SioPutc", [](int p) { return SioPutc(p, 'x'); }},
    {"SioPuts", [](int p) { return SioPuts(p, "xy", 2); }},
    {"SioGetc", [](int p) { return SioGetc(p); }},
    {"SioGets",
     [](int p) {
       char b[4];
       return SioGets(p, b, sizeof b);
     }},
    {"SioUnGetc", [](int p) { return SioUnGetc(p, 'x'); }},
    {"SioRead", [](int p) { return SioRead(p, 0); }},
    {"SioRxQue", [](int p) { return SioRxQue(p); }},
    {"SioTxQue", [](int p) { return SioTxQue(p); }},
    {"SioRxClear", [](int p) { return SioRxClear(p); }},
    {"SioTxClear", [](int p) { return SioTxClear(p); }},
    {"SioStatus", [](int p) { return SioStatus(p, 0xFF); }},
    {"SioCTS", [](int p) { return SioCTS(p); }},
    {"SioDSR", [](int p) { return SioDSR(p); }},
    {"SioRI", [](int p) { return SioRI(p); }},
    {"SioDCD", [](int p) { return SioDCD(p); }},
    {"SioBrkSig", [](int p) { return SioBrkSig(p, 'D'); }},
};

TEST(SerialArgs, EveryOperationRefusesABadPortNumberAndAClosedPort) {
  DefaultsGuard defaults;
  for (const int port : {NBR_PORTS, -1, -2, INT_MIN, INT_MAX}) {
    for (const auto& op : kPortOps) {
      if (port != -1 || !op.minus_one_sets_default) {
        EXPECT_EQ(op.call(port), IE_BADID) << op.name << "(" << port << ")";
      }
    }
    EXPECT_EQ(SioReset(port, 2048, 2048), IE_BADID) << port;
    EXPECT_EQ(serial::native_handle(port), -1);
  }
  for (const auto& op : kPortOps) EXPECT_EQ(op.call(3), IE_NOPEN) << op.name;
}

TEST(SerialArgs, WinErrorTextIsCutToFitAndAlwaysEnds) {
  LastWinError = ENOENT;
  const std::string full = std::strerror(ENOENT);
  char buffer[64];
  EXPECT_EQ(SioWinError(buffer, sizeof buffer), ENOENT);
  EXPECT_EQ(buffer, full);
  std::memset(buffer, '#', sizeof buffer);
  EXPECT_EQ(SioWinError(buffer, 5), ENOENT);
  EXPECT_EQ(std::string(buffer, 6), full.substr(0, 4) + '\0' + '#');
  EXPECT_EQ(SioWinError(nullptr, 64), ENOENT);
  EXPECT_EQ(SioWinError(buffer + 10, 0), ENOENT);
  EXPECT_EQ(SioWinError(buffer + 10, -1), ENOENT);
  EXPECT_EQ(buffer[10], '#');
}

}  // namespace
