#include "tools/extcap/extcap_listing.h"

#include <algorithm>
#include <array>
#include <string_view>

#include "capture/capture_types.h"
#include "capture/tap_socket.h"
#include "serial/devices.h"
#include "serial/ser.h"

namespace extcap {

namespace {

constexpr std::string_view kComPrefix = "quillport-COM";
constexpr std::string_view kTapPrefix = "quillport-tap-";
constexpr std::string_view kTapSuffix = ".tap";

struct Choice {
  std::string_view value;
  std::string_view display;
};

std::vector<Interface> com_interfaces() {
  serial::rescan_devices();
  std::vector<Interface> interfaces;
  for (int port = 0; port < NBR_PORTS; ++port) {
    const std::string device = serial::device_path(port);
    if (device.empty()) continue;
    const std::string com = "COM" + std::to_string(port + 1);
    interfaces.push_back({std::string(kComPrefix) + std::to_string(port + 1), "Quillport " + com + ": " + device,
                          device, port});
  }
  return interfaces;
}

Interface tap_interface(const std::string& device) {
  std::string name = capture::tap_socket_name(device);
  name.resize(name.size() - kTapSuffix.size());
  return {std::string(kTapPrefix) + name, "Quillport tap: " + device, device, -1};
}

bool served_by(const std::vector<Interface>& interfaces, const std::string& device) {
  const std::string canonical = capture::canonical_device(device);
  return std::any_of(interfaces.begin(), interfaces.end(),
                     [&](const Interface& i) { return capture::canonical_device(i.device) == canonical; });
}

void print_arg(std::ostream& out, int number, std::string_view call, std::string_view display, std::string_view type,
               std::string_view more = "") {
  out << "arg {number=" << number << "}{call=--" << call << "}{display=" << display
      << "}{tooltip=Used when the port is opened here; through Quillport's tap it keeps Quillport's settings}"
      << "{type=" << type << "}" << more << "\n";
}

void print_values(std::ostream& out, int arg, std::initializer_list<Choice> choices, std::string_view chosen) {
  for (const Choice& c : choices)
    out << "value {arg=" << arg << "}{value=" << c.value << "}{display=" << c.display
        << "}{default=" << (c.value == chosen ? "true" : "false") << "}\n";
}

}  // namespace

std::vector<Interface> list_interfaces() {
  std::vector<Interface> interfaces = com_interfaces();
  std::vector<std::string> tapped = capture::tapped_devices();
  std::sort(tapped.begin(), tapped.end());
  for (const std::string& device : tapped)
    if (!served_by(interfaces, device)) interfaces.push_back(tap_interface(device));
  return interfaces;
}

std::optional<Interface> find_interface(const std::string& value) {
  if (value.starts_with(kComPrefix)) {
    const std::vector<Interface> interfaces = com_interfaces();
    const auto found = std::find_if(interfaces.begin(), interfaces.end(), [&](const Interface& i) { return i.value == value; });
    if (found != interfaces.end()) return *found;
    return std::nullopt;
  }
  if (!value.starts_with(kTapPrefix)) return std::nullopt;
  const std::optional<std::string> device =
      capture::device_of_tap_name(value.substr(kTapPrefix.size()) + std::string(kTapSuffix));
  if (!device) return std::nullopt;
  return tap_interface(*device);
}

void print_version(std::ostream& out) {
  out << "extcap {version=" << QUILLPORT_VERSION << "}{display=Quillport serial ports}\n";
}

void print_interfaces(std::ostream& out, const std::vector<Interface>& interfaces) {
  print_version(out);
  for (const Interface& i : interfaces) out << "interface {value=" << i.value << "}{display=" << i.display << "}\n";
}

void print_dlts(std::ostream& out) {
  out << "dlt {number=" << capture::kLinkRtacSerial
      << "}{name=RTAC_SERIAL}{display=RTAC Serial: bytes received and sent, with control lines}\n";
}

void print_config(std::ostream& out) {
  // Any rate the device takes, typed: Wireshark 4.0 has no selector that takes a typed value.
  print_arg(out, 0, "speed", "Speed (bit/s)", "unsigned", "{range=50,16000000}{default=9600}");
  print_arg(out, 1, "databits", "Data bits", "selector");
  print_values(out, 1, {{"5", "5"}, {"6", "6"}, {"7", "7"}, {"8", "8"}}, "8");
  print_arg(out, 2, "parity", "Parity", "selector");
  print_values(out, 2, {{"none", "None"}, {"odd", "Odd"}, {"even", "Even"}, {"mark", "Mark"}, {"space", "Space"}},
               "none");
  print_arg(out, 3, "stopbits", "Stop bits", "selector");
  print_values(out, 3, {{"1", "1"}, {"2", "2"}}, "1");
  print_arg(out, 4, "flow", "Flow control", "selector");
  print_values(out, 4, {{"none", "None"}, {"rts", "RTS/CTS"}, {"xon", "XON/XOFF"}}, "none");
}

}  // namespace extcap
