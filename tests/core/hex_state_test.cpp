// Terminal ports coming up, settings reaching the bound device, bindings and shutdown.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "core/hex.h"
#include "core/hex_report.h"
#include "core/resource.h"
#include "serial/devices.h"
#include "serial/ser.h"
#include "tests/core/core_fixture.h"
#include "tests/serial/line_readback.h"

using platform::Check;
using testing::ElementsAre;
using testing::IsEmpty;
using testsupport::CoreTest;
using serialtest::LineReadback;

namespace {

constexpr char kReconfigureBox[] = "Quillport System Error: Error reconfiguring comm port parameters = ";

LineReadback line_of(int number) {
  const LineReadback line = serialtest::read_line(serial::native_handle(number));
  EXPECT_TRUE(line.ok) << "COM" << number + 1 << " is not open";
  return line;
}

std::vector<std::string> entries(const platform::HeadlessHost& host, int id) {
  std::vector<std::string> texts;
  for (int i = 0; i < host.entry_count(id); ++i) texts.push_back(host.entry_text(id, i));
  return texts;
}

// Picks an entry of a selector the way the user does, then runs the selector's handler.
void pick(platform::HeadlessHost& host, int id, const std::string& text, void (*handler)(platform::DialogHost&)) {
  for (int i = 0; i < host.entry_count(id); ++i)
    if (host.entry_text(id, i) == text) host.select_entry(id, i);
  ASSERT_EQ(host.text(id), text);
  handler(host);
}

TEST_F(CoreTest, StartUpWithoutDevicesShowsBothPortsAbsentAndNoBox) {
  hex_init(host);

  EXPECT_EQ(host.check(IDC_COM1_STATE), Check::Indeterminate);
  EXPECT_EQ(host.check(IDC_COM2_STATE), Check::Indeterminate);
  EXPECT_EQ(hex_obj[0].present, 0);
  EXPECT_EQ(hex_obj[1].present, 0);
  EXPECT_THAT(boxes(), IsEmpty());
}

TEST_F(CoreTest, StartUpFillsEverySelectorInTableOrderWithItsDefault) {
  hex_init(host);

  const std::vector<std::string> ports = {"COM1",  "COM2",  "COM3",  "COM4",  "COM5",  "COM6",
                                          "COM7",  "COM8",  "COM9",  "COM10", "COM11", "COM12",
                                          "COM13", "COM14", "COM15", "COM16"};
  const std::vector<std::string> parity = {"NONE", "ODD", "EVEN", "MARK", "SPACE"};
  const std::vector<std::string> speeds = {"110",   "300",   "1200",  "2400",  "4800",
                                           "9600",  "19200", "38400", "57600", "115200"};
  const std::vector<std::string> data = {"5", "6", "7", "8"};
  const std::vector<std::string> stop = {"1", "2"};
  const std::vector<std::string> flow = {"RTS", "XON", "NONE"};
  struct Expected {
    int id;
    std::vector<std::string> entries;
    int selected;
  };
  const Expected expected[] = {
      {IDC_PARITY1, parity, 0},
      {IDC_PARITY2, parity, 0},
      {IDC_SPEED1, speeds, 5},
      {IDC_SPEED2, speeds, 5},
      {IDC_DATA1, data, 3},
      {IDC_DATA2, data, 3},
      {IDC_STOP1, stop, 0},
      {IDC_STOP2, stop, 0},
      {IDC_FLOW1, flow, 2},
      {IDC_FLOW2, flow, 2},
      {IDC_SUM, {"CRC16", "CRC32", "SUM", "XOR"}, 0},
      {IDC_PROTOCOL, {"Dump", "XModem", "XModem CRC", "XModem 1K"}, 0},
      {IDC_PORTA, ports, 0},
      {IDC_PORTB, ports, 1},
      {IDC_VIEW, {"Hexadecimal", "ASCII", "ANSI", "HDLC", "PPP", "ICNI", "Terminal"}, 0},
      {IDC_FRAME, {"None", "HDLC", "PPP", "ICNI"}, 0},
      {IDC_MSG, {""}, 0},
  };
  for (const Expected& selector : expected) {
    SCOPED_TRACE("selector " + std::to_string(selector.id));
    EXPECT_EQ(entries(host, selector.id), selector.entries);
    EXPECT_EQ(host.selected_entry(selector.id), selector.selected);
    EXPECT_EQ(host.text(selector.id), selector.entries[static_cast<std::size_t>(selector.selected)]);
  }

  EXPECT_EQ(host.check(IDR_NOLOG), Check::Checked);
  EXPECT_EQ(host.check(IDR_LOG), Check::Unchecked);
  EXPECT_EQ(host.check(IDR_RUN), Check::Checked);
  EXPECT_EQ(host.check(IDR_STOP), Check::Unchecked);
  EXPECT_EQ(host.check(IDR_COM1), Check::Checked);
  EXPECT_EQ(host.check(IDR_COM2), Check::Unchecked);
  EXPECT_EQ(host.check(IDR_SENDFILE), Check::Checked);
  EXPECT_EQ(host.check(IDR_GETFILE), Check::Unchecked);
  EXPECT_EQ(host.check(IDC_ECHO), Check::Checked);
  EXPECT_EQ(host.text(IDT_PROGRESS), "");
  EXPECT_EQ(hex_run, 1);
  EXPECT_EQ(hex_local_echo, 1);
  EXPECT_EQ(hex_send_port, 0);
  EXPECT_EQ(hex_view_mode, HEX_HEX_VIEW);
}

TEST_F(CoreTest, StartUpOpensComOneOnPortAWithTheDefaultLine) {
  bind_pty(0);
  hex_init(host);

  EXPECT_EQ(hex_obj[0].present, 1);
  EXPECT_EQ(host.check(IDC_COM1_STATE), Check::Checked);
  EXPECT_EQ(hex_obj[1].present, 0);
  EXPECT_EQ(host.check(IDC_COM2_STATE), Check::Indeterminate);
  // A pty refuses modem-line requests; what was asked for is remembered all the same.
  EXPECT_EQ(SioDTR(0, 'R'), 1);
  EXPECT_EQ(SioRTS(0, 'R'), 0);
  const LineReadback line = line_of(0);
  EXPECT_EQ(line.rate, 9600u);
  EXPECT_EQ(line.data_bits, 8);
  EXPECT_TRUE(line.raw);
  EXPECT_FALSE(line.cstopb);
  EXPECT_FALSE(line.crtscts);
  EXPECT_FALSE(line.ixon || line.ixoff);
  EXPECT_THAT(boxes(), IsEmpty());
}

TEST_F(CoreTest, SettingsReachThePresentPortAndAreStored) {
  bind_pty(0);
  hex_init(host);

  pick(host, IDC_SPEED1, "115200", hex_speed1SelChange);
  pick(host, IDC_DATA1, "7", hex_data1SelChange);
  pick(host, IDC_PARITY1, "EVEN", hex_parity1SelChange);
  pick(host, IDC_STOP1, "2", hex_stop1SelChange);
  pick(host, IDC_FLOW1, "RTS", hex_flow1SelChange);

  EXPECT_EQ(hex_obj[0].baud, 9);
  EXPECT_EQ(hex_obj[0].databits, 7);
  EXPECT_EQ(hex_obj[0].parity, 2);
  EXPECT_EQ(hex_obj[0].stopbits, 2);
  EXPECT_STREQ(hex_obj[0].flow, "RT");
  // A pty keeps the rate, stop bits and flow control it is given (it forces 8 data bits and no
  // parity, so those are checked on the stored record).
  const LineReadback line = line_of(0);
  EXPECT_EQ(line.rate, 115200u);
  EXPECT_TRUE(line.cstopb);
  EXPECT_TRUE(line.crtscts);
  EXPECT_THAT(boxes(), IsEmpty());

  pick(host, IDC_STOP1, "1", hex_stop1SelChange);
  EXPECT_EQ(hex_obj[0].stopbits, 0);
  EXPECT_FALSE(line_of(0).cstopb);
}

TEST_F(CoreTest, SettingsOnAnAbsentPortAreStoredAndReportedOnce) {
  hex_init(host);
  struct Case {
    const char* what;
    int id;
    const char* text;
    void (*handler)(platform::DialogHost&);
    bool reported;
  };
  const Case cases[] = {
      {"speed", IDC_SPEED1, "19200", hex_speed1SelChange, false},
      {"data bits", IDC_DATA1, "6", hex_data1SelChange, true},
      {"stop bits", IDC_STOP1, "2", hex_stop1SelChange, true},
      {"parity", IDC_PARITY1, "ODD", hex_parity1SelChange, true},
      {"flow", IDC_FLOW1, "XON", hex_flow1SelChange, true},
  };
  for (const Case& change : cases) {
    SCOPED_TRACE(change.what);
    host.clear_message_boxes();
    pick(host, change.id, change.text, change.handler);
    const auto shown = boxes();
    if (change.reported) {
      ASSERT_EQ(shown.size(), 1u);
      // The second line says why the port is absent.
      EXPECT_EQ(shown[0], std::string(kReconfigureBox) + "0\nCOM1: no serial device");
    } else {
      EXPECT_THAT(shown, IsEmpty());
    }
  }
  EXPECT_EQ(hex_obj[0].baud, 6);
  EXPECT_EQ(hex_obj[0].databits, 6);
  EXPECT_EQ(hex_obj[0].stopbits, 2);
  EXPECT_EQ(hex_obj[0].parity, 1);
  EXPECT_STREQ(hex_obj[0].flow, "XO");
}

TEST_F(CoreTest, SelectorTextThatIsNoNumberFallsBackToTheDefault) {
  bind_pty(0);
  hex_init(host);
  host.set_text(IDC_DATA1, "eight");
  hex_data1SelChange(host);
  host.set_text(IDC_STOP1, "");
  hex_stop1SelChange(host);
  EXPECT_EQ(hex_obj[0].databits, 8);
  EXPECT_EQ(hex_obj[0].stopbits, 0);
  EXPECT_THAT(boxes(), IsEmpty());
}

TEST_F(CoreTest, StopBitsTheDeviceCannotTakeLeaveItsLineAsItWas) {
  bind_pty(0);
  hex_init(host);
  host.set_text(IDC_STOP1, "15");  // typed into the edit field: no such stop-bit code
  hex_stop1SelChange(host);
  EXPECT_EQ(hex_obj[0].stopbits, 15);
  const LineReadback line = line_of(0);
  EXPECT_FALSE(line.cstopb);
  EXPECT_EQ(line.rate, 9600u);
}

TEST_F(CoreTest, SoftwareFlowOnPortBReachesPortBOnly) {
  bind_pty(0);
  bind_pty(1);
  hex_init(host);

  pick(host, IDC_FLOW2, "XON", hex_flow2SelChange);

  EXPECT_STREQ(hex_obj[1].flow, "XO");
  EXPECT_TRUE(line_of(1).ixon && line_of(1).ixoff);
  EXPECT_FALSE(line_of(0).ixon);
  EXPECT_EQ(hex_obj[0].flow[0], '\0');
  EXPECT_THAT(boxes(), IsEmpty());
}

TEST_F(CoreTest, RebindingPortAClosesTheOldPortAndOpensTheNewWithPortASettings) {
  bind_pty(0);
  bind_pty(1);
  testsupport::PtyPair& com3 = bind_pty(2);
  hex_init(host);
  pick(host, IDC_SPEED1, "19200", hex_speed1SelChange);
  pick(host, IDC_STOP1, "2", hex_stop1SelChange);
  pick(host, IDC_FLOW1, "XON", hex_flow1SelChange);

  host.select_entry(IDC_PORTA, 2);
  hex_PortASelChange(host);

  EXPECT_EQ(hex_obj[0].portnum, 2);
  EXPECT_EQ(hex_obj[0].present, 1);
  EXPECT_EQ(host.check(IDC_COM1_STATE), Check::Checked);
  EXPECT_EQ(serial::native_handle(0), -1) << "COM1 stays open";
  const LineReadback line = line_of(2);
  EXPECT_EQ(line.rate, 19200u);
  EXPECT_TRUE(line.cstopb);
  EXPECT_TRUE(line.ixon && line.ixoff);
  EXPECT_EQ(SioDTR(2, 'R'), 1);
  // Port B is untouched.
  EXPECT_EQ(hex_obj[1].portnum, 1);
  EXPECT_NE(serial::native_handle(1), -1);
  // Port A's traffic now goes to COM3.
  EXPECT_EQ(SioPuts(hex_obj[0].portnum, "ok", 2), 2);
  EXPECT_EQ(com3.read(2), "ok");
  EXPECT_THAT(boxes(), IsEmpty());
}

TEST_F(CoreTest, RebindingToANumberThatCannotOpenLeavesThePortAbsentAndTheOldClosed) {
  bind_pty(0);
  hex_init(host);

  host.select_entry(IDC_PORTA, 7);
  hex_PortASelChange(host);

  EXPECT_EQ(hex_obj[0].portnum, 7);
  EXPECT_EQ(hex_obj[0].present, 0);
  EXPECT_EQ(host.check(IDC_COM1_STATE), Check::Indeterminate);
  EXPECT_EQ(serial::native_handle(0), -1);
  EXPECT_THAT(boxes(), IsEmpty());
}

TEST_F(CoreTest, BindingBothTerminalPortsToOneComNumberKeepsTheFirstWorking) {
  testsupport::PtyPair& com1 = bind_pty(0);
  bind_pty(1);
  hex_init(host);

  host.select_entry(IDC_PORTB, 0);
  hex_PortBSelChange(host);
  EXPECT_EQ(hex_obj[1].present, 0);
  EXPECT_EQ(host.check(IDC_COM2_STATE), Check::Indeterminate);

  // Binding Port B elsewhere again must not close COM1 under Port A.
  host.select_entry(IDC_PORTB, 1);
  hex_PortBSelChange(host);
  EXPECT_EQ(hex_obj[1].present, 1);
  EXPECT_EQ(SioPuts(hex_obj[0].portnum, "A", 1), 1);
  EXPECT_EQ(com1.read(1), "A");
}

TEST_F(CoreTest, ShutdownClosesBothPortsWithoutABoxForANeverOpenedPort) {
  bind_pty(0);
  hex_init(host);
  hex_timer = host.start_timer(HEX_SCREEN_TIMER, HEX_TIME);

  hex_quit(host);

  EXPECT_EQ(serial::native_handle(0), -1);
  EXPECT_FALSE(host.timer_running(HEX_SCREEN_TIMER));
  EXPECT_EQ(hex_timer, 0u);
  EXPECT_EQ(host.check(IDR_NOLOG), Check::Checked);
  EXPECT_THAT(boxes(), IsEmpty());
}

TEST_F(CoreTest, ReportersFormatTheirBoxes) {
  errno = 13;
  hex_err_msg("Timer is broken");
  hex_errcode_msg("Transfer failed", -304);
  hex_dbg_msg("plain text");
  hex_err_msg("Log File open error", ENOENT, hex_os_reason("/x/y.htm", ENOENT));
  EXPECT_THAT(boxes(), ElementsAre("Quillport System Error: Timer is broken = 13",
                                   "Quillport Internal Error: Transfer failed = -304",
                                   "Quillport: plain text",
                                   "Quillport System Error: Log File open error = 2\n/x/y.htm: " +
                                       std::string(std::strerror(ENOENT))));
}

}  // namespace
