// The state machine against a far end the test plays byte by byte: packet numbers, missing bytes,
// batch file names, the time-outs (on a test clock) and the abort request from another thread.
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "tests/xmodem/xy_engine_fixture.h"
#include "tools/xmodem_run/xmodem_run.h"

namespace {

using namespace std::chrono_literals;
using xmodemrun::read_file;
using xmodemrun::write_file;
using xmodemtest::EngineOnPty;
using xmodemtest::SteppingClock;

const std::string kAck(1, static_cast<char>(ACK));
const std::string kNak(1, static_cast<char>(NAK));
const std::string kEot(1, static_cast<char>(EOT));

std::string Data(int number) { return std::string(128, static_cast<char>('a' + number)); }

using XmodemReceive = EngineOnPty;

TEST_F(XmodemReceive, EachPacketIsWrittenOnceAndOnlyInOrder) {
  const struct {
    const char* what;
    std::vector<int> sent;
    int outcome;
    std::string file;
  } cases[] = {
      {"in order", {1, 2}, 0, Data(1) + Data(2)},
      {"a repeat (our ACK lost) is ACKed, not written again", {1, 1, 2}, 0, Data(1) + Data(2)},
      {"a packet ahead ends the transfer", {1, 3}, XY_BAD_PACKET_NBR_ERROR, Data(1)},
      {"packet 0 is no repeat of anything", {0}, XY_BAD_PACKET_NBR_ERROR, ""},
  };
  for (const auto& c : cases) {
    ASSERT_EQ(xyStartRx(kPort, "got.bin", static_cast<char>(NAK), 0), 1);
    std::thread sender([&] {
      if (!Await(kNak)) return;
      for (const int number : c.sent) {
        pty_.write(Packet(number, Data(number)));
        if (Take(1) != kAck) return;
      }
      pty_.write(kEot);
      Take(1);
    });
    EXPECT_EQ(Drive(), c.outcome) << c.what;
    sender.join();
    EXPECT_EQ(read_file("got.bin"), c.file) << c.what;
  }
}

TEST_F(XmodemReceive, APacketWhoseBytesStopIsNakedAfterOneWait) {
  ASSERT_EQ(xyStartRx(kPort, "got.bin", static_cast<char>(NAK), 0), 1);
  std::string answer;
  std::thread sender([&] {
    if (!Await(kNak)) return;
    const std::string whole = Packet(1, Data(1));
    pty_.write(whole.substr(0, 100));  // 28 data bytes and the checksum never come
    // One wait of 1.5 s, not one per missing byte (which would be 45 s).
    answer = Take(1, 10s);
    pty_.write(whole);
    if (Take(1) != kAck) return;
    pty_.write(kEot);
    Take(1);
  });
  EXPECT_EQ(Drive(), 0);
  sender.join();
  EXPECT_EQ(answer, kNak);
  EXPECT_EQ(xyGetParameter(kPort, XY_GET_NBR_NAKS), 1);
  EXPECT_EQ(read_file("got.bin"), Data(1));
}

TEST_F(XmodemReceive, BatchFilesArePlainNewNamesInTheCurrentDirectory) {
  write_file("existing.txt", "keep");
  std::filesystem::create_directory("sub");
  auto header = [](std::string name_and_size) {
    name_and_size.resize(SHORT_PACKET, '\0');
    return name_and_size;
  };
  const struct {
    const char* what;
    std::string header;
    int outcome;
    const char* created;  // the file that must hold the data, or nullptr
    std::string content;
  } cases[] = {
      {"a plain name", header(std::string("plain.txt\0" "5", 11)), 0, "plain.txt", "hello"},
      {"a path up and out keeps only the name", header(std::string("../sub/up.txt\0" "5", 15)), 0,
       "up.txt", "hello"},
      {"a DOS path keeps only the name", header(std::string("C:\\x\\dos.txt\0" "3", 14)), 0, "dos.txt",
       "hel"},
      {"no size: whole packets are kept", header(std::string("nosize.bin\0", 11)), 0, "nosize.bin",
       xmodemrun::padded("hello", 128)},
      {"a name that is only a path", header(std::string("/etc/\0" "5", 7)), XY_CANNOT_OPEN_ERROR,
       nullptr, ""},
      {"the parent directory", header(std::string("..\0" "5", 4)), XY_CANNOT_OPEN_ERROR, nullptr, ""},
      {"this directory", header(std::string("sub/.\0" "5", 7)), XY_CANNOT_OPEN_ERROR, nullptr, ""},
      {"no NUL in the packet", std::string(128, 'n'), XY_CANNOT_OPEN_ERROR, nullptr, ""},
      {"a file already there", header(std::string("existing.txt\0" "5", 14)), XY_CANNOT_OPEN_ERROR,
       "existing.txt", "keep"},
  };
  for (const auto& c : cases) {
    ASSERT_EQ(xyStartRx(kPort, nullptr, static_cast<char>(NAK), 1), 1);
    std::thread sender([&] {
      if (!Await(kNak)) return;
      pty_.write(Packet(0, c.header));
      if (Take(1) != kAck || Take(1) != kNak) return;  // restart before packet 1
      pty_.write(Packet(1, "hello"));
      if (Take(1) != kAck) return;
      pty_.write(kEot);
      if (Take(1) != kAck || Take(1) != kNak) return;
      pty_.write(Packet(0, header("")));  // the batch ends
      Take(1);
    });
    EXPECT_EQ(Drive(), c.outcome) << c.what;
    sender.join();
    if (c.created == nullptr) continue;
    EXPECT_EQ(read_file(c.created), c.content) << c.what;
    if (c.outcome == 0) std::filesystem::remove(c.created);
  }
  // Nothing was created anywhere but under the plain names.
  EXPECT_FALSE(std::filesystem::exists("sub/up.txt"));
  EXPECT_FALSE(std::filesystem::exists("../up.txt"));
}

TEST_F(EngineOnPty, NamesTooLongForTheRecordAreRefusedNotCut) {
  const std::string name(XY_FILE_NAME_SIZE + 10, 'n');
  const std::string cut = name.substr(0, XY_FILE_NAME_SIZE - 1);
  write_file(cut, "other file");
  ASSERT_EQ(xyStartRx(kPort, name.c_str(), 'C', 0), 1);
  EXPECT_EQ(Drive(), XY_CANNOT_OPEN_ERROR);
  ASSERT_EQ(xyStartTx(kPort, name.c_str(), 0, 0), 1);
  EXPECT_EQ(Drive(), XY_CANNOT_OPEN_ERROR);
  EXPECT_EQ(read_file(cut), "other file");
}

// A FIFO with no other end is refused at once, never waited for where Abort cannot reach.
TEST_F(EngineOnPty, AFifoWithNoOtherEndIsRefusedWithoutWaiting) {
  ASSERT_EQ(::mkfifo("pipe", 0600), 0);
  ASSERT_EQ(xyStartRx(kPort, "pipe", 'C', 0), 1);
  EXPECT_EQ(Drive(), XY_CANNOT_OPEN_ERROR);
  ASSERT_EQ(xyStartTx(kPort, "pipe", 0, 0), 1);
  EXPECT_EQ(Drive(), XY_CANNOT_OPEN_ERROR);
}

TEST_F(EngineOnPty, SenderTimeOutsOnTheEnginesClock) {
  // No receiver for 60 s: a minute passes in a few readings of the test clock.
  SteppingClock minutes_fly(5000);
  xySetClock(minutes_fly);
  write_file("out.bin", "0123456789");
  ASSERT_EQ(xyStartTx(kPort, "out.bin", 0, 0), 1);
  EXPECT_EQ(Drive(), XY_NO_STARTUP_CHAR_ERROR);
  EXPECT_EQ(xyGetParameter(kPort, XY_GET_ERROR_STATE), TX_WAIT4_NCG);
  EXPECT_EQ(Take(3, 200ms), std::string(3, static_cast<char>(CAN)));

  // An EOT that is never ACKed goes out 10 times, then the transfer fails.
  SteppingClock seconds_fly(100);
  xySetClock(seconds_fly);
  pty_.write(kNak);
  ASSERT_EQ(xyStartTx(kPort, "out.bin", 0, 0), 1);
  int eots = 0;
  std::thread receiver([&] {
    if (Take(3 + 128 + 1, 10s).size() != 132) return;
    pty_.write(kAck);
    for (std::string byte; (byte = Take(1, 10s)) == kEot;) ++eots;
  });
  EXPECT_EQ(Drive(), XY_NO_EOT_ACK_ERROR);
  receiver.join();
  EXPECT_EQ(eots, 10);
}

TEST_F(EngineOnPty, EachFailureSaysWhichWaitPacketAndByte) {
  write_file("out.bin", Data(1) + Data(2));
  std::string bad_complement = Packet(1, Data(1));
  bad_complement[2] = 0x00;
  const struct {
    const char* what;
    bool send;
    std::string far_end;       // written once the engine has asked (receive) or at once (send)
    std::string after_packet;  // written once the sender's first packet has come
    int outcome;
    std::string reason;
    // Milliseconds a reading of the clock moves on: a second makes each wait end after a few real
    // slices; a wait for a byte the test writes after a real delay has 10 ms, some seconds of real time.
    std::uint32_t clock_step = 1000;
  } cases[] = {
      {"a sender's start character never comes", true, "x", "", XY_NO_STARTUP_CHAR_ERROR,
       "no NAK or 'C' for 60 s (last came 78)"},
      {"a packet is never answered", true, kNak, "", XY_TIMED_OUT_ERROR, "no ACK or NAK for packet 1 within 10 s"},
      {"a packet is answered with a stray byte", true, kNak, "A", XY_OUT_OF_SYNC_ERROR,
       "packet 1 answered with 41, not ACK or NAK", 10},
      {"the next packet never starts", false, Packet(1, Data(1)), "", XY_TIMED_OUT_ERROR,
       "packet 2 did not start within 4 s"},
      {"a packet stops after its start", false, std::string(1, static_cast<char>(SOH)), "", XY_TIMED_OUT_ERROR,
       "the number of packet 1 did not come within 6 s"},
      {"a packet number and complement disagree", false, bad_complement, "", XY_BAD_PACKET_NBR_ERROR,
       "packet 1 came numbered 01, complement 00"},
      {"a packet starts with another byte", false, Packet(1, Data(1)) + "Z", "", XY_OUT_OF_SYNC_ERROR,
       "5A came where packet 2 should start"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    SteppingClock clock(c.clock_step);
    xySetClock(clock);
    char text[MESSAGE_SIZE];
    while (xyGetMessage(text, sizeof text)) {
    }
    if (c.send) {
      ASSERT_EQ(xyStartTx(kPort, "out.bin", 0, 0), 1);
      pty_.write(c.far_end);
    } else {
      ASSERT_EQ(xyStartRx(kPort, "got.bin", static_cast<char>(NAK), 0), 1);
    }
    std::thread far([&] {
      if (!c.send && Await(kNak)) pty_.write(c.far_end);
      if (c.send && !c.after_packet.empty() && Take(3 + 128 + 1, 10s).size() == 132) pty_.write(c.after_packet);
    });
    EXPECT_EQ(Drive(), c.outcome);
    far.join();
    char reason[XY_REASON_SIZE];
    xyGetReason(reason, sizeof reason);
    EXPECT_EQ(std::string(reason), c.reason);
    std::vector<std::string> queued;
    while (xyGetMessage(text, sizeof text)) queued.emplace_back(text);
    EXPECT_TRUE(std::find(queued.begin(), queued.end(), "!COM1: " + c.reason) != queued.end())
        << testing::PrintToString(queued);
    xySetClock(serial::steady_clock());
    Take(1 << 16, 100ms);
    unread_.clear();
  }
  // A new transfer forgets the reason of the one before.
  ASSERT_EQ(xyStartTx(kPort, "out.bin", 0, 0), 1);
  xyAbort(kPort);
  char reason[XY_REASON_SIZE] = "x";
  xyGetReason(reason, sizeof reason);
  EXPECT_EQ(std::string(reason), "");
}

TEST_F(EngineOnPty, AnAbortRequestEndsTheWaitFromAnotherThread) {
  // A request made before the start is forgotten by it.
  xyRequestAbort(kPort);
  ASSERT_EQ(xyStartRx(kPort, "got.bin", static_cast<char>(NAK), 0), 1);
  std::thread sender([&] {
    if (!Await(kNak)) return;
    pty_.write(kEot);
    Take(1);
  });
  EXPECT_EQ(Drive(), 0);
  sender.join();

  // Time stands still: only the request can end this wait.
  SteppingClock stopped(0);
  xySetClock(stopped);
  ASSERT_EQ(xyStartRx(kPort, "got.bin", static_cast<char>(NAK), 0), 1);
  std::thread ui([&] {
    if (Await(kNak)) xyRequestAbort(kPort);
  });
  EXPECT_EQ(Drive(), XY_ABORTED_ERROR);
  ui.join();
  EXPECT_EQ(xyGetParameter(kPort, XY_GET_STATE), XY_IDLE);
  EXPECT_EQ(Take(1, 200ms), "");  // an abort sends nothing
}

}  // namespace
