// File transfers in the real dialog: XMODEM against lrzsz over a paced line, Abort against a far end
// that stops answering, raw dumps tick by tick, and a device that goes away during either.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <optional>
#include <utility>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "core/hex.h"
#include "core/hex_dump.h"
#include "core/port_claim.h"
#include "serial/deadline.h"
#include "serial/devices.h"
#include "serial/ser.h"
#include "tests/serial/line_readback.h"
#include "tests/shell/shell_fixture.h"
#include "tools/xmodem_run/xmodem_run.h"
#include "xmodem/serxydrv.h"
#include "xmodem/xy_packet.h"

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

// Real time until frozen; then it moves only when a test moves it.
class TestClock final : public serial::Clock {
 public:
  std::uint32_t now_ms() override { return frozen_ ? at_.load() : serial::steady_clock().now_ms(); }
  void freeze() {
    at_ = now_ms();
    frozen_ = true;
  }
  void advance(std::uint32_t ms) { at_ += ms; }

 private:
  std::atomic<bool> frozen_{false};
  std::atomic<std::uint32_t> at_{0};
};

class TransferTest : public testsupport::DialogTest {
 protected:
  // The engine and the dump measure time on `clock`; the system's clock again afterwards.
  TransferTest() {
    xySetClock(clock);
    hex_dump_set_clock(clock);
  }
  ~TransferTest() override {
    host.click(IDCANCEL);  // a transfer still running ends before its clock does
    xySetClock(serial::steady_clock());
    hex_dump_set_clock(serial::steady_clock());
  }
  std::string path(const std::string& name) const { return (folder_ / name).string(); }
  std::string progress() const { return host.text(IDT_PROGRESS); }
  void start(int protocol, bool send, std::optional<std::string> file) {
    host.choose(IDC_PROTOCOL, protocol);
    host.click(send ? IDR_SENDFILE : IDR_GETFILE);
    host.queue_file_answer(std::move(file));
    host.click(IDB_GO_FILE);
  }
  // Lets the clock run until the progress line reads `text`.
  bool shows(const std::string& text) { return host.run_until([&] { return progress() == text; }, 10s); }

  TestClock clock;
};

// lrzsz at the far end of a line paced at 115200 bit/s, on pipes.
struct Lrzsz {
  Lrzsz(const linesim::Pty& line, const xmodemrun::Peer& peer, const std::string& dir)
      : program(peer.argv, dir, dir + "/.peer.log"), relay(line.end(), program.end(), paced()) {
    // Our port is closed and opened again at Start: the child must not hold a copy of it then.
    EXPECT_TRUE(program.wait_started(10000));
  }
  static linesim::Options paced() {
    linesim::Options line;
    line.baud = 115200;
    return line;
  }
  linesim::Program program;
  linesim::Relay relay;
};

TEST_F(TransferTest, XModem1KWithLrzszBothWaysShowsItsProgressAndGivesThePortBackAsTheDialogSetsIt) {
  linesim::Pty line;
  serial::bind_device(0, line.slave_path());
  PtyPair& port_b = ports.bind_pty(1);
  host.init();
  // Settings a re-open with the library's defaults would lose (a pty keeps all but PARENB of them).
  for (const auto& [id, entry] : {std::pair{IDC_SPEED1, 8}, {IDC_STOP1, 1}, {IDC_PARITY1, 3}, {IDC_FLOW1, 0}})
    host.choose(id, entry);  // 57600, 2 stop bits, MARK, RTS
  const std::string original = file_bytes(6000);
  const std::string ours = path("ours.bin");
  xmodemrun::write_file(ours, original);

  host.queue_replace_answer(true);  // the get goes into the file sent
  for (const bool send : {true, false}) {
    SCOPED_TRACE(send ? "send to rx -c" : "get from sx -k");
    const std::string dir = path(send ? "rx" : "sx");
    std::filesystem::create_directories(dir);
    if (!send) xmodemrun::write_file(dir + "/file.bin", original);
    Lrzsz peer(line, (send ? xmodemrun::rx : xmodemrun::sx)(xmodemrun::Check::Crc1K, "file.bin"), dir);
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
    EXPECT_TRUE(b_shown_meanwhile);
    // Negotiating, the packet numbers rising, the outcome.
    ASSERT_GE(texts.size(), 3u) << testing::PrintToString(texts);
    EXPECT_EQ(texts.front(), "X-Modem 1K Negotiating... ");
    EXPECT_EQ(texts.back(), "X-Modem Completed ");
    for (std::size_t i = 1, last = 0; i + 1 < texts.size(); ++i) {
      const std::size_t packet = std::strtoul(texts[i].c_str() + 10, nullptr, 10);
      EXPECT_EQ(texts[i], "Packets = " + std::to_string(packet) + " ");
      EXPECT_GT(packet, std::exchange(last, packet));
    }
  }
  EXPECT_EQ(host.replace_questions(), std::vector<std::string>{ours});

  const serialtest::LineReadback settings = serialtest::read_line(serial::native_handle(0));
  EXPECT_EQ(settings.rate, 57600u);
  EXPECT_TRUE(settings.cstopb && settings.parodd && settings.cmspar && settings.crtscts);
  EXPECT_EQ(SioDTR(0, 'R'), DtrMask);
  EXPECT_EQ(SioRTS(0, 'R'), 0);
  host.set_text(IDT_SCREEN, "");
  ASSERT_EQ(::write(line.master(), "A", 1), 1);
  EXPECT_TRUE(host.run_until([&] { return shown() == " 41"; }, 5s)) << "the pump reads Port A again";
  EXPECT_TRUE(host.enabled(IDC_SPEED1) && host.enabled(IDB_GO_FILE));
}

TEST_F(TransferTest, AbortWakesATransferWhosePeerStoppedAnsweringAndThePortServesAgain) {
  PtyPair& far = ports.bind_pty(0);
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
  EXPECT_FALSE(host.enabled(IDC_SPEED1) || host.enabled(IDB_GO_FILE));

  host.screen().character('k');
  EXPECT_EQ(progress(), "Port A is busy with a transfer");
  EXPECT_EQ(far.read(1, 200ms), "");
  EXPECT_EQ(shown(), "");

  host.click(IDB_ABORT);
  EXPECT_TRUE(shows("X-Modem Aborted "));
  host.screen().character('k');
  EXPECT_EQ(far.read(1), "k");
  far.write("Z");
  EXPECT_TRUE(host.run_until([&] { return shown() == "k 5A"; }, 5s)) << shown();
}

TEST_F(TransferTest, ATransferOrDumpWhoseDeviceGoesEndsWithItsFailureAndShowsThePortAbsent) {
  PtyPair* far = &ports.bind_pty(0);
  host.init();
  const std::pair<int, const char*> rows[] = {{HEX_XMODEM_CRC, "X-Modem Failed: "},
                                              {HEX_DUMP, "Dump Stopped: 0 bytes received "}};
  for (const auto& [protocol, outcome] : rows) {
    start(protocol, false, path("lost" + std::to_string(protocol)));
    if (protocol != HEX_DUMP) {
      EXPECT_EQ(far->read(1, 5s), "C");
    }
    far->close_master();
    EXPECT_TRUE(host.run_until([&] { return !hex_xmodem_busy && !hex_dump_busy; }, 10s));
    EXPECT_EQ(progress().rfind(outcome, 0), 0u) << progress();
    EXPECT_EQ(host.check(IDC_COM1_STATE), platform::Check::Indeterminate);
    EXPECT_NE(host.tooltip(IDC_COM1_STATE).find("stopped answering"), std::string::npos);
    // Port A on a new device.
    far = &ports.bind_pty(2);
    host.choose(IDC_PORTA, 2);
  }
}

TEST_F(TransferTest, APortFreedDuringATransferOnTheOtherPortComesUpWithoutWaitingForItsEnd) {
  PtyPair& far_a = ports.bind_pty(0);
  PtyPair& com2 = ports.bind_pty(1);
  const int holder = ::open(com2.slave_path().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  ASSERT_EQ(::flock(holder, LOCK_EX | LOCK_NB), 0);
  host.init();
  ASSERT_EQ(hex_obj[1].present, 0);
  start(HEX_XMODEM_CRC, false, path("in.bin"));
  EXPECT_EQ(far_a.read(1, 5s), "C");  // an idle Get asks for packets until it is aborted

  ::close(holder);
  EXPECT_TRUE(host.run_until([] { return hex_obj[1].present != 0; }, 10s));
  EXPECT_EQ(hex_xmodem_busy, 1);
  EXPECT_EQ(host.check(IDC_COM2_STATE), platform::Check::Checked);
  com2.write("B");
  EXPECT_TRUE(host.run_until([&] { return shown() == " 42"; }, 5s)) << shown();
  host.click(IDB_ABORT);
  EXPECT_TRUE(shows("X-Modem Aborted "));
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

  host.click(IDR_COM2);
  host.queue_file_answer(path("other.bin"));
  host.command(IDB_GO_FILE);
  while (hex_dump_busy) ASSERT_TRUE(host.fire_timer(HEX_DUMP_TIMER));
  EXPECT_EQ(progress(), "Dump Completed ");
  EXPECT_EQ(far_a.read(5000 - 2048), original.substr(2048));
  EXPECT_EQ(far_b.read(1, 100ms), "");
  EXPECT_EQ(host.prompt_titles(), std::vector<std::string>{"Select or enter a File to transfer"});
}

// A FIFO is read and written without waiting: the window never stops for the other end of a pipe.
TEST_F(TransferTest, ADumpOfAFifoNeverHoldsTheWindow) {
  PtyPair& far_a = ports.bind_pty(0);
  host.init();
  const std::string fifo = path("pipe");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  start(HEX_DUMP, false, fifo);  // nobody reads it: refused at once
  ASSERT_EQ(host.message_boxes().size(), 1u);
  EXPECT_EQ(host.message_boxes()[0].text, "Dump File open error = 6\n" + fifo + ": No such device or address");
  const int writer = ::open(fifo.c_str(), O_RDWR | O_CLOEXEC);  // an open writer with nothing written yet
  ASSERT_GE(writer, 0);
  start(HEX_DUMP, true, fifo);
  ASSERT_TRUE(host.fire_timer(HEX_DUMP_TIMER));
  EXPECT_EQ(progress(), "Send file... ");
  ASSERT_EQ(::write(writer, "abc", 3), 3);
  ASSERT_TRUE(host.fire_timer(HEX_DUMP_TIMER));
  EXPECT_EQ(progress(), "Bytes = 3 ");
  EXPECT_EQ(far_a.read(3), "abc");
  ::close(writer);
  ASSERT_TRUE(host.fire_timer(HEX_DUMP_TIMER));
  EXPECT_EQ(progress(), "Dump Completed ");
}

TEST_F(TransferTest, ADumpEndsAfterFifteenSecondsWithoutDataOrEarlyAndSaysHowFarItGot) {
  PtyPair& far = ports.bind_pty(0);
  host.init();
  clock.freeze();
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
    far.write(tick.arrives);
    ASSERT_TRUE(testsupport::wait_until([&] { return SioRxQue(0) >= static_cast<int>(tick.arrives.size()); }));
    clock.advance(tick.later_ms);
    host.fire_timer(HEX_DUMP_TIMER);
    EXPECT_EQ(progress(), tick.shown);
  }
  EXPECT_EQ(testsupport::read_file(folder_ / "in.bin"), "\xFF\x00"s "ab");

  // Sending, ended before the end of its file: by Abort, or by a far end that takes nothing more
  // (a pty reports an empty transmit queue, so the write gives up within its bound).
  xmodemrun::write_file(path("out.bin"), file_bytes(5000));
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
    EXPECT_EQ(progress(), "Dump Stopped: 2048 of 5000 bytes sent ");
    far.read(1 << 20, 100ms);
  }
}

// Packet `number` of 128 bytes with its CRC, as a sender in CRC mode puts it on the line.
std::string crc_packet(int number, const std::string& data) {
  std::string packet{static_cast<char>(SOH), static_cast<char>(number), static_cast<char>(255 - number)};
  std::uint16_t crc = 0;
  for (const char byte : data) crc = UpdateCRC(crc, static_cast<std::uint8_t>(byte));
  return packet + data + static_cast<char>(crc >> 8) + static_cast<char>(crc & 0xFF);
}

TEST_F(TransferTest, AGetThatEndsEarlyKeepsWhatItReceivedAndSaysSoButLeavesNoEmptyFile) {
  PtyPair& far = ports.bind_pty(0);
  host.init();
  // Aborted before anything came: the file it made is gone.
  start(HEX_XMODEM_CRC, false, path("none.bin"));
  EXPECT_EQ(far.read(1, 5s), "C");
  host.click(IDB_ABORT);
  EXPECT_TRUE(shows("X-Modem Aborted "));
  EXPECT_FALSE(std::filesystem::exists(path("none.bin")));

  // One packet came, then nothing: the outcome says where it failed and what the file keeps.
  far.read(1 << 16, 100ms);
  clock.freeze();
  start(HEX_XMODEM_CRC, false, path("part.bin"));
  EXPECT_EQ(far.read(1, 5s), "C");
  far.write(crc_packet(1, std::string(128, 'p')));
  EXPECT_EQ(far.read(1, 5s), "\x06");
  const std::string failed =
      "X-Modem Failed: Timed out awaiting incoming character (packet 2 did not start within 4 s); 128 bytes kept ";
  EXPECT_TRUE(host.run_until([&] {
    clock.advance(1000);
    return progress() == failed;
  }, 10s)) << progress();
  EXPECT_EQ(testsupport::read_file(path("part.bin")), std::string(128, 'p'));

  // A receive dump that got nothing leaves no file either.
  start(HEX_DUMP, false, path("dump.bin"));
  EXPECT_EQ(progress(), "Get file... ");
  host.click(IDB_ABORT);
  EXPECT_EQ(progress(), "Dump Completed ");
  EXPECT_FALSE(std::filesystem::exists(path("dump.bin")));
}

TEST_F(TransferTest, ATransferThatCannotRunSaysWhy) {
  ports.bind_pty(0);
  host.init();
  start(HEX_DUMP, true, std::nullopt);  // cancelled: nothing happens
  EXPECT_EQ(progress(), "");
  start(HEX_XMODEM, true, std::nullopt);
  EXPECT_EQ(progress(), "X-Modem Negotiating... ");
  EXPECT_TRUE(shows("X-Modem Failed: Cannot open file (no file was named) "));
  start(HEX_DUMP, true, path("missing.bin"));
  ASSERT_EQ(host.message_boxes().size(), 1u);
  EXPECT_EQ(host.message_boxes()[0].text, "Dump File open error = 2\n" + path("missing.bin") + ": No such file or directory");
}

}  // namespace
