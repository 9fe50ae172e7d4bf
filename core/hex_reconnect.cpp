#include "core/hex_reconnect.h"

#include <array>
#include <chrono>
#include <ctime>
#include <string>
#include <utility>
#include <vector>

#include "core/hex.h"
#include "core/port_claim.h"
#include "serial/device_watch.h"
#include "serial/devices.h"
#include "serial/net_ports.h"

using platform::DialogHost;

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kTicksPerCheck = 1000 / static_cast<int>(HEX_TIME);
// Without a device watch (the OS refused one) a chased port is tried every this many checks.
constexpr int kChecksPerBlindTry = 5;

struct Return {
  bool chase = false;      // absent, and opened again when its device can be
  Clock::time_point gone;  // when it went absent
  std::string back;        // "back at 14:03:12 after 41 s away"
  bool was_present = false;  // it went absent while in use: its coming back is news (a first
                             // open, such as a network port's first connection, is not)
};

std::array<Return, HEX_MAX_PORT> returns;
// A port went absent, or waits for a device to settle: the next check tries, whatever the watch
// says.
bool pending = false;
int ticks = 0;
int blind_checks = 0;

serial::DeviceWatch& device_watch() {
  static serial::DeviceWatch watch;
  return watch;
}

Return& record(int port) { return returns[static_cast<std::size_t>(port)]; }

// A port a transfer or dump holds is present, and left alone whatever happens to its device.
bool chased(int port) { return record(port).chase && !hex_obj[port].present && !hex_port_busy(port); }

bool any_chased() {
  for (int port = 0; port < HEX_MAX_PORT; ++port)
    if (chased(port)) return true;
  return false;
}

// A network port has no device to watch: whether its server answers again is only found by trying.
bool network_chased() {
  for (int port = 0; port < HEX_MAX_PORT; ++port)
    if (chased(port) && serial::is_network_port(hex_obj[port].portnum)) return true;
  return false;
}

std::string back_text(Clock::duration away) {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char clock[16] = "??:??:??";
  std::strftime(clock, sizeof clock, "%H:%M:%S", &local);
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(away).count();
  const auto seconds = (ms + 500) / 1000;
  return "back at " + std::string(clock) + " after " + std::to_string(seconds) + " s away";
}

// Whether anything a chased port depends on may have changed since the last check. The watch's
// queue is read every time, so nothing older than the last check counts again.
bool due() {
  serial::DeviceWatch& watch = device_watch();
  const bool changed =
      watch.available() ? watch.changed() : ++blind_checks % kChecksPerBlindTry == 0;
  return std::exchange(pending, false) || changed;
}

// Watched before the tries, so a change made while they run is reported at the next check.
void watch_chased_ports() {
  std::vector<std::string> paths;
  for (int port = 0; port < HEX_MAX_PORT; ++port) {
    if (!chased(port)) continue;
    for (std::string& path : serial::device_watch_paths(hex_obj[port].portnum))
      paths.push_back(std::move(path));
  }
  device_watch().watch(paths);
}

void try_port(DialogHost& hwndDlg, int port) {
  // Opening a device another open of ours holds would fail anyway, and on a real UART the open
  // alone raises its lines under the port that holds it.
  if (serial::open_port_of(serial::device_path(hex_obj[port].portnum)) >= 0) return;
  const bool opened = hex_reopen(hwndDlg, port);
  // The try's own open and close are queued by now. Read at once: inotify folds an event into an
  // identical last one, so a holder's close queued after ours would be lost in it.
  if (device_watch().changed()) pending = true;
  if (!opened) return;
  Return& r = record(port);
  r.chase = false;
  r.back = r.was_present ? back_text(Clock::now() - r.gone) : "";
}

}  // namespace

void hex_reconnect_follow(int port, PortChange why) {
  Return& r = record(port);
  const HEX_OBJ_TYP& obj = hex_obj[port];
  if (why != PortChange::Lost) r.back.clear();
  if (obj.present) {
    r.chase = false;
    return;
  }
  // A number with no device, chosen by the user, means "no port here".
  r.chase = why != PortChange::Bound || !serial::device_path(obj.portnum).empty();
  r.was_present = why == PortChange::Lost;
  r.gone = Clock::now();
  pending = pending || r.chase;
}

bool hex_reconnect_tick(DialogHost& hwndDlg) {
  if (++ticks < kTicksPerCheck) return false;
  ticks = 0;
  return hex_reconnect_check(hwndDlg);
}

bool hex_reconnect_check(DialogHost& hwndDlg) {
  if (!any_chased()) {
    device_watch().clear();
    pending = false;
    return false;
  }
  if (!due() && !network_chased()) return false;
  // New devices may have taken free numbers, or an adapter a new name, since the last open.
  serial::rescan_devices();
  watch_chased_ports();
  // Decided before any try, whose open scans again: a number that just got a device which may
  // still turn out to be an unplugged adapter waits a check for that adapter's link.
  std::array<bool, HEX_MAX_PORT> unsettled{};
  for (int port = 0; port < HEX_MAX_PORT; ++port)
    unsettled[static_cast<std::size_t>(port)] = serial::device_unsettled(hex_obj[port].portnum);
  for (int port = 0; port < HEX_MAX_PORT; ++port) {
    if (!chased(port)) continue;
    if (unsettled[static_cast<std::size_t>(port)])
      pending = true;
    else
      try_port(hwndDlg, port);
    // Back, or still absent for a reason that may have changed; new devices may have taken numbers.
    hex_show_presence(hwndDlg, port);
  }
  return true;
}

std::string hex_reconnect_hint(int port) {
  if (hex_obj[port].present) return record(port).back;
  if (!chased(port)) return "";
  return serial::is_network_port(hex_obj[port].portnum) ? "Connects again by itself when its server answers."
                                                        : "Opens again by itself when its device can be opened.";
}
