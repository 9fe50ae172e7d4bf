// The views end to end: bytes written to the far end of pseudo-terminals, ticks of the screen timer
// through the real dialog procedure (whose keyboard filter carries the ANSI view's injected keys),
// and what the display shows and the line receives.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "core/dialog_template.h"
#include "core/hex.h"
#include "core/resource.h"
#include "platform/headless_host.h"
#include "serial/ser.h"
#include "shell/dialog.h"
#include "views/ansi_parser.h"
#include "tests/core/core_fixture.h"

namespace {

using testsupport::PtyPair;
using testsupport::wait_until;

// The output of a shell command, as a terminal program would write it to its line.
std::string run(const char* command) {
  std::string out;
  std::FILE* pipe = popen(command, "r");
  if (pipe == nullptr) return out;
  char chunk[256];
  for (std::size_t n; (n = std::fread(chunk, 1, sizeof chunk, pipe)) > 0;) out.append(chunk, n);
  return pclose(pipe) == 0 ? out : "";
}

class TerminalTest : public ::testing::Test {
 protected:
  TerminalTest() : com1(ports_.bind_pty(0)), com2(ports_.bind_pty(1)) { host.init(); }
  ~TerminalTest() override { host.close(); }

  // Bytes from the far end of a line, shown by the next tick.
  void receive(PtyPair& line, int port, const std::string& bytes) {
    line.write(bytes);
    ASSERT_TRUE(wait_until([&] { return SioRxQue(hex_obj[port].portnum) >= static_cast<int>(bytes.size()); }));
  }
  void tick() { ASSERT_TRUE(host.fire_timer(HEX_SCREEN_TIMER)); }
  void show(const std::string& bytes) {
    receive(com1, 0, bytes);
    tick();
  }
  std::string shown() const { return host.text(IDT_SCREEN); }
  int caret() { return host.screen().selection().cpMin; }
  int caret_row() { return host.screen().line_from_char(caret()); }
  int caret_column() { return caret() - host.screen().line_index(caret_row()); }
  // What the far end of COM1 has received: `want` bytes, or with 0 anything at all (writes are
  // done by the time a handler returns, so a short look finds them).
  std::string sent(std::size_t want) {
    return want > 0 ? com1.read(want) : com1.read(1, std::chrono::milliseconds(100));
  }

  testsupport::TerminalPorts ports_;
  PtyPair& com1;
  PtyPair& com2;
  platform::HeadlessHost host{quillport_dialog(), DialogFunc};
};

TEST_F(TerminalTest, EachViewSetsItsEntryModeAndEchoAndRendersThroughThePump) {
  const struct {
    int view;
    int ascii;
    int echo;
    std::string bytes;
    std::string shown;
  } views[] = {
      {HEX_ANSI_VIEW, 1, 0, "A\rB\x1b[0m", "AB"},
      {HEX_HEX_VIEW, 0, 1, "A\x7E", " 41 7E"},
      {HEX_ASCII_VIEW, 1, 1, std::string("A\0B", 3), "AB"},
      {HEX_HDLC_VIEW, 0, 1, "\x7E\x41\x42\x7E", "\nRx1     0  7E 41 42"},
      {HEX_PPP_VIEW, 0, 1, "\x7E\x41\x7D\x22\x7E", "\nRx1     0  7E 41 02"},
      {HEX_ICNI_VIEW, 0, 1, "\xEE\x05\x01\xAA\x16", "\nRx1     0  EE 05 01 AA 16"},
  };
  for (const auto& view : views) {
    SCOPED_TRACE(view.view);
    host.set_text(IDT_SCREEN, "");
    host.set_focus(IDC_MSG);
    host.choose(IDC_VIEW, view.view);
    EXPECT_EQ(hex_view_mode, view.view);
    EXPECT_EQ(hex_ascii, view.ascii);
    EXPECT_EQ(hex_local_echo, view.echo);
    EXPECT_EQ(host.check(IDC_ECHO), view.echo ? platform::Check::Checked : platform::Check::Unchecked);
    EXPECT_EQ(host.focus(), IDT_SCREEN);
    hex_time_stamp = 0;
    show(view.bytes);
    EXPECT_EQ(shown(), view.shown);
  }
}

TEST_F(TerminalTest, TheAnsiViewActsOnSequencesAndInsertsTheTextAfterwards) {
  const std::string page_and_more = std::string(30, '\n');  // 31 rows, the caret on row 30
  const struct {
    const char* name;
    std::string before;
    int caret_before;
    std::vector<std::string> blocks;
    std::string after;
    int caret_after;
  } cases[] = {
      {"CR is dropped", "", 0, {"AB\r\nC"}, "AB\nC", 4},
      {"addressing counts from 1 on the caret's page", page_and_more, 30, {"\x1b[13;06H"},
       std::string(37, '\n') + std::string(5, ' '), 42},
      {"a row of one digit", "", 0, {"\x1b[5;10Hx"}, "\n\n\n\n" + std::string(9, ' ') + "x", 14},
      {"an empty row or column counts as 1", "", 0, {"\x1b[;5Hx", "\x1b[2;Hy"}, "    x\ny", 7},
      {"a column beyond 80 is 80", "", 0, {"\x1b[1;96H"}, std::string(80, ' '), 80},
      {"2J empties the screen", "abc\ndef", 5, {"\x1b[2J"}, "", 0},
      {"J erases to the end", "abc\ndef", 5, {"\x1b[J"}, "abc\nd", 5},
      {"K erases to the end of the line", "abc\ndef", 1, {"\x1b[K"}, "a\ndef", 1},
      {"2K erases the line", "abc\ndef", 5, {"\x1b[2K"}, "abc\n", 4},
      {"O Q goes to the end of the line", "abc\ndef", 0, {"\x1bOQ"}, "abc\ndef", 3},
      {"text before a home lands after it", "xyz", 3, {"A\x1b[HB"}, "ABxyz", 2},
      {"text around an erase", "xyz", 3, {"X\x1b[2JY"}, "XY", 2},
      {"ESC restarts a sequence", "ab\ncd", 4, {"\x1b\x1b[A"}, "ab\ncd", 1},
      {"a sequence split between reads", "abc", 3, {"\x1b[", "D"}, "abc", 2},
      {"a received BS moves left", "abc", 3, {"\b"}, "abc", 2},
      {"unknown sequences are consumed", "", 0, {"\x1b[0m\x1b[12mok\x1b[1;31m"}, "ok", 2},
      {"O P moves a screenful up", std::string(60, '\n'), 55, {"\x1bOP"}, std::string(60, '\n'), 30},
      {"O S moves a screenful down", std::string(60, '\n'), 5, {"\x1bOS"}, std::string(60, '\n'), 30},
  };
  host.choose(IDC_VIEW, HEX_ANSI_VIEW);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    host.set_text(IDT_SCREEN, c.before);
    host.screen().set_selection(c.caret_before, c.caret_before);
    for (const std::string& block : c.blocks) show(block);
    EXPECT_EQ(shown(), c.after);
    EXPECT_EQ(caret(), c.caret_after);
    EXPECT_EQ(host.screen().first_visible_line(), caret_row() / 25 * 25);
  }
  // What arrives is never answered on the line.
  EXPECT_EQ(sent(0), "");
}

// What a Linux console, U-Boot or a VT100 menu sends that the view does not act on: each is consumed
// whole, in one read or byte by byte, and the text around it is shown as sent.
TEST_F(TerminalTest, SequencesTheViewDoesNotActOnLeaveNothingOnScreen) {
  const char* const sequences[] = {
      "\x1b[?25l", "\x1b[?25h", "\x1b[?7h", "\x1b[?1049h", "\x1b[?2004h", "\x1b[?1c", "\x1b[>c",
      "\x1b[=3h", "\x1b[0;1;32m", "\x1b[01;34m", "\x1b[38;5;208m", "\x1b[38;2;10;20;30m", "\x1b[7m",
      "\x1b[1;24r", "\x1b[6n", "\x1b[0c", "\x1b[3@", "\x1b[2~", "\x1b[5A", "\x1b[10C", "\x1b[12B", "\x1b[2D",
      "\x1b[4h", "\x1b]0;root@box: ~\x07", "\x1b]2;title\x1b\\", "\x1bP1$r0m\x1b\\", "\x1b(B", "\x1b)0",
      "\x1b(0", "\x1b#8", "\x1b" "7", "\x1b" "8", "\x1b" "c", "\x1bM", "\x1b" "D", "\x1b" "E", "\x1b=", "\x1b>",
  };
  host.choose(IDC_VIEW, HEX_ANSI_VIEW);
  char shown_text[64];
  for (const char* sequence : sequences) {
    SCOPED_TRACE(testing::PrintToString(std::string(sequence)));
    const std::string block = std::string("A") + sequence + "B";
    EXPECT_EQ(hex_parse_ansi(host, block.data(), shown_text, static_cast<int>(block.size())), 2);
    EXPECT_STREQ(shown_text, "AB");
    std::string one_by_one;
    for (const char c : block) one_by_one += std::string(shown_text, hex_parse_ansi(host, &c, shown_text, 1));
    EXPECT_EQ(one_by_one, "AB");
  }
  // Line feeds and tabs inside a sequence are carried out as a terminal does; CAN abandons it.
  const std::string broken = "A\x1b[?2\n5lB\x1b[3\x18" "C";
  EXPECT_EQ(std::string(shown_text, hex_parse_ansi(host, broken.data(), shown_text, static_cast<int>(broken.size()))),
            "A\nBC");
}

TEST_F(TerminalTest, ARealProgramPlacesTheCursor) {
  const std::string output = run("TERM=ansi tput clear && TERM=ansi tput cup 5 10");
  ASSERT_FALSE(output.empty()) << "tput (ncurses-bin) did not run";
  host.choose(IDC_VIEW, HEX_ANSI_VIEW);
  show("old text\nmore old text\n");
  show(output);
  show("hello");
  EXPECT_EQ(shown(), "\n\n\n\n\n" + std::string(10, ' ') + "hello");
  EXPECT_EQ(caret_row(), 5);
  EXPECT_EQ(caret_column(), 15);
}

TEST_F(TerminalTest, APendingSequenceSurvivesAViewSwitchAndTakesBothPortsInOrder) {
  host.choose(IDC_VIEW, HEX_ANSI_VIEW);
  show("abc");
  show("\x1b[");
  host.choose(IDC_VIEW, HEX_HDLC_VIEW);
  show("\x7E\x41\x42\x7E");
  host.choose(IDC_VIEW, HEX_ANSI_VIEW);
  host.screen().set_selection(1, 1);
  // Port A's block, then Port B's, through the send port's one state.
  receive(com1, 0, "2");
  receive(com2, 1, "K");
  tick();
  // ESC [ 2 K erased the caret's row; the frame the HDLC view showed meanwhile stays.
  EXPECT_EQ(shown(), "\nRx1   100  7E 41 42");
}

TEST_F(TerminalTest, KeysSendTheirSequencesOnTheSendPort) {
  const int keys[] = {platform::VK_UP,    platform::VK_DOWN,   platform::VK_RIGHT, platform::VK_LEFT,
                      platform::VK_HOME,  platform::VK_END,    platform::VK_PRIOR, platform::VK_NEXT,
                      platform::VK_RETURN, platform::VK_ESCAPE, platform::VK_DELETE};
  const struct {
    int view;
    std::string sent;
  } views[] = {
      {HEX_HEX_VIEW, "\x1b\b" "x"},
      {HEX_ANSI_VIEW, "\x1b[A\x1b[B\x1b[C\x1b[D\x1b[H\x1bOQ\x1bOP\x1bOS\r\n\x1b\b" "x"},
  };
  for (const auto& view : views) {
    SCOPED_TRACE(view.view);
    host.choose(IDC_VIEW, view.view);
    for (const int key : keys) host.screen().key_down(key);
    host.screen().character('x');
    EXPECT_EQ(sent(view.sent.size()), view.sent);
  }
}

}  // namespace
