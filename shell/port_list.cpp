#include "shell/port_list.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <set>

#include "serial/devices.h"
#include "serial/ser.h"

namespace {

namespace fs = std::filesystem;

bool is_network_address(const std::string& device) { return device.find("://") != std::string::npos; }

bool is_number(const std::string& text) {
  return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::optional<dev_t> char_device(const std::string& path) {
  struct stat status {};
  if (::stat(path.c_str(), &status) != 0 || !S_ISCHR(status.st_mode)) return std::nullopt;
  return status.st_rdev;
}

std::string link_target(const fs::path& link) {
  char target[PATH_MAX];
  const ssize_t length = ::readlink(link.c_str(), target, sizeof target);
  return length > 0 ? std::string(target, static_cast<std::size_t>(length)) : std::string();
}

std::string command_of(const fs::path& process) {
  std::ifstream in(process / "comm");
  std::string name;
  std::getline(in, name);
  return name.empty() ? "?" : name;
}

struct Descriptors {
  std::map<dev_t, std::vector<PortHolder>> holders;
  int uninspected = 0;
};

class DescriptorScan {
 public:
  DescriptorScan(const std::set<dev_t>& wanted, Descriptors& found) : wanted_(wanted), found_(found) {}

  void process(const fs::path& folder, int pid) {
    std::error_code error;
    fs::directory_iterator fds(folder / "fd", error);
    // Another user's process; one that ended meanwhile has nothing to say.
    if (error == std::errc::permission_denied) ++found_.uninspected;
    for (fs::directory_iterator end; !error && fds != end; fds.increment(error))
      descriptor(fds->path(), folder, pid);
  }

 private:
  void descriptor(const fs::path& fd, const fs::path& folder, int pid) {
    const std::string target = link_target(fd);
    // Only device nodes are looked at: stat on them never waits, as it may on a network mount.
    if (target.rfind("/dev/", 0) != 0) return;
    const auto cached = devices_.try_emplace(target, std::nullopt);
    if (cached.second) cached.first->second = char_device(target);
    const std::optional<dev_t> device = cached.first->second;
    if (!device || wanted_.count(*device) == 0) return;
    std::vector<PortHolder>& holders = found_.holders[*device];
    if (std::none_of(holders.begin(), holders.end(), [pid](const PortHolder& h) { return h.pid == pid; }))
      holders.push_back({pid, command_of(folder)});
  }

  const std::set<dev_t>& wanted_;
  Descriptors& found_;
  std::map<std::string, std::optional<dev_t>> devices_;  // link targets already looked at
};

Descriptors scan_descriptors(const std::string& proc, const std::set<dev_t>& wanted) {
  Descriptors found;
  DescriptorScan scan(wanted, found);
  std::error_code error;
  for (fs::directory_iterator it(proc, error), end; !error && it != end; it.increment(error)) {
    const std::string name = it->path().filename().string();
    if (!is_number(name) || name.size() >= 10) continue;
    // This listing holds nothing; what it has open (its terminal) is not what holds a port.
    if (const int pid = std::stoi(name); pid != ::getpid()) scan.process(it->path(), pid);
  }
  return found;
}

PortListing describe(int number, std::set<dev_t>& wanted, std::map<int, dev_t>& devices) {
  PortListing port{number, serial::device_path(number), serial::device_link(number), PortState::Free, {}};
  if (is_network_address(port.device)) {
    port.state = PortState::Network;
    return port;
  }
  struct stat status {};
  if (::stat(port.device.c_str(), &status) != 0) {
    port.state = PortState::Absent;
  } else if (!S_ISCHR(status.st_mode)) {
    port.state = PortState::NotADevice;
  } else {
    wanted.insert(status.st_rdev);
    devices[number] = status.st_rdev;
  }
  return port;
}

std::string state_text(const PortListing& port) {
  switch (port.state) {
    case PortState::Free: return "free";
    case PortState::Absent: return "absent";
    case PortState::NotADevice: return "not a serial device";
    case PortState::Network: return "network address";
    case PortState::Held: break;
  }
  std::string text = "held by ";
  for (const PortHolder& holder : port.holders) {
    if (&holder != &port.holders.front()) text += ", ";
    text += std::to_string(holder.pid) + " (" + holder.command + ")";
  }
  return text;
}

std::string device_text(const PortListing& port) {
  return port.link.empty() ? port.device : port.device + " (" + port.link + ")";
}

}  // namespace

PortList list_ports(const std::string& proc) {
  serial::rescan_devices();
  PortList list;
  std::set<dev_t> wanted;
  std::map<int, dev_t> devices;
  for (int number = 0; number < NBR_PORTS; ++number)
    if (!serial::device_path(number).empty()) list.ports.push_back(describe(number, wanted, devices));
  if (wanted.empty()) return list;
  const Descriptors found = scan_descriptors(proc, wanted);
  list.uninspected = found.uninspected;
  for (PortListing& port : list.ports) {
    const auto device = devices.find(port.number);
    if (device == devices.end()) continue;
    const auto held = found.holders.find(device->second);
    if (held == found.holders.end()) continue;
    port.state = PortState::Held;
    port.holders = held->second;
  }
  return list;
}

void print_port_list(std::FILE* out, const PortList& list) {
  if (list.ports.empty()) {
    std::fprintf(out, "No serial devices found: name one with QUILLPORT_COM<k> or --port-a.\n");
    return;
  }
  std::size_t width = 0;
  for (const PortListing& port : list.ports) width = std::max(width, device_text(port).size());
  for (const PortListing& port : list.ports) {
    const std::string com = "COM" + std::to_string(port.number + 1);
    std::fprintf(out, "%-6s %-*s  %s\n", com.c_str(), static_cast<int>(width), device_text(port).c_str(),
                 state_text(port).c_str());
  }
  if (list.uninspected > 0)
    std::fprintf(out, "(%d processes of other users were not inspected: a port shown free may be held by one.)\n",
                 list.uninspected);
}
