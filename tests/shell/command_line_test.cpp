// The command line as read: each option's value in its control's words, which setting wins, what is
// refused and why, and the help and manual page naming every option.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "shell/command_line.h"

namespace {

using Text = std::optional<std::string>;

CommandLine parse(std::vector<std::string> args) {
  args.insert(args.begin(), "quillport");
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  return parse_command_line(argv);
}

// The port settings in one line, for comparing: "device speed data stop parity flow", "-" for none.
std::string port_line(const PortStartSettings& port) {
  std::string line;
  for (const Text& field : {port.device, port.speed, port.data_bits, port.stop_bits, port.parity, port.flow}) {
    if (!line.empty()) line += ' ';
    line += field.value_or("-");
  }
  return line;
}

TEST(CommandLine, EachOptionGivesItsSettingInTheControlsWords) {
  const std::string cwd = std::filesystem::current_path().string();
  const struct {
    std::vector<std::string> args;
    std::string port_a, port_b;
    Text view = std::nullopt;
  } cases[] = {
      {{"--port-a", "/dev/ttyUSB0"}, "/dev/ttyUSB0 - - - - -", "- - - - - -"},
      {{"--port-b=ttyACM1"}, "- - - - - -", "/dev/ttyACM1 - - - - -"},
      {{"--port-a", "serial/by-id/usb-FTDI-if00"}, cwd + "/serial/by-id/usb-FTDI-if00 - - - - -", "- - - - - -"},
      {{"--port-a", "rfc2217://lab:2217", "--port-b", "tcp://[::1]:4001"},
       "rfc2217://lab:2217 - - - - -", "tcp://[::1]:4001 - - - - -"},
      {{"-b", "57600"}, "- 57600 - - - -", "- 57600 - - - -"},
      {{"-b250000"}, "- 250000 - - - -", "- 250000 - - - -"},
      {{"--baud-a", "0115200"}, "- 115200 - - - -", "- - - - - -"},
      {{"-d", "7", "--databits-b", "5"}, "- - 7 - - -", "- - 5 - - -"},
      {{"-s", "2", "--stopbits-a=1"}, "- - - 1 - -", "- - - 2 - -"},
      {{"-p", "Even", "--parity-b", "m"}, "- - - - EVEN -", "- - - - MARK -"},
      {{"-f", "hard", "--flow-b", "soft"}, "- - - - - RTS", "- - - - - XON"},
      {{"--flow-a", "XON", "--flow-b", "none"}, "- - - - - XON", "- - - - - NONE"},
      // A setting for one port wins over the one for both, whatever their order; the last repeat wins.
      {{"--baud-a", "57600", "-b", "9600"}, "- 57600 - - - -", "- 9600 - - - -"},
      {{"-p", "odd", "--parity-a", "space", "-p", "none"}, "- - - - SPACE -", "- - - - NONE -"},
      {{"-b", "1200", "--baud", "2400"}, "- 2400 - - - -", "- 2400 - - - -"},
      {{"--view", "hex"}, "- - - - - -", "- - - - - -", "Hexadecimal"},
      {{"--view", "TERMINAL"}, "- - - - - -", "- - - - - -", "Terminal"},
      {{"--view=ansi"}, "- - - - - -", "- - - - - -", "ANSI"},
      {{"--view", "Icni", "--view", "PPP"}, "- - - - - -", "- - - - - -", "PPP"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.args));
    const CommandLine line = parse(c.args);
    ASSERT_EQ(line.action, StartAction::Run) << line.error;
    EXPECT_EQ(port_line(line.settings.ports[0]), c.port_a);
    EXPECT_EQ(port_line(line.settings.ports[1]), c.port_b);
    EXPECT_EQ(line.settings.view, c.view);
  }
}

TEST(CommandLine, FilesAreMadeAbsoluteAndTheOtherOptionsChooseWhatToDo) {
  const CommandLine log = parse({"--log", "trace.htm", "--no-config"});
  EXPECT_EQ(log.settings.log, (std::filesystem::current_path() / "trace.htm").string());
  EXPECT_TRUE(log.settings.no_config);
  EXPECT_FALSE(parse({}).settings.no_config);

  const struct {
    std::vector<std::string> args;
    StartAction action;
  } cases[] = {
      {{}, StartAction::Run},
      {{"-h"}, StartAction::Help},
      {{"--version", "--help"}, StartAction::Help},
      {{"-V"}, StartAction::Version},
      {{"--list", "--port-a", "/dev/ttyS4"}, StartAction::List},
      {{"-l", "--ver"}, StartAction::Version},  // a unique prefix names its option
      {{"--help", "--bogus"}, StartAction::Error},
  };
  for (const auto& c : cases) EXPECT_EQ(parse(c.args).action, c.action) << testing::PrintToString(c.args);
}

TEST(CommandLine, AValueThatCannotBeUsedIsRefusedWithWhy) {
  const std::string long_name(300, 'x');
  const struct {
    std::vector<std::string> args;
    std::string error;
  } cases[] = {
      {{"--bogus"}, "unknown or ambiguous option '--bogus'"},
      {{"--port", "/dev/ttyS0"}, "unknown or ambiguous option '--port'"},
      {{"-x"}, "unknown or ambiguous option '-x'"},
      {{"--help=yes"}, "--help takes no value"},
      {{"--baud-a"}, "--baud-a needs a value"},
      {{"-b"}, "-b needs a value"},
      {{"stray"}, "unexpected argument 'stray'"},
      {{"--baud-b", "fast"}, "--baud-b: 'fast' is not a rate in bit/s (50 to 999999999)"},
      {{"-b", "9600.5"}, "-b: '9600.5' is not a rate in bit/s (50 to 999999999)"},
      {{"-b", "49"}, "-b: '49' is not a rate in bit/s (50 to 999999999)"},
      {{"-b", "1000000000"}, "-b: '1000000000' is not a rate in bit/s (50 to 999999999)"},
      {{"-b", "+9600"}, "-b: '+9600' is not a rate in bit/s (50 to 999999999)"},
      {{"--databits", "9"}, "--databits: '9' is not a number of data bits (5, 6, 7 or 8)"},
      {{"--stopbits-b", "1.5"}, "--stopbits-b: '1.5' is not a number of stop bits (1 or 2)"},
      {{"--parity-a", "sideways"}, "--parity-a: 'sideways' is not a parity (none, odd, even, mark or space)"},
      {{"-f", "cts"}, "-f: 'cts' is not a flow control (none, rts or xon)"},
      {{"--view", "Hexa"}, "--view: 'Hexa' is not a view (hex, ascii, ansi, hdlc, ppp, icni or terminal)"},
      {{"--port-a", ""}, "--port-a: '' is not a device"},
      {{"--port-b", "ftp://lab:21"},
       "--port-b: 'ftp://lab:21' is not an address this program knows (rfc2217://HOST:PORT or tcp://HOST:PORT)"},
      {{"--port-a", "tcp://lab:0"}, "--port-a: 'tcp://lab:0' needs a host and a port (1 to 65535)"},
      {{"--port-a", "rfc2217://:2217"}, "--port-a: 'rfc2217://:2217' needs a host and a port (1 to 65535)"},
      {{"--log", "/nonexistent-folder/trace.htm"}, "--log: '/nonexistent-folder/trace.htm' is in no folder that exists"},
      {{"--log", "/tmp"}, "--log: '/tmp' is a folder"},
      {{"--log", long_name}, "--log: '" + long_name + "' is too long a path (at most 259 characters)"},
      {{"--capture", "/nonexistent-folder/line.pcapng"},
       "--capture: '/nonexistent-folder/line.pcapng' is in no folder that exists"},
      // The first fault is the one told.
      {{"-d", "4", "-s", "3"}, "-d: '4' is not a number of data bits (5, 6, 7 or 8)"},
  };
  for (const auto& c : cases) {
    const CommandLine line = parse(c.args);
    EXPECT_EQ(line.action, StartAction::Error) << testing::PrintToString(c.args);
    EXPECT_EQ(line.error, c.error);
  }
}

TEST(CommandLine, GivenSettingsWinOverTheOnesTheyAreLaidOver) {
  StartSettings saved;
  saved.ports[0].speed = "9600";
  saved.ports[0].parity = "NONE";
  saved.ports[1].device = "/dev/ttyUSB1";
  saved.view = "ASCII";
  const CommandLine given = parse({"--baud-a", "57600", "--port-b", "/dev/ttyS1", "--no-config"});
  overlay(saved, given.settings);
  EXPECT_EQ(port_line(saved.ports[0]), "- 57600 - - NONE -");
  EXPECT_EQ(port_line(saved.ports[1]), "/dev/ttyS1 - - - - -");
  EXPECT_EQ(saved.view, "ASCII");
  EXPECT_TRUE(saved.no_config);
}

std::string help_text() {
  char* text = nullptr;
  std::size_t size = 0;
  std::FILE* out = open_memstream(&text, &size);
  CommandLine help;
  help.action = StartAction::Help;
  win_answer_command_line(help, out, stderr);
  std::fclose(out);
  std::string copy(text, size);
  std::free(text);
  return copy;
}

// The manual page as it reads: roff writes a hyphen "\-".
std::string manual_text() {
  std::ifstream in(QUILLPORT_MANUAL_PAGE);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  for (std::size_t at; (at = text.find("\\-")) != std::string::npos;) text.erase(at, 1);
  return text;
}

// Whether `text` names option `name` whole ("--baud" in "--baud RATE", not in "--baud-a").
bool names_option(const std::string& text, const std::string& name) {
  const std::string option = "--" + name;
  for (std::size_t at = text.find(option); at != std::string::npos; at = text.find(option, at + 1)) {
    const char next = at + option.size() < text.size() ? text[at + option.size()] : ' ';
    if (next != '-' && (next < 'a' || next > 'z')) return true;
  }
  return false;
}

TEST(CommandLine, TheHelpAndTheManualPageNameEveryOption) {
  const std::string help = help_text();
  const std::string manual = manual_text();
  ASSERT_FALSE(manual.empty()) << QUILLPORT_MANUAL_PAGE;
  for (const std::string& name : command_line_option_names()) {
    EXPECT_TRUE(names_option(help, name)) << name;
    EXPECT_TRUE(names_option(manual, name)) << name;
  }
  EXPECT_NE(manual.find("QUILLPORT_COM"), std::string::npos);
}

}  // namespace
