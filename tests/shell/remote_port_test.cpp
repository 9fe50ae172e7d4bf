// A line served by a real ser2net, in the real dialog: the dialog's settings reach the far device
// while connected, XMODEM-1K runs against lrzsz at the far end both ways, and a server that dies and
// starts again takes the port away and brings it back by itself.
#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "core/hex.h"
#include "core/port_claim.h"
#include "serial/devices.h"
#include "serial/net_connect.h"
#include "serial/net_ports.h"
#include "serial/ser.h"
#include "tests/serial/line_readback.h"
#include "tests/shell/shell_fixture.h"
#include "tests/support/ser2net_server.h"
#include "tools/xmodem_run/xmodem_run.h"

namespace {

using namespace std::chrono_literals;
using platform::Notification;
using testing::HasSubstr;

class RemotePortTest : public testsupport::DialogTest {
 protected:
  ~RemotePortTest() override {
    host.click(IDCANCEL);  // a transfer still running ends, ports close
    serial::net::drop_connection(0);
    serial::net::drop_connection(1);
  }
  bool port_a_present(std::chrono::milliseconds limit = 15s) {
    return host.run_until([] { return hex_obj[0].present != 0; }, limit);
  }
  std::string progress() const { return host.text(IDT_PROGRESS); }

  testsupport::Ser2net server;
};

// The far device's settings, read from the kernel while ser2net holds it.
serialtest::LineReadback far_settings(const std::string& device) {
  const int fd = ::open(device.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  const serialtest::LineReadback line = serialtest::read_line(fd);
  if (fd >= 0) ::close(fd);
  return line;
}

TEST_F(RemotePortTest, TheDialogsSpeedFormatAndFlowReachTheFarDeviceWhileConnected) {
  serial::bind_device(0, server.rfc2217_address());
  host.init();
  ASSERT_TRUE(port_a_present()) << serial::open_failure(0);
  EXPECT_THAT(host.tooltip(IDC_COM1_STATE), HasSubstr("RFC 2217 (ser2net): far port at 9600 bit/s"));

  host.choose(IDC_SPEED1, 9);   // 115200
  host.choose(IDC_STOP1, 1);    // 2
  host.choose(IDC_PARITY1, 1);  // ODD
  host.choose(IDC_FLOW1, 0);    // RTS
  // A pty keeps 8 data bits and no parity whatever it is told; the parity's kind and the rest stay.
  EXPECT_TRUE(testsupport::wait_until([&] {
    const serialtest::LineReadback line = far_settings(server.device());
    return line.ok && line.rate == 115200 && line.cstopb && line.parodd && line.crtscts;
  }, 5s));
  EXPECT_THAT(serial::network_note(0), HasSubstr("far port at 115200 bit/s 8O2"));

  host.set_text(IDC_SPEED1, "250000");
  host.command(IDC_SPEED1, Notification::KillFocus);
  EXPECT_TRUE(testsupport::wait_until([&] { return far_settings(server.device()).rate == 250000; }, 5s));
  EXPECT_EQ(hex_port_rate(0), 250000u);
  EXPECT_THAT(host.tooltip(IDC_COM1_STATE), HasSubstr("far port at 250000 bit/s 8O2"));
  EXPECT_TRUE(host.message_boxes().empty());

  server.write("\xFF\x01");
  EXPECT_TRUE(host.run_until([&] { return shown() == " FF 01"; }, 5s)) << shown();
}

TEST_F(RemotePortTest, XModem1KWithLrzszAtTheFarEndBothWays) {
  ::setenv("QUILLPORT_COM1", server.rfc2217_address().c_str(), 1);
  host.init();
  ASSERT_TRUE(port_a_present()) << serial::open_failure(0);
  // Every byte value, 0xFF among them, so the file's bytes cross Telnet doubled and undoubled.
  const std::string original = xmodemrun::random_bytes(6000, 7);
  const std::string ours = (folder_ / "ours.bin").string();
  xmodemrun::write_file(ours, original);
  host.queue_replace_answer(true);

  linesim::Options paced;
  paced.baud = 115200;
  for (const bool send : {true, false}) {
    SCOPED_TRACE(send ? "send to rx" : "get from sx");
    const std::string dir = (folder_ / (send ? "rx" : "sx")).string();
    std::filesystem::create_directories(dir);
    if (!send) xmodemrun::write_file(dir + "/file.bin", original);
    const xmodemrun::Peer peer = (send ? xmodemrun::rx : xmodemrun::sx)(xmodemrun::Check::Crc1K, "file.bin");
    linesim::Program program(peer.argv, dir, dir + "/.peer.log");
    ASSERT_TRUE(program.wait_started(10000));
    linesim::Relay relay({server.far(), server.far()}, program.end(), paced);

    host.choose(IDC_PROTOCOL, HEX_XMODEM_1K);
    host.click(send ? IDR_SENDFILE : IDR_GETFILE);
    host.queue_file_answer(ours);
    host.click(IDB_GO_FILE);
    ASSERT_TRUE(host.run_until([] { return !hex_xmodem_busy; }, 60s));
    EXPECT_EQ(progress(), "X-Modem Completed ");
    EXPECT_EQ(program.wait(10000), 0) << xmodemrun::read_file(dir + "/.peer.log");
    EXPECT_TRUE(xmodemrun::is_padded_copy(xmodemrun::read_file(send ? dir + "/file.bin" : ours), original));
    EXPECT_EQ(hex_obj[0].present, 1) << "the port opens again on its connection after the transfer";
  }
}

TEST_F(RemotePortTest, DumpsMoveEveryByteBothWays) {
  serial::bind_device(0, server.rfc2217_address());
  host.init();
  ASSERT_TRUE(port_a_present()) << serial::open_failure(0);
  const std::string original = xmodemrun::random_bytes(5000, 3);
  const std::string file = (folder_ / "dump.bin").string();
  for (const bool send : {true, false}) {
    SCOPED_TRACE(send ? "send" : "get");
    if (send) xmodemrun::write_file(file, original);
    host.choose(IDC_PROTOCOL, HEX_DUMP);
    host.click(send ? IDR_SENDFILE : IDR_GETFILE);
    host.queue_replace_answer(true);
    host.queue_file_answer(file);
    host.click(IDB_GO_FILE);
    if (send) {
      EXPECT_TRUE(host.run_until([] { return !hex_dump_busy; }, 10s));
      EXPECT_EQ(server.read(original.size()), original);
      continue;
    }
    // A Get starts by purging what the server holds of the far port's input; bytes the far end
    // sends before the server has carried that out are purged with it, as on a real bench.
    host.run_for(300ms);
    server.write(original);
    EXPECT_TRUE(host.run_until([&] { return progress() == "Bytes = 5000 "; }, 10s)) << progress();
    host.click(IDB_ABORT);
    EXPECT_EQ(xmodemrun::read_file(file), original);
  }
}

TEST_F(RemotePortTest, AnAddressTypedIntoACommPortSelectorBindsItsComNumber) {
  host.init();
  const struct {
    std::string typed;
    const char* box;  // nullptr: bound
  } cases[] = {
      {"rfc2217://lab-host", "Not a network port: no port number (expected rfc2217://HOST:PORT or tcp://HOST:PORT)"},
      {"  " + server.raw_address() + " ", nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.typed);
    host.clear_message_boxes();
    host.set_text(IDC_PORTB, c.typed);
    host.command(IDC_PORTB, Notification::KillFocus);
    std::vector<std::string> boxes;
    for (const auto& box : host.message_boxes()) boxes.push_back(box.text);
    EXPECT_EQ(boxes, c.box ? std::vector<std::string>{c.box} : std::vector<std::string>{});
  }
  EXPECT_EQ(serial::device_path(1), server.raw_address());
  ASSERT_TRUE(host.run_until([] { return hex_obj[1].present != 0; }, 15s)) << serial::open_failure(1);
  EXPECT_THAT(host.entry_text(IDC_PORTB, 1), HasSubstr(server.raw_address()));
  EXPECT_THAT(host.tooltip(IDC_COM2_STATE), HasSubstr("raw TCP: speed, format, flow control and DTR/RTS stay here"));
  server.write("B");
  EXPECT_TRUE(host.run_until([&] { return shown() == " 42"; }, 5s)) << shown();
}

TEST_F(RemotePortTest, AServerThatDiesAndStartsAgainTakesThePortAwayAndBringsItBack) {
  ::setenv("QUILLPORT_COM1", server.rfc2217_address().c_str(), 1);
  host.init();
  ASSERT_TRUE(port_a_present()) << serial::open_failure(0);
  host.choose(IDC_SPEED1, 8);  // 57600

  server.kill();
  ASSERT_TRUE(host.run_until([] { return hex_obj[0].present == 0; }, 10s));
  EXPECT_EQ(host.check(IDC_COM1_STATE), platform::Check::Indeterminate);
  EXPECT_THAT(host.tooltip(IDC_COM1_STATE), HasSubstr(server.rfc2217_address()));
  EXPECT_THAT(host.tooltip(IDC_COM1_STATE), HasSubstr("Connects again by itself when its server answers."));
  host.run_for(1500ms);
  EXPECT_EQ(hex_obj[0].present, 0);

  server.start();
  ASSERT_TRUE(port_a_present(20s)) << serial::open_failure(0);
  EXPECT_THAT(host.tooltip(IDC_COM1_STATE), HasSubstr("back at"));
  EXPECT_TRUE(testsupport::wait_until([&] { return far_settings(server.device()).rate == 57600; }, 5s));
  host.set_text(IDT_SCREEN, "");
  server.write("A");
  EXPECT_TRUE(host.run_until([&] { return shown() == " 41"; }, 5s)) << shown();
  host.screen().character('k');
  EXPECT_EQ(server.read(1), "k");
}

}  // namespace
