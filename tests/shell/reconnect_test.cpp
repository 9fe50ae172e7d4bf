// Ports that come back by themselves, driven through screen ticks over pseudo-terminals.
#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "core/hex.h"
#include "core/hex_reconnect.h"
#include "core/resource.h"
#include "serial/devices.h"
#include "serial/ser.h"
#include "shell/pump.h"
#include "tests/core/core_fixture.h"
#include "tests/serial/line_readback.h"

using testsupport::PtyPair;

namespace {

namespace fs = std::filesystem;

constexpr int kSecond = 20;  // ticks

class ReconnectTest : public testsupport::CoreTest {
 protected:
  // Ticks until terminal port `port` is present, a second and a half at most; whether it is.
  bool present_within(int port, int ticks = 3 * kSecond / 2) {
    for (int i = 0; i < ticks && !hex_obj[port].present; ++i) win_periodic(host);
    return hex_obj[port].present != 0;
  }
  std::string shown_after_tick(PtyPair& far_end, const std::string& bytes) {
    far_end.write(bytes);
    EXPECT_TRUE(testsupport::wait_until([&] { return SioRxQue(hex_obj[0].portnum) > 0; },
                                        std::chrono::seconds(10)));
    win_periodic(host);
    return host.text(IDT_SCREEN);
  }
};

// Points `link` at `target` in one step, as udev does.
void point(const fs::path& link, const std::string& target) {
  fs::create_symlink(target, link.string() + ".new");
  fs::rename(link.string() + ".new", link);
}

TEST_F(ReconnectTest, APortWhoseLinkIsPointedAtANewDeviceComesBackWithItsSettings) {
  char name[] = "/tmp/quillport-links-XXXXXX";
  const fs::path link = fs::path(::mkdtemp(name)) / "com1";
  PtyPair first;
  point(link, first.slave_path());
  ::setenv("QUILLPORT_COM1", link.c_str(), 1);
  hex_init(host);
  host.select_entry(IDC_SPEED1, 6);  // 19200
  hex_speed1SelChange(host);
  host.select_entry(IDC_STOP1, 1);  // 2
  hex_stop1SelChange(host);
  host.select_entry(IDC_FLOW1, 1);  // XON
  hex_flow1SelChange(host);

  first.close_master();
  win_periodic(host);
  ASSERT_EQ(hex_obj[0].present, 0);
  EXPECT_THAT(host.tooltip(IDC_COM1_STATE), testing::HasSubstr("Opens again by itself"));
  EXPECT_FALSE(present_within(0));

  PtyPair second;
  point(link, second.slave_path());
  ASSERT_TRUE(present_within(0));
  const serialtest::LineReadback line = serialtest::read_line(serial::native_handle(0));
  EXPECT_EQ(line.rate, 19200u);
  EXPECT_TRUE(line.cstopb && line.ixon && line.ixoff);
  EXPECT_EQ(SioDTR(0, 'R'), 1);
  EXPECT_EQ(SioRTS(0, 'R'), 0);
  EXPECT_EQ(host.check(IDC_COM1_STATE), platform::Check::Checked);
  EXPECT_THAT(host.tooltip(IDC_COM1_STATE),
              testing::MatchesRegex(".*\nback at [0-2][0-9]:[0-5][0-9]:[0-6][0-9] after [0-9]+ s away"));
  EXPECT_EQ(shown_after_tick(second, "in"), " 69 6E");
  EXPECT_EQ(SioPuts(hex_obj[0].portnum, "out", 3), 3);
  EXPECT_EQ(second.read(3), "out");
  EXPECT_THAT(boxes(), testing::IsEmpty());
  fs::remove_all(link.parent_path());
}

TEST_F(ReconnectTest, APortHeldByAnotherProgramComesUpWhenTheHolderLetsGo) {
  PtyPair& com1 = bind_pty(0);
  const int holder = ::open(com1.slave_path().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  ASSERT_EQ(::flock(holder, LOCK_EX | LOCK_NB), 0);
  hex_init(host);
  EXPECT_FALSE(present_within(0, 3 * kSecond));

  // A new pseudo-terminal beside the device (another program's, say) makes a check try again; the
  // holder lets go right after that try, so its close follows the try's own open and close.
  const PtyPair neighbour;
  for (int i = 0; i < kSecond; ++i) win_periodic(host);
  ASSERT_EQ(hex_obj[0].present, 0);
  ::close(holder);
  ASSERT_TRUE(present_within(0));
  EXPECT_EQ(shown_after_tick(com1, "\x7F"), " 7F");
}

TEST_F(ReconnectTest, NeitherTheOtherPortsDeviceNorANumberChosenWithoutADeviceIsTaken) {
  PtyPair& com1 = bind_pty(0);
  bind_pty(1);
  serial::bind_device(2, com1.slave_path());  // COM3: Port A's device under another number
  hex_init(host);
  host.select_entry(IDC_PORTB, 2);
  hex_PortBSelChange(host);

  // Port B waits without opening the device under Port A, whose open would disturb its lines.
  const int opens = ::inotify_init1(IN_NONBLOCK);
  ::inotify_add_watch(opens, com1.slave_path().c_str(), IN_OPEN);
  EXPECT_FALSE(present_within(1, 3 * kSecond));
  alignas(inotify_event) char event[256];
  EXPECT_EQ(::read(opens, event, sizeof event), -1) << "the held device was opened";
  ::close(opens);

  // Port A leaves for a number with no device: Port B takes COM3, Port A is not chased.
  host.select_entry(IDC_PORTA, 7);
  hex_PortASelChange(host);
  ASSERT_TRUE(present_within(1));
  bind_pty(7);
  EXPECT_FALSE(present_within(0, 3 * kSecond));
  EXPECT_EQ(hex_reconnect_hint(0), "");
}

}  // namespace
