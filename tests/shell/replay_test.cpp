// Replay: a capture made live in each view, replayed into a cleared trace in the same view, shows
// the same text, with the capture's own times in its frame headers; at the recorded pace it takes
// as long as the capture did; files that are no capture, or are cut short, are named with the reason.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "core/hex.h"
#include "core/resource.h"
#include "serial/ser.h"
#include "shell/replay.h"
#include "tests/shell/capture_file.h"
#include "tests/shell/shell_fixture.h"

namespace {

using namespace std::chrono_literals;
using capture::Direction;
using testsupport::PtyPair;

std::string bytes_of_hex(const std::string& hex) {
  std::string bytes;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) bytes += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
  return bytes;
}

// What the far ends send, in turn: text and screen sequences, PPP, HDLC and ICNI frames.
struct Step {
  int port;
  std::string bytes;
};
const std::vector<Step> kTraffic = {
    {0, "Hello\r\n\x1b[2J\x1b[3;5Hstatus\x1b[K ok\r\n"},
    {1, bytes_of_hex("7eff7d23c0217d217d217d207d2a7d257d267d3234567879007d207e")},
    {0, bytes_of_hex("7e0310616263f391fcfe")},
    {1, bytes_of_hex("ee0502aabb16")},
    {0, "bye\r\n"},
    {1, bytes_of_hex("7eff7d23c0217d227d217d207d2a7d257d267d323456787d30747e")},
};
constexpr auto kStepGap = 40ms;

// The frame headers' and Tx lines' times ("Rx1 12345 ") left out, for comparing texts.
std::string without_times(std::string text) {
  for (std::size_t at = 0; (at = text.find("x", at)) != std::string::npos; ++at) {
    const bool header = at > 0 && (text[at - 1] == 'R' || text[at - 1] == 'T') && at + 8 < text.size() &&
                        (text[at + 1] == '1' || text[at + 1] == '2') && text[at + 2] == ' ';
    if (header) text.replace(at + 3, 5, "#####");
  }
  return text;
}

// The times of the frame lines in a text, in order.
std::vector<int> frame_times(const std::string& text) {
  std::vector<int> times;
  for (std::size_t at = 0; (at = text.find("\nRx", at)) != std::string::npos; ++at)
    times.push_back(std::stoi(text.substr(at + 5, 5)));
  return times;
}

class ReplayTest : public testsupport::DialogTest {
 protected:
  ReplayTest() : a(ports.bind_pty(0)), b(ports.bind_pty(1)) { host.init(); }

  std::string path(const std::string& name) const { return (folder_ / name).string(); }
  std::string boxes() const {
    std::string texts;
    for (const auto& box : host.message_boxes()) texts += box.text + "\n";
    return texts;
  }

  // Captures a live session in `view` into `file`: a message sent, then kTraffic from the far ends.
  // The trace it showed, and when each step was written (steady clock, ms).
  std::string live_session(int view, const std::string& file, std::vector<std::int64_t>& written_ms) {
    host.choose(IDC_VIEW, view);
    host.click(IDB_CLEAR);
    host.queue_file_answer(file);
    host.click(IDR_CAPTURE);
    host.set_text(IDC_MSG, hex_ascii ? "hi" : "01 02 03");
    host.click(IDB_SEND);
    std::atomic<bool> done = false;
    std::thread far([&] {
      for (const Step& step : kTraffic) {
        std::this_thread::sleep_for(kStepGap);
        (step.port == 0 ? a : b).write(step.bytes);
        written_ms.push_back(std::chrono::duration_cast<std::chrono::milliseconds>(
                                 std::chrono::steady_clock::now().time_since_epoch()).count());
      }
      done = true;
    });
    // Everything is shown once the capture has it (its writer flushes every second) and the ports
    // have nothing more for the pump.
    EXPECT_TRUE(host.run_until([&] { return done.load() && all_captured(file); }, 20s));
    far.join();
    EXPECT_TRUE(host.run_until([] { return SioRxQue(0) == 0 && SioRxQue(1) == 0; }, 5s));
    host.run_for(120ms);
    host.click(IDR_NOCAPTURE);
    return shown();
  }

  bool all_captured(const std::string& file) {
    capture::CaptureReader reader;
    if (!reader.open(file)) return false;
    std::string received[2];
    while (std::optional<capture::CaptureRecord> r = reader.next())
      if (r->interface < 2 && r->direction == Direction::Received) received[r->interface].append(r->bytes.begin(), r->bytes.end());
    std::string expected[2];
    for (const Step& step : kTraffic) expected[step.port] += step.bytes;
    return received[0] == expected[0] && received[1] == expected[1];
  }

  std::string replay(const std::string& file, bool paced = false) {
    host.click(IDB_CLEAR);
    host.set_check(IDC_PACED, paced ? platform::Check::Checked : platform::Check::Unchecked);
    host.queue_file_answer(file);
    host.click(IDC_REPLAY);
    EXPECT_TRUE(host.run_until([] { return !win_replaying(); }, 20s));
    return shown();
  }

  PtyPair& a;
  PtyPair& b;
};

// Each view from a fresh start, as a capture starts its replay's decoding.
class ReplayInEachView : public ReplayTest, public testing::WithParamInterface<int> {};

TEST_P(ReplayInEachView, ShowsWhatTheLiveSessionShowedWithTheCapturesOwnTimes) {
  const int view = GetParam();
  const std::string file = path("session.pcapng");
  std::vector<std::int64_t> written_ms;
  const std::string live = live_session(view, file, written_ms);
  const std::string replayed = replay(file);
  EXPECT_EQ(without_times(replayed), without_times(live));
  EXPECT_EQ(boxes(), "");
  if (view != HEX_PPP_VIEW) return;
  // The frame lines Port B's first and last flags end, written a known time apart, keep that time
  // apart in the replay.
  const std::vector<int> times = frame_times(replayed);
  ASSERT_GE(times.size(), 2u) << replayed;
  EXPECT_NEAR(times.back() - times.front(), written_ms[5] - written_ms[1], 5) << replayed;
}

std::string view_name(const testing::TestParamInfo<int>& param) {
  constexpr const char* kNames[] = {"Hex", "Ascii", "Ansi", "Hdlc", "Ppp", "Icni"};
  return kNames[param.param];
}

INSTANTIATE_TEST_SUITE_P(Views, ReplayInEachView,
                         testing::Values(HEX_HEX_VIEW, HEX_ASCII_VIEW, HEX_ANSI_VIEW, HEX_HDLC_VIEW, HEX_PPP_VIEW,
                                         HEX_ICNI_VIEW),
                         view_name);

TEST_F(ReplayTest, AtItsRecordedPaceAReplayTakesAsLongAsTheCaptureDid) {
  std::vector<std::int64_t> written_ms;
  const std::string live = live_session(HEX_HEX_VIEW, path("paced.pcapng"), written_ms);
  const testsupport::CaptureFile file = testsupport::read_capture(path("paced.pcapng"));
  const std::int64_t span_ms = (file.records.back().time_ns - file.records.front().time_ns) / 1000000;
  ASSERT_GT(span_ms, 200);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(without_times(replay(path("paced.pcapng"), true)), without_times(live));
  const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
  EXPECT_GE(took.count(), span_ms - 60);  // a tick's slack either side
  EXPECT_LT(took.count(), span_ms + 15000);  // never held back without end, however loaded the machine
}

TEST_F(ReplayTest, AFileThatIsNoCaptureOrIsCutShortIsNamedWithTheReason) {
  std::vector<std::int64_t> written_ms;
  const std::string live = live_session(HEX_HEX_VIEW, path("whole.pcapng"), written_ms);
  std::ofstream(path("notes.txt")) << "not a capture\n";
  const std::string whole = testsupport::read_file(path("whole.pcapng"));
  std::ofstream(path("cut.pcapng"), std::ios::binary) << whole.substr(0, whole.size() - 7);
  const struct {
    std::string file;
    std::string box;
  } cases[] = {
      {path("notes.txt"), "Replay: " + path("notes.txt") + " is not a capture file (neither pcapng nor pcap)\n"},
      {path("missing.pcapng"), "Replay: " + path("missing.pcapng") + ": No such file or directory\n"},
      {path("cut.pcapng"), "Replay ended early: " + path("cut.pcapng") + " is cut short at byte "},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    host.clear_message_boxes();
    replay(c.file);
    EXPECT_THAT(boxes(), testing::StartsWith(c.box));
    EXPECT_EQ(host.check(IDC_REPLAY), platform::Check::Unchecked);
  }
  // What came before the cut was shown.
  EXPECT_THAT(without_times(live), testing::StartsWith(without_times(shown())));
  EXPECT_FALSE(shown().empty());
}

}  // namespace
