// The emulator against a real terminal: real programs run on a pseudo-terminal while the test
// records what they write, and the recorded bytes, fed to the emulator and to tmux, must leave the
// same screen cell for cell (see screen_match.h for what is compared). Where a program waits for
// keys, the screen is also compared at that point, with the bytes recorded so far.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "tests/support/pty_program.h"
#include "tests/terminal/screen_match.h"

namespace terminal_test {
namespace {

constexpr std::string_view kUp = "\x1b[A";
constexpr std::string_view kDown = "\x1b[B";
constexpr std::string_view kLeft = "\x1b[D";
constexpr std::string_view kEnd = "\x1b[F";

// Types each key and waits until the program has answered it.
void type_keys(PtyProgram& program, std::initializer_list<std::string_view> keys) {
  for (std::string_view key : keys) {
    program.type(key);
    program.settle(150ms);
  }
}

TEST(TerminalOracle, ShellSessionWithLineEditingAndHistory) {
  PtyProgram bash({"bash", "--norc", "--noprofile", "-i"}, 24, 80, {"PS1=$ ", "HISTFILE=/dev/null"});
  ASSERT_TRUE(bash.wait_for("$ "));
  type_keys(bash, {"echo hello wrld", kLeft, kLeft, kLeft, "o", kEnd, "\x7f\x7f", "ld!", "\r"});
  ASSERT_TRUE(bash.wait_for("$ "));
  type_keys(bash, {kUp, "\x7f", "?", "\r"});  // history: the last line back, edited
  ASSERT_TRUE(bash.wait_for("$ "));
  bash.type("seq 1 30\r");
  ASSERT_TRUE(bash.wait_for("$ "));
  // a command longer than a row, edited across the wrap
  type_keys(bash, {"echo " + std::string(100, 'x') + " tail", std::string(40, '\x02'), "INSERTED", "\r"});
  ASSERT_TRUE(bash.wait_for("$ "));
  EXPECT_TRUE(same_screen_as_tmux(bash.output(), 24, 80));
  bash.type("exit\r");
  ASSERT_TRUE(bash.finish());
  EXPECT_TRUE(same_screen_as_tmux(bash.output(), 24, 80));
}

TEST(TerminalOracle, TopInBatchMode) {
  PtyProgram top({"top", "-b", "-n", "1", "-w", "200"}, 24, 80);
  ASSERT_TRUE(top.finish());
  EXPECT_TRUE(same_screen_as_tmux(top.output(), 24, 80));
}

// top pads its rows to the last column and then erases to the end of the row while the wrap is
// pending, where tmux and xterm differ (see TmuxDeviations).
TEST(TerminalOracle, TopFullScreenAt132By43) {
  PtyProgram top({"top", "-n", "2", "-d", "0.2"}, 43, 132);
  ASSERT_TRUE(top.finish());
  EXPECT_TRUE(same_screen_as_tmux(top.output(), 43, 132, {.erase_with_wrap_pending = true}));
}

TEST(TerminalOracle, DialogMenu) {
  PtyProgram dialog(
      {"dialog", "--title", "Port", "--menu", "Choose the line", "14", "44", "5", "1", "COM1 9600 8N1", "2",
       "COM2 115200 8N1", "3", "tcp://board:4001", "4", "rfc2217://lab:7000"},
      24, 80);
  ASSERT_TRUE(dialog.wait_for("Cancel"));
  dialog.settle();
  EXPECT_TRUE(same_screen_as_tmux(dialog.output(), 24, 80));
  type_keys(dialog, {kDown, kDown});
  EXPECT_TRUE(same_screen_as_tmux(dialog.output(), 24, 80));
  dialog.type("\r");
  ASSERT_TRUE(dialog.finish());
  EXPECT_TRUE(same_screen_as_tmux(dialog.output(), 24, 80));
}

// vttest's cursor, erase, scroll-region, tab, insert and delete screens. vttest asks for the device
// attributes first; the test answers as libvterm does, a VT100 with advanced video. A screen ends
// with "Push <RETURN>" and is compared with the bytes up to there. The screens left out are where
// tmux is not xterm: the 132-column screens of the cursor test (DECCOLM: xterm by default and
// libvterm ignore it, tmux clears the screen; and a backspace while a wrap is pending, which tmux
// takes from one column past the last), reverse screen (DECSCNM, which tmux ignores), soft scroll
// in a region (tmux keeps the lines scrolled out of a mid-screen region in its history) and
// double-width lines (DECDWL, which tmux ignores).
void compare_vttest_screens(const std::string& menu_item, std::initializer_list<int> compared, int screens) {
  PtyProgram vttest({"vttest"}, 24, 80);
  ASSERT_TRUE(vttest.wait_for("\x1b[0c"));
  vttest.type("\x1b[?1;2c");
  ASSERT_TRUE(vttest.wait_for("Enter choice number"));
  vttest.type(menu_item + "\r");
  for (int screen = 0; screen < screens; ++screen) {
    ASSERT_TRUE(vttest.wait_for("Push <RETURN>")) << "screen " << screen;
    if (std::find(compared.begin(), compared.end(), screen) != compared.end()) {
      EXPECT_TRUE(same_screen_as_tmux(vttest.output_until_found(), 24, 80))
          << "vttest " << menu_item << ", screen " << screen;
    }
    vttest.type("\r");
  }
}

TEST(TerminalOracle, VttestCursorMovements) { compare_vttest_screens("1", {0}, 1); }

TEST(TerminalOracle, VttestWrapAroundAndTabs) { compare_vttest_screens("2", {0, 1, 4, 5}, 6); }

TEST(TerminalOracle, VttestInsertDeleteCharactersAndLines) {
  compare_vttest_screens("8", {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}, 12);
}

TEST(TerminalOracle, ColoursFromAShell) {
  const std::string script = R"(
for n in 30 31 32 33 34 35 36 37 90 91 92 93 94 95 96 97; do printf '\e[%dm%d\e[0m ' $n $n; done; echo
for n in 40 41 42 43 44 45 46 47 100 101 102 103 104 105 106 107; do printf '\e[%dm%d\e[0m ' $n $n; done; echo
for n in $(seq 0 255); do printf '\e[38;5;%dm#' $n; done; printf '\e[0m\n'
for n in $(seq 16 6 255); do printf '\e[48;5;%dm ' $n; done; printf '\e[0m\n'
for r in 0 51 102 153 204 255; do printf '\e[38;2;%d;128;64m\e[48;2;10;%d;200mtrue\e[0m' $r $r; done; echo
printf '\e[1mbold\e[22m \e[3mitalic\e[23m \e[4munder\e[24m \e[21mdouble\e[24m \e[5mblink\e[25m '
printf '\e[7mreverse\e[27m \e[9mstrike\e[29m \e[1;3;4;7;31;42mall\e[0m\n'
tput setaf 2; tput bold; echo "tput: green bold"; tput sgr0; tput setab 4; echo "tput: on blue"; tput sgr0
mkdir -p listing/folder && cd listing && touch plain && ln -s plain link && touch tool && chmod +x tool
ls --color=always -1
)";
  PtyProgram bash({"bash", "--norc", "--noprofile", "-c", script}, 24, 80);
  ASSERT_TRUE(bash.finish());
  EXPECT_TRUE(same_screen_as_tmux(bash.output(), 24, 80));
}

TEST(TerminalOracle, AlternateScreenOfLess) {
  PtyProgram bash(
      {"bash", "--norc", "--noprofile", "-c", "seq 1 5; seq 100 300 > pages; less pages; echo back"}, 24, 80,
      {"LESS=", "LESSHISTFILE=-"});
  ASSERT_TRUE(bash.wait_for("pages"));
  bash.settle();
  EXPECT_TRUE(same_screen_as_tmux(bash.output(), 24, 80));
  type_keys(bash, {" ", "/250\r"});
  EXPECT_TRUE(same_screen_as_tmux(bash.output(), 24, 80));
  bash.type("q");
  ASSERT_TRUE(bash.finish());
  EXPECT_TRUE(same_screen_as_tmux(bash.output(), 24, 80));
}

TEST(TerminalOracle, LongLinesWrapAtTheMargin) {
  const std::string script = R"(
seq -s ' ' 1 70
printf '%080d\n' 0
printf '%080d' 1; printf 'next\n'
printf '%079d\xe4\xb8\xad|\n' 2
printf 'e\xcc\x81 a\xcc\x88\xcc\xa3 \xe4\xb8\xad\xe6\x96\x87 tab\tstop\t\t\t\t\t\t\t\t\t\tend\n'
for n in $(seq 1 12); do printf '%0200d\n' $n; done
printf '%079dX\rCR\n' 3
)";
  PtyProgram bash({"bash", "--norc", "--noprofile", "-c", script}, 24, 80);
  ASSERT_TRUE(bash.finish());
  EXPECT_TRUE(same_screen_as_tmux(bash.output(), 24, 80));
}

}  // namespace
}  // namespace terminal_test
