// File transfers in the real dialog: XMODEM against lrzsz over a paced line, Abort against a far end
// that stops answering, raw dumps tick by tick, and a device that goes away during either.
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "core/hex.h"
#include "core/hex_transfer.h"
#include "serial/deadline.h"
#include "serial/devices.h"
#include "serial/ser.h"
#include "tests/serial/line_readback.h"
#include "tests/shell/shell_fixture.h"
#include "tools/xmodem_run/xmodem_run.h"
#include "xmodem/serxydrv.h"

namespace {

using namespace std::chrono_literals;
using namespace std::string_literals;
using testsupport::PtyPair;

std::string file_bytes(std::size_t size) {
  std::mt19937 random(static_cast<unsigned>(size));
  std::string bytes(size, '\0');
  for (char& byte : bytes) byte = static_cast<char>(random());
  bytes[size / 2] = '\xFF';
  return bytes;
}

// A clock a test moves by hand.
class ManualClock final : public serial::Clock {
 public:
  std::uint32_t now_ms() override { return now_; }
  void advance(std::uint32_t ms) { now_ += ms; }

 private:
  std::atomic<std::uint32_t> now_{1000};
};

// Real time until frozen; then no wait measured on it can end by time.
class FreezableClock final : public serial::Clock {
 public:
  std::uint32_t now_ms() override { return frozen_ ? at_.load() : serial::steady_clock().now_ms(); }
  void freeze() {
    at_ = serial::steady_clock().now_ms();
    frozen_ = true;
  }

 private:
  std::atomic<bool> frozen_{false};
  std::atomic<std::uint32_t> at_{0};
};

// The engine's and the dump's clock for one test; the system's again afterwards, however it ends.
struct ClocksInUse {
  ClocksInUse(serial::Clock& engine, serial::Clock& dump) {
    xySetClock(engine);
    hex_dump_set_clock(dump);
  }
  ~ClocksInUse() {
    xySetClock(serial::steady_clock());
    hex_dump_set_clock(serial::steady_clock());
  }
  ClocksInUse(const ClocksInUse&) = delete;
  ClocksInUse& operator=(const ClocksInUse&) = delete;
};

class TransferTest : public testsupport::DialogTest {
 protected:
  std::string path(const std::string& name) const { return (folder_ / name).string(); }
  std::string progress() const { return host.text(IDT_PROGRESS); }
  void start(int protocol, bool send, const std::string& file) {
    host.choose(IDC_PROTOCOL, protocol);
    host.click(send ? IDR_SENDFILE : IDR_GETFILE);
    host.queue_file_answer(file);
    host.click(IDB_GO_FILE);
  }
  // Lets the clock run until the progress line reads `text`.
  bool shows(const std::string& text, std::chrono::milliseconds limit = 10s) {
    return host.run_until([&] { return progress() == text; }, limit);
  }
};

// lrzsz at the far end of a line paced at 115200 bit/s, on pipes.
struct Lrzsz {
  Lrzsz(const linesim::Pty& line, const xmodemrun::Peer& peer, const std::string& dir)
      : program(peer.argv, dir, dir + "/.peer.log"), relay(line.end(), program.end(), paced()) {
    // Our port is closed and opened again at Start: the child must not hold a copy of it then.
    EXPECT_TRUE(program.wait_started(10000));
  }
  static linesim::Options paced() {
    linesim::Options options;
    options.baud = 115200;
    return options;
  }
  linesim::Program program;
  linesim::Relay relay;
};

TEST_F(TransferTest, XModem1KWithLrzszBothWaysShowsItsProgressAndGivesThePortBackAsTheDialogSetsIt) {
  linesim::Pty line;
  serial::bind_device(0, line.slave_path());
  PtyPair& port_b = ports.bind_pty(1);
  host.init();
  // Settings that a re-open with the library's defaults would lose.
  host.choose(IDC_SPEED1, 8);   // 57600
  host.choose(IDC_STOP1, 1);    // 2
  host.choose(IDC_PARITY1, 3);  // MARK (a pty drops PARENB and keeps the rest)
  host.choose(IDC_FLOW1, 0);    // RTS
  const std::string original = file_bytes(6000);
  const std::string ours = path("ours.bin");
  xmodemrun::write_file(ours, original);

  for (const bool send : {true, false}) {
    SCOPED_TRACE(send ? "send to rx -c" : "get from sx -k");
    const std::string dir = path(send ? "rx" : "sx");
    std::filesystem::create_directories(dir);
    if (!send) xmodemrun::write_file(dir + "/file.bin", original);
    // Getting into the file just sent: the prompt asks before replacing it.
    if (!send) host.queue_replace_answer(true);
    Lrzsz peer(line, send ? xmodemrun::rx(xmodemrun::Check::Crc1K, "file.bin")
                          : xmodemrun::sx(xmodemrun::Check::Crc1K, "file.bin"), dir);
    start(HEX_XMODEM_1K, send, ours);
    port_b.write("B");
    std::vector<std::string> texts;
    bool b_shown_meanwhile = false;
    ASSERT_TRUE(host.run_until([&] {
      if (texts.empty() || texts.back() != progress()) texts.push_back(progress());
      b_shown_meanwhile = b_shown_meanwhile || (hex_xmodem_busy && shown().find(" 42") != std::string::npos);
      return !hex_xmodem_busy;
    }, 30s));
    EXPECT_EQ(peer.program.wait(10000), 0) << xmodemrun::read_file(dir + "/.peer.log");
    EXPECT_TRUE(xmodemrun::is_padded_copy(xmodemrun::read_file(send ? dir + "/file.bin" : ours), original));

    ASSERT_GE(texts.size(), 3u) << testing::PrintToString(texts);
    EXPECT_EQ(texts.front(), "X-Modem 1K Negotiating... ");
    EXPECT_EQ(texts.back(), "X-Modem Completed ");
    for (std::size_t i = 1; i + 1 < texts.size(); ++i) {
      int packet = 0;
      ASSERT_EQ(std::sscanf(texts[i].c_str(), "Packets = %d ", &packet), 1) << texts[i];
      EXPECT_EQ(texts[i], "Packets = " + std::to_string(packet) + " ");
      if (i > 1) {
        EXPECT_LT(std::stoi(texts[i - 1].substr(10)), packet);
      }
    }
    EXPECT_TRUE(b_shown_meanwhile);
    port_b.write("b");
    host.set_text(IDT_SCREEN, "");
    ASSERT_TRUE(host.run_until([&] { return shown() == " 62"; }, 5s));
  }
  EXPECT_EQ(host.replace_questions(), std::vector<std::string>{ours});

  const serialtest::LineReadback settings = serialtest::read_line(serial::native_handle(0));
  EXPECT_EQ(settings.rate, 57600u);
  EXPECT_TRUE(settings.cstopb);
  EXPECT_TRUE(settings.parodd && settings.cmspar);
  EXPECT_TRUE(settings.crtscts);
  EXPECT_EQ(SioDTR(0, 'R'), DtrMask);
  EXPECT_EQ(SioRTS(0, 'R'), 0);
  // The pump reads Port A again.
  host.set_text(IDT_SCREEN, "");
  ASSERT_EQ(::write(line.master(), "A", 1), 1);
  EXPECT_TRUE(host.run_until([&] { return shown() == " 41"; }, 5s)) << shown();
  EXPECT_TRUE(host.enabled(IDC_SPEED1));
  EXPECT_TRUE(host.enabled(IDB_GO_FILE));
}

TEST_F(TransferTest, AbortWakesATransferWhosePeerStoppedAnsweringAndThePortServesAgain) {
  PtyPair& far = ports.bind_pty(0);
  static FreezableClock clock;  // outlives a transfer a failed assertion leaves running
  const ClocksInUse clocks(clock, serial::steady_clock());
  host.init();
  xmodemrun::write_file(path("out.bin"), file_bytes(1000));
  start(HEX_XMODEM_CRC, true, path("out.bin"));
  // The far end asks for CRC packets, takes the first, then goes silent with the engine's clock
  // stopped: from then on only Abort's wake can end the engine's wait for an answer.
  far.write("C");
  EXPECT_EQ(far.read(133, 5s).size(), 133u);
  clock.freeze();
  far.write("\x06");
  EXPECT_EQ(far.read(133, 5s).size(), 133u);
  ASSERT_TRUE(shows("Packets = 2 "));
  EXPECT_FALSE(host.enabled(IDC_SPEED1));
  EXPECT_FALSE(host.enabled(IDB_GO_FILE));

  // Port A is the transfer's: keys and messages are refused.
  host.screen().character('k');
  EXPECT_EQ(progress(), "Port A is busy with a transfer");
  host.set_text(IDC_MSG, "41");
  host.click(IDB_SEND);
  EXPECT_EQ(far.read(1, 200ms), "");
  EXPECT_EQ(shown(), "");

  host.click(IDB_ABORT);
  EXPECT_TRUE(shows("X-Modem Aborted "));
  host.screen().character('k');
  EXPECT_EQ(far.read(1), "k");
  far.write("Z");
  EXPECT_TRUE(host.run_until([&] { return shown() == "k 5A"; }, 5s)) << shown();
}

TEST(TransferDeviceLost, ATransferOrDumpWhoseDeviceGoesEndsWithItsFailureAndShowsThePortAbsent) {
  const struct {
    int protocol;
    const char* outcome;  // its beginning
  } rows[] = {{HEX_XMODEM_CRC, "X-Modem Failed: "}, {HEX_DUMP, "Dump Stopped: 0 bytes received "}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.protocol);
    testsupport::TerminalPorts ports;
    PtyPair& far = ports.bind_pty(0);
    platform::HeadlessHost host(quillport_dialog(), DialogFunc);
    host.init();
    host.choose(IDC_PROTOCOL, row.protocol);
    host.click(IDR_GETFILE);
    host.queue_file_answer((std::filesystem::temp_directory_path() / "quillport-lost.bin").string());
    host.click(IDB_GO_FILE);
    if (row.protocol != HEX_DUMP) {
      EXPECT_EQ(far.read(1, 5s), "C");
    }
    far.close_master();
    EXPECT_TRUE(host.run_until([&] { return !hex_xmodem_busy && !hex_dump_busy; }, 10s));
    EXPECT_EQ(host.text(IDT_PROGRESS).rfind(row.outcome, 0), 0u) << host.text(IDT_PROGRESS);
    EXPECT_EQ(hex_obj[0].present, 0);
    EXPECT_EQ(host.check(IDC_COM1_STATE), platform::Check::Indeterminate);
    EXPECT_NE(host.tooltip(IDC_COM1_STATE).find("stopped answering"), std::string::npos);
    host.click(IDCANCEL);
    std::filesystem::remove(std::filesystem::temp_directory_path() / "quillport-lost.bin");
  }
}

TEST_F(TransferTest, ASendDumpMovesTheWholeFileFromItsStartPortAndRefusesASecondStart) {
  PtyPair& far_a = ports.bind_pty(0);
  PtyPair& far_b = ports.bind_pty(1);
  host.init();
  const std::string original = file_bytes(5000);
  xmodemrun::write_file(path("dump.bin"), original);
  start(HEX_DUMP, true, path("dump.bin"));
  EXPECT_EQ(progress(), "Send file... ");

  ASSERT_TRUE(host.fire_timer(HEX_DUMP_TIMER));
  EXPECT_EQ(progress(), "Bytes = 2048 ");
  EXPECT_EQ(far_a.read(2048), original.substr(0, 2048));
  // Neither another send port nor another Start changes the running dump.
  host.click(IDR_COM2);
  host.queue_file_answer(path("other.bin"));
  host.command(IDB_GO_FILE);
  EXPECT_EQ(host.prompt_titles().size(), 1u);
  while (hex_dump_busy) ASSERT_TRUE(host.fire_timer(HEX_DUMP_TIMER));
  EXPECT_EQ(progress(), "Dump Completed ");
  EXPECT_EQ(far_a.read(5000 - 2048), original.substr(2048));
  EXPECT_EQ(far_b.read(1, 100ms), "");
  EXPECT_EQ(host.prompt_titles(), std::vector<std::string>{"Select or enter a File to transfer"});
}

TEST_F(TransferTest, ADumpEndsAfterFifteenSecondsWithoutDataOrEarlyAndSaysHowFarItGot) {
  PtyPair& far = ports.bind_pty(0);
  ManualClock clock;
  const ClocksInUse clocks(serial::steady_clock(), clock);
  host.init();
  xmodemrun::write_file(path("out.bin"), file_bytes(5000));

  // Receiving: each byte that arrives gives it another 15 s.
  start(HEX_DUMP, false, path("in.bin"));
  EXPECT_EQ(progress(), "Get file... ");
  const struct {
    std::string arrives;
    std::uint32_t later_ms;
    const char* shown;
  } ticks[] = {{"\xFF\x00"s "a", 0, "Bytes = 3 "}, {"", 14999, "Bytes = 3 "}, {"b", 0, "Bytes = 4 "},
               {"", 14999, "Bytes = 4 "},         {"", 1, "Dump Completed "}};
  for (const auto& tick : ticks) {
    const std::string& bytes = tick.arrives;
    far.write(bytes);
    ASSERT_TRUE(testsupport::wait_until([&] { return SioRxQue(0) >= static_cast<int>(bytes.size()); }));
    clock.advance(tick.later_ms);
    host.fire_timer(HEX_DUMP_TIMER);
    EXPECT_EQ(progress(), tick.shown);
  }
  EXPECT_EQ(testsupport::read_file(folder_ / "in.bin"), "\xFF\x00"s "ab");

  // Sending, ended before the end of its file: by Abort, or by a far end that takes nothing more
  // (a pty always reports an empty transmit queue, so the write gives up within its bound).
  host.choose(IDC_SPEED1, 9);  // 115200: the bound is a second and the bytes' time
  for (const bool abort : {true, false}) {
    start(HEX_DUMP, true, path("out.bin"));
    host.fire_timer(HEX_DUMP_TIMER);
    if (abort) {
      host.click(IDB_ABORT);
    } else {
      testsupport::fill_until_full(serial::native_handle(0));
      host.fire_timer(HEX_DUMP_TIMER);
    }
    EXPECT_EQ(progress().rfind("Dump Stopped: 2048 of 5000 bytes sent ", 0), 0u) << progress();
    EXPECT_FALSE(hex_dump_busy);
    far.read(1 << 20, 100ms);
  }
}

TEST_F(TransferTest, ATransferThatCannotRunSaysWhy) {
  ports.bind_pty(0);
  host.init();
  // A cancelled prompt: a dump does nothing; XMODEM has no file to open.
  start(HEX_DUMP, true, "");
  EXPECT_EQ(progress(), "");
  host.queue_file_answer(std::nullopt);
  host.choose(IDC_PROTOCOL, HEX_XMODEM);
  host.click(IDB_GO_FILE);
  EXPECT_EQ(progress(), "X-Modem Negotiating... ");
  EXPECT_TRUE(shows("X-Modem Failed: Cannot open file "));
  // A file that cannot be read is reported.
  start(HEX_DUMP, true, path("missing.bin"));
  ASSERT_EQ(host.message_boxes().size(), 1u);
  EXPECT_EQ(host.message_boxes()[0].text, "Dump File open error = 2\n" + path("missing.bin") + ": No such file or directory");
  EXPECT_FALSE(hex_dump_busy);
}

}  // namespace
