// Both lines flooded at 921600 baud's pace for ten seconds, through the real dialog in the headless
// host, its timers ticking in real time: every byte is shown and logged, in order, per port; also
// while the Log prompt stays open for three seconds in the middle.
#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "core/hex.h"
#include "tests/shell/shell_fixture.h"

namespace {

using namespace std::chrono_literals;
using Bytes = std::array<std::string, 2>;  // per terminal port

constexpr std::size_t kBytesPerSecond = 921600 / 10;  // 8N1: ten bits a byte
constexpr std::size_t kFloodBytes = kBytesPerSecond * 10;

class FloodTest : public testsupport::DialogTest {
 protected:
  // About 70,000 rows of the hexadecimal view: all of it stays in the scrollback.
  FloodTest() : DialogTest(200000) {
    for (std::size_t port = 0; port < 2; ++port) {
      lines[port] = &ports.bind_pty(static_cast<int>(port));
      flood[port].resize(kFloodBytes);  // repeats only after 65,536 bytes, different per line
      for (std::size_t i = 0; i < kFloodBytes; ++i)
        flood[port][i] = static_cast<char>((i * 131 + i / 256 + port * 77) & 0xFF);
    }
  }
  ~FloodTest() override {
    if (writer.joinable()) writer.join();
  }

  // Writes both floods at the line's pace, a slice every 10 ms, as devices on the far ends would.
  void start_flood() {
    writer = std::thread([this] {
      const auto start = std::chrono::steady_clock::now();
      for (std::size_t written = 0; written < kFloodBytes;) {
        std::this_thread::sleep_for(10ms);
        const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
        const auto upto = std::min(kFloodBytes, static_cast<std::size_t>(kBytesPerSecond * elapsed.count()));
        for (std::size_t port = 0; port < 2; ++port)
          lines[port]->write(std::string_view(flood[port]).substr(written, upto - written));
        written = upto;
      }
      flooded = true;
    });
  }
  bool all_shown() { return flooded && host.screen().text_length() == static_cast<int>(3 * 2 * kFloodBytes); }

  // Per port, the bytes the trace shows, told apart by their colours.
  Bytes shown_per_port() {
    Bytes text;
    std::array<platform::Colour, platform::kDisplayColumns + 1> colours{};
    const platform::TextModel& screen = host.screen();
    for (int row = 0; row < screen.line_count(); ++row) {
      const std::string chars = screen.row_text(row);
      screen.row_colours(row, colours.data(), static_cast<int>(colours.size()));
      for (std::size_t i = 0; i < chars.size(); ++i)
        text[colours[i] == hex_colour[0].rx ? 0 : 1] += chars[i];
    }
    return {testsupport::bytes_of_hex(text[0]), testsupport::bytes_of_hex(text[1])};
  }

  // Per port, the bytes a log holds; it must be complete, closing lines and all.
  static Bytes logged_per_port(const std::filesystem::path& log) {
    const std::string content = testsupport::read_file(log);
    EXPECT_TRUE(content.starts_with(testsupport::kLogHeader) && content.ends_with(testsupport::kLogFooter))
        << log;
    Bytes text;
    for (const testsupport::LogPiece& piece : testsupport::log_pieces(content))
      text[piece.rgb == hex_rgb[0].rx ? 0 : 1] += piece.text;
    return {testsupport::bytes_of_hex(text[0]), testsupport::bytes_of_hex(text[1])};
  }

  std::array<testsupport::PtyPair*, 2> lines{};
  Bytes flood;
  std::thread writer;
  std::atomic<bool> flooded{false};
};

TEST_F(FloodTest, EveryByteOfBothLinesIsShownAndLoggedInOrder) {
  const auto log = start_with_log("flood.htm");
  start_flood();
  EXPECT_TRUE(host.run_until([&] { return all_shown(); }, 40s));
  host.click(IDCANCEL);  // Exit: the log gets its closing lines

  EXPECT_TRUE(shown_per_port() == flood);
  EXPECT_TRUE(logged_per_port(log) == flood);
}

TEST_F(FloodTest, WhileTheLogPromptStaysOpenThePumpShowsAndLogsOn) {
  const auto first = start_with_log("first.htm");
  const auto second = folder_ / "second.htm";
  start_flood();
  host.run_for(4s);
  const auto shown_before_prompt = static_cast<std::size_t>(host.screen().text_length() / 3);
  // Log again: the prompt stays open three seconds before it names the next log.
  host.queue_file_answer(second.string(), 3s);
  host.click(IDR_LOG);
  EXPECT_EQ(host.text(IDT_STATUS), second.string());
  EXPECT_TRUE(host.run_until([&] { return all_shown(); }, 40s));
  host.click(IDCANCEL);

  EXPECT_TRUE(shown_per_port() == flood);
  const Bytes logged_first = logged_per_port(first);
  const Bytes logged_second = logged_per_port(second);
  // The first log went on taking what the pump showed while the prompt was open.
  EXPECT_GT(logged_first[0].size() + logged_first[1].size(), shown_before_prompt);
  EXPECT_TRUE(logged_first[0] + logged_second[0] == flood[0]);
  EXPECT_TRUE(logged_first[1] + logged_second[1] == flood[1]);
}

}  // namespace
