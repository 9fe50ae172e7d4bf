#include "capture/tap_socket.h"

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <system_error>

namespace capture {

namespace {

constexpr std::string_view kSuffix = ".tap";

bool kept_as_is(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' || c == '_' ||
         c == '-';
}

int hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string escaped(std::string_view device) {
  std::string name;
  for (const char c : device) {
    if (kept_as_is(c)) {
      name += c;
      continue;
    }
    char code[4];
    std::snprintf(code, sizeof code, "%%%02X", static_cast<unsigned>(static_cast<unsigned char>(c)));
    name += code;
  }
  return name;
}

std::optional<std::string> unescaped(std::string_view name) {
  std::string device;
  for (std::size_t i = 0; i < name.size(); ++i) {
    if (name[i] != '%') {
      if (!kept_as_is(name[i])) return std::nullopt;
      device += name[i];
      continue;
    }
    if (i + 2 >= name.size()) return std::nullopt;
    const int high = hex_value(name[i + 1]);
    const int low = hex_value(name[i + 2]);
    if (high < 0 || low < 0) return std::nullopt;
    device += static_cast<char>(high * 16 + low);
    i += 2;
  }
  return device;
}

// FNV-1a, 64 bits: a stable name for a device too long to spell out.
std::uint64_t fnv1a(std::string_view text) {
  std::uint64_t hash = 0xcbf29ce484222325;
  for (const char c : text) hash = (hash ^ static_cast<unsigned char>(c)) * 0x100000001b3;
  return hash;
}

// The longest name that fits a socket address after the folder and a slash.
std::size_t longest_name() {
  const std::size_t room = sizeof(sockaddr_un{}.sun_path) - 1;
  const std::size_t dir = tap_directory().size() + 1;
  return room > dir ? room - dir : 0;
}

std::string reason(int error) { return std::error_code(error, std::generic_category()).message(); }

}  // namespace

std::string tap_directory() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime != nullptr && runtime[0] == '/') return std::string(runtime) + "/quillport";
  return "/tmp/quillport-" + std::to_string(::geteuid());
}

std::string canonical_device(std::string_view device) {
  if (device.empty() || device.front() != '/') return std::string(device);
  const std::unique_ptr<char, decltype(&std::free)> real(::realpath(std::string(device).c_str(), nullptr), &std::free);
  return real ? std::string(real.get()) : std::string(device);
}

std::string tap_socket_name(std::string_view device) {
  const std::string canonical = canonical_device(device);
  std::string name = escaped(canonical) + std::string(kSuffix);
  if (name.size() <= longest_name()) return name;
  char hashed[32];
  std::snprintf(hashed, sizeof hashed, "#%016llx", static_cast<unsigned long long>(fnv1a(canonical)));
  return hashed + std::string(kSuffix);
}

std::string tap_socket_path(std::string_view device) { return tap_directory() + "/" + tap_socket_name(device); }

std::optional<std::string> device_of_tap_name(std::string_view name) {
  if (!name.ends_with(kSuffix) || name.starts_with('#')) return std::nullopt;
  name.remove_suffix(kSuffix.size());
  if (name.empty()) return std::nullopt;
  return unescaped(name);
}

std::vector<std::string> tapped_devices() {
  std::vector<std::string> devices;
  const std::string dir = tap_directory();
  if (!check_private_directory(dir, false).empty()) return devices;
  std::error_code ec;
  for (std::filesystem::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
    const std::optional<std::string> device = device_of_tap_name(it->path().filename().string());
    if (device && it->is_socket(ec)) devices.push_back(*device);
  }
  return devices;
}

bool tap_exists(std::string_view device) {
  struct stat st {};
  return ::lstat(tap_socket_path(device).c_str(), &st) == 0 && S_ISSOCK(st.st_mode);
}

std::string check_private_directory(const std::string& dir, bool create) {
  if (create && ::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) return dir + ": " + reason(errno);
  struct stat st {};
  if (::lstat(dir.c_str(), &st) != 0) return dir + ": " + reason(errno);
  if (!S_ISDIR(st.st_mode)) return dir + " is not a folder";
  if (st.st_uid != ::geteuid()) return dir + " belongs to another user (uid " + std::to_string(st.st_uid) + ")";
  if ((st.st_mode & 077) != 0) {
    char mode[8];
    std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(st.st_mode & 07777));
    return dir + " is open to other users (mode " + mode + ")";
  }
  return {};
}

bool peer_is_us(int fd) {
  ucred peer{};
  socklen_t size = sizeof peer;
  return ::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &size) == 0 && peer.uid == ::geteuid();
}

}  // namespace capture
