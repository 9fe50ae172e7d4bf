#include "tools/extcap/extcap_options.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <optional>
#include <string_view>

namespace extcap {

namespace {

constexpr std::array<std::string_view, 14> kValueOptions = {
    "extcap-interface", "fifo",          "extcap-capture-filter", "speed",
    "databits",         "parity",        "stopbits",              "flow",
    "extcap-control-in", "extcap-control-out", "debug-file",      "extcap-reload-option",
    "extcap-config-option-name", "extcap-config-option-value",
};
constexpr unsigned kLowestRate = 50;
constexpr unsigned kHighestRate = 16'000'000;

bool takes_value(std::string_view name) {
  return std::find(kValueOptions.begin(), kValueOptions.end(), name) != kValueOptions.end();
}

std::optional<unsigned> whole_number(std::string_view text) {
  unsigned value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc{} || end != text.data() + text.size() || text.empty()) return std::nullopt;
  return value;
}

// One of `names` (its first letter stands for it): that first letter, or 0.
char choice(std::string_view text, std::initializer_list<std::string_view> names) {
  for (const std::string_view name : names)
    if (text == name || text == name.substr(0, 1)) return name[0];
  return 0;
}

std::string apply_setting(std::string_view name, std::string_view value, LineSettings& settings) {
  if (name == "speed") {
    const auto rate = whole_number(value);
    if (!rate || *rate < kLowestRate || *rate > kHighestRate) return "--speed takes a rate from 50 to 16000000";
    settings.speed = *rate;
  } else if (name == "databits") {
    const auto bits = whole_number(value);
    if (!bits || *bits < 5 || *bits > 8) return "--databits takes 5, 6, 7 or 8";
    settings.data_bits = static_cast<int>(*bits);
  } else if (name == "parity") {
    settings.parity = choice(value, {"none", "odd", "even", "mark", "space"});
    if (settings.parity == 0) return "--parity takes none, odd, even, mark or space";
  } else if (name == "stopbits") {
    if (value != "1" && value != "2") return "--stopbits takes 1 or 2";
    settings.stop_bits = value[0] - '0';
  } else if (name == "flow") {
    settings.flow = choice(value, {"none", "rts", "xon"});
    if (settings.flow == 0) return "--flow takes none, rts or xon";
  }
  return {};
}

struct Flags {
  bool interfaces = false;
  bool dlts = false;
  bool config = false;
  bool capture = false;
  bool version = false;
};

Mode mode_of(const Flags& flags, const Request& request) {
  if (flags.interfaces) return Mode::Interfaces;
  if (flags.dlts) return Mode::Dlts;
  if (flags.config) return Mode::Config;
  if (flags.capture) return Mode::Capture;
  if (!request.capture_filter.empty()) return Mode::CheckFilter;
  return flags.version ? Mode::Version : Mode::Usage;
}

void set_flag(std::string_view name, Flags& flags) {
  if (name == "extcap-interfaces") flags.interfaces = true;
  if (name == "extcap-dlts") flags.dlts = true;
  if (name == "extcap-config") flags.config = true;
  if (name == "capture") flags.capture = true;
  if (name == "extcap-version") flags.version = true;
}

std::string take_value(std::string_view name, std::string_view value, Request& request) {
  if (name == "extcap-interface") request.interface = value;
  if (name == "fifo") request.fifo = value;
  if (name == "extcap-capture-filter") request.capture_filter = value;
  return apply_setting(name, value, request.settings);
}

bool known_flag(std::string_view name) {
  return name == "capture" || name == "debug" || name.starts_with("extcap-");
}

// Takes the option at args[i] (and its value, moving i past it); "" or why it cannot.
std::string take_option(const std::vector<std::string>& args, std::size_t& i, Request& request, Flags& flags) {
  const std::string_view arg = args[i];
  if (!arg.starts_with("--")) return "unexpected argument " + args[i];
  const std::size_t equals = arg.find('=');
  const std::string_view name = arg.substr(2, equals == std::string_view::npos ? arg.npos : equals - 2);
  if (!takes_value(name)) {
    if (!known_flag(name)) return "unknown option " + args[i];
    set_flag(name, flags);
    return {};
  }
  if (equals != std::string_view::npos) return take_value(name, arg.substr(equals + 1), request);
  if (i + 1 >= args.size()) return "--" + std::string(name) + " needs a value";
  return take_value(name, args[++i], request);
}

}  // namespace

Request parse_request(const std::vector<std::string>& args, std::string& error) {
  Request request;
  Flags flags;
  error.clear();
  for (std::size_t i = 0; i < args.size() && error.empty(); ++i) error = take_option(args, i, request, flags);
  request.mode = mode_of(flags, request);
  return request;
}

std::string describe_settings(const LineSettings& settings) {
  const char* flow = settings.flow == 'r' ? "RTS/CTS flow control" : settings.flow == 'x' ? "XON/XOFF flow control"
                                                                                          : "no flow control";
  const char parity = static_cast<char>(settings.parity - 'a' + 'A');
  return std::to_string(settings.speed) + " " + std::to_string(settings.data_bits) + parity +
         std::to_string(settings.stop_bits) + ", " + flow;
}

}  // namespace extcap
