// Captures made from the window: both lines as they crossed, the ports described, the view's
// frames, comments on settings and transfers; a file that cannot be made or written.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <string>
#include <vector>

#include "core/hex.h"
#include "core/port_claim.h"
#include "core/resource.h"
#include "serial/read_ahead.h"
#include "tests/shell/capture_file.h"
#include "tests/shell/shell_fixture.h"

namespace {

using namespace std::chrono_literals;
using capture::Direction;
using platform::Check;
using testing::Contains;
using testsupport::PtyPair;

std::string bytes_of_hex(const std::string& hex) {
  std::string bytes;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) bytes += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
  return bytes;
}

class CaptureWindowTest : public testsupport::DialogTest {
 protected:
  std::string path(const std::string& name) const { return (folder_ / name).string(); }
  void capture_into(const std::string& file) {
    host.queue_file_answer(file);
    host.click(IDR_CAPTURE);
  }
  std::string boxes() const {
    std::string texts;
    for (const auto& box : host.message_boxes()) texts += box.text + "\n";
    return texts;
  }
};

TEST_F(CaptureWindowTest, RecordsBothLinesWithTheirPortsSettingsTheViewsFramesAndCommentsOnChangesAndTransfers) {
  PtyPair& a = ports.bind_pty(0);
  PtyPair& b = ports.bind_pty(1);
  host.init();
  host.choose(IDC_VIEW, HEX_PPP_VIEW);
  const std::int64_t began = serial::wall_clock_us();
  capture_into(path("both.pcapng"));
  ASSERT_EQ(host.check(IDR_CAPTURE), Check::Checked) << boxes();

  // An LCP Configure-Request arrives on Port A, text on Port B; a message goes out on Port A.
  const std::string lcp = bytes_of_hex("7eff7d23c0217d217d217d207d2a7d257d267d3234567879007d207e");
  a.write(lcp);
  ASSERT_TRUE(host.run_until([&] { return shown().find("Rx1") != std::string::npos; }, 5s)) << shown();
  b.write("hello\r\n");
  host.set_text(IDC_MSG, "01 02 03");
  host.click(IDB_SEND);
  EXPECT_EQ(a.read(3), "\x01\x02\x03");
  host.choose(IDC_SPEED1, 9);  // 115200

  // A dump sends a file on Port A: the transfer alone reads its port meanwhile.
  const std::string dumped(100, 'D');
  std::ofstream(path("dump.bin"), std::ios::binary) << dumped;
  host.choose(IDC_PROTOCOL, HEX_DUMP);
  host.click(IDR_SENDFILE);
  host.queue_file_answer(path("dump.bin"));
  host.click(IDB_GO_FILE);
  ASSERT_EQ(hex_dump_busy, 1);
  EXPECT_FALSE(serial::reading_ahead(hex_obj[0].portnum));
  ASSERT_TRUE(host.run_until([] { return !hex_dump_busy; }, 10s));
  EXPECT_TRUE(serial::reading_ahead(hex_obj[0].portnum));
  EXPECT_EQ(a.read(dumped.size()), dumped);
  host.run_for(200ms);  // a tick or more for the comments
  host.click(IDR_NOCAPTURE);
  EXPECT_EQ(host.check(IDR_NOCAPTURE), Check::Checked);
  const std::int64_t ended = serial::wall_clock_us();

  const testsupport::CaptureFile file = testsupport::read_capture(path("both.pcapng"));
  ASSERT_GE(file.interfaces.size(), 3u);
  EXPECT_EQ(file.interfaces[0].name, "Port A");
  EXPECT_EQ(file.interfaces[0].description, a.slave_path() + ", 9600 8N1, no flow control");
  EXPECT_EQ(file.interfaces[1].name, "Port B");
  EXPECT_EQ(file.interfaces[1].description, b.slave_path() + ", 9600 8N1, no flow control");
  EXPECT_EQ(file.bytes(0, Direction::Received), lcp);
  EXPECT_EQ(file.bytes(0, Direction::Sent), "\x01\x02\x03" + dumped);
  EXPECT_EQ(file.bytes(1, Direction::Received), "hello\r\n");
  const std::vector<std::string> comments = file.comments(0);
  EXPECT_THAT(comments, Contains("Port A: " + a.slave_path() + ", 115200 8N1, no flow control"));
  EXPECT_THAT(comments, Contains("Port A: Dump send of " + path("dump.bin") + " begins"));
  EXPECT_THAT(comments, Contains("Port A: Dump Completed"));

  // The PPP view's frame, flags off and escapes undone, on an interface of its own.
  const std::size_t ppp = file.interface_named("Port A PPP");
  ASSERT_LT(ppp, file.interfaces.size());
  EXPECT_EQ(file.interfaces[ppp].link_type, capture::kLinkPppWithDir);
  EXPECT_EQ(file.bytes(ppp, Direction::Received), bytes_of_hex("ff03c0210101000a050612345678790000"));

  // Each interface's records in the order of their times, all within the capture.
  for (std::size_t i = 0; i < file.interfaces.size(); ++i) {
    std::int64_t last = began * 1000;
    for (const capture::CaptureRecord& r : file.records) {
      if (r.interface != i) continue;
      EXPECT_GE(r.time_ns, last) << "interface " << i;
      last = r.time_ns;
    }
    EXPECT_LE(last, ended * 1000);
  }
}

TEST_F(CaptureWindowTest, AFileThatCannotBeMadeOrWrittenIsReportedAndTheTraceGoesOn) {
  PtyPair& a = ports.bind_pty(0);
  host.init();
  capture_into(path("no-such-folder/line.pcapng"));
  EXPECT_EQ(boxes(), "Capture File open error\n" + path("no-such-folder/line.pcapng") + ": No such file or directory\n");
  EXPECT_EQ(host.check(IDR_NOCAPTURE), Check::Checked);
  host.clear_message_boxes();

  // A disk that takes nothing: the writer's first flush fails, within a second or so.
  capture_into("/dev/full");
  ASSERT_EQ(host.check(IDR_CAPTURE), Check::Checked);
  a.write("x");
  ASSERT_TRUE(host.run_until([&] { return !host.message_boxes().empty(); }, 10s));
  EXPECT_EQ(boxes(), "Capture stopped: /dev/full: No space left on device\nThe file keeps what was written before.\n");
  EXPECT_EQ(host.check(IDR_NOCAPTURE), Check::Checked);
  a.write("y");
  EXPECT_TRUE(host.run_until([&] { return shown() == " 78 79"; }, 5s)) << shown();
}

}  // namespace
