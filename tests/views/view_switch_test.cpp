// The View selector: each view's entry mode and echo, focus to the display, and everything else
// (the display's text, a pending escape sequence, a half-collected frame) carried over unchanged.
#include <gtest/gtest.h>

#include "core/hex.h"
#include "core/resource.h"
#include "tests/core/core_fixture.h"
#include "views/ansi_terminal.h"

namespace {

using platform::Check;
using testsupport::CoreTest;

class ViewSwitchTest : public CoreTest {
 protected:
  ViewSwitchTest() { hex_init(host); }
};

TEST_F(ViewSwitchTest, EachViewSetsItsEntryModeAndEchoAndFocusesTheDisplay) {
  const struct {
    int index;
    int ascii;
    int echo;
  } views[] = {{HEX_ANSI_VIEW, 1, 0}, {HEX_HEX_VIEW, 0, 1}, {HEX_ASCII_VIEW, 1, 1},
               {HEX_HDLC_VIEW, 0, 1}, {HEX_PPP_VIEW, 0, 1}, {HEX_ICNI_VIEW, 0, 1}};
  host.screen().set_text("kept");
  hex_obj[0].ansi_state = 3;
  hex_obj[0].msgindex = 2;
  for (const auto& view : views) {
    SCOPED_TRACE(view.index);
    host.set_focus(IDC_MSG);
    host.select_entry(IDC_VIEW, view.index);
    hex_ViewSelChange(host);
    EXPECT_EQ(hex_view_mode, view.index);
    EXPECT_EQ(hex_ascii, view.ascii);
    EXPECT_EQ(hex_local_echo, view.echo);
    EXPECT_EQ(host.check(IDC_ECHO), view.echo ? Check::Checked : Check::Unchecked);
    EXPECT_EQ(host.focus(), IDT_SCREEN);
  }
  EXPECT_EQ(host.text(IDT_SCREEN), "kept");
  EXPECT_EQ(hex_obj[0].ansi_state, 3);
  EXPECT_EQ(hex_obj[0].msgindex, 2);
}

TEST_F(ViewSwitchTest, NoSelectionChangesNothingButTheFocus) {
  host.select_entry(IDC_VIEW, HEX_ANSI_VIEW);
  hex_ViewSelChange(host);
  host.select_entry(IDC_VIEW, -1);
  host.set_focus(IDC_MSG);
  hex_ViewSelChange(host);
  EXPECT_EQ(hex_view_mode, HEX_ANSI_VIEW);
  EXPECT_EQ(hex_local_echo, 0);
  EXPECT_EQ(host.focus(), IDT_SCREEN);
}

}  // namespace
