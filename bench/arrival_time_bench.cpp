// Arrival-time error over 10,000 bursts. A far end writes one byte at a time to a pty, 1 to 3 ms
// apart, and reads the wall clock right after each write (at a real-time priority above the
// readers' where the system allows it); the error is each burst's stamp less that time. Through
// the whole program (the real dialog in the headless host, the pump ticking, a capture running:
// the stamps are read back from the capture), and, beside it, with a bare thread that only polls
// and reads the pty, which tells the kernel's own delivery of a pty's bytes from what the program
// adds. Reported: median, 99th percentile and worst error in microseconds, and how many bursts
// were stamped more than 1 ms late.
#include <benchmark/benchmark.h>
#include <poll.h>
#include <pthread.h>
#include <sched.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "capture/capture_reader.h"
#include "core/dialog_template.h"
#include "core/resource.h"
#include "platform/headless_host.h"
#include "serial/devices.h"
#include "serial/read_ahead.h"
#include "serial/ser.h"
#include "serial/ser_platform.h"
#include "shell/dialog.h"
#include "tests/support/pty_pair.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr int kBursts = 10000;

bool raise_this_thread(int above_lowest) {
  sched_param param{};
  param.sched_priority = ::sched_get_priority_min(SCHED_FIFO) + above_lowest;
  return ::pthread_setschedparam(::pthread_self(), SCHED_FIFO, &param) == 0;
}

// Writes kBursts single bytes 1 to 3 ms apart: the wall clock right after each write.
std::vector<std::int64_t> write_bursts(int master, bool& real_time) {
  real_time = raise_this_thread(1);
  std::mt19937 random(19);
  std::uniform_int_distribution<int> gap_us(1000, 3000);
  std::vector<std::int64_t> written;
  written.reserve(kBursts);
  for (int k = 0; k < kBursts; ++k) {
    std::this_thread::sleep_for(std::chrono::microseconds(gap_us(random)));
    const char byte = static_cast<char>(k);
    while (::write(master, &byte, 1) != 1) {
      pollfd room{master, POLLOUT, 0};
      ::poll(&room, 1, 100);
    }
    written.push_back(serial::wall_clock_us());
  }
  return written;
}

void report(benchmark::State& state, const std::vector<std::int64_t>& written, const std::vector<std::int64_t>& stamped,
            bool real_time) {
  std::vector<std::int64_t> errors;
  for (std::size_t k = 0; k < std::min(written.size(), stamped.size()); ++k) errors.push_back(stamped[k] - written[k]);
  if (errors.empty()) return;
  std::sort(errors.begin(), errors.end());
  state.counters["median_us"] = static_cast<double>(errors[errors.size() / 2]);
  state.counters["p99_us"] = static_cast<double>(errors[errors.size() * 99 / 100]);
  state.counters["worst_us"] = static_cast<double>(errors.back());
  state.counters["over_1ms"] = static_cast<double>(std::count_if(errors.begin(), errors.end(), [](std::int64_t e) { return e > 1000; }));
  state.counters["bursts"] = static_cast<double>(errors.size());
  state.counters["real_time"] = real_time ? 1 : 0;
}

// Each burst's stamp, read back from the capture: the time of the record holding its byte.
std::vector<std::int64_t> stamps_in(const std::string& path) {
  capture::CaptureReader reader;
  std::vector<std::int64_t> stamps;
  if (!reader.open(path)) return stamps;
  while (const std::optional<capture::CaptureRecord> r = reader.next())
    if (r->interface == 0 && r->direction == capture::Direction::Received) stamps.insert(stamps.end(), r->bytes.size(), r->time_ns / 1000);
  return stamps;
}

void BM_ArrivalErrorThroughTheProgram(benchmark::State& state) {
  char name[] = "/tmp/quillport-arrival-bench-XXXXXX";
  const fs::path folder = ::mkdtemp(name);
  serial::set_scan_roots(folder.string(), folder.string());
  testsupport::PtyPair line;
  serial::bind_device(0, line.slave_path());
  std::vector<std::int64_t> written;
  std::vector<std::int64_t> stamped;
  bool real_time = false;
  for (auto _ : state) {
    platform::HeadlessHost host(quillport_dialog(), DialogFunc);
    host.init();
    host.queue_file_answer((folder / "bursts.pcapng").string());
    host.click(IDR_CAPTURE);
    std::atomic<bool> done = false;
    std::thread far([&] {
      written = write_bursts(line.master(), real_time);
      done = true;
    });
    host.run_until([&] { return done.load(); }, 300s);
    far.join();
    host.run_for(200ms);
    host.click(IDCANCEL);
    stamped = stamps_in((folder / "bursts.pcapng").string());
  }
  serial::bind_device(0, "");
  fs::remove_all(folder);
  report(state, written, stamped, real_time);
}
BENCHMARK(BM_ArrivalErrorThroughTheProgram)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

// A thread at the readers' priority that does nothing but poll and read the pty.
void BM_ArrivalErrorOfABareReader(benchmark::State& state) {
  testsupport::PtyPair line;
  std::vector<std::int64_t> written;
  std::vector<std::int64_t> stamped;
  bool real_time = false;
  for (auto _ : state) {
    serial::platform::DeviceControl raw;
    serial::platform::SavedSettings saved;
    int opened = -1;
    if (serial::platform::open_line(line.slave_path().c_str(), raw, opened, saved) != 0) return;
    std::thread reader([&] {
      raise_this_thread(0);
      char buffer[4096];
      while (static_cast<int>(stamped.size()) < kBursts) {
        pollfd input{opened, POLLIN, 0};
        if (::poll(&input, 1, 1000) <= 0) break;
        const std::int64_t now = serial::wall_clock_us();
        const ssize_t n = ::read(opened, buffer, sizeof buffer);
        if (n > 0) stamped.insert(stamped.end(), static_cast<std::size_t>(n), now);
      }
    });
    written = write_bursts(line.master(), real_time);
    reader.join();
    serial::platform::close_line(opened, saved);
  }
  report(state, written, stamped, real_time);
}
BENCHMARK(BM_ArrivalErrorOfABareReader)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

}  // namespace
