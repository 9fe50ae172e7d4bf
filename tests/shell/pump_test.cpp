// The receive pump end to end: bytes written to the far end of pseudo-terminals, ticks of the
// screen timer, and what the display and the time stamp show.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <unistd.h>

#include <array>
#include <filesystem>
#include <string>
#include <vector>

#include "core/hex.h"
#include "core/hex_log.h"
#include "core/resource.h"
#include "serial/ser.h"
#include "shell/pump.h"
#include "tests/core/core_fixture.h"

using platform::Check;
using testing::ElementsAre;
using testing::IsEmpty;
using testsupport::CoreTest;
using testsupport::PtyPair;
using testsupport::wait_until;

namespace {

class PumpTest : public CoreTest {
 protected:
  // Waits until the far end's bytes are all waiting at the port, so a tick sees them.
  void wait_for_bytes(int terminal_port, int count) {
    ASSERT_TRUE(wait_until([&] { return SioRxQue(hex_obj[terminal_port].portnum) >= count; }))
        << "bytes did not arrive at terminal port " << terminal_port;
  }
  std::string shown() const { return host.text(IDT_SCREEN); }
  platform::Colour colour_at(int position) { return testsupport::colour_at(host.screen(), position); }
};

TEST_F(PumpTest, OneTickTakesEverythingWaitingInBlocksOfAtMost2048) {
  PtyPair& com1 = bind_pty(0);
  hex_init(host);
  const auto log =
      std::filesystem::temp_directory_path() / ("quillport-pump-" + std::to_string(getpid()) + ".htm");
  host.queue_file_answer(log.string());
  hex_log_open(host);
  // More than the kernel hands a reader at once: the rest comes as the tick reads.
  std::string sent;
  for (int i = 0; i < 12000; ++i) sent += static_cast<char>('A' + i % 26);
  com1.write(sent);
  wait_for_bytes(0, 4095);

  win_periodic(host);

  const std::string expected = testsupport::hex_text(sent);
  EXPECT_TRUE(shown() == expected) << shown().size() << " characters shown";
  std::string logged;
  int pieces = 0;
  for (const auto& piece : testsupport::log_pieces(testsupport::read_file(log))) {
    EXPECT_LE(piece.text.size(), 3u * HEX_QUEUE_SIZE);
    logged += piece.text;
    ++pieces;
  }
  EXPECT_TRUE(logged == expected);
  EXPECT_GE(pieces, 6);
  hex_log_close(host);
  std::filesystem::remove(log);
}

TEST_F(PumpTest, PortAIsShownBeforePortBInOneTickInItsColours) {
  PtyPair& com1 = bind_pty(0);
  PtyPair& com2 = bind_pty(1);
  hex_init(host);
  com2.write("B");
  com1.write("A");
  wait_for_bytes(0, 1);
  wait_for_bytes(1, 1);

  win_periodic(host);

  EXPECT_EQ(shown(), " 41 42");
  EXPECT_EQ(colour_at(1), 0x00FF0000u);
  EXPECT_EQ(colour_at(4), 0x007F0000u);
}

TEST_F(PumpTest, InStopBytesAreReadAndDiscarded) {
  PtyPair& com1 = bind_pty(0);
  hex_init(host);
  hex_run = 0;
  com1.write("lost");
  wait_for_bytes(0, 4);
  win_periodic(host);
  EXPECT_EQ(SioRxQue(hex_obj[0].portnum), 0);

  hex_run = 1;
  com1.write("\x01");
  wait_for_bytes(0, 1);
  win_periodic(host);
  EXPECT_EQ(shown(), " 01");
}

TEST_F(PumpTest, TheTimeStampRisesFiftyATickAndWraps) {
  hex_init(host);
  win_init_periodic(host);
  for (int i = 0; i < 1311; ++i) win_periodic(host);
  EXPECT_EQ(hex_time_stamp, 14);
  EXPECT_EQ(shown(), "");
}

TEST_F(PumpTest, EachTickRearmsTheScreenTimerAndARefusalIsReported) {
  hex_init(host);
  win_init_periodic(host);
  EXPECT_EQ(hex_timer, static_cast<unsigned>(HEX_SCREEN_TIMER));
  EXPECT_EQ(host.timer_period(HEX_SCREEN_TIMER), HEX_TIME);

  host.refuse_timers(true);
  win_periodic(host);
  EXPECT_EQ(hex_timer, 0u);
  EXPECT_FALSE(host.timer_running(HEX_SCREEN_TIMER));
  ASSERT_EQ(host.message_boxes().size(), 1u);
  EXPECT_THAT(host.message_boxes()[0].text, testing::StartsWith("Timer is broken = "));
}

TEST_F(PumpTest, AnAbsentPortADoesNotStopPortB) {
  PtyPair& com2 = bind_pty(1);
  hex_init(host);
  ASSERT_EQ(hex_obj[0].present, 0);
  com2.write("\xFF");
  wait_for_bytes(1, 1);
  win_periodic(host);
  EXPECT_EQ(shown(), " FF");
}

TEST_F(PumpTest, TheAsciiViewDropsOnlyTheNulBytes) {
  PtyPair& com1 = bind_pty(0);
  hex_init(host);
  hex_view_mode = HEX_ASCII_VIEW;
  com1.write(std::string("ab\0cd\0\0e\n", 9));
  wait_for_bytes(0, 9);
  win_periodic(host);
  EXPECT_EQ(shown(), "abcde\n");
  EXPECT_EQ(colour_at(0), 0x00FF0000u);
}

TEST_F(PumpTest, AFarEndThatGoesAwayShowsThePortAbsentWithoutSpinning) {
  PtyPair& com1 = bind_pty(0);
  PtyPair& com2 = bind_pty(1);
  hex_init(host);
  com1.close_master();

  win_periodic(host);

  EXPECT_EQ(hex_obj[0].present, 0);
  EXPECT_EQ(host.check(IDC_COM1_STATE), Check::Indeterminate);
  EXPECT_THAT(host.tooltip(IDC_COM1_STATE), testing::HasSubstr("stopped answering"));
  EXPECT_EQ(hex_obj[1].present, 1);
  com2.write("B");
  wait_for_bytes(1, 1);
  win_periodic(host);
  EXPECT_EQ(shown(), " 42");
  EXPECT_THAT(host.message_boxes(), IsEmpty());
}

}  // namespace
