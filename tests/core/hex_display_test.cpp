// Received text on the display, hexadecimal rendering, and the HTML log byte for byte.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

#include "core/hex.h"
#include "core/hex_display.h"
#include "core/hex_log.h"
#include "core/resource.h"
#include "tests/core/core_fixture.h"

using platform::Check;
using testing::ElementsAre;
using testing::IsEmpty;
using testing::StartsWith;
using testsupport::CoreTest;
using testsupport::read_file;

const std::string& kHeader = testsupport::kLogHeader;
const std::string& kFooter = testsupport::kLogFooter;

namespace {

std::string unescape(std::string text) {
  const std::pair<std::string, std::string> entities[] = {{"&lt;", "<"}, {"&gt;", ">"}, {"&amp;", "&"}};
  std::string out;
  for (std::size_t i = 0; i < text.size();) {
    bool replaced = false;
    for (const auto& [entity, ch] : entities)
      if (text.compare(i, entity.size(), entity) == 0) {
        out += ch;
        i += entity.size();
        replaced = true;
        break;
      }
    if (!replaced) out += text[i++];
  }
  return out;
}

class LogTest : public CoreTest {
 protected:
  LogTest() : folder_(std::filesystem::temp_directory_path() / ("quillport-log-" + std::to_string(getpid()))) {
    std::filesystem::create_directories(folder_);
  }
  ~LogTest() override { std::filesystem::remove_all(folder_); }

  std::filesystem::path open_log(const std::string& name = "trace.htm") {
    const std::filesystem::path path = folder_ / name;
    host.queue_file_answer(path.string());
    hex_log_open(host);
    return path;
  }

  std::filesystem::path folder_;
};

TEST_F(LogTest, AnOpenedAndClosedLogHoldsExactlyHeaderAndFooter) {
  const auto path = open_log();
  EXPECT_EQ(hex_log, 1);
  EXPECT_EQ(host.text(IDT_STATUS), path.string());
  EXPECT_EQ(host.check(IDR_LOG), Check::Checked);
  EXPECT_EQ(host.prompt_titles(), std::vector<std::string>{"Select or enter a Log File name"});

  hex_log_close(host);

  EXPECT_EQ(read_file(path), kHeader + kFooter);
  EXPECT_EQ(hex_log, 0);
  EXPECT_EQ(host.text(IDT_STATUS), "");
  EXPECT_EQ(host.check(IDR_NOLOG), Check::Checked);
  EXPECT_EQ(host.check(IDR_LOG), Check::Unchecked);
}

TEST_F(LogTest, PiecesCarryTheColourOfTheirPortAndDirection) {
  const auto path = open_log();
  hex_save_rx_log(0, " 41 42 43", 9);
  hex_save_tx_log(0, "\nTx1    50  01", 14);
  hex_save_rx_log(1, "b", 1);
  hex_save_tx_log(1, "c", 1);
  // Each piece is on disk as soon as it is written.
  EXPECT_EQ(read_file(path), kHeader +
                                 "<font color=\"#0000FF\"> 41 42 43</font>"
                                 "<font color=\"#00FF00\">\nTx1    50  01</font>"
                                 "<font color=\"#00007F\">b</font>"
                                 "<font color=\"#007F00\">c</font>");
  hex_log_close(host);
}

TEST_F(LogTest, LineDataNeverBecomesMarkup) {
  const auto path = open_log();
  hex_save_rx_log(0, "<b>&amp;", 8);
  hex_log_close(host);
  EXPECT_EQ(read_file(path), kHeader + "<font color=\"#0000FF\">&lt;b&gt;&amp;amp;</font>" + kFooter);
}

// The file stays ASCII and every byte's value can be read back from it.
TEST_F(LogTest, BytesOtherThanPrintableAsciiAreWrittenAsReferencesToTheirNumbers) {
  const struct {
    unsigned char byte;
    std::string logged;
  } cases[] = {
      {0x7E, "~"},      {'\n', "\n"},     {'\t', "\t"},       {0x01, "&#1;"},   {0x0D, "&#13;"},
      {0x1B, "&#27;"},  {0x7F, "&#127;"}, {0x80, "&#128;"},   {0x9F, "&#159;"}, {0xA0, "&#160;"},
      {0xE9, "&#233;"}, {0xFF, "&#255;"},
  };
  const auto path = open_log();
  std::string expected = kHeader;
  for (const auto& c : cases) {
    const char text[] = {static_cast<char>(c.byte), '\0'};
    hex_save_rx_log(0, text, 1);
    expected += "<font color=\"#0000FF\">" + c.logged + "</font>";
  }
  hex_log_close(host);
  EXPECT_EQ(read_file(path), expected + kFooter);
}

TEST_F(LogTest, AnOverlongPieceIsSplitIntoWholePiecesWithNothingLost) {
  const auto path = open_log();
  std::string text;
  for (int i = 0; i < 2500; ++i) text += (i % 3 == 0) ? "&" : (i % 3 == 1 ? "<" : "x");
  hex_save_rx_log(0, text.c_str(), static_cast<int>(text.size()));
  hex_log_close(host);

  std::string body = read_file(path);
  ASSERT_THAT(body, StartsWith(kHeader));
  body = body.substr(kHeader.size(), body.size() - kHeader.size() - kFooter.size());
  const std::string open = "<font color=\"#0000FF\">";
  const std::string close = "</font>";
  std::string logged;
  int pieces = 0;
  for (std::size_t at = 0; at < body.size(); ++pieces) {
    ASSERT_EQ(body.compare(at, open.size(), open), 0) << "piece " << pieces;
    const std::size_t end = body.find(close, at);
    ASSERT_NE(end, std::string::npos);
    EXPECT_LE(end + close.size() - at, static_cast<std::size_t>(HEX_MAX_STRING));
    const std::string inner = body.substr(at + open.size(), end - at - open.size());
    // A cut never falls inside an entity.
    const std::size_t amp = inner.rfind('&');
    if (amp != std::string::npos) {
      EXPECT_NE(inner.find(';', amp), std::string::npos);
    }
    logged += inner;
    at = end + close.size();
  }
  EXPECT_GE(pieces, 2);
  EXPECT_EQ(unescape(logged), text);
}

TEST_F(LogTest, ChoosingLogAgainEndsTheOpenLogFirst) {
  const auto first = open_log("first.htm");
  hex_save_rx_log(0, "one", 3);
  const auto second = open_log("second.htm");
  hex_log_close(host);
  EXPECT_EQ(read_file(first), kHeader + "<font color=\"#0000FF\">one</font>" + kFooter);
  EXPECT_EQ(read_file(second), kHeader + kFooter);
}

TEST_F(LogTest, AnExistingFileIsReplacedOnlyWhenTheUserSaysSo) {
  const struct {
    const char* what;
    std::vector<bool> replies;  // to the question whether to replace
    bool other_name;             // after the replies, a new file is named
    bool replaced;
  } cases[] = {
      {"No, then Cancel", {false}, false, false},
      {"No, then a new name", {false}, true, false},
      {"Yes", {true}, false, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const auto kept = folder_ / "kept.htm";
    const auto other = folder_ / "other.htm";
    std::filesystem::remove(other);
    std::ofstream(kept, std::ios::binary) << "IMPORTANT DATA";
    host.queue_file_answer(kept.string());
    for (const bool reply : c.replies) host.queue_replace_answer(reply);
    if (c.other_name) host.queue_file_answer(other.string());
    const std::size_t asked = host.replace_questions().size();

    hex_log_open(host);
    hex_log_close(host);

    EXPECT_EQ(host.replace_questions().size(), asked + 1);
    EXPECT_EQ(read_file(kept), c.replaced ? kHeader + kFooter : "IMPORTANT DATA");
    EXPECT_EQ(std::filesystem::exists(other), c.other_name);
  }
}

TEST_F(LogTest, ALogThatCannotBeOpenedIsReportedAndNoLogIsShownAgain) {
  // The boxes' texts are checked with every other error box, in the dialog's tests.
  const std::string missing = (folder_ / "missing" / "trace.htm").string();
  // A FIFO nothing reads would hold the open, and the window, for good.
  const std::string fifo = (folder_ / "pipe.htm").string();
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const std::optional<std::string> answers[] = {std::nullopt, missing, "/tmp/" + std::string(300, 'x') + ".htm",
                                                fifo};
  for (const std::optional<std::string>& answer : answers) {
    SCOPED_TRACE(answer.value_or("cancelled"));
    host.clear_message_boxes();
    host.click(IDR_LOG);  // the button the user pressed shows Log until the open fails
    host.queue_file_answer(answer);
    hex_log_open(host);
    ASSERT_EQ(host.message_boxes().size(), 1u);
    EXPECT_THAT(host.message_boxes()[0].text, StartsWith("Log File open error = "));
    EXPECT_EQ(hex_log, 0);
    EXPECT_EQ(host.check(IDR_NOLOG), Check::Checked);
    EXPECT_EQ(host.check(IDR_LOG), Check::Unchecked);
    EXPECT_EQ(host.text(IDT_STATUS), "");
  }
}

TEST(HexToHexstr, RendersBytesAsSpacedUpperCasePairs) {
  struct Case {
    std::vector<unsigned char> bytes;
    std::string text;
  };
  const Case cases[] = {
      {{0x41, 0x0D, 0xFF}, " 41 0D FF"},
      {{0x00}, " 00"},
      {{0x7F, 0x80, 0xA5}, " 7F 80 A5"},
  };
  for (const Case& c : cases) {
    std::array<char, 64> text{};
    const int length = hex_to_hexstr(reinterpret_cast<const char*>(c.bytes.data()), text.data(),
                                     static_cast<int>(c.bytes.size()));
    EXPECT_EQ(length, static_cast<int>(c.text.size()));
    EXPECT_EQ(std::string(text.data()), c.text);
  }
}

TEST(HexToHexstr, RendersInPlaceAndCapsTheLength) {
  std::vector<char> block(3 * HEX_MAX_STRING + 1 + 300, '\0');
  for (int i = 0; i < HEX_MAX_STRING + 100; ++i) block[static_cast<std::size_t>(i)] = static_cast<char>(i);
  EXPECT_EQ(hex_to_hexstr(block.data(), block.data(), HEX_MAX_STRING + 100), 3 * HEX_MAX_STRING);
  EXPECT_EQ(std::string(block.data(), 12), " 00 01 02 03");
  EXPECT_EQ(block[3 * HEX_MAX_STRING], '\0');
  EXPECT_EQ(std::string(block.data() + 3 * 255, 6), " FF 00");
}

TEST(HexToHexstr, NoBytesLeavesTheTextAsItIs) {
  char text[] = "kept";
  EXPECT_EQ(hex_to_hexstr("", text, 0), 4);
  EXPECT_STREQ(text, "kept");
}

class DisplayTest : public LogTest {
 protected:
  platform::Colour colour_at(int position) { return testsupport::colour_at(host.screen(), position); }
};

TEST_F(DisplayTest, NothingIsShownOrLoggedForAnEmptyText) {
  const auto path = open_log();
  hex_display_msg(host, 0, "", 0);
  hex_display_msg(host, 0, "abc", 0);
  EXPECT_EQ(host.screen().text_length(), 0);
  hex_log_close(host);
  EXPECT_EQ(read_file(path), kHeader + kFooter);
}

TEST_F(DisplayTest, ReceivedTextTakesItsPortColourOnScreenAndInTheLog) {
  const auto path = open_log();
  hex_display_msg(host, 0, " 41", 3);
  hex_display_msg(host, 1, " 42", 3);
  hex_log_close(host);

  EXPECT_EQ(host.text(IDT_SCREEN), " 41 42");
  EXPECT_EQ(colour_at(1), 0x00FF0000u);  // Port A: blue
  EXPECT_EQ(colour_at(4), 0x007F0000u);  // Port B: dark blue
  EXPECT_EQ(read_file(path),
            kHeader + "<font color=\"#0000FF\"> 41</font><font color=\"#00007F\"> 42</font>" + kFooter);
}

TEST_F(DisplayTest, TheLengthGivenIsShownAndLoggedUpToANul) {
  const auto path = open_log();
  hex_display_msg(host, 0, "abcdef", 3);
  hex_display_msg(host, 0, "gh\0ij", 5);
  hex_log_close(host);
  EXPECT_EQ(host.text(IDT_SCREEN), "abcgh");
  EXPECT_EQ(read_file(path),
            kHeader + "<font color=\"#0000FF\">abc</font><font color=\"#0000FF\">gh</font>" + kFooter);
}

TEST_F(DisplayTest, TheTraceKeepsTheCaretsRowJustBelowThePage) {
  std::string lines;
  for (int i = 0; i < 40; ++i) lines += "line\n";
  hex_display_msg(host, 0, lines.c_str(), static_cast<int>(lines.size()));
  // 41 rows, the caret on the empty last row (40): rows 15..39 fill the page.
  EXPECT_EQ(host.screen().first_visible_line(), 15);
}

TEST_F(DisplayTest, TextTheUserSelectedIsNeitherReplacedNorScrolledAway) {
  hex_display_msg(host, 0, "first\nsecond\n", 13);
  host.screen().set_selection(0, 5);
  const int first_visible = host.screen().first_visible_line();
  hex_display_msg(host, 1, "third", 5);
  EXPECT_EQ(host.text(IDT_SCREEN), "first\nsecond\nthird");
  EXPECT_EQ(host.screen().selection().cpMin, 0);
  EXPECT_EQ(host.screen().selection().cpMax, 5);
  EXPECT_EQ(host.screen().first_visible_line(), first_visible);
}

TEST_F(DisplayTest, TheTraceGoesOnAtTheEndWhereverTheUserClicked) {
  hex_display_msg(host, 0, "first\n", 6);
  host.screen().set_selection(2, 2);
  hex_display_msg(host, 0, "second", 6);
  EXPECT_EQ(host.text(IDT_SCREEN), "first\nsecond");
  EXPECT_EQ(host.screen().selection().cpMin, 12);
}

TEST_F(DisplayTest, TheAnsiViewInsertsAtTheCursor) {
  hex_view_mode = HEX_ANSI_VIEW;
  hex_display_msg(host, 0, "abcd", 4);
  host.screen().set_selection(2, 2);
  hex_display_msg(host, 0, "XY", 2);
  EXPECT_EQ(host.text(IDT_SCREEN), "abXYcd");
  EXPECT_EQ(host.screen().selection().cpMin, 4);
}

}  // namespace
