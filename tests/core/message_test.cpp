// Messages sent from the message field: the bytes that reach the far end of the line, the echo line,
// the log, what a failed send shows, and the list of messages.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include <unistd.h>

#include "core/hex.h"
#include "core/hex_display.h"
#include "core/hex_message.h"
#include "core/resource.h"
#include "tests/core/core_fixture.h"

using testing::ElementsAre;
using testing::HasSubstr;
using testing::Not;
using testsupport::CoreTest;
using testsupport::PtyPair;

namespace {

class MessageTest : public CoreTest {
 protected:
  void send(const std::string& text) {
    host.set_text(IDC_MSG, text);
    hex_send_msg(host);
  }
  std::string shown() const { return host.text(IDT_SCREEN); }
  static std::string rendered(const std::string& bytes) {
    std::string text;
    for (const char byte : bytes) text += " " + std::string(1, "0123456789ABCDEF"[(byte >> 4) & 15]) + "0123456789ABCDEF"[byte & 15];
    return text;
  }
};

TEST_F(MessageTest, EveryPairReachesTheLineAndIsEchoedAsUnderstood) {
  PtyPair& com1 = bind_pty(0);
  hex_init(host);
  hex_time_stamp = 1250;
  const struct {
    std::string text;
    std::string bytes;
  } rows[] = {
      {"7E 01 02", "\x7E\x01\x02"}, {" 7E 01 02", "\x7E\x01\x02"}, {"7e,01,ff", "\x7E\x01\xFF"},
      {"7E  01", "\x7E\x01"},        {"7E\t01", "\x7E\x01"},         {"7E01", "\x7E\x01"},
      {"7E12", "\x7E\x02"},          {"0A0B0C", "\x0A\xB0"},         {"1 2 3", "\x01\x03"},
      {"7E 1 35", "\x7E\x01\x05"},  {"  7E", "\x7E\x0E"},           {"   7E", "\x7E\x7E"},
      {"zz 41 zz 42", "\x41\x42"},   {"", ""},                         {"xyz", ""},
  };
  std::string on_line;
  for (const auto& row : rows) {
    host.set_text(IDT_SCREEN, "");
    send(row.text);
    // The echo shows the bytes as understood; a message without any, the text as typed.
    const std::string echoed = row.bytes.empty() ? row.text : rendered(row.bytes);
    EXPECT_EQ(shown(), "\nTx1  1250 " + echoed) << "message \"" << row.text << '"';
    on_line += row.bytes;
  }
  EXPECT_EQ(com1.read(on_line.size()), on_line);
  EXPECT_EQ(host.text(IDT_PROGRESS), "");
}

TEST_F(MessageTest, ASendThatFailsIsNeitherEchoedNorLoggedAndSaysWhy) {
  PtyPair& com1 = bind_pty(0);
  hex_init(host);
  const std::filesystem::path log = std::filesystem::temp_directory_path() / ("quillport-msg-" + std::to_string(getpid()) + ".htm");
  host.queue_file_answer(log.string());
  hex_log_open(host);

  hex_send_port = 1;  // Port B is absent
  send("41");
  EXPECT_EQ(host.text(IDT_PROGRESS), "Port B is not open: nothing sent");
  hex_send_port = 0;
  com1.close_master();  // the far end goes: the write fails
  send("42");
  EXPECT_EQ(host.text(IDT_PROGRESS), "Port A write failed (Input/output error): not sent");
  EXPECT_EQ(shown(), "");

  hex_log_close(host);
  EXPECT_THAT(testsupport::read_file(log), Not(HasSubstr("Tx")));
  std::filesystem::remove(log);
}

TEST_F(MessageTest, ASuccessfulSendIsLoggedAndClearsAnEarlierFailure) {
  PtyPair& com2 = bind_pty(1);
  hex_init(host);
  send("01");
  ASSERT_EQ(host.text(IDT_PROGRESS), "Port A is not open: nothing sent");
  hex_send_port = 1;
  hex_local_echo = 0;  // the log still gets what was sent
  const std::filesystem::path log = std::filesystem::temp_directory_path() / ("quillport-ok-" + std::to_string(getpid()) + ".htm");
  host.queue_file_answer(log.string());
  hex_log_open(host);
  send("7E 01");
  hex_log_close(host);
  EXPECT_EQ(com2.read(2), "\x7E\x01");
  EXPECT_EQ(host.text(IDT_PROGRESS), "");
  EXPECT_EQ(shown(), "");
  EXPECT_THAT(testsupport::read_file(log), HasSubstr("<font color=\"#007F00\">\nTx2     0  7E 01</font>"));
  std::filesystem::remove(log);
}

TEST_F(MessageTest, TheEchoGoesWhereReceivedTextGoes) {
  bind_pty(0);
  hex_init(host);
  for (const int view : {HEX_HEX_VIEW, HEX_ANSI_VIEW}) {
    hex_view_mode = view;
    host.set_text(IDT_SCREEN, "older trace");
    host.screen().set_selection(0, 0);  // the user clicked at the start
    send("4F");
    const std::string echo = "\nTx1     0  4F";
    EXPECT_EQ(shown(), view == HEX_ANSI_VIEW ? echo + "older trace" : "older trace" + echo) << "view " << view;
    EXPECT_EQ(testsupport::colour_at(host.screen(), static_cast<int>(shown().find("4F"))), 0x0000FF00u);
  }
}

TEST_F(MessageTest, TheListKeepsTenWholeTextsAndIgnoresLetterCase) {
  hex_init(host);  // the list starts with one empty item
  for (int i = 1; i <= 9; ++i) {
    host.set_text(IDC_MSG, "0" + std::to_string(i));
    hex_msg_remember(host);
  }
  host.set_text(IDC_MSG, "7e 01");
  hex_msg_remember(host);
  host.set_text(IDC_MSG, "7E 01");  // the same text in other letters
  hex_msg_remember(host);
  ASSERT_EQ(host.entry_count(IDC_MSG), 10);
  const std::string whole(3000, 'A');
  host.set_text(IDC_MSG, whole);
  hex_msg_remember(host);
  EXPECT_EQ(host.entry_count(IDC_MSG), 10);
  EXPECT_EQ(host.entry_text(IDC_MSG, 8), "08");
  EXPECT_EQ(host.entry_text(IDC_MSG, 9), whole);
}

TEST_F(MessageTest, AMessageLongerThanTheFieldReadsIsRefusedNotCut) {
  PtyPair& com1 = bind_pty(0);
  hex_init(host);
  hex_ascii = 1;
  send(std::string(6912, 'x'));
  send("AT");
  EXPECT_THAT(boxes(), ElementsAre("Quillport: Message too long: 6912 characters, at most 6911"));
  EXPECT_EQ(com1.read(4), "AT\r\n");  // only the second message went out
  EXPECT_EQ(shown(), "AT\r\n");
}

}  // namespace
