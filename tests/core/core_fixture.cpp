#include "tests/core/core_fixture.h"

#include <array>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "core/hex.h"
#include "core/hex_log.h"
#include "serial/devices.h"
#include "serial/ser.h"
#include "core/dialog_template.h"

namespace testsupport {
namespace {

// A scan of this folder finds no devices, whatever the machine has.
const std::string& empty_scan_root() {
  static const std::string root = [] {
    char pattern[] = "/tmp/quillport-empty-XXXXXX";
    const char* made = mkdtemp(pattern);
    return std::string(made != nullptr ? made : "/nonexistent-quillport-root");
  }();
  return root;
}

void forget_ports() {
  for (int number = 0; number < NBR_PORTS; ++number) {
    SioDone(number);
    serial::bind_device(number, "");
    const std::string variable = "QUILLPORT_COM" + std::to_string(number + 1);
    unsetenv(variable.c_str());
  }
  serial::reset_device_map();
}

}  // namespace

const std::string kLogHeader =
    "<!doctype html public \"-//w3c//dtd html 4.0 transitional//en\"><html>\n"
    "<head>\n"
    "<meta name=\"Copyright (c) the Quillport developers\" content=\"Quillport Log File\">\n"
    "<style>pre { font-family: monospace; width: 80ch; white-space: break-spaces; overflow-wrap: anywhere;"
    " tab-size: 1 }</style>\n"
    "</head>\n"
    "<body><pre>\n";
const std::string kLogFooter = "</pre></body>\n</html>\n";

std::string read_file(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream content;
  content << in.rdbuf();
  return content.str();
}

std::string hex_text(std::string_view bytes) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text;
  text.reserve(bytes.size() * 3);
  for (const char ch : bytes) {
    const auto byte = static_cast<unsigned char>(ch);
    text += ' ';
    text += kDigits[byte >> 4];
    text += kDigits[byte & 0x0F];
  }
  return text;
}

std::string bytes_of_hex(std::string_view text) {
  auto digit = [](char ch) {
    return ch >= '0' && ch <= '9' ? ch - '0' : ch >= 'A' && ch <= 'F' ? ch - 'A' + 10 : -1;
  };
  std::string bytes;
  bytes.reserve(text.size() / 3);
  for (std::size_t at = 0; at + 3 <= text.size(); at += 3) {
    const int high = digit(text[at + 1]);
    const int low = digit(text[at + 2]);
    if (text[at] != ' ' || high < 0 || low < 0) break;
    bytes += static_cast<char>(high * 16 + low);
  }
  return bytes;
}

std::vector<LogPiece> log_pieces(const std::string& log) {
  static const std::string open = "<font color=\"#";
  static const std::string close = "</font>";
  std::vector<LogPiece> pieces;
  std::size_t at = log.rfind(kLogHeader, 0) == 0 ? kLogHeader.size() : 0;
  while (log.compare(at, open.size(), open) == 0) {
    const std::size_t text_at = at + open.size() + 8;  // RRGGBB">
    const std::size_t end = log.find(close, text_at);
    if (end == std::string::npos) break;
    pieces.push_back({static_cast<unsigned>(std::stoul(log.substr(at + open.size(), 6), nullptr, 16)),
                      log.substr(text_at, end - text_at)});
    at = end + close.size();
  }
  return pieces;
}

platform::Colour colour_at(const platform::TextModel& screen, int position) {
  const int row = screen.line_from_char(position);
  std::array<platform::Colour, platform::kDisplayColumns + 1> colours{};
  screen.row_colours(row, colours.data(), static_cast<int>(colours.size()));
  return colours[static_cast<std::size_t>(position - screen.line_index(row))];
}

TerminalPorts::TerminalPorts() {
  serial::set_scan_roots(empty_scan_root(), empty_scan_root());
  forget_ports();
  hex_reset_state();
}

TerminalPorts::~TerminalPorts() {
  forget_ports();
  hex_reset_state();
}

PtyPair& TerminalPorts::bind_pty(int number) {
  ptys_.push_back(std::make_unique<PtyPair>());
  serial::bind_device(number, ptys_.back()->slave_path());
  return *ptys_.back();
}

CoreTest::CoreTest() : host(quillport_dialog()) {}

CoreTest::~CoreTest() { hex_log_close(host); }

std::vector<std::string> CoreTest::boxes() const {
  std::vector<std::string> shown;
  for (const auto& box : host.message_boxes()) shown.push_back(box.caption + ": " + box.text);
  return shown;
}

}  // namespace testsupport
