// The display as an 80 by 25 terminal screen: page alignment, scrolling, erasing, cursor addressing.
#include <gtest/gtest.h>

#include <string>

#include "platform/headless_host.h"
#include "core/dialog_template.h"
#include "core/screen_ops.h"

namespace {

class ScreenOpsTest : public ::testing::Test {
 protected:
  // A text of `rows` rows "row N" and the caret at the start of row `caret_row`.
  void fill(int rows, int caret_row) {
    std::string text;
    for (int i = 0; i < rows; ++i) {
      if (i > 0) text += '\n';
      text.append("row ").append(std::to_string(i));
    }
    screen().set_text(text);
    const int at = screen().line_index(caret_row);
    screen().set_selection(at, at);
  }
  platform::DisplaySurface& screen() { return host.screen(); }
  int caret() { return screen().selection().cpMin; }
  int caret_column() { return caret() - screen().line_index(hex_caretline(host)); }

  platform::HeadlessHost host{quillport_dialog()};
};

TEST_F(ScreenOpsTest, AligningThePageTopsTheViewWithTheCaretsPage) {
  const struct {
    int caret_row;
    int first_visible;
  } cases[] = {{30, 25}, {24, 0}, {25, 25}, {0, 0}, {99, 75}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.caret_row);
    fill(100, c.caret_row);
    screen().line_scroll(60);
    hex_ansi_scroll(host);
    EXPECT_EQ(screen().first_visible_line(), c.first_visible);
  }
}

TEST_F(ScreenOpsTest, CaretBottomPutsTheCaretsRowJustBelowTheView) {
  fill(120, 100);
  hex_caretbottom(host);
  EXPECT_EQ(screen().first_visible_line(), 75);

  fill(120, 10);  // near the top the view stops at the first row
  screen().line_scroll(50);
  hex_caretbottom(host);
  EXPECT_EQ(screen().first_visible_line(), 0);
}

TEST_F(ScreenOpsTest, GotoLineStaysOnTheCaretsPageAndAddsLineFeeds) {
  fill(3, 0);
  hex_goto_line(host, 30);  // acts as row 25: the first row of the next page
  EXPECT_EQ(hex_caretline(host), 25);
  EXPECT_EQ(caret(), screen().line_index(25));
  EXPECT_EQ(screen().line_count(), 26);
  EXPECT_EQ(screen().first_visible_line(), 25);
  EXPECT_EQ(screen().text(0, screen().text_length()), std::string("row 0\nrow 1\nrow 2").append(23, '\n'));

  hex_goto_line(host, 3);  // rows counted from the caret's page: 25 + 3
  EXPECT_EQ(hex_caretline(host), 28);

  fill(40, 30);
  hex_goto_line(host, 5);  // an existing row: nothing added
  EXPECT_EQ(hex_caretline(host), 30);
  EXPECT_EQ(screen().line_count(), 40);
}

TEST_F(ScreenOpsTest, GotoColumnPadsShortRowsWithSpaces) {
  screen().set_text("0123456789\nnext");
  screen().set_selection(3, 3);
  hex_goto_column(host, 95);  // acts as column 80
  EXPECT_EQ(screen().line_length(0), 80);
  EXPECT_EQ(screen().text(0, 81), std::string("0123456789").append(70, ' ').append("\n"));
  EXPECT_EQ(caret(), 80);
  EXPECT_EQ(hex_caretline(host), 0);

  hex_goto_column(host, 4);
  EXPECT_EQ(caret(), 4);
  EXPECT_EQ(screen().line_length(0), 80);
}

TEST_F(ScreenOpsTest, GotoLineColumnAddressesTheCaretsPage) {
  fill(31, 30);
  hex_goto_line_column(host, 12, 5);
  EXPECT_EQ(hex_caretline(host), 37);
  EXPECT_EQ(caret_column(), 5);
  EXPECT_EQ(screen().line_length(caret()), 5);
  EXPECT_EQ(screen().first_visible_line(), 25);
}

TEST_F(ScreenOpsTest, EndAndEraseWithinTheCaretsRowKeepTheLineBreak) {
  screen().set_text("a\nb\nc\nfourth line!\ne");
  const int row_start = screen().line_index(3);
  screen().set_selection(row_start + 5, row_start + 5);

  hex_ansi_go_end(host);
  EXPECT_EQ(caret(), row_start + 12);

  screen().set_selection(row_start + 5, row_start + 5);
  hex_ansi_go_clr_eol(host);
  EXPECT_EQ(screen().text(0, screen().text_length()), "a\nb\nc\nfourt\ne");

  hex_ansi_clr_line(host);
  EXPECT_EQ(screen().text(0, screen().text_length()), "a\nb\nc\n\ne");
  EXPECT_EQ(screen().line_count(), 5);
}

TEST_F(ScreenOpsTest, EraseToEndOfScreenAndHome) {
  screen().set_text("keep this|drop\nall of this");
  screen().set_selection(9, 9);
  hex_ansi_go_clr_eos(host);
  EXPECT_EQ(screen().text(0, screen().text_length()), "keep this");
  hex_ansi_go_home(host);
  EXPECT_EQ(caret(), 0);
  hex_caret_end(host);
  EXPECT_EQ(caret(), 9);
}

}  // namespace
