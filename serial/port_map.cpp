// Which device each port number stands for: a binding made by the program, else the user's
// QUILLPORT_COM<k> variable, else a number given out by scanning the serial devices in sysfs.
#include <sys/stat.h>

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "serial/devices.h"
#include "serial/net_address.h"
#include "serial/ser.h"
#include "serial/ser_platform.h"

namespace serial {

namespace {

namespace fs = std::filesystem;

struct DeviceMap {
  std::string sys_class_tty = "/sys/class/tty";
  std::string dev_dir = "/dev";
  std::array<std::string, NBR_PORTS> bound;    // bind_device
  std::array<std::string, NBR_PORTS> scanned;  // given out by the scan, kept for the run
  std::array<std::string, NBR_PORTS> links;    // the by-id link of a scanned adapter
  std::array<bool, NBR_PORTS> unsettled{};     // new device while an adapter was away (last scan)
  bool scanned_once = false;
};

DeviceMap& Map() {
  static DeviceMap map;
  return map;
}

bool InRange(int port) { return port >= 0 && port < NBR_PORTS; }

std::size_t Index(int port) { return static_cast<std::size_t>(port); }

// Read at every look-up, so a variable set before an open takes effect at that open.
std::string VariablePath(int port) {
  const std::string name = "QUILLPORT_COM" + std::to_string(port + 1);
  const char* value = std::getenv(name.c_str());
  return value != nullptr ? value : "";
}

// The path the program or the user named for a number, ahead of the scan.
std::string NamedPath(int port) {
  const std::string& bound = Map().bound[Index(port)];
  return bound.empty() ? VariablePath(port) : bound;
}

std::optional<std::string> ReadAttribute(const fs::path& file) {
  std::ifstream in(file);
  if (!in) return std::nullopt;
  std::string text;
  std::getline(in, text);
  const auto space = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  while (!text.empty() && space(text.back())) text.pop_back();
  text.erase(text.begin(), std::find_if_not(text.begin(), text.end(), space));
  return text;
}

// Names listed in console/active, e.g. "tty0 ttyS0".
std::vector<std::string> ActiveConsoles(const fs::path& root) {
  std::vector<std::string> names;
  std::ifstream in(root / "console" / "active");
  for (std::string name; in >> name;) names.push_back(name);
  return names;
}

// A kernel console's line carries the kernel's messages; it is no port for the user's equipment.
bool IsConsole(const fs::path& dir, const std::string& name,
               const std::vector<std::string>& active) {
  if (const auto flag = ReadAttribute(dir / "console"); flag && flag->starts_with('Y')) return true;
  return std::find(active.begin(), active.end(), name) != active.end();
}

// Serial-core drivers register every port they might have (ttyS0..ttyS31 for the 8250) and report
// the ones without a UART behind them as type 0 (PORT_UNKNOWN).
bool ReportsRealUart(const fs::path& dir, const std::string& name, const std::string& path) {
  if (const auto text = ReadAttribute(dir / "type")) {
    int type = 0;
    const auto [end, ec] = std::from_chars(text->data(), text->data() + text->size(), type);
    return ec == std::errc{} && end == text->data() + text->size() && type != 0;
  }
  // Only an 8250-style ttyS without the attribute is asked with TIOCGSERIAL: opening a port
  // raises its modem lines, so no other port is opened just to look at it.
  if (!name.starts_with("ttyS")) return true;
  int type = 0;
  return platform::uart_type(path.c_str(), type) == 0 && type != 0;
}

struct Found {
  int group;           // 0 ttyUSB*, 1 ttyACM*, 2 the others
  std::string prefix;  // the name before its number
  std::string number;  // its number without leading zeros
  std::string path;
};

Found Describe(const std::string& name, std::string path) {
  const auto digits = name.find_last_not_of("0123456789") + 1;
  std::string number = name.substr(digits);
  number.erase(0, std::min(number.find_first_not_of('0'), number.size()));
  const int group = name.starts_with("ttyUSB") ? 0 : name.starts_with("ttyACM") ? 1 : 2;
  return {group, name.substr(0, digits), std::move(number), std::move(path)};
}

// Natural order: ttyUSB2 before ttyUSB10.
bool NaturalLess(const Found& a, const Found& b) {
  if (a.group != b.group) return a.group < b.group;
  if (a.prefix != b.prefix) return a.prefix < b.prefix;
  if (a.number.size() != b.number.size()) return a.number.size() < b.number.size();
  if (a.number != b.number) return a.number < b.number;
  return a.path < b.path;
}

std::vector<std::string> ScanDevices(const DeviceMap& map) {
  const fs::path root(map.sys_class_tty);
  const std::vector<std::string> consoles = ActiveConsoles(root);
  std::vector<Found> found;
  std::error_code ec;
  for (fs::directory_iterator it(root, ec), end; !ec && it != end; it.increment(ec)) {
    const fs::path dir = it->path();
    const std::string name = dir.filename().string();
    // Virtual terminals, pty masters and the like have no device behind them.
    std::error_code link_ec;
    if (!fs::exists(fs::symlink_status(dir / "device", link_ec))) continue;
    if (IsConsole(dir, name, consoles)) continue;
    std::string path = (fs::path(map.dev_dir) / name).string();
    if (!ReportsRealUart(dir, name, path)) continue;
    found.push_back(Describe(name, std::move(path)));
  }
  std::sort(found.begin(), found.end(), NaturalLess);
  std::vector<std::string> paths;
  for (Found& f : found) paths.push_back(std::move(f.path));
  return paths;
}

// Two names for one device (a symlink, a by-id path) count as the same device.
bool SameDevice(const std::string& a, const std::string& b) {
  if (a == b) return true;
  struct stat sa {};
  struct stat sb {};
  return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && S_ISCHR(sa.st_mode) &&
         S_ISCHR(sb.st_mode) && sa.st_rdev == sb.st_rdev;
}

std::string ByIdFolder(const DeviceMap& map) {
  return (fs::path(map.dev_dir) / "serial" / "by-id").string();
}

// An adapter known by its by-id link keeps its number under whatever name the kernel gives it now.
// While it is unplugged its number names the link, so no other device that took its old name is
// opened in its place.
void FollowLinks(DeviceMap& map, const std::vector<std::string>& found) {
  for (std::size_t n = 0; n < map.links.size(); ++n) {
    const std::string& link = map.links[n];
    if (link.empty()) continue;
    const auto now = std::find_if(found.begin(), found.end(), [&link](const std::string& path) {
      return SameDevice(link, path);
    });
    if (now == found.end()) {
      map.scanned[n] = link;
      continue;
    }
    map.scanned[n] = *now;
    // A scan between the kernel making the node and udev making the link gave the adapter a
    // second number; it is taken back.
    for (std::size_t m = 0; m < map.scanned.size(); ++m)
      if (m != n && map.links[m].empty() && SameDevice(map.scanned[m], *now))
        map.scanned[m].clear();
  }
}

// An adapter known by its link is unplugged: its number names the link, which leads nowhere.
bool AdapterAway(const DeviceMap& map) {
  for (std::size_t n = 0; n < map.links.size(); ++n)
    if (!map.links[n].empty() && map.scanned[n] == map.links[n]) return true;
  return false;
}

// udev makes an adapter's by-id link a moment after its node, so a scanned number without a link
// looks again at every scan.
void RememberLinks(DeviceMap& map) {
  std::vector<std::string> links;
  std::error_code ec;
  for (fs::directory_iterator it(ByIdFolder(map), ec), end; !ec && it != end; it.increment(ec))
    links.push_back(it->path().string());
  for (std::size_t n = 0; n < map.scanned.size(); ++n) {
    if (map.scanned[n].empty() || !map.links[n].empty()) continue;
    for (const std::string& link : links) {
      if (SameDevice(link, map.scanned[n])) {
        map.links[n] = link;
        break;
      }
    }
  }
}

}  // namespace

std::string device_path(int port) {
  if (!InRange(port)) return {};
  if (std::string named = NamedPath(port); !named.empty()) return named;
  if (!Map().scanned_once) rescan_devices();
  return Map().scanned[Index(port)];
}

void bind_device(int port, const std::string& path) {
  if (InRange(port)) Map().bound[Index(port)] = path;
}

void rescan_devices() {
  DeviceMap& map = Map();
  map.scanned_once = true;
  std::array<std::string, NBR_PORTS> named;
  for (int n = 0; n < NBR_PORTS; ++n) named[Index(n)] = NamedPath(n);

  const std::vector<std::string> found = ScanDevices(map);
  FollowLinks(map, found);
  map.unsettled.fill(false);
  const bool adapter_away = AdapterAway(map);
  for (const std::string& path : found) {
    const auto same = [&path](const std::string& other) {
      return !other.empty() && SameDevice(other, path);
    };
    // A device keeps the number it has; one the user named already has its number.
    if (std::any_of(map.scanned.begin(), map.scanned.end(), same) ||
        std::any_of(named.begin(), named.end(), same))
      continue;
    for (std::size_t n = 0; n < map.scanned.size(); ++n) {
      if (map.scanned[n].empty() && named[n].empty()) {
        map.scanned[n] = path;
        map.unsettled[n] = adapter_away;
        break;
      }
    }
  }
  RememberLinks(map);
}

std::string device_link(int port) {
  if (!InRange(port)) return {};
  if (!Map().scanned_once) rescan_devices();
  return Map().links[Index(port)];
}

bool device_unsettled(int port) { return InRange(port) && Map().unsettled[Index(port)]; }

std::vector<std::string> device_watch_paths(int port) {
  if (!InRange(port)) return {};
  // A network address has nothing on this machine to watch; its port is tried at every check.
  if (std::string named = NamedPath(port); !named.empty()) {
    if (is_network_address(named)) return {};
    return {named};
  }
  const DeviceMap& map = Map();
  // A path ending in '/' stands for the entries of its folder: where new devices and links appear.
  std::vector<std::string> paths = {(fs::path(map.dev_dir) / "").string(),
                                    (fs::path(ByIdFolder(map)) / "").string()};
  for (const std::string& path : {device_path(port), device_link(port)})
    if (!path.empty()) paths.push_back(path);
  return paths;
}

int open_port_of(const std::string& path) {
  struct stat device {};
  if (::stat(path.c_str(), &device) != 0 || !S_ISCHR(device.st_mode)) return -1;
  for (int port = 0; port < NBR_PORTS; ++port) {
    struct stat open {};
    const int fd = native_handle(port);
    if (fd >= 0 && ::fstat(fd, &open) == 0 && S_ISCHR(open.st_mode) &&
        open.st_rdev == device.st_rdev)
      return port;
  }
  return -1;
}

void set_scan_roots(const std::string& sys_class_tty, const std::string& dev_dir) {
  DeviceMap& map = Map();
  map.sys_class_tty = sys_class_tty;
  map.dev_dir = dev_dir;
  map.scanned_once = false;
}

void reset_device_map() {
  DeviceMap& map = Map();
  map.scanned.fill({});
  map.links.fill({});
  map.unsettled.fill(false);
  map.scanned_once = false;
}

}  // namespace serial
