// Our engine against lrzsz (sx, rx) over a pseudo-terminal and linesim, lrzsz on pipes at the far
// end. Every variant both ways with the file sizes around the packet edges; the 100,000-byte file
// also takes the packet number past 255 and back to 0 several times.
#include <unistd.h>

#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "serial/devices.h"
#include "serial/ser.h"
#include "tools/linesim/line_sim.h"
#include "tools/xmodem_run/xmodem_run.h"
#include "xmodem/serxydrv.h"

namespace {

using xmodemrun::Check;
using xmodemrun::is_padded_copy;
using xmodemrun::read_file;
using xmodemrun::write_file;

constexpr int kPort = 0;

std::string RandomBytes(std::size_t size, unsigned seed) {
  std::mt19937 random(seed);
  std::string bytes(size, '\0');
  for (char& byte : bytes) byte = static_cast<char>(random());
  return bytes;
}

std::string EveryByteValue() {
  std::string bytes;
  for (int round = 0; round < 3; ++round)
    for (int value = 0; value < 256; ++value) bytes.push_back(static_cast<char>(value));
  return bytes;
}

// A fresh directory for each side of each transfer (rx and the batch rules never replace files).
class Dirs {
 public:
  Dirs() : root_(std::filesystem::temp_directory_path() / ("quillport-interop-" + std::to_string(::getpid()))) {}
  ~Dirs() { std::filesystem::remove_all(root_); }
  std::string fresh(const std::string& name) {
    const auto dir = root_ / (name + "-" + std::to_string(next_++));
    std::filesystem::create_directories(dir);
    return dir.string();
  }

 private:
  std::filesystem::path root_;
  int next_ = 0;
};

struct Transfer {
  xmodemrun::Result result;
  std::string received;
};

// One transfer of `original` between our engine and lrzsz.
Transfer WithLrzsz(Dirs& dirs, bool we_send, Check check, const std::string& original,
                   const linesim::Options& line = {},
                   const std::function<void()>& each_call = {}) {
  const std::string ours = dirs.fresh("ours");
  const std::string theirs = dirs.fresh("lrzsz");
  Transfer t;
  if (we_send) {
    write_file(ours + "/file.bin", original);
    // rx refuses absolute paths: it runs in its directory with a plain name.
    t.result = xmodemrun::run_engine(kPort, true, check, ours + "/file.bin", xmodemrun::rx(check, "file.bin"),
                                     theirs, line, each_call);
    t.received = read_file(theirs + "/file.bin");
  } else {
    write_file(theirs + "/file.bin", original);
    t.result = xmodemrun::run_engine(kPort, false, check, ours + "/file.bin", xmodemrun::sx(check, "file.bin"),
                                     theirs, line, each_call);
    t.received = read_file(ours + "/file.bin");
  }
  return t;
}

struct Variant {
  const char* name;
  bool we_send;
  Check check;
};

class LrzszInterop : public ::testing::TestWithParam<Variant> {};

TEST_P(LrzszInterop, EveryFileArrivesWholeAndBothSidesAgree) {
  const Variant v = GetParam();
  Dirs dirs;
  std::vector<std::pair<std::string, std::string>> files;
  for (const std::size_t size : {0, 1, 127, 128, 129, 1023, 1024, 1025, 100000})
    files.emplace_back(std::to_string(size) + " bytes", RandomBytes(size, static_cast<unsigned>(size)));
  files.emplace_back("every byte value", EveryByteValue());

  for (const auto& [what, original] : files) {
    const Transfer t = WithLrzsz(dirs, v.we_send, v.check, original);
    SCOPED_TRACE(what + "; lrzsz said: " + t.result.peer_log);
    if (v.we_send && original.empty()) {
      // An empty file is refused before a packet goes out, and rx is told with CAN.
      EXPECT_EQ(t.result.engine, XY_DISK_READ_ERROR);
      EXPECT_NE(t.result.peer, 0);
      continue;
    }
    EXPECT_EQ(t.result.engine, 0);
    EXPECT_EQ(t.result.peer, 0);
    EXPECT_TRUE(is_padded_copy(t.received, original)) << t.received.size() << " bytes received";
  }
}

INSTANTIATE_TEST_SUITE_P(EveryVariant, LrzszInterop,
                         ::testing::Values(Variant{"SendChecksumToRx", true, Check::Sum},
                                           Variant{"SendCrcToRxC", true, Check::Crc},
                                           Variant{"Send1KToRxC", true, Check::Crc1K},
                                           Variant{"GetWithNakFromSx", false, Check::Sum},
                                           Variant{"GetWithCFromSx", false, Check::Crc},
                                           Variant{"Get1KFromSxK", false, Check::Crc1K}),
                         [](const auto& param_info) { return std::string(param_info.param.name); });

TEST(LrzszInteropFaults, The1KSenderFallsBackTo128AfterThreeNaks) {
  Dirs dirs;
  // One flipped bit in the data of packet 2's first three transmissions (1029 bytes each); rx NAKs
  // each. (rx answers a bad packet 1 with 'C', which the next test covers.)
  constexpr std::uint64_t kLong = 3 + 1024 + 2;
  constexpr std::uint64_t kShort = 3 + 128 + 2;
  linesim::Options line;
  line.a_to_b.flip_at = {kLong + 20, 2 * kLong + 20, 3 * kLong + 20};
  int naks = 0;
  auto collect = [&] {
    char text[MESSAGE_SIZE];
    while (xyGetMessage(text, sizeof text))
      if (std::string(text).find("NAKed") != std::string::npos) ++naks;
  };
  xyDebug(DEBUG_ON);
  const std::string original = RandomBytes(6000, 7);
  const Transfer t = WithLrzsz(dirs, true, Check::Crc1K, original, line, collect);
  xyDebug(DEBUG_OFF);
  EXPECT_EQ(t.result.engine, 0);
  EXPECT_EQ(t.result.peer, 0) << t.result.peer_log;
  EXPECT_TRUE(is_padded_copy(t.received, original));
  EXPECT_EQ(naks, 3);
  // On the wire: packet 1, packet 2 four times (1K), then the 3952 bytes left in 31 short packets.
  EXPECT_EQ(t.result.to_peer.bytes, 5 * kLong + 31 * kShort + 1);
}

TEST(LrzszInteropFaults, ABadFirstPacketIsSentAgainWhenRxAsksWithItsStartCharacter) {
  Dirs dirs;
  linesim::Options line;
  line.a_to_b.flip_at = {10};
  const std::string original = RandomBytes(1000, 3);
  const Transfer t = WithLrzsz(dirs, true, Check::Crc, original, line);
  EXPECT_EQ(t.result.engine, 0);
  EXPECT_EQ(t.result.peer, 0) << t.result.peer_log;
  EXPECT_TRUE(is_padded_copy(t.received, original));
  EXPECT_EQ(t.result.to_peer.bytes, 9 * (3 + 128 + 2) + 1);  // packet 1 twice, 7 more, EOT
}

// A few seeded transfers on the noisy line of the long run (tools/xmodem_noise_run does 100 each
// way): whatever fails must say so; nothing may arrive changed with both sides reporting success.
TEST(LrzszInteropFaults, ANoisyLineNeverDeliversAChangedFileAsSuccess) {
  Dirs dirs;
  linesim::Options line;
  line.a_to_b.bit_error_rate = line.b_to_a.bit_error_rate = 1e-4;
  line.a_to_b.drop_rate = line.b_to_a.drop_rate = 1e-4;
  const std::string original = RandomBytes(8 * 1024, 11);
  const struct {
    bool we_send;
    Check check;
  } runs[] = {{true, Check::Crc}, {false, Check::Crc1K}, {true, Check::Crc1K}, {false, Check::Sum}};
  std::uint64_t seed = 100;
  for (const auto& run : runs) {
    line.seed = ++seed;
    const Transfer t = WithLrzsz(dirs, run.we_send, run.check, original, line);
    SCOPED_TRACE("seed " + std::to_string(seed) + " engine " + std::to_string(t.result.engine) + " lrzsz " +
                 std::to_string(t.result.peer));
    const bool receiver_says_done = run.we_send ? t.result.peer == 0 : t.result.engine == 0;
    if (receiver_says_done) {
      EXPECT_TRUE(is_padded_copy(t.received, original));
    }
  }
}

// The current directory is `dir` while this lives.
class WorkingDirectory {
 public:
  explicit WorkingDirectory(const std::string& dir) : before_(std::filesystem::current_path()) {
    std::filesystem::current_path(dir);
  }
  ~WorkingDirectory() { std::filesystem::current_path(before_); }
  WorkingDirectory(const WorkingDirectory&) = delete;
  WorkingDirectory& operator=(const WorkingDirectory&) = delete;

 private:
  std::filesystem::path before_;
};

// sb sends a batch; the receiver's ACK of packet 0 (its second byte, after the start character) is
// lost on the line. sb asks again with packet 0, and the receiver answers it as it answered the first
// (ACK, then the start character for packet 1), so the file comes through.
TEST(LrzszInteropFaults, ABatchGoesOnWhenTheAckOfItsHeaderIsLost) {
  Dirs dirs;
  const std::string ours = dirs.fresh("ours");
  const std::string theirs = dirs.fresh("lrzsz");
  const std::string original = RandomBytes(3000, 5);
  write_file(theirs + "/batch.bin", original);
  const WorkingDirectory here(ours);  // a batch receiver creates its files where it runs
  linesim::Pty line;
  serial::bind_device(kPort, line.slave_path());
  linesim::Program sb({"sb", "-q", "batch.bin"}, theirs, theirs + "/.peer.log");
  ASSERT_TRUE(sb.wait_started(10000));
  linesim::Options options;
  options.baud = 115200;
  options.a_to_b.drop_at = {1};
  int outcome = 1;
  int peer = -1;
  std::vector<std::string> messages;
  {
    linesim::Relay relay(line.end(), sb.end(), options);
    ASSERT_EQ(SioReset(kPort, 2048, 2048), TORVEL_OK);
    ASSERT_EQ(xyAcquire(kPort), 0);
    xySetParameter(kPort, XY_SET_NAK_RATE, 10);  // one start character, however slowly sb starts
    xyStartRx(kPort, nullptr, 'C', 1);
    char text[MESSAGE_SIZE];
    for (bool running = true; running;) {
      running = xyDriver(kPort) != 0;
      while (xyGetMessage(text, sizeof text)) messages.emplace_back(text);
    }
    outcome = xyGetParameter(kPort, XY_GET_ERROR_CODE);
    xySetParameter(kPort, XY_SET_NAK_RATE, 4);
    xyRelease(kPort);
    peer = sb.wait(20000);  // while the line still carries the last ACK
    SioDone(kPort);
    EXPECT_EQ(relay.a_to_b().dropped, 1u);
  }
  serial::bind_device(kPort, "");
  EXPECT_EQ(outcome, 0) << testing::PrintToString(messages);
  EXPECT_EQ(peer, 0) << read_file(theirs + "/.peer.log");
  const std::string received = read_file(ours + "/batch.bin");
  EXPECT_TRUE(received == original) << received.size() << " bytes received";
}

}  // namespace
