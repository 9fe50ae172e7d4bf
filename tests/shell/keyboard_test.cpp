// Typed keys through the real keyboard filter: a send that did not happen leaves nothing echoed or
// logged and its reason on the progress line; a typed key's echo lands where received text lands.
#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "core/hex.h"
#include "serial/devices.h"
#include "serial/ser.h"
#include "tests/shell/shell_fixture.h"

namespace {

using platform::DisplaySurface;
using testsupport::PtyPair;
using testsupport::read_file;

const struct {
  const char* name;
  void (*press)(DisplaySurface&);
} kKeys[] = {
    {"a character", [](DisplaySurface& s) { s.character('x'); }},
    {"Escape", [](DisplaySurface& s) { s.key_down(platform::VK_ESCAPE); }},
    {"Delete", [](DisplaySurface& s) { s.key_down(platform::VK_DELETE); }},
    {"Backspace", [](DisplaySurface& s) {
       s.key_down(platform::VK_BACK);
       s.character(0x08);
     }},
};

class KeyboardTest : public testsupport::DialogTest {
 protected:
  // Port B's far end sends `bytes` and the next ticks show them.
  void receive_on_b(PtyPair& com2, const std::string& bytes) {
    const std::string expected = shown() + testsupport::hex_text(bytes);
    com2.write(bytes);
    EXPECT_TRUE(
        testsupport::wait_until([&] { return host.fire_timer(HEX_SCREEN_TIMER) && shown() == expected; }));
  }
};

TEST_F(KeyboardTest, KeysTheSendPortDoesNotTakeAreNeitherShownNorLogged) {
  PtyPair& com1 = ports.bind_pty(0);
  PtyPair& com2 = ports.bind_pty(1);
  const auto log = start_with_log();
  receive_on_b(com2, "ab");
  // Port A's far end never reads: with the kernel's buffers full, a write gives up within its bound.
  testsupport::fill_until_full(serial::native_handle(hex_obj[0].portnum));
  const std::string logged = read_file(log);
  for (const auto& key : kKeys) {
    SCOPED_TRACE(key.name);
    key.press(host.screen());
    EXPECT_EQ(shown(), " 61 62");
    EXPECT_EQ(host.text(IDT_PROGRESS),
              "Port A write timed out (flow control or far end not reading): not sent");
  }
  EXPECT_EQ(read_file(log), logged);
  receive_on_b(com2, "c");  // the window goes on

  // The far end reads again: a key is sent, echoed and logged, and the reason is gone.
  com1.read(std::size_t{1} << 24, std::chrono::milliseconds(300));
  host.screen().character('y');
  EXPECT_EQ(com1.read(1), "y");
  EXPECT_EQ(shown(), " 61 62 63y");
  EXPECT_TRUE(read_file(log).ends_with("<font color=\"#00FF00\">y</font>"));
  EXPECT_EQ(host.text(IDT_PROGRESS), "");

  // A send port without a device.
  hex_port_lost(host, 0);
  kKeys[0].press(host.screen());
  EXPECT_EQ(shown(), " 61 62 63y");
  EXPECT_EQ(host.text(IDT_PROGRESS), "Port A is not open: nothing sent");
}

TEST_F(KeyboardTest, TheEchoLandsAtTheEndOfTheTraceWhereverTheUserClicked) {
  PtyPair& com1 = ports.bind_pty(0);
  PtyPair& com2 = ports.bind_pty(1);
  start_with_log();
  const struct {
    int from;
    int to;
  } places[] = {{2, 2}, {1, 4}, {INT_MAX, INT_MAX}};  // a click in an old line, a selection, the end
  for (const auto& place : places) {
    SCOPED_TRACE(place.from);
    host.set_text(IDT_SCREEN, "");
    receive_on_b(com2, "ab");
    for (void (*press)(DisplaySurface&) :
         {kKeys[0].press, kKeys[0].press, kKeys[2].press, kKeys[3].press, kKeys[0].press}) {
      host.screen().set_selection(place.from, place.to);
      press(host.screen());
    }
    receive_on_b(com2, "c");
    EXPECT_EQ(shown(), " 61 62x 63");
    EXPECT_EQ(com1.read(5), std::string("xx\b\bx"));
  }
}

// A reason in the progress line that no longer holds is cleared when its condition ends: the port
// that was not open is back. A reason about the other port, or any other text, stays.
TEST_F(KeyboardTest, APortComingBackClearsTheReasonItWasNotUsed) {
  PtyPair& com1 = ports.bind_pty(0);
  ports.bind_pty(1);
  host.init();
  const struct {
    const char* what;
    void (*attempt)(platform::HeadlessHost&);
    const char* shown;
  } attempts[] = {
      {"a key", [](platform::HeadlessHost& h) { h.screen().character('x'); }, "Port A is not open: nothing sent"},
      {"a transfer", [](platform::HeadlessHost& h) {
         h.choose(IDC_PROTOCOL, HEX_DUMP);
         h.queue_file_answer("/dev/null");
         h.click(IDB_GO_FILE);
       },
       "Port A is not open: nothing transferred "},
  };
  for (const auto& attempt : attempts) {
    SCOPED_TRACE(attempt.what);
    hex_port_lost(host, 0);
    attempt.attempt(host);
    EXPECT_EQ(host.text(IDT_PROGRESS), attempt.shown);
    hex_port_lost(host, 1);
    hex_reopen(host, 1);  // the other port coming back changes nothing
    EXPECT_EQ(host.text(IDT_PROGRESS), attempt.shown);
    ASSERT_TRUE(hex_reopen(host, 0));
    EXPECT_EQ(host.text(IDT_PROGRESS), "");
  }
  host.set_text(IDT_PROGRESS, "Dump Completed ");
  hex_port_lost(host, 0);
  hex_reopen(host, 0);
  EXPECT_EQ(host.text(IDT_PROGRESS), "Dump Completed ");
  host.screen().character('y');
  EXPECT_EQ(com1.read(1), "y");
}

}  // namespace
