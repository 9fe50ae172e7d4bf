// The HTML log as a browser shows it: headless Chromium lays a log out, and its lines are the
// window's rows, character for character.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>

#include <unistd.h>

#include "core/hex.h"
#include "core/hex_display.h"
#include "core/hex_log.h"
#include "core/resource.h"
#include "platform/shown_character.h"
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

// What the browser made of the log: its lines (split at line feeds) as code points, "41,42;43" for
// two lines; the number of visual rows those lines were folded into, the widest row's characters,
// and how many characters stand anywhere but in their cell of a grid of fixed-width columns.
struct Rendered {
  std::string lines;
  int rows = 0;
  int widest = 0;
  int misplaced = 0;
};

// Lays the log out in headless Chromium: a copy of it with a script at its end walks the characters
// of the preformatted block and measures where each one stands.
Rendered render(const std::string& browser, const std::filesystem::path& log, const std::filesystem::path& folder) {
  const std::filesystem::path page = folder / "laid-out.htm";
  std::ofstream(page, std::ios::binary) << testsupport::read_file(log) << R"(<script>
{
const block = document.querySelector('pre');
const probe = document.createElement('span');
probe.textContent = '0';
block.appendChild(probe);
const cell = probe.getBoundingClientRect().width;
probe.remove();
const left = block.getBoundingClientRect().left;
const walker = document.createTreeWalker(block, NodeFilter.SHOW_TEXT);
const range = document.createRange();
// Form feed, carriage return and the soft hyphen are given no width by any browser.
const widthless = [0x0C, 0x0D, 0xAD];
const lines = [];
let line = [], rowTop = null, column = 0, rows = 0, widest = 0, misplaced = 0;
for (let node; (node = walker.nextNode());) {
  for (let i = 0; i < node.data.length; ++i) {
    const point = node.data.charCodeAt(i);
    if (point === 10) { lines.push(line); line = []; rowTop = null; continue; }
    range.setStart(node, i);
    range.setEnd(node, i + 1);
    const box = range.getBoundingClientRect();
    if (rowTop === null || box.top > rowTop + 1) { rows += 1; column = 0; rowTop = box.top; }
    line.push(point.toString(16));
    if (widthless.includes(point)) continue;
    if (Math.abs(box.left - (left + column * cell)) > 0.5 || Math.abs(box.width - cell) > 0.5) misplaced += 1;
    column += 1;
    widest = Math.max(widest, column);
  }
}
lines.push(line);
const out = document.createElement('div');
out.id = 'rendered';
out.textContent = [rows, widest, misplaced, lines.map(l => l.join(',')).join(';')].join(' ');
document.body.appendChild(out);
}
</script>)";
  // The layout is measured in the font the project installs (fonts-dejavu-core), whatever else the
  // machine has: another monospace font may lack the Windows-1252 signs and borrow them from a
  // proportional one.
  const std::filesystem::path fonts = folder / "fonts.conf";
  std::ofstream(fonts) << "<?xml version=\"1.0\"?>\n<!DOCTYPE fontconfig SYSTEM \"fonts.dtd\">\n<fontconfig>\n"
                          "<dir>/usr/share/fonts/truetype/dejavu</dir>\n<cachedir>"
                       << (folder / "font-cache").string()
                       << "</cachedir>\n<alias><family>monospace</family><prefer><family>DejaVu Sans Mono</family>"
                          "</prefer></alias>\n</fontconfig>\n";
  const std::string command = "FONTCONFIG_FILE='" + fonts.string() + "' timeout 120 '" + browser +
                              "' --headless --no-sandbox --disable-gpu --disable-background-networking"
                              " --no-first-run --disable-component-update --disable-sync --user-data-dir='" +
                              (folder / "profile").string() + "' --dump-dom 'file://" + page.string() +
                              "' 2>/dev/null";
  std::FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return {};
  std::string dom;
  char buffer[4096];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) dom.append(buffer, n);
  pclose(pipe);
  const std::string open = "<div id=\"rendered\">";
  const std::size_t begin = dom.find(open);
  if (begin == std::string::npos) return {};
  std::istringstream fields(dom.substr(begin + open.size(), dom.find("</div>", begin) - begin - open.size()));
  Rendered rendered;
  fields >> rendered.rows >> rendered.widest >> rendered.misplaced >> rendered.lines;
  return rendered;
}

// The window's lines in the same form: its rows joined up to each line feed, each byte as the
// character the window shows for it.
std::string window_lines(const platform::TextModel& screen) {
  std::string lines;
  char point[8];
  for (int row = 0; row < screen.line_count(); ++row) {
    for (const char byte : screen.row_text(row)) {
      if (byte == '\n') {
        lines += ';';
        continue;
      }
      const bool first = lines.empty() || lines.back() == ';';
      std::snprintf(point, sizeof point, "%s%x", first ? "" : ",",
                    static_cast<unsigned>(platform::shown_character(static_cast<unsigned char>(byte))));
      lines += point;
    }
  }
  return lines;
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

// What the window shows, the browser shows line for line: the same line feeds, every byte one
// character in its own column (control codes and TAB too), 0x80-0x9F as Windows-1252's characters in
// both, and a long line folded into rows of at most 80 characters.
TEST_F(LogInBrowserTest, TheBrowserShowsTheLogLineByLineAsTheWindowDoes) {
  const std::string browser = find_browser();
  if (browser.empty()) GTEST_SKIP() << "chromium is not installed: the log is not checked in a browser";

  const std::filesystem::path log = folder_ / "trace.htm";
  host.queue_file_answer(log.string());
  hex_log_open(host);
  const auto show = [&](int port, const std::string& text) {
    hex_display_msg(host, port, text.c_str(), static_cast<int>(text.size()));
  };
  // Every byte the ASCII view can show but NUL and LF, in lines of 32, alternately from the two ports.
  for (int first = 0; first <= 0xFF; first += 32) {
    std::string line;
    for (int byte = std::max(first, 1); byte < first + 32; ++byte)
      if (byte != '\n') line += static_cast<char>(byte);
    show((first / 32) % 2, line + '\n');
  }
  // The hexadecimal view's text has no line feeds: rows of 80, the second starting with a space.
  std::string hex;
  for (int i = 0; i < 100; ++i) hex += " " + std::string(1, "0123456789ABCDEF"[i % 16]) + "F";
  show(0, hex);
  // Lines such as the ANSI view writes, an empty one, and one of exactly 80 characters.
  show(1, "\nabc\ndef\n\n" + std::string(80, 'x') + "\nend");
  hex_log_close(host);

  const Rendered rendered = render(browser, log, folder_);
  ASSERT_GT(rendered.rows, 0) << "the browser laid nothing out";
  std::stringstream browser_lines(rendered.lines);
  std::stringstream window_rows(window_lines(host.screen()));
  int line = 0;
  for (std::string in_browser, in_window; std::getline(window_rows, in_window, ';'); ++line) {
    EXPECT_TRUE(std::getline(browser_lines, in_browser, ';')) << "line " << line << " is missing";
    EXPECT_EQ(in_browser, in_window) << "line " << line;
  }
  EXPECT_FALSE(browser_lines.rdbuf()->in_avail() > 0) << "the browser shows more lines than the window";
  // Every character in its own column, as in the window's grid, and no row wider than the window's.
  // A long line folds at a blank as the window's does, though the blank ends the browser's row where
  // it begins the window's next one, so the rows themselves may differ.
  EXPECT_EQ(rendered.misplaced, 0);
  EXPECT_EQ(rendered.widest, platform::kDisplayColumns);
  EXPECT_GT(rendered.rows, line);
}

}  // namespace
