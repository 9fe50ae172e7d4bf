// Both lines flooded at 921600 baud's pace for ten seconds, through the real dialog in the headless
// host, its timers ticking in real time: every byte is shown and logged, in order, per port; also
// while the Log prompt stays open for three seconds in the middle.
#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "core/hex.h"
#include "tests/shell/shell_fixture.h"

namespace {

using namespace std::chrono_literals;
using testsupport::PtyPair;

constexpr std::size_t kBytesPerSecond = 921600 / 10;  // 8N1: ten bits a byte
constexpr auto kFloodTime = 10s;
constexpr std::size_t kFloodBytes = kBytesPerSecond * 10;
// The flood fills about 70,000 rows of the hexadecimal view: all of it stays in the scrollback.
constexpr int kScrollbackRows = 200000;

// What each line carries: a sequence that repeats only after 65,536 bytes, different per line.
std::string flood_of(int port) {
  std::string bytes(kFloodBytes, '\0');
  for (std::size_t i = 0; i < bytes.size(); ++i)
    bytes[i] = static_cast<char>((i * 131 + i / 256 + static_cast<std::size_t>(port) * 77) & 0xFF);
  return bytes;
}

// Writes both floods at the line's pace, a slice every 10 ms, as a device on the far end would.
class PacedWriter {
 public:
  PacedWriter(std::array<PtyPair*, 2> lines, const std::array<std::string, 2>& floods)
      : thread_([this, lines, &floods] {
          const auto start = std::chrono::steady_clock::now();
          std::size_t written = 0;
          while (written < kFloodBytes) {
            std::this_thread::sleep_for(10ms);
            const auto elapsed = std::chrono::steady_clock::now() - start;
            const auto due = static_cast<std::size_t>(kBytesPerSecond * std::chrono::duration<double>(elapsed).count());
            const std::size_t upto = std::min(due, kFloodBytes);
            for (int port = 0; port < 2; ++port)
              lines[static_cast<std::size_t>(port)]->write(
                  std::string_view(floods[static_cast<std::size_t>(port)]).substr(written, upto - written));
            written = upto;
          }
          done_ = true;
        }) {}
  ~PacedWriter() { thread_.join(); }
  PacedWriter(const PacedWriter&) = delete;
  PacedWriter& operator=(const PacedWriter&) = delete;
  bool done() const { return done_; }

 private:
  std::atomic<bool> done_{false};
  std::thread thread_;
};

class FloodTest : public testsupport::DialogTest {
 protected:
  FloodTest() : DialogTest(kScrollbackRows) {}

  // Per port, the bytes the trace shows, told apart by their colours.
  std::array<std::string, 2> shown_per_port() {
    std::array<std::string, 2> text;
    std::array<platform::Colour, platform::kDisplayColumns + 1> colours{};
    const platform::TextModel& screen = host.screen();
    for (int row = 0; row < screen.line_count(); ++row) {
      const std::string chars = screen.row_text(row);
      screen.row_colours(row, colours.data(), static_cast<int>(colours.size()));
      for (std::size_t i = 0; i < chars.size(); ++i)
        for (int port = 0; port < 2; ++port)
          if (colours[i] == hex_colour[port].rx) text[static_cast<std::size_t>(port)] += chars[i];
    }
    return {testsupport::bytes_of_hex(text[0]), testsupport::bytes_of_hex(text[1])};
  }

  // Per port, the bytes a log holds; its closing lines must be there.
  static std::array<std::string, 2> logged_per_port(const std::filesystem::path& log) {
    const std::string content = testsupport::read_file(log);
    EXPECT_EQ(content.rfind(testsupport::kLogHeader, 0), 0u) << log;
    EXPECT_TRUE(content.ends_with(testsupport::kLogFooter)) << log;
    std::array<std::string, 2> text;
    for (const testsupport::LogPiece& piece : testsupport::log_pieces(content))
      for (int port = 0; port < 2; ++port)
        if (piece.rgb == hex_rgb[port].rx) text[static_cast<std::size_t>(port)] += piece.text;
    return {testsupport::bytes_of_hex(text[0]), testsupport::bytes_of_hex(text[1])};
  }

  bool all_shown() { return host.screen().text_length() == static_cast<int>(3 * 2 * kFloodBytes); }
};

TEST_F(FloodTest, EveryByteOfBothLinesIsShownAndLoggedInOrder) {
  std::array<PtyPair*, 2> lines = {&ports.bind_pty(0), &ports.bind_pty(1)};
  const std::array<std::string, 2> floods = {flood_of(0), flood_of(1)};
  const auto log = start_with_log("flood.htm");
  {
    PacedWriter writer(lines, floods);
    EXPECT_TRUE(host.run_until([&] { return writer.done() && all_shown(); }, kFloodTime + 60s));
  }
  host.click(IDCANCEL);  // Exit: the log gets its closing lines

  const auto shown = shown_per_port();
  const auto logged = logged_per_port(log);
  for (std::size_t port = 0; port < 2; ++port) {
    SCOPED_TRACE("port " + std::to_string(port));
    EXPECT_TRUE(shown[port] == floods[port]) << shown[port].size() << " bytes shown";
    EXPECT_TRUE(logged[port] == floods[port]) << logged[port].size() << " bytes logged";
  }
}

TEST_F(FloodTest, WhileTheLogPromptStaysOpenThePumpShowsAndLogsOn) {
  std::array<PtyPair*, 2> lines = {&ports.bind_pty(0), &ports.bind_pty(1)};
  const std::array<std::string, 2> floods = {flood_of(0), flood_of(1)};
  const auto first = start_with_log("first.htm");
  const auto second = folder_ / "second.htm";
  std::size_t shown_before_prompt = 0;
  {
    PacedWriter writer(lines, floods);
    host.run_for(4s);
    shown_before_prompt = static_cast<std::size_t>(host.screen().text_length() / 3);
    // Log again: the prompt stays open three seconds before naming the next log.
    host.queue_file_answer(second.string(), 3s);
    host.click(IDR_LOG);
    EXPECT_EQ(host.text(IDT_STATUS), second.string());
    EXPECT_TRUE(host.run_until([&] { return writer.done() && all_shown(); }, kFloodTime + 60s));
  }
  host.click(IDCANCEL);

  const auto shown = shown_per_port();
  const auto logged_first = logged_per_port(first);
  const auto logged_second = logged_per_port(second);
  // The first log went on taking what the pump showed while the prompt was open.
  EXPECT_GT(logged_first[0].size() + logged_first[1].size(), shown_before_prompt);
  for (std::size_t port = 0; port < 2; ++port) {
    SCOPED_TRACE("port " + std::to_string(port));
    EXPECT_TRUE(shown[port] == floods[port]) << shown[port].size() << " bytes shown";
    const std::string logged = logged_first[port] + logged_second[port];
    EXPECT_TRUE(logged == floods[port]) << logged.size() << " bytes logged";
  }
}

}  // namespace
