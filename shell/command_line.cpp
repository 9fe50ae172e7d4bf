#include "shell/command_line.h"

#include <getopt.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string_view>

#include "shell/port_list.h"

#ifndef QUILLPORT_VERSION
#define QUILLPORT_VERSION "unknown"
#endif

namespace {

namespace fs = std::filesystem;

constexpr char kUsage[] = "Usage: quillport [options]\nTry 'quillport --help' for more information.\n";

constexpr char kHelp[] = R"(Usage: quillport [options]
A monitor and test terminal for two serial lines at once, Port A and Port B.

Ports (DEV: a device path such as /dev/ttyUSB0 or ttyUSB0, a /dev/serial/by-id link,
or a network address rfc2217://HOST:PORT or tcp://HOST:PORT):
      --port-a DEV        Port A's device, COM1 for this run
      --port-b DEV        Port B's device, COM2 for this run

Line settings: a plain option sets both ports, its -a or -b form one port alone, which wins
over the plain one (--baud-a 57600 -b 9600: Port A at 57600 bit/s, Port B at 9600):
  -b, --baud RATE         any rate in bit/s the device takes (default 9600)
  -d, --databits 5|6|7|8  (default 8)
  -s, --stopbits 1|2      (default 1)
  -p, --parity none|odd|even|mark|space   (or n, o, e, m, s; default none)
  -f, --flow none|rts|xon (or tio's hard and soft; default none)
      --baud-a, --databits-a, --stopbits-a, --parity-a, --flow-a VALUE   Port A alone
      --baud-b, --databits-b, --stopbits-b, --parity-b, --flow-b VALUE   Port B alone

Window:
      --view NAME         hex, ascii, ansi, hdlc, ppp, icni or terminal (default hex)
      --log FILE          start an HTML log in FILE (replaced if it exists)
      --capture FILE      start a pcapng capture of both lines in FILE (replaced if it exists)
      --no-config         start from the defaults and save no settings

Other:
  -l, --list              list the ports and what holds them, then exit
  -V, --version           print the version, then exit
  -h, --help              print this help, then exit

Environment: QUILLPORT_COM<k>=DEV (k = 1..16) names the device of COMk.
Settings are saved in $XDG_CONFIG_HOME/quillport/quillport.ini (~/.config/quillport/ without it);
options win over them for the run they are given to.
Exit status: 0 once the window is closed, 2 for a command line that cannot be used.
)";

// Long options without a short one.
enum OptionCode : int {
  kPortA = 256, kPortB, kBaudA, kBaudB, kDataA, kDataB, kStopA, kStopB,
  kParityA, kParityB, kFlowA, kFlowB, kView, kLog, kCapture, kNoConfig
};

constexpr std::array<option, 25> kOptions = {{
    {"help", no_argument, nullptr, 'h'},
    {"version", no_argument, nullptr, 'V'},
    {"list", no_argument, nullptr, 'l'},
    {"port-a", required_argument, nullptr, kPortA},
    {"port-b", required_argument, nullptr, kPortB},
    {"baud", required_argument, nullptr, 'b'},
    {"baud-a", required_argument, nullptr, kBaudA},
    {"baud-b", required_argument, nullptr, kBaudB},
    {"databits", required_argument, nullptr, 'd'},
    {"databits-a", required_argument, nullptr, kDataA},
    {"databits-b", required_argument, nullptr, kDataB},
    {"stopbits", required_argument, nullptr, 's'},
    {"stopbits-a", required_argument, nullptr, kStopA},
    {"stopbits-b", required_argument, nullptr, kStopB},
    {"parity", required_argument, nullptr, 'p'},
    {"parity-a", required_argument, nullptr, kParityA},
    {"parity-b", required_argument, nullptr, kParityB},
    {"flow", required_argument, nullptr, 'f'},
    {"flow-a", required_argument, nullptr, kFlowA},
    {"flow-b", required_argument, nullptr, kFlowB},
    {"view", required_argument, nullptr, kView},
    {"log", required_argument, nullptr, kLog},
    {"capture", required_argument, nullptr, kCapture},
    {"no-config", no_argument, nullptr, kNoConfig},
    {nullptr, 0, nullptr, 0},
}};
constexpr char kShortOptions[] = ":hVlb:d:s:p:f:";

// ---- Values, each turned into the text its control shows, or why it cannot be ----

struct Value {
  std::optional<std::string> text;
  std::string why;  // when there is no text
};

Value refuse(std::string why) { return {std::nullopt, std::move(why)}; }

bool same_letters(std::string_view a, std::string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
  });
}

// The first entry of a table whose own name, or one of whose other names, `word` is.
template <std::size_t N>
Value named(std::string_view word, const std::array<std::array<std::string_view, 4>, N>& table,
            std::string why) {
  for (const auto& names : table)
    for (const std::string_view name : names)
      if (!name.empty() && same_letters(word, name)) return {std::string(names[0]), {}};
  return refuse(std::move(why));
}

// As the Speed field takes it: a whole rate in bit/s, at most nine digits.
Value rate(std::string_view text) {
  constexpr unsigned kLowest = 50;  // the lowest rate termios names
  unsigned value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  const bool whole = error == std::errc{} && end == text.data() + text.size() && text.size() <= 9;
  if (!whole || value < kLowest) return refuse("is not a rate in bit/s (50 to 999999999)");
  return {std::to_string(value), {}};
}

Value data_bits(std::string_view text) {
  static constexpr std::array<std::array<std::string_view, 4>, 4> kData = {{{"5"}, {"6"}, {"7"}, {"8"}}};
  return named(text, kData, "is not a number of data bits (5, 6, 7 or 8)");
}

Value stop_bits(std::string_view text) {
  static constexpr std::array<std::array<std::string_view, 4>, 2> kStop = {{{"1"}, {"2"}}};
  return named(text, kStop, "is not a number of stop bits (1 or 2)");
}

Value parity(std::string_view text) {
  static constexpr std::array<std::array<std::string_view, 4>, 5> kParity = {{
      {"NONE", "n"}, {"ODD", "o"}, {"EVEN", "e"}, {"MARK", "m"}, {"SPACE", "s"}}};
  return named(text, kParity, "is not a parity (none, odd, even, mark or space)");
}

Value flow(std::string_view text) {
  static constexpr std::array<std::array<std::string_view, 4>, 3> kFlow = {{
      {"NONE", "n"}, {"RTS", "hard", "h", "rtscts"}, {"XON", "soft", "x", "xonxoff"}}};
  return named(text, kFlow, "is not a flow control (none, rts or xon)");
}

std::string_view view_entry(int code) {
  return {hex_view[code], strnlen(hex_view[code], HEX_VIEW_SIZE)};
}

// The views as a user writes them: "hex, ascii, ... or icni".
std::string view_names() {
  std::string names = "hex";
  for (int code = HEX_HEX_VIEW + 1; code < HEX_VIEW_MAX; ++code) {
    names += code + 1 < HEX_VIEW_MAX ? ", " : " or ";
    for (const char c : view_entry(code)) names += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  return names;
}

// A View selector entry in any letters, or "hex" for the first.
Value view(std::string_view text) {
  for (int code = 0; code < HEX_VIEW_MAX; ++code)
    if (same_letters(text, view_entry(code))) return {std::string(view_entry(code)), {}};
  if (same_letters(text, "hex")) return {std::string(view_entry(HEX_HEX_VIEW)), {}};
  return refuse("is not a view (" + view_names() + ")");
}

// "HOST:PORT" after a network address's scheme: a host, and a port from 1 to 65535.
bool host_and_port(std::string_view rest) {
  const std::size_t colon = rest.rfind(':');
  if (colon == std::string_view::npos || colon == 0) return false;
  const std::string_view port = rest.substr(colon + 1);
  unsigned number = 0;
  const auto [end, error] = std::from_chars(port.data(), port.data() + port.size(), number);
  return error == std::errc{} && end == port.data() + port.size() && number >= 1 && number <= 65535;
}

Value device(std::string_view text) {
  if (text.empty()) return refuse("is not a device");
  if (const std::size_t scheme = text.find("://"); scheme != std::string_view::npos) {
    const std::string_view name = text.substr(0, scheme);
    if (!same_letters(name, "rfc2217") && !same_letters(name, "tcp"))
      return refuse("is not an address this program knows (rfc2217://HOST:PORT or tcp://HOST:PORT)");
    if (!host_and_port(text.substr(scheme + 3))) return refuse("needs a host and a port (1 to 65535)");
    return {std::string(text), {}};
  }
  // A bare name is a device's, as tio and picocom users write it.
  if (text.find('/') == std::string_view::npos) return {"/dev/" + std::string(text), {}};
  std::error_code error;
  const fs::path absolute = fs::absolute(fs::path(text), error);
  return {error ? std::string(text) : absolute.string(), {}};
}

// A file the program will write: its folder must be there, and the whole path fit the log's limit.
Value written_file(std::string_view text) {
  if (text.empty()) return refuse("is not a file name");
  std::error_code error;
  const fs::path path = fs::absolute(fs::path(text), error);
  if (error || path.string().size() >= static_cast<std::size_t>(HEX_FILENAME_SIZE))
    return refuse("is too long a path (at most " + std::to_string(HEX_FILENAME_SIZE - 1) + " characters)");
  if (fs::is_directory(path, error)) return refuse("is a folder");
  const fs::path folder = path.parent_path();
  if (!fs::is_directory(folder, error)) return refuse("is in no folder that exists");
  if (::access(folder.c_str(), W_OK | X_OK) != 0)
    return refuse("cannot be written there: " + std::string(std::strerror(errno)));
  return {path.string(), {}};
}

// ---- The options ----

using PortField = std::optional<std::string> PortStartSettings::*;

struct LineOption {
  int code;
  int port;  // -1: both terminal ports
  PortField field;
  Value (*check)(std::string_view);
};

constexpr LineOption kLineOptions[] = {
    {kPortA, 0, &PortStartSettings::device, device},  {kPortB, 1, &PortStartSettings::device, device},
    {'b', -1, &PortStartSettings::speed, rate},        {kBaudA, 0, &PortStartSettings::speed, rate},
    {kBaudB, 1, &PortStartSettings::speed, rate},      {'d', -1, &PortStartSettings::data_bits, data_bits},
    {kDataA, 0, &PortStartSettings::data_bits, data_bits},
    {kDataB, 1, &PortStartSettings::data_bits, data_bits},
    {'s', -1, &PortStartSettings::stop_bits, stop_bits},
    {kStopA, 0, &PortStartSettings::stop_bits, stop_bits},
    {kStopB, 1, &PortStartSettings::stop_bits, stop_bits},
    {'p', -1, &PortStartSettings::parity, parity},     {kParityA, 0, &PortStartSettings::parity, parity},
    {kParityB, 1, &PortStartSettings::parity, parity}, {'f', -1, &PortStartSettings::flow, flow},
    {kFlowA, 0, &PortStartSettings::flow, flow},       {kFlowB, 1, &PortStartSettings::flow, flow},
};

// What the options said so far: settings for both ports, and for one port alone.
struct Reading {
  CommandLine line;
  PortStartSettings both;
  std::array<PortStartSettings, HEX_MAX_PORT> one;
  bool help = false, version = false, list = false;
};

void fail(Reading& reading, const std::string& what) {
  if (reading.line.action == StartAction::Error) return;  // the first error is the one told
  reading.line.action = StartAction::Error;
  reading.line.error = what;
}

// How the user wrote the option just read: its long name when `long_index` says one was used.
std::string option_text(int code, int long_index) {
  if (long_index >= 0) return std::string("--") + kOptions[static_cast<std::size_t>(long_index)].name;
  return std::string("-") + static_cast<char>(code);
}

// The option getopt_long could not take, as written ("--baud-a", "-x", "--help=3").
std::string failed_option_text(char* const* argv) {
  const std::string written = argv[optind - 1];
  if (written.rfind("--", 0) == 0 || optopt <= 0 || optopt > 255) return written;
  return std::string("-") + static_cast<char>(optopt);
}

void take_value(Reading& reading, const std::string& option, std::optional<std::string>& into,
                Value (*check)(std::string_view), const char* text) {
  Value value = check(text);
  if (!value.text) return fail(reading, option + ": '" + text + "' " + value.why);
  into = std::move(value.text);
}

bool line_option(Reading& reading, int code, const std::string& option) {
  for (const LineOption& known : kLineOptions) {
    if (known.code != code) continue;
    PortStartSettings& into = known.port < 0 ? reading.both : reading.one[static_cast<std::size_t>(known.port)];
    take_value(reading, option, into.*known.field, known.check, optarg);
    return true;
  }
  return false;
}

void other_option(Reading& reading, int code, const std::string& option, char* const* argv) {
  StartSettings& settings = reading.line.settings;
  switch (code) {
    case 'h': reading.help = true; return;
    case 'V': reading.version = true; return;
    case 'l': reading.list = true; return;
    case kView: return take_value(reading, option, settings.view, view, optarg);
    case kLog: return take_value(reading, option, settings.log, written_file, optarg);
    case kCapture: return take_value(reading, option, settings.capture, written_file, optarg);
    case kNoConfig: settings.no_config = true; return;
    case ':': {
      const std::string written = failed_option_text(argv);
      return fail(reading, written.substr(0, written.find('=')) + " needs a value");
    }
    default: {
      const std::string written = failed_option_text(argv);
      if (optopt != 0 && written.find('=') != std::string::npos)
        return fail(reading, written.substr(0, written.find('=')) + " takes no value");
      return fail(reading, "unknown or ambiguous option '" + written + "'");
    }
  }
}

// Both ports' settings, then each port's own over them.
void settle_ports(Reading& reading) {
  for (std::size_t port = 0; port < HEX_MAX_PORT; ++port) {
    StartSettings one;
    one.ports[port] = reading.one[port];
    StartSettings both;
    both.ports[port] = reading.both;
    overlay(reading.line.settings, both);
    overlay(reading.line.settings, one);
  }
}

void settle_action(Reading& reading) {
  CommandLine& line = reading.line;
  if (line.action == StartAction::Error) return;
  if (reading.help) line.action = StartAction::Help;
  else if (reading.version) line.action = StartAction::Version;
  else if (reading.list) line.action = StartAction::List;
}

}  // namespace

CommandLine parse_command_line(std::span<char* const> arguments) {
  // getopt_long reorders what it is given: it works on a copy.
  std::vector<std::string> copies(arguments.begin(), arguments.end());
  if (copies.empty()) copies.emplace_back("quillport");
  std::vector<char*> argv;
  for (std::string& copy : copies) argv.push_back(copy.data());
  argv.push_back(nullptr);
  const int argc = static_cast<int>(copies.size());

  Reading reading;
  optind = 0;  // glibc: start afresh, as for a new program
  opterr = 0;  // the errors are told here, in one format
  for (;;) {
    int long_index = -1;
    const int code = getopt_long(argc, argv.data(), kShortOptions, kOptions.data(), &long_index);
    if (code == -1) break;
    const std::string option = code == ':' || code == '?' ? std::string() : option_text(code, long_index);
    if (!line_option(reading, code, option)) other_option(reading, code, option, argv.data());
  }
  if (optind < argc) fail(reading, std::string("unexpected argument '") + argv[static_cast<std::size_t>(optind)] + "'");
  settle_ports(reading);
  settle_action(reading);
  return reading.line;
}

int win_answer_command_line(const CommandLine& line, std::FILE* out, std::FILE* err) {
  switch (line.action) {
    case StartAction::Run: return kExitDone;
    case StartAction::Help: std::fputs(kHelp, out); return kExitDone;
    case StartAction::Version: std::fprintf(out, "quillport %s\n", QUILLPORT_VERSION); return kExitDone;
    case StartAction::List:
      win_bind_start_devices(line.settings);
      print_port_list(out, list_ports());
      return kExitDone;
    case StartAction::Error:
      std::fprintf(err, "quillport: %s\n%s", line.error.c_str(), kUsage);
      return kExitUsage;
  }
  return kExitUsage;
}

std::vector<std::string> command_line_option_names() {
  std::vector<std::string> names;
  for (const option& known : kOptions)
    if (known.name != nullptr) names.emplace_back(known.name);
  return names;
}

std::optional<std::string> command_line_value(std::string_view name, std::string_view text) {
  const auto known = std::find_if(kOptions.begin(), kOptions.end(), [name](const option& candidate) {
    return candidate.name != nullptr && candidate.name == name;
  });
  if (known == kOptions.end() || known->has_arg != required_argument) return std::nullopt;
  if (known->val == kView) return view(text).text;
  for (const LineOption& line : kLineOptions)
    if (line.code == known->val) return line.check(text).text;
  return std::nullopt;
}
