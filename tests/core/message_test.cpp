// Messages sent from the message field: the bytes that reach the far end of the line, the echo line,
// the log, what a failed send shows, and the list of messages.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include <unistd.h>

#include "core/hex.h"
#include "core/hex_log.h"
#include "core/hex_message.h"
#include "core/resource.h"
#include "tests/core/core_fixture.h"

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
    char pair[4];
    for (const unsigned char byte : bytes) text.append(pair, std::snprintf(pair, sizeof pair, " %02X", byte));
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
      {"7E  01", "\x7E\x01"},       {"7E\t01", "\x7E\x01"},        {"7E01", "\x7E\x01"},
      {"7E12", "\x7E\x02"},         {"0A0B0C", "\x0A\xB0"},        {"1 2 3", "\x01\x03"},
      {"7E 1 35", "\x7E\x01\x05"}, {"  7E", "\x7E\x0E"},          {"   7E", "\x7E\x7E"},
      {"zz 41 zz 42", "\x41\x42"},  {"", ""},                        {"xyz", ""},
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

TEST_F(MessageTest, OnlyWhatWasWrittenIsEchoedAndLoggedAndAFailureSaysWhy) {
  PtyPair& com1 = bind_pty(0);  // Port B stays absent
  hex_init(host);
  const std::filesystem::path log =
      std::filesystem::temp_directory_path() / ("quillport-msg-" + std::to_string(getpid()));
  host.queue_file_answer(log.string());
  hex_log_open(host);
  const struct {
    int port;
    bool far_end_gone;
    std::string progress;
  } rows[] = {{1, false, "Port B is not open: nothing sent"},
              {0, false, ""},  // a send that works clears the failure shown
              {0, true, "Port A write failed (Input/output error): not sent"}};
  for (const auto& row : rows) {
    hex_send_port = row.port;
    if (row.far_end_gone) com1.close_master();
    send("7E 01");
    EXPECT_EQ(host.text(IDT_PROGRESS), row.progress);
  }
  hex_log_close(host);
  const std::string echo = "\nTx1     0  7E 01";
  EXPECT_EQ(shown(), echo);
  EXPECT_EQ(testsupport::read_file(log), testsupport::kLogHeader + "<font color=\"#00FF00\">" + echo +
                                             "</font>" + testsupport::kLogFooter);
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
    EXPECT_EQ(shown(), view == HEX_ANSI_VIEW ? echo + "older trace" : "older trace" + echo)
        << "view " << view;
    EXPECT_EQ(testsupport::colour_at(host.screen(), static_cast<int>(shown().find("4F"))), 0x0000FF00u);
  }
}

TEST_F(MessageTest, TheListKeepsTenWholeTextsAndIgnoresLetterCase) {
  hex_init(host);  // the list starts with one empty item
  const std::string whole(3000, 'A');
  for (const std::string text : {"01", "02", "03", "04", "05", "06", "07", "08", "7e 01", "7E 01", "01"}) {
    host.set_text(IDC_MSG, text);  // the same text in other letters is no new text
    hex_msg_remember(host);
  }
  ASSERT_EQ(host.entry_count(IDC_MSG), 10);
  host.set_text(IDC_MSG, whole);
  hex_msg_remember(host);
  EXPECT_EQ(host.entry_count(IDC_MSG), 10);
  EXPECT_EQ(host.entry_text(IDC_MSG, 8), "08");
  EXPECT_EQ(host.entry_text(IDC_MSG, 9), whole);
}

}  // namespace
