// The terminal core in tests: no serial devices but the pseudo-terminals a test binds, and the
// core's state back at its start values before and after each test.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/headless_host.h"
#include "tests/support/pty_pair.h"

namespace testsupport {

// The HTML log's fixed opening and closing lines.
extern const std::string kLogHeader;
extern const std::string kLogFooter;

std::string read_file(const std::filesystem::path& path);

// Bytes as the hexadecimal view shows them (" 41 0D"), and back; the second stops at the first
// group that is not " XX".
std::string hex_text(std::string_view bytes);
std::string bytes_of_hex(std::string_view text);

// One coloured piece of an HTML log: its colour (0xRRGGBB) and its text as written.
struct LogPiece {
  unsigned rgb = 0;
  std::string text;
};
// The pieces of a log's body, between its header and (when written) its footer.
std::vector<LogPiece> log_pieces(const std::string& log);
// The colour the display gives the character at `position`.
platform::Colour colour_at(const platform::TextModel& screen, int position);

class TerminalPorts {
 public:
  TerminalPorts();
  ~TerminalPorts();
  TerminalPorts(const TerminalPorts&) = delete;
  TerminalPorts& operator=(const TerminalPorts&) = delete;

  // A new pseudo-terminal bound to serial port `number` (0 = COM1).
  PtyPair& bind_pty(int number);

 private:
  std::vector<std::unique_ptr<PtyPair>> ptys_;
};

class CoreTest : public ::testing::Test {
 protected:
  CoreTest();
  ~CoreTest() override;

  PtyPair& bind_pty(int number) { return ports_.bind_pty(number); }
  // The box texts shown so far, "caption: text".
  std::vector<std::string> boxes() const;

  TerminalPorts ports_;
  platform::HeadlessHost host;
};

}  // namespace testsupport
