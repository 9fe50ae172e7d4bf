// Guards that leave the serial library's global state (port table, device map, open defaults, the
// QUILLPORT_COM<k> variables) as a test found it, however the test ends.
#pragma once

#include <array>
#include <cstdlib>
#include <optional>
#include <string>

#include "serial/devices.h"
#include "serial/ser.h"
#include "tests/support/pty_pair.h"

namespace serialtest {

// Clears QUILLPORT_COM1..16 for the test and puts back what was there.
class ComVariables {
 public:
  ComVariables() {
    for (int port = 0; port < NBR_PORTS; ++port) {
      if (const char* value = std::getenv(name(port).c_str())) saved_[index(port)] = value;
      ::unsetenv(name(port).c_str());
    }
  }
  ~ComVariables() {
    for (int port = 0; port < NBR_PORTS; ++port) {
      if (saved_[index(port)])
        set(port, *saved_[index(port)]);
      else
        ::unsetenv(name(port).c_str());
    }
  }
  ComVariables(const ComVariables&) = delete;
  ComVariables& operator=(const ComVariables&) = delete;

  void set(int port, const std::string& path) { ::setenv(name(port).c_str(), path.c_str(), 1); }

 private:
  static std::string name(int port) { return "QUILLPORT_COM" + std::to_string(port + 1); }
  static std::size_t index(int port) { return static_cast<std::size_t>(port); }
  std::array<std::optional<std::string>, NBR_PORTS> saved_;
};

// A number bound to a device for one test; closed and unbound at the end.
class BoundPort {
 public:
  BoundPort(int port, const std::string& path) : port_(port) { serial::bind_device(port, path); }
  ~BoundPort() {
    SioDone(port_);
    serial::bind_device(port_, "");
  }
  BoundPort(const BoundPort&) = delete;
  BoundPort& operator=(const BoundPort&) = delete;

 private:
  int port_;
};

// A pseudo-terminal whose slave is bound to `port` and opened; `rc` is SioReset's result.
struct OpenPty {
  explicit OpenPty(int port)
      : bound(port, pty.slave_path()),
        rc(SioReset(port, 2048, 2048)),
        fd(serial::native_handle(port)) {}
  testsupport::PtyPair pty;
  BoundPort bound;
  int rc;
  int fd;
};

// Points the device scan at a made-up sysfs tree; the real one is back afterwards.
struct ScanRoots {
  ScanRoots(const std::string& sys_class_tty, const std::string& dev_dir) {
    serial::set_scan_roots(sys_class_tty, dev_dir);
    serial::reset_device_map();
  }
  ~ScanRoots() {
    serial::set_scan_roots("/sys/class/tty", "/dev");
    serial::reset_device_map();
  }
  ScanRoots(const ScanRoots&) = delete;
  ScanRoots& operator=(const ScanRoots&) = delete;
};

// Puts the open defaults back to 9600 8N1.
struct DefaultsGuard {
  DefaultsGuard() = default;
  ~DefaultsGuard() {
    SioBaud(-1, 9600);
    SioParms(-1, NoParity, OneStopBit, WordLength8);
  }
  DefaultsGuard(const DefaultsGuard&) = delete;
  DefaultsGuard& operator=(const DefaultsGuard&) = delete;
};

}  // namespace serialtest
