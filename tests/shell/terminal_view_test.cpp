// The Terminal view end to end without a window: bytes from the far end of pseudo-terminals, ticks
// of the screen timer through the real dialog procedure, the terminal screen they land on, what it
// sends back, and the log.
#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "core/dialog_template.h"
#include "core/hex.h"
#include "core/hex_log.h"
#include "core/resource.h"
#include "platform/headless_host.h"
#include "serial/ser.h"
#include "shell/dialog.h"
#include "tests/core/core_fixture.h"
#include "views/terminal_view.h"

namespace {

using namespace std::chrono_literals;
using terminal::Key;
using testsupport::PtyPair;
using testsupport::wait_until;

class TerminalViewTest : public ::testing::Test {
 protected:
  TerminalViewTest() : com1(ports_.bind_pty(0)), com2(ports_.bind_pty(1)) {
    host.init();
    host.choose(IDC_VIEW, HEX_TERMINAL_VIEW);
  }
  ~TerminalViewTest() override {
    host.close();
    std::filesystem::remove(log_);
  }

  // Bytes from the far end of a line, taken by the next tick.
  void receive(PtyPair& line, int port, const std::string& bytes) {
    line.write(bytes);
    ASSERT_TRUE(wait_until([&] { return SioRxQue(hex_obj[port].portnum) >= static_cast<int>(bytes.size()); }));
  }
  void tick() { ASSERT_TRUE(host.fire_timer(HEX_SCREEN_TIMER)); }
  void show(const std::string& bytes) {
    receive(com1, 0, bytes);
    tick();
  }
  terminal::Emulator& emulator() { return host.terminal().emulator(); }
  std::string row(int r) {
    std::vector<terminal::Cell> cells(static_cast<std::size_t>(emulator().columns()));
    emulator().read_row(r, cells);
    return terminal::row_text(cells);
  }
  void start_log() {
    host.queue_file_answer(log_.string());
    host.click(IDR_LOG);
    ASSERT_EQ(hex_log, 1);
  }
  // Whatever the far end of COM1 has been sent, after a short look.
  std::string sent_now() { return com1.read(4096, 100ms); }

  testsupport::TerminalPorts ports_;
  PtyPair& com1;
  PtyPair& com2;
  platform::HeadlessHost host{quillport_dialog(), DialogFunc};
  std::filesystem::path log_ =
      std::filesystem::temp_directory_path() / ("quillport-terminal-view-" + std::to_string(getpid()) + ".htm");
};

TEST_F(TerminalViewTest, TheSendPortsBytesReachTheScreenAndTheOtherPortsTheTraceAndTheLog) {
  EXPECT_TRUE(host.terminal().shown());
  EXPECT_EQ(hex_ascii, 1);
  EXPECT_EQ(hex_local_echo, 0);
  start_log();
  receive(com1, 0, "\x1b[1;31mred\x1b[0m plain\r\n\x1b[2;5H\xc3\xa9t\xc3\xa9\r\nrest");
  receive(com2, 1, "AB");
  tick();

  EXPECT_EQ(row(0), "red plain");
  EXPECT_EQ(row(1), "    \u00e9t\u00e9");
  EXPECT_EQ(row(2), "rest");
  const terminal::Cell red = emulator().cell(0, 0);
  EXPECT_EQ(red.foreground.kind, terminal::Colour::Kind::Palette);
  EXPECT_EQ(red.foreground.index, 1);
  EXPECT_TRUE(red.style.bold);
  EXPECT_EQ(host.text(IDT_SCREEN), " 41 42");  // behind the terminal, kept for the other views

  hex_log_close(host);
  std::vector<std::pair<unsigned, std::string>> pieces;
  for (const auto& piece : testsupport::log_pieces(testsupport::read_file(log_)))
    pieces.push_back({piece.rgb, piece.text});
  // The written lines as text, no escape sequence; the unfinished last line not yet.
  const std::vector<std::pair<unsigned, std::string>> expected = {
      {hex_rgb[0].rx, "red plain\n"}, {hex_rgb[0].rx, "    &#233;t&#233;\n"}, {hex_rgb[1].rx, " 41 42"}};
  EXPECT_EQ(pieces, expected);

  // Back in another view the terminal gives the pane back to the trace.
  host.choose(IDC_VIEW, HEX_HEX_VIEW);
  EXPECT_FALSE(host.terminal().shown());
}

TEST_F(TerminalViewTest, RequestsOfTheFarEndAreAnsweredOnItsLine) {
  show("\x1b[5;10H\x1b[6n");
  EXPECT_EQ(com1.read(7), "\x1b[5;10R");
  show("\x1b[c");
  EXPECT_EQ(com1.read(7), "\x1b[?1;2c");  // a VT100 with advanced video
}

TEST_F(TerminalViewTest, KeysAreSentAsTheFarEndsModesSayAndARefusedOneShowsWhy) {
  host.terminal().key(Key::Up);
  EXPECT_EQ(com1.read(3), "\x1b[A");
  show("\x1b[?1h");  // application cursor keys
  host.terminal().key(Key::Up);
  EXPECT_EQ(com1.read(3), "\x1bOA");
  host.terminal().key(Key::Backspace);
  EXPECT_EQ(com1.read(1), "\x7f");
  host.terminal().set_backspace(terminal::BackspaceSends::Backspace);
  host.terminal().key(Key::Backspace);
  EXPECT_EQ(com1.read(1), "\b");

  // With Local Echo on, what was sent shows on the screen too.
  host.click(IDC_ECHO);
  host.terminal().character(U'x');
  EXPECT_EQ(com1.read(1), "x");
  EXPECT_EQ(row(0), "x");

  hex_port_lost(host, 0);
  host.terminal().character(U'y');
  EXPECT_EQ(host.text(IDT_PROGRESS), "Port A is not open: nothing sent");
  EXPECT_EQ(row(0), "x");
}

TEST_F(TerminalViewTest, APasteGoesOutBracketedALineATickWithinTheLinesPace) {
  host.choose(IDC_SPEED1, 5);  // 9600 bit/s: 48 bytes a tick
  show("\x1b[?2004h");
  host.terminal().paste("echo one\r\necho \x1b two\n" + std::string(100, 'x'));
  EXPECT_EQ(sent_now(), "\x1b[200~echo one\r");  // the first line at once
  tick();
  EXPECT_EQ(sent_now(), "echo  two\r");  // the paste's own ESC is left out
  tick();
  EXPECT_EQ(sent_now(), std::string(48, 'x'));
  tick();
  EXPECT_EQ(sent_now(), std::string(48, 'x'));
  tick();
  EXPECT_EQ(sent_now(), std::string(4, 'x') + "\x1b[201~");
  tick();
  EXPECT_EQ(sent_now(), "");

  // Ctrl+C stops what is left of a paste, and is sent.
  host.terminal().paste("a\nb\nc\n");
  EXPECT_EQ(sent_now(), "\x1b[200~a\r");
  host.terminal().character(U'c', {.ctrl = true});
  EXPECT_EQ(sent_now(), "\x03");
  tick();
  EXPECT_EQ(sent_now(), "");

  host.terminal().paste(std::string(kMaxPasteBytes + 1, 'z'));
  EXPECT_EQ(sent_now(), "");
  EXPECT_EQ(host.text(IDT_PROGRESS), "Paste of 1048577 bytes refused: a paste holds at most 1048576 bytes");
}

TEST_F(TerminalViewTest, ASelectionIsCopiedAsTextAndClearEmptiesScreenAndScrollback) {
  host.terminal().set_size({3, 20});
  show("first line\r\nsecond  line\r\nthird\r\nfourth");  // the first line goes into the scrollback
  ASSERT_EQ(emulator().scrollback_size(), 1u);
  const std::int64_t first = emulator().first_line();
  host.terminal().select({first + 1, 7}, {first, 6});  // dragged from below
  EXPECT_EQ(host.terminal().selected_text(), "line\nsecond");  // each line without its trailing blanks
  host.terminal().select_word(0, 9);
  EXPECT_EQ(host.terminal().selected_text(), "line");

  host.click(IDB_CLEAR);
  EXPECT_EQ(emulator().scrollback_size(), 0u);
  EXPECT_EQ(row(0), "");
  EXPECT_EQ(host.terminal().selected_text(), "");
}

}  // namespace
