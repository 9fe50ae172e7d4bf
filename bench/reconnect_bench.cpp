// What the once-a-second check for ports to bring back costs on the screen tick when nothing
// changes: with both ports present, and with one port absent and waiting for its device.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>
#include <string>

#include "core/dialog_template.h"
#include "core/hex.h"
#include "core/hex_reconnect.h"
#include "platform/headless_host.h"
#include "serial/devices.h"
#include "serial/ser.h"
#include "tests/support/pty_pair.h"

namespace {

namespace fs = std::filesystem;

// Only the devices a benchmark binds, whatever the machine has.
struct Ports {
  Ports() {
    char name[] = "/tmp/quillport-bench-XXXXXX";
    folder = ::mkdtemp(name);
    serial::set_scan_roots(folder.string(), folder.string());
    serial::reset_device_map();
    serial::bind_device(0, com1.slave_path());
    serial::bind_device(1, com2.slave_path());
  }
  ~Ports() {
    for (int number = 0; number < NBR_PORTS; ++number) {
      SioDone(number);
      serial::bind_device(number, "");
    }
    fs::remove_all(folder);
  }
  fs::path folder;
  testsupport::PtyPair com1;
  testsupport::PtyPair com2;
  platform::HeadlessHost host{quillport_dialog()};
};

void BM_TickBothPresent(benchmark::State& state) {
  Ports ports;
  hex_init(ports.host);
  for (auto _ : state) benchmark::DoNotOptimize(hex_reconnect_tick(ports.host));
  hex_quit(ports.host);
}

void BM_CheckBothPresent(benchmark::State& state) {
  Ports ports;
  hex_init(ports.host);
  for (auto _ : state) benchmark::DoNotOptimize(hex_reconnect_check(ports.host));
  hex_quit(ports.host);
}

// Port A's device is a path that does not exist; after the first check has tried it once, each
// check only asks the device watch.
void BM_CheckOneAbsentNothingChanged(benchmark::State& state) {
  Ports ports;
  serial::bind_device(0, (ports.folder / "com1").string());
  hex_init(ports.host);
  hex_reconnect_check(ports.host);
  for (auto _ : state) benchmark::DoNotOptimize(hex_reconnect_check(ports.host));
  state.counters["present"] = hex_obj[0].present;
  hex_quit(ports.host);
}

BENCHMARK(BM_TickBothPresent);
BENCHMARK(BM_CheckBothPresent);
BENCHMARK(BM_CheckOneAbsentNothingChanged);

}  // namespace
