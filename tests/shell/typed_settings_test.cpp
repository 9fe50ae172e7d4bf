// Text typed into the settings' fields, through the dialog procedure: a rate typed in Speed reaches
// the line, other text takes effect only as an entry, and a field never shows a setting that is not
// the one in effect.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "core/dialog_template.h"
#include "core/hex.h"
#include "core/resource.h"
#include "serial/devices.h"
#include "serial/ser.h"
#include "shell/dialog.h"
#include "tests/core/core_fixture.h"
#include "tests/serial/line_readback.h"

using platform::Notification;

namespace {

constexpr char kReconfigure[] = "Error reconfiguring comm port parameters = ";

// Port A on a pseudo-terminal, Port B absent, the whole dialog procedure behind the host.
class TypedSettingsTest : public ::testing::Test {
 protected:
  TypedSettingsTest() : com1_(ports_.bind_pty(0)), host(quillport_dialog(), DialogFunc) { host.init(); }
  ~TypedSettingsTest() override { host.command(IDCANCEL); }

  // Types into a field, then leaves it or presses Enter in it.
  void type(int id, const std::string& text, Notification done) {
    host.clear_message_boxes();
    host.set_text(id, text);
    host.command(id, done);
  }
  std::vector<std::string> boxes() const {
    std::vector<std::string> texts;
    for (const auto& box : host.message_boxes()) texts.push_back(box.text);
    return texts;
  }

  testsupport::TerminalPorts ports_;
  testsupport::PtyPair& com1_;
  platform::HeadlessHost host;
};

TEST_F(TypedSettingsTest, ARateTypedInSpeedReachesTheLineOrTheFieldShowsTheRateInEffect) {
  const std::string refused_low = std::string(kReconfigure) + std::to_string(EINVAL) + "\n" + com1_.slave_path() +
                                  ": " + std::strerror(EINVAL);
  const struct {
    const char* what;
    int id;
    const char* typed;
    Notification done;
    const char* shown;
    int selected;
    unsigned rate;  // on Port A's line
    std::vector<std::string> boxes;
  } cases[] = {
      {"a rate not in the list", IDC_SPEED1, "250000", Notification::KillFocus, "250000", -1, 250000, {}},
      {"Enter applies it too", IDC_SPEED1, " 31250 ", Notification::Enter, "31250", -1, 31250, {}},
      {"an entry's rate", IDC_SPEED1, "19200", Notification::KillFocus, "19200", 6, 19200, {}},
      {"no rate", IDC_SPEED1, "fast", Notification::KillFocus, "19200", 6, 19200, {}},
      {"too slow to ask for", IDC_SPEED1, "5", Notification::Enter, "19200", 6, 19200, {refused_low}},
      // An absent port keeps the rate for when its device comes, as it keeps a listed one.
      {"an absent port", IDC_SPEED2, "250000", Notification::KillFocus, "250000", -1, 19200, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    type(c.id, c.typed, c.done);
    EXPECT_EQ(host.text(c.id), c.shown);
    EXPECT_EQ(host.selected_entry(c.id), c.selected);
    EXPECT_EQ(serialtest::read_line(serial::native_handle(0)).rate, c.rate);
    EXPECT_EQ(boxes(), c.boxes);
    // The indicator's hint names the rate in effect.
    const std::string rate_line = std::string("\n").append(std::to_string(c.rate)).append(" bit/s");
    EXPECT_NE(host.tooltip(IDC_COM1_STATE).find(rate_line), std::string::npos) << host.tooltip(IDC_COM1_STATE);
  }
  // A typed rate carries over to a port bound again, as the other settings do.
  type(IDC_SPEED1, "250000", Notification::KillFocus);
  ports_.bind_pty(2);
  host.choose(IDC_PORTA, 2);
  EXPECT_EQ(serialtest::read_line(serial::native_handle(2)).rate, 250000u);
}

TEST_F(TypedSettingsTest, OtherFieldsTakeTypedTextOnlyAsAnEntry) {
  const struct {
    const char* what;
    int id;
    const char* typed;
    Notification done;
    const char* shown;
    int selected;
  } cases[] = {
      {"an entry's text", IDC_DATA1, "7", Notification::KillFocus, "7", 2},
      {"no entry's text", IDC_DATA1, "9", Notification::KillFocus, "7", 2},
      {"an entry in other letters", IDC_PARITY1, "odd ", Notification::Enter, "ODD", 1},
      {"part of an entry", IDC_VIEW, "Hexa", Notification::KillFocus, "Hexadecimal", 0},
      {"a flow that is not one", IDC_FLOW2, "CTS", Notification::Enter, "NONE", 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    type(c.id, c.typed, c.done);
    EXPECT_EQ(host.text(c.id), c.shown);
    EXPECT_EQ(host.selected_entry(c.id), c.selected);
    EXPECT_TRUE(boxes().empty());
  }
  EXPECT_EQ(hex_obj[0].databits, 7);
  EXPECT_EQ(hex_obj[0].parity, 1);
  EXPECT_STREQ(hex_obj[1].flow, "");  // never applied
}

// A pseudo-terminal keeps the rate, the stop bits and the flow it is given, but always runs 8 data
// bits without parity: the indicator's hint reads the line back and says what is in effect, and
// what was chosen whenever the device keeps something else.
TEST_F(TypedSettingsTest, TheHintSaysWhatTheDeviceKeepsWhereItIsNotWhatWasChosen) {
  const std::string kept = "\nThe device keeps these settings; chosen were ";
  const struct {
    int id;
    const char* entry;
    std::string line;  // the hint after the device's own line
  } steps[] = {
      {IDC_SPEED1, "19200", "\n19200 bit/s 8N1, no flow control"},
      {IDC_DATA1, "7", "\n19200 bit/s 8N1, no flow control" + kept + "19200 bit/s 7N1, no flow control"},
      {IDC_PARITY1, "EVEN", "\n19200 bit/s 8N1, no flow control" + kept + "19200 bit/s 7E1, no flow control"},
      {IDC_STOP1, "2", "\n19200 bit/s 8N2, no flow control" + kept + "19200 bit/s 7E2, no flow control"},
      {IDC_FLOW1, "RTS", "\n19200 bit/s 8N2, RTS/CTS flow control" + kept + "19200 bit/s 7E2, RTS/CTS flow control"},
      {IDC_DATA1, "8", "\n19200 bit/s 8N2, RTS/CTS flow control" + kept + "19200 bit/s 8E2, RTS/CTS flow control"},
      {IDC_PARITY1, "NONE", "\n19200 bit/s 8N2, RTS/CTS flow control"},
  };
  for (const auto& step : steps) {
    SCOPED_TRACE(step.entry);
    int index = 0;
    while (index < host.entry_count(step.id) && host.entry_text(step.id, index) != step.entry) ++index;
    host.choose(step.id, index);
    const std::string hint = host.tooltip(IDC_COM1_STATE);
    EXPECT_EQ(hint.substr(hint.find('\n')), step.line);
  }
}

}  // namespace
