// Typed keys through the real keyboard filter: what a send that did not happen leaves (nothing
// echoed, nothing logged, the reason on the progress line), and where a typed key's echo lands.
#include <gtest/gtest.h>

#include <climits>
#include <functional>
#include <string>

#include "core/hex.h"
#include "serial/devices.h"
#include "shell/pump.h"
#include "tests/shell/shell_fixture.h"

namespace {

using platform::VK_BACK;
using platform::VK_DELETE;
using platform::VK_ESCAPE;
using platform::VK_RETURN;
using testsupport::PtyPair;
using testsupport::read_file;
using testsupport::wait_until;

struct Key {
  const char* name;
  std::function<void(platform::DisplaySurface&)> press;  // as the window reports a key
};

const Key kKeys[] = {
    {"a character", [](platform::DisplaySurface& s) { s.character('x'); }},
    {"Enter", [](platform::DisplaySurface& s) { s.key_down(VK_RETURN); s.character('\r'); }},
    {"Escape", [](platform::DisplaySurface& s) { s.key_down(VK_ESCAPE); }},
    {"Delete", [](platform::DisplaySurface& s) { s.key_down(VK_DELETE); }},
    {"Backspace", [](platform::DisplaySurface& s) { s.key_down(VK_BACK); s.character(0x08); }},
};

class KeyboardTest : public testsupport::DialogTest {
 protected:
  // Port B's far end sends `bytes` and the pump shows them.
  void receive_on_b(PtyPair& com2, const std::string& bytes) {
    const std::size_t before = shown().size();
    com2.write(bytes);
    ASSERT_TRUE(wait_until([&] {
      host.fire_timer(HEX_SCREEN_TIMER);
      return shown().size() == before + 3 * bytes.size();
    }));
  }
};

TEST_F(KeyboardTest, AKeyTheLineDoesNotTakeComesBackUnsentUnshownAndUnlogged) {
  PtyPair& com1 = ports.bind_pty(0);
  PtyPair& com2 = ports.bind_pty(1);
  const auto log = start_with_log();
  receive_on_b(com2, "ab");
  // Port A's far end never reads: once the kernel's buffers are full, a write waits its bound.
  testsupport::fill_until_full(serial::native_handle(hex_obj[0].portnum));

  for (const Key& key : kKeys) {
    SCOPED_TRACE(key.name);
    host.set_text(IDT_PROGRESS, "");
    const std::string logged = read_file(log);
    key.press(host.screen());
    EXPECT_EQ(shown(), " 61 62");
    EXPECT_EQ(read_file(log), logged);
    EXPECT_EQ(host.text(IDT_PROGRESS), "Port A write timed out: not sent");
  }
  // The window goes on: received bytes still come in at the next tick.
  receive_on_b(com2, "c");
  EXPECT_EQ(shown(), " 61 62 63");

  // Once the far end reads again, a key is sent, echoed and logged, and the reason is gone.
  com1.read(std::size_t{1} << 24, std::chrono::milliseconds(300));
  host.screen().character('y');
  EXPECT_EQ(com1.read(1), "y");
  EXPECT_EQ(shown(), " 61 62 63y");
  EXPECT_TRUE(read_file(log).ends_with("<font color=\"#00FF00\">y</font>"));
  EXPECT_EQ(host.text(IDT_PROGRESS), "");
}

TEST_F(KeyboardTest, KeysForAnAbsentSendPortAreNeitherShownNorLogged) {
  PtyPair& com2 = ports.bind_pty(1);  // Port A has no device; it stays the send port
  const auto log = start_with_log();
  ASSERT_EQ(hex_obj[0].present, 0);
  const std::string logged = read_file(log);
  for (const Key& key : kKeys) {
    SCOPED_TRACE(key.name);
    key.press(host.screen());
    EXPECT_EQ(shown(), "");
    EXPECT_EQ(host.text(IDT_PROGRESS), "Port A is not open: nothing sent");
  }
  EXPECT_EQ(read_file(log), logged);
  EXPECT_EQ(com2.read(1, std::chrono::milliseconds(100)), "");  // nothing went out on Port B's line
}

TEST_F(KeyboardTest, TheEchoLandsAtTheEndOfTheTraceInTheOrderBytesCrossedTheLine) {
  PtyPair& com1 = ports.bind_pty(0);
  PtyPair& com2 = ports.bind_pty(1);
  start_with_log();
  const struct {
    const char* where;
    int from;
    int to;
  } places[] = {
      {"caret clicked into an old line", 2, 2},
      {"text selected in an old line", 1, 4},
      {"caret at the end", INT_MAX, INT_MAX},
  };
  for (const auto& place : places) {
    SCOPED_TRACE(place.where);
    host.set_text(IDT_SCREEN, "");
    receive_on_b(com2, "ab");
    auto type = [&](const std::function<void(platform::DisplaySurface&)>& press) {
      host.screen().set_selection(place.from, place.to);
      press(host.screen());
    };
    type([](platform::DisplaySurface& s) { s.character('z'); });
    type([](platform::DisplaySurface& s) { s.character('w'); });
    EXPECT_EQ(shown(), " 61 62zw");
    // Delete and Backspace erase at the end too, never inside an old line.
    type([](platform::DisplaySurface& s) { s.key_down(VK_DELETE); });
    type([](platform::DisplaySurface& s) { s.key_down(VK_BACK); s.character(0x08); });
    EXPECT_EQ(shown(), " 61 62");
    type([](platform::DisplaySurface& s) { s.character('y'); });
    receive_on_b(com2, "c");
    EXPECT_EQ(shown(), " 61 62y 63");
    EXPECT_EQ(com1.read(5), std::string("zw\b\by"));
  }
}

}  // namespace
