// Tells, without opening anything, when a device that could not be opened may open now.
//
// How it works: the watch is given the paths a missing or busy port depends on (its device path,
// a /dev/serial/by-id link, the device folder). For each it watches the folder the path lies in
// (or the nearest folder above that exists; a path ending in '/' lies in the folder it names),
// and so every folder a link on the way passes through, for entries that come, go, are renamed
// or change owner or mode; and the device node the path names for its opens and closes. A close
// that no open between two questions pairs with means a holder let the device go; opens and
// closes in pairs are probes that changed nothing (our own failed tries among them), so they do
// not count.
//
// Asking costs one read() that finds nothing while nothing changes; with nothing watched it costs
// nothing at all.
#pragma once

#include <string>
#include <vector>

namespace serial {

class DeviceWatch {
 public:
  DeviceWatch();
  ~DeviceWatch();
  DeviceWatch(const DeviceWatch&) = delete;
  DeviceWatch& operator=(const DeviceWatch&) = delete;

  // False when the OS gave no watch (the caller then has to try opening now and then).
  bool available() const { return fd_ >= 0; }
  // Watches what `paths` depend on from now on, instead of what was watched before. What changed
  // before this call and is still watched is still reported.
  void watch(const std::vector<std::string>& paths);
  // Stops watching anything and forgets what was reported.
  void clear();
  // True when something watched changed since the last call; never waits.
  bool changed();

 private:
  int fd_ = -1;
  std::vector<int> watches_;
};

}  // namespace serial
