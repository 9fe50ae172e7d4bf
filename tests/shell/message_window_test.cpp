// The message line in the window: when Send acts, what the message and frame controls report, and a
// framed message crossing a cable of two pseudo-terminals from Port A to Port B.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "core/dialog_template.h"
#include "core/hex.h"
#include "core/hex_log.h"
#include "core/port_claim.h"
#include "core/resource.h"
#include "serial/ser.h"
#include "shell/dialog.h"
#include "tests/core/core_fixture.h"

using platform::Notification;
using testing::EndsWith;
using testsupport::PtyPair;

namespace {

class MessageWindowTest : public ::testing::Test {
 protected:
  ~MessageWindowTest() override { hex_log_close(host); }

  // Port A and Port B on the two ends of a cable; the test carries the bytes across.
  void open_cable() {
    port_a = &ports.bind_pty(0);
    port_b = &ports.bind_pty(1);
    host.init();
  }
  void carry_to_port_b(std::size_t count) {
    port_b->write(port_a->read(count));
    ASSERT_TRUE(
        testsupport::wait_until([&] { return SioRxQue(hex_obj[1].portnum) >= static_cast<int>(count); }));
    host.fire_timer(HEX_SCREEN_TIMER);
  }
  std::string shown() const { return host.text(IDT_SCREEN); }

  testsupport::TerminalPorts ports;
  platform::HeadlessHost host{quillport_dialog(), DialogFunc};
  PtyPair* port_a = nullptr;
  PtyPair* port_b = nullptr;
};

TEST_F(MessageWindowTest, SendActsWhileRunningExceptOnThePortATransferOrDumpUses) {
  open_cable();
  for (const int id : {IDC_MSG, IDB_SEND, IDC_SUM, IDB_SUM, IDC_FRAME, IDB_FRAME, IDB_GO_FILE, IDB_ABORT})
    EXPECT_TRUE(host.enabled(id)) << id;
  const struct {
    int stop_button;  // the Run/Stop button clicked first
    int send_button;
    int xmodem_busy;  // on Port A
    int dump_busy;    // on Port A
    const char* shown;
    const char* progress;
  } rows[] = {{IDR_RUN, IDR_COM1, 0, 0, "\nTx1     0  41", ""},
              {IDR_STOP, IDR_COM1, 0, 0, "", ""},
              {IDR_RUN, IDR_COM1, 1, 0, "", "Port A is busy with a transfer"},
              {IDR_RUN, IDR_COM1, 0, 1, "", "Port A is busy with a transfer"},
              {IDR_RUN, IDR_COM2, 1, 0, "\nTx2     0  41", ""}};
  host.set_text(IDC_MSG, "41");
  for (const auto& row : rows) {
    host.set_text(IDT_SCREEN, "");
    host.set_text(IDT_PROGRESS, "");
    host.click(row.stop_button);
    host.click(row.send_button);
    if (row.xmodem_busy || row.dump_busy)
      hex_claim_port(host, 0, row.xmodem_busy ? ClaimKind::XModem : ClaimKind::Dump);
    host.click(IDB_SEND);
    EXPECT_EQ(shown(), row.shown) << row.stop_button << row.xmodem_busy << row.dump_busy;
    EXPECT_EQ(host.text(IDT_PROGRESS), row.progress);
    hex_release_port(host);
  }
  EXPECT_EQ(port_a->read(2, std::chrono::milliseconds(200)), "A");  // one send on each port
  EXPECT_EQ(port_b->read(2, std::chrono::milliseconds(200)), "A");
}

TEST_F(MessageWindowTest, TheFieldsFocusLossKeepsItsTextAndEveryFrameReportAppliesThePresets) {
  host.init();
  host.set_text(IDC_MSG, "7E 01");
  host.command(IDC_MSG, Notification::EditChange);
  EXPECT_EQ(host.entry_count(IDC_MSG), 1);
  host.leave(IDC_MSG);
  EXPECT_EQ(host.entry_text(IDC_MSG, 1), "7E 01");

  const struct {
    int frame;
    Notification report;
    int check;
    int view;
  } rows[] = {
      {HEX_HDLC, Notification::SelChange, HEX_CRC16, HEX_HDLC_VIEW},
      {HEX_HDLC, Notification::DropDown, HEX_CRC16, HEX_HDLC_VIEW},  // the list opened, nothing chosen
      {HEX_PPP, Notification::SetFocus, HEX_CRC16, HEX_PPP_VIEW},
      {HEX_ICNI, Notification::KillFocus, HEX_XOR, HEX_ICNI_VIEW},
      {HEX_NO_FRAME, Notification::CloseUp, HEX_CRC16, HEX_HEX_VIEW},
      {-1, Notification::EditChange, HEX_CRC16, HEX_HEX_VIEW},  // text typed: as "None"
  };
  for (const auto& row : rows) {
    host.choose(IDC_SUM, HEX_CRC32);
    host.choose(IDC_VIEW, HEX_ASCII_VIEW);  // text entry
    host.click(IDC_ECHO);                   // echo off
    host.select_entry(IDC_FRAME, row.frame);
    host.command(IDC_FRAME, row.report);
    SCOPED_TRACE(row.frame);
    EXPECT_EQ(host.selected_entry(IDC_SUM), row.check);
    EXPECT_EQ(host.selected_entry(IDC_VIEW), row.view);
    EXPECT_EQ(hex_view_mode, row.view);
    EXPECT_EQ(hex_ascii, 0);
    EXPECT_EQ(hex_local_echo, 1);
    EXPECT_EQ(host.check(IDC_ECHO), platform::Check::Checked);
  }
  host.select_entry(IDC_SUM, -1);  // text typed into the check type selector
  host.click(IDB_SUM);
  ASSERT_EQ(host.message_boxes().size(), 1u);
  EXPECT_EQ(host.message_boxes()[0].text, "No check type selected");
  EXPECT_EQ(host.message_boxes()[0].caption, "Quillport");
}

TEST_F(MessageWindowTest, AFramedMessageSentOnPortAIsShownByPortBsDecoderAsMessageAndCheck) {
  open_cable();
  const struct {
    int frame;  // its check type is the preset one
    std::string message;
    std::string decoded;
  } rows[] = {{HEX_HDLC, "01 02", " 7E 01 02 8D 35"},
              {HEX_PPP, "01 02", " 7E 01 02 8D 35"},
              {HEX_ICNI, "05 00 AA BB", " EE 05 02 AA BB 16"}};
  for (const auto& row : rows) {
    host.set_text(IDT_SCREEN, "");
    host.choose(IDC_FRAME, row.frame);
    host.set_text(IDC_MSG, row.message);
    host.click(IDB_FRAME);
    const std::string frame = host.text(IDC_MSG);
    host.click(IDB_SEND);
    char stamp[8];
    std::snprintf(stamp, sizeof stamp, "%5d", static_cast<int>(hex_time_stamp));
    carry_to_port_b(frame.size() / 3);
    EXPECT_EQ(shown(), "\nTx1 " + std::string(stamp) + " " + frame + "\nRx1 " + stamp + " " + row.decoded);
  }
}

TEST_F(MessageWindowTest, TextModeSendsTheTextWithCrLf) {
  open_cable();
  host.choose(IDC_VIEW, HEX_ASCII_VIEW);  // messages are text in the text views
  host.set_text(IDC_MSG, "AT");
  host.click(IDB_SEND);
  EXPECT_EQ(shown(), "AT\r\n");
  host.choose(IDC_VIEW, HEX_HEX_VIEW);
  carry_to_port_b(4);
  EXPECT_THAT(shown(), EndsWith(" 41 54 0D 0A"));
}

}  // namespace
