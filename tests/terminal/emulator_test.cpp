// The emulator's own parts around libvterm: the guard against the sequences libvterm 0.1.4 cannot
// take, Latin-1, the scrollback and its view, resizing, replies, pastes, selections and the text
// handed to the log.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "terminal/emulator.h"

namespace {

using terminal::Cell;
using terminal::Colour;
using terminal::Decoding;
using terminal::Emulator;
using terminal::LinePosition;

std::string row(const Emulator& emulator, int r) {
  std::vector<Cell> cells(static_cast<std::size_t>(emulator.columns()));
  emulator.read_row(r, cells);
  return terminal::row_text(cells);
}

std::string numbered_lines(int first, int last) {
  std::string text;
  for (int n = first; n <= last; ++n) text += "line " + std::to_string(n) + "\r\n";
  return text;
}

// Each stream would crash or hang libvterm 0.1.4, or move its cursor off the screen, unguarded.
TEST(TerminalGuard, StreamsLibvtermCannotTakeAreMadeHarmless) {
  const struct {
    std::string stream;
    std::string row0;
  } cases[] = {
      {"\x1b[" + std::string(40, ';') + "31mX", "X"},           // 41 parameters: cancelled
      {"\x1b[1;2;3;4;5;6;7;8;9;10;11;12;13;14;15;16;17mY", "Y"},  // 17 parameters
      {"\x1b[99999999999999999999CZ", "Z"},                       // a parameter past 99999: cancelled
      {"\x1b[5bA", "A"},                                          // REP with nothing written before
      {"\xe2\x80\x8b\x1b[5bB", "B"},                                // REP after a zero-width space
      {"\xcc\x81\x1b[5bC", "C"},                                     // REP after a lone combining mark
      {"\xc2\x85\xc2\x85" "D", "D"},                                  // C1 controls in UTF-8
      {"\xc2\r>\r\x81" "E", "\xef\xbf\xbd" "E"},                       // a half character kept past text
  };
  for (const auto& c : cases) {
    Emulator emulator;
    emulator.feed(c.stream);
    EXPECT_EQ(row(emulator, 0), c.row0) << c.stream;
    EXPECT_GE(emulator.cursor().column, 0);
    EXPECT_EQ(emulator.cell(0, 0).foreground.kind, Colour::Kind::Default);
  }
}

TEST(TerminalGuard, SequencesWithinTheLimitsStillWork) {
  Emulator emulator;
  emulator.feed("\x1b[99999Cx\r\x1b[1;2;3;4;5;6;7;8;9;10;11;12;13;14;15;31my\x1b[0m\x1b[3bz");
  EXPECT_EQ(row(emulator, 0), "yyyyz" + std::string(74, ' ') + "x");
  EXPECT_EQ(emulator.cell(0, 0).foreground.index, 1);
  emulator.feed("\r\n\xe2\x94\x80\x1b[3b");  // REP after box drawing
  EXPECT_EQ(row(emulator, 1), "\xe2\x94\x80\xe2\x94\x80\xe2\x94\x80\xe2\x94\x80");
}

// The guard keeps its place in a sequence and a half-read character from one block to the next.
TEST(TerminalGuard, AStreamCutAtEveryByteShowsWhatItShowsWhole) {
  const std::string stream =
      "\x1b[1;31mred\x1b[0m \xe4\xb8\xad\xc2\xa9 \x1b]0;title\x07\x1b[2;5H\x1b[" + std::string(20, ';') +
      "mq\x1b[3ba\xc2\x1b[m\x85z\x1b[?1049h\x1b[5;5Halt\x1b[?1049l\x1bP$qm\x1b\\" + numbered_lines(1, 30);
  Emulator whole;
  Emulator by_byte;
  whole.feed(stream);
  for (char byte : stream) by_byte.feed(std::string_view(&byte, 1));
  for (int r = 0; r < whole.rows(); ++r)
    for (int c = 0; c < whole.columns(); ++c)
      ASSERT_EQ(by_byte.cell(r, c), whole.cell(r, c)) << r << "," << c;
  EXPECT_EQ(by_byte.scrollback_size(), whole.scrollback_size());
  EXPECT_EQ(by_byte.take_replies(), whole.take_replies());
}

TEST(TerminalLatin1, BytesAreLatin1CharactersAndC1Controls) {
  Emulator emulator({.decoding = Decoding::Latin1});
  emulator.feed("caf\xe9 \xb0\x9b" "31mred\x85next");
  EXPECT_EQ(row(emulator, 0), "caf\xc3\xa9 \xc2\xb0red");
  EXPECT_EQ(emulator.cell(0, 6).foreground.index, 1);  // 0x9B is CSI
  EXPECT_EQ(row(emulator, 1), "next");                 // 0x85 is NEL
}

TEST(TerminalScrollback, KeepsTheLastLinesInABoundedRing) {
  Emulator emulator({.rows = 4, .columns = 20, .scrollback_lines = 100});
  emulator.feed(numbered_lines(1, 1000));
  EXPECT_EQ(emulator.scrollback_size(), 100u);
  EXPECT_EQ(emulator.first_line(), 897);  // 997 lines went up, the oldest 897 were dropped
  EXPECT_EQ(emulator.text({emulator.first_line(), 0}, {emulator.first_line(), 20}), "line 898");
}

TEST(TerminalScrollback, TheViewScrollsBackAndStaysOnItsTextWhileLinesArrive) {
  Emulator emulator({.rows = 4, .columns = 20});
  emulator.feed(numbered_lines(1, 10));  // the screen: line 8, 9, 10, the cursor row
  emulator.scroll_view(2);
  EXPECT_EQ(row(emulator, 0), "line 6");
  EXPECT_EQ(row(emulator, 2), "line 8");
  EXPECT_FALSE(emulator.cursor().visible);  // the cursor row is below the view
  emulator.feed(numbered_lines(11, 12));
  EXPECT_EQ(row(emulator, 0), "line 6");
  EXPECT_EQ(emulator.view_offset(), 4);
  emulator.scroll_view(1000);
  EXPECT_EQ(row(emulator, 0), "line 1");
  emulator.scroll_to_live();
  EXPECT_EQ(row(emulator, 0), "line 10");
}

TEST(TerminalScrollback, TheAlternateScreenKeepsNoScrollbackAndGivesTheMainScreenBack) {
  Emulator emulator({.rows = 4, .columns = 20});
  emulator.feed("main\r\n\x1b[?1049h");
  EXPECT_TRUE(emulator.alternate_screen());
  emulator.feed(numbered_lines(1, 50));
  EXPECT_EQ(emulator.scrollback_size(), 0u);
  emulator.feed("\x1b[?1049l");
  EXPECT_FALSE(emulator.alternate_screen());
  EXPECT_EQ(row(emulator, 0), "main");
}

TEST(TerminalResize, KeepsTheContentAndTellsTheFarEndNothing) {
  Emulator emulator({.rows = 6, .columns = 20});
  emulator.feed(numbered_lines(1, 5) + "\x1b[4;1H\x1b" "7\x1b[6;1Hprompt");
  emulator.resize(3, 20);  // the rows above the cursor go up into the scrollback
  EXPECT_EQ(row(emulator, 2), "prompt");
  EXPECT_EQ(emulator.scrollback_size(), 3u);
  emulator.resize(6, 20);  // and come back
  EXPECT_EQ(row(emulator, 0), "line 1");
  EXPECT_EQ(row(emulator, 5), "prompt");
  emulator.resize(6, 4);  // narrower: libvterm 0.1.4 cuts the rows
  EXPECT_EQ(row(emulator, 0), "line");
  emulator.feed("\x1b[2;1Htop\x1b[6;1Hbottom\x1b[1;1H");  // the cursor above text: libvterm keeps the text
  emulator.resize(2, 4);
  EXPECT_EQ(emulator.cursor().row, 0);
  emulator.feed("\x1b[2;2r");  // a scroll region on the last row, which a resize leaves past the end
  emulator.resize(1, 4);
  emulator.feed("x\n\n\n");
  EXPECT_EQ(emulator.cursor().row, 0);
  emulator.feed("\x1b]0;title\x1b" "8");  // the cursor saved at row 3 comes back on the last row
  EXPECT_EQ(emulator.cursor().row, 0);
  emulator.resize(100000, -5);
  EXPECT_EQ(emulator.rows(), terminal::kMaxRows);
  EXPECT_EQ(emulator.columns(), terminal::kMinColumns);
  emulator.feed("\xe4\xb8\xad\xe4\xb8\xad");  // a wide character fills the narrowest screen
  EXPECT_EQ(emulator.take_replies(), "");
}

TEST(TerminalReplies, StatusAndAttributeRequestsAreAnsweredAndTheBufferIsBounded) {
  Emulator emulator;
  emulator.feed("\x1b[3;7H\x1b[6n\x1b[c\x1b[5n");
  EXPECT_EQ(emulator.take_replies(), "\x1b[3;7R\x1b[?1;2c\x1b[0n");
  std::string flood;
  for (int i = 0; i < 20000; ++i) flood += "\x1b[6n";
  emulator.feed(flood);
  const std::string replies = emulator.take_replies();
  EXPECT_LE(replies.size(), terminal::kMaxReplyBytes);
  EXPECT_EQ(replies.substr(replies.size() - 6), "\x1b[3;7R");  // whole answers only
}

TEST(TerminalPaste, BracketedWhenAskedWithLineBreaksAsCrAndCutOnCharacters) {
  Emulator emulator;
  EXPECT_EQ(emulator.paste("a\r\nb\nc", 64), std::vector<std::string>{"a\rb\rc"});
  emulator.feed("\x1b[?2004h");
  EXPECT_EQ(emulator.paste("x\x1b[201~y", 64), std::vector<std::string>{"\x1b[200~x[201~y\x1b[201~"});
  const std::string text = "\xe4\xb8\xad\xe4\xb8\xad\xe4\xb8\xad\xe4\xb8\xad";
  const auto chunks = Emulator().paste(text, 5);
  std::string joined;
  for (const auto& chunk : chunks) {
    EXPECT_LE(chunk.size(), 5u);
    EXPECT_EQ(chunk.size() % 3, 0u);  // never half a character
    joined += chunk;
  }
  EXPECT_EQ(joined, text);
}

TEST(TerminalSelection, TextRunsFromTheScrollbackIntoTheScreen) {
  Emulator emulator({.rows = 3, .columns = 10});
  emulator.feed("one\r\ntwo  \r\n\xe4\xb8\xad\xe6\x96\x87 wide\r\nlast");
  const std::int64_t two = emulator.first_line() + 1;
  EXPECT_EQ(emulator.text({two, 1}, {two + 2, 2}), "wo\n\xe4\xb8\xad\xe6\x96\x87 wide\nla");
  EXPECT_EQ(emulator.text({two + 2, 2}, {two, 1}), "wo\n\xe4\xb8\xad\xe6\x96\x87 wide\nla");  // either order
  EXPECT_EQ(emulator.text({-50, 0}, {0, 3}), "one");
  emulator.scroll_view(1);
  EXPECT_EQ(emulator.position_at(1, 2), (LinePosition{two, 2}));
}

TEST(TerminalWrittenText, LinesAreHandedOverAsTheLineFeedFindsThem) {
  Emulator emulator({.rows = 3, .columns = 10});
  std::vector<std::string> lines;
  emulator.set_line_sink([&](std::string_view line) { lines.emplace_back(line); });
  emulator.feed("$ lx\bs\r\n");                   // line editing before the line feed
  emulator.feed("0123456789ab\x1b[A\rX\x1b[B\r\n");  // wrapped, then edited on its first row
  emulator.feed("\x1b[1;1Hredrawn\x1b[31m");       // no line feed: not handed over
  emulator.feed("\x1b[3;1H$ ");
  EXPECT_EQ(lines, (std::vector<std::string>{"$ ls", "X123456789", "ab"}));
  EXPECT_EQ(emulator.cursor_row_text(), "$");
  lines.clear();
  std::string long_line(45, 'w');  // longer than the screen: its top rows leave first
  emulator.feed("\r");
  emulator.feed(long_line + "\r\n");
  std::vector<std::string> expected(4, std::string(10, 'w'));
  expected.emplace_back(5, 'w');
  EXPECT_EQ(lines, expected);
}

TEST(TerminalScreen, ErasedCellsKeepOnlyTheBackgroundColour) {
  Emulator emulator;
  emulator.feed("\x1b[1;4;7;32;41m\x1b[2K");
  const Cell erased = emulator.cell(0, 5);
  EXPECT_EQ(erased.background.kind, Colour::Kind::Palette);
  EXPECT_EQ(erased.background.index, 1);
  EXPECT_EQ(erased.foreground.kind, Colour::Kind::Default);
  EXPECT_EQ(erased.style, terminal::Style{});
}

TEST(TerminalScreen, DamageMarksTheChangedRows) {
  Emulator emulator({.rows = 5, .columns = 10});
  emulator.take_damage();
  const auto before = emulator.generation();
  emulator.feed("\x1b[4;1Hx");
  const std::vector<bool> damaged = emulator.take_damage();
  EXPECT_EQ(damaged, (std::vector<bool>{true, false, false, true, false}));  // the cursor left row 0
  EXPECT_GT(emulator.generation(), before);
  EXPECT_EQ(emulator.take_damage(), std::vector<bool>(5, false));
}

}  // namespace
