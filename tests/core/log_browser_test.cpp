// The HTML log as a browser shows it: headless Chromium reads a log and the characters it shows are
// the ones the display holds.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include <unistd.h>

#include "core/hex.h"
#include "core/hex_display.h"
#include "core/hex_log.h"
#include "core/resource.h"
#include "tests/core/core_fixture.h"

namespace {

std::string find_browser() {
  const char* path = std::getenv("PATH");
  std::string_view dirs = path != nullptr ? path : "/usr/bin:/bin";
  while (!dirs.empty()) {
    const std::size_t colon = dirs.find(':');
    const std::string dir(dirs.substr(0, colon));
    dirs = colon == std::string_view::npos ? std::string_view() : dirs.substr(colon + 1);
    for (const char* name : {"chromium", "chromium-browser"}) {
      const std::string candidate = dir + "/" + name;
      if (access(candidate.c_str(), X_OK) == 0) return candidate;
    }
  }
  return {};
}

// The document as the browser parsed it, serialised again.
std::string dump_dom(const std::string& browser, const std::filesystem::path& page,
                     const std::filesystem::path& profile) {
  const std::string command = "timeout 120 '" + browser +
                              "' --headless --no-sandbox --disable-gpu --disable-background-networking"
                              " --no-first-run --disable-component-update --disable-sync --user-data-dir='" +
                              profile.string() + "' --dump-dom 'file://" + page.string() + "' 2>/dev/null";
  std::FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return {};
  std::string dom;
  char buffer[4096];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) dom.append(buffer, n);
  pclose(pipe);
  return dom;
}

// The text of the serialised document's font elements, as Unicode code points: the serialiser writes
// text as UTF-8 with '&', '<', '>' and the no-break space as entities.
std::vector<char32_t> shown_text(const std::string& dom) {
  std::string text;
  for (std::size_t at = dom.find("<font"); at != std::string::npos; at = dom.find("<font", at)) {
    const std::size_t begin = dom.find('>', at) + 1;
    const std::size_t end = dom.find("</font>", begin);
    if (begin == 0 || end == std::string::npos) break;
    text += dom.substr(begin, end - begin);
    at = end;
  }
  std::vector<char32_t> points;
  const std::pair<std::string_view, char32_t> entities[] = {
      {"&amp;", U'&'}, {"&lt;", U'<'}, {"&gt;", U'>'}, {"&nbsp;", U'\u00A0'}};
  for (std::size_t i = 0; i < text.size();) {
    bool entity = false;
    for (const auto& [name, point] : entities) {
      if (text.compare(i, name.size(), name) == 0) {
        points.push_back(point);
        i += name.size();
        entity = true;
        break;
      }
    }
    if (entity) continue;
    const auto lead = static_cast<unsigned char>(text[i]);
    const int length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    char32_t point = length == 1 ? lead : lead & (0x7F >> length);
    for (int k = 1; k < length && i + static_cast<std::size_t>(k) < text.size(); ++k)
      point = (point << 6) | (static_cast<unsigned char>(text[i + static_cast<std::size_t>(k)]) & 0x3F);
    points.push_back(point);
    i += static_cast<std::size_t>(length);
  }
  return points;
}

class LogInBrowserTest : public testsupport::CoreTest {
 protected:
  LogInBrowserTest()
      : folder_(std::filesystem::temp_directory_path() / ("quillport-browser-" + std::to_string(getpid()))) {
    std::filesystem::create_directories(folder_ / "profile");
  }
  ~LogInBrowserTest() override { std::filesystem::remove_all(folder_); }

  std::filesystem::path folder_;
};

TEST_F(LogInBrowserTest, TheBrowserShowsTheCharactersTheDisplayHolds) {
  const std::string browser = find_browser();
  if (browser.empty()) GTEST_SKIP() << "chromium is not installed: the log is not checked in a browser";

  const std::filesystem::path log = folder_ / "trace.htm";
  host.queue_file_answer(log.string());
  hex_log_open(host);
  // Every byte the ASCII view can show but NUL, in lines of 32, alternately from the two ports.
  for (int first = 0x20; first <= 0xFF; first += 32) {
    std::string line;
    for (int byte = first; byte < first + 32 && byte <= 0xFF; ++byte) line += static_cast<char>(byte);
    line += '\n';
    hex_display_msg(host, (first / 32) % 2, line.c_str(), static_cast<int>(line.size()));
  }
  hex_log_close(host);

  // The window draws the Latin-1 character of each byte; the C1 control codes 0x80-0x9F have none
  // and are marked as no character.
  std::vector<char32_t> expected;
  for (const char ch : host.text(IDT_SCREEN)) {
    const auto byte = static_cast<unsigned char>(ch);
    expected.push_back(byte >= 0x80 && byte < 0xA0 ? U'\uFFFD' : byte);
  }
  const std::vector<char32_t> shown = shown_text(dump_dom(browser, log, folder_ / "profile"));
  ASSERT_EQ(shown.size(), expected.size());
  for (std::size_t i = 0; i < shown.size(); ++i)
    EXPECT_EQ(static_cast<unsigned>(shown[i]), static_cast<unsigned>(expected[i])) << "character " << i;
}

}  // namespace
