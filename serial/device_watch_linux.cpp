// The device watch on Linux: inotify.
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <system_error>

#include "serial/device_watch.h"

namespace serial {

namespace {

namespace fs = std::filesystem;

// Entries that come, go or are renamed (udev makes its links by renaming), and owner or mode
// changes (udev gives a new node its group after the kernel made it).
constexpr std::uint32_t kFolderEvents = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO |
                                        IN_ATTRIB | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;
// A holder closing the device; its opens only to pair with closes.
constexpr std::uint32_t kDeviceEvents = IN_OPEN | IN_CLOSE | IN_ATTRIB | IN_DELETE_SELF;

// Links are followed by hand this deep at most, so a loop of links ends.
constexpr int kLinkDepth = 8;

bool is_folder(const fs::path& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// The folder `path` lies in, or the nearest one above it that exists: where it will appear.
fs::path nearest_folder(const fs::path& path) {
  fs::path folder = path.parent_path();
  while (!folder.empty() && folder != folder.root_path() && !is_folder(folder))
    folder = folder.parent_path();
  return folder.empty() ? fs::path("/") : folder;
}

}  // namespace

DeviceWatch::DeviceWatch() : fd_(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {}

DeviceWatch::~DeviceWatch() {
  if (fd_ >= 0) ::close(fd_);
}

void DeviceWatch::watch(const std::vector<std::string>& paths) {
  if (fd_ < 0) return;
  std::vector<int> now;
  const auto add = [&](const fs::path& path, std::uint32_t events) {
    // Adding what is already watched gives its watch again, with what it has queued.
    if (const int wd = ::inotify_add_watch(fd_, path.c_str(), events); wd >= 0) now.push_back(wd);
  };
  for (const std::string& named : paths) {
    if (named.empty()) continue;
    std::error_code ec;
    fs::path path = fs::absolute(named, ec).lexically_normal();
    if (ec) continue;
    // Every folder on the way through links: repointing any of them moves the device.
    for (int depth = 0; depth < kLinkDepth; ++depth) {
      add(nearest_folder(path), kFolderEvents);
      const fs::path target = fs::read_symlink(path, ec);
      if (ec) break;
      path = (target.is_absolute() ? target : path.parent_path() / target).lexically_normal();
    }
    struct stat st {};
    if (::stat(named.c_str(), &st) == 0 && !S_ISDIR(st.st_mode)) add(named, kDeviceEvents);
  }
  std::sort(now.begin(), now.end());
  now.erase(std::unique(now.begin(), now.end()), now.end());
  for (const int wd : watches_)
    if (!std::binary_search(now.begin(), now.end(), wd)) ::inotify_rm_watch(fd_, wd);
  watches_ = std::move(now);
}

void DeviceWatch::clear() {
  if (watches_.empty()) return;
  for (const int wd : watches_) ::inotify_rm_watch(fd_, wd);
  watches_.clear();
  changed();
}

bool DeviceWatch::changed() {
  if (fd_ < 0) return false;
  bool changed = false;
  int opens = 0;
  int closes = 0;
  alignas(inotify_event) char buffer[4096];
  for (;;) {
    const ssize_t got = ::read(fd_, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    for (ssize_t at = 0; at < got;) {
      inotify_event event{};
      std::copy_n(buffer + at, sizeof event, reinterpret_cast<char*>(&event));
      at += static_cast<ssize_t>(sizeof event + event.len);
      if (event.mask & IN_OPEN) {
        ++opens;
      } else if (event.mask & IN_CLOSE) {
        ++closes;
      } else if (!(event.mask & IN_IGNORED)) {
        // IN_IGNORED only says a watch ended, ours or with its node; the rest is a change.
        changed = true;
      }
    }
  }
  return changed || closes > opens;
}

}  // namespace serial
